#include "platform/odbc_installer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "support/test_support.h"

namespace kestrawl::platform::odbc {
namespace {

using testing::TempDir;

constexpr auto HKLM = RegRoot::kLocalMachine;
constexpr auto HKCU = RegRoot::kCurrentUser;
constexpr char kDriver[] = "Kestrawl Text Driver (*.txt)";
constexpr char kDriverFile[] = "C:\\Windows\\System32\\kwtext.dll";
constexpr char kInst[] = "SOFTWARE\\ODBC\\ODBCINST.INI";
constexpr char kIni[] = "SOFTWARE\\ODBC\\ODBC.INI";
constexpr char kSources[] = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";

std::string Block(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& i : items) out += i + std::string(1, '\0');
  return out + std::string(1, '\0');
}

class OdbcInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = sim::SimMachine::Open(tmp_ / "machine"); }
  Registry& Reg() { return machine_->Reg(); }

  // The driver entries as the native engine writes them (default view).
  void InstallDriver(const std::string& driver, uint32_t count, RegView view = RegView::kDefault) {
    const std::string key = std::string(kInst) + "\\" + driver;
    ASSERT_EQ(Reg().WriteValue(HKLM, key, "UsageCount", view, RegValue::Dword(count)), err::kSuccess);
    ASSERT_EQ(Reg().WriteValue(HKLM, key, "APILevel", view, RegValue::String("1")), err::kSuccess);
    ASSERT_EQ(Reg().WriteValue(HKLM, key, "Driver", view, RegValue::String(kDriverFile)), err::kSuccess);
    ASSERT_EQ(Reg().WriteValue(HKLM, key, "Setup", view, RegValue::String("C:\\Windows\\System32\\kwtexts.dll")),
              err::kSuccess);
    ASSERT_EQ(Reg().WriteValue(HKLM, std::string(kInst) + "\\ODBC Drivers", driver, view,
                               RegValue::String("Installed")),
              err::kSuccess);
  }
  std::vector<RegNamedValue> Values(RegRoot root, const std::string& key, RegView view = RegView::kDefault) {
    std::vector<RegNamedValue> values;
    EXPECT_EQ(Reg().EnumValues(root, key, view, &values), err::kSuccess) << key;
    return values;
  }
  bool Exists(RegRoot root, const std::string& key, RegView view = RegView::kDefault) {
    return Reg().KeyExists(root, key, view) == err::kSuccess;
  }
  std::string Text(RegRoot root, const std::string& key, const std::string& name,
                   RegView view = RegView::kDefault) {
    return Reg().ReadString(root, key, name, view).value_or("<missing>");
  }

  TempDir tmp_;
  std::unique_ptr<sim::SimMachine> machine_;
};

TEST_F(OdbcInstallerTest, AddsAUserDataSource) {
  InstallDriver(kDriver, 1);
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddDsn, kDriver,
                               Block({"DSN=Sales", "Description=Sales figures", "DefaultDir=C:\\Data"})));
  const std::string key = std::string(kIni) + "\\Sales";
  auto values = Values(HKCU, key);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].name, "Driver");
  EXPECT_EQ(values[0].value, RegValue::String(kDriverFile));
  EXPECT_EQ(values[1].name, "Description");
  EXPECT_EQ(values[1].value, RegValue::String("Sales figures"));
  EXPECT_EQ(values[2].name, "DefaultDir");
  EXPECT_EQ(values[2].value, RegValue::String("C:\\Data"));
  EXPECT_EQ(Text(HKCU, kSources, "Sales"), kDriver);
  // Nothing in the machine's data sources.
  EXPECT_FALSE(Exists(HKLM, kIni, RegView::k32));
  EXPECT_FALSE(Exists(HKLM, kIni, RegView::k64));
}

TEST_F(OdbcInstallerTest, AddsASystemDataSourceInTheViewOfTheProcess) {
  InstallDriver(kDriver, 1);
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddSystemDsn, kDriver, Block({"DSN=Inventory", "ReadOnly=1"})));
  const std::string key = std::string(kIni) + "\\Inventory";
  // The win10 machine runs a 32-bit engine: its view is Wow6432Node.
  EXPECT_EQ(Text(HKLM, key, "Driver", RegView::k32), kDriverFile);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Wow6432Node\\ODBC\\ODBC.INI\\Inventory", "ReadOnly", RegView::k64), "1");
  EXPECT_EQ(Text(HKLM, kSources, "Inventory", RegView::k32), kDriver);
  EXPECT_FALSE(Exists(HKLM, key, RegView::k64));
  EXPECT_FALSE(Exists(HKCU, kIni));

  // The 64-bit view knows no such driver.
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddSystemDsn, kDriver, Block({"DSN=Other"}), RegView::k64));
  InstallDriver(kDriver, 1, RegView::k64);
  EXPECT_TRUE(ConfigDataSource(Reg(), kAddSystemDsn, kDriver, Block({"DSN=Other"}), RegView::k64));
  EXPECT_EQ(Text(HKLM, std::string(kIni) + "\\Other", "Driver", RegView::k64), kDriverFile);
}

