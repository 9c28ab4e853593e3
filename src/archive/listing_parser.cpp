#include "archive/listing_parser.h"

#include <ctime>

namespace kestrawl::zel {
namespace {

uint64_t ParseNumber(std::string_view s) {
  uint64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

uint64_t ParseListingTime(std::string_view text) {
  // yyyy-mm-dd hh:mm:ss[.fffffff]
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':')
    return 0;
  std::tm tm{};
  tm.tm_year = static_cast<int>(ParseNumber(text.substr(0, 4))) - 1900;
  tm.tm_mon = static_cast<int>(ParseNumber(text.substr(5, 2))) - 1;
  tm.tm_mday = static_cast<int>(ParseNumber(text.substr(8, 2)));
  tm.tm_hour = static_cast<int>(ParseNumber(text.substr(11, 2)));
  tm.tm_min = static_cast<int>(ParseNumber(text.substr(14, 2)));
  tm.tm_sec = static_cast<int>(ParseNumber(text.substr(17, 2)));
  tm.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&tm);
  if (seconds == static_cast<std::time_t>(-1)) return 0;
  uint64_t fraction = 0;  // in 100 ns units, seven digits
  if (text.size() > 20 && text[19] == '.') {
    std::string_view digits = text.substr(20, 7);
    int count = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') break;
      fraction = fraction * 10 + static_cast<uint64_t>(c - '0');
      ++count;
    }
    for (; count < 7; ++count) fraction *= 10;
  }
  constexpr int64_t kEpochDifference = 11644473600;  // 1601-01-01 to 1970-01-01
  const int64_t since_1601 = static_cast<int64_t>(seconds) + kEpochDifference;
  if (since_1601 < 0) return 0;
  return static_cast<uint64_t>(since_1601) * 10000000u + fraction;
}

uint32_t ParseListingAttributes(std::string_view text) {
  const auto blank = text.find(' ');
  std::string_view first = text.substr(0, blank);
  uint32_t attributes = 0;
  bool windows_letters = !first.empty();
  for (char c : first) {
    switch (c) {
      case 'R': attributes |= 0x1; break;
      case 'H': attributes |= 0x2; break;
      case 'S': attributes |= 0x4; break;
      case 'D': attributes |= 0x10; break;
      case 'A': attributes |= 0x20; break;
      case 'N': attributes |= 0x80; break;
      case 'T': attributes |= 0x100; break;
      case 'P': attributes |= 0x200; break;
      case 'L': attributes |= 0x400; break;
      case 'C': attributes |= 0x800; break;
      case 'O': attributes |= 0x1000; break;
      case 'I': attributes |= 0x2000; break;
      case 'E': attributes |= 0x4000; break;
      default: windows_letters = false;
    }
  }
  if (windows_letters) return attributes;
  // Only Unix permissions: derive the folder bit from the type letter.
  return !first.empty() && first[0] == 'd' ? 0x10u : 0u;
}

std::vector<ArchiveEntry> ParseTechnicalListing(std::string_view text) {
  std::vector<ArchiveEntry> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto eq = line.find(" = ");
    std::string_view key, value;
    if (eq != std::string_view::npos) {
      key = line.substr(0, eq);
      value = line.substr(eq + 3);
    } else if (line.size() >= 2 && line.substr(line.size() - 2) == " =") {
      key = line.substr(0, line.size() - 2);
    } else {
      continue;
    }
    if (key == "Path") {
      entries.emplace_back().path = std::string(value);
      continue;
    }
    if (entries.empty()) continue;
    ArchiveEntry& e = entries.back();
    if (key == "Size") e.size = ParseNumber(value);
    else if (key == "Packed Size") e.packed_size = ParseNumber(value);
    else if (key == "Modified") e.modified = ParseListingTime(value);
    else if (key == "Attributes") e.attributes |= ParseListingAttributes(value);
    else if (key == "Folder" && value == "+") e.attributes |= 0x10;
    else if (key == "Encrypted" && value == "+") e.encrypted = true;
  }
  return entries;
}

}  // namespace kestrawl::zel
