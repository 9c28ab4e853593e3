// The 8.3 name rules of the simulated file system: which long names already
// are valid 8.3 names, and the alias candidates generated for the others
// ("Program Files" -> "PROGRA~1"). Pure text functions; choosing a free
// number and remembering the alias is the caller's job.
#pragma once

#include <string>
#include <string_view>

namespace kestrawl::platform::sim {

// True when the name fits 8.3 as it is: a base of 1-8 and an optional
// extension of 1-3 characters from the 8.3 set, one dot at most. Letter case
// does not matter ("readme.txt" needs no alias).
bool IsValidShortName(std::string_view name);

// The n-th alias candidate for a long name (n >= 1): upper case, spaces and
// extra dots dropped, characters outside the 8.3 set replaced by '_', the
// first 6 characters (fewer when n has more digits) + "~n", then "." and the
// first 3 characters of the extension.
std::string ShortNameCandidate(std::string_view long_name, unsigned n);

}  // namespace kestrawl::platform::sim
