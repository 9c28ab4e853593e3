#include "script/commands/math_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/run_state.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptFixture;

std::string Math(ScriptFixture& f, const std::string& a, const std::string& b, const std::string& op,
                 const std::string& result = "R") {
  f.SetScript({{"Mathematics", {a, b, op, result}}});
  auto ctx = f.At(0);
  MathematicsCommand(ctx);
  return f.vars().GetVariable(result);
}

TEST(MathematicsCommandTest, Operations) {
  struct Case {
    std::string a, b, op, expected;
  };
  const Case cases[] = {
      {"2", "3", "0", "5"},
      {"9223372036854775807", "1", "0", "-9223372036854775808"},  // wraps around
      {"2", "5", "1", "-3"},
      {"-4", "3", "2", "-12"},
      {"4294967296", "4294967296", "2", "0"},
      {"7", "2", "3", "3"},
      {"-7", "2", "3", "-3"},
      {"7", "0", "3", ""},
      {"-9223372036854775808", "-1", "3", ""},
      {"-7", "2", "4", "-1"},
      {"7", "-2", "4", "1"},
      {"7", "0", "4", ""},
      {"-9223372036854775808", "-1", "4", "0"},
      {"12", "10", "5", "8"},
      {"12", "10", "6", "14"},
      {"12", "10", "7", "6"},
      {"1", "62", "8", "4611686018427387904"},
      {"1", "63", "8", "-9223372036854775808"},
      {"1", "64", "8", "0"},
      {"-1", "60", "9", "15"},
      {"-1", "0", "9", "-1"},
      {"-1", "-1", "9", "0"},
      {"0", "", "10", "-1"},
      {"A", "", "11", "65"},
      {"\xE2\x82\xAC", "", "11", "8364"},
      {"\xF0\x9F\x98\x80", "", "11", "55357"},  // first UTF-16 unit
      {"", "", "11", ""},
      {"65", "", "12", "A"},
      {"8364", "", "12", "\xE2\x82\xAC"},
      {"65536", "", "12", ""},
      {"-1", "", "12", ""},
      {"5", "x", "10", "-6"},  // B is not read for one-operand operations
      // failures give the empty text
      {"x", "1", "0", ""},
      {"1", "y", "0", ""},
      {"", "1", "0", ""},
      {"1", "1", "", ""},
      {"1", "1", "add", ""},
      {"1", "1", "16", ""},
      {"1", "1", "-1", ""},
      {" 1", "1", "0", ""},
      {"99999999999999999999", "1", "0", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("op " + c.op + " a '" + c.a + "' b '" + c.b + "'");
    ScriptFixture f;
    f.vars().DeclareVariable("R", "old", "Initialization");
    EXPECT_EQ(Math(f, c.a, c.b, c.op), c.expected);
  }
}

TEST(MathematicsCommandTest, OperandsAreSubstitutedTheOperationIsNot) {
  ScriptFixture f;
  f.vars().DeclareVariable("X", "40", "Initialization");
  f.vars().DeclareVariable("OP", "0", "Initialization");
  EXPECT_EQ(Math(f, "$X$", "2", "0"), "42");
  EXPECT_EQ(Math(f, "$X$", "2", "$OP$"), "");
  // The result name is taken as written and created when missing.
  EXPECT_EQ(Math(f, "1", "1", "0", "$SUM$"), "2");
  EXPECT_TRUE(f.vars().VariableExists("$SUM$"));
  EXPECT_EQ(Math(f, "1", "1", "3", "fresh"), "1");
  EXPECT_EQ(Math(f, "1", "0", "3", "failed"), "");
  EXPECT_TRUE(f.vars().VariableExists("FAILED"));
}

TEST(MathematicsCommandTest, RandomGenerator) {
  ScriptFixture f;
  // Unseeded, the generator yields 0.
  EXPECT_EQ(Math(f, "100", "", "15"), "0");
  EXPECT_EQ(Math(f, "100", "", "15"), "0");

  EXPECT_EQ(Math(f, "3", "1", "13"), "4");
  EXPECT_EQ(f.run().random_multiplier, 3);
  EXPECT_EQ(f.run().random_increment, 1);
  EXPECT_EQ(Math(f, "5", "", "14"), "5");
  EXPECT_EQ(Math(f, "10", "", "15"), "6");  // R = 3*5+1 = 16
  EXPECT_EQ(f.run().random_state, 16);
  EXPECT_EQ(Math(f, "10", "", "15"), "9");  // R = 3*16+1 = 49
  EXPECT_EQ(Math(f, "-10", "", "15"), "8");  // R = 148: the remainder takes the sign of R

  // 32-bit wrap-around: 65536 * 32768 = 2^31 becomes -2^31; the new state is
  // -2^31 mod 32767 with the sign of R.
  EXPECT_EQ(Math(f, "65536", "0", "13"), "65536");
  EXPECT_EQ(Math(f, "32768", "", "14"), "32768");
  EXPECT_EQ(Math(f, "1000", "", "15"), "-648");
  EXPECT_EQ(f.run().random_state, -2);

  // Seeds and states are kept as 32-bit values.
  EXPECT_EQ(Math(f, "4294967297", "0", "13"), "4294967297");
  EXPECT_EQ(f.run().random_multiplier, 1);
  EXPECT_EQ(Math(f, "4294967295", "", "14"), "-1");

  // A zero modulus fails but the generator still moves on.
  EXPECT_EQ(Math(f, "0", "", "15"), "");
  EXPECT_EQ(f.run().random_state, -1);
}

}  // namespace
}  // namespace kestrawl::script
