// The text list of PendingFileRenameOperations (REG_MULTI_SZ) in the form
// the restart reads it: pairs of source and destination, where an empty
// destination means "delete". Empty strings are items here, so the usual
// multi-string reading (which stops at the first empty string) cannot be
// used for this value.
#pragma once

#include <string>
#include <vector>

namespace kestrawl::platform::sim {

// UTF-16LE bytes: every item followed by a NUL, then one more NUL.
std::string EncodePendingList(const std::vector<std::string>& items);
// The reverse; tolerates a missing final NUL and an odd trailing byte.
std::vector<std::string> DecodePendingList(const std::string& data);

}  // namespace kestrawl::platform::sim
