#include "script/commands/variable_commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "script/command_table.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptFixture;

using testing::RunCommand;

void SetVariable(ScriptFixture& f, const std::string& target, const std::string& value) {
  RunCommand(f, SetVariableCommand, "Set Variable", {target, value});
}

TEST(SetVariableCommandTest, NameFormsAndPersistence) {
  struct Case {
    std::string target;
    std::string variable;
    bool saved;
  };
  const Case cases[] = {
      {"TARGETDIR", "TARGETDIR", false},
      {"$TARGETDIR$", "TARGETDIR", false},
      {"FOO$VELK$VELK$TRUE", "FOO", true},
      {"$FOO$$VELK$VELK$TRUE", "FOO", true},
      {"FOO$VELK$VELK$true", "FOO", false},   // the flag is compared exactly
      {"FOO$VELK$VELK$FALSE", "FOO", false},
      {"FOO$VELK$VELK$", "FOO", false},
      {"$A$B$", "$A$B$", false},              // not one surrounding pair
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    ScriptFixture f;
    SetVariable(f, c.target, "value");
    EXPECT_EQ(f.vars().GetVariable(c.variable), "value");
    EXPECT_EQ(f.run().saved_variables, c.saved ? std::vector<std::string>{c.variable} : std::vector<std::string>{});
  }
}

TEST(SetVariableCommandTest, SubstitutesTheValueAndSavesANameOnce) {
  ScriptFixture f;
  f.vars().DeclareVariable("BASE", "C:\\App", "Initialization");
  for (int k = 0; k < 3; ++k) SetVariable(f, "FOO$VELK$VELK$TRUE", "$BASE$\\bin");
  SetVariable(f, "foo$VELK$VELK$TRUE", "x");
  EXPECT_EQ(f.vars().GetVariable("FOO"), "x");
  EXPECT_EQ(f.run().saved_variables, std::vector<std::string>{"FOO"});

  SetVariable(f, "BAR", "$BASE$\\bin");
  EXPECT_EQ(f.vars().GetVariable("BAR"), "C:\\App\\bin");
  SetVariable(f, "EMPTY", "");
  EXPECT_TRUE(f.vars().VariableExists("EMPTY"));
  SetVariable(f, "", "ignored");  // no name: nothing happens
  EXPECT_EQ(f.run().saved_variables.size(), 1u);
}

TEST(SetVariableCommandTest, AbortAlsoCancelsRunningWork) {
  ScriptFixture f;
  f.vars().DeclareVariable("VELK_IsCancelled", "FALSE", "Initialization");
  SetVariable(f, "abort", "TRUE");
  EXPECT_EQ(f.vars().GetVariable("ABORT"), "TRUE");
  EXPECT_EQ(f.vars().GetVariable("VELK_IsCancelled"), "TRUE");
  SetVariable(f, "$ABORT$", "FALSE");
  EXPECT_EQ(f.vars().GetVariable("VELK_IsCancelled"), "FALSE");
}

TEST(SetVariableCommandTest, DownloadTimeout) {
  const std::pair<std::string, int> cases[] = {{"30", 30}, {"abc", 10}, {"", 10}, {"5s", 10}, {"-1", -1}};
  for (const auto& [value, seconds] : cases) {
    SCOPED_TRACE(value);
    ScriptFixture f;
    f.run().download_timeout = 99;
    SetVariable(f, "velk_timeout", value);
    EXPECT_EQ(f.run().download_timeout, seconds);
    EXPECT_EQ(f.vars().GetVariable("VELK_TIMEOUT"), value);
  }
}

TEST(SetVariableCommandTest, ProgressNeedsAnIntegerPosition) {
  ScriptFixture f;
  f.vars().DeclareVariable("PROGRESS", "0", "Initialization");
  f.vars().DeclareVariable("PROGRESSTEXT", "", "Initialization");
  SetVariable(f, "PROGRESS", "40");
  SetVariable(f, "progresstext", "Copying");
  EXPECT_EQ(f.vars().GetVariable("PROGRESSTEXT"), "Copying");

  // The value is stored before the position is checked.
  EXPECT_THROW(SetVariable(f, "PROGRESS", "half"), EScriptError);
  EXPECT_EQ(f.vars().GetVariable("PROGRESS"), "half");
  EXPECT_THROW(SetVariable(f, "PROGRESSTEXT", "Next"), EScriptError);
  EXPECT_NO_THROW(SetVariable(f, "OTHER", "half"));
}

