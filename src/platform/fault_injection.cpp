#include "platform/fault_injection.h"

namespace kestrawl::platform {

void FaultPlan::FailCall(const std::string& call, Win32Error code, int nth, bool forever) {
  std::lock_guard<std::mutex> lock(mu_);
  rules_[call] = Rule{code, nth < 1 ? 1 : nth, forever};
}

void FaultPlan::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  rules_.clear();
  calls_.clear();
}

Win32Error FaultPlan::Check(const std::string& call) {
  std::lock_guard<std::mutex> lock(mu_);
  ++calls_[call];
  auto it = rules_.find(call);
  if (it == rules_.end()) return err::kSuccess;
  Rule& rule = it->second;
  if (rule.countdown > 1) {
    --rule.countdown;
    return err::kSuccess;
  }
  Win32Error code = rule.code;
  if (!rule.forever) rules_.erase(it);
  return code;
}

int FaultPlan::Calls(const std::string& call) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = calls_.find(call);
  return it == calls_.end() ? 0 : it->second;
}

#define KW_FORWARD(call, expr)                          \
  if (Win32Error injected = Fault(call)) return injected; \
  return expr

Win32Error FileSystemWrapper::GetEntry(const std::string& p, FileEntry* e) {
  KW_FORWARD("GetEntry", target_.GetEntry(p, e));
}
Win32Error FileSystemWrapper::SetAttributes(const std::string& p, uint32_t a) {
  KW_FORWARD("SetAttributes", target_.SetAttributes(p, a));
}
Win32Error FileSystemWrapper::SetLastWriteTime(const std::string& p, FileTime t) {
  KW_FORWARD("SetLastWriteTime", target_.SetLastWriteTime(p, t));
}
Win32Error FileSystemWrapper::List(const std::string& p, std::vector<FileEntry>* e) {
  KW_FORWARD("List", target_.List(p, e));
}
Win32Error FileSystemWrapper::CreateFolder(const std::string& p) {
  KW_FORWARD("CreateFolder", target_.CreateFolder(p));
}
Win32Error FileSystemWrapper::CreateFolderTree(const std::string& p) {
  KW_FORWARD("CreateFolderTree", target_.CreateFolderTree(p));
}
Win32Error FileSystemWrapper::RemoveFolder(const std::string& p) {
  KW_FORWARD("RemoveFolder", target_.RemoveFolder(p));
}
Win32Error FileSystemWrapper::DeleteFile(const std::string& p) {
  KW_FORWARD("DeleteFile", target_.DeleteFile(p));
}
Win32Error FileSystemWrapper::MoveFile(const std::string& f, const std::string& t, uint32_t flags) {
  KW_FORWARD("MoveFile", target_.MoveFile(f, t, flags));
}
Win32Error FileSystemWrapper::CopyFile(const std::string& f, const std::string& t, bool fail_if_exists,
                                       const CopyProgress& progress) {
  KW_FORWARD("CopyFile", target_.CopyFile(f, t, fail_if_exists, progress));
}
Win32Error FileSystemWrapper::CreateHardLink(const std::string& l, const std::string& e) {
  KW_FORWARD("CreateHardLink", target_.CreateHardLink(l, e));
}
Win32Error FileSystemWrapper::GetLinkCount(const std::string& p, uint32_t* c) {
  KW_FORWARD("GetLinkCount", target_.GetLinkCount(p, c));
}
Win32Error FileSystemWrapper::Open(const std::string& p, OpenMode m, ShareMode s, std::unique_ptr<File>* f) {
  KW_FORWARD("Open", target_.Open(p, m, s, f));
}
Win32Error FileSystemWrapper::GetFullPath(const std::string& p, std::string* o) {
  KW_FORWARD("GetFullPath", target_.GetFullPath(p, o));
}
Win32Error FileSystemWrapper::GetShortPath(const std::string& p, std::string* o) {
  KW_FORWARD("GetShortPath", target_.GetShortPath(p, o));
}
Win32Error FileSystemWrapper::GetLongPath(const std::string& p, std::string* o) {
  KW_FORWARD("GetLongPath", target_.GetLongPath(p, o));
}
Win32Error FileSystemWrapper::GetVolumeSpace(const std::string& p, uint64_t* f, uint64_t* t) {
  KW_FORWARD("GetVolumeSpace", target_.GetVolumeSpace(p, f, t));
}
DriveType FileSystemWrapper::GetDriveType(const std::string& root) {
  if (Fault("GetDriveType")) return DriveType::kNoRootDir;
  return target_.GetDriveType(root);
}
std::string FileSystemWrapper::LogicalDrives() { return target_.LogicalDrives(); }
Win32Error FileSystemWrapper::SetCompression(const std::string& p, bool c) {
  KW_FORWARD("SetCompression", target_.SetCompression(p, c));
}
Win32Error FileSystemWrapper::GetNativePath(const std::string& p, std::string* n) {
  KW_FORWARD("GetNativePath", target_.GetNativePath(p, n));
}

