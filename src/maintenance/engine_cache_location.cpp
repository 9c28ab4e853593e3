#include "maintenance/engine_cache_location.h"

#include <optional>

#include "base/text.h"
#include "base/win_path.h"

namespace kestrawl::maintenance {

namespace {

using platform::RegRoot;
using platform::RegView;

std::optional<std::string> IdentityCacheValue(platform::Registry& reg, RegRoot root,
                                              const std::string& instance_code) {
  std::optional<std::string> value =
      reg.ReadString(root, kIdentityCacheKey + instance_code, "", RegView::kDefault);
  if (value && value->empty()) return std::nullopt;
  return value;
}

// The folder a registered cache lives in, when the registered value names a
// cache folder of this revision.
std::optional<std::string> RegisteredBase(platform::Platform& platform,
                                          const InstanceIdentity& identity) {
  if (identity.instance_code.empty()) return std::nullopt;
  std::optional<std::string> value =
      IdentityCacheValue(platform.Reg(), RegRoot::kLocalMachine, identity.instance_code);
  if (!value || !platform.Files().FolderExists(*value))
    value = IdentityCacheValue(platform.Reg(), RegRoot::kCurrentUser, identity.instance_code);
  if (!value) return std::nullopt;
  const std::string folder = base::ExcludeTrailingBackslash(*value);
  if (!base::EqualsNoCase(base::ExtractFileName(folder), identity.cache_folder_name))
    return std::nullopt;
  std::string parent = base::ExtractFilePath(folder);
  if (parent.empty()) return std::nullopt;
  return base::IncludeTrailingBackslash(parent);
}

std::optional<std::string> Special(platform::System& sys, int csidl) {
  std::string path;
  if (sys.SpecialFolder(csidl, &path) != platform::err::kSuccess || path.empty())
    return std::nullopt;
  return base::IncludeTrailingBackslash(path);
}

std::string DefaultBase(platform::System& sys, bool machine_wide) {
  namespace csidl = platform::csidl;
  std::optional<std::string> base;
  if (!sys.Facts().nt) {
    base = Special(sys, csidl::kProgramFilesCommon);
  } else if (machine_wide) {
    base = Special(sys, csidl::kCommonAppData);
  } else {
    base = Special(sys, csidl::kLocalAppData);
    if (!base) base = Special(sys, csidl::kAppData);
  }
  if (base) return *base;
  std::string desktop;
  sys.SpecialFolder(csidl::kDesktop, &desktop);
  return base::ExtractFilePath(base::ExcludeTrailingBackslash(desktop)) + "Application Data\\";
}

}  // namespace

bool MachineWideByDefault(const platform::MachineFacts& facts) {
  return facts.nt && facts.administrator && (facts.major < 6 || facts.elevated);
}

std::string EngineCacheBase(platform::Platform& platform, std::string_view override_cache,
                            const InstanceIdentity& identity, bool machine_wide) {
  if (!override_cache.empty()) return base::IncludeTrailingBackslash(override_cache);
  if (std::optional<std::string> registered = RegisteredBase(platform, identity))
    return *registered;
  return DefaultBase(platform.Sys(), machine_wide);
}

std::string EngineCacheFolder(platform::Platform& platform, std::string_view override_cache,
                              const InstanceIdentity& identity, bool machine_wide) {
  return EngineCacheBase(platform, override_cache, identity, machine_wide) +
         identity.cache_folder_name + "\\";
}

std::string CurrentEngineCacheFolder(platform::Platform& platform, const script::VariableStore& vars,
                                     const std::string& product_code, const std::string& revision_code) {
  InstanceIdentity identity;
  identity.instance_code = vars.GetVariable("PRODUCTCODE");
  identity.cache_folder_name = vars.GetVariable("REVISIONCODE");
  if (identity.instance_code.empty()) identity.instance_code = product_code;
  if (identity.cache_folder_name.empty()) identity.cache_folder_name = revision_code;
  return EngineCacheFolder(platform, vars.GetVariable("OVERRIDECACHE"), identity,
                           script::ToBoolean(vars.GetVariable("ALLUSERS")));
}

}  // namespace kestrawl::maintenance
