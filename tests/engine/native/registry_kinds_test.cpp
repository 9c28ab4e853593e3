// "Write Registry": value types, multi-string append/prepend, undo entries,
// the error prompt for data that cannot be written, and named machines.
#include "base/utf.h"
#include "engine/native/kinds_fixture.h"

namespace kestrawl::engine::native {
namespace {

using platform::RegRoot;
using platform::RegValue;
namespace regtype = platform::regtype;

constexpr const char* kKey = "Software\\Kestrawl Test";

std::vector<std::string> Record(const std::string& type, const std::string& data,
                                const std::string& root = "2|", const std::string& permanent = "FALSE") {
  return {permanent, root, kKey, "Value", data, type};
}

class WriteRegistryTest : public KindsTest {};

TEST_F(WriteRegistryTest, WritesEachTypeAsItsRegistryValue) {
  struct Case {
    std::string type, data;
    RegValue expected;
  };
  const Case cases[] = {
      {"STRING", "hello, world", RegValue::String("hello, world")},
      {"INTEGER", "42", RegValue::Dword(42)},
      {"INTEGER", " -1 ", RegValue::Dword(0xFFFFFFFFu)},
      {"INTEGER", "$10", RegValue::Dword(16)},
      {"EXPANDSTRING", "%SystemRoot%\\x", RegValue::String("%SystemRoot%\\x", regtype::kExpandSz)},
      {"BINARY", "00aBFf10", RegValue::Binary(std::string("\x00\xab\xff\x10", 4))},
      {"BINARY", "", RegValue::Binary("")},
      {"APPEND", "only", RegValue::MultiString({"only"})},
      {"string", "lower-case keyword", RegValue::String("lower-case keyword")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type + " " + c.data);
    reg().DeleteValue(RegRoot::kLocalMachine, kKey, "Value", view());
    EXPECT_TRUE(Apply("Write Registry", Record(c.type, c.data)));
    EXPECT_EQ(Value(RegRoot::kLocalMachine, kKey, "Value"), c.expected);
  }
  EXPECT_TRUE(host_.prompts.empty());
}

TEST_F(WriteRegistryTest, AppendAndPrependExtendAMultiStringAndReplaceOtherTypes) {
  struct Case {
    RegValue before;
    std::string type;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {RegValue::MultiString({"a", "b"}), "APPEND", {"a", "b", "new"}},
      {RegValue::MultiString({"a", "b"}), "PREPEND", {"new", "a", "b"}},
      {RegValue::String("plain"), "APPEND", {"new"}},
      {RegValue::Dword(7), "PREPEND", {"new"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    ASSERT_EQ(reg().WriteValue(RegRoot::kLocalMachine, kKey, "Value", view(), c.before), 0u);
    EXPECT_TRUE(Apply("Write Registry", Record(c.type, "new")));
    const auto v = Value(RegRoot::kLocalMachine, kKey, "Value");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, regtype::kMultiSz);
    EXPECT_EQ(v->AsMultiString(), c.after);
  }
}

TEST_F(WriteRegistryTest, LogsTheValueAndEveryKeyItCreatesDeepestFirst) {
  ASSERT_EQ(reg().CreateKey(RegRoot::kCurrentUser, "Software\\Base", view()), 0u);
  ASSERT_TRUE(Apply("Write Registry", {"FALSE", "1|", "Software\\Base\\A\\B", "N", "d", "STRING"}));
  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 1u);
  EXPECT_EQ(undo[0].element, "Delete Registry");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{"-2147483647|", "Software\\Base\\A\\B", "N",
                                                    "Software\\Base\\A\\B", "Software\\Base\\A"}));
  EXPECT_EQ(undo[0].weight, "1536");
}

TEST_F(WriteRegistryTest, PermanentWritesAreNotLogged) {
  ASSERT_TRUE(Apply("Write Registry", Record("STRING", "x", "2|", "TRUE")));
  EXPECT_TRUE(Value(RegRoot::kLocalMachine, kKey, "Value"));
  EXPECT_TRUE(Undo().empty());
}

TEST_F(WriteRegistryTest, IntegerThatIsNotANumberPromptsWith1700AndDropsTheUndoEntry) {
  ASSERT_TRUE(Apply("Write Registry", Record("INTEGER", "12a")));
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_EQ(host_.prompts[0].caption, "Error");
  EXPECT_EQ(host_.prompts[0].text, platform::SystemMessage(1700) + "\r\r" +
                                       "HKEY_LOCAL_MACHINE\\Software\\Kestrawl Test\\Value\\12a" + "\r\r" +
                                       "Would you like to try again?");
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kKey, "Value"));
  EXPECT_TRUE(Undo().empty());
}

