// Splitting and quoting of Windows command lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrawl::base {

// The rules programs use to turn their command line into arguments: blanks
// and tabs separate; double quotes group; 2n backslashes before a quote give
// n backslashes and the quote toggles quoting; 2n+1 give n backslashes and a
// literal quote; "" inside quotes is a literal quote. The first item (the
// program) ends at the first blank, or at the closing quote when quoted.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

// Quotes one argument so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view argument);
// Joins arguments into a command line (each quoted only when needed).
std::string BuildCommandLine(const std::vector<std::string>& arguments);

// The engine's own parameter reading (ParamStr style): blanks and tabs
// separate, double quotes group and are removed, backslashes are literal.
// Item 0 is the program.
std::vector<std::string> SplitParameters(std::string_view command_line);

}  // namespace kestrawl::base
