#include "archive/zel_text.h"

#include "base/utf.h"

namespace kestrawl::zel {

std::string FromUtf16(const char16_t* text) {
  return text ? base::Utf16ToUtf8(std::u16string_view(text)) : std::string();
}

std::u16string ToUtf16(std::string_view text) { return base::Utf8ToUtf16(text); }

std::string HostPath(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string ReportedName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

}  // namespace kestrawl::zel
