#include "script/commands/string_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptFixture;

using testing::RunCommand;

struct ParseCase {
  std::string source, delimiter, mode;
  std::string trim, ignore_case;
  std::string first, second;
};

TEST(ParseStringCommandTest, SplitsByModeAsTheScriptExpects) {
  const ParseCase cases[] = {
      // mode 0: around the first delimiter
      {"a,b,c", ",", "0", "", "", "a", "b,c"},
      {"a,b,c", ";", "0", "", "", "a,b,c", ""},
      {"a::b::c", "::", "0", "", "", "a", "b::c"},
      {",a", ",", "0", "", "", "", "a"},
      {"a,", ",", "0", "", "", "a", ""},
      {"abc", "", "0", "", "", "abc", ""},
      // mode 1: around the last delimiter
      {"a,b,c", ",", "1", "", "", "a,b", "c"},
      {"a,b,c", ";", "1", "", "", "", "a,b,c"},
      {"a::b::c", "::", "1", "", "", "a::b", "c"},
      {"abc", "", "1", "", "", "", "abc"},
      // mode 2: after N characters
      {"a,b,c", "2", "2", "", "", "a,", "b,c"},
      {"a,b,c", "0", "2", "", "", "", "a,b,c"},
      {"a,b,c", "5", "2", "", "", "a,b,c", ""},
      {"a,b,c", "9", "2", "", "", "a,b,c", ""},
      {"a,b,c", "-2", "2", "", "", "", "a,b,c"},
      {"a,b,c", "two", "2", "", "", "", ""},
      // mode 3: N characters before the end
      {"a,b,c", "2", "3", "", "", "a,b", ",c"},
      {"a,b,c", "0", "3", "", "", "a,b,c", ""},
      {"a,b,c", "5", "3", "", "", "", ""},
      {"a,b,c", "7", "3", "", "", "", "a,b,c"},
      {"a,b,c", "x", "3", "", "", "", ""},
      // other modes split nothing
      {"a,b,c", ",", "4", "", "", "", ""},
      {"a,b,c", ",", "-1", "", "", "", ""},
      // trim and letter case
      {" a , b ", ",", "0", "TRUE", "", "a", "b"},
      {" a , b ", ",", "0", "", "", " a ", " b "},
      {"\ta\r\n|\x01 b", "|", "0", "-1", "", "a", "b"},
      {"aXb", "x", "0", "", "TRUE", "a", "b"},
      {"aXb", "x", "0", "", "", "aXb", ""},
      {"AxBXc", "x", "1", "", "true", "AxB", "c"},
      // counts are UTF-16 code units; letter case ignoring covers any script
      {"\xC3\xA4\xC3\xB6\xC3\xBC", "1", "2", "", "", "\xC3\xA4", "\xC3\xB6\xC3\xBC"},
      {"x\xC3\x84y", "\xC3\xA4", "0", "", "TRUE", "x", "y"},
      {"x\xF0\x9F\x98\x80y", "\xF0\x9F\x98\x80", "0", "", "", "x", "y"},
      // source and delimiter are path values
      {"C:\\\\a\\\\b", "\\", "1", "", "", "C:\\a", "b"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE("source '" + c.source + "' delimiter '" + c.delimiter + "' mode " + c.mode);
    ScriptFixture f;
    RunCommand(f, ParseStringCommand, "Parse String", {c.source, c.delimiter, "FIRST", "SECOND", c.mode, c.trim, c.ignore_case});
    EXPECT_EQ(f.vars().GetVariable("FIRST"), c.first);
    EXPECT_EQ(f.vars().GetVariable("SECOND"), c.second);
  }
}

TEST(ParseStringCommandTest, SubstitutesSourceAndTakesPartNamesAsWritten) {
  ScriptFixture f;
  f.vars().DeclareVariable("LIST", "red;green", "Initialization");
  RunCommand(f, ParseStringCommand, "Parse String", {"$LIST$", ";", "head", "", "0", "", ""});
  EXPECT_EQ(f.vars().GetVariable("HEAD"), "red");
  EXPECT_EQ(f.vars().GetVariable("LIST"), "red;green");

  // A part name is taken as written: dollar signs stay part of the name.
  RunCommand(f, ParseStringCommand, "Parse String", {"$LIST$", ";", "$A$", "B", "0", "", ""});
  EXPECT_EQ(f.vars().GetVariable("$A$"), "red");
  EXPECT_EQ(f.vars().GetVariable("B"), "green");
}

TEST(ParseStringCommandTest, ModeThatIsNotANumberIsAScriptError) {
  ScriptFixture f;
  EXPECT_THROW(RunCommand(f, ParseStringCommand, "Parse String", {"a,b", ",", "A", "B", "first", "", ""}), EScriptError);
  EXPECT_THROW(RunCommand(f, ParseStringCommand, "Parse String", {"a,b", ",", "A", "B", "", "", ""}), EScriptError);
}

struct ReplaceCase {
  std::string value, find, replacement, ignore_case, all;
  std::string expected;
};

TEST(ReplaceStringCommandTest, ReplacesFirstOrEveryMatch) {
  const ReplaceCase cases[] = {
      {"one two one", "one", "1", "", "", "1 two one"},
      {"one two one", "one", "1", "", "TRUE", "1 two 1"},
      {"One two ONE", "one", "1", "TRUE", "TRUE", "1 two 1"},
      {"One two ONE", "one", "1", "", "TRUE", "One two ONE"},
      {"aaa", "a", "aa", "", "TRUE", "aaaaaa"},       // the replacement is not searched again
      {"aaa", "aa", "b", "", "TRUE", "ba"},
      {"abc", "", "x", "", "TRUE", "abc"},            // nothing to find
      {"abc", "b", "", "", "", "ac"},
      {"abc", "zz", "x", "", "TRUE", "abc"},
      {"", "a", "b", "", "TRUE", ""},
      {"line1\r\nline2", "$NEWLINE$", " ", "", "", "line1 line2"},
      {"line1\r\nline2", "x", "y", "", "", "line1$NEWLINE$line2"},  // CR LF comes back as the marker
      {"a b", " ", "\r\n", "", "", "a$NEWLINE$b"},
      {"Stra\xC3\x9F" "e STRA\xC3\x9F" "E", "\xC3\x9F", "ss", "TRUE", "TRUE", "Strasse STRAssE"},
      {"\xC3\x84pfel \xC3\xA4pfel", "\xC3\xA4PFEL", "Birnen", "TRUE", "TRUE", "Birnen Birnen"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE("'" + c.value + "' find '" + c.find + "'");
    ScriptFixture f;
    f.vars().DeclareVariable("TEXT", c.value, "Initialization");
    RunCommand(f, ReplaceStringCommand, "Replace String", {"$TEXT$", c.find, c.replacement, c.ignore_case, c.all});
    EXPECT_EQ(f.vars().GetVariable("TEXT"), c.expected);
  }
}

TEST(ReplaceStringCommandTest, SourceIsTheStoredValueTextsAreSubstituted) {
  ScriptFixture f;
  f.vars().DeclareVariable("WHO", "world", "Initialization");
  f.vars().DeclareVariable("TEXT", "hello $WHO$ world", "Initialization");
  RunCommand(f, ReplaceStringCommand, "Replace String", {"TEXT", "$WHO$", "there", "", "TRUE"});
  EXPECT_EQ(f.vars().GetVariable("TEXT"), "hello $WHO$ there");

  RunCommand(f, ReplaceStringCommand, "Replace String", {"NEWVAR", "a", "b", "", ""});
  EXPECT_TRUE(f.vars().VariableExists("NEWVAR"));
  EXPECT_EQ(f.vars().GetVariable("NEWVAR"), "");
}

TEST(ConvertCaseCommandTest, ConvertsThePathValueInPlace) {
  struct Case {
    std::string value, upper, expected;
  };
  const Case cases[] = {
      {"Mixed Case", "TRUE", "MIXED CASE"},
      {"Mixed Case", "", "mixed case"},
      {"Mixed Case", "-1", "MIXED CASE"},
      {"stra\xC3\x9F" "e", "TRUE", "STRASSE"},
      {"\xC3\x84PFEL", "FALSE", "\xC3\xA4pfel"},
      {"\\\\Srv\\\\Share\\\\Dir", "", "\\\\srv\\share\\dir"},  // doubled backslashes collapse, UNC kept
      {"$INNER$\\x", "TRUE", "C:\\APP\\X"},                        // references are substituted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ScriptFixture f;
    f.vars().DeclareVariable("INNER", "c:\\app", "Initialization");
    f.vars().DeclareVariable("V", c.value, "Initialization");
    RunCommand(f, ConvertCaseCommand, "Convert Case", {"V", c.upper});
    EXPECT_EQ(f.vars().GetVariable("V"), c.expected);
  }
}

}  // namespace
}  // namespace kestrawl::script
