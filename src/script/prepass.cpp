#include "script/prepass.h"

#include <array>
#include <set>

#include "base/text.h"
#include "script/command_table.h"
#include "script/conditions.h"
#include "script/predefined_variables.h"
#include "script/substitution.h"
#include "script/variable_store.h"

namespace kestrawl::script {

namespace {

const char* kCompilation = "Compilation";

struct Failure {
  long index;
  std::string message;
};

// Depths of the four block kinds.
enum Kind { kIf = 0, kWhile = 1, kRepeat = 2, kForEach = 3 };
using Depths = std::array<int, 4>;

class Pass {
 public:
  Pass(EngineContext& e, RunState& r) : e_(e), r_(r), s_(e.script), v_(e.variables) {}

  CompileResult Run() {
    CompileResult result;
    try {
      for (const auto& name : PredefinedVariableNames()) v_.DeclareVariable(name, "", kCompilation);
      BlockPass();
      CountCheck();
      LabelPass();
      SaveMarkerPass();
      CommandPass();
      WizardPass();
    } catch (const Failure& f) {
      result.error_index = f.index;
      result.message = f.message;
    }
    return result;
  }

 private:
  size_t Count() const { return s_.command_count(); }
  const std::string& Name(size_t i) const { return s_.command_names[i]; }
  bool Disabled(size_t i) const { return i < s_.disable_flags.size() && s_.disable_flags[i] == "C"; }
  std::string P(size_t i, size_t k) const { return s_.GetParameter(i, k); }
  [[noreturn]] void Fail(long i, const std::string& message) { throw Failure{i, message}; }

  static std::string NameOf(const std::string& raw) {
    std::string n = VariableNameOf(raw);
    return n.empty() ? raw : n;
  }
  void Declare(const std::string& raw) {
    std::string n = NameOf(raw);
    if (!n.empty() && !v_.VariableExists(n)) v_.DeclareVariable(base::ToUpper(n), "", kCompilation);
  }
  void RequireDefined(size_t i, const std::string& raw) {
    std::string n = NameOf(raw);
    if (n.empty() || !v_.VariableExists(n)) Fail(static_cast<long>(i), "Variable not defined: " + n);
  }
  void RequireResult(size_t i, size_t k) {
    std::string raw = P(i, k);
    if (raw.empty()) Fail(static_cast<long>(i), "Variable required");
    Declare(raw);
  }

  void BlockPass() {
    Depths depth{};
    std::array<std::vector<Depths>, 4> stacks;
    std::vector<std::string> for_vars;
    bool wizard_end = false;
    int wizard_depth = 0;
    auto close = [&](size_t i, Kind k, const char* outside, const char* scope) {
      if (stacks[k].empty()) Fail(static_cast<long>(i), outside);
      Depths recorded = stacks[k].back();
      stacks[k].pop_back();
      --depth[k];
      Depths now = depth;
      now[k] = 0;
      recorded[k] = 0;
      if (recorded != now) Fail(static_cast<long>(i), scope);
    };
    auto open = [&](Kind k) {
      Depths rec = depth;
      rec[k] = 0;
      stacks[k].push_back(rec);
      ++depth[k];
    };
    for (size_t i = 0; i < Count(); ++i) {
      if (Disabled(i)) continue;
      const std::string& n = Name(i);
      if (n == "If") {
        open(kIf);
        wizard_end = false;
        ++opened_[kIf];
      } else if (n == "Wizard Loop") {
        ++opened_[kIf];
        wizard_end = true;
        ++wizard_depth;
      } else if (n == "End") {
        ++closed_[kIf];
        if (wizard_end) {
          wizard_end = false;
          --wizard_depth;
        } else {
          close(i, kIf, "IF conditional closed outside of IF conditional scope",
                "IF conditional closed outside of LOOP scope");
        }
      } else if (n == "While") {
        open(kWhile);
        ++opened_[kWhile];
      } else if (n == "Wend") {
        ++closed_[kWhile];
        close(i, kWhile, "WHILE loop closed outside of WHILE loop scope",
              "WHILE loop closed outside of CONDITIONAL or REPEAT or FOR EACH loop scope");
      } else if (n == "Repeat") {
        open(kRepeat);
        ++opened_[kRepeat];
      } else if (n == "Until") {
        ++closed_[kRepeat];
        close(i, kRepeat, "REPEAT loop closed outside of REPEAT loop scope",
              "REPEAT loop closed outside of CONDITIONAL or WHILE or FOR EACH loop scope");
      } else if (n == "For Each") {
        const std::string var = P(i, 1);
        for (const auto& open_var : for_vars)
          if (base::EqualsNoCase(open_var, var)) Fail(static_cast<long>(i), "FOR EACH variable re-used inside nested FOR EACH loop");
        for_vars.push_back(var);
        open(kForEach);
        ++opened_[kForEach];
      } else if (n == "Next") {
        ++closed_[kForEach];
        close(i, kForEach, "FOR EACH loop closed outside of FOR EACH loop scope",
              "FOR EACH loop closed outside of CONDITIONAL or REPEAT or WHILE loop scope");
        if (!for_vars.empty()) for_vars.pop_back();
      } else if (n == "Break" || n == "Continue") {
        if (depth[kWhile] + depth[kRepeat] + depth[kForEach] == 0)
          Fail(static_cast<long>(i), n + " not allowed outside of LOOP scope");
      } else if (n == "Label") {
        if (depth[kIf] + depth[kWhile] + depth[kRepeat] + depth[kForEach] + wizard_depth > 0)
          Fail(static_cast<long>(i), "LABEL statements cannot be nested inside loops/conditionals");
      }
    }
  }

