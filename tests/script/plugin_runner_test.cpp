// Plug-in commands against the example plug-ins built beside the tests: the
// result protocol (wide and 8-bit), failures and misbehaving plug-ins,
// missing libraries, the parameter text and cancellation.
#include "script/plugin_runner.h"

#include <gtest/gtest.h>

#include <string>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::BinPath;
using testing::ReadHostFile;
using testing::ScriptFixture;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

constexpr const char* kSupport = "C:\\Users\\Setup\\AppData\\Local\\Temp\\zel1\\";

class PluginRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f_.engine().paths.support_folder = kSupport;
    ASSERT_EQ(f_.machine().Files().CreateFolderTree(kSupport), 0u);
    Vars().DeclareVariable("TITLE", "Test Product", "Initialization");
    Vars().DeclareVariable("ABORTONERROR", "FALSE", "Initialization");
    Vars().DeclareVariable("ABORTEDONERROR", "FALSE", "Initialization");
    Vars().DeclareVariable("VELK_IsCancelled", "FALSE", "Initialization");
    Vars().DeclareVariable("VELK_thProgress", "0", "Initialization");
    Vars().DeclareVariable("VELK_thProgressText", "", "Initialization");
    Vars().DeclareVariable("VELK_LastDelegateTick", "0", "Initialization");
    Vars().DeclareVariable("VELK_LastActiveTick", "0", "Initialization");
  }

  VariableStore& Vars() { return f_.vars(); }

  // Copies a built plug-in into the support folder under the given name.
  void Install(const std::string& built, const std::string& as) {
    std::string bytes = ReadHostFile(BinPath(built));
    ASSERT_FALSE(bytes.empty()) << built << " was not built";
    ASSERT_EQ(f_.machine().Files().WriteWholeFile(std::string(kSupport) + as, bytes), 0u);
  }

  // Runs one plug-in command with the given parameter line and library name.
  void RunPlugin(const std::string& params, const std::string& library) {
    f_.SetScript({{"Greet", {params, "C:\\Design\\Plugins\\" + library}}});
    f_.engine().script.plugin_commands = {"Greet"};
    CommandContext ctx = f_.At(0);
    RunPluginCommand(ctx);
  }

  void SetSilent(bool silent) {
    f_.engine().settings.silent = silent;
    Vars().SetSilent(silent);
  }

  ScriptFixture f_;
};

TEST_F(PluginRunnerTest, WidePluginReturnsVariablesAndReportsProgress) {
  Install("plugins/example_plugin.so", "example_plugin.so");
  f_.run().dialog_handle = 4660;
  Vars().DeclareVariable("GREETING", "old", "Initialization");
  RunPlugin("GREETING,Bob Smith", "example_plugin.so");

  EXPECT_EQ(Vars().GetVariable("GREETING"), "Hello, Bob Smith from Test Product");
  EXPECT_EQ(Vars().GetVariable("PLUGIN_PARAM_1"), "GREETING");
  EXPECT_EQ(Vars().GetVariable("PLUGIN_PARAM_2"), "Bob Smith");
  EXPECT_FALSE(Vars().VariableExists("PLUGIN_PARAM_3"));
  EXPECT_EQ(Vars().GetVariable("PLUGIN_WINDOW"), "4660");
  EXPECT_EQ(Vars().GetVariable("VELK_thProgress"), "100");
  EXPECT_EQ(Vars().GetVariable("VELK_thMin"), "0");
  EXPECT_EQ(Vars().GetVariable("VELK_thMax"), "100");
  EXPECT_EQ(Vars().GetVariable("VELK_thProgressText"), "Greeting done");
  EXPECT_NE(Vars().GetVariable("VELK_LastDelegateTick"), "0");
  EXPECT_EQ(f_.messages(), "");
}

TEST_F(PluginRunnerTest, SilentRunWaitsForTheWorkerTheSameWay) {
  SetSilent(true);
  Install("plugins/example_plugin.so", "example_plugin.so");
  RunPlugin("RESULT,\"Ann Lee\",x", "example_plugin.so");
  EXPECT_EQ(Vars().GetVariable("RESULT"), "Hello, Ann Lee from Test Product");
  EXPECT_EQ(Vars().GetVariable("PLUGIN_PARAM_3"), "x");
  EXPECT_EQ(Vars().GetVariable("PLUGIN_WINDOW"), "0");
  EXPECT_EQ(Vars().GetVariable("VELK_thProgressText"), "Greeting done");
}

TEST_F(PluginRunnerTest, ParameterTextKeepsBlanksInsideItems) {
  EXPECT_EQ(PluginParameterText("a b,c"), "\"a b\",c");
  EXPECT_EQ(PluginParameterText("a  b"), "\"a  b\"");
  EXPECT_EQ(PluginParameterText("\"x y\",z"), "\"x y\",z");
  EXPECT_EQ(PluginParameterText("say \"hi\" there,x"), "\"say \"\"hi\"\" there\",x");
  // Only blanks are protected: other white space still separates items.
  EXPECT_EQ(PluginParameterText("a\tb"), "a,b");
  EXPECT_EQ(PluginParameterText(" lead,trail "), "\" lead\",\"trail \"");
  EXPECT_EQ(PluginParameterText("a,"), "a,");
  EXPECT_EQ(PluginParameterText(""), "");
  // A text that already holds the marker comes out with a blank.
  EXPECT_EQ(PluginParameterText("x$SPACE_SAFE$y"), "\"x y\"");
}

