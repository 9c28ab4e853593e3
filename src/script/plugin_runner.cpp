#include "script/plugin_runner.h"

// This is the one place the script layer loads a library by its native path
// (as the archive library loader in media/archive_library.cpp does): dlopen
// maps a library file into the process, it changes nothing on the machine.
#include <dlfcn.h>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "base/comma_list.h"
#include "base/text.h"
#include "script/plugin_api.h"
#include "script/plugin_code_page.h"
#include "script/run_state.h"
#include "script/worker_protocol.h"
#include "ui/message_host.h"

namespace kestrawl::script {
namespace {

constexpr std::string_view kSpaceSafe = "$SPACE_SAFE$";
// Extra characters after the announced result length in the result buffer.
constexpr size_t kResultRoom = 16;
enum class Outcome {
  kResult,     // the plug-in returned a result text (possibly empty)
  kFailed,     // the wide export failed: the result text is empty
  kUnchanged,  // the 8-bit export failed: the result is the state text as sent
  kNotLoaded,  // the library could not be loaded or has neither export
};

// One plug-in call, owned by the job: the worker may outlive the command
// (the watchdog abandons it), so nothing here points into the engine; the
// job reaches the engine only through its progress reporter.
struct PluginCall {
  // Input, fixed before the worker starts.
  std::string native_path;
  uintptr_t window = 0;
  std::string state;   // UTF-8
  std::string params;  // UTF-8

  // The running job's reporter (set on the worker thread for its callbacks).
  const ProgressReporter* reporter = nullptr;

