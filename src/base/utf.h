// UTF-8 <-> UTF-16 conversion. Self-contained (no other library), so the
// archive library can use it too.
#pragma once

#include <string>
#include <string_view>

namespace kestrawl::base {

// Invalid UTF-8 sequences become U+FFFD; unpaired surrogates likewise.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace kestrawl::base
