// Turns the end of a 7-Zip run (its exit code and messages) into one of the
// library's error codes (ZEL_E_* in zel.h). 7-Zip's exit codes: 0 ok,
// 1 warning, 2 fatal error, 7 command line error, 8 out of memory,
// 255 stopped by the user; the messages tell fatal errors apart.
#pragma once

#include <string_view>

namespace kestrawl::zel {

enum class Operation { kList, kExtract, kTest, kCreate, kDelete };

int MapSevenZipResult(Operation op, int exit_code, std::string_view messages);

// True when the messages say the archive (or an item) is encrypted and the
// password is missing or wrong.
bool MentionsWrongPassword(std::string_view messages);

}  // namespace kestrawl::zel
