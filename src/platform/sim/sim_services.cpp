#include "platform/sim/sim_services.h"

#include <stdexcept>

#include "base/text.h"

namespace kestrawl::platform::sim {

namespace {

constexpr RegRoot HKLM = RegRoot::kLocalMachine;
constexpr RegView kView = RegView::k64;  // SYSTEM is not redirected
constexpr size_t kMaxNameLength = 256;

std::string KeyOf(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

std::string StateKey(const std::string& name) { return base::CaseFold(name); }

bool ValidName(const std::string& name) {
  return !name.empty() && base::Utf16Length(name) <= kMaxNameLength &&
         name.find_first_of("/\\") == std::string::npos;
}

bool IsDriver(uint32_t type) { return (type & 0x0F) != 0; }

bool ContainsNoCase(const std::vector<std::string>& items, const std::string& text) {
  for (const auto& i : items)
    if (base::EqualsNoCase(i, text)) return true;
  return false;
}

// Thrown inside a transaction to leave it with an error code.
struct Failed {
  Win32Error code;
};

void Check(Win32Error e) {
  if (e != err::kSuccess) throw Failed{e};
}

}  // namespace

SimServices::SimServices(SimStore& store, Registry& registry) : store_(store), registry_(registry) {
  store_.Exec(
      "CREATE TABLE IF NOT EXISTS service_states (name TEXT PRIMARY KEY, state INTEGER NOT NULL, "
      "pending INTEGER NOT NULL DEFAULT 0)");
}

Win32Error SimServices::Run(const std::function<Win32Error()>& fn) {
  Win32Error rc = err::kSuccess;
  try {
    store_.Transaction([&] {
      try {
        rc = fn();
      } catch (const Failed& f) {
        rc = f.code;
      }
      return rc == err::kSuccess;
    });
  } catch (const std::exception&) {
    return err::kRegistryIoFailed;
  }
  return rc;
}

std::optional<SimServices::Info> SimServices::Find(const std::string& name, bool stored_case) {
  const std::string key = KeyOf(name);
  RegValue v;
  if (registry_.GetValue(HKLM, key, "Type", kView, &v) != err::kSuccess) return std::nullopt;
  Info info;
  info.type = v.AsDword();
  info.name = name;
  std::vector<std::string> names;
  if (!stored_case && registry_.EnumKeys(HKLM, kServicesKey, kView, &names) == err::kSuccess) {
    for (const auto& n : names)
      if (base::EqualsNoCase(n, name)) info.name = n;
  }
  if (registry_.GetValue(HKLM, key, "Start", kView, &v) == err::kSuccess) info.start = v.AsDword();
  if (registry_.GetValue(HKLM, key, "DeleteFlag", kView, &v) == err::kSuccess) info.marked = v.AsDword() != 0;
  info.display_name = registry_.ReadString(HKLM, key, "DisplayName", kView).value_or(info.name);
  info.group = registry_.ReadString(HKLM, key, "Group", kView).value_or("");
  if (registry_.GetValue(HKLM, key, "DependOnService", kView, &v) == err::kSuccess)
    info.depend_on_service = v.AsMultiString();
  if (registry_.GetValue(HKLM, key, "DependOnGroup", kView, &v) == err::kSuccess)
    info.depend_on_group = v.AsMultiString();
  return info;
}

std::vector<SimServices::Info> SimServices::All() {
  std::vector<Info> out;
  std::vector<std::string> names;
  if (registry_.EnumKeys(HKLM, kServicesKey, kView, &names) != err::kSuccess) return out;
  for (const auto& n : names)
    if (auto info = Find(n, true)) out.push_back(std::move(*info));
  return out;
}

SimServices::RunState SimServices::GetState(const std::string& name) {
  Statement st(store_.db(), "SELECT state, pending FROM service_states WHERE name = ?");
  st.Bind(1, StateKey(name));
  RunState s;
  if (st.Step()) {
    s.state = static_cast<uint32_t>(st.Int(0)) == svc::kRunning ? svc::kRunning : svc::kStopped;
    s.pending = st.Int(1) > 0 ? st.Int(1) : 0;
  }
  return s;
}

void SimServices::PutState(const std::string& name, RunState s) {
  Statement st(store_.db(),
               "INSERT INTO service_states(name, state, pending) VALUES(?, ?, ?) "
               "ON CONFLICT(name) DO UPDATE SET state = excluded.state, pending = excluded.pending");
  st.Bind(1, StateKey(name)).Bind(2, static_cast<int64_t>(s.state)).Bind(3, s.pending);
  st.Step();
}

void SimServices::DropState(const std::string& name) {
  Statement st(store_.db(), "DELETE FROM service_states WHERE name = ?");
  st.Bind(1, StateKey(name));
  st.Step();
}

int64_t SimServices::PendingQueries() {
  auto fact = store_.GetFact(kServicePendingQueriesFact);
  if (!fact) return 0;
  try {
    long long n = std::stoll(*fact);
    return n > 0 ? n : 0;
  } catch (...) {
    return 0;
  }
}

Win32Error SimServices::Remove(const std::string& name) {
  Win32Error e = registry_.DeleteTree(HKLM, KeyOf(name), kView);
  if (e != err::kSuccess && e != err::kFileNotFound) return e;
  DropState(name);
  return err::kSuccess;
}

Win32Error SimServices::Settle(const Info& info, const RunState& s) {
  if (info.marked && s.state == svc::kStopped && s.pending == 0) return Remove(info.name);
  return err::kSuccess;
}

Win32Error SimServices::Create(const ServiceConfig& c) {
  if (!ValidName(c.name)) return err::kInvalidName;
  const std::string display = c.display_name.empty() ? c.name : c.display_name;
  if (base::Utf16Length(display) > kMaxNameLength) return err::kInvalidName;
  if (c.binary_path.empty()) return err::kInvalidParameter;
  const uint32_t base_type = c.type & ~svc::kInteractive;
  const bool driver = base_type == 0x1 || base_type == 0x2;
  const bool win32 = base_type == svc::kOwnProcess || base_type == svc::kShareProcess;
  if (!driver && !win32) return err::kInvalidParameter;
  if ((c.type & svc::kInteractive) && !win32) return err::kInvalidParameter;
  if (c.start > svc::kDisabled || c.error_control > 3) return err::kInvalidParameter;
  if (win32 && c.start < svc::kAutoStart) return err::kInvalidParameter;
  if ((c.type & svc::kInteractive) && !c.account.empty() && !base::EqualsNoCase(c.account, "LocalSystem"))
    return err::kInvalidParameter;
  std::vector<std::string> services, groups;
  for (const auto& d : c.dependencies) {
    if (d.empty()) continue;
    if (d[0] == '+') {
      if (d.size() > 1) groups.push_back(d.substr(1));
    } else {
      if (base::EqualsNoCase(d, c.name)) return svc::kCircularDependency;
      services.push_back(d);
    }
  }
  return Run([&]() -> Win32Error {
    if (auto existing = Find(c.name))
      return existing->marked ? svc::kServiceMarkedForDelete : svc::kServiceExists;
    for (const auto& other : All()) {
      if (base::EqualsNoCase(other.display_name, display) || base::EqualsNoCase(other.display_name, c.name) ||
          base::EqualsNoCase(other.name, display))
        return svc::kDuplicateServiceName;
    }
    const std::string key = KeyOf(c.name);
    Check(registry_.CreateKey(HKLM, key, kView));
    // A key left without a service (no Type) may hold an old mark.
    registry_.DeleteValue(HKLM, key, "DeleteFlag", kView);
    Check(registry_.SetValue(HKLM, key, "Type", kView, RegValue::Dword(c.type)));
    Check(registry_.SetValue(HKLM, key, "Start", kView, RegValue::Dword(c.start)));
    Check(registry_.SetValue(HKLM, key, "ErrorControl", kView, RegValue::Dword(c.error_control)));
    Check(registry_.SetValue(HKLM, key, "ImagePath", kView,
                             RegValue::String(c.binary_path, regtype::kExpandSz)));
    Check(registry_.SetValue(HKLM, key, "DisplayName", kView, RegValue::String(display)));
    if (!c.load_order_group.empty())
      Check(registry_.SetValue(HKLM, key, "Group", kView, RegValue::String(c.load_order_group)));
    if (!services.empty())
      Check(registry_.SetValue(HKLM, key, "DependOnService", kView, RegValue::MultiString(services)));
    if (!groups.empty())
      Check(registry_.SetValue(HKLM, key, "DependOnGroup", kView, RegValue::MultiString(groups)));
    if (win32) {
      const std::string account = c.account.empty() ? "LocalSystem" : c.account;
      Check(registry_.SetValue(HKLM, key, "ObjectName", kView, RegValue::String(account)));
    }
    PutState(c.name, RunState{});
    return err::kSuccess;
  });
}

Win32Error SimServices::Delete(const std::string& name) {
  if (!ValidName(name)) return err::kInvalidName;
  return Run([&]() -> Win32Error {
    auto info = Find(name);
    if (!info) return svc::kServiceDoesNotExist;
    if (info->marked) return svc::kServiceMarkedForDelete;
    RunState s = GetState(name);
    if (s.state == svc::kRunning || s.pending > 0)
      return registry_.SetValue(HKLM, KeyOf(info->name), "DeleteFlag", kView, RegValue::Dword(1));
    return Remove(info->name);
  });
}

Win32Error SimServices::QueryConfig(const std::string& name, ServiceConfig* config) {
  if (!ValidName(name)) return err::kInvalidName;
  return Run([&]() -> Win32Error {
    auto info = Find(name);
    if (!info) return svc::kServiceDoesNotExist;
    const std::string key = KeyOf(info->name);
    ServiceConfig c;
    c.name = info->name;
    c.display_name = info->display_name;
    c.type = info->type;
    c.start = info->start;
    RegValue v;
    c.error_control = 1;
    if (registry_.GetValue(HKLM, key, "ErrorControl", kView, &v) == err::kSuccess) c.error_control = v.AsDword();
    c.binary_path = registry_.ReadString(HKLM, key, "ImagePath", kView).value_or("");
    c.load_order_group = info->group;
    c.dependencies = info->depend_on_service;
    for (const auto& g : info->depend_on_group) c.dependencies.push_back("+" + g);
    c.account =
        registry_.ReadString(HKLM, key, "ObjectName", kView).value_or(IsDriver(c.type) ? "" : "LocalSystem");
    *config = std::move(c);
    return err::kSuccess;
  });
}

Win32Error SimServices::QueryState(const std::string& name, uint32_t* state) {
  if (!ValidName(name)) return err::kInvalidName;
  return Run([&]() -> Win32Error {
    auto info = Find(name);
    if (!info) return svc::kServiceDoesNotExist;
    RunState s = GetState(name);
    if (s.pending > 0) {
      *state = s.state == svc::kRunning ? svc::kStartPending : svc::kStopPending;
      --s.pending;
      PutState(name, s);
      return Settle(*info, s);
    }
    *state = s.state;
    return err::kSuccess;
  });
}

Win32Error SimServices::StartOne(const std::string& name, bool dependency, std::set<std::string>* visiting) {
  if (!visiting->insert(StateKey(name)).second) return err::kSuccess;  // already on the way
  auto info = Find(name);
  if (!info) return dependency ? svc::kServiceDependencyDeleted : svc::kServiceDoesNotExist;
  if (info->marked) return dependency ? svc::kServiceDependencyDeleted : svc::kServiceMarkedForDelete;
  RunState s = GetState(name);
  if (s.state == svc::kRunning || s.pending > 0)
    return dependency ? err::kSuccess : svc::kServiceAlreadyRunning;
  if (info->start == svc::kDisabled) return dependency ? svc::kServiceDependencyFail : svc::kServiceDisabled;
  for (const auto& d : info->depend_on_service) {
    Win32Error e = StartOne(d, true, visiting);
    if (e == err::kSuccess) continue;
    // The caller learns whether a dependency is missing or failed to start.
    if (dependency || e == svc::kServiceDependencyDeleted) return e;
    return svc::kServiceDependencyFail;
  }
  PutState(name, RunState{svc::kRunning, PendingQueries()});
  return err::kSuccess;
}

Win32Error SimServices::Start(const std::string& name, const std::vector<std::string>&) {
  if (!ValidName(name)) return err::kInvalidName;
  return Run([&]() -> Win32Error {
    std::set<std::string> visiting;
    return StartOne(name, false, &visiting);
  });
}

Win32Error SimServices::Stop(const std::string& name) {
  if (!ValidName(name)) return err::kInvalidName;
  return Run([&]() -> Win32Error {
    auto info = Find(name);
    if (!info) return svc::kServiceDoesNotExist;
    RunState s = GetState(name);
    if (s.pending > 0) return svc::kServiceCannotAcceptCtrl;
    if (s.state != svc::kRunning) return svc::kServiceNotActive;
    for (const auto& other : All()) {
      if (base::EqualsNoCase(other.name, info->name)) continue;
      const bool depends = ContainsNoCase(other.depend_on_service, info->name) ||
                           (!info->group.empty() && ContainsNoCase(other.depend_on_group, info->group));
      if (depends && GetState(other.name).state == svc::kRunning) return svc::kDependentServicesRunning;
    }
    s = RunState{svc::kStopped, PendingQueries()};
    PutState(name, s);
    return Settle(*info, s);
  });
}

Win32Error SimServices::ChangeStartType(const std::string& name, uint32_t start) {
  if (!ValidName(name)) return err::kInvalidName;
  return Run([&]() -> Win32Error {
    auto info = Find(name);
    if (!info) return svc::kServiceDoesNotExist;
    if (info->marked) return svc::kServiceMarkedForDelete;
    if (start > svc::kDisabled || (!IsDriver(info->type) && start < svc::kAutoStart))
      return err::kInvalidParameter;
    return registry_.SetValue(HKLM, KeyOf(info->name), "Start", kView, RegValue::Dword(start));
  });
}

Win32Error SimServices::List(std::vector<std::string>* names) {
  return Run([&]() -> Win32Error {
    names->clear();
    for (const auto& info : All()) names->push_back(info.name);
    return err::kSuccess;
  });
}

}  // namespace kestrawl::platform::sim
