#include "base/command_line.h"

#include <gtest/gtest.h>

namespace kestrawl::base {
namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

TEST(CommandLineTest, SplitsWithTheWindowsRules) {
  const SplitCase cases[] = {
      {R"(prog a b)", {"prog", "a", "b"}},
      {R"("C:\Program Files\app.exe" /s)", {R"(C:\Program Files\app.exe)", "/s"}},
      {R"(prog "a b" c)", {"prog", "a b", "c"}},
      {R"(prog a\\\"b)", {"prog", R"(a\"b)"}},
      {R"(prog "a\\" b)", {"prog", R"(a\)", "b"}},
      {R"(prog C:\dir\ x)", {"prog", R"(C:\dir\)", "x"}},
      {R"(prog "say ""hi""")", {"prog", R"(say "hi")"}},
      {"  prog\t\tx  ", {"prog", "x"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(CommandLineTest, QuotingRoundTrips) {
  const std::vector<std::string> args = {"prog", "plain", "with blank", R"(trailing\)", R"(quote"in)",
                                         R"(C:\Program Files\)", ""};
  EXPECT_EQ(SplitCommandLine(BuildCommandLine(args)), args);
}

TEST(CommandLineTest, EngineParametersKeepBackslashesAndDropQuotes) {
  EXPECT_EQ(SplitParameters(R"("C:\My Setup\setup.exe" /s "TARGETDIR=C:\My App\" X=1)"),
            (std::vector<std::string>{R"(C:\My Setup\setup.exe)", "/s", R"(TARGETDIR=C:\My App\)", "X=1"}));
  EXPECT_EQ(SplitParameters(R"(setup targetdir="C:\A B")"),
            (std::vector<std::string>{"setup", R"(targetdir=C:\A B)"}));
}

}  // namespace
}  // namespace kestrawl::base
