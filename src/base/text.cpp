#include "base/text.h"

#include <unicode/casemap.h>
#include <unicode/locid.h>
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace kestrawl::base {

namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

icu::UnicodeString ToIcu(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string FromIcu(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

}  // namespace

std::string ToUpper(std::string_view text) {
  if (IsAscii(text)) return AsciiUpper(text);
  icu::UnicodeString s = ToIcu(text);
  s.toUpper(icu::Locale::getRoot());
  return FromIcu(s);
}

std::string ToLower(std::string_view text) {
  if (IsAscii(text)) return AsciiLower(text);
  icu::UnicodeString s = ToIcu(text);
  s.toLower(icu::Locale::getRoot());
  return FromIcu(s);
}

std::string CaseFold(std::string_view text) {
  if (IsAscii(text)) return AsciiLower(text);
  icu::UnicodeString s = ToIcu(text);
  s.foldCase(U_FOLD_CASE_DEFAULT);
  return FromIcu(s);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
      int ca = static_cast<unsigned char>(a[i]);
      int cb = static_cast<unsigned char>(b[i]);
      if (ca >= 'A' && ca <= 'Z') ca += 32;
      if (cb >= 'A' && cb <= 'Z') cb += 32;
      if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  int r = ToIcu(a).caseCompare(ToIcu(b), U_FOLD_CASE_DEFAULT);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b) && a.size() != b.size()) return false;
  return CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (IsAscii(text) && IsAscii(prefix)) {
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
  }
  std::u16string t = Utf8ToUtf16(text), p = Utf8ToUtf16(prefix);
  if (t.size() < p.size()) return false;
  return EqualsNoCase(Utf16ToUtf8(std::u16string_view(t).substr(0, p.size())), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  std::u16string t = Utf8ToUtf16(text), s = Utf8ToUtf16(suffix);
  if (t.size() < s.size()) return false;
  return EqualsNoCase(Utf16ToUtf8(std::u16string_view(t).substr(t.size() - s.size())), suffix);
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t pos = text.find(separator, start);
    if (pos == std::string_view::npos) {
      out.emplace_back(text.substr(start));
      return out;
    }
    out.emplace_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out.append(separator);
    out.append(items[i]);
  }
  return out;
}

std::string_view Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(b, e - b);
}

size_t Utf16Length(std::string_view text) { return Utf8ToUtf16(text).size(); }

std::vector<std::string> TextLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace kestrawl::base
