#include "maintenance/bootstrap.h"

#include "base/win_path.h"
#include "base/text.h"
#include "engine/native/change_log.h"
#include "maintenance/engine_cache_location.h"
#include "script/command_context.h"
#include "script/feature_selections.h"
#include "script/script_error.h"
#include "script/substitution.h"

namespace kestrawl::maintenance {

namespace fs = platform;

namespace {

// Compiled-script cache mode in which the setup's data lives in the cache.
constexpr int32_t kDataInCache = 2;

std::string ExecutableName(const script::EngineContext& engine) {
  return base::ExtractFileName(engine.paths.executable);
}

}  // namespace

bool IsInstanceInstalled(script::EngineContext& engine, const InstanceIdentity& identity) {
  (void)identity;
  // The change log of the instance at its cache, registered under its
  // identity. (No installer product state exists on this machine.)
  return engine::native::InstanceLogsExist(engine);
}

namespace {

bool CompilerFlag(const script::CompiledScript& script, const std::string& name) {
  return script::ToBoolean(script::ExpandCompilerVariables(script.compiler_variables, "#" + name + "#"));
}

// Loads the previous choices kept beside an installed instance: the state
// file, the pin list and the property list.
void LoadPreviousChoices(script::EngineContext& engine, script::RunState& run, const std::string& folder,
                         const std::string& base) {
  fs::FileSystem& files = engine.platform.Files();
  const std::string dat = folder + base + ".dat";
  if (files.FileExists(dat)) {
    // A damaged state file must not lock the user out of maintenance and
    // removal: the run goes on with the defaults.
    try {
      script::LoadFeatureSelections(engine, run, dat);
    } catch (const script::EScriptError& e) {
      engine.log.Write(std::string("      <Damaged state file: ") + e.what() + " >");
    }
  }
  std::string text;
  if (files.ReadWholeFile(folder + base + ".lnk", &text) == fs::err::kSuccess) {
    for (const std::string& line : base::Split(text, '\n')) {
      std::string entry = line;
      if (!entry.empty() && entry.back() == '\r') entry.pop_back();
      const size_t bar = entry.find('|');
      int32_t list = 0;
      if (bar == std::string::npos || !script::ParseInt32(entry.substr(0, bar), &list) || list < 0 ||
          static_cast<size_t>(list) >= run.pin_lists.size())
        continue;
      run.pin_lists[static_cast<size_t>(list)].push_back(entry.substr(bar + 1));
    }
  }
  if (files.ReadWholeFile(folder + base + ".par", &text) == fs::err::kSuccess) {
    std::vector<std::string> lines;
    for (std::string line : base::Split(text, '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    run.run_properties.clear();
    for (size_t i = 0; i + 1 < lines.size(); i += 2) run.run_properties.emplace_back(lines[i], lines[i + 1]);
  }
}

// The cache folder an identity cache value names, when it exists.
std::string IdentityFolder(fs::Platform& platform, fs::RegRoot root, const std::string& code) {
  fs::RegValue value;
  if (platform.Reg().GetValue(root, std::string(kIdentityCacheKey) + code, "", fs::RegView::kDefault, &value) !=
      fs::err::kSuccess)
    return "";
  const std::string folder = base::IncludeTrailingBackslash(value.AsString());
  return platform.Files().FolderExists(folder) ? folder : "";
}

bool HasChangeLog(fs::FileSystem& files, const std::string& prefix) {
  return engine::native::CheckOrCreateLogFiles(files, prefix, false);
}

}  // namespace

void RunBootstrap(script::EngineContext& engine, script::RunState& run) {
  script::VariableStore& vars = engine.variables;
  platform::Platform& platform = engine.platform;
  const platform::MachineFacts& facts = platform.Sys().Facts();

  // 1-2. Identity and the default target folder.
  InstanceIdentity identity =
      ResolveInstanceIdentity(platform.Files(), engine.paths.executable_folder, engine.script);
  if (!run.transformed_instance_code.empty()) {
    identity.instance_code = run.transformed_instance_code;
    identity.cache_folder_name = run.transformed_cache_name;
  }
  vars.DeclareVariable("PRODUCTCODE", identity.instance_code, kBootstrapSource);
  vars.DeclareVariable("REVISIONCODE", identity.cache_folder_name, kBootstrapSource);
  std::string program_files;
  platform.Sys().SpecialFolder(platform::csidl::kProgramFiles, &program_files);
  const std::string default_target =
      base::IncludeTrailingBackslash(program_files) + identity.title + "\\";

  // 3. Engine cache folder.
  const bool machine_wide = MachineWideByDefault(facts);
  const std::string cache_folder =
      EngineCacheFolder(platform, vars.GetVariable("OVERRIDECACHE"), identity, machine_wide);
  vars.DeclareVariable("UNINSTALLLINK", cache_folder + ExecutableName(engine), kBootstrapSource);
  vars.DeclareVariable("ENGINECACHE", cache_folder, kBootstrapSource);

  // 4. Data folder.
  if (engine.script.cache_mode == kDataInCache) engine.paths.data_folder = cache_folder;
  vars.DeclareVariable("DATADIR", engine.paths.data_folder, kBootstrapSource);

  // 5-6. Installed and upgrade tests (no installer product state exists on
  // this machine, so an upgrade of an installer product is never detected).
  if (!vars.VariableExists("ALLUSERS")) vars.DeclareVariable("ALLUSERS", script::FromBoolean(machine_wide), kBootstrapSource);
  const bool installed = IsInstanceInstalled(engine, identity);
  const bool needs_upgrade = false;
  const bool maintenance = !needs_upgrade && installed;
  vars.DeclareVariable("NEEDSUPGRADE", script::FromBoolean(needs_upgrade), kBootstrapSource);
  vars.DeclareVariable("MAINTENANCE", script::FromBoolean(maintenance), kBootstrapSource);

  // 7-8. Previous choices, or the defaults of a first installation.
  const std::string base = engine.paths.base_name.empty()
                               ? base::ChangeFileExt(ExecutableName(engine), "")
                               : engine.paths.base_name;
  if (maintenance) {
    LoadPreviousChoices(engine, run, cache_folder, base);
  } else {
    run.components.Reset(engine.script);
    run.run_properties.clear();
    vars.DeclareVariable("TARGETDIR", default_target, kBootstrapSource);
    vars.DeclareVariable("STARTMENU", identity.title, kBootstrapSource);
    vars.DeclareVariable("ALLUSERS", script::FromBoolean(machine_wide), kBootstrapSource);
    if (platform.Files().FileExists(cache_folder + base + ".dat"))
      script::LoadFeatureSelections(engine, run, cache_folder + base + ".dat");
  }

  // 9-10. A previous revision: its change log in the cache folder that the
  // identity cache names, when that is not this revision's folder.
  fs::FileSystem& files = platform.Files();
  const std::string code = identity.instance_code;
  const std::string machine_folder = IdentityFolder(platform, fs::RegRoot::kLocalMachine, code);
  const std::string user_folder = IdentityFolder(platform, fs::RegRoot::kCurrentUser, code);
  std::string old_folder = machine_folder;
  if (machine_folder.empty() || (!HasChangeLog(files, machine_folder + code) && !user_folder.empty() &&
                                 HasChangeLog(files, user_folder + code)))
    old_folder = user_folder;
  std::string old_log;
  if (!old_folder.empty() && HasChangeLog(files, old_folder + code) &&
      !base::EqualsNoCase(base::ExtractFileName(base::ExcludeTrailingBackslash(old_folder)),
                          identity.cache_folder_name))
    old_log = old_folder + code;
  vars.DeclareVariable("NATIVE_OLDLOG", old_log, kBootstrapSource);
  if (!old_log.empty() && !maintenance && CompilerFlag(engine.script, "LOADOLDDATA")) {
    std::vector<fs::FileEntry> dats;
    files.List(old_folder + "*.dat", &dats);
    for (const fs::FileEntry& entry : dats) {
      if (base::EqualsNoCase(entry.name, kInstanceFileName)) continue;
      LoadPreviousChoices(engine, run, old_folder, base::ChangeFileExt(entry.name, ""));
      break;
    }
  }
  vars.DeclareVariable("RECOMMENDEDUPGRADE", script::FromBoolean(!old_log.empty()), kBootstrapSource);

  // 11. A run of the shipped setup over an installed instance is a new one.
  const bool new_instance = !identity.from_instance_file && (maintenance || needs_upgrade);
  vars.DeclareVariable("NEWINSTANCE", script::FromBoolean(new_instance), "Initialization");
}

void RefreshEngineCacheVariables(script::EngineContext& engine) {
  script::VariableStore& vars = engine.variables;
  InstanceIdentity identity;
  identity.instance_code = vars.GetVariable("PRODUCTCODE");
  identity.cache_folder_name = vars.GetVariable("REVISIONCODE");
  const std::string cache_folder =
      EngineCacheFolder(engine.platform, vars.GetVariable("OVERRIDECACHE"), identity,
                        MachineWideByDefault(engine.platform.Sys().Facts()));
  vars.AssignVariable("UNINSTALLLINK", cache_folder + ExecutableName(engine), kBootstrapSource);
  vars.AssignVariable("ENGINECACHE", cache_folder, kBootstrapSource);
}

}  // namespace kestrawl::maintenance
