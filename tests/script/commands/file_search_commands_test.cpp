// "Find All Files" and "Delete Files Recursive" on a throw-away machine.
#include "script/commands/file_search_commands.h"

#include <gtest/gtest.h>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::RunCommand;
using testing::ScriptFixture;

CommandHandler Handler(std::string_view name) {
  for (const auto& e : FileSearchCommandHandlers())
    if (e.name == name) return e.handler;
  return nullptr;
}

class FileSearchCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f_.engine().settings.silent = true;
    f_.vars().SetSilent(true);
    for (const char* folder : {"C:\\a\\sub", "C:\\a\\my dir", "C:\\a\\sub\\deeper"})
      ASSERT_EQ(files().CreateFolderTree(folder), 0u);
    for (const char* file : {"C:\\a\\y.txt", "C:\\a\\z.log", "C:\\a\\sub\\x.txt", "C:\\a\\sub\\deeper\\w.txt",
                             "C:\\a\\my dir\\v.txt"})
      ASSERT_EQ(files().WriteWholeFile(file, "x"), 0u);
  }
  platform::FileSystem& files() { return f_.machine().Files(); }
  std::string Find(const std::string& pattern, const std::string& subfolders, const std::string& folders) {
    RunCommand(f_, Handler("Find All Files"), "Find All Files", {pattern, subfolders, folders, "$FOUND$"});
    return f_.vars().GetVariable("FOUND");
  }

  ScriptFixture f_;
};

TEST_F(FileSearchCommandsTest, FindOrdersSubfolderResultsFirstAndQuotes) {
  struct Case {
    std::string subfolders, folders, expected;
  };
  const Case cases[] = {
      {"TRUE", "TRUE",
       "\"C:\\a\\my dir\\v.txt\"|\"C:\\a\\my dir\"|C:\\a\\sub\\deeper\\w.txt|C:\\a\\sub\\deeper|"
       "C:\\a\\sub\\x.txt|C:\\a\\sub|C:\\a\\y.txt"},
      {"TRUE", "FALSE", "\"C:\\a\\my dir\\v.txt\"|C:\\a\\sub\\deeper\\w.txt|C:\\a\\sub\\x.txt|C:\\a\\y.txt"},
      {"FALSE", "FALSE", "C:\\a\\y.txt"},
      // Folders are listed only while searching subfolders.
      {"FALSE", "TRUE", "C:\\a\\y.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(Find("C:\\a\\*.txt", c.subfolders, c.folders), c.expected) << c.subfolders << c.folders;
}

TEST_F(FileSearchCommandsTest, FindWithNothingToFindGivesEmpty) {
  EXPECT_EQ(Find("C:\\a\\*.none", "TRUE", "FALSE"), "");
  EXPECT_EQ(Find("C:\\missing\\*.*", "TRUE", "TRUE"), "");
  EXPECT_EQ(Find("", "TRUE", "TRUE"), "");
}

TEST(JoinFoundPathsTest, QuotesBlanksQuotesAndBars) {
  EXPECT_EQ(JoinFoundPaths({}), "");
  EXPECT_EQ(JoinFoundPaths({"C:\\a", "C:\\b c", "C:\\q\"x", "C:\\p|q"}),
            "C:\\a|\"C:\\b c\"|\"C:\\q\"\"x\"|\"C:\\p|q\"");
}

TEST_F(FileSearchCommandsTest, FindStopsWhenProgressSaysSo) {
  std::vector<std::string> found;
  int folders = 0;
  SearchFiles(files(), "C:\\a\\*.txt", true, true, [&](const std::string& p) { found.push_back(p); },
              [&](const std::string&) { return ++folders < 2; });
  EXPECT_EQ(folders, 2);
  EXPECT_TRUE(found.empty());
}

TEST_F(FileSearchCommandsTest, CancelledFindEndsTheRunOrRecordsTheCancellation) {
  f_.vars().DeclareVariable("VELK_IsCancelled", "TRUE", "test");
  f_.vars().DeclareVariable("ABORTEDONERROR", "FALSE", "test");
  f_.vars().DeclareVariable("ABORTONERROR", "TRUE", "test");
  Find("C:\\a\\*.txt", "TRUE", "TRUE");
  EXPECT_TRUE(f_.run().end_requested);
  EXPECT_FALSE(f_.vars().VariableExists("FOUND"));

  f_.run().end_requested = false;
  f_.vars().AssignVariable("ABORTONERROR", "FALSE", "test");
  Find("C:\\a\\*.txt", "TRUE", "TRUE");
  EXPECT_FALSE(f_.run().end_requested);
  EXPECT_EQ(f_.vars().GetVariable("ABORTEDONERROR"), "TRUE");
  EXPECT_TRUE(f_.vars().VariableExists("FOUND"));
}

TEST_F(FileSearchCommandsTest, DeleteRecursiveRemovesEveryLevelBelowThePatternFolder) {
  ASSERT_EQ(files().SetAttributes("C:\\a\\sub\\deeper\\w.txt", platform::attr::kReadOnly), 0u);
  RunCommand(f_, Handler("Delete Files Recursive"), "Delete Files Recursive", {"C:\\\\a\\\\*.*"});
  EXPECT_TRUE(files().FolderExists("C:\\a"));
  std::vector<platform::FileEntry> left;
  EXPECT_NE(files().List("C:\\a\\*", &left), 0u);
  EXPECT_TRUE(left.empty());
}

TEST_F(FileSearchCommandsTest, DeleteRecursiveKeepsWhatDoesNotMatch) {
  ASSERT_EQ(files().WriteWholeFile("C:\\a\\sub\\deeper\\keep.log", "k"), 0u);
  RunCommand(f_, Handler("Delete Files Recursive"), "Delete Files Recursive", {"C:\\a\\*.txt"});
  EXPECT_TRUE(files().FileExists("C:\\a\\z.log"));
  EXPECT_TRUE(files().FileExists("C:\\a\\sub\\deeper\\keep.log"));
  EXPECT_FALSE(files().FileExists("C:\\a\\y.txt"));
  EXPECT_FALSE(files().FileExists("C:\\a\\sub\\x.txt"));
  EXPECT_FALSE(files().Exists("C:\\a\\my dir"));
}

}  // namespace
}  // namespace kestrawl::script
