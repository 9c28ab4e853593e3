// "Evaluate Expression": parameter 1 an expression of quoted comparisons,
// parameter 2 the result variable, which receives "TRUE", "FALSE" or "ERROR".
// A missing result variable is created empty (upper-case name) before the
// expression is expanded, so the expression may refer to it.
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

void EvaluateExpressionCommand(CommandContext& ctx);

std::vector<HandlerEntry> ExpressionCommandHandlers();

}  // namespace kestrawl::script