TEST_F(PluginRunnerTest, PluginReceivesTheNormalisedItems) {
  Install("plugins/example_plugin.so", "example_plugin.so");
  RunPlugin("OUT,C:\\Program Files\\App  Two,\"quoted, item\"", "example_plugin.so");
  EXPECT_EQ(Vars().GetVariable("PLUGIN_PARAM_2"), "C:\\Program Files\\App  Two");
  EXPECT_EQ(Vars().GetVariable("PLUGIN_PARAM_3"), "quoted, item");
  EXPECT_EQ(Vars().GetVariable("OUT"), "Hello, C:\\Program Files\\App  Two from Test Product");
}

TEST_F(PluginRunnerTest, LibraryIsTheLastPartOfParameterTwoInTheSupportFolder) {
  EXPECT_EQ(PluginLibraryPath("C:\\S\\", "D:\\Design\\x.dll\\run.so"), "C:\\S\\run.so");
  EXPECT_EQ(PluginLibraryPath("C:\\S", "run.so"), "C:\\S\\run.so");
  EXPECT_EQ(PluginLibraryPath("C:\\S\\", "D:\\Design\\"), "");
  EXPECT_EQ(PluginLibraryPath("C:\\S\\", ""), "");
}

TEST_F(PluginRunnerTest, FailingPluginChangesNothingWithoutAbortOnError) {
  Install("plugins/failing_plugin.so", "failing_plugin.so");
  std::string before = Vars().AllVariablesAsCommaText();
  EXPECT_NO_THROW(RunPlugin("", "failing_plugin.so"));
  EXPECT_EQ(Vars().AllVariablesAsCommaText(), before);
  EXPECT_FALSE(f_.run().end_requested);
}

TEST_F(PluginRunnerTest, FailingPluginRaisesGeneralSetupFailureWithAbortOnError) {
  Install("plugins/failing_plugin.so", "failing_plugin.so");
  Vars().AssignVariable("ABORTONERROR", "TRUE", "Set Variable Action");
  try {
    RunPlugin("", "failing_plugin.so");
    FAIL() << "no error raised";
  } catch (const EScriptError& e) {
    EXPECT_STREQ(e.what(), "General setup failure");
  }
  // "-1" is true as well; an empty result fails like -1.
  Vars().AssignVariable("ABORTONERROR", "-1", "Set Variable Action");
  EXPECT_THROW(RunPlugin("EMPTY", "failing_plugin.so"), EScriptError);
}

TEST_F(PluginRunnerTest, UnusableResultLengthsCountAsFailure) {
  Install("plugins/failing_plugin.so", "failing_plugin.so");
  Vars().AssignVariable("ABORTONERROR", "TRUE", "Set Variable Action");
  for (const char* mode : {"HUGE", "NEGATIVE", "SECONDFAIL"}) {
    SCOPED_TRACE(mode);
    EXPECT_THROW(RunPlugin(mode, "failing_plugin.so"), EScriptError);
  }
}

TEST_F(PluginRunnerTest, ResultIsReadOnlyWithinTheAnnouncedLengthAndTheNull) {
  Install("plugins/failing_plugin.so", "failing_plugin.so");
  RunPlugin("SHORT", "failing_plugin.so");
  EXPECT_EQ(Vars().GetVariable("SHORT"), "TRUE");
  RunPlugin("NONULL", "failing_plugin.so");
  EXPECT_EQ(Vars().GetVariable("NN"), "yes");
  EXPECT_FALSE(Vars().VariableExists("X"));
}

TEST_F(PluginRunnerTest, NarrowPluginUsesTheSystemCodePage) {
  Install("plugins/narrow_plugin.so", "narrow_plugin.so");
  Vars().AssignVariable("TITLE", "Caf\xC3\xA9 Suite", "Set Variable Action");
  RunPlugin("Na\xC3\xAFve \xE2\x82\xAC", "narrow_plugin.so");
  // "ï" and "€" both exist in the code page and come back unchanged.
  EXPECT_EQ(Vars().GetVariable("NARROW_ECHO"), "Na\xC3\xAFve \xE2\x82\xAC");
  EXPECT_EQ(Vars().GetVariable("NARROW_TITLE"), "Caf\xC3\xA9 Suite");
  EXPECT_EQ(Vars().GetVariable("VELK_thProgressText"), "Narrow step done \xC3\xA9");
  EXPECT_EQ(Vars().GetVariable("VELK_thProgress"), "100");
}

