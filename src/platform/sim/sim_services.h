// The simulated machine's service control manager.
//
// Configuration lives in the registry exactly where Windows keeps it,
// HKLM\SYSTEM\CurrentControlSet\Services\<name>: Type, Start and
// ErrorControl (REG_DWORD), ImagePath (REG_EXPAND_SZ), DisplayName,
// ObjectName and Group (REG_SZ), DependOnService and DependOnGroup
// (REG_MULTI_SZ, written only when not empty), DeleteFlag = 1 once the
// service is marked for deletion. A sub-key without a "Type" value is not a
// service.
//
// Run states live in the machine database (table service_states, keyed by
// the case-folded name), so every process that opens the machine sees the
// same state. Programs are never run: Start only moves the state to running,
// Stop to stopped. With the machine fact "service-pending-queries" set to N
// (> 0), the first N QueryState calls after a Start (Stop) report
// kStartPending (kStopPending); by default the change is immediate. A
// service marked for deletion disappears when its stop completes.
// Each call runs in one database transaction; no call throws (database
// failures give kRegistryIoFailed).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/services.h"
#include "platform/sim/store.h"

namespace kestrawl::platform::sim {

inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";
inline constexpr const char* kServicePendingQueriesFact = "service-pending-queries";

class SimServices : public Services {
 public:
  // Creates the state table when missing (throws std::runtime_error when the
  // database cannot be prepared).
  SimServices(SimStore& store, Registry& registry);

  Win32Error Create(const ServiceConfig& config) override;
  Win32Error Delete(const std::string& name) override;
  Win32Error QueryConfig(const std::string& name, ServiceConfig* config) override;
  Win32Error QueryState(const std::string& name, uint32_t* state) override;
  Win32Error Start(const std::string& name, const std::vector<std::string>& arguments) override;
  Win32Error Stop(const std::string& name) override;
  Win32Error ChangeStartType(const std::string& name, uint32_t start) override;
  Win32Error List(std::vector<std::string>* names) override;

 private:
  // What the manager needs to know of an installed service.
  struct Info {
    std::string name;  // stored case
    uint32_t type = 0;
    uint32_t start = svc::kDemandStart;
    bool marked = false;
    std::string display_name;
    std::string group;
    std::vector<std::string> depend_on_service;
    std::vector<std::string> depend_on_group;
  };
  // The run state kept by the manager: the state the service is moving to
  // (kRunning or kStopped) and the pending queries left before it is there.
  struct RunState {
    uint32_t state = svc::kStopped;
    int64_t pending = 0;
  };

  // Runs fn in one transaction (rolled back unless it succeeds).
  Win32Error Run(const std::function<Win32Error()>& fn);
  // The service's facts; stored_case when `name` already has the key's case.
  std::optional<Info> Find(const std::string& name, bool stored_case = false);
  std::vector<Info> All();
  RunState GetState(const std::string& name);
  void PutState(const std::string& name, RunState state);
  void DropState(const std::string& name);
  int64_t PendingQueries();
  // Removes a marked service whose stop has completed.
  Win32Error Settle(const Info& info, const RunState& state);
  Win32Error Remove(const std::string& name);
  Win32Error StartOne(const std::string& name, bool dependency, std::set<std::string>* visiting);

  SimStore& store_;
  Registry& registry_;
};

}  // namespace kestrawl::platform::sim
