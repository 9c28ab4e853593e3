#include "script/interpreter.h"

#include "base/comma_list.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/native_engine.h"
#include "maintenance/bootstrap.h"
#include "maintenance/engine_cache.h"
#include "script/command_context.h"
#include "script/command_dispatch.h"
#include "script/conditions.h"
#include "script/media_cache.h"
#include "script/plugin_runner.h"
#include "script/predefined_variables.h"
#include "script/prepass.h"
#include "script/substitution.h"
#include "script/worker_protocol.h"

namespace kestrawl::script {

namespace {

// Ends the main loop from deep inside a command or a scan.
struct EndOfRun {};

class Interpreter {
 public:
  Interpreter(EngineContext& e, RunState& r, const StepHook& hook)
      : e_(e), r_(r), s_(e.script), hook_(hook), n_(e.script.command_count()) {}

  void Run();

 private:
  // --- command facts --------------------------------------------------------
  const std::string& Name(size_t i) const { return s_.command_names[i]; }
  bool Disabled(size_t i) const { return s_.IsDisabled(i); }
  bool Skipped(size_t i) const { return Disabled(i) || Name(i) == "Ignore"; }
  int DepthOf(size_t i) const {
    const std::string& marker = s_.IncludeMarker(i);
    size_t star = marker.find('*');
    if (star == std::string::npos) return 0;
    int32_t depth = 0;
    return ParseInt32(marker.substr(star + 1), &depth) ? depth : 0;
  }

  bool Prepare();
  void MainLoop();
  void ExitStep();
  void TrackInclude();
  void Fetch();
  bool BlockStateBeforeDispatch(const std::string& name);
  bool ControlCommand(CommandContext& ctx);
  void ReportRuntimeError(const std::string& message);
  void GrabMediaFor(CommandContext& ctx, bool plugin);

  // Scans.
  void BranchScan(bool stop_at_else);
  size_t FindLoopEnd(size_t from, const std::string& head);
  size_t FindLoopHead(size_t from, const std::string& end);
  void WizardStep();
  void LeaveWizard(size_t from);

  // Loops.
  void ForEach(CommandContext& ctx);
  void Break();
  void Continue();

  std::string SaveBlockState() const;
  void RestoreBlockState(const std::string& text);

