#include "script/conditions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "script/commands/expression_commands.h"
#include "script/script_error.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using kestrawl::testing::ScriptFixture;

constexpr const char* kSource = "Set Variable Action";

struct ExpressionCase {
  const char* expression;
  const char* expected;
};

TEST(ExpressionTest, EvaluatesComparisonsConnectivesAndSyntaxErrors) {
  const ExpressionCase cases[] = {
      {R"(("1" = "1") and ("a" < "b"))", "TRUE"},
      {R"("10" > "9")", "TRUE"},    // numbers
      {R"("10" > "9a")", "FALSE"},  // texts: "1" sorts before "9"
      {R"("007" = "7")", "TRUE"},
      {R"("+5" = "5")", "TRUE"},
      {R"("-5" < "-3")", "TRUE"},
      {R"("2147483647" > "-2147483648")", "TRUE"},
      {R"("+" = "+")", "TRUE"},  // a lone sign is text
      {R"("a" = "A")", "FALSE"},
      {R"("a" <> "A")", "TRUE"},
      {R"("b" >= "b")", "TRUE"},
      {R"("b" <= "a")", "FALSE"},
      {R"("a"="a")", "TRUE"},
      {R"("" = "")", "TRUE"},
      {R"("a""b" = "a""b")", "TRUE"},
      {R"("say ""hi""" > "say ")", "TRUE"},
      // UTF-16 order: a surrogate pair sorts before U+FF61.
      {"\"\xF0\x9F\x98\x80\" < \"\xEF\xBD\xA1\"", "TRUE"},
      // Left to right, no precedence.
      {R"("a" = "a" or "a" = "b" and "x" = "y")", "FALSE"},
      {R"("a" = "b" and "x" = "x" or "c" = "c")", "TRUE"},
      {R"("a" = "a" and ("b" = "c" or "d" = "d"))", "TRUE"},
      {R"(  ( "a" = "a" )   )", "TRUE"},
      {R"("a" = "a"   )", "TRUE"},
      // Syntax errors.
      {R"("a" AND "b")", "ERROR"},
      {R"("a" = "a" AND "b" = "b")", "ERROR"},
      {R"("a" = "b" xor "c" = "d")", "ERROR"},
      {R"("a" = "a" and("b" = "b"))", "ERROR"},  // a connective ends at a blank or quote
      {R"("a" = "a" "b")", "ERROR"},
      {R"("a" = "a" and)", "ERROR"},
      {R"(("a" = "a")", "ERROR"},
      {R"("a" = "a"))", "ERROR"},
      {R"("a" = "b)", "ERROR"},
      {R"("a" == "a")", "ERROR"},
      {R"("1" => "1")", "ERROR"},
      {R"("a" "a")", "ERROR"},
      {"\"a\"\t=\"a\"", "ERROR"},  // only spaces are blanks
      {R"($A$ = "1")", "ERROR"},
      {R"(a = "a")", "ERROR"},
      {"", "ERROR"},
      {"   ", "ERROR"},
      {"()", "ERROR"},
  };
  for (const ExpressionCase& c : cases)
    EXPECT_EQ(EvaluateExpandedExpression(c.expression), c.expected) << c.expression;
}

TEST(ExpressionTest, DeepNestingIsASyntaxErrorNotACrash) {
  std::string nested = std::string(100, '(') + R"("a" = "a")" + std::string(100, ')');
  EXPECT_EQ(EvaluateExpandedExpression(nested), "TRUE");
  std::string deep = std::string(100000, '(') + R"("a" = "a")" + std::string(100000, ')');
  EXPECT_EQ(EvaluateExpandedExpression(deep), "ERROR");
  EXPECT_EQ(EvaluateExpandedExpression(std::string(100000, '(')), "ERROR");
}

TEST(ExpressionTest, IntegersOutside32BitsAreRunTimeErrors) {
  EXPECT_THROW(EvaluateExpandedExpression(R"("2147483648" = "1")"), EScriptError);
  EXPECT_THROW(EvaluateExpandedExpression(R"("1" = "-99999999999")"), EScriptError);
  // Only when both sides are integers; otherwise the texts are compared.
  EXPECT_EQ(EvaluateExpandedExpression(R"("99999999999" = "x")"), "FALSE");
  // An unknown operator is a syntax error first.
  EXPECT_EQ(EvaluateExpandedExpression(R"("99999999999" =! "1")"), "ERROR");
}

TEST(ExpressionTest, ExpandsVariablesQuoted) {
  VariableStore v;
  v.DeclareVariable("A", "1", kSource);
  v.DeclareVariable("B", "2", kSource);
  v.DeclareVariable("NAME", "x y", kSource);
  EXPECT_EQ(EvaluateExpression(v, "$A$ < $B$"), "TRUE");
  EXPECT_EQ(EvaluateExpression(v, "$a$ = \"1\" and $NAME$ = \"x y\""), "TRUE");
  EXPECT_EQ(EvaluateExpression(v, "$MISSING$ = \"\""), "ERROR");
}

TEST(ExpressionTest, SyntaxCheckReadsDollarsAsQuotes) {
  EXPECT_TRUE(ExpressionSyntaxOk(R"($A$ = "x")"));
  EXPECT_TRUE(ExpressionSyntaxOk("($A$ <> $B$) or $C$ = $D$"));
  EXPECT_FALSE(ExpressionSyntaxOk("$A$ AND $B$"));
  EXPECT_FALSE(ExpressionSyntaxOk("$A$ = $B"));
  EXPECT_FALSE(ExpressionSyntaxOk(""));
  // Well-formed: the number is only a fault when the command runs.
  EXPECT_TRUE(ExpressionSyntaxOk(R"("99999999999" = "1")"));
}

struct CompareCase {
  const char* code;
  const char* value;
  const char* comparison;
  bool expected;
};

TEST(ConditionTest, OperatorCodes) {
  const CompareCase cases[] = {
      {"0", "abc", "abc", true},      {"0", "abc", "ABC", false},   {"0", "007", "7", true},
      {"0", "", "", true},
      {"1", "abcdef", "cd", true},    {"1", "abcdef", "CD", false}, {"1", "abc", "", false},
      {"1", "10", "1", false},        // both numbers: equality
      {"2", "10", "9", true},         {"2", "9", "10", false},      {"2", "b", "a", true},
      {"2", "10", "9a", false},       {"2", "a", "a", false},
      {"2", "\xF0\x9F\x98\x80", "\xEF\xBD\xA1", false},  // UTF-16 order
      {"3", "Program Files", "FILES", true}, {"3", "abc", "", false},
      {"3", "ÄBC", "äb", true},      {"3", "10", "1", false},
      {"4", "a", "A", true},          {"4", "Ä", "ä", false},       {"4", "+7", "7", true},
      {"6", "1.2.10", "1.2.9", true}, {"6", "1.2", "1.2.0.0", false},
      {"7", "a", "a", false},         {"", "a", "a", false},        {"00", "a", "a", false},
      {"5", "a", "a", false},
  };
  for (const CompareCase& c : cases)
    EXPECT_EQ(CompareCondition(c.code, c.value, c.comparison), c.expected)
        << c.code << " '" << c.value << "' '" << c.comparison << "'";
}

TEST(ConditionTest, VersionComparison) {
  const CompareCase cases[] = {
      {"6", "1.2.10", "1.2.9", true},  {"6", "1.2", "1.2.0.0", false}, {"6", "2", "1.9.9.9", true},
      {"6", "1.2.3.4", "1.2.3.4", false}, {"6", "1.2.3.5", "1.2.3.4", true},
      {"6", "1.2.3.4.9", "1.2.3.4", false},  // a fifth part is ignored
      {"6", "1.2.x", "1.2", false},           // a last part that is no number is 0
      {"6", "1.2.1", "1.2.x", true},
      {"6", "", "0", false},                  {"6", "0.1", "", true},
      {"6", "10", "9", true},
  };
  for (const CompareCase& c : cases)
    EXPECT_EQ(VersionGreater(c.value, c.comparison), c.expected) << c.value << " > " << c.comparison;
  EXPECT_THROW(VersionGreater("1.x.3", "1"), EScriptError);
  EXPECT_THROW(VersionGreater("1", "1..2"), EScriptError);
  EXPECT_THROW(VersionGreater("99999999999.1", "1"), EScriptError);
}

struct ConditionCase {
  std::vector<std::string> params;
  bool expected;
};

TEST(ConditionTest, EvaluatesTheCommandsParameters) {
  ScriptFixture f;
  VariableStore& v = f.vars();
  v.DeclareVariable("A", "abc", kSource);
  v.DeclareVariable("B", "ABC", kSource);
  v.DeclareVariable("REF", "x$A$", kSource);
  v.DeclareVariable("VER", "1.2.10", kSource);
  v.DeclareVariable("EMPTY", "", kSource);
  const ConditionCase cases[] = {
      {{"A", "0", "abc", "FALSE"}, true},
      {{"$A$", "0", "abc", "FALSE"}, true},
      {{"a", "0", "$A$", ""}, true},
      {{"A", "0", "$B$", "FALSE"}, false},
      {{"A", "4", "$B$", "FALSE"}, true},
      {{"REF", "0", "xabc", "FALSE"}, true},  // the value is expanded too
      {{"MISSING", "0", "", "FALSE"}, true},  // a missing variable reads empty
      {{"EMPTY", "1", "", "FALSE"}, false},
      {{"VER", "6", "1.2.9", "FALSE"}, true},
      {{"A", "0", "abc", "TRUE"}, false},
      {{"A", "0", "abc", "-1"}, false},
      {{"A", "0", "abc", "1"}, true},
      {{"A", "9", "abc", "FALSE"}, false},
      {{"A", "9", "abc", "true"}, true},
      // Code 5 takes parameter 1 literally and ignores parameter 3.
      {{"A", "5", "whatever", "FALSE"}, true},
      {{"a", "5", "", "FALSE"}, true},
      {{"$A$", "5", "", "FALSE"}, false},
      {{"MISSING", "5", "", "FALSE"}, false},
      {{"A", "5", "", "TRUE"}, false},
      {{"MISSING", "5", "", "TRUE"}, true},
  };
  std::vector<testing::ScriptCommand> script;
  for (const ConditionCase& c : cases) script.push_back({"If", c.params});
  f.SetScript(script);
  for (size_t i = 0; i < std::size(cases); ++i) {
    CommandContext ctx = f.At(i);
    EXPECT_EQ(EvaluateCondition(ctx), cases[i].expected) << "case " << i << ": " << cases[i].params[0];
  }
}

TEST(ConditionTest, BadVersionPartIsARunTimeError) {
  ScriptFixture f;
  f.vars().DeclareVariable("VER", "1.beta.3", kSource);
  f.SetScript({{"While", {"VER", "6", "1.0", "FALSE"}}});
  CommandContext ctx = f.At(0);
  EXPECT_THROW(EvaluateCondition(ctx), EScriptError);
}

TEST(EvaluateExpressionCommandTest, StoresTheResultInTheNamedVariable) {
  ScriptFixture f;
  VariableStore& v = f.vars();
  v.DeclareVariable("A", "1", kSource);
  v.DeclareVariable("OUT", "old", kSource);
  f.SetScript({
      {"Evaluate Expression", {"$A$ = \"1\"", "OUT"}},
      {"Evaluate Expression", {"$A$ = \"2\"", "$OUT$"}},
      {"Evaluate Expression", {"$A$ AND \"1\"", "OUT"}},
      // The missing result variable exists (empty) before the expansion.
      {"Evaluate Expression", {"$fresh$ = \"\"", "fresh"}},
      {"Evaluate Expression", {"\"4294967296\" > \"1\"", "OUT"}},
  });
  const char* expected[] = {"TRUE", "FALSE", "ERROR"};
  for (size_t i = 0; i < 3; ++i) {
    CommandContext ctx = f.At(i);
    EvaluateExpressionCommand(ctx);
    EXPECT_EQ(v.GetVariable("OUT"), expected[i]) << i;
  }
  CommandContext fresh = f.At(3);
  EvaluateExpressionCommand(fresh);
  EXPECT_EQ(v.GetVariable("FRESH"), "TRUE");
  std::vector<std::string> names;
  v.Manager().Names(names);
  EXPECT_NE(std::find(names.begin(), names.end(), "FRESH"), names.end());

  CommandContext overflow = f.At(4);
  EXPECT_THROW(EvaluateExpressionCommand(overflow), EScriptError);
  EXPECT_EQ(v.GetVariable("OUT"), "ERROR");
}

}  // namespace
}  // namespace kestrawl::script
