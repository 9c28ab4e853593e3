// Parses 7-Zip's technical listing ("l -slt -ba"): blocks of "Key = Value"
// lines, one block per item, each starting with "Path = ".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrawl::zel {

struct ArchiveEntry {
  std::string path;          // as 7-Zip shows it (forward slashes)
  uint64_t size = 0;
  uint64_t packed_size = 0;
  uint64_t modified = 0;     // Windows file time, 0 when unknown
  uint32_t attributes = 0;   // Windows attribute bits
  bool encrypted = false;
};

std::vector<ArchiveEntry> ParseTechnicalListing(std::string_view text);

// "2024-05-01 12:30:00.1234567" in local time -> Windows file time (UTC).
uint64_t ParseListingTime(std::string_view text);

// "D drwxr-xr-x", "RHA", "A -rw-r--r--", "drwx------" -> Windows attributes.
uint32_t ParseListingAttributes(std::string_view text);

}  // namespace kestrawl::zel
