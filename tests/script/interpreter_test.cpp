// Runs in-memory scripts through the interpreter and checks the flow of
// control through what the commands left in the variable store.
#include "script/interpreter.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptCommand;
using testing::ScriptFixture;

// Appends a mark to the variable TRACE.
ScriptCommand Mark(const std::string& mark) { return {"Set Variable", {"TRACE", "$TRACE$" + mark}}; }
ScriptCommand Set(const std::string& name, const std::string& value) { return {"Set Variable", {name, value}}; }
// Integer or text comparison "VAR op VALUE" as the block commands store it.
ScriptCommand Cond(const std::string& command, const std::string& var, const std::string& op,
                   const std::string& value, bool negate = false) {
  return {command, {var, op, value, negate ? "TRUE" : "FALSE"}};
}
ScriptCommand Plain(const std::string& name) { return {name, {}}; }
ScriptCommand Disabled(ScriptCommand c) {
  c.disabled = true;
  return c;
}

class InterpreterTest : public ::testing::Test {
 protected:
  // Runs the script (silently) and returns TRACE.
  std::string Trace(std::vector<ScriptCommand> commands) {
    commands.insert(commands.begin(), Set("TRACE", ""));
    f_.SetScript(commands);
    f_.engine().settings.silent = true;
    RunScript(f_.engine(), f_.run());
    return f_.vars().GetVariable("TRACE");
  }
  ScriptFixture f_;
};

TEST_F(InterpreterTest, IfChainsRunExactlyOneBranch) {
  struct Case {
    const char* a;
    const char* b;
    const char* trace;
  };
  const Case cases[] = {{"1", "1", "xB"}, {"1", "0", "xB"}, {"0", "1", "yB"}, {"0", "0", "zB"}};
  for (const auto& c : cases) {
    ScriptFixture fresh;
    std::vector<ScriptCommand> s = {
        Set("TRACE", ""), Set("A", c.a), Set("B", c.b),
        Cond("If", "A", "0", "1"), Mark("x"),
        Cond("Else If", "B", "0", "1"), Mark("y"),
        Plain("Else"), Mark("z"),
        Plain("End"), Mark("B"),
    };
    fresh.SetScript(s);
    fresh.engine().settings.silent = true;
    RunScript(fresh.engine(), fresh.run());
    EXPECT_EQ(fresh.vars().GetVariable("TRACE"), c.trace) << c.a << c.b;
    EXPECT_EQ(fresh.run().taken_if, 0);
  }
}

TEST_F(InterpreterTest, SkippedBranchesPassOverNestedBlocksAndDisabledEnds) {
  EXPECT_EQ(Trace({Set("A", "0"), Cond("If", "A", "0", "1"),
                   Set("A", "1"), Cond("If", "A", "0", "1"), Mark("inner"), Plain("End"),
                   Disabled(Plain("End")),
                   Plain("Else"), Mark("else"), Plain("End"), Mark("after")}),
            "elseafter");
  // A true If inside a true If: both Ends close their own level.
  EXPECT_EQ(Trace({Set("A", "1"), Cond("If", "A", "0", "1"), Cond("If", "A", "0", "1"), Mark("in"),
                   Plain("Else"), Mark("no"), Plain("End"), Mark("mid"), Plain("Else"), Mark("no"), Plain("End"),
                   Mark("end")}),
            "inmidend");
  EXPECT_EQ(f_.run().taken_if, 0);
}

TEST_F(InterpreterTest, RepeatRunsUntilTheConditionHoldsAndKeepsOneStackEntry) {
  EXPECT_EQ(Trace({Set("N", "0"), Plain("Repeat"), Mark("b"), {"Mathematics", {"$N$", "1", "0", "N"}},
                   Cond("Until", "N", "0", "3"), Mark("done")}),
            "bbbdone");
  EXPECT_TRUE(f_.run().loop_stack.empty());
}

TEST_F(InterpreterTest, BreakLeavesOnlyTheInnermostLoop) {
  EXPECT_EQ(Trace({Set("N", "0"), Plain("Repeat"), {"Mathematics", {"$N$", "1", "0", "N"}},
                   Set("W", "0"), Cond("While", "W", "0", "0"), Mark("w"), Plain("Break"), Mark("never"),
                   Plain("Wend"), Mark("r"), Cond("Until", "N", "0", "2"), Mark("end")}),
            "wrwrend");
  EXPECT_TRUE(f_.run().loop_stack.empty());
}

TEST_F(InterpreterTest, ForEachSkipsEmptyItemsAndRemovesItsVariable) {
  EXPECT_EQ(Trace({{"For Each", {"ITEM", ";", "a;b;;c"}}, Mark("$ITEM$"), Plain("Next"), Mark("!")}), "abc!");
  EXPECT_FALSE(f_.vars().VariableExists("ITEM"));
  EXPECT_TRUE(f_.run().loop_stack.empty());
  EXPECT_TRUE(f_.run().for_each.empty());
}

TEST_F(InterpreterTest, ContinueInRepeatSkipsTheUntilTest) {
  // Until would leave at once; Continue sends the body round again until N = 3.
  EXPECT_EQ(Trace({Set("N", "0"), Plain("Repeat"), {"Mathematics", {"$N$", "1", "0", "N"}}, Mark("$N$"),
                   Cond("If", "N", "2", "2", /*negate=*/true), Plain("Continue"), Plain("End"),
                   Cond("Until", "N", "0", "$N$"), Mark("end")}),
            "123end");
  EXPECT_TRUE(f_.run().loop_stack.empty());
}

