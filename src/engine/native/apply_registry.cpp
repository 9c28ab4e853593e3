// "Write Registry": sets one registry value of the record's type under one
// of the four roots (on a named machine for HKEY_LOCAL_MACHINE and
// HKEY_USERS), logging "Write Registry" first unless the record is
// permanent. Also the record field helpers shared by every kind and the
// record of the nested writes other kinds make.
#include <optional>

#include "base/comma_list.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/change_log.h"
#include "script/variable_store.h"

namespace kestrawl::engine::native {

namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::Win32Error;
namespace err = platform::err;
namespace regtype = platform::regtype;

// Data that is not an integer fails as the system's integer conversion does.
constexpr Win32Error kNotAnInteger = 1700;

std::optional<RegRoot> RootOfNumber(std::string_view number) {
  const std::optional<int32_t> n = ParseInt32(number);
  if (!n) return std::nullopt;
  switch (*n) {
    case 0: return RegRoot::kClassesRoot;
    case 1: return RegRoot::kCurrentUser;
    case 2: return RegRoot::kLocalMachine;
    case 3: return RegRoot::kUsers;
    default: return std::nullopt;
  }
}

std::string WithBackslash(const std::string& part) {
  return base::IncludeTrailingBackslash(part);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Pairs of hexadecimal digits -> bytes. An odd digit count or any other
// character is refused rather than cut short, so no truncated data is ever
// written.
std::optional<std::string> HexToBytes(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

// INTEGER data: a signed decimal 32-bit number, or hexadecimal with a "$" or
// "0x" prefix (up to eight digits, stored as they are).
std::optional<uint32_t> ParseRegistryInteger(std::string_view text) {
  if (const std::optional<int32_t> n = ParseInt32(text)) return static_cast<uint32_t>(*n);
  text = base::Trim(text);
  if (text.rfind("$", 0) == 0)
    text.remove_prefix(1);
  else if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0)
    text.remove_prefix(2);
  else
    return std::nullopt;
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

enum class ValueKind { kString, kInteger, kExpandString, kAppend, kPrepend, kBinary };

std::optional<ValueKind> KindOfType(std::string_view type) {
  const std::string upper = base::AsciiUpper(type);
  if (upper == "STRING") return ValueKind::kString;
  if (upper == "INTEGER") return ValueKind::kInteger;
  if (upper == "EXPANDSTRING") return ValueKind::kExpandString;
  if (upper == "APPEND") return ValueKind::kAppend;
  if (upper == "PREPEND") return ValueKind::kPrepend;
  if (upper == "BINARY") return ValueKind::kBinary;
  return std::nullopt;
}

// Builds the value to store. Multi-string kinds read the current value first.
Win32Error BuildValue(platform::Registry& reg, RegRoot root, const std::string& key,
                      const std::string& name, platform::RegView view, ValueKind kind,
                      const std::string& data, RegValue* value) {
  switch (kind) {
    case ValueKind::kString:
      *value = RegValue::String(data);
      return err::kSuccess;
    case ValueKind::kExpandString:
      *value = RegValue::String(data, regtype::kExpandSz);
      return err::kSuccess;
    case ValueKind::kInteger: {
      const std::optional<uint32_t> n = ParseRegistryInteger(data);
      if (!n) return kNotAnInteger;
      *value = RegValue::Dword(*n);
      return err::kSuccess;
    }
    case ValueKind::kBinary: {
      const std::optional<std::string> bytes = HexToBytes(data);
      if (!bytes) return err::kInvalidData;
      *value = RegValue::Binary(*bytes);
      return err::kSuccess;
    }
    case ValueKind::kAppend:
    case ValueKind::kPrepend: {
      // AsMultiString already leaves out the empty string that ends the list.
      std::vector<std::string> items;
      RegValue current;
      if (reg.GetValue(root, key, name, view, &current) == err::kSuccess &&
          current.type == regtype::kMultiSz)
        items = current.AsMultiString();
      if (kind == ValueKind::kAppend)
        items.push_back(data);
      else
        items.insert(items.begin(), data);
      *value = RegValue::MultiString(items);
      return err::kSuccess;
    }
  }
  return err::kInvalidParameter;
}

}  // namespace

std::string NestedRegistryRecord(bool permanent, int root, const std::string& key,
                                 const std::string& name, const std::string& data, bool integer) {
  return base::JoinCommaText({permanent ? "TRUE" : "FALSE", std::to_string(root), key, name, data,
                              integer ? "INTEGER" : "STRING"});
}

bool ApplyWriteRegistry(NativeRun& run, const Fields& fields) {
  const bool permanent = FieldFlag(fields, 0);
  const std::string& root_and_machine = Field(fields, 1);
  const std::string& key = Field(fields, 2);
  const std::string& name = Field(fields, 3);
  const std::string& data = Field(fields, 4);

  const size_t bar = root_and_machine.find('|');
  const std::string root_number = root_and_machine.substr(0, bar);
  std::string machine = bar == std::string::npos ? std::string() : root_and_machine.substr(bar + 1);

  const std::optional<RegRoot> root = RootOfNumber(root_number);
  const std::optional<ValueKind> kind = KindOfType(Field(fields, 5));
  if (!root || !kind) {
    return RejectRecord(run, "Write Registry: root " + root_number + ", type " + Field(fields, 5) +
                                 ", " + key + "\\" + name);
  }

  // Only the machine-wide roots can be reached on another computer.
  const std::string logged_machine = machine;
  if (*root != RegRoot::kLocalMachine && *root != RegRoot::kUsers) machine.clear();
  if (!machine.empty() && machine.rfind("\\\\", 0) != 0) machine = "\\\\" + machine;

  const std::string root_name = platform::RegRootName(*root);
  const std::string subject = WithBackslash(root_name) + WithBackslash(key) + WithBackslash(name) + data;
  if (!run.Report(subject, 512)) return false;

  bool logged = false;
  if (!permanent) {
    logged = run.LogUndo("Write Registry",
                         base::JoinCommaText({RootHandleText(*root) + "|" + logged_machine, key, name}));
  }

  platform::Registry& reg = run.platform().Reg();
  const platform::RegView view = run.RegistryView();
  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t {
        if (!machine.empty()) {
          if (Win32Error rc = reg.CheckComputer(machine); rc != err::kSuccess) return rc;
        }
        RegValue value;
        if (Win32Error rc = BuildValue(reg, *root, key, name, view, *kind, data, &value); rc != err::kSuccess)
          return rc;
        if (Win32Error rc = reg.CreateKey(*root, key, view); rc != err::kSuccess) return rc;
        return reg.SetValue(*root, key, name, view, value);
      },
      [&](uint32_t code) { return FailureMessage(code, subject); });

  switch (outcome) {
    case OpOutcome::kAborted:
      // The value was not written: its undo entry must not delete a value
      // that was there before.
      if (logged) run.DropLastUndo();
      return false;
    case OpOutcome::kIgnored:
      if (logged) run.DropLastUndo();
      return true;
    case OpOutcome::kSucceeded:
      break;
  }
  run.Trace("        < " + WithBackslash(root_name) + WithBackslash(key) + name + data + " >");
  return true;
}

}  // namespace kestrawl::engine::native
