// "Install Service", "Control Service", "Create ODBC DSN" and "Install ODBC
// Driver": the machine effects, the nested registry writes and their undo
// entries.
#include <chrono>

#include "engine/native/kinds_fixture.h"
#include "engine/native/service_wait.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/store.h"

namespace kestrawl::engine::native {
namespace {

using platform::RegRoot;
using platform::RegValue;
namespace svc = platform::svc;

constexpr const char* kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\KwSvc";

class ServiceKindsTest : public KindsTest {
 protected:
  std::vector<std::string> ServiceRecord(const std::string& description, const std::string& deps = "",
                                         const std::string& args = "") {
    return {"0000000A", "KwSvc",  "Kestrawl Service", description, "",  deps, "C:\\Svc",
            "0",        "FALSE", "1",                "1",         "",  "",   args};
  }
  bool Control(const std::string& name, int action, const std::string& start_code = "0", bool wait = false) {
    return Apply("Control Service",
                 {name, "", std::to_string(action), wait ? "TRUE" : "FALSE", start_code});
  }
  uint32_t State(const std::string& name) {
    uint32_t state = 0;
    EXPECT_EQ(services().QueryState(name, &state), 0u);
    return state;
  }
  void CreateService(const std::string& name) {
    platform::ServiceConfig config;
    config.name = name;
    config.display_name = name + " display";
    config.binary_path = "\"C:\\x.exe\"";
    ASSERT_EQ(services().Create(config), 0u);
  }
};

TEST_F(ServiceKindsTest, InstallPlacesTheProgramCreatesTheServiceAndLogsTheDescription) {
  AddGroup("0000000A", {{"svc.exe", ""}});
  ASSERT_TRUE(Apply("Install Service", ServiceRecord("Does things", "RpcSs$NULL$+Net Group$NULL$Dhcp", "-run x")));
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_EQ(Text("C:\\Svc\\svc.exe"), "payload of svc.exe");

  platform::ServiceConfig config;
  ASSERT_EQ(services().QueryConfig("KwSvc", &config), 0u);
  EXPECT_EQ(config.display_name, "Kestrawl Service");
  EXPECT_EQ(config.binary_path, "\"C:\\Svc\\svc.exe\" -run x");
  EXPECT_EQ(config.type, svc::kOwnProcess);
  EXPECT_EQ(config.start, svc::kDemandStart);
  EXPECT_EQ(config.error_control, 1u);
  EXPECT_EQ(config.dependencies, (std::vector<std::string>{"RpcSs", "Dhcp", "+Net Group"}));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kServiceKey, "Description"), RegValue::String("Does things"));

  // The new folder, the program, the description value, then the service.
  EXPECT_EQ(UndoKinds(),
            (std::vector<std::string>{"Delete Folder", "Delete File", "Delete Registry", "Delete Service"}));
  const auto undo = Undo();
  EXPECT_EQ(undo[2].data, (std::vector<std::string>{"-2147483646|", kServiceKey, "Description"}));
  EXPECT_EQ(undo[3].data, (std::vector<std::string>{"KwSvc"}));
}

TEST_F(ServiceKindsTest, InstallWithoutDescriptionWritesNoDescription) {
  AddGroup("0000000A", {{"svc.exe", ""}});
  ASSERT_TRUE(Apply("Install Service", ServiceRecord("")));
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kServiceKey, "Description"));
  EXPECT_EQ(UndoKinds(), (std::vector<std::string>{"Delete Folder", "Delete File", "Delete Service"}));
}

TEST_F(ServiceKindsTest, AServiceThatCannotBeCreatedIsPromptedAndNotLogged) {
  CreateService("KwSvc");
  AddGroup("0000000A", {{"svc.exe", ""}});
  ASSERT_TRUE(Apply("Install Service", ServiceRecord("Does things")));
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_NE(host_.prompts[0].text.find("\r\rKwSvc, Kestrawl Service, Does things"), std::string::npos);
  // Removing this installation must not delete the service that was there.
  for (const std::string& kind : UndoKinds()) EXPECT_NE(kind, "Delete Service");
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kServiceKey, "Description"));
}

TEST_F(ServiceKindsTest, StartingARunningServiceSucceedsWithoutAPrompt) {
  CreateService("KwRun");
  ASSERT_TRUE(Control("KwRun", 0));
  EXPECT_EQ(State("KwRun"), svc::kRunning);
  ASSERT_TRUE(Control("KwRun", 0));
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_TRUE(Undo().empty());
}

TEST_F(ServiceKindsTest, StopDeleteAndStartTypeChanges) {
  CreateService("KwA");
  CreateService("KwB");
  ASSERT_EQ(services().Start("KwA", {}), 0u);
  ASSERT_TRUE(Control("KwA", 1, "30"));  // stop, disable
  EXPECT_EQ(State("KwA"), svc::kStopped);
  platform::ServiceConfig config;
  ASSERT_EQ(services().QueryConfig("KwA", &config), 0u);
  EXPECT_EQ(config.start, svc::kDisabled);

  ASSERT_TRUE(Control("KwA", 4, "10"));  // 4 mod 3: stop an already stopped service; automatic
  ASSERT_EQ(services().QueryConfig("KwA", &config), 0u);
  EXPECT_EQ(config.start, svc::kAutoStart);

  ASSERT_TRUE(Control("KwB", 2));  // stop (it is not running) and delete
  EXPECT_NE(services().QueryConfig("KwB", &config), 0u);
  EXPECT_TRUE(host_.prompts.empty());
}

