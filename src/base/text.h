// Text helpers shared by every layer: UTF-8 <-> UTF-16 conversion, Unicode
// case mapping and case-insensitive comparison (ICU), and a few small string
// utilities. Text inside the engine is UTF-8; UTF-16 is used where the system
// counts code units or hashes text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf.h"

namespace kestrawl::base {

// Unicode upper/lower casing of any script (root locale, not the user's).
std::string ToUpper(std::string_view text);
std::string ToLower(std::string_view text);
// Full Unicode case folding; two texts equal ignoring case fold to the same text.
std::string CaseFold(std::string_view text);

// Case-insensitive comparison (invariant rules): equality and ordering.
bool EqualsNoCase(std::string_view a, std::string_view b);
int CompareNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// ASCII-only helpers for protocol texts (switches, hex digits).
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);

std::vector<std::string> Split(std::string_view text, char separator);
std::string Join(const std::vector<std::string>& items, std::string_view separator);
// Lines of a UTF-8 text: a leading byte-order mark skipped; CR LF or LF ends
// a line; a last line without an ending counts.
std::vector<std::string> TextLines(std::string_view text);
std::string_view Trim(std::string_view text);

// Number of UTF-16 code units the UTF-8 text occupies.
size_t Utf16Length(std::string_view text);

}  // namespace kestrawl::base
