// RegValue encodings and readings, registry path parsing, and the two
// convenience calls every Registry implementation shares.
#include "platform/registry.h"

#include <array>

#include "base/text.h"

namespace kestrawl::platform {

namespace {

void AppendUtf16Le(std::string* out, std::u16string_view text) {
  for (char16_t c : text) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>(c >> 8));
  }
}

void AppendNul(std::string* out) { out->append(2, '\0'); }

// The UTF-16 code units of raw little-endian bytes; an odd last byte is dropped.
std::u16string Utf16Units(const std::string& data) {
  std::u16string units;
  units.reserve(data.size() / 2);
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                          (static_cast<unsigned char>(data[i + 1]) << 8)));
  }
  return units;
}

uint64_t LittleEndian(const std::string& data, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && i < data.size(); ++i) {
    v |= static_cast<uint64_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  return v;
}

std::string LittleEndianBytes(uint64_t value, size_t width) {
  std::string out(width, '\0');
  for (size_t i = 0; i < width; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

struct RootName {
  RegRoot root;
  std::string_view long_name;
  std::string_view short_name;
};

constexpr std::array<RootName, 5> kRootNames = {{
    {RegRoot::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegRoot::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RegRoot::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegRoot::kUsers, "HKEY_USERS", "HKU"},
    {RegRoot::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
}};

}  // namespace

RegValue RegValue::String(std::string_view utf8, uint32_t type) {
  RegValue v;
  v.type = type;
  AppendUtf16Le(&v.data, base::Utf8ToUtf16(utf8));
  AppendNul(&v.data);
  return v;
}

RegValue RegValue::Dword(uint32_t value) { return {regtype::kDword, LittleEndianBytes(value, 4)}; }

RegValue RegValue::Qword(uint64_t value) { return {regtype::kQword, LittleEndianBytes(value, 8)}; }

RegValue RegValue::Binary(std::string_view bytes, uint32_t type) {
  return {type, std::string(bytes)};
}

RegValue RegValue::MultiString(const std::vector<std::string>& items) {
  RegValue v;
  v.type = regtype::kMultiSz;
  // An empty item would end the list early, so it cannot be stored (Windows
  // drops it the same way).
  for (const auto& item : items) {
    if (item.empty()) continue;
    AppendUtf16Le(&v.data, base::Utf8ToUtf16(item));
    AppendNul(&v.data);
  }
  AppendNul(&v.data);
  return v;
}

std::string RegValue::AsString() const {
  std::u16string units = Utf16Units(data);
  size_t nul = units.find(u'\0');
  if (nul != std::u16string::npos) units.resize(nul);
  return base::Utf16ToUtf8(units);
}

uint32_t RegValue::AsDword() const { return static_cast<uint32_t>(LittleEndian(data, 4)); }

uint64_t RegValue::AsQword() const { return LittleEndian(data, 8); }

std::vector<std::string> RegValue::AsMultiString() const {
  std::vector<std::string> items;
  std::u16string units = Utf16Units(data);
  size_t start = 0;
  while (start < units.size()) {
    size_t nul = units.find(u'\0', start);
    if (nul == start) break;  // the empty string that ends the list
    if (nul == std::u16string::npos) nul = units.size();
    items.push_back(base::Utf16ToUtf8(std::u16string_view(units).substr(start, nul - start)));
    start = nul + 1;
  }
  return items;
}

bool ParseRegKeyPath(std::string_view text, RegRoot* root, std::string* subkey) {
  while (!text.empty() && text.front() == '\\') text.remove_prefix(1);
  size_t sep = text.find('\\');
  std::string_view head = text.substr(0, sep);
  std::string_view rest = sep == std::string_view::npos ? std::string_view() : text.substr(sep + 1);
  for (const auto& r : kRootNames) {
    if (base::EqualsNoCase(head, r.long_name) || base::EqualsNoCase(head, r.short_name)) {
      while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
      while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
      if (root) *root = r.root;
      if (subkey) *subkey = std::string(rest);
      return true;
    }
  }
  return false;
}

std::string RegRootName(RegRoot root) {
  for (const auto& r : kRootNames) {
    if (r.root == root) return std::string(r.long_name);
  }
  return {};
}

Win32Error Registry::WriteValue(RegRoot root, const std::string& subkey, const std::string& name,
                                RegView view, const RegValue& value) {
  if (Win32Error rc = CreateKey(root, subkey, view); rc != err::kSuccess) return rc;
  return SetValue(root, subkey, name, view, value);
}

std::optional<std::string> Registry::ReadString(RegRoot root, const std::string& subkey,
                                                const std::string& name, RegView view) {
  RegValue value;
  if (GetValue(root, subkey, name, view, &value) != err::kSuccess) return std::nullopt;
  switch (value.type) {
    case regtype::kSz:
    case regtype::kExpandSz:
      return value.AsString();
    case regtype::kDword:
      return std::to_string(value.AsDword());
    case regtype::kQword:
      return std::to_string(value.AsQword());
    default:
      return std::nullopt;
  }
}

}  // namespace kestrawl::platform
