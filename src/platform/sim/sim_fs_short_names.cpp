#include "platform/sim/sim_fs_short_names.h"

#include <unicode/utf8.h>

#include <cstring>

namespace kestrawl::platform::sim {

namespace {

bool IsShortChar(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::strchr("!#$%&'()-@^_`{}~", c) != nullptr;
}

// Upper-cases the 8.3 characters of a name part, drops spaces and dots and
// turns every other character (one per code point) into '_'.
std::string CleanPart(std::string_view part) {
  std::string out;
  int32_t i = 0;
  const int32_t n = static_cast<int32_t>(part.size());
  const auto* s = reinterpret_cast<const uint8_t*>(part.data());
  while (i < n) {
    UChar32 c;
    U8_NEXT(s, i, n, c);
    if (c == ' ' || c == '.') continue;
    if (c >= 0 && c < 0x80 && IsShortChar(static_cast<unsigned char>(c))) {
      out.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    } else {
      out.push_back('_');
    }
  }
  return out;
}

}  // namespace

bool IsValidShortName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8) return false;
  if (dot != std::string_view::npos && (ext.empty() || ext.size() > 3)) return false;
  for (char c : base) {
    if (!IsShortChar(static_cast<unsigned char>(c))) return false;
  }
  for (char c : ext) {
    if (!IsShortChar(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string ShortNameCandidate(std::string_view long_name, unsigned n) {
  // Leading dots do not start an extension (".profile" -> "PROFIL~1").
  while (!long_name.empty() && long_name.front() == '.') long_name.remove_prefix(1);
  size_t dot = long_name.rfind('.');
  std::string base = CleanPart(long_name.substr(0, dot));
  std::string ext = dot == std::string_view::npos ? std::string() : CleanPart(long_name.substr(dot + 1));
  if (base.empty()) base = "_";
  if (ext.size() > 3) ext.resize(3);
  std::string suffix = "~" + std::to_string(n);
  size_t keep = suffix.size() >= 8 ? 1 : std::min<size_t>(6, 8 - suffix.size());
  std::string out = base.substr(0, keep) + suffix;
  if (!ext.empty()) out += "." + ext;
  return out;
}

}  // namespace kestrawl::platform::sim
