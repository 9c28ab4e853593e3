#include "script/plugin_code_page.h"

#include <cstdint>

#include "base/text.h"

namespace kestrawl::script {
namespace {

// Characters of the bytes 0x80 to 0x9F; 0 marks the undefined ones.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t ByteToChar(uint8_t b) {
  if (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0) return kHigh[b - 0x80];
  return b;
}

char CharToByte(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] == 0) return static_cast<char>(c);
  return '?';
}

}  // namespace

std::string Utf8ToSystemCodePage(std::string_view text) {
  std::u16string wide = base::Utf8ToUtf16(text);
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char16_t c = wide[i];
    // A surrogate pair is one character the code page lacks: one "?".
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF)
      ++i;
    out.push_back(CharToByte(c));
  }
  return out;
}

std::string SystemCodePageToUtf8(std::string_view text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(ByteToChar(static_cast<uint8_t>(c)));
  return base::Utf16ToUtf8(wide);
}

}  // namespace kestrawl::script
