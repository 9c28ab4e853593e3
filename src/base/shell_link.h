// Shell links (".lnk" files) in the published Shell Link Binary File Format:
// a header (76 bytes, CLSID 00021401-0000-0000-C000-000000000046), a link
// target ID list, link info with the local base path, and the string data
// (description, relative path, working folder, arguments, icon location) as
// counted UTF-16 strings. Encode writes what Decode reads back.
// Targets: "X:\..." gets an ID list and a local base path; "\\server\share\..."
// a network share and path suffix; anything else is stored as the relative
// path (resolved against the link's folder). The format keeps only the low
// 32 bits of the target size, and texts up to 65535 UTF-16 units each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrawl::base {

struct ShellLink {
  std::string target;          // full Windows path of the target, "C:\App\app.exe"
  std::string arguments;
  std::string working_folder;
  std::string description;
  std::string icon_file;
  int32_t icon_index = 0;
  uint32_t show_command = 1;   // 1 normal, 3 maximized, 7 minimized without activation
  uint32_t target_attributes = 0x20;  // file attributes of the target (0x10 for a folder)
  uint64_t target_size = 0;
  uint64_t target_write_time = 0;     // FILETIME of the target
  bool operator==(const ShellLink&) const = default;
};

std::string EncodeShellLink(const ShellLink& link);
// nullopt when the bytes are not a shell link this reader understands.
std::optional<ShellLink> DecodeShellLink(std::string_view bytes);

}  // namespace kestrawl::base