  // Output, written by the worker before it ends.
  Outcome outcome = Outcome::kFailed;
  std::string result;  // UTF-8
  // The byte handed to the plug-in; the engine neither sets nor reads it after.
  uint8_t reserved = 0;
};

// The progress callbacks of the C interface carry no context: the worker
// thread records its call here for the callbacks it runs. Per thread, so each
// engine's plug-in worker sees only its own call.
thread_local PluginCall* t_current_call = nullptr;

// Forwards one progress report (percent -1: keep the position; "$IGNORE$"
// or "$VELK$": keep the text); returns what the callback returns to the
// plug-in: stop once the engine asked the worker to stop or gave up on it.
int32_t ForwardProgress(int32_t percent, const std::string* text) {
  PluginCall* call = t_current_call;
  // A report from a thread the engine did not call the plug-in on cannot be
  // matched to a call: ignored, the plug-in goes on.
  if (!call || !call->reporter) return KESTRAWL_PLUGIN_CONTINUE;
  std::string_view shown = kKeepProgressText;
  if (text && *text != kKeepProgressText && *text != kProgressFromVariables) shown = *text;
  bool go_on = call->reporter->Report(shown, 0, 100, percent == -1 ? kKeepProgressPosition : percent);
  return go_on ? KESTRAWL_PLUGIN_CONTINUE : KESTRAWL_PLUGIN_STOP;
}

}  // namespace

// The callbacks handed to the plug-ins (C linkage, like the exports).
extern "C" {
static int32_t ProgressW(int32_t percent, const char16_t* text) {
  if (!text) return ForwardProgress(percent, nullptr);
  std::string utf8 = base::Utf16ToUtf8(text);
  return ForwardProgress(percent, &utf8);
}

static int32_t ProgressA(int32_t percent, const char* text) {
  if (!text) return ForwardProgress(percent, nullptr);
  std::string utf8 = SystemCodePageToUtf8(text);
  return ForwardProgress(percent, &utf8);
}
}  // extern "C"

namespace {

bool UsableLength(int32_t length) { return length >= 0 && length <= kPluginMaxResultLength; }

// The text in a result buffer: up to the first null or the announced length,
// whichever comes first, so a plug-in that forgets the null is still read
// only within the buffer.
template <typename Char>
std::basic_string_view<Char> BufferText(const std::vector<Char>& buffer, int32_t length) {
  std::basic_string_view<Char> text(buffer.data(), static_cast<size_t>(length));
  size_t end = text.find(Char(0));
  return end == text.npos ? text : text.substr(0, end);
}

void CallWide(PluginCall& call, KestrawlRunTimeExecuteW execute) {
  std::u16string state = base::Utf8ToUtf16(call.state);
  std::u16string params = base::Utf8ToUtf16(call.params);
  int32_t length = execute(call.window, state.c_str(), params.c_str(), &ProgressW, &call.reserved,
                           nullptr);
  if (!UsableLength(length)) {
    call.outcome = Outcome::kFailed;
    return;
  }
  std::vector<char16_t> buffer(static_cast<size_t>(length) + kResultRoom, u'\0');
  if (execute(call.window, state.c_str(), params.c_str(), &ProgressW, &call.reserved,
              buffer.data()) == -1) {
    call.outcome = Outcome::kFailed;
    return;
  }
  call.result = base::Utf16ToUtf8(BufferText(buffer, length));
  call.outcome = Outcome::kResult;
}

void CallNarrow(PluginCall& call, KestrawlRunTimeExecuteA execute) {
  std::string state = Utf8ToSystemCodePage(call.state);
  std::string params = Utf8ToSystemCodePage(call.params);
  int32_t length = execute(call.window, state.c_str(), params.c_str(), &ProgressA, &call.reserved,
                           nullptr);
  if (!UsableLength(length)) {
    call.outcome = Outcome::kUnchanged;
    return;
  }
  std::vector<char> buffer(static_cast<size_t>(length) + kResultRoom, '\0');
  if (execute(call.window, state.c_str(), params.c_str(), &ProgressA, &call.reserved,
              buffer.data()) == -1) {
    call.outcome = Outcome::kUnchanged;
    return;
  }
  call.result = SystemCodePageToUtf8(BufferText(buffer, length));
  call.outcome = Outcome::kResult;
}

// The worker: load, call, free.
void RunCall(PluginCall& call, const ProgressReporter& reporter) {
  call.reporter = &reporter;
  t_current_call = &call;
  if (void* library = dlopen(call.native_path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (void* wide = dlsym(library, KESTRAWL_PLUGIN_EXPORT_W))
      CallWide(call, reinterpret_cast<KestrawlRunTimeExecuteW>(wide));
    else if (void* narrow = dlsym(library, KESTRAWL_PLUGIN_EXPORT_A))
      CallNarrow(call, reinterpret_cast<KestrawlRunTimeExecuteA>(narrow));
    else
      call.outcome = Outcome::kNotLoaded;
    dlclose(library);
  } else {
    call.outcome = Outcome::kNotLoaded;
  }
  t_current_call = nullptr;
  call.reporter = nullptr;
}

void ShowError(EngineContext& engine, const char* text) {
  engine.messages.ShowMessage(MessageBoxTitle(engine.variables), text, ui::MessageIcon::kError,
                              ui::MessageButtons::kOk);
}

// The pairs of a result text whose value differs from the state text that
// was sent. A plug-in may hand back the state text it received with a few
// values changed; writing back the unchanged values would undo what the
// engine set while the plug-in ran (progress, the cancellation record).
std::string ChangedPairs(const std::string& state, const std::string& result) {
  std::map<std::string, std::string> sent;
  std::vector<std::string> state_items = base::SplitCommaText(state);
  for (size_t i = 0; i + 1 < state_items.size(); i += 2)
    sent[base::CaseFold(state_items[i])] = state_items[i + 1];
  std::vector<std::string> changed;
  std::vector<std::string> items = base::SplitCommaText(result);
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    auto it = sent.find(base::CaseFold(items[i]));
    if (it != sent.end() && it->second == items[i + 1]) continue;
    changed.push_back(items[i]);
    changed.push_back(items[i + 1]);
  }
  return changed.empty() ? std::string() : base::JoinCommaText(changed);
}

}  // namespace

std::string PluginParameterText(std::string_view parameter) {
  std::string protected_text;
  for (char c : parameter) {
    if (c == ' ')
      protected_text += kSpaceSafe;
    else
      protected_text.push_back(c);
  }
  std::vector<std::string> items = base::SplitCommaText(protected_text);
  for (std::string& item : items) {
    std::string restored;
    for (size_t pos = 0;;) {
      size_t hit = item.find(kSpaceSafe, pos);
      restored.append(item, pos, hit == std::string::npos ? std::string::npos : hit - pos);
      if (hit == std::string::npos) break;
      restored.push_back(' ');
      pos = hit + kSpaceSafe.size();
    }
    item = std::move(restored);
  }
  return base::JoinCommaText(items);
}

std::string PluginLibraryPath(const std::string& support_folder, std::string_view parameter2) {
  size_t slash = parameter2.rfind('\\');
  std::string_view file = slash == std::string_view::npos ? parameter2 : parameter2.substr(slash + 1);
  if (file.empty()) return {};
  std::string path = support_folder;
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  path += file;
  return path;
}

void RunPluginCommand(CommandContext& ctx) {
  EngineContext& engine = ctx.engine;
  VariableStore& vars = engine.variables;
  const bool silent = engine.settings.silent;

  // 1-2. The library.
  std::string library = PluginLibraryPath(engine.paths.support_folder, ctx.Raw(2));
  std::string native;
  if (library.empty() || !engine.platform.Files().FileExists(library) ||
      engine.platform.Files().GetNativePath(library, &native) != platform::err::kSuccess) {
    if (!silent) ShowError(engine, kPluginMissingMessage);
    return;
  }

  // 3. What the plug-in gets.
  auto call = std::make_shared<PluginCall>();
  call->native_path = native;
  call->window = ctx.run.dialog_handle;
  call->state = vars.AllVariablesAsCommaText();
  call->params = PluginParameterText(ctx.Raw(1));

  // 4-7. The call, on a worker; a cancelled wait shows "Setup cancelled" and
  // records or ends the run.
  WorkerSpec job_spec;
  job_spec.watchdog_timer = watchdog::kPlugin;
  job_spec.watchdog_period = std::chrono::milliseconds(kPluginWatchdogMs);
  job_spec.cancel_source = kPluginCancelSource;
  WorkerResult waited = RunWorker(engine, ctx.run, job_spec,
                                  [call](std::stop_token, ProgressReporter& reporter) { RunCall(*call, reporter); });
  const bool finished = waited.outcome != WorkerOutcome::kAbandoned;
  if (waited.end_run) return;
  if (finished && call->outcome == Outcome::kNotLoaded) {
    if (!silent) ShowError(engine, kPluginMissingMessage);
    return;
  }

  // 8. The result.
  if (!finished) return;  // abandoned: no result, nothing to apply
  if (call->outcome == Outcome::kUnchanged) return;
  if (call->result.empty()) {
    if (ToBoolean(vars.GetVariable("ABORTONERROR"))) throw EScriptError(kPluginFailureMessage);
    return;
  }
  std::string changed = ChangedPairs(call->state, call->result);
  if (!changed.empty()) vars.ApplyCommaText(changed);
}

}  // namespace kestrawl::script
