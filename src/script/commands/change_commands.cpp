#include "script/commands/change_commands.h"

#include <algorithm>

#include "base/comma_list.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/change_log.h"
#include "engine/native/native_engine.h"
#include "engine/native/removal.h"
#include "maintenance/engine_cache.h"
#include "maintenance/source_check.h"
#include "script/command_context.h"
#include "script/run_state.h"
#include "script/substitution.h"

namespace kestrawl::script {

namespace {

using engine::native::RecordOrApply;

constexpr const char* kHeadersMissing = "Unable to obtain command headers. Please rebuild your project.";

std::string Bool(bool value) { return value ? "TRUE" : "FALSE"; }

// The part of a parameter before its first "|", and the flag after it.
std::string BeforeBar(const std::string& text) { return text.substr(0, text.find('|')); }
std::string AfterBar(const std::string& text) {
  const size_t bar = text.find('|');
  return bar == std::string::npos ? "" : text.substr(bar + 1);
}

// Attribute lines whose "[NAME]" read variables: brackets become dollars
// before substitution.
std::string BracketText(CommandContext& ctx, size_t k) {
  std::string raw = ctx.Raw(k);
  for (char& c : raw)
    if (c == '[' || c == ']') c = '$';
  return Expand(ctx.engine.variables, raw);
}

bool IsInstallKind(const std::string& name) {
  return name == "Install Files" || name == "Install Assembly" || name == "Install Service" ||
         name == "Install ODBC Driver";
}

// The change kind a command records ("Advertised Shortcut" makes an ordinary
// shortcut: the native engine has no advertising).
std::string KindOf(const std::string& name) {
  return name == "Advertised Shortcut" ? "Create Shortcut" : name;
}

void AddPins(CommandContext& ctx) {
  const std::string shortcut = base::IncludeTrailingBackslash(BeforeBar(ctx.Path(3))) + ctx.Text(2) + ".lnk";
  const size_t flagged[] = {1, 3, 6, 7, 8};
  for (size_t i = 0; i < 5; ++i) {
    const std::string flag = AfterBar(ctx.Raw(flagged[i]));
    if (ToBoolean(flag)) ctx.run.pin_lists[i].push_back(shortcut);
  }
  const std::string pin_text = AfterBar(ctx.Text(9));
  if (!pin_text.empty()) ctx.run.pin_lists[5].push_back(shortcut + "|" + pin_text);
}

// Windows Installer mode: the command switches on its rows through run
// properties "A<header>" and "P<header>_<k>".
void CollectRunProperties(CommandContext& ctx) {
  const std::string header = CommandHeaderOf(ctx.engine.script, ctx.index);
  if (header.empty()) throw EScriptError(kHeadersMissing);
  ctx.run.executed_positions.insert(ctx.index + 1);
  auto add = [&](const std::string& name, std::string value) {
    for (size_t at; (at = value.find("\r\n")) != std::string::npos;) value.replace(at, 2, "$NEWLINE$");
    ctx.run.run_properties.emplace_back(name, value);
  };
  add("A" + header, "TRUE");
  std::vector<std::pair<int, size_t>> props;  // property number, parameter
  const std::string& name = ctx.name;
  if (name == "Write Registry") {
    for (int k = 1; k <= 3; ++k)
      if (ctx.Raw(k + 2).find('$') != std::string::npos) add("P" + header + "_" + std::to_string(k), ctx.Path(k + 2));
    return;
  }
  if (name == "Create Folder" || name == "Delete Files") props = {{1, 1}};
  else if (name == "Install Files" || name == "Install Assembly") props = {{1, 3}};
  else if (name == "Copy/Move Local Files") props = {{1, 1}, {2, 3}};
  else if (name == "Edit INI File") props = {{1, 1}, {2, 4}, {3, 5}, {4, 6}};
  else if (name == "Set Environment") props = {{1, 2}};
  else if (name == "Install ODBC Driver") props = {{1, 4}};
  else if (name == "Control Service") props = {{1, 1}, {2, 2}};
  else if (name == "Install Service") props = {{1, 1}, {2, 4}, {3, 5}, {4, 6}, {5, 9}, {6, 13}, {7, 14}, {8, 15}, {9, 15}};
  else if (name == "Create Shortcut" || name == "Advertised Shortcut") props = {{1, 2}, {2, 4}, {3, 3}, {4, 1}, {5, 5}, {6, 6}};
  else if (name == "Create File Type" || name == "Advertised File Type") props = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}};
  else if (name == "Create ODBC DSN") props = {{1, 1}, {2, 2}, {3, 4}};
  for (auto [number, param] : props)
    add("P" + header + "_" + std::to_string(number), BeforeBar(ctx.Path(param)));
}

