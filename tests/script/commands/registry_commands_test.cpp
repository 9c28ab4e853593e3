// The immediate registry commands on a throw-away machine.
#include "script/commands/registry_commands.h"

#include <gtest/gtest.h>

#include "script/script_error.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using testing::RunCommand;
using testing::ScriptFixture;

CommandHandler Handler(std::string_view name) {
  for (const auto& e : RegistryCommandHandlers())
    if (e.name == name) return e.handler;
  return nullptr;
}

class RegistryCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& reg = f_.machine().Reg();
    const std::string key = "Software\\Kestrawl Test";
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Str", RegView::kDefault, RegValue::String("hello")), 0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Exp", RegView::kDefault,
                             RegValue::String("%TEMP%\\x", platform::regtype::kExpandSz)),
              0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Num", RegView::kDefault, RegValue::Dword(42)), 0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Neg", RegView::kDefault, RegValue::Dword(0xFFFFFFFFu)), 0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Bin", RegView::kDefault,
                             RegValue::Binary(std::string("\x01\xAB\xFF", 3))),
              0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Multi", RegView::kDefault,
                             RegValue::MultiString({"a", "b c"})),
              0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "NoItems", RegView::kDefault, RegValue::MultiString({})),
              0u);
    ASSERT_EQ(reg.WriteValue(RegRoot::kCurrentUser, key, "Big", RegView::kDefault, RegValue::Qword(7)), 0u);
    ASSERT_EQ(reg.CreateKey(RegRoot::kCurrentUser, key + "\\Sub B", RegView::kDefault), 0u);
    ASSERT_EQ(reg.CreateKey(RegRoot::kCurrentUser, key + "\\Sub A", RegView::kDefault), 0u);
  }

  std::string Run(const std::string& command, std::vector<std::string> params) {
    RunCommand(f_, Handler(command), command, std::move(params));
    return f_.vars().GetVariable("R");
  }

  ScriptFixture f_;
};

TEST_F(RegistryCommandsTest, ReadAndCheckGiveValuesAndMarkers) {
  struct Case {
    std::string key, value, check, read;
  };
  const std::string k = "Software\\\\Kestrawl Test";
  const Case cases[] = {
      {k, "Str", "hello", "hello"},
      {k, "Exp", "%TEMP%\\x", "%TEMP%\\x"},  // stored text, not expanded
      {k, "Num", "42", "42"},
      {k, "Neg", "-1", "-1"},
      {k, "Bin", "01ABFF", "01ABFF"},
      {k, "Multi", "a$NEWLINE$b c", "a$NEWLINE$b c"},
      {k, "NoItems", "", ""},
      {k, "Big", "UNKNOWN$TYPE", ""},
      {k, "Missing", "NO$VALUE", ""},
      {"Software\\Nowhere", "Str", "NO$KEY", ""},
      {"\\Software\\Kestrawl Test\\", "Str", "hello", "hello"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run("Check Registry", {"R", "1", c.key, c.value}), c.check) << c.key << " " << c.value;
    EXPECT_EQ(Run("Read Registry", {"$R$", "1", c.key, c.value}), c.read) << c.key << " " << c.value;
  }
}

TEST_F(RegistryCommandsTest, MachineNameCountsOnlyForHklmAndHku) {
  // Root 1 ignores the machine; root 9 falls back to HKEY_CURRENT_USER.
  EXPECT_EQ(Run("Check Registry", {"R|server", "1", "Software\\Kestrawl Test", "Str"}), "hello");
  EXPECT_EQ(Run("Check Registry", {"R|server", "9", "Software\\Kestrawl Test", "Str"}), "hello");
  EXPECT_EQ(Run("Check Registry", {"R|server", "2", "Software", ""}), "NO$COMPUTER");
  EXPECT_EQ(Run("Read Registry", {"R|\\\\server", "3", "Software", ""}), "");
  EXPECT_EQ(Run("Find All Registry", {"R|server", "2", "Software", "TRUE"}), "");
  EXPECT_THROW(Run("Read Registry", {"R", "one", "Software", ""}), EScriptError);
}

