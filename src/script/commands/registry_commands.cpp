#include "script/commands/registry_commands.h"

#include <string>

#include "base/text.h"
#include "engine/native/change_log.h"
#include "platform/registry.h"
#include "script/command_context.h"
#include "script/run_state.h"
#include "script/substitution.h"

namespace kestrawl::script {
namespace {

using platform::RegRoot;

constexpr const char* kNoComputer = "NO$COMPUTER";
constexpr const char* kNoKey = "NO$KEY";
constexpr const char* kNoValue = "NO$VALUE";
constexpr const char* kUnknownType = "UNKNOWN$TYPE";
constexpr const char* kReadError = "READ$ERROR";
constexpr const char* kBinaryValue = "BINARY$VALUE";

RegRoot RootOf(int32_t number) {
  switch (number) {
    case 0: return RegRoot::kClassesRoot;
    case 2: return RegRoot::kLocalMachine;
    case 3: return RegRoot::kUsers;
    case 4: return RegRoot::kCurrentConfig;
    default: return RegRoot::kCurrentUser;
  }
}

int32_t RootNumber(const std::string& text) {
  int32_t value = 0;
  if (!ParseInt32(text, &value)) throw EScriptError("'" + text + "' is not a valid integer value");
  return value;
}

// Where a registry command acts: root, view and the machine (empty for the
// local one).
struct Target {
  RegRoot root = RegRoot::kCurrentUser;
  platform::RegView view = platform::RegView::kDefault;
  std::string machine;
};

// "text|machine": the part before the first "|" and the machine after it,
// substituted, kept only for HKLM and HKU and given a leading "\\".
std::string SplitMachine(const CommandContext& ctx, const std::string& raw, std::string* machine) {
  const size_t bar = raw.find('|');
  machine->clear();
  if (bar == std::string::npos) return raw;
  *machine = Expand(ctx.engine.variables, raw.substr(bar + 1));
  return raw.substr(0, bar);
}

Target MakeTarget(const CommandContext& ctx, int32_t root_number, std::string machine) {
  Target t;
  t.root = RootOf(root_number);
  t.view = engine::native::ViewOfBitness(ctx.engine.platform.Sys().Facts(), ctx.run.bitness);
  if ((t.root == RegRoot::kLocalMachine || t.root == RegRoot::kUsers) && !machine.empty()) {
    if (!machine.starts_with("\\\\")) machine = "\\\\" + machine;
    t.machine = machine;
  }
  return t;
}

bool Connect(platform::Registry& reg, const Target& t) {
  return t.machine.empty() || reg.CheckComputer(t.machine) == platform::err::kSuccess;
}

// A key path without leading or trailing backslashes.
std::string KeyPath(const std::string& path) {
  const size_t first = path.find_first_not_of('\\');
  if (first == std::string::npos) return "";
  return path.substr(first, path.find_last_not_of('\\') - first + 1);
}

std::string HexBytes(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

std::string ValueText(const platform::RegValue& value) {
  switch (value.type) {
    case platform::regtype::kSz:
    case platform::regtype::kExpandSz:
      return value.AsString();
    case platform::regtype::kDword:
      // Read as a signed 32-bit integer: 0xFFFFFFFF gives -1.
      return std::to_string(static_cast<int32_t>(value.AsDword()));
    case platform::regtype::kBinary:
      return HexBytes(value.data);
    case platform::regtype::kMultiSz:
      return base::Join(value.AsMultiString(), "$NEWLINE$");
    default:
      return kUnknownType;
  }
}

std::string ReadValue(platform::Registry& reg, const Target& t, const std::string& key, const std::string& name) {
  if (!Connect(reg, t)) return kNoComputer;
  if (reg.KeyExists(t.root, key, t.view) != platform::err::kSuccess) return kNoKey;
  platform::RegValue value;
  const platform::Win32Error e = reg.GetValue(t.root, key, name, t.view, &value);
  if (e == platform::err::kFileNotFound) return kNoValue;
  if (e != platform::err::kSuccess) return kReadError;
  return ValueText(value);
}

bool IsMarker(const std::string& text) {
  for (const char* marker : {kReadError, kNoKey, kNoValue, kUnknownType, kBinaryValue, kNoComputer})
    if (text == marker) return true;
  return false;
}

void ReadOrCheckRegistry(CommandContext& ctx) {
  std::string machine;
  const std::string variable = StripDollarPair(SplitMachine(ctx, ctx.Raw(1), &machine));
  const Target t = MakeTarget(ctx, ctx.Number(2), machine);
  std::string value;
  try {
    value = ReadValue(ctx.engine.platform.Reg(), t, KeyPath(ctx.Path(3)), ctx.Path(4));
  } catch (const std::exception&) {
    value = kReadError;
  }
  if (ctx.name == "Read Registry" && IsMarker(value)) value.clear();
  ctx.SetResult(variable, value);
}

void FindAllRegistry(CommandContext& ctx) {
  std::string machine;
  const std::string variable = StripDollarPair(SplitMachine(ctx, ctx.Raw(1), &machine));
  const Target t = MakeTarget(ctx, ctx.Number(2), machine);
  const std::string key = KeyPath(ctx.Path(3));
  platform::Registry& reg = ctx.engine.platform.Reg();
  std::vector<std::string> names;
  try {
    if (Connect(reg, t)) {
      if (ctx.Flag(4)) {
        if (reg.EnumKeys(t.root, key, t.view, &names) != platform::err::kSuccess) names.clear();
      } else {
        std::vector<platform::RegNamedValue> values;
        if (reg.EnumValues(t.root, key, t.view, &values) == platform::err::kSuccess)
          for (const auto& v : values) names.push_back(v.name.empty() ? "(Default)" : v.name);
      }
    }
  } catch (const std::exception&) {
    names.clear();
  }
  ctx.SetResult(variable, base::Join(names, "$NEWLINE$"));
}

// The machine has no security model yet, so the permission override that
// lets the engine delete protected keys has nothing to do here.
void DeleteRegistry(CommandContext& ctx) {
  std::string machine;
  const int32_t root = RootNumber(SplitMachine(ctx, ctx.Raw(1), &machine));
  const Target t = MakeTarget(ctx, root, machine);
  platform::Registry& reg = ctx.engine.platform.Reg();
  const std::string key = KeyPath(ctx.Path(2));
  try {
    if (!Connect(reg, t)) return;
    if (ctx.Flag(4)) {
      // An empty key would name the whole root: a key path that came out
      // empty (an unset variable, say) must not wipe a hive.
      if (!key.empty()) reg.DeleteTree(t.root, key, t.view);
    } else {
      reg.DeleteValue(t.root, key, ctx.Path(3), t.view);
    }
  } catch (const std::exception&) {
    // Failures are ignored.
  }
}

}  // namespace

std::vector<HandlerEntry> RegistryCommandHandlers() {
  return {{"Read Registry", ReadOrCheckRegistry},
          {"Check Registry", ReadOrCheckRegistry},
          {"Find All Registry", FindAllRegistry},
          {"Delete Registry", DeleteRegistry}};
}

}  // namespace kestrawl::script