TEST_F(ServiceKindsTest, AMissingServiceIsPromptedAndCanBeIgnoredOrAborted) {
  ASSERT_TRUE(Control("KwNone", 0));
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_EQ(host_.prompts[0].text.rfind(platform::SystemMessage(svc::kServiceDoesNotExist) + "\r\rKwNone, ", 0), 0u);
  host_.answer = ui::answer::kCancel;
  EXPECT_FALSE(Control("KwNone", 0));
  host_.answer = ui::answer::kNo;
  EXPECT_TRUE(Apply("Control Service", {"KwNone", "", "start"}));  // action is not a number
  EXPECT_EQ(host_.prompts.size(), 3u);
}

TEST_F(ServiceKindsTest, WaitingPollsWhileTheServiceIsPending) {
  CreateService("KwSlow");
  fixture_.machine().Store().SetFact(platform::sim::kServicePendingQueriesFact, "3");
  ASSERT_EQ(services().Start("KwSlow", {}), 0u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitWhileServicePending(native_, "KwSlow", svc::kStartPending, std::chrono::milliseconds(1)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(State("KwSlow"), svc::kRunning);
  // A final state returns at once, whatever the interval.
  EXPECT_TRUE(WaitWhileServicePending(native_, "KwSlow", svc::kStopPending, std::chrono::hours(1)));
}

class OdbcKindsTest : public KindsTest {
 protected:
  static constexpr const char* kDriverKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\Kw Driver";
  bool InstallDriver() {
    return Apply("Install ODBC Driver",
                 {"0000000B", "Kw Driver", "C:\\Odbc", "APILevel=1$newline$FileUsage=0$NEWLINE$"});
  }
};

TEST_F(OdbcKindsTest, DriverInstallRegistersTheDriverOncePerChangeWithPermanentWrites) {
  AddGroup("0000000B", {{"kwdrv.dll", "kwsetup.dll"}, {"kwhelp.dll", ""}});
  ASSERT_TRUE(InstallDriver());
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_EQ(Text("C:\\Odbc\\kwdrv.dll"), "payload of kwdrv.dll");
  EXPECT_EQ(Text("C:\\Odbc\\kwhelp.dll"), "payload of kwhelp.dll");
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kDriverKey, "UsageCount"), RegValue::Dword(1));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kDriverKey, "APILevel"), RegValue::String("1"));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kDriverKey, "FileUsage"), RegValue::String("0"));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kDriverKey, "Driver"), RegValue::String("C:\\Odbc\\kwdrv.dll"));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kDriverKey, "Setup"), RegValue::String("C:\\Odbc\\kwsetup.dll"));
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kDriverKey, ""));
  EXPECT_EQ(Value(RegRoot::kLocalMachine, "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", "Kw Driver"),
            RegValue::String("Installed"));
  // No entries for the files or the values: the driver entry covers them.
  const auto undo = Undo();
  ASSERT_EQ(UndoKinds(), (std::vector<std::string>{"Delete Folder", "Delete ODBC Driver"}));
  EXPECT_EQ(undo[1].data, (std::vector<std::string>{"Kw Driver", "C:\\Odbc\\kwdrv.dll", "C:\\Odbc\\kwsetup.dll"}));

  SetVar("NATIVE_OVERWRITE", "ALWAYS");
  SetVar("NATIVE_OVERWRITE_OLDER", "TRUE");
  ASSERT_TRUE(InstallDriver());
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kDriverKey, "UsageCount"), RegValue::Dword(2));
}

TEST_F(OdbcKindsTest, DataSourceWithAnUnknownDriverCompletesWithoutPromptOrUndoEntry) {
  EXPECT_TRUE(Apply("Create ODBC DSN", {"Kw Data", "No Such Driver", "TRUE", "Database=x"}));
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_TRUE(Undo().empty());
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, "SOFTWARE\\ODBC\\ODBC.INI\\Kw Data", "Driver"));
}

TEST_F(OdbcKindsTest, DataSourceOfAnInstalledDriverIsCreatedAndLogged) {
  AddGroup("0000000B", {{"kwdrv.dll", ""}});
  ASSERT_TRUE(InstallDriver());
  run_.native.pending = {};
  ASSERT_TRUE(Apply("Create ODBC DSN", {"Kw Data", "Kw Driver", "FALSE", "Database=x\r\nServer=y z\r\n"}));
  EXPECT_EQ(Value(RegRoot::kCurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\Kw Data", "Driver"),
            RegValue::String("C:\\Odbc\\kwdrv.dll"));
  EXPECT_EQ(Value(RegRoot::kCurrentUser, "SOFTWARE\\ODBC\\ODBC.INI\\Kw Data", "Server"), RegValue::String("y z"));
  const auto undo = Undo();
  ASSERT_EQ(undo.size(), 1u);
  EXPECT_EQ(undo[0].element, "Remove ODBC DSN");
  EXPECT_EQ(undo[0].data, (std::vector<std::string>{"Kw Data", "Kw Driver", "FALSE"}));
}

}  // namespace
}  // namespace kestrawl::engine::native
