#include "maintenance/bootstrap.h"

#include "base/win_path.h"
#include "maintenance/engine_cache_location.h"

namespace kestrawl::maintenance {

namespace {

// Compiled-script cache mode in which the setup's data lives in the cache.
constexpr int32_t kDataInCache = 2;

std::string ExecutableName(const script::EngineContext& engine) {
  return base::ExtractFileName(engine.paths.executable);
}

}  // namespace

bool IsInstanceInstalled(script::EngineContext& engine, const InstanceIdentity& identity) {
  (void)engine;
  (void)identity;
  return false;
}

void RunBootstrap(script::EngineContext& engine, script::RunState& run) {
  script::VariableStore& vars = engine.variables;
  platform::Platform& platform = engine.platform;
  const platform::MachineFacts& facts = platform.Sys().Facts();

  // 1-2. Identity and the default target folder.
  const InstanceIdentity identity =
      ResolveInstanceIdentity(platform.Files(), engine.paths.executable_folder, engine.script);
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

  // 5-6. Installed and upgrade tests (the installer product state is not
  // consulted yet, so an upgrade is never detected).
  const bool installed = IsInstanceInstalled(engine, identity);
  const bool needs_upgrade = false;
  const bool maintenance = !needs_upgrade && installed;
  vars.DeclareVariable("NEEDSUPGRADE", script::FromBoolean(needs_upgrade), kBootstrapSource);
  vars.DeclareVariable("MAINTENANCE", script::FromBoolean(maintenance), kBootstrapSource);

  // 7-8. A maintenance run would load the previous choices here; a first
  // installation starts from the defaults.
  if (!maintenance) {
    run.components.Reset(engine.script);
    vars.DeclareVariable("TARGETDIR", default_target, kBootstrapSource);
    vars.DeclareVariable("STARTMENU", identity.title, kBootstrapSource);
    vars.DeclareVariable("ALLUSERS", script::FromBoolean(machine_wide), kBootstrapSource);
  }

  // 9-10. Previous revision: not searched yet.
  vars.DeclareVariable("NATIVE_OLDLOG", "", kBootstrapSource);
  vars.DeclareVariable("RECOMMENDEDUPGRADE", "FALSE", kBootstrapSource);

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
