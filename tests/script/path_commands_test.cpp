#include "script/commands/path_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptFixture;

using testing::RunCommand;

TEST(ExtractPathPartTest, EveryPart) {
  struct Case {
    std::string path;
    int part;
    std::string expected;
  };
  const Case cases[] = {
      {"C:\\dir\\archive.tar.gz", 0, "archive.tar.gz"},
      {"C:\\dir\\archive.tar.gz", 1, "archive.tar"},
      {"C:\\dir\\archive.tar.gz", 2, "gz"},
      {"C:\\dir\\archive.tar.gz", 3, "C:\\dir\\"},
      {"C:\\a\\b\\c.txt", 4, "C:\\a\\"},
      {"C:\\a\\b\\c.txt", 5, "C:\\"},
      {"\\\\srv\\share\\x.txt", 5, "\\\\srv\\share\\"},
      {"\\\\srv\\share\\x.txt", 4, "\\\\srv\\"},
      {"C:\\d.x\\file", 1, "file"},
      {"C:\\d.x\\file", 2, ""},
      {"C:\\dir\\", 0, ""},
      {"C:\\dir\\", 3, "C:\\dir\\"},
      {"C:\\dir\\", 4, "C:\\"},
      {"C:\\c.txt", 4, "C:\\"},
      {"C:file.txt", 0, "file.txt"},
      {"C:file.txt", 3, "C:"},
      {"file.txt", 3, ""},
      {"file.txt", 4, ""},
      {"file.txt", 5, ""},
      {"relative\\file.txt", 5, ""},
      {".profile", 1, ""},
      {".profile", 2, "profile"},
      {"C:\\a\\b", 6, "C:\\a\\b"},
      {"\\\\srv\\share", 6, "\\\\srv\\share"},
      {"C:\\a\\b.txt", 7, "C:\\a\\b.txt"},
      {"C:\\a\\b.txt", -1, "C:\\a\\b.txt"},
      {"", 0, ""},
      {"", 4, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractPathPart(c.path, c.part), c.expected) << c.path << " part " << c.part;
  }
}

TEST(ExtractPathCommandTest, ReadsThePathValueAndWritesBack) {
  ScriptFixture f;
  f.vars().DeclareVariable("ROOT", "C:\\\\Data", "Initialization");
  f.vars().DeclareVariable("P", "$ROOT$\\\\logs\\\\today.log", "Initialization");
  RunCommand(f, ExtractPathCommand, "Extract Path", {"P", "3"});
  EXPECT_EQ(f.vars().GetVariable("P"), "C:\\Data\\logs\\");
  RunCommand(f, ExtractPathCommand, "Extract Path", {"P", "9"});
  EXPECT_EQ(f.vars().GetVariable("P"), "C:\\Data\\logs\\");
  EXPECT_THROW(RunCommand(f, ExtractPathCommand, "Extract Path", {"P", "name"}), EScriptError);
  EXPECT_EQ(f.vars().GetVariable("P"), "C:\\Data\\logs\\");
}

class ConvertPathCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FileSystem& files = f.engine().platform.Files();
    ASSERT_EQ(files.CreateFolderTree("C:\\Setup Files\\Sub Folder"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Setup Files\\Sub Folder\\Long File Name.txt", "x"), 0u);
    f.vars().DeclareVariable("SETUPPATH", "C:\\Setup Files", "Initialization");
  }

  std::string Convert(const std::string& value, const std::string& short_form) {
    f.vars().AssignVariable("V", value, "Initialization");
    RunCommand(f, ConvertPathCommand, "Convert Path", {"V", short_form});
    return f.vars().GetVariable("V");
  }

  ScriptFixture f;
};

TEST_F(ConvertPathCommandTest, LongFormTakesTheNamesOnDisk) {
  const std::string expected = "C:\\Setup Files\\Sub Folder\\Long File Name.txt";
  EXPECT_EQ(Convert("c:\\setup files\\sub folder\\long file name.txt", ""), expected);
  EXPECT_EQ(Convert("sub folder\\LONG FILE NAME.TXT", ""), expected);             // relative to SETUPPATH
  EXPECT_EQ(Convert("C:\\Setup Files\\.\\x\\..\\Sub Folder\\long file name.txt", ""), expected);
  EXPECT_EQ(Convert("%SystemDrive%\\SETUP FILES\\sub folder\\", ""), "C:\\Setup Files\\Sub Folder");
  EXPECT_EQ(Convert("C:\\\\Setup Files\\\\Sub Folder", "FALSE"), "C:\\Setup Files\\Sub Folder");
  EXPECT_EQ(Convert("c:\\", ""), "C:\\");  // a root keeps its backslash
}

TEST_F(ConvertPathCommandTest, ShortFormUsesTheAliases) {
  std::string short_path;
  ASSERT_EQ(f.engine().platform.Files().GetShortPath("C:\\Setup Files\\Sub Folder\\Long File Name.txt", &short_path), 0u);
  EXPECT_EQ(Convert("sub folder\\long file name.txt", "TRUE"), short_path);
  EXPECT_NE(short_path.find('~'), std::string::npos);
}

TEST_F(ConvertPathCommandTest, NothingThereClearsTheVariable) {
  EXPECT_EQ(Convert("C:\\Setup Files\\missing.txt", ""), "");
  EXPECT_EQ(Convert("missing.txt", "TRUE"), "");
  EXPECT_EQ(Convert("Q:\\x", ""), "");
}

}  // namespace
}  // namespace kestrawl::script
