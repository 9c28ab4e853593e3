#include "platform/sim/sim_fs_pending.h"

#include "base/text.h"

namespace kestrawl::platform::sim {

std::string EncodePendingList(const std::vector<std::string>& items) {
  std::u16string all;
  for (const std::string& item : items) {
    all += base::Utf8ToUtf16(item);
    all.push_back(u'\0');
  }
  all.push_back(u'\0');
  std::string out;
  out.reserve(all.size() * 2);
  for (char16_t c : all) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::vector<std::string> DecodePendingList(const std::string& data) {
  std::u16string all;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    all.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                        (static_cast<unsigned char>(data[i + 1]) << 8)));
  }
  // The list ends with an extra NUL after the last item's own terminator.
  if (all.size() >= 2 && all[all.size() - 1] == u'\0' && all[all.size() - 2] == u'\0') all.pop_back();
  if (all == std::u16string(1, u'\0')) return {};
  std::vector<std::string> items;
  size_t start = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == u'\0') {
      items.push_back(base::Utf16ToUtf8(std::u16string_view(all).substr(start, i - start)));
      start = i + 1;
    }
  }
  if (start < all.size()) items.push_back(base::Utf16ToUtf8(std::u16string_view(all).substr(start)));
  return items;
}

}  // namespace kestrawl::platform::sim
