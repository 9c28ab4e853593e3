// The stub size: where the engine's own executable image ends inside its
// file. Everything after it is the compiled script. Only the headers are
// read; bytes that follow (a script, a signature block) do not matter.
//
//  - ELF (32/64-bit, either byte order): the furthest end of the ELF header,
//    the program header table, every segment's file bytes (offset + filesz),
//    every section that occupies file space (not SHT_NOBITS), and the section
//    header table.
//  - PE: the largest (PointerToRawData + SizeOfRawData) over the section
//    headers. The section table is found with SizeOfOptionalHeader from the
//    file header, so 32-bit (224-byte) and 64-bit (240-byte) optional headers
//    both work.
//
// A file that is neither, has short or inconsistent headers, or claims more
// bytes than it holds gives no result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/file_system.h"

namespace kestrawl::bootstrap {

// `file` is the whole file.
std::optional<uint64_t> ComputeStubSize(std::string_view file);

// Reads only the headers of the file at the Windows path. Returns the
// platform's error when the file cannot be read and kBadExeFormat (193) when
// it is not a sound executable image.
platform::Win32Error ComputeStubSizeOfFile(platform::FileSystem& file_system,
                                           const std::string& path, uint64_t* size);

}  // namespace kestrawl::bootstrap
