// "Display Dialog" and "Hide Dialog": show a wizard page through the page
// host (none: every page ends as "Next", as in a silent run), store its
// outcome and steer an enclosing "Wizard Loop".
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

void DisplayDialogCommand(CommandContext& ctx);
void HideDialogCommand(CommandContext& ctx);
std::vector<HandlerEntry> DialogCommandHandlers();

}  // namespace kestrawl::script
