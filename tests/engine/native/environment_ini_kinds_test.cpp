// "Set Environment" and "Edit INI File": what each mode and position does to
// the machine, and the undo entries they leave.
#include "engine/native/kinds_fixture.h"
#include "platform/private_profile.h"

namespace kestrawl::engine::native {
namespace {

using platform::RegRoot;
using platform::RegValue;
namespace regtype = platform::regtype;

constexpr const char* kSystemEnv = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";

class SetEnvironmentTest : public KindsTest {
 protected:
  // name, value, mode, position, log, system-wide
  bool SetEnv(const std::string& name, const std::string& value, int mode, int position, bool log = true,
              bool system = true) {
    return Apply("Set Environment", {name, value, std::to_string(mode), std::to_string(position),
                                     log ? "TRUE" : "FALSE", system ? "TRUE" : "FALSE"});
  }
};

TEST_F(SetEnvironmentTest, AppendingToAnExpandablePathKeepsItsTypeAndAddsNoSeparator) {
  ASSERT_EQ(reg().WriteValue(RegRoot::kLocalMachine, kSystemEnv, "KW_PATH", view(),
                             RegValue::String("%SystemRoot%;C:\\A", regtype::kExpandSz)),
            0u);
  ASSERT_TRUE(SetEnv("KW_PATH", ";C:\\B", 0, 1));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kSystemEnv, "KW_PATH"),
            RegValue::String("%SystemRoot%;C:\\A;C:\\B", regtype::kExpandSz));
  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 1u);
  EXPECT_EQ(undo[0].element, "Delete Environment");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{"-2147483646", kSystemEnv, "KW_PATH", ";C:\\B", "2", "FALSE"}));
  EXPECT_EQ(undo[0].weight, "1024");
}

TEST_F(SetEnvironmentTest, PositionAndModeDecideTheNewValue) {
  struct Case {
    std::optional<RegValue> before;
    int mode, position;
    std::optional<RegValue> after;
    bool logged;
  };
  const Case cases[] = {
      {RegValue::String("old"), 0, 0, RegValue::String("new;old"), true},
      {RegValue::String("old", regtype::kExpandSz), 0, 2, RegValue::String("new;"), true},  // replaced: a string
      {RegValue::MultiString({"m"}), 0, 1, RegValue::String("mnew;"), true},             // other types: a string
      {std::nullopt, 0, 1, RegValue::String("new;"), true},
      {RegValue::String("old"), 1, 2, RegValue::String("old"), false},  // only when absent
      {std::nullopt, 1, 2, RegValue::String("new;"), true},
      {RegValue::String("old"), 2, 2, std::nullopt, false},  // delete
      {std::nullopt, 2, 0, std::nullopt, false},             // delete what is gone: no prompt
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.position));
    run_.native.pending = {};
    reg().DeleteValue(RegRoot::kCurrentUser, "Environment", "KW_VAR", view());
    if (c.before) reg().WriteValue(RegRoot::kCurrentUser, "Environment", "KW_VAR", view(), *c.before);
    EXPECT_TRUE(SetEnv("KW_VAR", "new;", c.mode, c.position, true, false));
    EXPECT_EQ(Value(RegRoot::kCurrentUser, "Environment", "KW_VAR"), c.after);
    EXPECT_EQ(Undo().size(), c.logged ? 1u : 0u);
  }
  EXPECT_TRUE(host_.prompts.empty());
}

TEST_F(SetEnvironmentTest, LogsOnlyWhenTheRecordAsksAndRejectsBadModes) {
  ASSERT_TRUE(SetEnv("KW_QUIET", "1", 0, 2, false));
  EXPECT_TRUE(Value(RegRoot::kLocalMachine, kSystemEnv, "KW_QUIET"));
  EXPECT_TRUE(Undo().empty());

  EXPECT_TRUE(Apply("Set Environment", {"KW_BAD", "1", "x", "0", "TRUE", "TRUE"}));
  EXPECT_TRUE(SetEnv("KW_BAD", "1", 0, 5));
  EXPECT_EQ(host_.prompts.size(), 2u);
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kSystemEnv, "KW_BAD"));
  EXPECT_TRUE(Undo().empty());
}

class EditIniTest : public KindsTest {
 protected:
  static constexpr const char* kIni = "C:\\App\\app.ini";
  void SetUp() override { files().CreateFolderTree("C:\\App"); }
  bool Edit(int mode, const std::string& value, const std::string& file = kIni) {
    return Apply("Edit INI File", {file, "Main", "List", value, std::to_string(mode)});
  }
  std::string Entry() { return platform::profile::GetString(files(), kIni, "Main", "List", "<none>", 4096); }
  void SetEntry(const std::optional<std::string>& value) {
    ASSERT_EQ(platform::profile::WriteString(files(), kIni, "Main", "List", value), 0u);
  }
};

TEST_F(EditIniTest, ListModesAddAndRemoveWholeItems) {
  struct Case {
    std::optional<std::string> before;
    int mode;
    std::string value;
    std::string after;  // "<none>": the key is gone
  };
  const Case cases[] = {
      {"a, b, c", 4, "b", "a, c"},
      {"a, b, c", 4, "c", "a, b"},
      {"a, b, c", 4, "A", "b, c"},
      {"a,b", 4, "B", "a"},
      {"b", 4, "b", "<none>"},
      {" b ", 4, "b", "<none>"},
      {"a, b", 4, "x", "a, b"},
      {"ab, c", 4, "b", "ab, c"},   // only whole items are removed
      {"a, bc", 4, "b", "a, bc"},
      {"x", 3, "y", "y, x"},
      {std::nullopt, 3, "y", "y"},
      {"x", 0, "y", "y"},
      {"x", 1, "y", "x"},
      {std::nullopt, 1, "y", "y"},
      {"x", 2, "", "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + c.value + " on " + c.before.value_or("<none>"));
    SetEntry(c.before);
    EXPECT_TRUE(Edit(c.mode, c.value));
    EXPECT_EQ(Entry(), c.after);
  }
  EXPECT_TRUE(host_.prompts.empty());
}

TEST_F(EditIniTest, LogsTheModesThatAddAndDropsTheEntryWhenNothingIsWritten) {
  ASSERT_TRUE(Edit(3, "y"));
  ASSERT_TRUE(Edit(0, "z"));
  ASSERT_TRUE(Edit(1, "w"));  // present: nothing written, entry dropped
  ASSERT_TRUE(Edit(4, "z"));
  ASSERT_TRUE(Edit(2, ""));
  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 2u);
  EXPECT_EQ(undo[0].element, "Remove INI Entry");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{kIni, "Main", "List", "y"}));
  EXPECT_EQ(undo[1].data, (std::vector<std::string>{kIni, "Main", "List", ""}));
  EXPECT_EQ(undo[1].weight, "10240");
}

TEST_F(EditIniTest, AWriteThatFailsIsPromptedAndLeavesNoUndoEntry) {
  const std::string missing = "C:\\No Such Folder\\app.ini";
  EXPECT_TRUE(Edit(0, "v", missing));
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_NE(host_.prompts[0].text.find("\r\r" + missing + ": [Main] List=v"), std::string::npos);
  EXPECT_TRUE(Undo().empty());

  EXPECT_TRUE(Apply("Edit INI File", {kIni, "Main", "List", "v", "9"}));
  EXPECT_EQ(host_.prompts.size(), 2u);
}

}  // namespace
}  // namespace kestrawl::engine::native
