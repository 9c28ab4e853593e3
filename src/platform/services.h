// The service control manager of the machine: create, configure, start,
// stop and delete services. As on Windows, a service's configuration lives
// in the registry under HKLM\SYSTEM\CurrentControlSet\Services\<name>
// (Type, Start, ErrorControl, ImagePath, DisplayName, ObjectName, Group,
// DependOnService, DependOnGroup); run states are kept by the manager.
// Calls return the Win32 error codes of the real manager. A service is a
// sub-key of the Services key that holds a "Type" value; a service marked
// for deletion carries DeleteFlag = 1 (REG_DWORD), as on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace kestrawl::platform {

namespace svc {
// Service types.
inline constexpr uint32_t kOwnProcess = 0x10;
inline constexpr uint32_t kShareProcess = 0x20;
inline constexpr uint32_t kInteractive = 0x100;
// Start types.
inline constexpr uint32_t kBootStart = 0;
inline constexpr uint32_t kSystemStart = 1;
inline constexpr uint32_t kAutoStart = 2;
inline constexpr uint32_t kDemandStart = 3;
inline constexpr uint32_t kDisabled = 4;
// Current states (SERVICE_STATUS.dwCurrentState).
inline constexpr uint32_t kStopped = 1;
inline constexpr uint32_t kStartPending = 2;
inline constexpr uint32_t kStopPending = 3;
inline constexpr uint32_t kRunning = 4;
inline constexpr uint32_t kContinuePending = 5;
inline constexpr uint32_t kPausePending = 6;
inline constexpr uint32_t kPaused = 7;
// Errors of the manager.
inline constexpr Win32Error kDependentServicesRunning = 1051;
inline constexpr Win32Error kServiceAlreadyRunning = 1056;
inline constexpr Win32Error kServiceDisabled = 1058;
inline constexpr Win32Error kCircularDependency = 1059;
inline constexpr Win32Error kServiceDoesNotExist = 1060;
inline constexpr Win32Error kServiceCannotAcceptCtrl = 1061;
inline constexpr Win32Error kServiceNotActive = 1062;
inline constexpr Win32Error kServiceDependencyFail = 1068;
inline constexpr Win32Error kServiceMarkedForDelete = 1072;
inline constexpr Win32Error kServiceExists = 1073;
inline constexpr Win32Error kServiceDependencyDeleted = 1075;
inline constexpr Win32Error kDuplicateServiceName = 1078;
inline constexpr Win32Error kCallNotImplemented = 120;
}  // namespace svc

struct ServiceConfig {
  std::string name;          // key name; compared case-insensitively
  std::string display_name;
  uint32_t type = svc::kOwnProcess;
  uint32_t start = svc::kDemandStart;
  uint32_t error_control = 1;
  std::string binary_path;   // ImagePath: quoted program path and arguments
  std::string load_order_group;
  std::vector<std::string> dependencies;  // service names; "+Group" for groups
  std::string account;       // ObjectName; empty = LocalSystem
  std::string password;      // never stored in the registry
};

class Services {
 public:
  virtual ~Services() = default;
  // CreateService. kServiceExists when the name is taken (kServiceMarkedForDelete
  // when that service is marked for deletion), kDuplicateServiceName when the
  // name or display name is another service's name or display name,
  // kInvalidName for an empty name, one holding "/" or "\" or one longer
  // than 256 characters, kInvalidParameter for an empty binary path or type,
  // start or error control values the manager does not accept (boot and
  // system start are for drivers only), kCircularDependency when the service
  // depends on itself. A new service is stopped.
  virtual Win32Error Create(const ServiceConfig& config) = 0;
  // DeleteService. A stopped service is removed at once; a running (or
  // pending) one is marked for deletion and removed when it stops
  // (kServiceMarkedForDelete for a second call).
  virtual Win32Error Delete(const std::string& name) = 0;
  // QueryServiceConfig: account "LocalSystem" when none was given, the
  // password always empty, dependencies the services then "+" and each group.
  virtual Win32Error QueryConfig(const std::string& name, ServiceConfig* config) = 0;
  // Current state (svc::kStopped ... svc::kPaused).
  virtual Win32Error QueryState(const std::string& name, uint32_t* state) = 0;
  // StartService: kServiceAlreadyRunning (also while start or stop is
  // pending), kServiceDisabled, kServiceDoesNotExist, kServiceMarkedForDelete.
  // The services it depends on are started first (kServiceDependencyDeleted
  // when one does not exist, kServiceDependencyFail when one cannot start).
  virtual Win32Error Start(const std::string& name, const std::vector<std::string>& arguments) = 0;
  // ControlService(SERVICE_CONTROL_STOP): kServiceNotActive when stopped,
  // kServiceCannotAcceptCtrl while start or stop is pending,
  // kDependentServicesRunning when a running service depends on it (by name
  // or through its load order group).
  virtual Win32Error Stop(const std::string& name) = 0;
  // ChangeServiceConfig with only the start type changed (kInvalidParameter
  // for a value above kDisabled, or boot/system start for a Win32 service;
  // kServiceMarkedForDelete for a service marked for deletion).
  virtual Win32Error ChangeStartType(const std::string& name, uint32_t start) = 0;
  // Names of every installed service.
  virtual Win32Error List(std::vector<std::string>* names) = 0;
};

// A manager that knows no service: every call fails with kCallNotImplemented.
Services& UnavailableServices();

}  // namespace kestrawl::platform