TEST_F(OdbcInstallerTest, FailuresWriteNothing) {
  InstallDriver(kDriver, 1);
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddDsn, "No Such Driver", Block({"DSN=Sales"})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddSystemDsn, "No Such Driver", Block({"DSN=Sales"})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"Description=no name"})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"DSN="})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"DSN=bad[name]"})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"DSN=" + std::string(33, 'n')})));
  EXPECT_FALSE(ConfigDataSource(Reg(), 7, kDriver, Block({"DSN=Sales"})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kConfigDsn, kDriver, Block({"DSN=Sales"})));  // not there
  EXPECT_FALSE(ConfigDataSource(Reg(), kRemoveDsn, kDriver, Block({"DSN=Sales"})));
  EXPECT_FALSE(Exists(HKCU, "SOFTWARE\\ODBC"));
  EXPECT_FALSE(Exists(HKLM, kIni));
  // A driver key without a driver file is not an installed driver.
  ASSERT_EQ(Reg().CreateKey(HKLM, std::string(kInst) + "\\Half", RegView::kDefault), err::kSuccess);
  EXPECT_FALSE(ConfigDataSource(Reg(), kAddDsn, "Half", Block({"DSN=Sales"})));
  EXPECT_FALSE(Exists(HKCU, "SOFTWARE\\ODBC"));
}

TEST_F(OdbcInstallerTest, ConfiguresReplacesAndRemovesDataSources) {
  InstallDriver(kDriver, 1);
  const std::string key = std::string(kIni) + "\\Sales";
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"DSN=Sales", "Old=1"})));
  ASSERT_TRUE(ConfigDataSource(Reg(), kConfigDsn, kDriver, Block({"DSN=Sales", "Extra=2"})));
  EXPECT_EQ(Text(HKCU, key, "Old"), "1");
  EXPECT_EQ(Text(HKCU, key, "Extra"), "2");
  // Adding again replaces the whole data source.
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"DSN=Sales", "New=3"})));
  EXPECT_EQ(Text(HKCU, key, "Old"), "<missing>");
  EXPECT_EQ(Text(HKCU, key, "New"), "3");

  // Removal as the native engine asks for it: "DSN=" + name and two NULs.
  ASSERT_TRUE(ConfigDataSource(Reg(), kRemoveDsn, kDriver, std::string("DSN=Sales\0\0", 11)));
  EXPECT_FALSE(Exists(HKCU, key));
  EXPECT_EQ(Text(HKCU, kSources, "Sales"), "<missing>");
  EXPECT_FALSE(ConfigDataSource(Reg(), kRemoveDsn, kDriver, std::string("DSN=Sales\0\0", 11)));

  ASSERT_TRUE(ConfigDataSource(Reg(), kAddSystemDsn, kDriver, Block({"DSN=Sys"})));
  EXPECT_FALSE(ConfigDataSource(Reg(), kRemoveDsn, kDriver, Block({"DSN=Sys"})));  // not a user DSN
  EXPECT_TRUE(ConfigDataSource(Reg(), kRemoveSystemDsn, kDriver, Block({"DSN=Sys"})));
  EXPECT_FALSE(Exists(HKLM, std::string(kIni) + "\\Sys"));
}

TEST_F(OdbcInstallerTest, RemoveDriverCountsDownAndRemovesTheKeysAtZero) {
  InstallDriver(kDriver, 2);
  const std::string key = std::string(kInst) + "\\" + kDriver;
  uint32_t remaining = 99;
  ASSERT_TRUE(RemoveDriver(Reg(), kDriver, false, &remaining));
  EXPECT_EQ(remaining, 1u);
  RegValue count;
  ASSERT_EQ(Reg().GetValue(HKLM, key, "UsageCount", RegView::kDefault, &count), err::kSuccess);
  EXPECT_EQ(count, RegValue::Dword(1));
  EXPECT_EQ(Text(HKLM, std::string(kInst) + "\\ODBC Drivers", kDriver), "Installed");

  ASSERT_TRUE(RemoveDriver(Reg(), kDriver, false, &remaining));
  EXPECT_EQ(remaining, 0u);
  EXPECT_FALSE(Exists(HKLM, key));
  EXPECT_EQ(Text(HKLM, std::string(kInst) + "\\ODBC Drivers", kDriver), "<missing>");
  EXPECT_FALSE(RemoveDriver(Reg(), kDriver, false, &remaining));
}

TEST_F(OdbcInstallerTest, RemoveDriverWithDataSourcesRemovesThoseOfTheDriver) {
  InstallDriver(kDriver, 1);
  InstallDriver("Other Driver", 1);
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddDsn, kDriver, Block({"DSN=Mine"})));
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddSystemDsn, kDriver, Block({"DSN=MineToo"})));
  ASSERT_TRUE(ConfigDataSource(Reg(), kAddDsn, "Other Driver", Block({"DSN=Theirs"})));
  // A missing count counts as one use.
  ASSERT_EQ(Reg().DeleteValue(HKLM, std::string(kInst) + "\\" + kDriver, "UsageCount", RegView::kDefault),
            err::kSuccess);
  uint32_t remaining = 99;
  ASSERT_TRUE(RemoveDriver(Reg(), kDriver, true, &remaining));
  EXPECT_EQ(remaining, 0u);
  EXPECT_FALSE(Exists(HKCU, std::string(kIni) + "\\Mine"));
  EXPECT_FALSE(Exists(HKLM, std::string(kIni) + "\\MineToo"));
  EXPECT_TRUE(Exists(HKCU, std::string(kIni) + "\\Theirs"));
  EXPECT_EQ(Text(HKCU, kSources, "Theirs"), "Other Driver");
  EXPECT_EQ(Text(HKCU, kSources, "Mine"), "<missing>");
}

}  // namespace
}  // namespace kestrawl::platform::odbc
