// The component commands run through their handlers on a throw-away engine:
// states, sizes, flags, and saving and loading feature selections on the
// simulated machine.
#include "script/commands/component_commands.h"

#include <gtest/gtest.h>

#include <set>

#include "script/command_context.h"
#include "script/command_table.h"
#include "script/feature_selections.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptCommand;
using testing::ScriptFixture;

class ComponentCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f_.SetScript({});
    f_.engine().script.component_sizes = {kPredefinedComponent, "0", "PRODUCT", "1000",
                                          "PRODUCT\\TOOLS", "250", "DOCS", "40"};
    f_.run().components.Reset(f_.engine().script);
  }

  // Runs the commands in order, each through its registered handler.
  void Run(const std::vector<ScriptCommand>& commands) {
    f_.SetScript(commands);
    const std::vector<HandlerEntry> handlers = ComponentCommandHandlers();
    for (size_t i = 0; i < commands.size(); ++i) {
      CommandHandler handler = nullptr;
      for (const auto& h : handlers)
        if (h.name == commands[i].name) handler = h.handler;
      ASSERT_NE(handler, nullptr) << commands[i].name;
      CommandContext ctx = f_.At(i);
      handler(ctx);
    }
  }
  std::string Var(const std::string& name) { return f_.vars().GetVariable(name); }
  void Set(const std::string& name, const std::string& value) { f_.vars().DeclareVariable(name, value, "Test"); }
  // The standard product: Product and Product\Tools selected, Docs not.
  void DefineProduct() {
    Run({{"Define Component", {"Product", "TRUE", "The product"}},
         {"Define Component", {"Product\\Tools", "TRUE", ""}},
         {"Define Component", {"Docs", "FALSE", ""}}});
  }
  std::string State(const std::string& name) {
    Run({{"Get Component State", {name, "$STATE$"}}});
    return Var("STATE");
  }
  std::string Space(const std::string& name) {
    Run({{"Get Component Space", {name, "SPACE"}}});
    return Var("SPACE");
  }

  ScriptFixture f_;
};

TEST_F(ComponentCommandsTest, RedefiningKeepsTheStateAndSetStateChangesIt) {
  DefineProduct();
  Run({{"Define Component", {"PRODUCT", "FALSE", "Renamed"}}});
  EXPECT_EQ(State("Product"), "TRUE");
  EXPECT_EQ(f_.run().components.Description("Product"), "Renamed");
  Run({{"Set Component State", {"product", "FALSE"}}, {"Set Component State", {"Docs", "-1"}}});
  EXPECT_EQ(State("Product"), "FALSE");
  EXPECT_EQ(State("Docs"), "TRUE");
  EXPECT_EQ(State("Product\\Tools"), "TRUE");  // children are not touched
}

TEST_F(ComponentCommandsTest, NamesAreSubstituted) {
  Set("PART", "Tools");
  Run({{"Define Component", {"Product\\$PART$", "TRUE", "For $PART$"}}});
  EXPECT_TRUE(f_.run().components.IsDefined("Product\\Tools"));
  EXPECT_EQ(f_.run().components.Description("Product\\Tools"), "For Tools");
}

TEST_F(ComponentCommandsTest, DeletedAndUnknownComponentsReadAsNotSelected) {
  DefineProduct();
  Run({{"Delete Component", {"Product"}}, {"Delete Component", {"Product"}}, {"Delete Component", {"Nope"}}});
  EXPECT_EQ(f_.run().components.lists().deleted, std::vector<std::string>{"Product"});
  EXPECT_EQ(State("Product"), "FALSE");
  EXPECT_EQ(State("Nope"), "FALSE");
  Run({{"Define Component", {"Product", "FALSE", ""}}});
  EXPECT_EQ(State("Product"), "TRUE");  // undeleted, state kept
}

TEST_F(ComponentCommandsTest, AnEmptyResultNameSetsNothing) {
  DefineProduct();
  const std::string before = f_.vars().AllVariablesAsCommaText();
  Run({{"Get Component State", {"Product", ""}}, {"Get Component Space", {"Product", ""}}});
  EXPECT_EQ(f_.vars().AllVariablesAsCommaText(), before);
}

