#include "engine/native/apply_helpers.h"

#include <charconv>

#include "base/text.h"

namespace kestrawl::engine::native {

std::optional<int32_t> ParseInt32(std::string_view text) {
  text = base::Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
  if (needle.size() > text.size()) return std::string_view::npos;
  // Letters of other scripts may change their byte length when folded, so
  // each candidate of the needle's length is compared as a whole.
  const auto ascii_lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  const unsigned char first = static_cast<unsigned char>(needle.front());
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // Quick rejection when both first characters are ASCII.
    if (c < 0x80 && first < 0x80 && ascii_lower(c) != ascii_lower(first)) continue;
    if (base::EqualsNoCase(text.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  size_t start = 0;
  while (!from.empty()) {
    const size_t hit = FindNoCase(text, from, start);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(start, hit - start));
    out.append(to);
    start = hit + from.size();
  }
  out.append(text.substr(start));
  return out;
}

bool RejectRecord(NativeRun& run, const std::string& subject) {
  bool retry = false;
  const bool abort =
      run.ErrorPrompt(FailureMessage(platform::err::kInvalidParameter, subject), platform::err::kInvalidParameter, &retry);
  return !abort;
}

}  // namespace kestrawl::engine::native
