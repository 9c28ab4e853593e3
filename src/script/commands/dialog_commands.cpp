#include "script/commands/dialog_commands.h"

#include "script/command_context.h"
#include "script/run_state.h"
#include "script/substitution.h"

namespace kestrawl::script {

void DisplayDialogCommand(CommandContext& ctx) {
  EngineContext& e = ctx.engine;
  // Parameters: 1 page name, 2 result variable, 3 modal, 4 condition
  // variable, 6 the value the condition must not equal for the page to show.
  const std::string condition = ctx.Raw(4);
  if (!condition.empty()) {
    std::string name = VariableNameOf(condition);
    if (name.empty()) name = condition;
    if (ToBoolean(e.variables.GetVariable(name)) == ctx.Flag(6)) return;
  }
  const bool in_wizard = ctx.run.wizard_active;
  const bool modal = in_wizard || ctx.Flag(3);
  int code = ui::page_result::kNext;
  std::string custom;
  const bool silent = e.settings.silent || ToBoolean(e.variables.GetVariable("SILENT"));
  e.variables.AssignVariable("VELK_IsCancelled", "FALSE", ctx.Source());
  if (!silent && e.pages) {
    auto it = e.dialogs.find(ctx.index);
    code = e.pages->ShowPage(ctx.index, it == e.dialogs.end() ? std::string() : it->second, modal, &custom);
  }
  if (!in_wizard) e.variables.AssignVariable("WINDOWHANDLE", "0", "Display Dialog");

  const std::string result = ctx.ResultName(2);
  if (!result.empty()) {
    if (!e.variables.VariableExists(result)) ctx.SetResult(result, "");
    std::string text;
    switch (code) {
      case ui::page_result::kNotModal: text = "NOTMODAL"; break;
      case ui::page_result::kCancel: text = "CANCEL"; break;
      case ui::page_result::kNext: text = "NEXT"; break;
      case ui::page_result::kBack: text = "BACK"; break;
      case ui::page_result::kCustom: text = custom; break;
      default: break;
    }
    if (!text.empty()) ctx.SetResult(result, text);
  }
  if (in_wizard) {
    if (code == ui::page_result::kNext) ctx.run.wizard_direction = 1;
    else if (code == ui::page_result::kBack) ctx.run.wizard_direction = -1;
    else if (code == ui::page_result::kCancel) ctx.run.wizard_direction = 0;
  }
}

void HideDialogCommand(CommandContext& ctx) {
  if (ctx.engine.pages) ctx.engine.pages->HidePage();
  ctx.engine.variables.AssignVariable("WINDOWHANDLE", "0", "Hide Dialog");
}

std::vector<HandlerEntry> DialogCommandHandlers() {
  return {{"Display Dialog", DisplayDialogCommand}, {"Hide Dialog", HideDialogCommand}};
}

}  // namespace kestrawl::script
