// "Set Environment": sets, extends or deletes an environment variable in the
// registry (system-wide under HKEY_LOCAL_MACHINE's Session Manager key, per
// user under HKEY_CURRENT_USER\Environment). An existing value keeps its
// expandable-string type when the new text is put before or after it.
#include "base/comma_list.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/change_log.h"

namespace kestrawl::engine::native {

namespace {

using platform::RegRoot;
using platform::RegValue;
namespace err = platform::err;
namespace regtype = platform::regtype;

constexpr const char* kSystemEnvironmentKey = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kUserEnvironmentKey = "Environment";

enum Mode { kSet = 0, kSetIfAbsent = 1, kDelete = 2 };
enum Position { kBefore = 0, kAfter = 1, kReplace = 2 };

}  // namespace

bool ApplySetEnvironment(NativeRun& run, const Fields& fields) {
  const std::string& name = Field(fields, 0);
  const std::string& value = Field(fields, 1);
  const std::optional<int32_t> mode = ParseInt32(Field(fields, 2));
  const std::optional<int32_t> position = ParseInt32(Field(fields, 3));
  const bool log = FieldFlag(fields, 4);
  const bool system_wide = FieldFlag(fields, 5);

  if (name.empty() || !mode || *mode < kSet || *mode > kDelete || !position || *position < kBefore ||
      *position > kReplace) {
    return RejectRecord(run, "Set Environment: " + name + "=" + value + " (mode " + Field(fields, 2) +
                                 ", position " + Field(fields, 3) + ")");
  }

  const RegRoot root = system_wide ? RegRoot::kLocalMachine : RegRoot::kCurrentUser;
  const std::string key = system_wide ? kSystemEnvironmentKey : kUserEnvironmentKey;
  platform::Registry& reg = run.platform().Reg();
  const platform::RegView view = run.RegistryView();

  RegValue existing;
  const bool exists = reg.GetValue(root, key, name, view, &existing) == err::kSuccess;
  if (*mode == kSetIfAbsent && exists) return true;

  uint32_t type = regtype::kSz;
  std::string text = value;
  if (*position != kReplace && exists) {
    // Only an expandable string keeps its type; anything else becomes a string.
    type = existing.type == regtype::kExpandSz ? regtype::kExpandSz : regtype::kSz;
    const std::string old_text = existing.AsString();
    text = *position == kAfter ? old_text + value : value + old_text;
  }

  bool logged = false;
  if (log && *mode != kDelete) {
    logged = run.LogUndo("Set Environment",
                         base::JoinCommaText({RootHandleText(root), key, name, value, std::to_string(type),
                                              *position == kReplace ? "TRUE" : "FALSE"}));
  }

  const std::string subject = name + "=" + text;
  if (!run.Report(subject, 1024)) {
    if (logged) run.DropLastUndo();
    return false;
  }

  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t {
        if (*mode == kDelete) {
          // A variable that is already gone is what the deletion asks for.
          const uint32_t rc = reg.DeleteValue(root, key, name, view);
          return rc == err::kFileNotFound ? err::kSuccess : rc;
        }
        return reg.WriteValue(root, key, name, view, RegValue::String(text, type));
      },
      [&](uint32_t code) { return FailureMessage(code, subject); });

  if (outcome != OpOutcome::kSucceeded) {
    if (logged) run.DropLastUndo();
    return outcome == OpOutcome::kIgnored;
  }
  // Programs started later read the environment from these keys; the
  // platform has no windows to tell about the change.
  run.Trace("        < " + subject + " >");
  return true;
}

}  // namespace kestrawl::engine::native
