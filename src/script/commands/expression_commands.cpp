#include "script/commands/expression_commands.h"

#include "base/text.h"
#include "script/command_context.h"
#include "script/conditions.h"

namespace kestrawl::script {

void EvaluateExpressionCommand(CommandContext& ctx) {
  VariableStore& variables = ctx.engine.variables;
  std::string result = ctx.ResultName(2);
  if (!result.empty() && !variables.VariableExists(result))
    variables.DeclareVariable(base::ToUpper(result), "", ctx.Source());
  ctx.SetResult(result, EvaluateExpression(variables, ctx.Raw(1)));
}

std::vector<HandlerEntry> ExpressionCommandHandlers() {
  return {{"Evaluate Expression", &EvaluateExpressionCommand}};
}

}  // namespace kestrawl::script
