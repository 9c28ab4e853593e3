// The machine's registry as the engine sees it: the five roots, every value
// type, the 32-bit and 64-bit views. Key and value names compare
// case-insensitively and keep the case of their creation. Every call returns
// a Win32 error code (0 on success); a missing key or value gives
// kFileNotFound (2).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace kestrawl::platform {

enum class RegRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kCurrentConfig };

// Which view of HKLM\SOFTWARE (and HKCU\Software\Classes) a call sees on a
// 64-bit system. kDefault is the view of the running process (32-bit for a
// 32-bit engine). On a 32-bit system every view is the same.
enum class RegView { kDefault, k32, k64 };

namespace regtype {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kSz = 1;
inline constexpr uint32_t kExpandSz = 2;
inline constexpr uint32_t kBinary = 3;
inline constexpr uint32_t kDword = 4;
inline constexpr uint32_t kMultiSz = 7;
inline constexpr uint32_t kQword = 11;
}  // namespace regtype

// A value as Windows stores it: a type and raw bytes. Strings are UTF-16LE
// with a terminating NUL; multi-strings are NUL-separated with a final empty
// string; DWORD/QWORD are little-endian.
struct RegValue {
  uint32_t type = regtype::kNone;
  std::string data;

  static RegValue String(std::string_view utf8, uint32_t type = regtype::kSz);
  static RegValue Dword(uint32_t value);
  static RegValue Qword(uint64_t value);
  static RegValue Binary(std::string_view bytes, uint32_t type = regtype::kBinary);
  static RegValue MultiString(const std::vector<std::string>& items);

  // Readings: strings up to the first NUL; numbers from the first 4/8 bytes
  // (missing bytes count as 0); multi-strings split at NULs.
  std::string AsString() const;
  uint32_t AsDword() const;
  uint64_t AsQword() const;
  std::vector<std::string> AsMultiString() const;
  bool operator==(const RegValue&) const = default;
};

struct RegNamedValue {
  std::string name;  // "" is the key's default value
  RegValue value;
};

// Parses "HKLM\Software\X", "HKEY_LOCAL_MACHINE\Software\X", "HKCU", ...
// into root and sub-key (without leading/trailing backslashes).
bool ParseRegKeyPath(std::string_view text, RegRoot* root, std::string* subkey);
// "HKEY_LOCAL_MACHINE" etc.
std::string RegRootName(RegRoot root);

class Registry {
 public:
  virtual ~Registry() = default;

  // 0 for the local machine (empty name, ".", "\\.", or its own name, with or
  // without leading backslashes); kBadNetPath (53) for any other computer.
  virtual Win32Error CheckComputer(const std::string& computer) = 0;

  virtual Win32Error KeyExists(RegRoot root, const std::string& subkey, RegView view) = 0;
  // Creates the key and its missing parents; *created tells whether it was new.
  virtual Win32Error CreateKey(RegRoot root, const std::string& subkey, RegView view,
                               bool* created = nullptr) = 0;
  // The key must exist (kFileNotFound otherwise).
  virtual Win32Error SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                              RegView view, const RegValue& value) = 0;
  virtual Win32Error GetValue(RegRoot root, const std::string& subkey, const std::string& name,
                              RegView view, RegValue* value) = 0;
  virtual Win32Error DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                                 RegView view) = 0;
  // Deletes a key without sub-keys (kAccessDenied (5) when it has some).
  virtual Win32Error DeleteKey(RegRoot root, const std::string& subkey, RegView view) = 0;
  // Deletes a key with everything below it.
  virtual Win32Error DeleteTree(RegRoot root, const std::string& subkey, RegView view) = 0;
  // Sub-key names sorted case-insensitively; values in the order of their creation.
  virtual Win32Error EnumKeys(RegRoot root, const std::string& subkey, RegView view,
                              std::vector<std::string>* names) = 0;
  virtual Win32Error EnumValues(RegRoot root, const std::string& subkey, RegView view,
                                std::vector<RegNamedValue>* values) = 0;

  // Convenience: create the key when needed, then set the value.
  Win32Error WriteValue(RegRoot root, const std::string& subkey, const std::string& name,
                        RegView view, const RegValue& value);
  // Convenience: the value's text, or nullopt when it cannot be read.
  std::optional<std::string> ReadString(RegRoot root, const std::string& subkey,
                                        const std::string& name, RegView view = RegView::kDefault);
};

}  // namespace kestrawl::platform