TEST_F(RegistryCommandsTest, ViewFollowsTheEngineBitness) {
  ASSERT_EQ(f_.machine().Reg().WriteValue(RegRoot::kLocalMachine, "SOFTWARE\\ViewProbe", "Where", RegView::k64,
                                          RegValue::String("64")),
            0u);
  ASSERT_EQ(f_.machine().Reg().WriteValue(RegRoot::kLocalMachine, "SOFTWARE\\ViewProbe", "Where", RegView::k32,
                                          RegValue::String("32")),
            0u);
  f_.run().bitness = "Win32";
  EXPECT_EQ(Run("Read Registry", {"R", "2", "SOFTWARE\\ViewProbe", "Where"}), "32");
  f_.run().bitness = "x64";
  EXPECT_EQ(Run("Read Registry", {"R", "2", "SOFTWARE\\ViewProbe", "Where"}), "64");
}

TEST_F(RegistryCommandsTest, FindAllListsSubKeysOrValueNames) {
  EXPECT_EQ(Run("Find All Registry", {"R", "1", "Software\\Kestrawl Test", "TRUE"}), "Sub A$NEWLINE$Sub B");
  EXPECT_EQ(Run("Find All Registry", {"R", "1", "Software\\Kestrawl Test\\Sub A", "FALSE"}), "");

  ASSERT_EQ(f_.machine().Reg().WriteValue(RegRoot::kCurrentUser, "Software\\Kestrawl Test\\Sub A", "",
                                          RegView::kDefault, RegValue::String("d")),
            0u);
  ASSERT_EQ(f_.machine().Reg().WriteValue(RegRoot::kCurrentUser, "Software\\Kestrawl Test\\Sub A", "Named",
                                          RegView::kDefault, RegValue::Dword(1)),
            0u);
  EXPECT_EQ(Run("Find All Registry", {"R", "1", "Software\\Kestrawl Test\\Sub A", "FALSE"}),
            "(Default)$NEWLINE$Named");
  EXPECT_EQ(Run("Find All Registry", {"R", "1", "Software\\Nowhere", "TRUE"}), "");
}

TEST_F(RegistryCommandsTest, DeleteRemovesAValueOrTheWholeKey) {
  auto& reg = f_.machine().Reg();
  const std::string key = "Software\\Kestrawl Test";
  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"1", key, "Str", "FALSE"});
  RegValue v;
  EXPECT_EQ(reg.GetValue(RegRoot::kCurrentUser, key, "Str", RegView::kDefault, &v), platform::err::kFileNotFound);
  EXPECT_EQ(reg.GetValue(RegRoot::kCurrentUser, key, "Num", RegView::kDefault, &v), 0u);

  // Missing values and keys and a failed connection are ignored.
  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"1", key, "Missing", "FALSE"});
  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"1", "Software\\Nowhere", "x", "FALSE"});
  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"2|server", "Software", "", "TRUE"});
  EXPECT_EQ(reg.KeyExists(RegRoot::kLocalMachine, "Software", RegView::kDefault), 0u);

  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"1", key, "", "TRUE"});
  EXPECT_NE(reg.KeyExists(RegRoot::kCurrentUser, key, RegView::kDefault), 0u);
  EXPECT_EQ(reg.KeyExists(RegRoot::kCurrentUser, "Software", RegView::kDefault), 0u);
}

TEST_F(RegistryCommandsTest, DeleteWholeKeyWithEmptyPathLeavesTheRootAlone) {
  // A key path that came out empty (an unset variable) must not wipe HKCU.
  f_.vars().DeclareVariable("UNSET_KEY", "", "test");
  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"1", "$UNSET_KEY$", "", "TRUE"});
  RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"1", "\\", "", "TRUE"});
  EXPECT_EQ(f_.machine().Reg().KeyExists(RegRoot::kCurrentUser, "Software\\Kestrawl Test", RegView::kDefault), 0u);
}

TEST_F(RegistryCommandsTest, DeleteWithNonNumericRootIsAScriptError) {
  EXPECT_THROW(RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"HKCU", "Software", "", "TRUE"}),
               EScriptError);
  EXPECT_THROW(RunCommand(f_, Handler("Delete Registry"), "Delete Registry", {"|server", "Software", "", "TRUE"}),
               EScriptError);
}

}  // namespace
}  // namespace kestrawl::script
