// The component commands: defining components, reading and changing their
// states, sizes, locks and visibility, and saving and loading the
// feature-selection file. Each handler reads its parameters through the
// CommandContext and works on the run's component store.
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

void DefineComponent(CommandContext& ctx);
void GetComponentState(CommandContext& ctx);
void SetComponentState(CommandContext& ctx);
void GetComponentSpace(CommandContext& ctx);
void SetComponentSpace(CommandContext& ctx);
void SetComponentChoice(CommandContext& ctx);
void SetComponentVisibility(CommandContext& ctx);
void DeleteComponent(CommandContext& ctx);
void SaveFeatureSelectionsCommand(CommandContext& ctx);
void LoadFeatureSelectionsCommand(CommandContext& ctx);

std::vector<HandlerEntry> ComponentCommandHandlers();

}  // namespace kestrawl::script
