// "Edit INI File": sets an INI entry (always, or only when absent), deletes
// it, or adds a value to / removes it from a comma-separated list held by
// the entry. Logs "Edit INI File" for the modes that add something.
#include <optional>

#include "base/comma_list.h"
#include "base/text.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/undo_shared.h"
#include "platform/private_profile.h"

namespace kestrawl::engine::native {

namespace {

enum Mode { kSet = 0, kSetIfAbsent = 1, kDelete = 2, kAddToList = 3, kRemoveFromList = 4 };

// Buffer the current entry is read with (UTF-16 code units).
constexpr size_t kEntryBufferChars = 266240;

}  // namespace

bool ApplyEditIniFile(NativeRun& run, const Fields& fields) {
  const std::string& file = Field(fields, 0);
  const std::string& section = Field(fields, 1);
  const std::string& key = Field(fields, 2);
  const std::string& value = Field(fields, 3);
  const std::optional<int32_t> mode = ParseInt32(Field(fields, 4));
  const std::string subject = file + ": [" + section + "] " + key + "=" + value;

  // An empty section or key would make the profile call delete a whole
  // section or enumerate names instead of editing one entry.
  if (file.empty() || section.empty() || key.empty() || !mode || *mode < kSet || *mode > kRemoveFromList)
    return RejectRecord(run, subject + " (mode " + Field(fields, 4) + ")");

  platform::FileSystem& files = run.platform().Files();
  bool logged = false;
  if (*mode == kSet || *mode == kSetIfAbsent || *mode == kAddToList) {
    logged = run.LogUndo("Edit INI File",
                         base::JoinCommaText({file, section, key, *mode == kAddToList ? value : std::string()}));
  }
  const auto drop = [&]() {
    if (logged) run.DropLastUndo();
    logged = false;
  };

  std::optional<std::string> new_entry = value;  // nullopt deletes the key
  if (*mode == kDelete) {
    new_entry.reset();
  } else if (*mode == kRemoveFromList) {
    const std::string old = platform::profile::GetString(files, file, section, key, "", kEntryBufferChars);
    const std::optional<std::string> rest = RemoveFromIniList(old, value);
    if (!rest) return true;
    if (rest->empty())
      new_entry.reset();
    else
      new_entry = *rest;
  } else if (*mode == kSetIfAbsent || *mode == kAddToList) {
    const std::string old = platform::profile::GetString(files, file, section, key, "", kEntryBufferChars);
    if (!old.empty()) {
      if (*mode == kSetIfAbsent) {
        drop();
        return true;
      }
      new_entry = value + ", " + old;
    }
  }

  if (!run.Report(file + ": [" + section + "]" + " " + key + "=" + value, 10240)) {
    drop();
    return false;
  }

  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t { return platform::profile::WriteString(files, file, section, key, new_entry); },
      [&](uint32_t code) { return FailureMessage(code, subject); });
  if (outcome != OpOutcome::kSucceeded) {
    drop();
    return outcome == OpOutcome::kIgnored;
  }
  run.Trace("        < " + subject + " >");
  return true;
}

}  // namespace kestrawl::engine::native
