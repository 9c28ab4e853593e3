// "Read from Text File" and "Write to Text File" on a throw-away machine.
#include "script/commands/text_file_commands.h"

#include <gtest/gtest.h>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::RunCommand;
using testing::ScriptFixture;

CommandHandler Handler(std::string_view name) {
  for (const auto& e : TextFileCommandHandlers())
    if (e.name == name) return e.handler;
  return nullptr;
}

class TextFileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(files().CreateFolderTree("C:\\Data"), 0u); }
  void TearDown() override {
    // Reading a missing file closes the open one, so no test leaves a file
    // open behind it.
    Read("C:\\Data\\x.none");
  }
  platform::FileSystem& files() { return f_.machine().Files(); }
  std::string Var(const std::string& name) { return f_.vars().GetVariable(name); }
  std::string File(const std::string& path) {
    std::string data;
    return files().ReadWholeFile(path, &data) == 0 ? data : "<missing>";
  }
  // Reads into LINE and EOF; returns "line|eof".
  std::string Read(const std::string& path) {
    RunCommand(f_, Handler("Read from Text File"), "Read from Text File", {path, "LINE", "EOF"});
    return Var("LINE") + "|" + Var("EOF");
  }
  void Write(const std::string& path, const std::string& line, const std::string& at_top) {
    RunCommand(f_, Handler("Write to Text File"), "Write to Text File", {path, line, at_top});
  }

  ScriptFixture f_;
};

TEST_F(TextFileCommandsTest, SuccessiveReadsReturnSuccessiveLinesThenStartOver) {
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\two.txt", "\xEF\xBB\xBFline 1\r\nline 2\r\n"), 0u);
  EXPECT_EQ(Read("C:\\Data\\two.txt"), "line 1|FALSE");
  EXPECT_EQ(Read("C:\\DATA\\TWO.TXT"), "line 2|TRUE");  // same file, any letter case
  EXPECT_EQ(Read("C:\\Data\\two.txt"), "line 1|FALSE");
}

TEST_F(TextFileCommandsTest, LineEndsAndEdgeFiles) {
  struct Case {
    std::string content;
    std::vector<std::string> reads;
  };
  const Case cases[] = {
      {"a\nb\rc\r\nd", {"a|FALSE", "b|FALSE", "c|FALSE", "d|TRUE"}},
      {"", {"|TRUE"}},
      {"\r\n\r\nx", {"|FALSE", "|FALSE", "x|TRUE"}},
      {"\xEF\xBB\xBF", {"|TRUE"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(files().WriteWholeFile("C:\\Data\\case.txt", c.content), 0u);
    for (const std::string& expected : c.reads) EXPECT_EQ(Read("C:\\Data\\case.txt"), expected) << c.content;
  }
}

TEST_F(TextFileCommandsTest, LongLinesCrossReadChunks) {
  const std::string long_line(200000, 'x');
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\long.txt", long_line + "\r\nend"), 0u);
  EXPECT_EQ(Read("C:\\Data\\long.txt"), long_line + "|FALSE");
  EXPECT_EQ(Read("C:\\Data\\long.txt"), "end|TRUE");
}

TEST_F(TextFileCommandsTest, ReadAllJoinsTheRestAndClosesTheFile) {
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\three.txt", "1\r\n2\r\n3\r\n"), 0u);
  f_.vars().DeclareVariable("FOLDER", "C:\\\\Data", "test");
  f_.vars().DeclareVariable("INDIRECT", "$FOLDER$", "test");
  EXPECT_EQ(Read("$INDIRECT$\\three.txt"), "1|FALSE");  // substituted twice
  EXPECT_EQ(Read("#READALL\\C:\\Data\\three.txt"), "2$NEWLINE$3|TRUE");
  EXPECT_EQ(Read("#READALL\\C:\\Data\\three.txt"), "1$NEWLINE$2$NEWLINE$3|TRUE");
}

TEST_F(TextFileCommandsTest, ReadingAMissingFileSetsEndOfFileOnly) {
  f_.vars().DeclareVariable("LINE", "kept", "test");
  EXPECT_EQ(Read("C:\\Data\\missing.txt"), "kept|TRUE");
  // Without an end-of-file variable nothing else is written.
  RunCommand(f_, Handler("Read from Text File"), "Read from Text File", {"C:\\Data\\missing.txt", "OTHER", ""});
  EXPECT_TRUE(f_.vars().VariableExists("OTHER"));
  EXPECT_EQ(Var("OTHER"), "");
}

TEST_F(TextFileCommandsTest, WriteInsertsOrAppendsAsUtf8WithCrLf) {
  Write("C:\\Data\\new.txt", "first", "TRUE");
  EXPECT_EQ(File("C:\\Data\\new.txt"), "\xEF\xBB\xBF" "first\r\n");
  Write("C:\\Data\\new.txt", "last", "false");
  f_.vars().DeclareVariable("TOP", "-1", "test");
  Write("C:\\Data\\new.txt", "top", "$TOP$");
  EXPECT_EQ(File("C:\\Data\\new.txt"), "\xEF\xBB\xBF" "top\r\nfirst\r\nlast\r\n");

  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\unix.txt", "a\nb"), 0u);
  ASSERT_EQ(files().SetAttributes("C:\\Data\\unix.txt", platform::attr::kReadOnly), 0u);
  Write("C:\\Data\\unix.txt", "c", "");
  EXPECT_EQ(File("C:\\Data\\unix.txt"), "\xEF\xBB\xBF" "a\r\nb\r\nc\r\n");
}

TEST_F(TextFileCommandsTest, WriteClosesTheOpenFileSoReadingStartsOver) {
  ASSERT_EQ(files().WriteWholeFile("C:\\Data\\log.txt", "one\r\ntwo\r\n"), 0u);
  EXPECT_EQ(Read("C:\\Data\\log.txt"), "one|FALSE");
  Write("C:\\Data\\LOG.txt", "zero", "TRUE");
  EXPECT_EQ(Read("C:\\Data\\log.txt"), "zero|FALSE");
}

TEST_F(TextFileCommandsTest, WriteFailuresAreSilentAndLoseNothing) {
  Write("C:\\Nowhere\\x.txt", "line", "FALSE");
  EXPECT_EQ(File("C:\\Nowhere\\x.txt"), "<missing>");
  ASSERT_EQ(files().CreateFolderTree("C:\\Data\\folder.txt"), 0u);
  Write("C:\\Data\\folder.txt", "line", "FALSE");
  EXPECT_TRUE(files().FolderExists("C:\\Data\\folder.txt"));
}

}  // namespace
}  // namespace kestrawl::script