TEST_F(PluginRunnerTest, NarrowFailureLeavesTheStateAsItWasEvenWithAbortOnError) {
  Install("plugins/narrow_plugin.so", "narrow_plugin.so");
  Vars().AssignVariable("ABORTONERROR", "TRUE", "Set Variable Action");
  std::string before = Vars().AllVariablesAsCommaText();
  EXPECT_NO_THROW(RunPlugin("FAIL", "narrow_plugin.so"));
  EXPECT_EQ(Vars().AllVariablesAsCommaText(), before);
}

TEST_F(PluginRunnerTest, MissingLibraryShowsTheMessageUnlessSilent) {
  RunPlugin("A,B", "absent_plugin.so");
  EXPECT_EQ(f_.messages(),
            "[Test Product - Kestrawl Wizard] error: Unable to load plug-in library. Please rebuild "
            "your project and make sure all required plug-ins are installed.\r\rAction skipped\n");
  EXPECT_FALSE(Vars().VariableExists("A"));

  SetSilent(true);
  Vars().AssignVariable("ABORTONERROR", "TRUE", "Set Variable Action");
  EXPECT_NO_THROW(RunPlugin("A,B", "absent_plugin.so"));
  EXPECT_EQ(Count(f_.messages(), "Unable"), 1u);  // still only the first box
}

TEST_F(PluginRunnerTest, LibraryThatCannotBeLoadedIsSkippedLikeAMissingOne) {
  // Not a shared object at all.
  ASSERT_EQ(f_.machine().Files().WriteWholeFile(std::string(kSupport) + "junk.so", "not a library"),
            0u);
  Vars().AssignVariable("TITLE", "", "Set Variable Action");
  RunPlugin("A,B", "junk.so");
  EXPECT_EQ(f_.messages().rfind("[Kestrawl Wizard] error: Unable to load plug-in library.", 0), 0u);
  // A shared object with neither export.
  Install("zel.lib", "other.so");
  Vars().AssignVariable("ABORTONERROR", "TRUE", "Set Variable Action");
  EXPECT_NO_THROW(RunPlugin("A,B", "other.so"));
  EXPECT_EQ(Count(f_.messages(), "Unable to load plug-in library."), 2u);
}

TEST_F(PluginRunnerTest, CancellationStopsThePluginAndRecordsTheAbort) {
  Install("plugins/example_plugin.so", "example_plugin.so");
  Vars().AssignVariable("VELK_IsCancelled", "TRUE", "Set Variable Tricke");
  RunPlugin("WAIT", "example_plugin.so");

  EXPECT_EQ(f_.messages(), "[Test Product - Kestrawl Wizard] error: Setup cancelled\n");
  EXPECT_EQ(Vars().GetVariable("STOPPED"), "TRUE");  // the callback answered 0
  EXPECT_EQ(Vars().GetVariable("WAITED"), "TRUE");
  // The plug-in handed back ABORTEDONERROR "FALSE" as it received it; that
  // must not undo the cancellation record.
  EXPECT_EQ(Vars().GetVariable("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(Vars().GetVariable("VELK_IsCancelled"), "TRUE");
  EXPECT_EQ(Vars().GetVariable("VELK_thProgressText"), "Waiting for the user");
  EXPECT_FALSE(f_.run().end_requested);

  // Already aborted once: no second box.
  RunPlugin("WAIT", "example_plugin.so");
  EXPECT_EQ(f_.messages(), "[Test Product - Kestrawl Wizard] error: Setup cancelled\n");
}

TEST_F(PluginRunnerTest, CancellationWithAbortOnErrorEndsTheRun) {
  Install("plugins/example_plugin.so", "example_plugin.so");
  Vars().AssignVariable("VELK_IsCancelled", "TRUE", "Set Variable Tricke");
  Vars().AssignVariable("ABORTONERROR", "TRUE", "Set Variable Action");
  EXPECT_NO_THROW(RunPlugin("WAIT", "example_plugin.so"));
  EXPECT_TRUE(f_.run().end_requested);
  EXPECT_EQ(f_.messages(), "[Test Product - Kestrawl Wizard] error: Setup cancelled\n");
  EXPECT_FALSE(Vars().VariableExists("WAITED"));  // the run ends, nothing is applied
}

TEST_F(PluginRunnerTest, SilentCancellationShowsNoBox) {
  SetSilent(true);
  Install("plugins/failing_plugin.so", "failing_plugin.so");
  Vars().AssignVariable("VELK_IsCancelled", "TRUE", "Set Variable Tricke");
  RunPlugin("", "failing_plugin.so");
  EXPECT_EQ(f_.messages(), "");
  EXPECT_EQ(Vars().GetVariable("ABORTEDONERROR"), "TRUE");
}

TEST_F(PluginRunnerTest, PluginThatIgnoresCancellationIsAbandoned) {
  Install("plugins/failing_plugin.so", "failing_plugin.so");
  Vars().AssignVariable("VELK_IsCancelled", "TRUE", "Set Variable Tricke");
  RunPlugin("IGNORE_STOP", "failing_plugin.so");
  EXPECT_EQ(Vars().GetVariable("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(f_.messages(), "[Test Product - Kestrawl Wizard] error: Setup cancelled\n");
}

}  // namespace
}  // namespace kestrawl::script
