#include "base/comma_list.h"

namespace kestrawl::base {

namespace {

// Control characters and the space; UTF-8 lead and trail bytes are above it.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool NeedsQuotes(std::string_view item) {
  for (char c : item)
    if (IsBlank(c) || c == '"' || c == ',') return true;
  return false;
}

void AppendQuoted(std::string& out, std::string_view item) {
  out.push_back('"');
  for (char c : item) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

std::string JoinCommaText(const std::vector<std::string>& items) {
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out.push_back(',');
    if (NeedsQuotes(items[i])) AppendQuoted(out, items[i]);
    else out.append(items[i]);
  }
  return out;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
  std::vector<std::string> items;
  size_t pos = 0;
  const size_t end = text.size();
  auto skip_blanks = [&] {
    while (pos < end && IsBlank(text[pos])) ++pos;
  };
  skip_blanks();
  while (pos < end) {
    std::string item;
    if (text[pos] == '"') {
      ++pos;
      while (pos < end) {
        if (text[pos] == '"') {
          if (pos + 1 < end && text[pos + 1] == '"') {
            item.push_back('"');
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        item.push_back(text[pos++]);
      }
    } else {
      size_t start = pos;
      while (pos < end && !IsBlank(text[pos]) && text[pos] != ',') ++pos;
      item.assign(text.substr(start, pos - start));
    }
    items.push_back(std::move(item));
    skip_blanks();
    if (pos < end && text[pos] == ',') {
      ++pos;
      skip_blanks();
      if (pos == end) items.emplace_back();
    }
  }
  return items;
}

}  // namespace kestrawl::base
