#include "platform/sim/reg_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/sim_registry.h"
#include "support/test_support.h"

namespace kestrawl::platform::sim {
namespace {

using testing::TempDir;

constexpr auto HKLM = RegRoot::kLocalMachine;
constexpr auto HKCU = RegRoot::kCurrentUser;
constexpr auto k64 = RegView::k64;

// A throw-away machine registry.
struct Machine {
  TempDir tmp;
  SimStore store{tmp / "registry.db"};
  SimRegistry reg{store, RegistryLayout{true, true, "S-1-5-21-9-9-9-1001", "PC"}};
};

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class RegFileTest : public ::testing::Test {
 protected:
  std::string Export(const std::string& key) {
    Win32Error rc = 1;
    std::string text = ExportReg(m_.reg, HKLM, key, k64, &rc);
    EXPECT_EQ(rc, err::kSuccess) << key;
    return text;
  }
  void Set(const std::string& key, const std::string& name, const RegValue& value) {
    ASSERT_EQ(m_.reg.WriteValue(HKLM, key, name, k64, value), err::kSuccess) << key << " " << name;
  }
  bool Import(const std::string& text, std::string* error = nullptr) {
    std::string ignored;
    return ImportReg(m_.reg, text, error ? error : &ignored);
  }

  Machine m_;
};

TEST_F(RegFileTest, ExportsTheRegistryEditorFormat) {
  Set("SOFTWARE\\Kst\\B", "", RegValue::String("default"));
  Set("SOFTWARE\\Kst", "Path", RegValue::String("C:\\Program Files\\\"Kst\""));
  Set("SOFTWARE\\Kst", "Count", RegValue::Dword(0x2a));
  Set("SOFTWARE\\Kst", "Expand", RegValue::String("%A%", regtype::kExpandSz));
  Set("SOFTWARE\\Kst", "Multi", RegValue::MultiString({"a", "b"}));
  Set("SOFTWARE\\Kst", "Big", RegValue::Qword(0x0102030405060708ULL));
  Set("SOFTWARE\\Kst", "None", RegValue::Binary("", regtype::kNone));
  Set("SOFTWARE\\Kst", "Blob", RegValue::Binary("\x01\xab"));
  ASSERT_EQ(m_.reg.CreateKey(HKLM, "SOFTWARE\\Kst\\a", k64), err::kSuccess);
  EXPECT_EQ(Export("SOFTWARE\\Kst"), Crlf(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Kst]
"Path"="C:\\Program Files\\\"Kst\""
"Count"=dword:0000002a
"Expand"=hex(2):25,00,41,00,25,00,00,00
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"Big"=hex(b):08,07,06,05,04,03,02,01
"None"=hex(0):
"Blob"=hex:01,ab

[HKEY_LOCAL_MACHINE\SOFTWARE\Kst\a]

[HKEY_LOCAL_MACHINE\SOFTWARE\Kst\B]
@="default"

)"));
}

TEST_F(RegFileTest, WrapsHexLinesLikeTheRegistryEditor) {
  const unsigned char settings[] = {
      0x30, 0x00, 0x00, 0x00, 0xfe, 0xff, 0xff, 0xff, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
      0x3e, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xd8, 0x03, 0x00, 0x00,
      0x80, 0x07, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x60, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
  Set("SOFTWARE\\W", "Settings",
      RegValue::Binary(std::string(reinterpret_cast<const char*>(settings), sizeof settings)));
  Set("SOFTWARE\\W", "Path", RegValue::String("%SystemRoot%\\system32", regtype::kExpandSz));
  EXPECT_EQ(Export("SOFTWARE\\W"), Crlf(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\W]
"Settings"=hex:30,00,00,00,fe,ff,ff,ff,02,00,00,00,03,00,00,00,3e,00,00,00,28,\
  00,00,00,00,00,00,00,d8,03,00,00,80,07,00,00,00,04,00,00,60,00,00,00,01,00,\
  00,00
"Path"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\
  00,25,00,5c,00,73,00,79,00,73,00,74,00,65,00,6d,00,33,00,32,00,00,00

)"));
}

TEST_F(RegFileTest, StringsThatTextCannotHoldExactlyBecomeHex) {
  Set("SOFTWARE\\S", "lines", RegValue::String("a\r\nb"));
  Set("SOFTWARE\\S", "unterminated", RegValue::Binary("a", regtype::kSz));
  Set("SOFTWARE\\S", "lonesurrogate", RegValue::Binary(std::string("\x00\xd8\0\0", 4), regtype::kSz));
  Set("SOFTWARE\\S", "shortdword", RegValue::Binary("\x01", regtype::kDword));
  EXPECT_EQ(Export("SOFTWARE\\S"), Crlf(R"(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\S]
"lines"=hex(1):61,00,0d,00,0a,00,62,00,00,00
"unterminated"=hex(1):61
"lonesurrogate"=hex(1):00,d8,00,00
"shortdword"=hex(4):01

)"));
}

TEST_F(RegFileTest, RoundTripsEveryRootAndValueType) {
  Set("SOFTWARE\\Kst\\Deep\\Deeper", "", RegValue::String("déjà vu 日本 😀"));
  Set("SOFTWARE\\Kst", "quote\"back\\slash", RegValue::String("\"\\\""));
  Set("SOFTWARE\\Kst", "lines", RegValue::String("x\ny"));
  Set("SOFTWARE\\Kst", "dw", RegValue::Dword(0xffffffff));
  Set("SOFTWARE\\Kst", "qw", RegValue::Qword(1));
  Set("SOFTWARE\\Kst", "multi", RegValue::MultiString({"first", "zweite", "третий"}));
  Set("SOFTWARE\\Kst", "exp", RegValue::String("%TEMP%\\kst", regtype::kExpandSz));
  Set("SOFTWARE\\Kst", "bin", RegValue::Binary(std::string(300, '\x5a')));
  Set("SOFTWARE\\Kst", "none", RegValue::Binary("\x00\x01", regtype::kNone));
  Set("SOFTWARE\\Kst", "odd", RegValue::Binary("zz", 0x20000));
  Set("SOFTWARE\\Kst", "emptysz", RegValue::Binary("", regtype::kSz));
  ASSERT_EQ(m_.reg.WriteValue(RegRoot::kLocalMachine, "SOFTWARE\\Kst32", "v", RegView::k32,
                              RegValue::Dword(32)),
            err::kSuccess);
  ASSERT_EQ(m_.reg.WriteValue(HKCU, "Software\\Kst", "user", k64, RegValue::String("u")), err::kSuccess);

  Win32Error rc = 1;
  std::string first = ExportAllReg(m_.reg, k64, &rc);
  ASSERT_EQ(rc, err::kSuccess);
  EXPECT_NE(first.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Kst32]"), std::string::npos);
  EXPECT_NE(first.find("[HKEY_USERS\\S-1-5-21-9-9-9-1001\\Software\\Kst]"), std::string::npos);

  for (const std::string& file : {first, EncodeRegFile(first), "\xEF\xBB\xBF" + first}) {
    Machine fresh;
    std::string error;
    ASSERT_TRUE(ImportReg(fresh.reg, file, &error)) << error;
    EXPECT_EQ(ExportAllReg(fresh.reg, k64), first);
    EXPECT_EQ(fresh.reg.ReadString(HKLM, "SOFTWARE\\Kst32", "v", RegView::k32), "32");
  }
}

TEST_F(RegFileTest, ImportsDeletionsCommentsAndContinuations) {
  Set("SOFTWARE\\Gone\\Child", "x", RegValue::Dword(1));
  Set("SOFTWARE\\Keep", "old", RegValue::Dword(1));
  Set("SOFTWARE\\Keep", "stay", RegValue::Dword(2));
  std::string error;
  ASSERT_TRUE(Import(Crlf(R"(Windows Registry Editor Version 5.00

; a comment
[-HKEY_LOCAL_MACHINE\SOFTWARE\Gone]
[-HKEY_LOCAL_MACHINE\SOFTWARE\NeverWas]

[HKEY_LOCAL_MACHINE\SOFTWARE\Keep]
"old"=-
"missing"=-
  "bin" = hex:01,02,\
    03,\
    04
"exp"=hex(2):41,00,00,00
@="d"
)"), &error)) << error;
  EXPECT_EQ(m_.reg.KeyExists(HKLM, "SOFTWARE\\Gone", k64), err::kFileNotFound);
  RegValue v;
  EXPECT_EQ(m_.reg.GetValue(HKLM, "SOFTWARE\\Keep", "old", k64, &v), err::kFileNotFound);
  ASSERT_EQ(m_.reg.GetValue(HKLM, "SOFTWARE\\Keep", "bin", k64, &v), err::kSuccess);
  EXPECT_EQ(v, RegValue::Binary("\x01\x02\x03\x04"));
  EXPECT_EQ(m_.reg.ReadString(HKLM, "SOFTWARE\\Keep", "exp", k64), "A");
  EXPECT_EQ(m_.reg.ReadString(HKLM, "SOFTWARE\\Keep", "", k64), "d");
  EXPECT_EQ(m_.reg.ReadString(HKLM, "SOFTWARE\\Keep", "stay", k64), "2");
}

TEST_F(RegFileTest, ImportsOldFormatFiles) {
  // REGEDIT4 keeps expandable and multi-strings as 8-bit characters.
  std::string error;
  ASSERT_TRUE(Import("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Old]\n"
                     "\"e\"=hex(2):25,41,25,00\n\"m\"=hex(7):61,00,62,00,00\n\"s\"=\"caf\xE9\"\n",
                     &error))
      << error;
  RegValue v;
  ASSERT_EQ(m_.reg.GetValue(HKCU, "Software\\Old", "e", k64, &v), err::kSuccess);
  EXPECT_EQ(v, RegValue::String("%A%", regtype::kExpandSz));
  ASSERT_EQ(m_.reg.GetValue(HKCU, "Software\\Old", "m", k64, &v), err::kSuccess);
  EXPECT_EQ(v.AsMultiString(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(m_.reg.ReadString(HKCU, "Software\\Old", "s", k64), "café");  // Latin-1 file
}

TEST_F(RegFileTest, RejectsAMalformedFileWholeAndChangesNothing) {
  Set("SOFTWARE\\Before", "v", RegValue::Dword(1));
  const std::string before = ExportAllReg(m_.reg, k64);
  const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"ok\"=dword:1\r\n";
  struct Case {
    std::string file;
    std::string error;
  } cases[] = {
      {"", "line 1: the file is empty"},
      {"Windows Registry Editor Version 4.00\r\n", "line 1: not a registry file"},
      {head + "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Before]\r\n\"x\"=\"y\"\r\n", "line 6: value line under a key"},
      {head + "\"bad\"=dword:123456789\r\n", "line 5: dword: needs 1 to 8 hex digits"},
      {head + "\"bad\"=hex:01,0g\r\n", "line 5: bad hex byte \"0g\""},
      {head + "\"bad\"=hex:01,\\\r\n  02,,03\r\n", "line 5: bad hex byte"},
      {head + "\"bad\"=hex:01,\\\r\n", "line 5: the hex data ends with '\\' but no line continues it"},
      {head + "\"bad\"=hex:01,02,\r\n", "line 5: bad hex byte \"\""},
      {head + "\"bad\"=hex(z):01\r\n", "line 5: hex(type)"},
      {head + "\"unterminated=\"x\"\r\n", "line 5: expected '='"},
      {head + "\"name\"=\"text\r\n", "line 5: missing closing quote"},
      {head + "\"name\"=\"text\" tail\r\n", "line 5: unexpected text after the closing quote"},
      {head + "\"name\"=word:1\r\n", "line 5: unknown value data"},
      {head + "[HKEY_NOWHERE\\X]\r\n", "line 5: unknown registry root"},
      {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\r\n", "line 5: the key line does not end with ']'"},
      {head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\X]\r\n", "line 5: empty key name"},
      {head + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\r\n", "line 5: key name longer than 255"},
      {head + "[-HKEY_LOCAL_MACHINE]\r\n", "line 5: a root key cannot be deleted"},
      {head + "garbage\r\n", "line 5: expected a [key] line"},
      {"Windows Registry Editor Version 5.00\r\n\"v\"=dword:1\r\n", "line 2: value line before the first [key]"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Import(c.file, &error)) << c.file;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error << "\nwant: " << c.error;
    EXPECT_EQ(ExportAllReg(m_.reg, k64), before) << c.file;
  }
}

TEST(RegFileImportTest, AFailureWhileApplyingUndoesTheWholeFile) {
  // Without a user profile every HKEY_CURRENT_USER key is missing, so the
  // second section fails after the first was written.
  TempDir tmp;
  SimStore store(tmp / "registry.db");
  SimRegistry reg(store, RegistryLayout{true, true, "", "PC"});
  std::string error;
  EXPECT_FALSE(ImportReg(reg,
                         "Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"v\"=dword:1\r\n\r\n"
                         "[HKEY_CURRENT_USER\\Software\\B]\r\n",
                         &error));
  EXPECT_EQ(error, "line 6: cannot create key HKEY_CURRENT_USER\\Software\\B (error 2)");
  EXPECT_EQ(reg.KeyExists(HKLM, "SOFTWARE\\A", k64), err::kFileNotFound);
}

TEST_F(RegFileTest, ExportOfAMissingKeyFails) {
  Win32Error rc = 0;
  EXPECT_EQ(ExportReg(m_.reg, HKLM, "SOFTWARE\\Missing", k64, &rc), "");
  EXPECT_EQ(rc, err::kFileNotFound);
  std::string text = "unchanged", error;
  EXPECT_FALSE(ExportRegText(m_.reg, "HKLM\\SOFTWARE\\Missing", &text, &error));
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(error.rfind("cannot export HKLM\\SOFTWARE\\Missing: ", 0), 0u) << error;
  EXPECT_FALSE(ExportRegText(m_.reg, "HKXX\\SOFTWARE", &text, &error));
  EXPECT_EQ(error, "not a registry key: HKXX\\SOFTWARE");
}

TEST_F(RegFileTest, ExportsByKeyPathText) {
  Set("SOFTWARE\\T", "v", RegValue::Dword(1));
  std::string text, error;
  ASSERT_TRUE(ExportRegText(m_.reg, "HKEY_LOCAL_MACHINE\\SOFTWARE\\T", &text, &error)) << error;
  EXPECT_EQ(text, Export("SOFTWARE\\T"));
  ASSERT_TRUE(ExportRegText(m_.reg, "", &text, &error)) << error;
  EXPECT_EQ(text, ExportAllReg(m_.reg, k64));
}

}  // namespace
}  // namespace kestrawl::platform::sim
