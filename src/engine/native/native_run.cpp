#include "engine/native/native_run.h"

#include <algorithm>
#include <charconv>

#include "base/date_time_format.h"
#include "base/text.h"
#include "engine/native/change_log.h"
#include "platform/errors.h"
#include "platform/file_version.h"

namespace kestrawl::engine::native {

namespace {

constexpr const char* kErrorSource = "Native Error Processor";
constexpr const char* kOverwriteSource = "Native Overwrite Processor";
constexpr const char* kProgressSource = "Native Progress";

bool ParseInt64(const std::string& text, int64_t* value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end && !text.empty();
}

std::string VersionText(const platform::FileVersion& version) {
  return version.empty() ? "<no version information>" : version.ToString();
}

// The system's short date and time of a file ("<unknown date>" without one).
std::string DateText(const platform::FileEntry* entry) {
  if (entry == nullptr || entry->last_write == 0) return "<unknown date>";
  const base::CivilTime time = base::CivilTimeFromFileTime(entry->last_write);
  return base::FormatDatePicture("M/d/yyyy", time) + " " + base::FormatTimePicture("h:mm tt", time);
}

enum class Choice { kYes, kNo, kCancel };

// A five-button prompt on the UI thread. Yes-to-all and no-to-all also
// store yes_word / no_word in the policy variable, so later failures are
// answered without asking; cancel sets VELK_IsCancelled.
Choice AskToAll(NativeRun& run, const std::string& caption, const std::string& text, ui::MessageIcon icon,
                const char* policy_variable, const char* yes_word, const char* no_word, const char* source) {
  int answer = ui::answer::kNo;
  run.on_ui([&] { answer = run.engine.messages.ShowMessage(caption, text, icon, ui::MessageButtons::kYesNoCancelToAll); });
  script::VariableStore& v = run.vars();
  switch (answer) {
    case ui::answer::kYes:
      return Choice::kYes;
    case ui::answer::kYesToAll:
      v.AssignVariable(policy_variable, yes_word, source);
      return Choice::kYes;
    case ui::answer::kNoToAll:
      v.AssignVariable(policy_variable, no_word, source);
      return Choice::kNo;
    case ui::answer::kCancel:
      v.AssignVariable("VELK_IsCancelled", "TRUE", kErrorSource);
      return Choice::kCancel;
    default:
      return Choice::kNo;
  }
}

}  // namespace

std::string FailureMessage(uint32_t code, const std::string& subject) {
  return platform::SystemMessage(code) + "\r\r" + subject;
}

NativeRun::NativeRun(script::EngineContext& engine_in, script::RunState& run_in)
    : engine(engine_in), run(run_in), state(run_in.native),
      on_ui([](const std::function<void()>& fn) { fn(); }) {}

bool NativeRun::TerminateRequested() const { return reporter != nullptr && reporter->StopRequested(); }

bool NativeRun::Report(const std::string& text, int64_t weight) {
  script::VariableStore& v = vars();
  int64_t progress = 0;
  if (!ParseInt64(v.GetVariable("NATIVE_PROGRESS"), &progress)) progress = 0;
  progress += weight;
  v.AssignVariable("NATIVE_PROGRESS", std::to_string(progress), kProgressSource);
  const int64_t total = state.progress_total;
  int64_t position = rollback ? total - progress : progress;
  // The totals do not always hold every weight reported: keep the bar inside.
  position = std::clamp<int64_t>(position, 0, std::max<int64_t>(total, 0));
  if (reporter != nullptr) return reporter->Report(text, 1, total, position);
  script::ForwardProgress(v, platform().Sys(), text, 1, total, position);
  return true;
}

bool NativeRun::ErrorPrompt(const std::string& message, int64_t error_code, bool* retry) {
  *retry = false;
  if (error_code == 0) return false;
  Trace("        <NATIVE ERROR>");
  Trace("          < " + message + " >");
  Trace("        </NATIVE ERROR>");
  script::VariableStore& v = vars();
  const std::string policy = base::AsciiUpper(v.GetVariable("NATIVE_ERROR"));
  if (policy == "RETRY") {
    *retry = true;
    return false;
  }
  if (policy == "IGNORE") return false;
  if (policy == "ABORT") {
    v.AssignVariable("VELK_IsCancelled", "TRUE", kErrorSource);
    return true;
  }
  if (script::IsSilent(engine) || script::ToBoolean(v.GetVariable("ABORTEDONERROR"))) return false;
  const Choice choice = AskToAll(*this, "Error", message + "\r\r" + "Would you like to try again?",
                                 ui::MessageIcon::kError, "NATIVE_ERROR", "RETRY", "IGNORE", kErrorSource);
  *retry = choice == Choice::kYes;
  return choice == Choice::kCancel;
}

bool NativeRun::OverwriteDecision(const std::string& source, const std::string& destination, bool* copy) {
  *copy = true;
  platform::FileSystem& files = platform().Files();
  platform::FileEntry existing;
  if (files.GetEntry(destination, &existing) != platform::err::kSuccess) return false;
  platform::FileEntry incoming;
  const bool have_incoming = files.GetEntry(source, &incoming) == platform::err::kSuccess;

  script::VariableStore& v = vars();
  const std::string mode = base::AsciiUpper(v.GetVariable("NATIVE_OVERWRITE"));
  const bool older_too = base::EqualsNoCase(v.GetVariable("NATIVE_OVERWRITE_OLDER"), "TRUE");
  if (mode == "NEVER") {
    *copy = false;
    return false;
  }
  const platform::FileVersion old_version = platform::ReadFileVersion(files, destination);
  const platform::FileVersion new_version = platform::ReadFileVersion(files, source);
  bool newer;
  if (!old_version.empty() && !new_version.empty())
    newer = new_version > old_version;
  else if (!old_version.empty())
    newer = false;
  else
    newer = have_incoming && incoming.last_write > existing.last_write;

  if (mode == "ALWAYS") {
    *copy = older_too || newer;
    return false;
  }
  if (!older_too && !newer) {
    *copy = false;
    return false;
  }
  // Silent runs take the dialog's default button: overwrite.
  if (script::IsSilent(engine)) return false;
  const std::string text = destination + "\r\r" + "Old file version: " + VersionText(old_version) + "\r" +
                           "Old file date: " + DateText(&existing) + "\r\r" +
                           "New file version: " + VersionText(new_version) + "\r" +
                           "New file date: " + DateText(have_incoming ? &incoming : nullptr) +
                           "\r\r" + "Would you like to overwrite this file?";
  const Choice choice = AskToAll(*this, "Overwrite", text, ui::MessageIcon::kQuestion, "NATIVE_OVERWRITE",
                                 "ALWAYS", "NEVER", kOverwriteSource);
  *copy = choice == Choice::kYes;
  return choice == Choice::kCancel;
}

OpOutcome NativeRun::Attempt(const std::function<uint32_t()>& op,
                             const std::function<std::string(uint32_t)>& message) {
  for (;;) {
    const uint32_t err = op();
    if (err == 0) return OpOutcome::kSucceeded;
    bool retry = false;
    if (ErrorPrompt(message(err), err, &retry)) return OpOutcome::kAborted;
    if (!retry) return OpOutcome::kIgnored;
  }
}

bool NativeRun::ApplyNested(const std::string& nested_kind, const std::string& nested_record) {
  std::string saved_kind = std::move(kind);
  std::string saved_record = std::move(record);
  kind = nested_kind;
  record = nested_record;
  const bool result = ApplyChange(*this);
  kind = std::move(saved_kind);
  record = std::move(saved_record);
  return result;
}

bool NativeRun::LogUndo(std::string_view change, const std::string& data_text) {
  return native::LogUndo(engine, run, change, data_text);
}

void NativeRun::DropLastUndo() { native::DropLastUndo(engine, run); }

void NativeRun::Trace(const std::string& line) { engine.log.Write(line); }

platform::RegView NativeRun::RegistryView() const { return ViewOfBitness(platform().Sys().Facts(), run.bitness); }

const std::string& NativeRun::bitness() const { return run.bitness; }

bool NativeRun::AllUsers() const { return script::ToBoolean(vars().GetVariable("ALLUSERS")); }

bool NativeRun::Setting(const char* name) const { return script::ToBoolean(vars().GetVariable(name)); }

}  // namespace kestrawl::engine::native