TEST_F(ComponentCommandsTest, SpaceOfTheSelectionFollowsStatesAndInstalledSize) {
  DefineProduct();
  EXPECT_EQ(Space(""), "1250");
  EXPECT_EQ(Space("docs"), "40");
  EXPECT_EQ(Space("Unknown"), "0");
  Run({{"Set Component State", {"Product\\Tools", "FALSE"}}});
  EXPECT_EQ(Space(""), "1000");
  Run({{"Delete Component", {"Product"}}});
  EXPECT_EQ(Space(""), "0");
  f_.run().components.installed_size = 300;
  EXPECT_EQ(Space(""), "-300");
}

TEST_F(ComponentCommandsTest, SetSpaceNeedsADefinedComponentAndAnInteger) {
  DefineProduct();
  Run({{"Set Component Space", {"Product", "12x"}},
       {"Set Component Space", {"Unknown", "5"}},
       {"Set Component Space", {"Docs", "9000000000"}}});
  EXPECT_EQ(Space("Product"), "1000");
  EXPECT_EQ(Space("Unknown"), "0");
  EXPECT_EQ(Space("Docs"), "9000000000");
}

TEST_F(ComponentCommandsTest, HiddenComponentsLeaveTheTreeButKeepTheirState) {
  DefineProduct();
  Run({{"Set Component Visibility", {"Product", "FALSE"}}});
  EXPECT_EQ(State("Product\\Tools"), "TRUE");
  std::vector<ComponentTreeNode> tree = f_.run().components.FillTree();
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].text, "Docs");
  Run({{"Set Component Visibility", {"Product", "TRUE"}}});
  EXPECT_EQ(f_.run().components.FillTree().size(), 2u);
}

TEST_F(ComponentCommandsTest, ALockedItemKeepsCheckListChangesFromItsChildren) {
  DefineProduct();
  Run({{"Set Component Choice", {"Product", "FALSE"}}});
  std::vector<CheckListItem> items = f_.run().components.FillCheckList();
  ASSERT_EQ(items.size(), 2u);
  items[0].checked = false;
  f_.run().components.ReadCheckList(items);
  EXPECT_EQ(State("Product\\Tools"), "TRUE");
  EXPECT_TRUE(items[0].checked);
  Run({{"Set Component Choice", {"Product", "TRUE"}}});
  items[0].checked = false;
  f_.run().components.ReadCheckList(items);
  EXPECT_EQ(State("Product\\Tools"), "FALSE");
}

TEST_F(ComponentCommandsTest, SavingAndLoadingRestoresTheSelectionAndTheVariables) {
  DefineProduct();
  Run({{"Set Component State", {"Docs", "TRUE"}},
       {"Delete Component", {"Product\\Tools"}},
       {"Set Component Visibility", {"Docs", "FALSE"}},
       {"Set Component Choice", {"Product", "FALSE"}}});
  Set("TARGETDIR", "C:\\Program Files\\App\\");
  Set("ALLUSERS", "TRUE");
  Set("STARTMENU", "App");
  Set("COLOR", "blue");
  Set("NOTES", "one$NEWLINE$two");
  Set("OVERRIDECACHE", "C:\\Cache\\");
  Set("NATIVE_ENGINE", "TRUE");
  f_.run().AddSavedVariable("COLOR");
  f_.run().AddSavedVariable("NOTES");
  f_.run().bitness = "x64";
  Set("FILE", "C:\\state.dat");
  Run({{"Save Feature Selections", {"$FILE$"}}});
  const ComponentLists saved = f_.run().components.lists();

  // Change everything the file holds.
  Run({{"Set Component State", {"Docs", "FALSE"}},
       {"Define Component", {"Product\\Tools", "TRUE", ""}},
       {"Set Component Visibility", {"Docs", "TRUE"}},
       {"Set Component Choice", {"Product", "TRUE"}}});
  for (const char* name : {"TARGETDIR", "ALLUSERS", "STARTMENU", "COLOR", "NOTES", "OVERRIDECACHE", "NATIVE_ENGINE"})
    Set(name, "changed");
  f_.run().saved_variables.clear();
  f_.run().bitness = "Win32";

  Run({{"Load Feature Selections", {"C:\\STATE.DAT"}}});
  EXPECT_EQ(f_.run().components.lists(), saved);
  EXPECT_EQ(Var("TARGETDIR"), "C:\\Program Files\\App\\");
  EXPECT_EQ(Var("ALLUSERS"), "TRUE");
  EXPECT_EQ(Var("STARTMENU"), "App");
  EXPECT_EQ(Var("COLOR"), "blue");
  EXPECT_EQ(Var("NOTES"), "one$NEWLINE$two");
  EXPECT_EQ(Var("OVERRIDECACHE"), "C:\\Cache\\");
  EXPECT_EQ(Var("NATIVE_ENGINE"), "TRUE");
  EXPECT_EQ(f_.run().saved_variables, (std::vector<std::string>{"COLOR", "NOTES"}));
  EXPECT_EQ(f_.run().bitness, "x64");
}