  void CountCheck() {
    const char* names[4] = {"END", "WEND", "UNTIL", "NEXT"};
    for (int k = 0; k < 4; ++k) {
      if (opened_[k] > closed_[k]) Fail(kWholeScriptError, std::string("Insufficient ") + names[k] + " statements");
      if (opened_[k] < closed_[k]) Fail(kWholeScriptError, std::string("Too many ") + names[k] + " statements");
    }
  }

  void LabelPass() {
    std::set<std::string> seen;
    for (size_t i = 0; i < Count(); ++i) {
      if (Name(i) != "Label") continue;
      std::string label = base::ToUpper(P(i, 1));
      if (!seen.insert(label).second) Fail(static_cast<long>(i), "LABEL re-defined: " + label);
      labels_.insert(label);
    }
  }

  void SaveMarkerPass() {
    for (size_t i = 0; i < Count(); ++i) {
      if (Disabled(i) || Name(i) != "Set Variable") continue;
      std::string p1 = P(i, 1);
      size_t m = p1.find("$VELK$VELK$");
      if (m != std::string::npos && p1.substr(m + 11) == "TRUE") Declare(p1.substr(0, m));
    }
  }

  void CommandPass() {
    r_.install_state.assign(Count(), "SKIP");
    for (size_t i = 0; i < Count(); ++i)
      if (IsInstallCommand(Name(i))) r_.install_state[i] = "FALSE";

    // Commands whose result variable is required, by parameter number.
    static const std::vector<std::pair<std::string_view, size_t>> kRequired = {
        {"Get Folder Location", 1}, {"Get INI File Settings", 1}, {"Get XML File Settings", 1},
        {"Check File Version", 1}, {"Get System Settings", 1}, {"Get OS or SP Level", 1},
        {"Find All Registry", 1}, {"Find All Computers", 1}, {"Does File/Folder Exist", 1},
        {"Localization Variable", 1}, {"Get Temporary File", 1}, {"Get IIS Property", 1},
        {"Get IIS Site List", 1}, {"Check Disk Space", 1}, {"IIS Anonymous User", 1},
        {"Is MSI Setup Installed", 2}, {"Is File Locked", 2}, {"Get File Version", 2},
        {"Get Environment", 2}, {"Get IIS Site Index", 2}, {"Check Process", 2}, {"Check Computer", 2},
        {"Get Component State", 2}, {"Get Component Space", 2}, {"Evaluate XPath Query", 3},
        {"Check Service", 3}, {"Find All Files", 4},
    };
    static const std::vector<std::pair<std::string_view, size_t>> kOptional = {
        {"Extract 7Zip Archive", 3}, {"Test 7Zip Archive", 3}, {"List 7Zip Archive", 3},
        {"Register Library", 3}, {"Compress 7Zip Archive", 10}, {"Delete 7Zip Archive", 4},
        {"Run Program", 4}, {"Run Light Mode Setup", 2}, {"Terminate Process", 2}, {"Apply Changes", 2},
        {"Remote Run Program", 6}, {"Run Program As", 8}, {"MessageBox", 5}, {"Apply Patch", 1},
    };
    std::vector<std::string> loop_vars;
    for (size_t i = 0; i < Count(); ++i) {
      if (Disabled(i)) continue;
      const std::string& n = Name(i);
      const long at = static_cast<long>(i);
      for (const auto& [cmd, k] : kRequired)
        if (n == cmd) RequireResult(i, k);
      for (const auto& [cmd, k] : kOptional)
        if (n == cmd && !P(i, k).empty()) Declare(P(i, k));

      if (n == "Web Media Block") {
        std::string name = P(i, 1);
        if (name.find_first_of("\\/:*?\"<>|") != std::string::npos)
          Fail(at, "Web Media Block name must be a legal file name");
        if (!name.empty() && P(i, 2).empty()) Fail(at, "Web Media Block must have at least one download URL");
      } else if (n == "Install Files") {
        if (P(i, 3).empty())
          Fail(at, "A target folder must be specified for files that are being installed.\r"
                   "The value $TARGETDIR$ represents the destination folder chosen by the user.");
      } else if (n == "Delete Files") {
        if (!ToBoolean(P(i, 3)) && !ToBoolean(P(i, 4))) Fail(at, "At least one delete mode must be selected");
      } else if (n == "Convert Path" || n == "Convert Case" || n == "Extract Path") {
        RequireDefined(i, P(i, 1));
      } else if (n == "Replace String") {
        if (P(i, 1).empty()) Fail(at, "Variable required");
        RequireDefined(i, P(i, 1));
      } else if (n == "If" || n == "Else If" || n == "While" || n == "Until") {
        if (P(i, 1).empty()) Fail(at, "Variable required");
        if (P(i, 2) != "5") {
          RequireDefined(i, P(i, 1));
          std::string operand = P(i, 3);
          if (!VariableNameOf(operand).empty()) RequireDefined(i, operand);
        }
      } else if (n == "Evaluate Expression") {
        RequireResult(i, 2);
        if (!ExpressionSyntaxOk(P(i, 1)))
          Fail(at, "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the "
                   "correct syntax.");
      } else if (n == "GoTo Label") {
        std::string label = base::ToUpper(P(i, 1));
        if (!labels_.count(label)) Fail(at, "LABEL undefined: " + label);
      } else if (n == "For Each") {
        std::string var = NameOf(P(i, 1));
        if (var.empty()) Fail(at, "Variable required");
        if (v_.VariableExists(var)) Fail(at, "FOR EACH variable previously defined outside FOR EACH loop");
        v_.DeclareVariable(base::ToUpper(var), "", kCompilation);
        loop_vars.push_back(var);
      } else if (n == "Next") {
        if (!loop_vars.empty()) {
          v_.DeleteVariable(loop_vars.back());
          loop_vars.pop_back();
        }
      } else if (n == "Display Dialog") {
        if (P(i, 1).empty()) Fail(at, "Dialog name not specified");
        if (!P(i, 2).empty()) Declare(P(i, 2));
        if (!P(i, 4).empty()) RequireDefined(i, P(i, 4));
      } else if (n == "System Restore") {
        if (ToBoolean(P(i, 1))) RequireResult(i, 3);
      } else if (n == "Mathematics") {
        if (P(i, 3) != "13" && P(i, 3) != "14") RequireResult(i, 4);
      } else if (n == "Parse String") {
        if (P(i, 3).empty() && P(i, 4).empty()) Fail(at, "Variable required");
        if (!P(i, 3).empty()) Declare(P(i, 3));
        if (!P(i, 4).empty()) Declare(P(i, 4));
      } else if (n == "Read from Text File") {
        RequireResult(i, 2);
        if (!P(i, 3).empty()) Declare(P(i, 3));
      } else if (n == "Read Registry" || n == "Check Registry") {
        std::string p1 = P(i, 1);
        std::string var = p1.substr(0, p1.find('|'));
        if (var.empty()) Fail(at, "Variable required");
        Declare(var);
      } else if (n == "Set Variable") {
        std::string p1 = P(i, 1);
        if (p1.find("$VELK$VELK$") == std::string::npos) RequireResult(i, 1);
      }
    }
  }

  void WizardPass() {
    bool inside = false;
    for (size_t i = 0; i < Count(); ++i) {
      if (Disabled(i)) continue;
      const std::string& n = Name(i);
      if (n == "Wizard Loop") {
        inside = true;
      } else if (inside && n == "End") {
        inside = false;
      } else if (inside && n != "Display Dialog" && n != "Comment" && n != "Ignore") {
        Fail(static_cast<long>(i), "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP");
      }
    }
  }

  EngineContext& e_;
  RunState& r_;
  const CompiledScript& s_;
  VariableStore& v_;
  std::array<int, 4> opened_{}, closed_{};
  std::set<std::string> labels_;
};

}  // namespace

bool IsInstallCommand(const std::string& name) {
  const CommandSpec* command = FindCommand(name);
  return command && command->install_command;
}

CompileResult Compile(EngineContext& engine, RunState& run) { return Pass(engine, run).Run(); }

}  // namespace kestrawl::script
