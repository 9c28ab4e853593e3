#include "script/web_media_blocks.h"

#include "base/text.h"
#include "script/compiled_script.h"

namespace kestrawl::script {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads hexadecimal pairs; with `swapped` the second digit of a pair is the
// high one.
std::optional<std::string> FromHexPairs(std::string_view text, bool swapped) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    int first = HexDigit(text[i]);
    int second = HexDigit(text[i + 1]);
    if (first < 0 || second < 0) return std::nullopt;
    int value = swapped ? second * 16 + first : first * 16 + second;
    out.push_back(static_cast<char>(value));
  }
  return out;
}

// Writes hexadecimal pairs (upper case); with `swapped` the low digit first.
std::string ToHexPairs(std::string_view bytes, bool swapped) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    char high = kDigits[b >> 4], low = kDigits[b & 0xF];
    out.push_back(swapped ? low : high);
    out.push_back(swapped ? high : low);
  }
  return out;
}

}  // namespace

std::string WebBlockName(std::string_view name) {
  while (!name.empty() && name.back() == '\\') name.remove_suffix(1);
  return std::string(name);
}

void WebMediaState::Record(WebMediaBlock block) {
  block.name = WebBlockName(block.name);
  for (WebMediaBlock& existing : blocks) {
    if (base::EqualsNoCase(existing.name, block.name)) {
      existing = std::move(block);
      return;
    }
  }
  blocks.push_back(std::move(block));
}

const WebMediaBlock* WebMediaState::Find(std::string_view name) const {
  const std::string wanted = WebBlockName(name);
  for (const WebMediaBlock& block : blocks)
    if (base::EqualsNoCase(block.name, wanted)) return &block;
  return nullptr;
}

std::optional<std::string> DescramblePassword(std::string_view scrambled) {
  std::optional<std::string> step = FromHexPairs(scrambled, false);
  if (!step) return std::nullopt;
  for (size_t k = 0; k < step->size(); ++k)
    (*step)[k] = static_cast<char>(static_cast<unsigned char>((*step)[k]) ^ static_cast<unsigned char>(k & 0xFF));
  return FromHexPairs(*step, true);
}

std::string ScramblePassword(std::string_view password) {
  std::string step = ToHexPairs(password, true);
  for (size_t k = 0; k < step.size(); ++k)
    step[k] = static_cast<char>(static_cast<unsigned char>(step[k]) ^ static_cast<unsigned char>(k & 0xFF));
  return ToHexPairs(step, false);
}

std::string WebBlockPassword(const CompiledScript& script, std::string_view name) {
  const std::vector<std::string>& table = script.web_media_blocks;
  const std::string wanted = WebBlockName(name);
  const std::string* found = nullptr;
  const std::string* offline = nullptr;
  for (size_t i = 0; i + 1 < table.size(); i += 2) {
    const std::string entry = WebBlockName(table[i]);
    if (!found && base::EqualsNoCase(entry, wanted)) found = &table[i + 1];
    if (!offline && base::EqualsNoCase(entry, kOfflineBlockName)) offline = &table[i + 1];
  }
  const std::string* chosen = found ? found : offline;
  if (!chosen) return {};
  return DescramblePassword(*chosen).value_or(std::string());
}

}  // namespace kestrawl::script
