// The path commands: "Convert Path" (a variable's path to its short 8.3 or
// long form, resolved against the machine; empty when nothing is there) and
// "Extract Path" (a variable's path cut to one of its parts). Both read the
// variable's value as a path value and write the result back to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/command_context.h"
#include "script/command_dispatch.h"

namespace kestrawl::script {

void ConvertPathCommand(CommandContext& ctx);
void ExtractPathCommand(CommandContext& ctx);

// The part of "Extract Path": 0 file name, 1 name without extension,
// 2 extension without dot, 3 folder with "\", 4 parent folder with "\",
// 5 drive with "\", 6 doubled backslashes collapsed. Other parts give the
// path unchanged. Only '\' and ':' separate components.
std::string ExtractPathPart(const std::string& path, int part);

std::vector<HandlerEntry> PathCommandHandlers();

}  // namespace kestrawl::script