void ChangeCommand(CommandContext& ctx) {
  EngineContext& engine = ctx.engine;
  VariableStore& vars = engine.variables;
  if (ctx.name == "Create Shortcut" || ctx.name == "Advertised Shortcut") AddPins(ctx);
  if (!ToBoolean(vars.GetVariable("NATIVE_ENGINE"))) {
    CollectRunProperties(ctx);
    return;
  }
  if (ctx.name == "Advertised File Type") return;
  const std::string kind = KindOf(ctx.name);
  const bool delayed = ToBoolean(vars.GetVariable("DELAYUNTIL_APPLYCHANGES"));
  // The setup's data must be reachable before files are placed at once.
  if (!delayed && IsInstallKind(kind) && !maintenance::CheckSources(engine, ctx.run, false)) {
    ctx.run.end_requested = true;
    return;
  }
  const std::string record = BuildChangeRecord(ctx);
  bool ok = RecordOrApply(engine, ctx.run, kind, ctx.index + 1, record, delayed);
  if (!ok && engine::native::RollbackEnabled(engine, ctx.run))
    maintenance::RollBack(engine, ctx.run);
  if (!ok) ctx.run.end_requested = true;
}

constexpr const char* kSavedSettings[] = {"NATIVE_ERROR", "NATIVE_OVERWRITE", "NATIVE_OVERWRITE_OLDER",
                                         "NATIVE_OVERRIDE_PERMISSIONS",
                                         "NATIVE_OVERRIDE_NON_RESTORABLE_PERMISSIONS"};

bool IsLogPrefix(const std::string& value) { return !value.empty() && !base::EqualsNoCase(value, "FALSE"); }

void ApplyChangesCommand(CommandContext& ctx) {
  EngineContext& engine = ctx.engine;
  VariableStore& vars = engine.variables;
  engine::native::NativeState& state = ctx.run.native;
  const bool patch = ctx.name == "Apply Patch";
  const std::string source = ctx.Source();
  const std::string result_name = ctx.ResultName(patch ? 1 : 2);
  const bool native = ToBoolean(vars.GetVariable("NATIVE_ENGINE"));

  // 1. Patches exist only for Windows Installer.
  if (native && patch) {
    ctx.SetResult(result_name, "ERROR");
    return;
  }
  const bool removing = !patch && ctx.Flag(4);
  const bool delayed = ToBoolean(vars.GetVariable("DELAYUNTIL_APPLYCHANGES"));
  int result = 1;
  std::string error;
  // 2. The sources must be reachable before a plan places files.
  if (!native || delayed) {
    if (!maintenance::CheckSources(engine, ctx.run, true)) {
      ctx.SetResult(result_name, "CANCEL");
      vars.AssignVariable("LASTERROR", "Original setup sources required to complete operation, sources not found",
                          source);
      return;
    }
  }
  if (!native) {
    // 3. Windows Installer mode needs the installer engine, which this
    // build does not have yet: report the failure instead of success.
    result = -1;
    error = "Windows Installer mode is not available in this engine; set NATIVE_ENGINE to TRUE";
  } else {
    // 4.
    if (removing) {
      const bool ok = RecordOrApply(engine, ctx.run, "UNINSTALL", 0, "", false);
      result = ok ? state.result : 0;
    }
    if (!patch && ctx.Flag(3) && delayed) {
      state.result = 1;
      bool ok = RecordOrApply(engine, ctx.run, "DELAYEDINSTALL", 0, "", false);
      if (!ok && engine::native::RollbackEnabled(engine, ctx.run))
        maintenance::RollBack(engine, ctx.run);
      result = ok ? state.result : 0;
    }
    error = state.error_message;
    if (error.empty() && result == 0) error = "Setup cancelled";
    if (result == 1 && state.reboot_pending) result = 2;
  }
  // 5-7.
  if (!error.empty()) vars.AssignVariable("LASTERROR", error, source);
  std::vector<std::string> saved;
  for (const char* name : kSavedSettings) saved.push_back(vars.GetVariable(name));
  const char* words[] = {"ERROR", "CANCEL", "COMPLETE", "REBOOT"};
  ctx.SetResult(result_name, words[std::clamp(result, -1, 2) + 1]);
  if (result == 2) vars.AssignVariable("REBOOTCOMPUTER", "TRUE", source);

  // 8. A foreign change log removed: its clean-up replaces the cache work.
  if (native && removing && IsLogPrefix(vars.GetVariable("NATIVE_LOGGING")) && (result == 1 || result == 2)) {
    engine::native::CleanUpForeignLog(engine);
    for (size_t i = 0; i < saved.size(); ++i)
      vars.AssignVariable(kSavedSettings[i], saved[i], "Native Foreign Log Processor");
    return;
  }
  // 9.
  if ((result != 1 && result != 2) || patch) return;
  if (!removing) state.install_completed = true;
  maintenance::UpdateEngineCache(engine, ctx.run, removing);
}

}  // namespace

std::string CommandHeaderOf(const CompiledScript& script, size_t command_index) {
  const std::vector<std::string>& lines = script.command_headers;
  const std::string index = std::to_string(command_index);
  for (size_t i = 0; i + 1 < lines.size(); i += 2)
    if (lines[i + 1] == index) return lines[i];
  return "";
}

