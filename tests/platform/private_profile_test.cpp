#include "platform/private_profile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/utf.h"
#include "platform/sim/sim_machine.h"
#include "support/test_support.h"

namespace kestrawl::platform::profile {
namespace {

constexpr const char* kIni = "C:\\Conf\\app.ini";
constexpr size_t kBuffer = 26000;

std::string Utf16Le(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (char16_t c : base::Utf8ToUtf16(utf8)) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

class PrivateProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = sim::SimMachine::Open(tmp_ / "machine");
    ASSERT_EQ(Files().CreateFolderTree("C:\\Conf"), err::kSuccess);
  }
  FileSystem& Files() { return machine_->Files(); }
  void WriteIni(const std::string& bytes) { ASSERT_EQ(Files().WriteWholeFile(kIni, bytes), err::kSuccess); }
  std::string ReadIni() {
    std::string bytes;
    EXPECT_EQ(Files().ReadWholeFile(kIni, &bytes), err::kSuccess);
    return bytes;
  }
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = "<none>", size_t buffer = kBuffer) {
    return GetString(Files(), kIni, section, key, fallback, buffer);
  }
  void Set(const std::string& section, const std::string& key, const std::optional<std::string>& value) {
    ASSERT_EQ(WriteString(Files(), kIni, section, key, value), err::kSuccess) << section << " " << key;
  }

  testing::TempDir tmp_;
  std::unique_ptr<sim::SimMachine> machine_;
};

