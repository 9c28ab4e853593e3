#include "maintenance/engine_cache.h"

#include <charconv>

#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/change_log.h"
#include "engine/native/native_engine.h"
#include "maintenance/engine_cache_location.h"
#include "maintenance/identification_tags.h"
#include "maintenance/instance_identity.h"
#include "script/command_context.h"
#include "script/feature_selections.h"
#include "script/script_error.h"

namespace kestrawl::maintenance {

namespace fs = platform;

namespace {

std::string InstanceCode(script::EngineContext& engine) {
  std::string code = engine.variables.GetVariable("PRODUCTCODE");
  return code.empty() ? engine.script.product_code : code;
}

std::string CacheFolder(script::EngineContext& engine) {
  return CurrentEngineCacheFolder(engine.platform, engine.variables, engine.script.product_code,
                                  engine.script.revision_code);
}

fs::RegRoot RegistrationRoot(script::EngineContext& engine) {
  return script::ToBoolean(engine.variables.GetVariable("ALLUSERS")) ? fs::RegRoot::kLocalMachine
                                                                      : fs::RegRoot::kCurrentUser;
}

// Copies a file into the cache: attributes reset, then overwritten. A file
// that is already the cached one (a maintenance run from the cache) stays.
void CopyIntoCache(fs::FileSystem& files, const std::string& source, const std::string& target) {
  if (source.empty() || !files.FileExists(source)) return;
  std::string a, b;
  files.GetFullPath(source, &a);
  files.GetFullPath(target, &b);
  if (base::EqualsNoCase(a, b)) return;
  files.SetAttributes(target, fs::attr::kNormal);
  files.CopyFile(source, target, false);
}

void SetString(fs::Registry& reg, fs::RegRoot root, const std::string& key, const std::string& name,
               const std::string& value) {
  reg.SetValue(root, key, name, fs::RegView::kDefault, fs::RegValue::String(value));
}

// Deletes a key, then its parents up to (not including) `stop` while they
// are empty: the registration leaves nothing of itself behind.
void DeleteKeyAndEmptyParents(fs::Registry& reg, fs::RegRoot root, std::string key, const std::string& stop) {
  reg.DeleteTree(root, key, fs::RegView::kDefault);
  for (;;) {
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return;
    key.resize(slash);
    if (key.size() <= stop.size() || base::EqualsNoCase(key, stop)) return;
    std::vector<std::string> subkeys;
    std::vector<fs::RegNamedValue> values;
    if (reg.EnumKeys(root, key, fs::RegView::kDefault, &subkeys) != fs::err::kSuccess) return;
    if (reg.EnumValues(root, key, fs::RegView::kDefault, &values) != fs::err::kSuccess) return;
    if (!subkeys.empty() || !values.empty()) return;
    if (reg.DeleteKey(root, key, fs::RegView::kDefault) != fs::err::kSuccess) return;
  }
}

// Every run marks its executable as a host application; a removal, or the
// rollback of a first installation, takes that mark away with the rest.
void RemoveHostApplicationMark(script::EngineContext& engine) {
  fs::Registry& reg = engine.platform.Reg();
  const std::string host_app = "Applications\\" + base::ExtractFileName(engine.paths.executable);
  fs::RegValue mark;
  if (reg.GetValue(fs::RegRoot::kClassesRoot, host_app, "IsHostApp", fs::RegView::kDefault, &mark) !=
      fs::err::kSuccess)
    return;
  reg.DeleteValue(fs::RegRoot::kClassesRoot, host_app, "IsHostApp", fs::RegView::kDefault);
  std::vector<std::string> subkeys;
  std::vector<fs::RegNamedValue> values;
  if (reg.EnumKeys(fs::RegRoot::kClassesRoot, host_app, fs::RegView::kDefault, &subkeys) == fs::err::kSuccess &&
      reg.EnumValues(fs::RegRoot::kClassesRoot, host_app, fs::RegView::kDefault, &values) == fs::err::kSuccess &&
      subkeys.empty() && values.empty())
    DeleteKeyAndEmptyParents(reg, fs::RegRoot::kClassesRoot, host_app, "");
}

// Schedules every file and folder below `folder`, then the folder, for
// deletion at the next restart (children before their parents).
void ScheduleTreeDeletion(fs::FileSystem& files, const std::string& folder) {
  std::vector<fs::FileEntry> entries;
  files.List(folder + "\\*", &entries);
  for (const fs::FileEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string path = folder + "\\" + entry.name;
    if (entry.IsFolder())
      ScheduleTreeDeletion(files, path);
    else
      files.MoveFile(path, "", fs::move::kDelayUntilReboot);
  }
  files.MoveFile(folder, "", fs::move::kDelayUntilReboot);
}

std::string PinListText(const script::RunState& run) {
  std::string text;
  for (size_t list = 0; list < run.pin_lists.size(); ++list)
    for (const std::string& entry : run.pin_lists[list]) text += std::to_string(list) + "|" + entry + "\r\n";
  return text;
}

std::string PropertyListText(const script::RunState& run) {
  std::string text;
  for (const auto& [name, value] : run.run_properties) text += name + "\r\n" + value + "\r\n";
  return text;
}

void WriteRegistration(script::EngineContext& engine, const std::string& cache) {
  script::VariableStore& vars = engine.variables;
  fs::Registry& reg = engine.platform.Reg();
  const fs::RegRoot root = RegistrationRoot(engine);
  const std::string code = InstanceCode(engine);
  const std::string exe_name = base::ExtractFileName(engine.paths.executable);
  const std::string title = vars.GetVariable("TITLE");
  uint32_t major = 0, minor = 0;
  VersionNumbers(vars.GetVariable("VERSION"), &major, &minor);

  const std::string ident = std::string(kIdentityCacheKey) + code;
  if (reg.CreateKey(root, ident, fs::RegView::kDefault) == fs::err::kSuccess) {
    SetString(reg, root, ident, "", cache);
    reg.SetValue(root, ident, "VersionMajor", fs::RegView::kDefault, fs::RegValue::Dword(major));
    reg.SetValue(root, ident, "VersionMinor", fs::RegView::kDefault, fs::RegValue::Dword(minor));
  }
  const std::string entry = std::string(kUninstallKey) + title;
  if (!title.empty() && reg.CreateKey(root, entry, fs::RegView::kDefault) == fs::err::kSuccess) {
    const script::CompiledScript& s = engine.script;
    SetString(reg, root, entry, "DisplayIcon", cache + exe_name);
    SetString(reg, root, entry, "DisplayName", title);
    SetString(reg, root, entry, "UninstallString", "\"" + cache + exe_name + "\" REMOVE=TRUE MODIFY=FALSE");
    SetString(reg, root, entry, "ModifyPath", cache + exe_name);
    SetString(reg, root, entry, "Publisher", s.publisher);
    SetString(reg, root, entry, "Contact", s.contact);
    SetString(reg, root, entry, "HelpLink", s.help_link);
    SetString(reg, root, entry, "URLUpdateInfo", s.update_info_link);
    SetString(reg, root, entry, "Comments", s.comments);
    SetString(reg, root, entry, "DisplayVersion", vars.GetVariable("VERSION"));
    reg.SetValue(root, entry, "VersionMajor", fs::RegView::kDefault, fs::RegValue::Dword(major));
    reg.SetValue(root, entry, "VersionMinor", fs::RegView::kDefault, fs::RegValue::Dword(minor));
    SetString(reg, root, entry, "InstallLocation", script::CollapseBackslashes(vars.GetVariable("TARGETDIR")));
  }
  // The installer product's own entry points at the engine as well.
  const std::string product_entry = std::string(kUninstallKey) + code;
  if (reg.CreateKey(root, product_entry, fs::RegView::kDefault) == fs::err::kSuccess)
    SetString(reg, root, product_entry, "UninstallString", cache + engine.paths.base_name + ".exe");
}

}  // namespace

void VersionNumbers(const std::string& version, uint32_t* major, uint32_t* minor) {
  const std::vector<std::string> parts = base::Split(version, '.');
  auto number = [&](size_t i) -> uint32_t {
    if (i >= parts.size()) return 0;
    uint32_t value = 0;
    const std::string& p = parts[i];
    auto [ptr, ec] = std::from_chars(p.data(), p.data() + p.size(), value);
    return ec == std::errc() && ptr == p.data() + p.size() ? value : 0;
  };
  *major = number(0);
  *minor = number(1);
}

void WriteEngineCache(script::EngineContext& engine, script::RunState& run) {
  script::VariableStore& vars = engine.variables;
  fs::FileSystem& files = engine.platform.Files();
  const std::string cache = CacheFolder(engine);
  const std::string code = InstanceCode(engine);
  const std::string base = engine.paths.base_name;

  // 1-2.
  files.CreateFolderTree(cache);
  files.SetCompression(cache, script::ToBoolean(vars.GetVariable("VELK_COMPRESS_INSTALLER_CACHE")));
  files.RemoveFolder(cache + "__ad");
  if (engine.script.cache_mode == 2) files.WriteWholeFile(cache + code, "");

  // 3. The setup and its side files.
  CopyIntoCache(files, engine.paths.executable, cache + base::ExtractFileName(engine.paths.executable));
  CopyIntoCache(files, engine.paths.support_folder + base + ".msi", cache + base + ".msi");
  CopyIntoCache(files, files.FileExists(engine.paths.support_folder + base + ".res")
                           ? engine.paths.support_folder + base + ".res"
                           : engine.paths.resource_archive,
                cache + base + ".res");
  CopyIntoCache(files, engine.paths.executable_folder + "zel.lib", cache + "zel.lib");
  CopyIntoCache(files, engine.paths.support_folder + "setup.bmp", cache + "setup.bmp");
  script::SaveFeatureSelections(engine, run, cache + base + ".dat");
  files.WriteWholeFile(cache + base + ".par", PropertyListText(run));
  files.WriteWholeFile(cache + base + ".lnk", PinListText(run));
  files.DeleteFile(cache + base + ".lan");

  // 4-5.
  if (script::ToBoolean(vars.GetVariable("NATIVE_ENGINE"))) {
    const std::string prefix = engine::native::ResolveLogPrefix(engine);
    if (engine::native::Flush(files, run.native, prefix) != fs::err::kSuccess)
      throw script::EScriptError("Unable to write the change log at " + prefix);
  }
  run.native.install_completed = true;

  // 6.
  WriteIdentificationTags(engine);
  WriteRegistration(engine, cache);
  files.WriteWholeFile(cache + kInstanceFileName, code + "\r\n" + vars.GetVariable("REVISIONCODE") + "\r\n" +
                                                     vars.GetVariable("TITLE") + "\r\n");
}

void RemoveEngineCache(script::EngineContext& engine, script::RunState& run) {
  script::VariableStore& vars = engine.variables;
  fs::FileSystem& files = engine.platform.Files();
  const bool native = script::ToBoolean(vars.GetVariable("NATIVE_ENGINE"));
  const std::string code = InstanceCode(engine);
  const bool keep = script::ToBoolean(vars.GetVariable("SAVEDATA")) ||
                    (native && script::ToBoolean(vars.GetVariable("MODIFY")));
  if (!keep) {
    const bool loaded = engine::native::InstanceLogsExist(engine) && engine::native::LoadInstanceLogs(engine, run);
    const std::string cache = CacheFolder(engine);
    if (engine.script.cache_mode == 2) files.DeleteFile(cache + code);
    files.DeleteTree(cache);
    if (files.FolderExists(cache)) {
      // Files in use (the running setup): move the folder aside and let the
      // restart delete it.
      const std::string folder = base::ExcludeTrailingBackslash(cache);
      const std::string parent = base::ExtractFilePath(folder);
      for (int n = 0; n < 1000; ++n) {
        const std::string aside = parent + "~" + std::to_string(n);
        if (files.FolderExists(aside) || files.FileExists(aside)) continue;
        // Everything still in it goes at the restart, deepest first: not
        // only the running setup and the archive library but also payload
        // files shared (hard-linked) with installed files in use; the folder
        // itself can only go once it is empty.
        if (files.MoveFile(folder, aside, 0) == fs::err::kSuccess) ScheduleTreeDeletion(files, aside);
        break;
      }
    }
    run.native.instance_removed = true;
    if (loaded && !vars.GetVariable("NATIVE_LOGGING").empty()) engine::native::SaveInstanceLogs(engine, run);
  }
  // 2. Tags and registration, from both roots.
  RemoveIdentificationTags(engine);
  fs::Registry& reg = engine.platform.Reg();
  const std::string title = vars.GetVariable("TITLE");
  for (fs::RegRoot root : {fs::RegRoot::kLocalMachine, fs::RegRoot::kCurrentUser}) {
    if (!title.empty()) reg.DeleteTree(root, std::string(kUninstallKey) + title, fs::RegView::kDefault);
    reg.DeleteTree(root, std::string(kUninstallKey) + code, fs::RegView::kDefault);
    DeleteKeyAndEmptyParents(reg, root, std::string(kIdentityCacheKey) + code, "SOFTWARE");
  }
  RemoveHostApplicationMark(engine);
}

void RollBack(script::EngineContext& engine, script::RunState& run) {
  engine::native::RecordOrApply(engine, run, "ROLLBACK", 0, "", false);
  script::VariableStore& vars = engine.variables;
  if (script::ToBoolean(vars.GetVariable("MAINTENANCE")) || engine::native::InstanceLogsExist(engine)) return;
  fs::FileSystem& files = engine.platform.Files();
  const std::string prefix = engine::native::ResolveLogPrefix(engine);
  if (base::EqualsNoCase(prefix, engine::native::DefaultLogPrefix(engine))) engine::native::DeleteLogs(files, prefix, false);
  const std::string cache = CacheFolder(engine);
  // Never the folder the setup runs from.
  if (!base::StartsWithNoCase(engine.paths.executable_folder, cache)) {
    files.DeleteTree(cache);
    files.RemoveFolder(base::ExcludeTrailingBackslash(cache));
  }
  RemoveHostApplicationMark(engine);
}

void UpdateEngineCache(script::EngineContext& engine, script::RunState& run, bool removing) {
  if (removing)
    RemoveEngineCache(engine, run);
  else
    WriteEngineCache(engine, run);
}

}  // namespace kestrawl::maintenance