  EngineContext& e_;
  RunState& r_;
  const CompiledScript& s_;
  const StepHook& hook_;
  const size_t n_;
  bool single_instance_ = false;
  // The branch scan stopped at an "Else If": it is evaluated, not skipped.
  bool evaluate_else_if_ = false;
};

const char* HeadOf(const std::string& end) {
  if (end == "Wend") return "While";
  if (end == "Until") return "Repeat";
  if (end == "Next") return "For Each";
  return nullptr;
}
const char* EndOf(const std::string& head) {
  if (head == "While") return "Wend";
  if (head == "Repeat") return "Until";
  if (head == "For Each") return "Next";
  return nullptr;
}

void Interpreter::Run() {
  if (!Prepare()) return;
  e_.log.Write("    <velk>");
  try {
    r_.pc = 0;
    SetRunStartVariables(e_, r_);
    ApplyCommandLineOverrides(e_);
    MainLoop();
  } catch (const EndOfRun&) {
  }
  ExitStep();
}

bool Interpreter::Prepare() {
  r_.loop_stack.clear();
  r_.for_each.clear();
  r_.include_saves.clear();
  e_.log.Write("    <Variables>");
  e_.log.Write("    </Variables>");

  e_.log.Write("    <CompileScript>");
  CompileResult compiled = Compile(e_, r_);
  if (!compiled.ok()) {
    e_.exit_code = 314;
    e_.end_process_now = true;
    return false;
  }
  e_.log.Write("    </CompileScript>");

  e_.variables.ClearAllVariables();
  r_.components.Reset(s_);
  SetPredefinedVariables(e_, r_);
  e_.log.Write("    <BootStrap>");
  maintenance::RunBootstrap(e_, r_);
  e_.log.Write("    </BootStrap>");

  r_.labels.clear();
  for (size_t i = 0; i < n_; ++i)
    if (Name(i) == "Label") r_.labels.emplace_back(base::ToUpper(s_.GetParameter(i, 1)), i);

  if (base::EqualsNoCase(ExpandCompilerVariables(s_.compiler_variables, "#SINGLEINSTANCE#"), "TRUE")) {
    const std::string marker = e_.paths.temp_folder + e_.variables.GetVariable("REVISIONCODE") + ".zel";
    if (e_.platform.Files().Exists(marker)) {
      e_.terminate_immediately = true;
      return false;
    }
    e_.platform.Files().WriteWholeFile(marker, "");
    r_.single_instance_marker = marker;
    single_instance_ = true;
  }
  return true;
}

void Interpreter::ExitStep() {
  e_.log.Write("    </velk>");
  e_.log.Write("    <ExitScript>");
  if (single_instance_ && !r_.single_instance_marker.empty())
    e_.platform.Files().DeleteFile(r_.single_instance_marker);
  if (e_.pages) e_.pages->HidePage();
  try {
    CleanUpMediaCache(e_, r_);
  } catch (const std::exception&) {
    // A cache that cannot be cleaned stays for the next run.
  }
  e_.log.Write("    </ExitScript>");
}

void Interpreter::MainLoop() {
  while (r_.pc < n_) {
    TrackInclude();
    RefreshBeforeCommand(e_, r_);

    if (r_.skip_to_branch) BranchScan(true);
    if (r_.skip_to_end) BranchScan(false);
    if (r_.wizard_active) WizardStep();
    else Fetch();
    if (r_.pc > n_ || r_.pc == 0) return;
    const size_t current = r_.pc - 1;
    if (Skipped(current)) continue;

    e_.variables.AssignVariable("ABORT", FromBoolean(ToBoolean(e_.variables.GetVariable("VELK_IsCancelled"))),
                                "Cancel State");

    if (hook_ && !hook_(current)) throw EndOfRun{};

    CommandContext ctx(e_, r_, current);
    try {
      bool plugin = false;
      for (const auto& p : s_.plugin_commands) plugin = plugin || base::EqualsNoCase(p, ctx.name);
      GrabMediaFor(ctx, plugin);
      if (plugin) {
        RunPluginCommand(ctx);
      } else if (!BlockStateBeforeDispatch(ctx.name) && !ControlCommand(ctx)) {
        if (CommandHandler handler = FindHandler(ctx.name)) handler(ctx);
        if (IsInstallCommand(ctx.name) && current < r_.install_state.size()) r_.install_state[current] = "TRUE";
      }
    } catch (const EndOfRun&) {
      throw;
    } catch (const std::exception& ex) {
      ReportRuntimeError(ex.what());
      throw EndOfRun{};
    }
    if (r_.end_requested) throw EndOfRun{};
  }
}

// With cached media (cache kind 2), the commands that take files from a
// medium get it into the media cache first; "Apply Changes" and "Apply
// Patch" need the offline media of an installation.
void Interpreter::GrabMediaFor(CommandContext& ctx, bool plugin) {
  if (s_.cache_mode != 2) return;
  const std::string& name = ctx.name;
  const std::string& folder = s_.MediaFolder(ctx.index);
  const bool install_kind = name == "Install Files" || name == "Install Assembly" ||
                            name == "Install ODBC Driver" || name == "Install Service";
  if (!folder.empty() && plugin) {
    GrabMedium(e_, r_, folder);
  } else if (!folder.empty() && install_kind) {
    VariableStore& vars = e_.variables;
    if (ToBoolean(vars.GetVariable("ABORTEDONERROR"))) return;
    try {
      GrabMedium(e_, r_, folder);
    } catch (const std::exception& ex) {
      // The files of this command cannot be had: either the whole run ends
      // (rolled back), or it goes on with the failure recorded.
      if (!IsSilent(e_))
        e_.messages.ShowMessage(MessageBoxTitle(vars), ex.what(), ui::MessageIcon::kError, ui::MessageButtons::kOk);
      if (ToBoolean(vars.GetVariable("ABORTONERROR"))) {
        if (ToBoolean(vars.GetVariable("NATIVE_ENGINE")) && engine::native::RollbackEnabled(e_, r_))
          maintenance::RollBack(e_, r_);
        throw EndOfRun{};
      }
      vars.AssignVariable("ABORTEDONERROR", "TRUE", "Weblock Abort");
    }
  } else if ((name == "Apply Changes" || name == "Apply Patch") &&
             !ToBoolean(e_.variables.GetVariable("ABORTEDONERROR")) &&
             !ToBoolean(e_.variables.GetVariable("REMOVE"))) {
    GrabMedium(e_, r_, "OFFLINE\\");
  }
}

void Interpreter::ReportRuntimeError(const std::string& message) {
  if (ToBoolean(e_.variables.GetVariable("SILENT")) || e_.settings.silent) return;
  std::string file, line = "0";
  if (r_.pc >= 1 && r_.pc - 1 < s_.source_locations.size()) {
    const std::string& loc = s_.source_locations[r_.pc - 1];
    size_t star = loc.rfind('*');
    std::string path = loc.substr(0, star);
    std::string name = base::ExtractFileName(path);
    std::string ext = base::ExtractFileExt(name);
    file = name.substr(0, name.size() - ext.size());
    int32_t number = 0;
    if (star != std::string::npos && ParseInt32(loc.substr(star + 1), &number)) line = std::to_string(number + 1);
  }
  std::string title = e_.variables.GetVariable("TITLE");
  e_.messages.ShowMessage(title.empty() ? kStartupCaption : title,
                          "Runtime error in setup script:\r\n\r\nSource File: " + file + "\r\nLine Number: " + line +
                              "\r\n\r\n" + message,
                          ui::MessageIcon::kError, ui::MessageButtons::kOk);
}

void Interpreter::TrackInclude() {
  const int depth = DepthOf(r_.pc);
  if (depth != r_.include_depth) {
    if (depth < r_.include_depth) {
      if (!r_.include_saves.empty()) {
        RestoreBlockState(r_.include_saves.back());
        r_.include_saves.pop_back();
      }
    } else {
      r_.include_saves.push_back(SaveBlockState());
    }
    r_.include_depth = depth;
  }
  const std::string& marker = s_.IncludeMarker(r_.pc);
  r_.include_result = marker.substr(0, marker.find('*'));
}

std::string Interpreter::SaveBlockState() const {
  std::vector<std::string> for_each;
  for (const auto& f : r_.for_each) {
    for_each.push_back(f.variable);
    for_each.push_back(f.rest);
    for_each.push_back(f.delimiter);
  }
  return base::JoinCommaText({base::JoinCommaText(r_.loop_stack), base::JoinCommaText(for_each),
                              std::to_string(r_.taken_if), FromBoolean(r_.skip_to_end),
                              FromBoolean(r_.skip_to_branch), FromBoolean(r_.end_pending),
                              FromBoolean(r_.wizard_active), FromBoolean(r_.just_left_wizard)});
}

void Interpreter::RestoreBlockState(const std::string& text) {
  std::vector<std::string> items = base::SplitCommaText(text);
  items.resize(8);
  r_.loop_stack = items[0].empty() ? std::vector<std::string>() : base::SplitCommaText(items[0]);
  std::vector<std::string> fe = items[1].empty() ? std::vector<std::string>() : base::SplitCommaText(items[1]);
  r_.for_each.clear();
  for (size_t i = 0; i + 2 < fe.size(); i += 3) r_.for_each.push_back({fe[i], fe[i + 1], fe[i + 2]});
  int32_t taken = 0;
  ParseInt32(items[2], &taken);
  r_.taken_if = taken;
  r_.skip_to_end = ToBoolean(items[3]);
  r_.skip_to_branch = ToBoolean(items[4]);
  r_.end_pending = ToBoolean(items[5]);
  r_.wizard_active = ToBoolean(items[6]);
  r_.just_left_wizard = ToBoolean(items[7]);
}

void Interpreter::Fetch() {
  do {
    ++r_.pc;
  } while (r_.pc <= n_ && Skipped(r_.pc - 1));
}

// The branch scan (stop at "Else If", "Else" or "End") or the End scan.
// Leaves pc so that the next fetch takes the right command.
void Interpreter::BranchScan(bool stop_at_else) {
  int depth = 0;
  for (;;) {
    ++r_.pc;
    if (r_.pc > n_) throw EndOfRun{};
    const size_t c = r_.pc - 1;
    if (Skipped(c)) continue;
    const std::string& name = Name(c);
    bool nested = false;
    if (name == "If" || name == "Wizard Loop") {
      ++depth;
      nested = true;
    } else if (name == "End") {
      --depth;
      nested = depth >= 0;
    }
    if (nested || depth > 0) continue;
    if (name == "End") {
      r_.pc -= 1;
      r_.end_pending = true;
      break;
    }
    if (!stop_at_else) continue;
    if (name == "Else") break;  // the Else branch runs from the next command
    if (name == "Else If") {
      r_.pc -= 1;
      r_.taken_if -= 1;
      evaluate_else_if_ = true;
      break;
    }
  }
  if (stop_at_else) r_.skip_to_branch = false;
  else r_.skip_to_end = false;
}

size_t Interpreter::FindLoopEnd(size_t from, const std::string& head) {
  const char* end = EndOf(head);
  for (size_t j = from + 1; j < n_; ++j) {
    if (Disabled(j)) continue;
    const std::string& name = Name(j);
    if (EndOf(name)) {
      j = FindLoopEnd(j, name);
      continue;
    }
    if (name == end) return j;
  }
  throw EndOfRun{};
}

size_t Interpreter::FindLoopHead(size_t from, const std::string& end) {
  const char* head = HeadOf(end);
  for (size_t j = from; j-- > 0;) {
    if (Disabled(j)) continue;
    const std::string& name = Name(j);
    if (HeadOf(name)) {
      j = FindLoopHead(j, name);
      continue;
    }
    if (name == head) return j;
  }
  throw EndOfRun{};
}

void Interpreter::LeaveWizard(size_t from) {
  size_t j = from;
  while (j < n_ && (Skipped(j) || Name(j) != "End")) ++j;
  r_.wizard_active = false;
  r_.just_left_wizard = true;
  r_.pc = j + 1;  // the End runs next
}

void Interpreter::WizardStep() {
  const size_t current = r_.pc - 1;
  if (r_.wizard_direction == 0) {
    LeaveWizard(current + 1);
    return;
  }
  size_t j = current;
  for (;;) {
    if (r_.wizard_direction > 0) {
      ++j;
      if (j >= n_) throw EndOfRun{};
    } else {
      if (j == 0) throw EndOfRun{};
      --j;
    }
    if (Disabled(j)) continue;
    const std::string& name = Name(j);
    if (name == "Display Dialog") {
      r_.pc = j + 1;
      return;
    }
    if (name == "End" && r_.wizard_direction > 0) {
      LeaveWizard(j);
      return;
    }
    if (name == "Wizard Loop") {
      LeaveWizard(j + 1);
      return;
    }
  }
}

// The block rules for "End", "Else" and "Else If" reached by normal flow.
// True when the command was consumed here.
bool Interpreter::BlockStateBeforeDispatch(const std::string& name) {
  if (evaluate_else_if_) {
    evaluate_else_if_ = false;
    if (name == "Else If") return false;
  }
  if (r_.end_pending && name == "End") {
    r_.taken_if -= 1;
    r_.end_pending = false;
    return true;
  }
  if (name == "Else") {
    r_.skip_to_end = true;
    return true;
  }
  if (r_.taken_if >= 1 && !r_.just_left_wizard) {
    if (name == "Else If" || name == "Else") {
      r_.skip_to_end = true;
      return true;
    }
    if (name == "End") {
      r_.taken_if -= 1;
      return true;
    }
  }
  r_.just_left_wizard = false;
  return false;
}

bool Interpreter::ControlCommand(CommandContext& ctx) {
  const std::string& name = ctx.name;
  const size_t i = ctx.index;
  if (name == "If" || name == "Else If") {
    r_.taken_if += 1;
    if (!EvaluateCondition(ctx)) r_.skip_to_branch = true;
  } else if (name == "While") {
    if (EvaluateCondition(ctx)) r_.loop_stack.push_back("While");
    else r_.pc = FindLoopEnd(i, "While") + 1;
  } else if (name == "Wend") {
    if (!r_.loop_stack.empty()) r_.loop_stack.pop_back();
    r_.pc = FindLoopHead(i, "Wend");
  } else if (name == "Repeat") {
    r_.loop_stack.push_back("Repeat");
  } else if (name == "Until") {
    bool leave = EvaluateCondition(ctx);
    if (!r_.loop_stack.empty()) r_.loop_stack.pop_back();
    if (!leave) r_.pc = FindLoopHead(i, "Until");
  } else if (name == "For Each") {
    ForEach(ctx);
  } else if (name == "Next") {
    r_.pc = FindLoopHead(i, "Next");
  } else if (name == "Break") {
    Break();
  } else if (name == "Continue") {
    Continue();
  } else if (name == "Wizard Loop") {
    r_.wizard_active = true;
    r_.wizard_direction = 1;
  } else if (name == "Label" || name == "End") {
    // nothing to do
  } else if (name == "GoTo Label") {
    const std::string label = base::ToUpper(ctx.Raw(1));
    for (const auto& [l, index] : r_.labels) {
      if (l == label) {
        r_.pc = index;
        break;
      }
    }
    r_.taken_if = 0;
    r_.skip_to_branch = r_.skip_to_end = r_.end_pending = false;
    r_.wizard_active = r_.just_left_wizard = false;
  } else if (name == "Return from Include Script") {
    if (r_.include_result == "0") return true;
    const std::string result = r_.include_result;
    const int depth = DepthOf(i);
    size_t j = i + 1;
    while (j < n_ && DepthOf(j) != depth - 1) ++j;
    r_.pc = j;
    if (!result.empty()) ctx.SetResult(result, ctx.Text(1));
  } else {
    return false;
  }
  return true;
}

void Interpreter::ForEach(CommandContext& ctx) {
  std::string name = VariableNameOf(ctx.Raw(1));
  if (name.empty()) name = ctx.Raw(1);
  ForEachState* state = nullptr;
  for (auto& f : r_.for_each)
    if (base::EqualsNoCase(f.variable, name)) state = &f;
  if (!state) {
    r_.loop_stack.push_back("For Each");
    r_.for_each.push_back({name, Expand(e_.variables, ctx.Raw(3)), Expand(e_.variables, ctx.Raw(2))});
    state = &r_.for_each.back();
  }
  std::string rest = state->rest;
  const std::string delimiter = state->delimiter;
  std::string item;
  if (delimiter.empty()) {
    item = rest;
    rest.clear();
  } else {
    while (rest.compare(0, delimiter.size(), delimiter) == 0 && !rest.empty()) rest.erase(0, delimiter.size());
    size_t at = rest.find(delimiter);
    if (at != std::string::npos) {
      item = rest.substr(0, at);
      rest = rest.substr(at + delimiter.size());
    } else {
      item = rest;
      rest = delimiter;
    }
  }
  state->rest = rest;
  if (!item.empty()) {
    e_.variables.AssignVariable(name, item, "For Each Action");
    return;
  }
  r_.pc = FindLoopEnd(ctx.index, "For Each") + 1;
  if (!r_.loop_stack.empty()) r_.loop_stack.pop_back();
  if (!r_.for_each.empty()) r_.for_each.pop_back();
  e_.variables.DeleteVariable(name);
}

void Interpreter::Break() {
  if (r_.loop_stack.empty()) return;
  const std::string kind = r_.loop_stack.back();
  r_.pc = FindLoopEnd(r_.pc - 1, kind) + 1;
  if (kind == "For Each" && !r_.for_each.empty()) {
    e_.variables.DeleteVariable(r_.for_each.back().variable);
    r_.for_each.pop_back();
  }
  r_.loop_stack.pop_back();
}

void Interpreter::Continue() {
  if (r_.loop_stack.empty()) return;
  const std::string kind = r_.loop_stack.back();
  if (kind == "While" || kind == "Repeat") r_.loop_stack.pop_back();
  r_.pc = FindLoopHead(r_.pc - 1, EndOf(kind));
  // A "Repeat" head runs its body again without testing "Until"; it pushes
  // its entry when it runs.
}

}  // namespace

void RunScript(EngineContext& context, RunState& run, const StepHook& step_hook) {
  try {
    Interpreter(context, run, step_hook).Run();
  } catch (const std::exception& e) {
    // Faults outside any command (a damaged script's tables).
    if (!context.settings.silent)
      context.messages.ShowMessage(kStartupCaption, std::string("Runtime error in setup script:\r\n\r\n") + e.what(),
                                   ui::MessageIcon::kError, ui::MessageButtons::kOk);
  }
}

void RunScript(EngineContext& context, const std::string& package_path, const StepHook& step_hook) {
  RunState run;
  run.package_path = package_path;
  RunScript(context, run, step_hook);
}

}  // namespace kestrawl::script
