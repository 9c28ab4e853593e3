// Comma text: the engine's text form of a list of texts, used by the variable
// store, change records, change logs and plug-in calls.
//
// Writing joins the items with ","; an item containing a double quote, a
// comma, a space or any character below a space is written between double
// quotes with each inner double quote doubled. A list of exactly one empty
// item is written as "" (two double quotes); other empty items are nothing
// between two commas.
//
// Reading splits on commas and on unquoted white space (any character up to
// and including the space), removes the quoting of quoted items (an
// unterminated quote runs to the end of the text) and treats a final comma,
// possibly followed by white space, as ending one more, empty item.
//
// Reading what was written gives back the same items.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrawl::base {

std::string JoinCommaText(const std::vector<std::string>& items);
std::vector<std::string> SplitCommaText(std::string_view text);

}  // namespace kestrawl::base