TEST_F(InterpreterTest, GoToOutOfALoopKeepsTheLoopStack) {
  EXPECT_EQ(Trace({Set("W", "0"), Cond("While", "W", "0", "0"), Mark("w"), {"GoTo Label", {"out"}}, Plain("Wend"),
                   {"Label", {"OUT"}}, Mark("l")}),
            "wl");
  EXPECT_EQ(f_.run().loop_stack, std::vector<std::string>{"While"});
}

class ScriptedPages : public ui::PageHost {
 public:
  explicit ScriptedPages(std::deque<int> codes) : codes_(std::move(codes)) {}
  int ShowPage(size_t index, const std::string&, bool, std::string*) override {
    shown.push_back(index);
    int code = codes_.empty() ? ui::page_result::kNext : codes_.front();
    if (!codes_.empty()) codes_.pop_front();
    return code;
  }
  void HidePage() override {}
  std::vector<size_t> shown;

 private:
  std::deque<int> codes_;
};

TEST_F(InterpreterTest, WizardLoopMovesBetweenPagesAndLeavesOnBackFromTheFirst) {
  using namespace ui::page_result;
  ScriptedPages pages({kNext, kBack, kBack});  // first -> second -> back to first -> back out
  f_.engine().pages = &pages;
  f_.SetScript({Set("TRACE", ""), Plain("Wizard Loop"), {"Display Dialog", {"One", "R"}},
                {"Display Dialog", {"Two", "R"}}, {"Display Dialog", {"Three", "R"}}, Plain("End"), Mark("after")});
  RunScript(f_.engine(), f_.run());
  EXPECT_FALSE(f_.engine().end_process_now) << f_.engine().exit_code;
  EXPECT_EQ(pages.shown, (std::vector<size_t>{2, 3, 2}));
  EXPECT_EQ(f_.vars().GetVariable("R"), "BACK");
  EXPECT_EQ(f_.vars().GetVariable("TRACE"), "after");
  EXPECT_FALSE(f_.run().wizard_active);
}

TEST_F(InterpreterTest, SilentWizardWalksEveryPageForward) {
  EXPECT_EQ(Trace({Plain("Wizard Loop"), {"Display Dialog", {"One", "R"}}, {"Display Dialog", {"Two", "R2"}},
                   Plain("End"), Mark("$R$$R2$")}),
            "NEXTNEXT");
}

TEST_F(InterpreterTest, BlockErrorsEndTheProcessWith314BeforeAnyCommand) {
  const std::vector<std::vector<ScriptCommand>> broken = {
      {Mark("x"), Plain("End")},
      {Set("A", "1"), Cond("If", "A", "0", "1"), Mark("x")},
      {Plain("Wend")},
      {Plain("Break")},
      {Set("A", "1"), Cond("If", "A", "0", "1"), {"Label", {"L"}}, Plain("End")},
      {{"GoTo Label", {"nowhere"}}},
      {Plain("Wizard Loop"), Mark("x"), Plain("End")},
  };
  for (const auto& script : broken) {
    ScriptFixture fresh;
    std::vector<ScriptCommand> s = {Set("TRACE", "untouched")};
    s.insert(s.end(), script.begin(), script.end());
    fresh.SetScript(s);
    RunScript(fresh.engine(), fresh.run());
    EXPECT_EQ(fresh.engine().exit_code, 314);
    EXPECT_TRUE(fresh.engine().end_process_now);
    EXPECT_NE(fresh.vars().GetVariable("TRACE"), "untouched");
  }
}

TEST_F(InterpreterTest, IncludeScriptsReturnIntoTheirVariable) {
  ScriptCommand ret = {"Return from Include Script", {"value $X$"}};
  ret.depth = 1;
  ret.include_result = "OUT";
  ScriptCommand skipped = Mark("skipped");
  skipped.depth = 1;
  skipped.include_result = "OUT";
  ScriptCommand inner = Mark("in");
  inner.depth = 1;
  inner.include_result = "OUT";
  EXPECT_EQ(Trace({Set("X", "7"), {"Return from Include Script", {"ignored"}}, inner, ret, skipped, Mark("main")}),
            "inmain");
  EXPECT_EQ(f_.vars().GetVariable("OUT"), "value 7");
}

TEST_F(InterpreterTest, TerminateWithExitCodeEndsTheRun) {
  EXPECT_EQ(Trace({Mark("a"), {"Terminate with Exit Code", {"3010"}}, Mark("b")}), "a");
  EXPECT_EQ(f_.engine().exit_code, 3010);
}

TEST_F(InterpreterTest, RuntimeErrorNamesSourceFileAndLine) {
  f_.SetScript({Set("TRACE", ""), Set("P", "C:\\a\\b.txt"), {"Extract Path", {"P", "part"}}, Mark("never")});
  RunScript(f_.engine(), f_.run());
  EXPECT_EQ(f_.vars().GetVariable("TRACE"), "");
  const std::string shown = f_.messages();
  EXPECT_NE(shown.find("Runtime error in setup script:\r\n\r\nSource File: setup\r\nLine Number: 3\r\n\r\n"),
            std::string::npos)
      << shown;
}

}  // namespace
}  // namespace kestrawl::script