TEST_F(PrivateProfileTest, Reading) {
  WriteIni(
      "top=before any section\r\n"
      "; a comment\r\n"
      "[Main]\r\n"
      "  Name =  Kestrel Tools  \r\n"
      "Quoted=\"  padded  \"\r\n"
      "Single='x'\r\n"
      "Inner=a \"b\" c\r\n"
      "Half=\"open\r\n"
      "Mixed=\"a'\r\n"
      "Empty=\r\n"
      "Eq=a=b\r\n"
      "no equals sign\r\n"
      "Dup=first\r\n"
      "dup=second\r\n"
      "[ Other ]\n"
      "Name=other\n"
      "[main]\r"
      "Later=from the duplicate section\r"
      "Name=ignored\r"
      "[Räume]\n"
      "Größe=groß\n"
      "[Open\n"
      "k=v");
  const struct {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Main", "Name", "Kestrel Tools"},
      {"MAIN", "name", "Kestrel Tools"},
      {" Main ", " Name ", "Kestrel Tools"},
      {"Main", "Quoted", "  padded  "},
      {"Main", "Single", "x"},
      {"Main", "Inner", "a \"b\" c"},
      {"Main", "Half", "\"open"},
      {"Main", "Mixed", "\"a'"},
      {"Main", "Empty", ""},
      {"Main", "Eq", "a=b"},
      {"Main", "Dup", "first"},
      {"Main", "Later", "<none>"},  // the first of duplicate sections wins
      {"Other", "Name", "other"},
      {"RÄUME", "GRÖßE", "groß"},
      {"Open", "k", "v"},
      {"Main", "no equals sign", "<none>"},
      {"Main", "; a comment", "<none>"},
      {"", "top", "<none>"},
      {"Main", "Missing", "<none>"},
      {"Missing", "Name", "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Get(c.section, c.key), c.expected) << c.section << "/" << c.key;
  EXPECT_EQ(GetString(Files(), "C:\\Conf\\missing.ini", "Main", "Name", "fb", kBuffer), "fb");
  EXPECT_EQ(GetString(Files(), "C:\\Nowhere\\a.ini", "Main", "Name", "fb", kBuffer), "fb");
  EXPECT_EQ(Get("Main", "Missing", "fallback  "), "fallback");  // trailing blanks dropped
}

TEST_F(PrivateProfileTest, ResultIsCutToTheBuffer) {
  WriteIni("[s]\r\nk=abcdef\r\nq=\"abcdef\"\r\ne=a😀b\r\n");
  EXPECT_EQ(Get("s", "k", "", 7), "abcdef");
  EXPECT_EQ(Get("s", "k", "", 4), "abc");
  EXPECT_EQ(Get("s", "q", "", 4), "abc");  // quotes go before the cut
  EXPECT_EQ(Get("s", "k", "", 1), "");
  EXPECT_EQ(Get("s", "k", "", 0), "");
  EXPECT_EQ(Get("s", "none", "fallback", 5), "fall");
  // Counted in UTF-16 units; a cut never leaves half a surrogate pair.
  EXPECT_EQ(Get("s", "e", "", 5), "a😀b");
  EXPECT_EQ(Get("s", "e", "", 4), "a😀");
  EXPECT_EQ(Get("s", "e", "", 3), "a");
}

TEST_F(PrivateProfileTest, WritingCreatesFileSectionAndKey) {
  Set("Main", "Name", "value");
  EXPECT_EQ(ReadIni(), "[Main]\r\nName=value\r\n");
  Set("Main", "Second", "2");
  Set("Extra", "k", "v");
  EXPECT_EQ(ReadIni(), "[Main]\r\nName=value\r\nSecond=2\r\n[Extra]\r\nk=v\r\n");
  EXPECT_EQ(Get("extra", "K"), "v");
  // A folder that does not exist is an error, not a created tree.
  EXPECT_EQ(WriteString(Files(), "C:\\Nowhere\\a.ini", "s", "k", "v"), err::kPathNotFound);
}

TEST_F(PrivateProfileTest, ReplacingKeepsEverythingElse) {
  WriteIni(
      "; header comment\r\n"
      "[Main]\r\n"
      "  NAME = old  ; not a comment\r\n"
      "other = 1\r\n"
      "\r\n"
      "; about the next section\r\n"
      "[Next]\n"
      "x=y");  // LF-only section and no final line break
  Set("main", "name", "new");
  Set("Main", "Added", "a");
  Set("Next", "z", "w");
  EXPECT_EQ(ReadIni(),
            "; header comment\r\n"
            "[Main]\r\n"
            "NAME=new\r\n"
            "other = 1\r\n"
            "Added=a\r\n"
            "\r\n"
            "; about the next section\r\n"
            "[Next]\n"
            "x=y\r\n"
            "z=w\r\n");
  // A file without a final line break gets one before a new section.
  WriteIni("[a]\r\nk=v");
  Set("b", "k", "v");
  EXPECT_EQ(ReadIni(), "[a]\r\nk=v\r\n[b]\r\nk=v\r\n");
}

TEST_F(PrivateProfileTest, DuplicateKeysChangeTheFirst) {
  WriteIni("[s]\r\nk=1\r\nK=2\r\n");
  Set("s", "k", "3");
  EXPECT_EQ(ReadIni(), "[s]\r\nk=3\r\nK=2\r\n");
  Set("s", "k", std::nullopt);
  EXPECT_EQ(ReadIni(), "[s]\r\nK=2\r\n");
  EXPECT_EQ(Get("s", "k"), "2");
}

TEST_F(PrivateProfileTest, DeletingKeysAndSections) {
  WriteIni("[a]\r\nk=1\r\nj=2\r\n[b]\r\nk=3\r\n[c]\r\nk=4\r\n");
  Set("a", "K", std::nullopt);
  EXPECT_EQ(ReadIni(), "[a]\r\nj=2\r\n[b]\r\nk=3\r\n[c]\r\nk=4\r\n");
  Set("a", "j", std::nullopt);  // the emptied section stays
  EXPECT_EQ(ReadIni(), "[a]\r\n[b]\r\nk=3\r\n[c]\r\nk=4\r\n");
  Set("a", "missing", std::nullopt);
  Set("missing", "k", std::nullopt);
  EXPECT_EQ(DeleteSection(Files(), kIni, "B"), err::kSuccess);
  EXPECT_EQ(DeleteSection(Files(), kIni, "missing"), err::kSuccess);
  EXPECT_EQ(ReadIni(), "[a]\r\n[c]\r\nk=4\r\n");
  // Deleting from a missing file creates nothing.
  EXPECT_EQ(WriteString(Files(), "C:\\Conf\\none.ini", "s", "k", std::nullopt), err::kSuccess);
  EXPECT_EQ(DeleteSection(Files(), "C:\\Conf\\none.ini", "s"), err::kSuccess);
  EXPECT_FALSE(Files().Exists("C:\\Conf\\none.ini"));
}

TEST_F(PrivateProfileTest, Utf16FilesStayUtf16) {
  WriteIni(Utf16Le("[Sektion]\r\nSchlüssel=Wert ü\r\n; Kommentar 日本\r\n"));
  EXPECT_EQ(Get("SEKTION", "schlüssel"), "Wert ü");
  Set("Sektion", "Schlüssel", "neu 😀");
  Set("Sektion", "Zweiter", "2");
  Set("Neu", "k", "v");
  EXPECT_EQ(ReadIni(),
            Utf16Le("[Sektion]\r\nSchlüssel=neu 😀\r\nZweiter=2\r\n; Kommentar 日本\r\n[Neu]\r\nk=v\r\n"));
  EXPECT_EQ(Get("sektion", "SCHLÜSSEL"), "neu 😀");
}

TEST_F(PrivateProfileTest, Utf8MarkAndForeignBytesSurviveARewrite) {
  // A byte-order mark is kept; bytes that are not UTF-8 (a legacy code
  // page comment) are written back unchanged.
  const std::string legacy = "; caf\xE9 cr\xE8me\r\n";
  WriteIni("\xEF\xBB\xBF[s]\r\n" + legacy + "k=1\r\n");
  EXPECT_EQ(Get("s", "k"), "1");
  Set("s", "k", "2");
  EXPECT_EQ(ReadIni(), "\xEF\xBB\xBF[s]\r\n" + legacy + "k=2\r\n");
}

TEST_F(PrivateProfileTest, RefusesTextThatWouldNotReadBack) {
  WriteIni("[s]\r\nk=1\r\n");
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"s", "k", "line\r\n[evil]"},
      {"s", "k", "line\nbreak"},
      {"s", "a=b", "v"},
      {"s", "[x]", "v"},
      {"s", ";c", "v"},
      {"s", "", "v"},
      {"s", "  ", "v"},
      {"", "k", "v"},
      {"a]b", "k", "v"},
      {"s\r\nx", "k", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteString(Files(), kIni, c.section, c.key, std::string(c.value)), err::kInvalidParameter)
        << c.section << "/" << c.key;
  }
  EXPECT_EQ(ReadIni(), "[s]\r\nk=1\r\n");
}

TEST_F(PrivateProfileTest, ReadFailuresAreReportedAndNothingIsOverwritten) {
  // A folder where the file should be: the write fails and nothing changes.
  ASSERT_EQ(Files().CreateFolder("C:\\Conf\\dir.ini"), err::kSuccess);
  EXPECT_NE(WriteString(Files(), "C:\\Conf\\dir.ini", "s", "k", "v"), err::kSuccess);
  EXPECT_TRUE(Files().FolderExists("C:\\Conf\\dir.ini"));
  EXPECT_EQ(GetString(Files(), "C:\\Conf\\dir.ini", "s", "k", "fb", kBuffer), "fb");
}

}  // namespace
}  // namespace kestrawl::platform::profile