TEST(GetEnvironmentCommandTest, OneNameOrTheWholeBlock) {
  ScriptFixture f;
  platform::System& sys = f.engine().platform.Sys();
  sys.SetEnv("KW_TEST", "one two");
  f.vars().DeclareVariable("WHICH", "KW_TEST", "Initialization");

  RunCommand(f, GetEnvironmentCommand, "Get Environment", {"$WHICH$", "$OUT$"});
  EXPECT_EQ(f.vars().GetVariable("OUT"), "one two");
  RunCommand(f, GetEnvironmentCommand, "Get Environment", {"PATH", "OUT"});
  EXPECT_EQ(f.vars().GetVariable("OUT"), sys.GetEnv("PATH"));
  EXPECT_FALSE(f.vars().GetVariable("OUT").empty());
  RunCommand(f, GetEnvironmentCommand, "Get Environment", {"KW_UNDEFINED", "OUT"});
  EXPECT_EQ(f.vars().GetVariable("OUT"), "%KW_UNDEFINED%");

  RunCommand(f, GetEnvironmentCommand, "Get Environment", {"", "OUT"});
  std::string expected;
  for (const auto& [name, value] : sys.EnvironmentBlock())
    expected += (expected.empty() ? "" : "$NEWLINE$") + name + "=" + value;
  EXPECT_EQ(f.vars().GetVariable("OUT"), expected);
  EXPECT_NE(expected.find("KW_TEST=one two"), std::string::npos);
  EXPECT_FALSE(expected.ends_with("$NEWLINE$"));
}

TEST(GetTemporaryFileCommandTest, CreatesDistinctEmptyFilesInTheEngineTempFolder) {
  ScriptFixture f;
  platform::FileSystem& files = f.engine().platform.Files();
  ASSERT_EQ(files.CreateFolderTree("C:\\EngineTemp"), 0u);
  f.engine().paths.temp_folder = "C:\\EngineTemp\\";
  f.vars().DeclareVariable("TEMPDIR", "C:\\Elsewhere\\", "Initialization");  // not followed

  RunCommand(f, GetTemporaryFileCommand, "Get Temporary File", {"$FIRST$"});
  RunCommand(f, GetTemporaryFileCommand, "Get Temporary File", {"SECOND"});
  const std::string first = f.vars().GetVariable("FIRST");
  const std::string second = f.vars().GetVariable("SECOND");
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(path.rfind("C:\\EngineTemp\\zel", 0), 0u);
    EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
    platform::FileEntry entry;
    ASSERT_EQ(files.GetEntry(path, &entry), 0u);
    EXPECT_FALSE(entry.IsFolder());
    EXPECT_EQ(entry.size, 0u);
  }
}

TEST(GetTemporaryFileCommandTest, MissingFolderGivesTheEmptyText) {
  ScriptFixture f;
  f.engine().paths.temp_folder = "C:\\NoSuchFolder\\";
  f.vars().DeclareVariable("OUT", "old", "Initialization");
  RunCommand(f, GetTemporaryFileCommand, "Get Temporary File", {"OUT"});
  EXPECT_EQ(f.vars().GetVariable("OUT"), "");
}

TEST(Set64BitModeCommandTest, LastExactTrueWins) {
  struct Case {
    std::vector<std::string> params;
    std::string before, after;
  };
  const Case cases[] = {
      {{"TRUE", "FALSE", "TRUE"}, "Win32", "x64"},
      {{"TRUE", "TRUE", ""}, "x64", "ia64"},
      {{"TRUE", "", ""}, "x64", "Win32"},
      {{"", "", ""}, "x64", "x64"},
      {{"true", "-1", "True"}, "ia64", "ia64"},  // compared exactly, not as flags
  };
  for (const Case& c : cases) {
    ScriptFixture f;
    f.run().bitness = c.before;
    RunCommand(f, Set64BitModeCommand, "Set 64 Bit Mode", c.params);
    EXPECT_EQ(f.run().bitness, c.after) << c.params[0] << "," << c.params[1] << "," << c.params[2];
  }
}

TEST(VariableCommandHandlersTest, EveryNameIsATableCommandOfTheFamily) {
  std::set<std::string> names;
  for (const HandlerEntry& e : VariableCommandHandlers()) {
    SCOPED_TRACE(std::string(e.name));
    const CommandSpec* def = FindCommand(e.name);
    ASSERT_NE(def, nullptr);
    EXPECT_NE(e.handler, nullptr);
    EXPECT_TRUE(names.insert(std::string(e.name)).second);
  }
  for (const CommandSpec& def : AllCommands()) {
    if (def.family == "variables" && def.name != "Evaluate Expression") {
      EXPECT_TRUE(names.count(std::string(def.name))) << def.name;
    }
  }
  EXPECT_TRUE(names.count("Comment") && names.count("Ignore"));
}

}  // namespace
}  // namespace kestrawl::script
