// A simulated Windows machine living in a host folder:
//   <dir>/drive_c/        drive C:
//   <dir>/dosdevices/c:   -> ../drive_c     (one link per drive letter)
//   <dir>/dosdevices/z:   -> /              (host files as Z:\...)
//   <dir>/registry.db     registry, machine facts and service run states
//                         (SQLite, WAL)
// SimMachine opens such a folder and hands out the platform interfaces.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrawl::platform::sim {

class SimStore;
class SimRegistry;
class SimFileSystem;
class SimSystem;
class SimProcesses;
class SimServices;

struct InitOptions {
  std::string profile = "win10";
  std::string user;            // empty: the profile's user
  bool standard_user = false;  // not an administrator, not elevated
  bool force = false;          // replace an existing machine
};

// Where the machine lives: the option when given, else KESTRAWL_MACHINE,
// else ${XDG_DATA_HOME:-$HOME/.local/share}/kestrawl/machine.
std::string ResolveMachineDir(const std::string& option);

class SimMachine : public Platform {
 public:
  // Creates a new machine folder from a profile. Throws std::runtime_error
  // with a clear message (unknown profile, machine exists without force,
  // folder not writable).
  static void Init(const std::string& dir, const InitOptions& options);
  // Opens a machine, creating it with the default profile when the folder
  // holds none. `arguments` are the running program's arguments (item 0 the
  // program), used for the process's command line. Throws on failure.
  static std::unique_ptr<SimMachine> Open(const std::string& dir,
                                          const std::vector<std::string>& arguments = {});
  // True when the folder holds a machine (registry.db and drive_c).
  static bool Exists(const std::string& dir);

  ~SimMachine() override;

  FileSystem& Files() override;
  Registry& Reg() override;
  System& Sys() override;
  Processes& Procs() override;
  // The service control manager: configuration in the registry, run states
  // in the machine database (shared by every process using the machine).
  Services& Svc() override;

  SimFileSystem& SimFiles() { return *files_; }
  SimRegistry& SimReg() { return *registry_; }
  SimStore& Store() { return *store_; }
  const std::string& dir() const { return dir_; }

 private:
  SimMachine() = default;

  std::string dir_;
  std::unique_ptr<SimStore> store_;
  std::unique_ptr<SimRegistry> registry_;
  std::unique_ptr<SimFileSystem> files_;
  std::unique_ptr<SimSystem> system_;
  std::unique_ptr<SimProcesses> processes_;
  std::unique_ptr<SimServices> services_;
};

}  // namespace kestrawl::platform::sim
