// The regsvr32.exe a new simulated machine carries: a host program that
// logs each registration to C:\Windows\Logs\regsvr32.log.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/machine_profile_writer.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_machine.h"
#include "support/test_support.h"

namespace kestrawl::platform::sim {
namespace {

using testing::TempDir;

constexpr char kLog[] = "C:\\Windows\\Logs\\regsvr32.log";

class Regsvr32Test : public ::testing::Test {
 protected:
  void Make(const std::string& profile) {
    InitOptions options;
    options.profile = profile;
    SimMachine::Init(tmp_ / "machine", options);
    machine_ = SimMachine::Open(tmp_ / "machine");
  }
  uint32_t Run(const std::string& line, const std::string& folder = "C:\\Windows") {
    uint32_t code = 12345;
    EXPECT_EQ(machine_->Procs().Run(line, folder, true, &code), err::kSuccess) << line;
    return code;
  }
  std::string Log() {
    std::string data;
    if (machine_->Files().ReadWholeFile(kLog, &data) != err::kSuccess) return "<missing>";
    return data;
  }

  TempDir tmp_;
  std::unique_ptr<SimMachine> machine_;
};

TEST_F(Regsvr32Test, FreshMachineLogsRegistrationsAndUnregistrations) {
  Make("win10");
  EXPECT_TRUE(machine_->Files().FolderExists("C:\\Windows\\Logs"));
  EXPECT_EQ(Log(), "<missing>");
  ASSERT_EQ(machine_->Files().CreateFolderTree("C:\\Program Files\\App"), err::kSuccess);

  EXPECT_EQ(Run("\"C:\\Windows\\System32\\regsvr32.exe\" \"C:\\Program Files\\App\\a.dll\" /s",
                "C:\\Program Files\\App"),
            0u);
  EXPECT_EQ(Run("\"C:\\Windows\\SysWOW64\\regsvr32.exe\" \"C:\\App\\b.ocx\" /u /s"), 0u);
  EXPECT_EQ(Log(),
            "\"C:\\Program Files\\App\\a.dll\" /s\r\n"
            "\"C:\\App\\b.ocx\" /u /s\r\n");
  // Without a file to register it fails as regsvr32 does, and still logs.
  EXPECT_EQ(Run("C:\\Windows\\System32\\regsvr32.exe /s"), 1u);
  EXPECT_EQ(Log(),
            "\"C:\\Program Files\\App\\a.dll\" /s\r\n"
            "\"C:\\App\\b.ocx\" /u /s\r\n"
            "/s\r\n");
}

TEST_F(Regsvr32Test, SystemFolderOfTheEngineHasIt) {
  Make("win10");
  std::string system;
  ASSERT_EQ(machine_->Sys().SpecialFolder(csidl::kSystem, &system), err::kSuccess);
  EXPECT_EQ(Run("\"" + system + "\\regsvr32.exe\" \"C:\\x.dll\" /s"), 0u);
  EXPECT_EQ(Log(), "\"C:\\x.dll\" /s\r\n");
}

TEST_F(Regsvr32Test, ThirtyTwoBitMachineHasOnlySystem32) {
  Make("win7-32");
  EXPECT_TRUE(machine_->Files().FileExists("C:\\Windows\\System32\\regsvr32.exe"));
  EXPECT_FALSE(machine_->Files().Exists("C:\\Windows\\SysWOW64\\regsvr32.exe"));
  EXPECT_EQ(Run("C:\\WINDOWS\\system32\\REGSVR32.EXE \"C:\\x.dll\" /s"), 0u);
  EXPECT_EQ(Log(), "\"C:\\x.dll\" /s\r\n");
}

TEST_F(Regsvr32Test, WithoutTheMachineVariableItLogsNextToItself) {
  Make("win10");
  std::string host = machine_->SimFiles().HostPath("C:\\Windows\\System32\\regsvr32.exe");
  ASSERT_FALSE(host.empty());
  auto r = testing::Run({"/usr/bin/env", "-u", "KESTRAWL_MACHINE", host, "C:\\y.dll", "/s"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Log(), "\"C:\\y.dll\" /s\r\n");
}

TEST(Regsvr32ProgramTest, IsAShellProgram) {
  EXPECT_EQ(Regsvr32Program().rfind("#!/bin/sh\n", 0), 0u);
}

}  // namespace
}  // namespace kestrawl::platform::sim
