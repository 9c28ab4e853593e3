#include "bootstrap/startup_settings.h"

#include <gtest/gtest.h>

namespace kestrawl::bootstrap {
namespace {

TEST(StartupSettingsTest, CommandLineTail) {
  EXPECT_EQ(CommandLineTail(""), "");
  EXPECT_EQ(CommandLineTail("setup.exe"), "");
  EXPECT_EQ(CommandLineTail(R"("C:\My Setup\setup.exe" /s X=1)"), "/s X=1");
  EXPECT_EQ(CommandLineTail(R"("C:\setup.exe")"), "");
  EXPECT_EQ(CommandLineTail("setup.exe /s  X=1"), "/s  X=1");
}

TEST(StartupSettingsTest, SwitchesAndValues) {
  StartupSettings s = ParseStartupSettings(R"(setup.exe /L=C:\Logs\Setup.LOG -QN /p=D:\Src /g=C:\GPO /m=C:\X\Y.EXE)");
  EXPECT_TRUE(s.silent);
  EXPECT_FALSE(s.update_mode);
  EXPECT_EQ(s.log_file, R"(c:\logs\setup.log)");
  EXPECT_EQ(s.source_folder, R"(d:\src)");
  EXPECT_EQ(s.group_policy, R"(c:\gpo)");
  EXPECT_EQ(s.self_extractor, R"(c:\x\y.exe)");
}

TEST(StartupSettingsTest, SilentNeedsTheExactSwitch) {
  const std::pair<const char*, bool> cases[] = {
      {"setup /s", true},   {"setup -S", true},  {"setup /qn", true}, {"setup /silent", false},
      {"setup s", false},   {"setup /sx", false}, {"setup", false},   {"setup /qN", true},
  };
  for (const auto& [line, silent] : cases) EXPECT_EQ(ParseStartupSettings(line).silent, silent) << line;
  EXPECT_TRUE(ParseStartupSettings("setup /UpdateSetup").update_mode);
  EXPECT_TRUE(ParseStartupSettings("setup -update").update_mode);
}

TEST(StartupSettingsTest, OverridesKeepValueCaseAndSplitAtFirstEquals) {
  StartupSettings s = ParseStartupSettings(R"("C:\setup.exe" "targetdir=C:\My App" /x=1 -x=1 A=B=C plain)");
  EXPECT_EQ(s.overrides, (std::vector<std::string>{"TARGETDIR", R"(C:\My App)", "A", "B=C"}));
}

TEST(StartupSettingsTest, FirstMatchingParameterWins) {
  StartupSettings s = ParseStartupSettings("setup /l=first.log -l=second.log");
  EXPECT_EQ(s.log_file, "first.log");
}

}  // namespace
}  // namespace kestrawl::bootstrap
