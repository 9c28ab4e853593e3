#include "base/text.h"

#include <unicode/casemap.h>
#include <unicode/locid.h>
#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace kestrawl::base {

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  while (i < n) {
    unsigned char c = byte(i);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char cc = byte(i + k);
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

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

}  // namespace kestrawl::base
