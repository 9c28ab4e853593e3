#include "script/commands/terminate_commands.h"

#include "script/command_context.h"
#include "script/run_state.h"

namespace kestrawl::script {

namespace {

void TerminateInstall(CommandContext& ctx) { ctx.run.end_requested = true; }

void TerminateWithExitCode(CommandContext& ctx) {
  int32_t code = 0;
  if (!ParseInt32(ctx.Text(1), &code)) code = 0;
  ctx.engine.exit_code = code;
  ctx.run.end_requested = true;
}

}  // namespace

std::vector<HandlerEntry> TerminateCommandHandlers() {
  return {{"Terminate Install", TerminateInstall}, {"Terminate with Exit Code", TerminateWithExitCode}};
}

}  // namespace kestrawl::script
