// The 7z script commands on a throw-away machine, with the real archive
// library.
#include <gtest/gtest.h>

#include "media/archive_library.h"
#include "script/interpreter.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptCommand;
using testing::ScriptFixture;

class ArchiveCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Load(testing::BinPath("zel.lib"))) << library_.error();
    f_.engine().archive = &library_;
    f_.engine().settings.silent = true;
    auto& files = f_.machine().Files();
    ASSERT_EQ(files.CreateFolderTree("C:\\Data\\Sub"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Data\\readme.txt", "read me"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Data\\with blank.txt", "blank"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Data\\Sub\\deep.txt", "deep"), 0u);
  }
  void Run(std::vector<ScriptCommand> commands) {
    f_.SetScript(commands);
    RunScript(f_.engine(), f_.run());
  }
  std::string Var(const std::string& name) { return f_.vars().GetVariable(name); }
  std::string File(const std::string& path) {
    std::string data;
    return f_.machine().Files().ReadWholeFile(path, &data) == 0 ? data : "<missing>";
  }

  media::ArchiveLibrary library_;
  ScriptFixture f_;
};

TEST_F(ArchiveCommandsTest, CompressListTestExtractDeleteRoundTrip) {
  Run({{"Compress 7Zip Archive", {"C:\\\\Out\\\\pack.7z", "", "C:\\\\Data\\\\*.*", "", "0", "-mx=1", "", "", "", "C"}},
       {"List 7Zip Archive", {"C:\\Out\\pack.7z", "", "L"}},
       {"Test 7Zip Archive", {"C:\\Out\\pack.7z", "", "T"}},
       {"Extract 7Zip Archive", {"C:\\Out\\pack.7z", "C:\\Unpacked", "X", "", "FALSE", "FALSE"}},
       {"Delete 7Zip Archive", {"C:\\Out\\pack.7z", "", "readme.txt", "D"}},
       {"List 7Zip Archive", {"C:\\Out\\pack.7z", "", "L2"}}});
  EXPECT_EQ(Var("C"), "SUCCESS");
  EXPECT_EQ(Var("T"), "SUCCESS");
  EXPECT_EQ(Var("X"), "SUCCESS");
  EXPECT_EQ(Var("D"), "SUCCESS");
  // Names with blanks come in quotes.
  EXPECT_NE(Var("L").find("\"with blank.txt\""), std::string::npos) << Var("L");
  EXPECT_NE(Var("L").find("readme.txt"), std::string::npos);
  EXPECT_EQ(Var("L2").find("readme.txt"), std::string::npos) << Var("L2");
  EXPECT_EQ(File("C:\\Unpacked\\Sub\\deep.txt"), "deep");
  EXPECT_EQ(File("C:\\Unpacked\\readme.txt"), "read me");
}

TEST_F(ArchiveCommandsTest, FlatAndSkipExisting) {
  ASSERT_EQ(f_.machine().Files().CreateFolderTree("C:\\Flat"), 0u);
  ASSERT_EQ(f_.machine().Files().WriteWholeFile("C:\\Flat\\readme.txt", "kept"), 0u);
  Run({{"Compress 7Zip Archive", {"C:\\Out\\pack.7z", "", "C:\\Data\\*", "", "0", "-mx=1", "", "", "", "C"}},
       {"Extract 7Zip Archive", {"C:\\Out\\pack.7z", "C:\\Flat", "X", "", "TRUE", "TRUE"}}});
  EXPECT_EQ(Var("X"), "SUCCESS");
  EXPECT_EQ(File("C:\\Flat\\readme.txt"), "kept");
  EXPECT_EQ(File("C:\\Flat\\deep.txt"), "deep");
}

TEST_F(ArchiveCommandsTest, FailuresGoToTheResultVariable) {
  Run({{"Compress 7Zip Archive", {"C:\\Out\\secret.7z", "pw", "C:\\Data\\*", "", "0", "-mhe=on -mx=1", "", "", "", "C"}},
       {"Extract 7Zip Archive", {"C:\\Out\\secret.7z", "C:\\Wrong", "X", "nope", "FALSE", "FALSE"}},
       {"List 7Zip Archive", {"C:\\Out\\missing.7z", "", "L"}},
       {"Test 7Zip Archive", {"C:\\Out\\secret.7z", "pw", "T"}}});
  EXPECT_EQ(Var("C"), "SUCCESS");
  EXPECT_EQ(Var("X").substr(0, 1), "#") << Var("X");
  EXPECT_EQ(Var("L").rfind("#ERROR\\#", 0), 0u) << Var("L");
  EXPECT_EQ(Var("T"), "SUCCESS");
  EXPECT_EQ(File("C:\\Wrong\\readme.txt"), "<missing>");
}

}  // namespace
}  // namespace kestrawl::script
