#include "script/commands/component_commands.h"

#include <string>

#include "script/command_context.h"
#include "script/component_store.h"
#include "script/feature_selections.h"
#include "script/run_state.h"
#include "script/variable_store.h"

namespace kestrawl::script {

// Component names and descriptions are read as text values; no translation
// layer exists yet, so the untranslated name is the name itself.

void DefineComponent(CommandContext& ctx) {
  const std::string name = ctx.Text(1);
  ctx.run.components.Define(name, name, ctx.Flag(2), ctx.Text(3));
}

void GetComponentState(CommandContext& ctx) {
  ctx.SetResultParam(2, FromBoolean(ctx.run.components.IsSelected(ctx.Text(1))));
}

void SetComponentState(CommandContext& ctx) { ctx.run.components.SetState(ctx.Text(1), ctx.Flag(2)); }

void GetComponentSpace(CommandContext& ctx) {
  const ComponentStore& store = ctx.run.components;
  const std::string name = ctx.Text(1);
  ctx.SetResultParam(2, std::to_string(name.empty() ? store.NeededSize() : store.Size(name)));
}

void SetComponentSpace(CommandContext& ctx) {
  int64_t size = 0;
  if (ParseComponentSize(ctx.Text(2), &size)) ctx.run.components.SetSize(ctx.Text(1), size);
}

void SetComponentChoice(CommandContext& ctx) { ctx.run.components.SetChoice(ctx.Text(1), ctx.Flag(2)); }

void SetComponentVisibility(CommandContext& ctx) {
  ctx.run.components.SetVisible(ctx.Text(1), ctx.Flag(2));
}

void DeleteComponent(CommandContext& ctx) { ctx.run.components.Delete(ctx.Text(1)); }

void SaveFeatureSelectionsCommand(CommandContext& ctx) {
  SaveFeatureSelections(ctx.engine, ctx.run, ctx.Text(1));
}

void LoadFeatureSelectionsCommand(CommandContext& ctx) {
  LoadFeatureSelections(ctx.engine, ctx.run, ctx.Text(1));
}

std::vector<HandlerEntry> ComponentCommandHandlers() {
  return {
      {"Define Component", DefineComponent},
      {"Get Component State", GetComponentState},
      {"Set Component State", SetComponentState},
      {"Get Component Space", GetComponentSpace},
      {"Set Component Space", SetComponentSpace},
      {"Set Component Choice", SetComponentChoice},
      {"Set Component Visibility", SetComponentVisibility},
      {"Delete Component", DeleteComponent},
      {"Save Feature Selections", SaveFeatureSelectionsCommand},
      {"Load Feature Selections", LoadFeatureSelectionsCommand},
  };
}

}  // namespace kestrawl::script
