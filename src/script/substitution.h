// Text substitution: $NAME$ references replaced by variable values (plain or
// quoted for expressions), #NAME# references replaced by compiler variables,
// the way a parameter names a variable, and the $NEWLINE$ marker.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/variable_store.h"

namespace kestrawl::script {

// Replacements per call before the rest of the text is left literal (a value
// that refers to itself would otherwise be rescanned for ever).
inline constexpr size_t kMaxReplacements = 10000;
// A replacement that would make the text longer than this is not made either:
// the rest of the text stays literal (guards memory against large values that
// refer to themselves).
inline constexpr size_t kMaxExpandedSize = size_t{16} << 20;

std::string Expand(const VariableStore& variables, std::string_view text);
std::string ExpandQuoted(const VariableStore& variables, std::string_view text);
// `pairs` is the compiled script's compiler variable list: name, value, ...
std::string ExpandCompilerVariables(const std::vector<std::string>& pairs, std::string_view text);
// "NAME" when text is exactly "$NAME$", else "".
std::string VariableNameOf(std::string_view text);
// CR LF -> "$NEWLINE$" and back (the marker in any letter case).
std::string LinesToMarker(std::string_view text);
std::string MarkerToLines(std::string_view text);

}  // namespace kestrawl::script
