// Undo kinds in the registry: "Delete Registry" (the value, then the keys the
// write created, deepest first while they are empty) and "Delete
// Environment" (the text a "Set Environment" added, or the whole value).
#include "base/comma_list.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/change_log.h"
#include "engine/native/undo_kinds.h"

namespace kestrawl::engine::native {

namespace {

namespace fs = platform;
namespace err = platform::err;
using platform::RegRoot;

// True when the key can be opened and has no sub-keys and no values (the
// default value included).
bool KeyIsEmpty(fs::Registry& reg, RegRoot root, const std::string& key, fs::RegView view) {
  std::vector<std::string> subkeys;
  std::vector<fs::RegNamedValue> values;
  return reg.KeyExists(root, key, view) == err::kSuccess &&
         reg.EnumKeys(root, key, view, &subkeys) == err::kSuccess && subkeys.empty() &&
         reg.EnumValues(root, key, view, &values) == err::kSuccess && values.empty();
}

std::string Undecorated(const UndoData& data) { return base::JoinCommaText(data); }

}  // namespace

UndoResult UndoDeleteRegistry(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& root_and_machine = Field(data, 0);
  const size_t bar = root_and_machine.find('|');
  RegRoot root = RegRoot::kCurrentUser;
  if (!RootFromHandleText(root_and_machine.substr(0, bar), &root))
    return RejectRecord(run, "Delete Registry: " + Undecorated(data)) ? UndoResult::kDone : UndoResult::kStop;

  // Only the machine-wide roots can live on another computer.
  std::string machine = bar == std::string::npos ? std::string() : root_and_machine.substr(bar + 1);
  if (root != RegRoot::kLocalMachine && root != RegRoot::kUsers) machine.clear();
  if (!machine.empty() && machine.rfind("\\\\", 0) != 0) machine = "\\\\" + machine;

  const std::string& key = Field(data, 1);
  const std::string& name = Field(data, 2);
  fs::Registry& reg = run.platform().Reg();
  const fs::RegView view = run.RegistryView();
  const std::string root_name = fs::RegRootName(root);
  const std::string value_path = base::IncludeTrailingBackslash(root_name) + base::IncludeTrailingBackslash(key) + name;
  const auto reach = [&]() -> uint32_t { return machine.empty() ? err::kSuccess : reg.CheckComputer(machine); };

  const OpOutcome deleted = run.Attempt(
      [&]() -> uint32_t {
        if (const uint32_t rc = reach(); rc != err::kSuccess) return rc;
        const uint32_t rc = reg.DeleteValue(root, key, name, view);
        if (rc == err::kSuccess) return rc;
        fs::RegValue left;
        return reg.GetValue(root, key, name, view, &left) == err::kFileNotFound ? err::kSuccess : rc;
      },
      [&](uint32_t code) { return FailureMessage(code, value_path); });
  if (deleted == OpOutcome::kAborted) return UndoResult::kStop;
  run.Trace("          < " + value_path + " >");

  // The keys the write created, deepest first, while each is empty.
  for (size_t i = 3; i < data.size(); ++i) {
    const std::string created = base::ExcludeTrailingBackslash(data[i]);
    if (created.empty() || reach() != err::kSuccess || !KeyIsEmpty(reg, root, created, view)) break;
    const std::string key_path = root_name + "\\" + created;
    const OpOutcome removed = run.Attempt(
        [&]() -> uint32_t {
          if (const uint32_t rc = reach(); rc != err::kSuccess) return rc;
          const uint32_t rc = reg.DeleteKey(root, created, view);
          return rc == err::kSuccess || reg.KeyExists(root, created, view) == err::kFileNotFound ? err::kSuccess
                                                                                                 : rc;
        },
        [&](uint32_t code) { return FailureMessage(code, key_path); });
    if (removed == OpOutcome::kAborted) return UndoResult::kStop;
    if (removed == OpOutcome::kIgnored) break;
    run.Trace("          < " + key_path + " >");
  }
  return step.Report(value_path, step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

UndoResult UndoDeleteEnvironment(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  RegRoot root = RegRoot::kCurrentUser;
  const std::string& key = Field(data, 1);
  const std::string& name = Field(data, 2);
  const std::string& text = Field(data, 3);
  if (!RootFromHandleText(Field(data, 0), &root) || name.empty())
    return RejectRecord(run, "Delete Environment: " + Undecorated(data)) ? UndoResult::kDone : UndoResult::kStop;
  const uint32_t type = Field(data, 4) == "2" ? fs::regtype::kExpandSz : fs::regtype::kSz;
  const bool replaced_whole = FieldFlag(data, 5);

  fs::Registry& reg = run.platform().Reg();
  const fs::RegView view = run.RegistryView();
  // What is left of the value; empty deletes it.
  std::string rest;
  if (!replaced_whole) {
    fs::RegValue current;
    std::string value;
    if (reg.GetValue(root, key, name, view, &current) == err::kSuccess) value = current.AsString();
    const size_t at = value.find(text);
    // The added text is gone already: nothing of this change is left.
    if (value.empty() || at == std::string::npos) return UndoResult::kDone;
    rest = value.erase(at, text.size());
  }

  const std::string subject = name + "=" + text;
  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t {
        if (!rest.empty()) return reg.WriteValue(root, key, name, view, fs::RegValue::String(rest, type));
        const uint32_t rc = reg.DeleteValue(root, key, name, view);
        return rc == err::kFileNotFound ? err::kSuccess : rc;
      },
      [&](uint32_t code) { return FailureMessage(code, subject); });
  if (outcome == OpOutcome::kAborted) return UndoResult::kStop;
  // Programs started later read the environment from these keys; the
  // platform has no windows to tell about the change.
  if (outcome == OpOutcome::kSucceeded) run.Trace("        < " + subject + " >");
  return step.Report(subject, step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

}  // namespace kestrawl::engine::native
