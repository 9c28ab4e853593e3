#include "script/commands/maintenance_commands.h"

#include "base/guid.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/change_log.h"
#include "maintenance/bootstrap.h"
#include "script/command_context.h"
#include "script/run_state.h"

namespace kestrawl::script {

namespace {

void TransformInstanceCommand(CommandContext& ctx) {
  VariableStore& vars = ctx.engine.variables;
  if (!ToBoolean(vars.GetVariable("NEWINSTANCE"))) return;
  const std::string package = vars.GetVariable("MSIFILE");
  if (!package.empty() && ctx.engine.platform.Files().FileExists(base::ChangeFileExt(package, ".msp"))) return;
  ctx.run.transformed_instance_code = base::NewGuid();
  ctx.run.transformed_cache_name = base::NewGuid();
  maintenance::RunBootstrap(ctx.engine, ctx.run);
}

// The setup's own product installed through the native engine counts as
// installed whatever code is asked; there is no installer product state
// on this machine for anything else.
void IsMsiSetupInstalledCommand(CommandContext& ctx) {
  const bool installed = engine::native::InstanceLogsExist(ctx.engine);
  const std::string name = ctx.ResultName(2);
  if (name.empty()) return;
  VariableStore& vars = ctx.engine.variables;
  if (!vars.VariableExists(name)) vars.DeclareVariable(base::ToUpper(name), "", "MsiQueryProductState");
  vars.AssignVariable(name, FromBoolean(installed), "MsiQueryProductState");
}

}  // namespace

std::vector<HandlerEntry> MaintenanceCommandHandlers() {
  return {{"Transform Instance", TransformInstanceCommand}, {"Is MSI Setup Installed", IsMsiSetupInstalledCommand}};
}

}  // namespace kestrawl::script
