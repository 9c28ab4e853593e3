// The string commands: "Parse String" (split a text around a delimiter or at
// a count), "Replace String" (replace inside a variable's value) and
// "Convert Case". Lengths and positions count UTF-16 code units, and
// case-insensitive matching maps each code unit on its own, so a match in
// the folded text is a match at the same place in the original.
#pragma once

#include <vector>

#include "script/command_context.h"
#include "script/command_dispatch.h"

namespace kestrawl::script {

void ParseStringCommand(CommandContext& ctx);
void ReplaceStringCommand(CommandContext& ctx);
void ConvertCaseCommand(CommandContext& ctx);

std::vector<HandlerEntry> StringCommandHandlers();

}  // namespace kestrawl::script
