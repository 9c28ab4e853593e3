// File versions: the fixed file version of a file's version resource
// (VS_FIXEDFILEINFO in the RT_VERSION resource of a PE image), as four
// 16-bit parts. A file without one (or not a PE image, or missing) is
// version 0.0.0.0.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace kestrawl::platform {

struct FileVersion {
  std::array<uint16_t, 4> parts{};  // major, minor, release, build
  bool empty() const { return parts == std::array<uint16_t, 4>{}; }
  std::string ToString() const;     // "1.2.3.4"
  auto operator<=>(const FileVersion&) const = default;
};

// Parses the version resource out of PE image bytes; 0.0.0.0 when absent.
FileVersion ParseFileVersion(std::string_view image);
// True when the bytes are a PE image for a 64-bit machine (PE32+).
bool IsPe64(std::string_view image);

// Reads the file and parses it.
FileVersion ReadFileVersion(FileSystem& files, const std::string& path);
bool IsPe64File(FileSystem& files, const std::string& path);

}  // namespace kestrawl::platform