std::string BuildChangeRecord(CommandContext& ctx) {
  const std::string& name = ctx.name;
  VariableStore& vars = ctx.engine.variables;
  std::vector<std::string> f;
  if (name == "Write Registry") {
    const std::string root_param = ctx.Text(2);
    std::string root = BeforeBar(root_param);
    if (root == "4") root = ToBoolean(vars.GetVariable("ALLUSERS")) ? "2" : "1";
    std::string type = ctx.Flag(6) ? "STRING" : ctx.Flag(7) ? "INTEGER" : base::AsciiUpper(ctx.Text(7));
    f = {Bool(ctx.Raw(1) == "10"), root + "|" + AfterBar(root_param), ctx.Path(3), ctx.Path(4), ctx.Path(5), type};
  } else if (name == "Install Files") {
    f = {CommandHeaderOf(ctx.engine.script, ctx.index),
         ctx.Path(3), Bool(ctx.Flag(4)), Bool(ctx.Flag(5)), Bool(ctx.Flag(6)), Bool(ctx.Flag(7)),
         Bool(ctx.Flag(9)), Bool(ctx.Flag(10)), Bool(ctx.Flag(11)), Bool(ctx.Flag(12))};
  } else if (name == "Create Folder") {
    f = {ctx.Path(1)};
  } else if (name == "Install Assembly") {
    f = {CommandHeaderOf(ctx.engine.script, ctx.index), ctx.Path(3), Bool(ctx.Flag(2))};
  } else if (name == "Install Service") {
    auto text_or_null = [&](size_t k) {
      std::string value = ctx.Text(k);
      return value.empty() ? std::string("$NULL$") : value;
    };
    f = {CommandHeaderOf(ctx.engine.script, ctx.index), ctx.Text(1), text_or_null(4), text_or_null(5),
         text_or_null(6), text_or_null(9), ctx.Path(2), ctx.Raw(7) == "0" ? "0" : "1", Bool(ctx.Flag(8)),
         ctx.Text(11), ctx.Text(12), ctx.Text(13), ctx.Text(14), ctx.Text(15)};
  } else if (name == "Control Service") {
    int32_t action = 0;
    ParseInt32(ctx.Text(3), &action);
    f = {ctx.Text(1), ctx.Path(2), std::to_string(((action % 3) + 3) % 3), Bool(ctx.Flag(5)), ctx.Text(4)};
  } else if (name == "Delete Files") {
    f = {ctx.Path(1), ctx.Text(2)};
  } else if (name == "Set Environment") {
    f = {ctx.Text(1), ctx.Text(2), ctx.Text(3), ctx.Text(4), Bool(ctx.Flag(5)), Bool(ctx.Flag(6))};
  } else if (name == "Edit INI File") {
    f = {base::IncludeTrailingBackslash(ctx.Path(1)) + ctx.Text(2), ctx.Text(4), ctx.Text(5), ctx.Text(6),
         ctx.Text(3)};
  } else if (name == "Create ODBC DSN") {
    f = {ctx.Text(1), ctx.Text(2), ctx.Raw(3), BracketText(ctx, 4)};
  } else if (name == "Copy/Move Local Files") {
    const std::string recurse = AfterBar(ctx.Raw(6));
    f = {ctx.Path(1), ctx.Text(2), ctx.Path(3), Bool(ctx.Flag(5)), recurse.empty() ? "FALSE" : recurse,
         ctx.Path(4)};
  } else if (name == "Create Shortcut" || name == "Advertised Shortcut") {
    f = {ctx.Text(2), ctx.Text(4), BeforeBar(ctx.Path(3)), BeforeBar(ctx.Path(1)), ctx.Text(5),
         BeforeBar(ctx.Path(6)), BeforeBar(ctx.Path(7)), BeforeBar(ctx.Text(8)), BeforeBar(ctx.Text(9))};
  } else if (name == "Create File Type") {
    f = {ctx.Text(1), ctx.Path(2), ctx.Text(3), ctx.Path(4), ctx.Text(5), ctx.Text(6), ctx.Text(7)};
  } else if (name == "Install ODBC Driver") {
    f = {CommandHeaderOf(ctx.engine.script, ctx.index), ctx.Text(1), ctx.Path(4), BracketText(ctx, 6)};
  }
  return base::JoinCommaText(f);
}

std::vector<HandlerEntry> ChangeCommandHandlers() {
  std::vector<HandlerEntry> entries;
  for (const char* name :
       {"Write Registry", "Create Folder", "Install Files", "Copy/Move Local Files", "Delete Files",
        "Create Shortcut", "Advertised Shortcut", "Create File Type", "Advertised File Type", "Edit INI File",
        "Set Environment", "Install Service", "Control Service", "Create ODBC DSN", "Install ODBC Driver",
        "Install Assembly"})
    entries.push_back({name, ChangeCommand});
  entries.push_back({"Apply Changes", ApplyChangesCommand});
  entries.push_back({"Apply Patch", ApplyChangesCommand});
  return entries;
}

}  // namespace kestrawl::script
