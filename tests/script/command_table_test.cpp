#include "script/command_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "script/command_reference.h"
#include "support/test_support.h"

namespace kestrawl::script {
namespace {

const CommandSpec& Get(std::string_view name) {
  const CommandSpec* c = FindCommand(name);
  if (c == nullptr) throw std::runtime_error("command not in the table: " + std::string(name));
  return *c;
}

bool IsSnakeCase(std::string_view s) {
  if (s.empty() || !(s[0] >= 'a' && s[0] <= 'z')) return false;
  for (char ch : s) {
    if (!((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_')) return false;
  }
  return true;
}

TEST(CommandTableTest, NamesAreUniqueAndFindCommandMatchesExactly) {
  std::set<std::string_view> names;
  for (const CommandSpec& c : AllCommands()) {
    EXPECT_TRUE(names.insert(c.name).second) << "duplicate command " << c.name;
    EXPECT_EQ(FindCommand(c.name), &c) << c.name;
    EXPECT_FALSE(c.family.empty()) << c.name;
    EXPECT_FALSE(c.meaning.empty()) << c.name;
    if (c.inferred) {
      EXPECT_FALSE(c.note.empty()) << c.name << " is inferred without a note";
    }
    std::set<std::string_view> params;
    for (const ParamSpec& p : c.params) {
      EXPECT_TRUE(IsSnakeCase(p.name)) << c.name << ": " << p.name;
      EXPECT_TRUE(params.insert(p.name).second) << c.name << ": duplicate parameter " << p.name;
      EXPECT_FALSE(p.meaning.empty()) << c.name << ": " << p.name;
    }
  }
  // Families form contiguous groups, so the reference has one section per family.
  std::set<std::string_view> closed_families;
  std::string_view current;
  for (const CommandSpec& c : AllCommands()) {
    if (c.family == current) continue;
    EXPECT_TRUE(closed_families.insert(current).second || current.empty()) << "family split: " << current;
    EXPECT_FALSE(closed_families.count(c.family)) << "family split: " << c.family;
    current = c.family;
  }
  // Dispatch is on the exact name: other letter cases, padding and near misses find nothing.
  for (std::string_view miss : {"", "set variable", "SET VARIABLE", "Set Variable ", " If", "if", "Else if",
                                "MessageBox ", "Messagebox", "Extract 7zip Archive", "Goto Label", "Plugin"}) {
    EXPECT_EQ(FindCommand(miss), nullptr) << '"' << miss << '"';
  }
}

TEST(CommandTableTest, BlockCommandsHaveTheirRolesAndShapes) {
  const std::vector<std::pair<std::string_view, BlockRole>> roles = {
      {"If", BlockRole::kIf},         {"Else If", BlockRole::kElseIf}, {"Else", BlockRole::kElse},
      {"End", BlockRole::kEnd},       {"While", BlockRole::kWhile},    {"Wend", BlockRole::kWend},
      {"Repeat", BlockRole::kRepeat}, {"Until", BlockRole::kUntil},    {"For Each", BlockRole::kForEach},
      {"Next", BlockRole::kNext},     {"Wizard Loop", BlockRole::kWizardLoop},
  };
  std::set<std::string_view> with_role;
  for (const auto& [name, role] : roles) {
    EXPECT_EQ(Get(name).block, role) << name;
    with_role.insert(name);
  }
  for (const CommandSpec& c : AllCommands()) {
    if (!with_role.count(c.name)) {
      EXPECT_EQ(c.block, BlockRole::kNone) << c.name;
    }
  }

  // The four condition heads share one structured condition: variable, operator, value, negation;
  // the variable and the value are translated with ordinals 1 and 2.
  for (std::string_view name : {"If", "Else If", "While", "Until"}) {
    const CommandSpec& c = Get(name);
    ASSERT_EQ(c.params.size(), 4u) << name;
    EXPECT_EQ(c.params[0].reading, ParamReading::kVariableName) << name;
    EXPECT_FALSE(c.params[0].optional) << name;
    EXPECT_EQ(c.params[0].translation, 1) << name;
    EXPECT_EQ(c.params[1].reading, ParamReading::kCondition) << name;
    EXPECT_EQ(c.params[2].reading, ParamReading::kText) << name;
    EXPECT_EQ(c.params[2].translation, 2) << name;
    EXPECT_EQ(c.params[3].reading, ParamReading::kFlag) << name;
  }
  // Commands that have no entry in the parameter table.
  for (std::string_view name : {"Else", "End", "Wend", "Repeat", "Next", "Break", "Continue", "Wizard Loop",
                                "Hide Dialog", "Terminate Install", "Reboot Computer", "Reboot and Resume",
                                "Reboot and Login", "Transform Instance", "Remove Assemblies", "Ignore"}) {
    EXPECT_TRUE(Get(name).has_no_parameters()) << name;
  }
  const CommandSpec& for_each = Get("For Each");
  ASSERT_EQ(for_each.params.size(), 3u);
  EXPECT_EQ(for_each.params[0].reading, ParamReading::kVariableName);
  EXPECT_EQ(for_each.params[2].reading, ParamReading::kList);
}

TEST(CommandTableTest, InstallCommandsAreExactlyTheDeferredOnes) {
  const std::set<std::string_view> expected = {
      "Delete Files",    "Copy/Move Local Files", "Create Folder",    "Create Shortcut",
      "Advertised Shortcut", "Edit INI File",     "Install Files",    "Install Assembly",
      "Set Environment", "Install Service",       "Install ODBC Driver", "Create ODBC DSN",
      "Control Service", "Write Registry",        "Create File Type", "Advertised File Type",
  };
  std::set<std::string_view> actual;
  for (const CommandSpec& c : AllCommands()) {
    if (c.install_command) actual.insert(c.name);
  }
  EXPECT_EQ(actual, expected);
}

TEST(CommandTableTest, TranslatedParametersAreExactlyTheListedOnes) {
  using Entry = std::tuple<std::string, size_t, int>;  // command, parameter number, ordinal
  const std::set<Entry> expected = {
      {"If", 1, 1}, {"If", 3, 2}, {"Else If", 1, 1}, {"Else If", 3, 2}, {"While", 1, 1}, {"While", 3, 2},
      {"Until", 1, 1}, {"Until", 3, 2}, {"Set Variable", 2, 1}, {"Localization Variable", 2, 1},
      {"MessageBox", 1, 1}, {"MessageBox", 2, 2}, {"MessageBalloon", 1, 1}, {"MessageBalloon", 2, 2},
      {"Define Component", 1, 1}, {"Define Component", 3, 2}, {"Get Component Space", 1, 1},
      {"Get Component State", 1, 1}, {"Set Component State", 1, 1}, {"Set Component Space", 1, 1},
      {"Set Component Choice", 1, 1}, {"Set Component Visibility", 1, 1}, {"Delete Component", 1, 1},
      {"Create Group", 2, 1}, {"Create User", 2, 1}, {"Create User", 3, 2}, {"Create User", 9, 3},
      {"Create Share", 2, 1}, {"Create Share", 3, 2}, {"Delete Share", 1, 1}, {"Set Access Control", 1, 1},
      {"Set Access Control", 6, 2}, {"Create Media Center", 5, 1}, {"System Restore", 4, 1},
      {"Create File Type", 1, 1}, {"Create File Type", 3, 2}, {"Advertised File Type", 1, 1},
      {"Advertised File Type", 3, 2}, {"Advertised Shortcut", 2, 1}, {"Advertised Shortcut", 4, 2},
      // Shortcut names and descriptions are translated for both shortcut commands.
      {"Create Shortcut", 2, 1}, {"Create Shortcut", 4, 2},
      {"Schedule Task", 1, 1}, {"Delete Scheduled Task", 1, 1}, {"Control Service", 1, 1},
      {"Install Service", 4, 1}, {"Install Service", 5, 2}, {"Install Service", 6, 3},
      {"Install Service", 9, 4}, {"Install Service", 10, 5}, {"Get IIS Site Index", 1, 1},
      {"Create IIS Site", 1, 1}, {"Create Virtual Folder", 1, 1}, {"Create Virtual Folder", 12, 2},
      {"Create Virtual Folder", 13, 3},
  };
  std::set<Entry> actual;
  for (const CommandSpec& c : AllCommands()) {
    for (size_t k = 0; k < c.params.size(); ++k) {
      if (c.params[k].translation != 0) actual.emplace(std::string(c.name), k + 1, c.params[k].translation);
    }
  }
  EXPECT_EQ(actual, expected);
}

// Result variables that the pre-pass requires (optional = false) or declares when given.
TEST(CommandTableTest, ResultVariablesSitWhereThePrePassLooks) {
  const std::vector<std::pair<std::string_view, size_t>> required = {
      {"Get Folder Location", 1}, {"Get INI File Settings", 1}, {"Get XML File Settings", 1},
      {"Check File Version", 1}, {"Get System Settings", 1}, {"Get OS or SP Level", 1},
      {"Find All Registry", 1}, {"Find All Computers", 1}, {"Does File/Folder Exist", 1},
      {"Set Variable", 1}, {"Localization Variable", 1}, {"Get Temporary File", 1}, {"Get IIS Site List", 1},
      {"Check Disk Space", 1}, {"IIS Anonymous User", 1}, {"Is MSI Setup Installed", 2}, {"Is File Locked", 2},
      {"Get File Version", 2}, {"Get Environment", 2}, {"Get IIS Site Index", 2}, {"Check Process", 2},
      {"Check Computer", 2}, {"Get Component State", 2}, {"Get Component Space", 2},
      {"Evaluate XPath Query", 3}, {"Check Service", 3}, {"Find All Files", 4}, {"Evaluate Expression", 2},
      {"Read from Text File", 2}, {"Read Registry", 1}, {"Check Registry", 1},
  };
  for (const auto& [name, k] : required) {
    const CommandSpec& c = Get(name);
    ASSERT_GE(c.params.size(), k) << name;
    EXPECT_EQ(c.params[k - 1].reading, ParamReading::kResultVariable) << name << " parameter " << k;
    EXPECT_FALSE(c.params[k - 1].optional) << name << " parameter " << k;
  }
  const std::vector<std::pair<std::string_view, size_t>> optional = {
      {"Extract 7Zip Archive", 3}, {"Test 7Zip Archive", 3}, {"List 7Zip Archive", 3}, {"Register Library", 3},
      {"Compress 7Zip Archive", 10}, {"Delete 7Zip Archive", 4}, {"Run Light Mode Setup", 2},
      {"Terminate Process", 2}, {"Apply Changes", 2}, {"Remote Run Program", 6}, {"Run Program As", 8},
      {"MessageBox", 5}, {"Apply Patch", 1}, {"Run Program", 5}, {"Display Dialog", 2},
      {"Read from Text File", 3},
  };
  for (const auto& [name, k] : optional) {
    const CommandSpec& c = Get(name);
    ASSERT_GE(c.params.size(), k) << name;
    EXPECT_EQ(c.params[k - 1].reading, ParamReading::kResultVariable) << name << " parameter " << k;
    EXPECT_TRUE(c.params[k - 1].optional) << name << " parameter " << k;
  }
}

TEST(CommandTableTest, WellKnownParameterLists) {
  const CommandSpec& extract = Get("Extract 7Zip Archive");
  ASSERT_EQ(extract.params.size(), 6u);
  EXPECT_EQ(extract.family, "archives");
  EXPECT_EQ(extract.params[0].reading, ParamReading::kPath);
  EXPECT_EQ(extract.params[1].reading, ParamReading::kPath);
  EXPECT_EQ(extract.params[4].reading, ParamReading::kFlag);
  EXPECT_EQ(extract.params[5].reading, ParamReading::kFlag);

  const CommandSpec& compress = Get("Compress 7Zip Archive");
  ASSERT_EQ(compress.params.size(), 10u);
  EXPECT_EQ(compress.params[2].reading, ParamReading::kList);
  EXPECT_EQ(compress.params[3].reading, ParamReading::kList);
  EXPECT_EQ(compress.params[4].reading, ParamReading::kNumber);

  const CommandSpec& install = Get("Install Files");
  ASSERT_EQ(install.params.size(), 12u);
  EXPECT_EQ(install.params[2].reading, ParamReading::kPath);
  EXPECT_FALSE(install.params[2].optional);  // the destination folder is required

  const CommandSpec& write = Get("Write Registry");
  ASSERT_EQ(write.params.size(), 7u);
  EXPECT_EQ(write.params[0].reading, ParamReading::kRaw);  // "10" compared as written
  EXPECT_EQ(write.params[6].reading, ParamReading::kRaw);  // TRUE or a type word

  ASSERT_EQ(Get("Parse String").params.size(), 7u);
  EXPECT_EQ(Get("Parse String").params[4].reading, ParamReading::kNumber);
  ASSERT_EQ(Get("Mathematics").params.size(), 4u);
  EXPECT_EQ(Get("Mathematics").params[2].reading, ParamReading::kNumber);
  ASSERT_EQ(Get("Create Shortcut").params.size(), 9u);
  ASSERT_EQ(Get("Edit XML File").params.size(), 10u);
  ASSERT_EQ(Get("Run Program As").params.size(), 10u);
  ASSERT_EQ(Get("Install Service").params.size(), 15u);
  ASSERT_EQ(Get("Set Access Control").params.size(), 16u);
  ASSERT_EQ(Get("Create IIS Site").params.size(), 15u);
  ASSERT_EQ(Get("Create Virtual Folder").params.size(), 18u);
  ASSERT_EQ(Get("Schedule Task").params.size(), 14u);
  ASSERT_EQ(Get("Display Dialog").params.size(), 6u);
  ASSERT_EQ(Get("Apply Changes").params.size(), 4u);
  ASSERT_EQ(Get("Web Media Block").params.size(), 3u);

  // Switches compared with "TRUE" exactly are raw, not flags.
  for (const ParamSpec& p : Get("System Tray").params) EXPECT_EQ(p.reading, ParamReading::kRaw) << p.name;
  for (const ParamSpec& p : Get("Set 64 Bit Mode").params) EXPECT_EQ(p.reading, ParamReading::kRaw) << p.name;
}

TEST(CommandReferenceTest, DocsFileMatchesTheTable) {
  const std::string generated = CommandReferenceMarkdown();
  const std::string path = testing::SourcePath("docs/commands.md");
  const char* update = std::getenv("KESTRAWL_UPDATE_DOCS");
  if (update != nullptr && std::string(update) == "1") {
    testing::WriteHostFile(path, generated);
  }
  EXPECT_EQ(testing::ReadHostFile(path), generated)
      << "docs/commands.md is out of date; run test_script with KESTRAWL_UPDATE_DOCS=1 to rewrite it";
  // Every command appears under its own heading.
  for (const CommandSpec& c : AllCommands()) {
    EXPECT_NE(generated.find("\n### \"" + std::string(c.name) + "\"\n"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace kestrawl::script
