// Comma texts for plug-in authors: reading the state and parameter texts the
// engine hands over and writing a result text, for 8-bit (char) and UTF-16
// (char16_t) texts alike. Self-contained: a plug-in links nothing of the
// engine.
//
// Reading splits on commas and on unquoted white space (any character up to
// the space), removes the double quotes around quoted items (a doubled quote
// inside stands for one) and treats a final comma as ending one more, empty
// item. Writing quotes an item that holds a blank, a comma, a double quote or
// a control character.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace plugin_text {

template <typename Char>
bool IsBlank(Char c) {
  return static_cast<uint32_t>(c) <= 0x20;
}

template <typename Char>
std::vector<std::basic_string<Char>> Split(std::basic_string_view<Char> text) {
  std::vector<std::basic_string<Char>> items;
  size_t pos = 0;
  const size_t end = text.size();
  auto skip_blanks = [&] {
    while (pos < end && IsBlank(text[pos])) ++pos;
  };
  skip_blanks();
  while (pos < end) {
    std::basic_string<Char> item;
    if (text[pos] == Char('"')) {
      ++pos;
      while (pos < end) {
        if (text[pos] == Char('"')) {
          if (pos + 1 < end && text[pos + 1] == Char('"')) {
            item.push_back(Char('"'));
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
      while (pos < end && !IsBlank(text[pos]) && text[pos] != Char(',')) ++pos;
      item.assign(text.substr(start, pos - start));
    }
    items.push_back(std::move(item));
    skip_blanks();
    if (pos < end && text[pos] == Char(',')) {
      ++pos;
      skip_blanks();
      if (pos == end) items.emplace_back();
    }
  }
  return items;
}

template <typename Char>
std::basic_string<Char> Join(const std::vector<std::basic_string<Char>>& items) {
  std::basic_string<Char> out;
  if (items.size() == 1 && items[0].empty()) return {Char('"'), Char('"')};
  for (size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out.push_back(Char(','));
    const auto& item = items[i];
    bool quote = std::any_of(item.begin(), item.end(), [](Char c) {
      return IsBlank(c) || c == Char('"') || c == Char(',');
    });
    if (!quote) {
      out += item;
      continue;
    }
    out.push_back(Char('"'));
    for (Char c : item) {
      if (c == Char('"')) out.push_back(Char('"'));
      out.push_back(c);
    }
    out.push_back(Char('"'));
  }
  return out;
}

// The variables of a state text, by upper-case (ASCII) name.
template <typename Char>
std::map<std::basic_string<Char>, std::basic_string<Char>> Variables(const Char* state) {
  std::map<std::basic_string<Char>, std::basic_string<Char>> vars;
  if (!state) return vars;
  auto items = Split(std::basic_string_view<Char>(state));
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    std::basic_string<Char> name = items[i];
    for (Char& c : name)
      if (c >= Char('a') && c <= Char('z')) c = Char(c - 'a' + 'A');
    vars[name] = items[i + 1];
  }
  return vars;
}

// ASCII text in either character type.
template <typename Char>
std::basic_string<Char> Ascii(const char* text) {
  std::basic_string<Char> out;
  for (; *text; ++text) out.push_back(Char(static_cast<unsigned char>(*text)));
  return out;
}

// The second half of the result protocol: with no buffer, the length; with
// one, the text copied there with its terminating null.
template <typename Char>
int32_t Deliver(const std::basic_string<Char>& result, Char* buffer) {
  if (buffer) std::memcpy(buffer, result.c_str(), (result.size() + 1) * sizeof(Char));
  return static_cast<int32_t>(result.size());
}

}  // namespace plugin_text
