// Text and path helpers of the archive library: UTF-16 <-> UTF-8 for the
// C interface, and the mapping of the interface's paths (either separator)
// to host paths and 7-Zip item names (forward slashes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrawl::zel {

// Invalid sequences become U+FFFD. A null pointer is the empty text.
std::string FromUtf16(const char16_t* text);
std::u16string ToUtf16(std::string_view text);

// Backslashes become forward slashes; trailing separators are removed
// (except for the root "/").
std::string HostPath(std::string_view path);

// Forward slashes become backslashes (names reported to the caller).
std::string ReportedName(std::string_view name);

}  // namespace kestrawl::zel