TEST_F(ComponentCommandsTest, LoadingCreatesMissingSavedVariables) {
  DefineProduct();
  std::string text = FormatFeatureSelections(FeatureSelections{
      {}, "C:\\T\\", "FALSE", "S", "", {{"NEWVAR", "v"}, {kBitnessMarker, "ia64"}, {"NATIVE_ENGINE", "FALSE"}}});
  ASSERT_EQ(f_.machine().Files().WriteWholeFile("C:\\s.dat", text), 0u);
  Run({{"Load Feature Selections", {"C:\\s.dat"}}});
  EXPECT_EQ(Var("NEWVAR"), "v");
  EXPECT_EQ(Var("NATIVE_ENGINE"), "FALSE");
  EXPECT_EQ(f_.run().bitness, "ia64");
  EXPECT_EQ(f_.run().saved_variables, std::vector<std::string>{"NEWVAR"});
  EXPECT_EQ(State("Product"), "TRUE");  // not in the file: unchanged
}

TEST_F(ComponentCommandsTest, LoadingAMissingFileDoesNothing) {
  DefineProduct();
  Set("TARGETDIR", "C:\\Keep\\");
  const ComponentLists before = f_.run().components.lists();
  Run({{"Load Feature Selections", {"C:\\none.dat"}}});
  EXPECT_EQ(f_.run().components.lists(), before);
  EXPECT_EQ(Var("TARGETDIR"), "C:\\Keep\\");
}

TEST_F(ComponentCommandsTest, ADamagedFileRaisesAScriptErrorAndChangesNothing) {
  DefineProduct();
  Set("TARGETDIR", "C:\\Keep\\");
  f_.run().bitness = "x64";
  Run({{"Save Feature Selections", {"C:\\good.dat"}}});
  std::string good;
  ASSERT_EQ(f_.machine().Files().ReadWholeFile("C:\\good.dat", &good), 0u);
  // Cut inside the lists, and a state line removed.
  const std::string damaged[] = {good.substr(0, good.size() / 3),
                                 good.substr(0, good.find("TRUE\r\n")) + good.substr(good.find("TRUE\r\n") + 6)};
  Run({{"Set Component State", {"Product", "FALSE"}}});
  const ComponentLists before = f_.run().components.lists();
  for (const std::string& text : damaged) {
    ASSERT_EQ(f_.machine().Files().WriteWholeFile("C:\\bad.dat", text), 0u);
    f_.SetScript({{"Load Feature Selections", {"C:\\bad.dat"}}});
    CommandContext ctx = f_.At(0);
    EXPECT_THROW(LoadFeatureSelectionsCommand(ctx), EScriptError);
    EXPECT_EQ(f_.run().components.lists(), before);
  }
}

TEST_F(ComponentCommandsTest, AFileThatCannotBeWrittenRaisesAScriptError) {
  DefineProduct();
  f_.SetScript({{"Save Feature Selections", {"C:\\No\\Such\\Folder\\state.dat"}}});
  CommandContext ctx = f_.At(0);
  EXPECT_THROW(SaveFeatureSelectionsCommand(ctx), EScriptError);
}

TEST(ComponentCommandHandlersTest, CoverExactlyTheFamilyInTheCommandTable) {
  std::set<std::string> handled;
  for (const HandlerEntry& e : ComponentCommandHandlers()) {
    const CommandSpec* def = FindCommand(e.name);
    ASSERT_NE(def, nullptr) << e.name;
    EXPECT_EQ(def->family, "components") << e.name;
    EXPECT_TRUE(handled.insert(std::string(e.name)).second) << e.name;
  }
  for (const CommandSpec& def : AllCommands()) {
    if (def.family == "components") {
      EXPECT_TRUE(handled.count(std::string(def.name))) << def.name;
    }
  }
}

}  // namespace
}  // namespace kestrawl::script
