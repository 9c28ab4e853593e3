#include "base/win_path.h"

#include <gtest/gtest.h>

namespace kestrawl::base {
namespace {

TEST(WinPathTest, NormalizeResolvesDotsSeparatorsAndPrefixes) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"c:/Program Files/App", "C:\\Program Files\\App"},
      {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
      {"C:\\a\\..\\..\\..\\b", "C:\\b"},  // ".." stops at the root
      {"C:\\a\\\\b\\\\\\c", "C:\\a\\b\\c"},
      {"C:\\Dir\\", "C:\\Dir\\"},  // trailing separator kept
      {"C:\\Dir\\.", "C:\\Dir"},
      {"C:", "C:\\"},
      {"C:x\\y", "C:\\x\\y"},
      {"\\\\server\\share\\..\\..\\x", "\\\\server\\share\\x"},  // UNC root stays
      {"//server/share/a", "\\\\server\\share\\a"},
      {"\\\\?\\C:\\Very\\Long\\..\\Path", "C:\\Very\\Path"},
      {"\\??\\C:\\x", "C:\\x"},
      {"\\\\?\\UNC\\srv\\share\\f", "\\\\srv\\share\\f"},
      {"a\\..\\..\\b", "..\\b"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeWindowsPath(c.in), c.out) << c.in;
}

TEST(WinPathTest, PartsOfAPath) {
  EXPECT_EQ(ExtractFilePath("C:\\Dir\\a.txt"), "C:\\Dir\\");
  EXPECT_EQ(ExtractFilePath("C:a.txt"), "C:");
  EXPECT_EQ(ExtractFilePath("a.txt"), "");
  EXPECT_EQ(ExtractFileName("C:\\Dir\\a.txt"), "a.txt");
  EXPECT_EQ(ExtractFileName("C:/Dir/a.txt"), "a.txt");
  EXPECT_EQ(ExtractFileName("C:\\Dir\\"), "");
  EXPECT_EQ(ExtractFileExt("C:\\x\\a.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("C:\\d.x\\file"), "");  // a dot in a folder name is no extension
  EXPECT_EQ(ChangeFileExt("C:\\x\\a.txt", ".bak"), "C:\\x\\a.bak");
  EXPECT_EQ(ChangeFileExt("C:\\d.x\\file", ".log"), "C:\\d.x\\file.log");
  EXPECT_EQ(ChangeFileExt("a.txt", ""), "a");
}

TEST(WinPathTest, TrailingSeparatorsAndJoining) {
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Dir"), "C:\\Dir\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\Dir\\"), "C:\\Dir\\");
  EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\Dir\\"), "C:\\Dir");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\"), "C:");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\Dir"), "C:\\Dir");
  EXPECT_EQ(JoinPath("C:\\Dir", "a.txt"), "C:\\Dir\\a.txt");
  EXPECT_EQ(JoinPath("C:\\Dir\\", "\\a.txt"), "C:\\Dir\\a.txt");
  EXPECT_EQ(JoinPath("C:", "a.txt"), "C:\\a.txt");
  EXPECT_EQ(JoinPath("C:\\Dir", "D:\\other"), "D:\\other");
  EXPECT_EQ(JoinPath("", "a.txt"), "a.txt");
}

TEST(WinPathTest, AbsolutePathsAndDriveLetters) {
  EXPECT_TRUE(IsAbsolutePath("C:\\x"));
  EXPECT_TRUE(IsAbsolutePath("c:/x"));
  EXPECT_TRUE(IsAbsolutePath("\\\\srv\\share"));
  EXPECT_TRUE(IsAbsolutePath("\\\\?\\C:\\x"));
  EXPECT_FALSE(IsAbsolutePath("C:x"));
  EXPECT_FALSE(IsAbsolutePath("\\x"));
  EXPECT_FALSE(IsAbsolutePath("x\\y"));
  EXPECT_FALSE(IsAbsolutePath(""));
  EXPECT_EQ(DriveLetterOf("c:\\x"), 'C');
  EXPECT_EQ(DriveLetterOf("\\\\?\\d:\\x"), 'D');
  EXPECT_EQ(DriveLetterOf("\\\\srv\\share"), 0);
  EXPECT_EQ(DriveLetterOf("1:\\x"), 0);
  EXPECT_EQ(DriveLetterOf("x"), 0);
}

}  // namespace
}  // namespace kestrawl::base
