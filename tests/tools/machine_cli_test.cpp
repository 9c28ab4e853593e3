// The machine CLI as authors and tests use it: every call goes through the
// real `kestrawl` program against throw-away machine folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_machine.h"
#include "support/test_support.h"

namespace kestrawl {
namespace {

namespace fs = std::filesystem;
using testing::BinPath;
using testing::ReadHostFile;

using testing::RunResult;
using testing::TempDir;
using testing::WriteHostFile;

class MachineCliTest : public ::testing::Test {
 protected:
  // Runs a sub-command of `machine` (the --machine option goes after it).
  RunResult M(const std::string& sub, std::vector<std::string> args, const std::string& machine = {}) {
    std::vector<std::string> all = {BinPath("kestrawl"), "machine", sub};
    if (sub == "reg") {
      all.push_back(args.front());
      args.erase(args.begin());
    }
    all.push_back("--machine");
    all.push_back(machine.empty() ? machine_ : machine);
    all.insert(all.end(), args.begin(), args.end());
    return testing::Run(all);
  }

  TempDir dir_;
  std::string machine_ = dir_ / "m";
};

TEST_F(MachineCliTest, ProfilesShapeFactsFoldersAndRegistry) {
  struct Case {
    const char* profile;
    const char* version;
    const char* program_files_32_view;
    bool has_x86_folder;
  };
  const Case cases[] = {
      {"win10", "10.0.19045", "C:\\Program Files (x86)", true},
      {"win7-32", "6.1.7601 Service Pack 1", "C:\\Program Files", false},
      {"server2019", "10.0.17763", "C:\\Program Files (x86)", true},
  };
  for (const auto& c : cases) {
    std::string m = dir_ / c.profile;
    ASSERT_EQ(M("init", {"--profile", c.profile}, m).exit_code, 0) << c.profile;
    RunResult info = M("info", {}, m);
    EXPECT_NE(info.out.find(c.version), std::string::npos) << info.out;
    EXPECT_EQ(M("reg", {"get", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "--view",
                        "32"}, m).out,
              std::string(c.program_files_32_view) + "\n");
    EXPECT_EQ(M("reg", {"get", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "--view",
                        "64"}, m).out,
              "C:\\Program Files\n");
    EXPECT_EQ(fs::is_directory(m + "/drive_c/Program Files (x86)"), c.has_x86_folder) << c.profile;
    EXPECT_TRUE(fs::is_directory(m + "/drive_c/Windows/System32"));
    EXPECT_EQ(fs::read_symlink(m + "/dosdevices/c:"), "../drive_c");
    EXPECT_EQ(fs::read_symlink(m + "/dosdevices/z:"), "/");
  }
  RunResult bad = M("init", {"--profile", "win95"}, dir_ / "x");
  EXPECT_NE(bad.exit_code, 0);
  EXPECT_NE(bad.err.find("unknown profile"), std::string::npos);
}

TEST_F(MachineCliTest, InitRefusesToReplaceWithoutForceAndStandardUserIsNotAdmin) {
  ASSERT_EQ(M("init", {}).exit_code, 0);
  RunResult again = M("init", {});
  EXPECT_NE(again.exit_code, 0);
  EXPECT_NE(again.err.find("--force"), std::string::npos);
  ASSERT_EQ(M("init", {"--force", "--standard-user", "--user", "Alice"}).exit_code, 0);
  RunResult info = M("info", {});
  EXPECT_NE(info.out.find("Alice"), std::string::npos);
  EXPECT_NE(info.out.find("Administrator:  no"), std::string::npos) << info.out;
  EXPECT_TRUE(fs::is_directory(machine_ + "/drive_c/Users/Alice/Desktop"));
}

TEST_F(MachineCliTest, MissingMachineIsCreatedAndPathsResolve) {
  EXPECT_FALSE(fs::exists(machine_));
  RunResult r = M("path", {"c:\\WINDOWS\\system32"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, machine_ + "/drive_c/Windows/System32\n");
  EXPECT_EQ(M("path", {"Q:\\nowhere"}).exit_code, 1);
}

TEST_F(MachineCliTest, RegistryValuesOfEveryType) {
  struct Case {
    const char* type;
    std::vector<std::string> data;
    const char* shown;
  };
  const Case cases[] = {
      {"REG_SZ", {"C:\\My App"}, "C:\\My App\n"},
      {"REG_EXPAND_SZ", {"%ProgramFiles%\\X"}, "%ProgramFiles%\\X\n"},
      {"REG_DWORD", {"4294967295"}, "4294967295\n"},
      {"REG_DWORD", {"0x10"}, "16\n"},
      {"REG_QWORD", {"18446744073709551615"}, "18446744073709551615\n"},
      {"REG_BINARY", {"00ff10Ab"}, "00FF10AB\n"},
      {"REG_MULTI_SZ", {"one", "two words"}, "one\ntwo words\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> set = {"set", "HKCU\\Software\\Test", "Value", c.type};
    set.insert(set.end(), c.data.begin(), c.data.end());
    ASSERT_EQ(M("reg", set).exit_code, 0) << c.type;
    EXPECT_EQ(M("reg", {"get", "HKEY_CURRENT_USER\\software\\TEST", "value"}).out, c.shown) << c.type;
  }
  // Errors: bad data, unknown type, missing value, bad key.
  EXPECT_NE(M("reg", {"set", "HKCU\\Software\\Test", "V", "REG_DWORD", "4294967296"}).exit_code, 0);
  EXPECT_NE(M("reg", {"set", "HKCU\\Software\\Test", "V", "REG_BINARY", "0g"}).exit_code, 0);
  EXPECT_NE(M("reg", {"set", "HKCU\\Software\\Test", "V", "REG_TEXT", "x"}).exit_code, 0);
  EXPECT_EQ(M("reg", {"get", "HKCU\\Software\\Test", "Nope"}).exit_code, 1);
  EXPECT_NE(M("reg", {"get", "HKXX\\Software"}).exit_code, 0);

  // The default value, then deleting a value and a whole key.
  ASSERT_EQ(M("reg", {"set", "HKCU\\Software\\Test\\Sub", "@", "REG_SZ", "default"}).exit_code, 0);
  EXPECT_EQ(M("reg", {"get", "HKCU\\Software\\Test\\Sub"}).out, "default\n");
  ASSERT_EQ(M("reg", {"delete", "HKCU\\Software\\Test", "Value"}).exit_code, 0);
  EXPECT_EQ(M("reg", {"get", "HKCU\\Software\\Test", "Value"}).exit_code, 1);
  ASSERT_EQ(M("reg", {"delete", "HKCU\\Software\\Test"}).exit_code, 0);
  EXPECT_EQ(M("reg", {"get", "HKCU\\Software\\Test\\Sub"}).exit_code, 1);
}

TEST_F(MachineCliTest, ThirtyTwoBitViewLandsUnderWow6432Node) {
  ASSERT_EQ(M("reg", {"set", "HKLM\\SOFTWARE\\X", "V", "REG_SZ", "from32", "--view", "32"}).exit_code, 0);
  EXPECT_EQ(M("reg", {"get", "HKLM\\SOFTWARE\\Wow6432Node\\X", "V", "--view", "64"}).out, "from32\n");
  EXPECT_EQ(M("reg", {"get", "HKLM\\SOFTWARE\\X", "V", "--view", "64"}).exit_code, 1);
}

TEST_F(MachineCliTest, RegFileRoundTripAndMalformedFileRejectedWhole) {
  ASSERT_EQ(M("reg", {"set", "HKLM\\SOFTWARE\\Acme\\App", "Path", "REG_SZ", "C:\\Acme \"quoted\""}).exit_code, 0);
  ASSERT_EQ(M("reg", {"set", "HKLM\\SOFTWARE\\Acme\\App", "Data", "REG_BINARY",
                      std::string(200, 'a')}).exit_code, 0);
  ASSERT_EQ(M("reg", {"set", "HKCU\\Software\\Acme", "List", "REG_MULTI_SZ", "a", "b"}).exit_code, 0);
  const std::string file = dir_ / "all.reg";
  RunResult first = M("reg", {"export"});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.out.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
  ASSERT_EQ(M("reg", {"export", "-o", file}).exit_code, 0);
  EXPECT_EQ(ReadHostFile(file).substr(0, 2), "\xFF\xFE");

  const std::string fresh = dir_ / "fresh";
  ASSERT_EQ(M("init", {}, fresh).exit_code, 0);
  RunResult imported = M("reg", {"import", file}, fresh);
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  EXPECT_EQ(M("reg", {"export"}, fresh).out, first.out);

  const std::string bad = dir_ / "bad.reg";
  WriteHostFile(bad,
                "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Fine]\r\n"
                "\"A\"=\"1\"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Broken]\r\n\"B\"=dword:xyz\r\n");
  RunResult rejected = M("reg", {"import", bad}, fresh);
  EXPECT_NE(rejected.exit_code, 0);
  EXPECT_NE(rejected.err.find("line 7"), std::string::npos) << rejected.err;
  EXPECT_EQ(M("reg", {"get", "HKCU\\Software\\Fine", "A"}, fresh).exit_code, 1) << "nothing imported";
}

TEST_F(MachineCliTest, RebootCarriesOutPendingRenames) {
  {
    auto m = platform::sim::SimMachine::Open(machine_);
    ASSERT_EQ(m->Files().WriteWholeFile("C:\\old.txt", "payload"), 0u);
    ASSERT_EQ(m->Files().WriteWholeFile("C:\\gone.txt", "x"), 0u);
    ASSERT_EQ(m->Files().MoveFile("C:\\old.txt", "C:\\new.txt", platform::move::kDelayUntilReboot), 0u);
    ASSERT_EQ(m->Files().MoveFile("C:\\gone.txt", "", platform::move::kDelayUntilReboot), 0u);
  }
  const char* key = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  EXPECT_EQ(M("reg", {"get", key, "PendingFileRenameOperations"}).out,
            "\\??\\C:\\old.txt\n\\??\\C:\\new.txt\n\\??\\C:\\gone.txt\n\n");
  EXPECT_TRUE(fs::exists(machine_ + "/drive_c/old.txt"));
  ASSERT_EQ(M("reboot", {}).exit_code, 0);
  EXPECT_FALSE(fs::exists(machine_ + "/drive_c/old.txt"));
  EXPECT_EQ(ReadHostFile(machine_ + "/drive_c/new.txt"), "payload");
  EXPECT_FALSE(fs::exists(machine_ + "/drive_c/gone.txt"));
  EXPECT_EQ(M("reg", {"get", key, "PendingFileRenameOperations"}).exit_code, 1);
}

}  // namespace
}  // namespace kestrawl
