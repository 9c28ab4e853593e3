// INI files read and written the way the Windows private-profile calls do
// (GetPrivateProfileStringW / WritePrivateProfileStringW): sections and keys
// compare case-insensitively, blanks around keys and values are trimmed,
// one pair of surrounding quotes is removed from a value that is read, the
// first of duplicate sections and keys wins, comment and unknown lines are
// kept as they are when the file is rewritten, a missing file or section is
// created by a write, and the result is cut to the buffer size (size - 1
// characters). Files are read as UTF-16LE when they start with its byte-order
// mark, else as UTF-8 (with or without a mark); writes keep the encoding
// (new files are UTF-8 without a mark; a UTF-16BE mark is honoured too) and
// use CRLF line ends; lines a write does not change keep their bytes.
// Trailing blanks of the fallback are dropped, as the system call does.
// A write refuses (kInvalidParameter) names and values that would not read
// back as written: line breaks anywhere, an empty or blank section or key, a
// "]" in a section, a "=" in a key or a key starting with "[" or ";".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kestrawl::platform::profile {

// The value of key in section, or `fallback` when the file, the section or
// the key is missing. `buffer_chars` counts UTF-16 code units, including the
// terminating NUL.
std::string GetString(FileSystem& files, const std::string& file, const std::string& section,
                      const std::string& key, const std::string& fallback, size_t buffer_chars);

// Writes key=value into section (creating the file, the section or the key as
// needed; an existing key keeps its place). A null value deletes the key;
// an empty section is left in place. Returns a Win32 error code.
Win32Error WriteString(FileSystem& files, const std::string& file, const std::string& section,
                       const std::string& key, const std::optional<std::string>& value);

// Deletes a whole section (WritePrivateProfileString with a null key).
Win32Error DeleteSection(FileSystem& files, const std::string& file, const std::string& section);

}  // namespace kestrawl::platform::profile
