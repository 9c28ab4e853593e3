// Windows file-name wildcards, as folder listings apply them. '*' matches
// any run of characters, '?' one character (or none at the end of the name
// or before a dot), letter case is ignored. The DOS rules apply: "*.*"
// matches every name, names without a dot too; "*." matches names without
// an extension; "name.*" also matches "name".
#pragma once

#include <string_view>

namespace kestrawl::base {

bool WildcardMatch(std::string_view pattern, std::string_view name);

// True when the text contains '*' or '?'.
bool HasWildcards(std::string_view text);

}  // namespace kestrawl::base
