// Undo kind "Remove INI Entry": takes the value an "Edit INI File" added to
// a comma-separated list back out of it, or deletes the key it set.
#include "base/comma_list.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/undo_kinds.h"
#include "engine/native/undo_shared.h"
#include "platform/private_profile.h"

namespace kestrawl::engine::native {

namespace {

// Buffer the current entry is read with (UTF-16 code units).
constexpr size_t kEntryBufferChars = 266240;

}  // namespace

UndoResult UndoRemoveIniEntry(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& file = Field(data, 0);
  const std::string& section = Field(data, 1);
  const std::string& key = Field(data, 2);
  const std::string& value = Field(data, 3);
  // An empty section or key would make the profile call delete a whole
  // section, or the file.
  if (file.empty() || section.empty() || key.empty())
    return RejectRecord(run, "Remove INI Entry: " + base::JoinCommaText(data)) ? UndoResult::kDone
                                                                              : UndoResult::kStop;
  platform::FileSystem& files = run.platform().Files();

  std::optional<std::string> new_entry;  // nullopt deletes the key
  if (!value.empty()) {
    const std::string entry = platform::profile::GetString(files, file, section, key, "", kEntryBufferChars);
    // The added value is gone already: nothing of this change is left.
    const std::optional<std::string> rest = RemoveFromIniList(entry, value);
    if (entry.empty() || !rest) return UndoResult::kDone;
    if (!rest->empty()) new_entry = *rest;
  }

  const std::string subject = file + ": [" + section + "] " + key + "=" + value;
  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t { return platform::profile::WriteString(files, file, section, key, new_entry); },
      [&](uint32_t code) { return FailureMessage(code, subject); });
  if (outcome == OpOutcome::kAborted) return UndoResult::kStop;
  if (outcome == OpOutcome::kSucceeded) run.Trace("        < " + subject + " >");
  return step.Report(subject, step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

}  // namespace kestrawl::engine::native
