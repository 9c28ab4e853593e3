// The two ways a script tests things.
//
// Structured conditions ("If", "Else If", "While", "Until"): parameter 1 the
// variable, 2 an operator code "0".."6", 3 the comparison value, 4 a negation
// flag. Free-form expressions ("Evaluate Expression"): quoted comparisons
// joined by the lower-case words "and"/"or" (strictly left to right) and
// parentheses, giving "TRUE", "FALSE" or "ERROR".
//
// Syntax errors never throw. An integer operand of an expression that does
// not fit in 32 bits, and a version part before a dot that is not an integer,
// raise EScriptError (a run-time error of the command).
#pragma once

#include <string>
#include <string_view>

#include "script/variable_store.h"

namespace kestrawl::script {

class CommandContext;

// The condition of the current command, negation applied.
bool EvaluateCondition(CommandContext& ctx);

// Operator codes "0".."4" and "6" on the expanded value and comparison text,
// before negation. Any other code (including "5", which tests existence and
// needs the store) gives false.
bool CompareCondition(std::string_view code, const std::string& value, const std::string& comparison);

// True when value's four version numbers are greater than comparison's.
bool VersionGreater(std::string_view value, std::string_view comparison);

// Evaluates an expression whose variable references were already expanded.
std::string EvaluateExpandedExpression(std::string_view expression);
// Expands the references with quoted values, then evaluates.
std::string EvaluateExpression(const VariableStore& variables, std::string_view expression);
// The pre-pass check: every "$" read as a double quote, then evaluated; true
// unless the result is "ERROR".
bool ExpressionSyntaxOk(std::string_view expression);

}  // namespace kestrawl::script
