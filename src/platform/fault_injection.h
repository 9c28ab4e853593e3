// Forwarding wrappers of the platform interfaces for reliability tests.
// Every call goes to the wrapped object unless a FaultPlan says that this
// call must fail: the Nth call of a named operation fails once, or every
// call from the Nth on fails ("for ever"). Tests may also subclass a wrapper
// and override single methods.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace kestrawl::platform {

class FaultPlan {
 public:
  // The nth call of `call` (counted from now, 1 = the next one) fails with
  // `code`; with forever, that call and every later one fail.
  void FailCall(const std::string& call, Win32Error code, int nth = 1, bool forever = false);
  void Clear();
  // The error to inject into this call of `call`, or 0. Counts the call.
  Win32Error Check(const std::string& call);
  // Calls of `call` seen since the plan was made or cleared.
  int Calls(const std::string& call) const;

 private:
  struct Rule {
    Win32Error code;
    int countdown;  // calls left before the failure; 1 = the next one fails
    bool forever;
  };
  mutable std::mutex mu_;
  std::map<std::string, Rule> rules_;
  std::map<std::string, int> calls_;
};

class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target, FaultPlan* plan = nullptr) : target_(target), plan_(plan) {}

  Win32Error GetEntry(const std::string& path, FileEntry* entry) override;
  Win32Error SetAttributes(const std::string& path, uint32_t attributes) override;
  Win32Error SetLastWriteTime(const std::string& path, FileTime time) override;
  Win32Error List(const std::string& pattern, std::vector<FileEntry>* entries) override;
  Win32Error CreateFolder(const std::string& path) override;
  Win32Error CreateFolderTree(const std::string& path) override;
  Win32Error RemoveFolder(const std::string& path) override;
  Win32Error DeleteFile(const std::string& path) override;
  Win32Error MoveFile(const std::string& from, const std::string& to, uint32_t flags) override;
  Win32Error CopyFile(const std::string& from, const std::string& to, bool fail_if_exists,
                      const CopyProgress& progress) override;
  Win32Error CreateHardLink(const std::string& link, const std::string& existing) override;
  Win32Error GetLinkCount(const std::string& path, uint32_t* count) override;
  Win32Error Open(const std::string& path, OpenMode mode, ShareMode share,
                  std::unique_ptr<File>* file) override;
  Win32Error GetFullPath(const std::string& path, std::string* full) override;
  Win32Error GetShortPath(const std::string& path, std::string* short_path) override;
  Win32Error GetLongPath(const std::string& path, std::string* long_path) override;
  Win32Error GetVolumeSpace(const std::string& path, uint64_t* free_bytes, uint64_t* total_bytes) override;
  DriveType GetDriveType(const std::string& root) override;
  std::string LogicalDrives() override;
  Win32Error GetNativePath(const std::string& path, std::string* native) override;
  Win32Error SetCompression(const std::string& path, bool compressed) override;

 protected:
  // The error to inject for this call, or 0. Override for custom faults.
  virtual Win32Error Fault(const char* call) { return plan_ ? plan_->Check(call) : err::kSuccess; }
  FileSystem& target_;
  FaultPlan* plan_;
};

class RegistryWrapper : public Registry {
 public:
  explicit RegistryWrapper(Registry& target, FaultPlan* plan = nullptr) : target_(target), plan_(plan) {}

  Win32Error CheckComputer(const std::string& computer) override;
  Win32Error KeyExists(RegRoot root, const std::string& subkey, RegView view) override;
  Win32Error CreateKey(RegRoot root, const std::string& subkey, RegView view, bool* created) override;
  Win32Error SetValue(RegRoot root, const std::string& subkey, const std::string& name, RegView view,
                      const RegValue& value) override;
  Win32Error GetValue(RegRoot root, const std::string& subkey, const std::string& name, RegView view,
                      RegValue* value) override;
  Win32Error DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                         RegView view) override;
  Win32Error DeleteKey(RegRoot root, const std::string& subkey, RegView view) override;
  Win32Error DeleteTree(RegRoot root, const std::string& subkey, RegView view) override;
  Win32Error EnumKeys(RegRoot root, const std::string& subkey, RegView view,
                      std::vector<std::string>* names) override;
  Win32Error EnumValues(RegRoot root, const std::string& subkey, RegView view,
                        std::vector<RegNamedValue>* values) override;

 protected:
  virtual Win32Error Fault(const char* call) { return plan_ ? plan_->Check(call) : err::kSuccess; }
  Registry& target_;
  FaultPlan* plan_;
};

// The service control manager. Calls are named after the Win32 functions
// behind them, so that a plan can tell them from file and registry calls:
// "CreateService", "DeleteService", "QueryServiceConfig",
// "QueryServiceStatus", "StartService", "ControlService" (Stop),
// "ChangeServiceConfig" (ChangeStartType), "EnumServicesStatus" (List).
class ServicesWrapper : public Services {
 public:
  explicit ServicesWrapper(Services& target, FaultPlan* plan = nullptr) : target_(target), plan_(plan) {}

  Win32Error Create(const ServiceConfig& config) override;
  Win32Error Delete(const std::string& name) override;
  Win32Error QueryConfig(const std::string& name, ServiceConfig* config) override;
  Win32Error QueryState(const std::string& name, uint32_t* state) override;
  Win32Error Start(const std::string& name, const std::vector<std::string>& arguments) override;
  Win32Error Stop(const std::string& name) override;
  Win32Error ChangeStartType(const std::string& name, uint32_t start) override;
  Win32Error List(std::vector<std::string>* names) override;

 protected:
  virtual Win32Error Fault(const char* call) { return plan_ ? plan_->Check(call) : err::kSuccess; }
  Services& target_;
  FaultPlan* plan_;
};
using FaultyServices = ServicesWrapper;

// A platform whose file system, registry and services go through the
// wrappers above; system facts and processes are passed through unchanged.
class PlatformWrapper : public Platform {
 public:
  PlatformWrapper(Platform& target, FaultPlan& plan)
      : target_(target),
        files_(target.Files(), &plan),
        registry_(target.Reg(), &plan),
        services_(target.Svc(), &plan) {}
  FileSystem& Files() override { return files_; }
  Registry& Reg() override { return registry_; }
  System& Sys() override { return target_.Sys(); }
  Processes& Procs() override { return target_.Procs(); }
  Services& Svc() override { return services_; }

 private:
  Platform& target_;
  FileSystemWrapper files_;
  RegistryWrapper registry_;
  ServicesWrapper services_;
};

}  // namespace kestrawl::platform