Win32Error RegistryWrapper::CheckComputer(const std::string& c) {
  KW_FORWARD("CheckComputer", target_.CheckComputer(c));
}
Win32Error RegistryWrapper::KeyExists(RegRoot r, const std::string& k, RegView v) {
  KW_FORWARD("KeyExists", target_.KeyExists(r, k, v));
}
Win32Error RegistryWrapper::CreateKey(RegRoot r, const std::string& k, RegView v, bool* created) {
  KW_FORWARD("CreateKey", target_.CreateKey(r, k, v, created));
}
Win32Error RegistryWrapper::SetValue(RegRoot r, const std::string& k, const std::string& n, RegView v,
                                     const RegValue& value) {
  KW_FORWARD("SetValue", target_.SetValue(r, k, n, v, value));
}
Win32Error RegistryWrapper::GetValue(RegRoot r, const std::string& k, const std::string& n, RegView v,
                                     RegValue* value) {
  KW_FORWARD("GetValue", target_.GetValue(r, k, n, v, value));
}
Win32Error RegistryWrapper::DeleteValue(RegRoot r, const std::string& k, const std::string& n, RegView v) {
  KW_FORWARD("DeleteValue", target_.DeleteValue(r, k, n, v));
}
Win32Error RegistryWrapper::DeleteKey(RegRoot r, const std::string& k, RegView v) {
  KW_FORWARD("DeleteKey", target_.DeleteKey(r, k, v));
}
Win32Error RegistryWrapper::DeleteTree(RegRoot r, const std::string& k, RegView v) {
  KW_FORWARD("DeleteTree", target_.DeleteTree(r, k, v));
}
Win32Error RegistryWrapper::EnumKeys(RegRoot r, const std::string& k, RegView v, std::vector<std::string>* n) {
  KW_FORWARD("EnumKeys", target_.EnumKeys(r, k, v, n));
}
Win32Error RegistryWrapper::EnumValues(RegRoot r, const std::string& k, RegView v,
                                       std::vector<RegNamedValue>* values) {
  KW_FORWARD("EnumValues", target_.EnumValues(r, k, v, values));
}

Win32Error ServicesWrapper::Create(const ServiceConfig& c) {
  KW_FORWARD("CreateService", target_.Create(c));
}
Win32Error ServicesWrapper::Delete(const std::string& n) { KW_FORWARD("DeleteService", target_.Delete(n)); }
Win32Error ServicesWrapper::QueryConfig(const std::string& n, ServiceConfig* c) {
  KW_FORWARD("QueryServiceConfig", target_.QueryConfig(n, c));
}
Win32Error ServicesWrapper::QueryState(const std::string& n, uint32_t* s) {
  KW_FORWARD("QueryServiceStatus", target_.QueryState(n, s));
}
Win32Error ServicesWrapper::Start(const std::string& n, const std::vector<std::string>& a) {
  KW_FORWARD("StartService", target_.Start(n, a));
}
Win32Error ServicesWrapper::Stop(const std::string& n) { KW_FORWARD("ControlService", target_.Stop(n)); }
Win32Error ServicesWrapper::ChangeStartType(const std::string& n, uint32_t s) {
  KW_FORWARD("ChangeServiceConfig", target_.ChangeStartType(n, s));
}
Win32Error ServicesWrapper::List(std::vector<std::string>* n) {
  KW_FORWARD("EnumServicesStatus", target_.List(n));
}

#undef KW_FORWARD

}  // namespace kestrawl::platform
