#include "script/commands/variable_commands.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/text.h"
#include "engine/native/change_log.h"
#include "platform/file_system.h"
#include "script/commands/math_commands.h"
#include "script/commands/path_commands.h"
#include "script/commands/string_commands.h"
#include "script/commands/wow64_file_view.h"
#include "script/run_state.h"

namespace kestrawl::script {
namespace {

// PROGRESS must hold an integer whenever the progress display is refreshed
// from an assignment; the refresh itself (text PROGRESSTEXT, range 0..100,
// position PROGRESS) belongs to the page on screen.
void RefreshProgressAfterAssignment(CommandContext& ctx) {
  const std::string position = ctx.engine.variables.GetVariable("PROGRESS");
  int32_t value = 0;
  if (!ParseInt32(position, &value))
    throw EScriptError("'" + position + "' is not a valid integer value");
  // The page layer refreshes here, flagged as coming from an assignment:
  //   RefreshProgress(ctx, vars.GetVariable("PROGRESSTEXT"), 0, 100, value);
}

}  // namespace

void SetVariableCommand(CommandContext& ctx) {
  VariableStore& vars = ctx.engine.variables;
  // Parameter 2 is the translatable line; the translation layer replaces the
  // stored line before substitution once languages exist.
  std::string value = ctx.Text(2);

  std::string target = ctx.Raw(1);
  bool persist = false;
  if (size_t at = target.find(kSaveMarker); at != std::string::npos) {
    persist = target.substr(at + kSaveMarker.size()) == "TRUE";
    target.resize(at);
  }
  const std::string name = StripDollarPair(target);
  if (name.empty()) return;
  if (!vars.VariableExists(name)) vars.DeclareVariable(base::ToUpper(name), "", ctx.Source());

  if (base::EqualsNoCase(name, "NATIVE_LOGGING") && value != vars.GetVariable(name)) {
    // The change log sees the change before it is stored: it writes out
    // pending undo entries and turns an unusable prefix into the empty text.
    value = engine::native::SwitchLogLocation(ctx.engine, ctx.run, value);
  }

  ctx.SetResult(name, value);
  if (persist) ctx.run.AddSavedVariable(name);

  if (base::EqualsNoCase(name, "ABORT")) {
    vars.AssignVariable("VELK_IsCancelled", value, kAbortMirrorSource);
  } else if (base::EqualsNoCase(name, "VELK_TIMEOUT")) {
    int32_t seconds = 0;
    ctx.run.download_timeout = ParseInt32(value, &seconds) ? seconds : kDefaultDownloadTimeout;
  } else if (base::EqualsNoCase(name, "PROGRESS") || base::EqualsNoCase(name, "PROGRESSTEXT")) {
    RefreshProgressAfterAssignment(ctx);
  }
}

void GetEnvironmentCommand(CommandContext& ctx) {
  platform::System& sys = ctx.engine.platform.Sys();
  Wow64FileView view(sys, ctx.run.bitness);
  const std::string name = ctx.Text(1);
  std::string result;
  if (!name.empty()) {
    // An undefined name stays as the reference %NAME%.
    result = sys.ExpandEnvironment("%" + name + "%");
  } else {
    for (const auto& [key, val] : sys.EnvironmentBlock()) {
      if (!result.empty()) result += "$NEWLINE$";
      result += key + "=" + val;
    }
  }
  ctx.SetResultParam(2, result);
}

void GetTemporaryFileCommand(CommandContext& ctx) {
  platform::System& sys = ctx.engine.platform.Sys();
  platform::FileSystem& files = ctx.engine.platform.Files();
  Wow64FileView view(sys, ctx.run.bitness);
  // The folder the engine received at start-up, not the TEMPDIR variable.
  std::string folder = ctx.engine.paths.temp_folder;
  if (folder.empty()) folder = sys.TempFolder();
  if (!folder.empty() && folder.back() != '\\') folder += '\\';

  // Like the system's temporary names: "zel" + up to four hex digits +
  // ".tmp", starting at a tick-derived number and taking the first free one.
  std::string path;
  const uint32_t start = sys.TickCount() & 0xFFFF;
  for (uint32_t k = 0; k < 0x10000 && path.empty(); ++k) {
    const uint32_t unique = (start + k) & 0xFFFF;
    if (unique == 0) continue;
    char name[16];
    snprintf(name, sizeof name, "zel%X.tmp", static_cast<unsigned>(unique));
    const std::string candidate = folder + name;
    if (files.Exists(candidate)) continue;
    std::unique_ptr<platform::File> file;
    platform::Win32Error e =
        files.Open(candidate, platform::OpenMode::kWrite, platform::ShareMode::kShared, &file);
    if (e != platform::err::kSuccess) break;
    path = candidate;
  }
  // A folder that cannot take the file yields the empty text.
  ctx.SetResultParam(1, path);
}

void Set64BitModeCommand(CommandContext& ctx) {
  static constexpr const char* kModes[] = {"Win32", "ia64", "x64"};
  for (size_t k = 1; k <= 3; ++k)
    if (ctx.Raw(k) == "TRUE") ctx.run.bitness = kModes[k - 1];
}

void CommentCommand(CommandContext&) {}
void IgnoreCommand(CommandContext&) {}

std::vector<HandlerEntry> VariableCommandHandlers() {
  std::vector<HandlerEntry> all = {
      {"Set Variable", SetVariableCommand},
      {"Get Environment", GetEnvironmentCommand},
      {"Get Temporary File", GetTemporaryFileCommand},
      {"Set 64 Bit Mode", Set64BitModeCommand},
      {"Comment", CommentCommand},
      {"Ignore", IgnoreCommand},
  };
  for (auto part : {StringCommandHandlers(), PathCommandHandlers(), MathCommandHandlers()})
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace kestrawl::script