TEST_F(WriteRegistryTest, IgnorePolicySkipsTheFailureWithoutAPrompt) {
  SetVar("NATIVE_ERROR", "IGNORE");
  EXPECT_TRUE(Apply("Write Registry", Record("INTEGER", "12a")));
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_TRUE(Undo().empty());
}

TEST_F(WriteRegistryTest, CancelAbortsTheRunAndLeavesNoUndoEntry) {
  host_.answer = ui::answer::kCancel;
  EXPECT_FALSE(Apply("Write Registry", Record("INTEGER", "99999999999")));
  EXPECT_EQ(host_.prompts.size(), 1u);
  EXPECT_TRUE(Undo().empty());
  EXPECT_EQ(engine_.variables.GetVariable("VELK_IsCancelled"), "TRUE");
}

TEST_F(WriteRegistryTest, MalformedRecordsAreRefusedWithAPromptAndWriteNothing) {
  struct Case {
    std::vector<std::string> record;
    uint32_t code;
  };
  const Case cases[] = {
      {Record("BINARY", "abc"), platform::err::kInvalidData},          // odd digit count
      {Record("BINARY", "zz"), platform::err::kInvalidData},           // not hexadecimal
      {Record("DWORDISH", "1"), platform::err::kInvalidParameter},     // unknown type
      {Record("STRING", "x", "7|"), platform::err::kInvalidParameter},  // unknown root
      {{"FALSE"}, platform::err::kInvalidParameter},                    // fields missing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(base::JoinCommaText(c.record));
    host_.prompts.clear();
    EXPECT_TRUE(Apply("Write Registry", c.record));
    ASSERT_EQ(host_.prompts.size(), 1u);
    EXPECT_EQ(host_.prompts[0].text.rfind(platform::SystemMessage(c.code), 0), 0u) << host_.prompts[0].text;
    EXPECT_FALSE(Value(RegRoot::kLocalMachine, kKey, "Value"));
    EXPECT_TRUE(Undo().empty());
  }
}

TEST_F(WriteRegistryTest, AnotherMachineFailsAsTheRegistryReportsIt) {
  EXPECT_TRUE(Apply("Write Registry", Record("STRING", "x", "2|OTHERPC")));
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_EQ(host_.prompts[0].text.rfind(platform::SystemMessage(platform::err::kBadNetPath), 0), 0u);
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kKey, "Value"));

  // This machine by name, and a name on a per-user root (where it is not used).
  const std::string self = fixture_.machine().Sys().Facts().computer_name;
  host_.prompts.clear();
  EXPECT_TRUE(Apply("Write Registry", Record("STRING", "here", "2|\\\\" + self)));
  EXPECT_TRUE(Apply("Write Registry", {"FALSE", "1|OTHERPC", kKey, "Value", "user", "STRING"}));
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kKey, "Value"), RegValue::String("here"));
  EXPECT_EQ(Value(RegRoot::kCurrentUser, kKey, "Value"), RegValue::String("user"));
}

TEST_F(WriteRegistryTest, TracesTheWrittenValueBetweenTheKindsLines) {
  engine_.log.SetPath("C:\\trace.log");
  ASSERT_TRUE(Apply("Write Registry", Record("STRING", "data")));
  std::string bytes;
  ASSERT_EQ(files().ReadWholeFile("C:\\trace.log", &bytes), 0u);
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  EXPECT_EQ(base::Utf16ToUtf8(units),
            "        <Write Registry>\r\n"
            "        < HKEY_LOCAL_MACHINE\\Software\\Kestrawl Test\\Valuedata >\r\n"
            "        </Write Registry>\r\n");
}

TEST_F(WriteRegistryTest, NestedRecordsCarryEveryFieldThroughTheCommaList) {
  const std::string record = NestedRegistryRecord(false, 3, "S-1\\Key, with comma", "Name \"q\"", "data x", true);
  const auto fields = base::SplitCommaText(record);
  EXPECT_EQ(fields, (std::vector<std::string>{"FALSE", "3", "S-1\\Key, with comma", "Name \"q\"", "data x",
                                              "INTEGER"}));
  EXPECT_EQ(base::SplitCommaText(NestedRegistryRecord(true, 0, "K", "", "", false)),
            (std::vector<std::string>{"TRUE", "0", "K", "", "", "STRING"}));
}

}  // namespace
}  // namespace kestrawl::engine::native
