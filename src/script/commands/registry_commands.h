// The immediate registry commands, all in the registry view of the engine
// bitness and never undone:
//   "Read Registry" / "Check Registry": a value as text (strings as stored,
//     32-bit integers in decimal, binary as upper-case hex, multi-strings
//     joined by "$NEWLINE$"); failures give the markers "NO$COMPUTER",
//     "NO$KEY", "NO$VALUE", "UNKNOWN$TYPE", "READ$ERROR", which "Read
//     Registry" turns into the empty text;
//   "Find All Registry": sub-key or value names joined by "$NEWLINE$" (the
//     default value as "(Default)"), "" on any failure;
//   "Delete Registry": deletes a value or a whole key, ignoring failures.
// Root numbers: 0 HKCR, 1 HKCU, 2 HKLM, 3 HKU, 4 HKCC, any other HKCU; a
// root that is not a number raises a script error. A machine name after "|"
// counts only for roots 2 and 3.
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

std::vector<HandlerEntry> RegistryCommandHandlers();

}  // namespace kestrawl::script
