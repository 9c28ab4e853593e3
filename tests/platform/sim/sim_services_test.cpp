#include "platform/sim/sim_services.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/store.h"
#include "support/test_support.h"

namespace kestrawl::platform::sim {
namespace {

using testing::TempDir;

constexpr auto HKLM = RegRoot::kLocalMachine;

ServiceConfig Config(const std::string& name, const std::string& display = "") {
  ServiceConfig c;
  c.name = name;
  c.display_name = display.empty() ? name + " Service" : display;
  c.binary_path = "\"C:\\Program Files\\App\\" + name + ".exe\"";
  return c;
}

std::string Key(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

class SimServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = SimMachine::Open(tmp_ / "machine"); }
  Services& Svc() { return machine_->Svc(); }
  Registry& Reg() { return machine_->Reg(); }
  uint32_t State(const std::string& name) {
    uint32_t state = 0;
    EXPECT_EQ(Svc().QueryState(name, &state), err::kSuccess) << name;
    return state;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    EXPECT_EQ(Svc().List(&names), err::kSuccess);
    return names;
  }
  void Create(const ServiceConfig& c) { ASSERT_EQ(Svc().Create(c), err::kSuccess) << c.name; }
  void SetPendingQueries(int n) { machine_->Store().SetFact(kServicePendingQueriesFact, std::to_string(n)); }

  TempDir tmp_;
  std::unique_ptr<SimMachine> machine_;
};

TEST_F(SimServicesTest, MachineHasAManagerAndNoServicesAtFirst) {
  EXPECT_TRUE(Names().empty());
  uint32_t state = 0;
  EXPECT_EQ(Svc().QueryState("Spooler", &state), svc::kServiceDoesNotExist);
}

TEST_F(SimServicesTest, ConfigurationIsWrittenAsWindowsWritesIt) {
  ServiceConfig c = Config("KwSvc", "Kestrawl Service");
  c.type = svc::kShareProcess | svc::kInteractive;
  c.start = svc::kAutoStart;
  c.error_control = 2;
  c.binary_path = "\"%ProgramFiles%\\App\\svc.exe\" -service";
  c.load_order_group = "NetworkProvider";
  c.dependencies = {"RpcSs", "+TDI", "Tcpip"};
  c.password = "secret";
  Create(c);

  std::vector<RegNamedValue> values;
  ASSERT_EQ(Reg().EnumValues(HKLM, Key("KwSvc"), RegView::k64, &values), err::kSuccess);
  std::vector<std::string> names;
  for (const auto& v : values) names.push_back(v.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Type", "Start", "ErrorControl", "ImagePath", "DisplayName",
                                             "Group", "DependOnService", "DependOnGroup", "ObjectName"}));
  auto value = [&](const std::string& name) {
    RegValue v;
    EXPECT_EQ(Reg().GetValue(HKLM, Key("KwSvc"), name, RegView::k64, &v), err::kSuccess) << name;
    return v;
  };
  EXPECT_EQ(value("Type"), RegValue::Dword(0x120));
  EXPECT_EQ(value("Start"), RegValue::Dword(2));
  EXPECT_EQ(value("ErrorControl"), RegValue::Dword(2));
  EXPECT_EQ(value("ImagePath"), RegValue::String("\"%ProgramFiles%\\App\\svc.exe\" -service", regtype::kExpandSz));
  EXPECT_EQ(value("DisplayName"), RegValue::String("Kestrawl Service"));
  EXPECT_EQ(value("Group"), RegValue::String("NetworkProvider"));
  EXPECT_EQ(value("DependOnService"), RegValue::MultiString({"RpcSs", "Tcpip"}));
  EXPECT_EQ(value("DependOnGroup"), RegValue::MultiString({"TDI"}));
  EXPECT_EQ(value("ObjectName"), RegValue::String("LocalSystem"));
  // The same key seen from the 32-bit view (SYSTEM is not redirected).
  EXPECT_EQ(Reg().ReadString(HKLM, Key("kwsvc"), "DisplayName", RegView::k32), "Kestrawl Service");

  ServiceConfig back;
  ASSERT_EQ(Svc().QueryConfig("KWSVC", &back), err::kSuccess);
  EXPECT_EQ(back.name, "KwSvc");
  EXPECT_EQ(back.display_name, "Kestrawl Service");
  EXPECT_EQ(back.type, 0x120u);
  EXPECT_EQ(back.start, svc::kAutoStart);
  EXPECT_EQ(back.error_control, 2u);
  EXPECT_EQ(back.binary_path, c.binary_path);
  EXPECT_EQ(back.load_order_group, "NetworkProvider");
  EXPECT_EQ(back.dependencies, (std::vector<std::string>{"RpcSs", "Tcpip", "+TDI"}));
  EXPECT_EQ(back.account, "LocalSystem");
  EXPECT_EQ(back.password, "");
  EXPECT_EQ(State("KwSvc"), svc::kStopped);
  EXPECT_EQ(Names(), (std::vector<std::string>{"KwSvc"}));
}

TEST_F(SimServicesTest, OptionalValuesAreLeftOutAndAnAccountIsKept) {
  ServiceConfig c = Config("Plain");
  c.account = ".\\svcuser";
  Create(c);
  std::vector<RegNamedValue> values;
  ASSERT_EQ(Reg().EnumValues(HKLM, Key("Plain"), RegView::k64, &values), err::kSuccess);
  std::vector<std::string> names;
  for (const auto& v : values) names.push_back(v.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Type", "Start", "ErrorControl", "ImagePath", "DisplayName",
                                             "ObjectName"}));
  EXPECT_EQ(Reg().ReadString(HKLM, Key("Plain"), "ObjectName", RegView::k64), ".\\svcuser");
  // The engine writes the description itself; the manager leaves it alone.
  ASSERT_EQ(Reg().SetValue(HKLM, Key("Plain"), "Description", RegView::k64, RegValue::String("Does things")),
            err::kSuccess);
  ServiceConfig back;
  ASSERT_EQ(Svc().QueryConfig("plain", &back), err::kSuccess);
  EXPECT_EQ(back.account, ".\\svcuser");
  EXPECT_TRUE(back.dependencies.empty());
  // Without a display name the service's name is used.
  ServiceConfig bare = Config("Bare");
  bare.display_name.clear();
  Create(bare);
  EXPECT_EQ(Reg().ReadString(HKLM, Key("Bare"), "DisplayName", RegView::k64), "Bare");
}

TEST_F(SimServicesTest, ErrorsAreThoseOfTheRealManager) {
  Create(Config("Alpha", "Alpha Display"));
  ServiceConfig dependent = Config("Beta");
  dependent.dependencies = {"Alpha"};
  Create(dependent);
  ServiceConfig disabled = Config("Off");
  disabled.start = svc::kDisabled;
  Create(disabled);

  auto create = [&](ServiceConfig c) { return Svc().Create(c); };
  auto with = [](ServiceConfig c, auto change) {
    change(c);
    return c;
  };
  struct Case {
    const char* what;
    std::function<Win32Error()> call;
    Win32Error expected;
  };
  uint32_t state;
  ServiceConfig config;
  std::vector<Case> cases = {
      {"create existing name (other case)", [&] { return create(Config("ALPHA", "Other")); }, svc::kServiceExists},
      {"create with another's display name", [&] { return create(Config("Gamma", "alpha display")); },
       svc::kDuplicateServiceName},
      {"create named like another's display name", [&] { return create(Config("Alpha Display", "New")); },
       svc::kDuplicateServiceName},
      {"create with display name = another's name", [&] { return create(Config("Gamma", "Beta")); },
       svc::kDuplicateServiceName},
      {"create with empty name", [&] { return create(Config("")); }, err::kInvalidName},
      {"create with backslash", [&] { return create(Config("a\\b")); }, err::kInvalidName},
      {"create with slash", [&] { return create(Config("a/b")); }, err::kInvalidName},
      {"create with a long name", [&] { return create(Config(std::string(257, 'x'), "Long")); }, err::kInvalidName},
      {"create without program", [&] { return create(with(Config("Gamma"), [](auto& c) { c.binary_path.clear(); })); },
       err::kInvalidParameter},
      {"create boot start Win32 service",
       [&] { return create(with(Config("Gamma"), [](auto& c) { c.start = svc::kBootStart; })); }, err::kInvalidParameter},
      {"create start 5", [&] { return create(with(Config("Gamma"), [](auto& c) { c.start = 5; })); },
       err::kInvalidParameter},
      {"create type 0", [&] { return create(with(Config("Gamma"), [](auto& c) { c.type = 0; })); },
       err::kInvalidParameter},
      {"create error control 4", [&] { return create(with(Config("Gamma"), [](auto& c) { c.error_control = 4; })); },
       err::kInvalidParameter},
      {"create interactive with an account",
       [&] {
         return create(with(Config("Gamma"), [](auto& c) {
           c.type |= svc::kInteractive;
           c.account = ".\\me";
         }));
       },
       err::kInvalidParameter},
      {"create depending on itself",
       [&] { return create(with(Config("Gamma"), [](auto& c) { c.dependencies = {"gamma"}; })); },
       svc::kCircularDependency},
      {"start missing", [&] { return Svc().Start("Nope", {}); }, svc::kServiceDoesNotExist},
      {"stop missing", [&] { return Svc().Stop("Nope"); }, svc::kServiceDoesNotExist},
      {"delete missing", [&] { return Svc().Delete("Nope"); }, svc::kServiceDoesNotExist},
      {"query state missing", [&] { return Svc().QueryState("Nope", &state); }, svc::kServiceDoesNotExist},
      {"query config missing", [&] { return Svc().QueryConfig("Nope", &config); }, svc::kServiceDoesNotExist},
      {"change start missing", [&] { return Svc().ChangeStartType("Nope", svc::kAutoStart); },
       svc::kServiceDoesNotExist},
      {"query invalid name", [&] { return Svc().QueryState("a\\b", &state); }, err::kInvalidName},
      {"stop stopped", [&] { return Svc().Stop("Alpha"); }, svc::kServiceNotActive},
      {"start disabled", [&] { return Svc().Start("Off", {}); }, svc::kServiceDisabled},
      {"change start to 7", [&] { return Svc().ChangeStartType("Alpha", 7); }, err::kInvalidParameter},
      {"change start to boot", [&] { return Svc().ChangeStartType("Alpha", svc::kBootStart); },
       err::kInvalidParameter},
      {"start Alpha", [&] { return Svc().Start("Alpha", {"-x"}); }, err::kSuccess},
      {"start running", [&] { return Svc().Start("alpha", {}); }, svc::kServiceAlreadyRunning},
      {"start Beta", [&] { return Svc().Start("Beta", {}); }, err::kSuccess},
      {"stop with a running dependent", [&] { return Svc().Stop("Alpha"); }, svc::kDependentServicesRunning},
      {"delete running Beta (marks it)", [&] { return Svc().Delete("Beta"); }, err::kSuccess},
      {"delete marked", [&] { return Svc().Delete("Beta"); }, svc::kServiceMarkedForDelete},
      {"create over marked", [&] { return create(Config("Beta", "Beta Again")); }, svc::kServiceMarkedForDelete},
      {"start marked", [&] { return Svc().Start("Beta", {}); }, svc::kServiceMarkedForDelete},
      {"change start of marked", [&] { return Svc().ChangeStartType("Beta", svc::kAutoStart); },
       svc::kServiceMarkedForDelete},
      {"stop marked Beta (removes it)", [&] { return Svc().Stop("Beta"); }, err::kSuccess},
      {"Beta is gone", [&] { return Svc().QueryState("Beta", &state); }, svc::kServiceDoesNotExist},
      {"stop Alpha now", [&] { return Svc().Stop("Alpha"); }, err::kSuccess},
      {"delete stopped Alpha", [&] { return Svc().Delete("Alpha"); }, err::kSuccess},
      {"Alpha is gone", [&] { return Svc().QueryConfig("Alpha", &config); }, svc::kServiceDoesNotExist},
      {"its name is free again", [&] { return create(Config("Alpha", "Alpha Display")); }, err::kSuccess},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), c.expected) << c.what;
  EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Off"}));
  EXPECT_EQ(State("Alpha"), svc::kStopped);  // a new service starts out stopped
}

TEST_F(SimServicesTest, StartAndStopMoveTheStateAndChangeStartTypeWritesStart) {
  Create(Config("Svc"));
  ASSERT_EQ(Svc().Start("Svc", {"one argument"}), err::kSuccess);
  EXPECT_EQ(State("Svc"), svc::kRunning);
  ASSERT_EQ(Svc().Stop("SVC"), err::kSuccess);
  EXPECT_EQ(State("Svc"), svc::kStopped);

  ASSERT_EQ(Svc().ChangeStartType("svc", svc::kDisabled), err::kSuccess);
  RegValue start;
  ASSERT_EQ(Reg().GetValue(HKLM, Key("Svc"), "Start", RegView::k64, &start), err::kSuccess);
  EXPECT_EQ(start, RegValue::Dword(4));
  EXPECT_EQ(Svc().Start("Svc", {}), svc::kServiceDisabled);
  ASSERT_EQ(Svc().ChangeStartType("Svc", svc::kAutoStart), err::kSuccess);
  EXPECT_EQ(Svc().Start("Svc", {}), err::kSuccess);
  ServiceConfig back;
  ASSERT_EQ(Svc().QueryConfig("Svc", &back), err::kSuccess);
  EXPECT_EQ(back.start, svc::kAutoStart);
  EXPECT_EQ(back.binary_path, Config("Svc").binary_path);  // nothing else changed
}

TEST_F(SimServicesTest, RunningServiceDeletedStaysUntilStopped) {
  Create(Config("Svc"));
  ASSERT_EQ(Svc().Start("Svc", {}), err::kSuccess);
  ASSERT_EQ(Svc().Delete("Svc"), err::kSuccess);
  EXPECT_EQ(State("Svc"), svc::kRunning);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Svc"}));
  EXPECT_EQ(Reg().ReadString(HKLM, Key("Svc"), "DeleteFlag", RegView::k64), "1");
  ServiceConfig back;
  EXPECT_EQ(Svc().QueryConfig("Svc", &back), err::kSuccess);

  ASSERT_EQ(Svc().Stop("Svc"), err::kSuccess);
  uint32_t state = 0;
  EXPECT_EQ(Svc().QueryState("Svc", &state), svc::kServiceDoesNotExist);
  EXPECT_TRUE(Names().empty());
  EXPECT_EQ(Reg().KeyExists(HKLM, Key("Svc"), RegView::k64), err::kFileNotFound);
  // A new service of that name starts afresh.
  Create(Config("Svc"));
  EXPECT_EQ(State("Svc"), svc::kStopped);
}

TEST_F(SimServicesTest, PendingStatesLastTheConfiguredNumberOfQueries) {
  Create(Config("Slow"));
  SetPendingQueries(2);
  ASSERT_EQ(Svc().Start("Slow", {}), err::kSuccess);
  EXPECT_EQ(Svc().Start("Slow", {}), svc::kServiceAlreadyRunning);
  EXPECT_EQ(Svc().Stop("Slow"), svc::kServiceCannotAcceptCtrl);
  EXPECT_EQ(State("Slow"), svc::kStartPending);
  EXPECT_EQ(State("Slow"), svc::kStartPending);
  EXPECT_EQ(State("Slow"), svc::kRunning);
  EXPECT_EQ(State("Slow"), svc::kRunning);

  ASSERT_EQ(Svc().Stop("Slow"), err::kSuccess);
  EXPECT_EQ(Svc().Stop("Slow"), svc::kServiceCannotAcceptCtrl);
  EXPECT_EQ(State("Slow"), svc::kStopPending);
  EXPECT_EQ(State("Slow"), svc::kStopPending);
  EXPECT_EQ(State("Slow"), svc::kStopped);

  // A marked service goes away once its pending stop is over.
  SetPendingQueries(1);
  ASSERT_EQ(Svc().Start("Slow", {}), err::kSuccess);
  ASSERT_EQ(Svc().Delete("Slow"), err::kSuccess);  // while start-pending: marked
  EXPECT_EQ(State("Slow"), svc::kStartPending);
  ASSERT_EQ(Svc().Stop("Slow"), err::kSuccess);
  EXPECT_EQ(State("Slow"), svc::kStopPending);
  uint32_t state = 0;
  EXPECT_EQ(Svc().QueryState("Slow", &state), svc::kServiceDoesNotExist);

  SetPendingQueries(0);
  Create(Config("Quick"));
  ASSERT_EQ(Svc().Start("Quick", {}), err::kSuccess);
  EXPECT_EQ(State("Quick"), svc::kRunning);
}

TEST_F(SimServicesTest, StartingAServiceStartsWhatItDependsOn) {
  Create(Config("Base"));
  ServiceConfig mid = Config("Mid");
  mid.dependencies = {"base", "+SomeGroup"};
  Create(mid);
  ServiceConfig top = Config("Top");
  top.dependencies = {"Mid"};
  Create(top);
  ASSERT_EQ(Svc().Start("Top", {}), err::kSuccess);
  EXPECT_EQ(State("Base"), svc::kRunning);
  EXPECT_EQ(State("Mid"), svc::kRunning);
  EXPECT_EQ(Svc().Stop("Base"), svc::kDependentServicesRunning);
  EXPECT_EQ(Svc().Stop("Mid"), svc::kDependentServicesRunning);
  EXPECT_EQ(Svc().Stop("Top"), err::kSuccess);
  EXPECT_EQ(Svc().Stop("Mid"), err::kSuccess);
  EXPECT_EQ(Svc().Stop("Base"), err::kSuccess);

  ServiceConfig orphan = Config("Orphan");
  orphan.dependencies = {"Missing"};
  Create(orphan);
  EXPECT_EQ(Svc().Start("Orphan", {}), svc::kServiceDependencyDeleted);
  ServiceConfig off = Config("Off");
  off.start = svc::kDisabled;
  Create(off);
  ServiceConfig blocked = Config("Blocked");
  blocked.dependencies = {"Off"};
  Create(blocked);
  EXPECT_EQ(Svc().Start("Blocked", {}), svc::kServiceDependencyFail);
  EXPECT_EQ(State("Blocked"), svc::kStopped);

  // A running member of a group another running service depends on.
  ServiceConfig member = Config("Member");
  member.load_order_group = "Net";
  Create(member);
  ServiceConfig user = Config("GroupUser");
  user.dependencies = {"+net"};
  Create(user);
  ASSERT_EQ(Svc().Start("Member", {}), err::kSuccess);
  ASSERT_EQ(Svc().Start("GroupUser", {}), err::kSuccess);
  EXPECT_EQ(Svc().Stop("Member"), svc::kDependentServicesRunning);
}

TEST_F(SimServicesTest, KeysWithoutTypeAreNotServices) {
  ASSERT_EQ(Reg().WriteValue(HKLM, Key("EventLog"), "Description", RegView::k64, RegValue::String("x")),
            err::kSuccess);
  EXPECT_TRUE(Names().empty());
  uint32_t state = 0;
  EXPECT_EQ(Svc().QueryState("EventLog", &state), svc::kServiceDoesNotExist);
  Create(Config("EventLog"));
  EXPECT_EQ(Names(), (std::vector<std::string>{"EventLog"}));
  EXPECT_EQ(Reg().ReadString(HKLM, Key("EventLog"), "Description", RegView::k64), "x");
}

TEST_F(SimServicesTest, TwoMachineObjectsShareRunStates) {
  Create(Config("Shared"));
  auto other = SimMachine::Open(tmp_ / "machine");
  uint32_t state = 0;
  ASSERT_EQ(other->Svc().QueryState("Shared", &state), err::kSuccess);
  EXPECT_EQ(state, svc::kStopped);
  ASSERT_EQ(Svc().Start("Shared", {}), err::kSuccess);
  ASSERT_EQ(other->Svc().QueryState("shared", &state), err::kSuccess);
  EXPECT_EQ(state, svc::kRunning);
  EXPECT_EQ(other->Svc().Start("Shared", {}), svc::kServiceAlreadyRunning);
  ASSERT_EQ(other->Svc().Stop("Shared"), err::kSuccess);
  EXPECT_EQ(State("Shared"), svc::kStopped);

  // Pending queries are counted across processes too.
  SetPendingQueries(1);
  ASSERT_EQ(Svc().Start("Shared", {}), err::kSuccess);
  ASSERT_EQ(other->Svc().QueryState("Shared", &state), err::kSuccess);
  EXPECT_EQ(state, svc::kStartPending);
  EXPECT_EQ(State("Shared"), svc::kRunning);

  machine_.reset();
  auto again = SimMachine::Open(tmp_ / "machine");
  ASSERT_EQ(again->Svc().QueryState("Shared", &state), err::kSuccess);
  EXPECT_EQ(state, svc::kRunning);
}

TEST_F(SimServicesTest, FaultWrapperInjectsServiceFailures) {
  FaultPlan plan;
  PlatformWrapper wrapped(*machine_, plan);
  plan.FailCall("StartService", err::kAccessDenied);
  ASSERT_EQ(wrapped.Svc().Create(Config("Svc")), err::kSuccess);
  EXPECT_EQ(wrapped.Svc().Start("Svc", {}), err::kAccessDenied);
  EXPECT_EQ(State("Svc"), svc::kStopped);
  EXPECT_EQ(wrapped.Svc().Start("Svc", {}), err::kSuccess);
  EXPECT_EQ(plan.Calls("StartService"), 2);
  EXPECT_EQ(plan.Calls("CreateService"), 1);
  plan.FailCall("QueryServiceStatus", svc::kServiceDoesNotExist, 2);
  uint32_t state = 0;
  EXPECT_EQ(wrapped.Svc().QueryState("Svc", &state), err::kSuccess);
  EXPECT_EQ(wrapped.Svc().QueryState("Svc", &state), svc::kServiceDoesNotExist);
  // File-system calls of the same plan are not affected by service names.
  plan.FailCall("List", err::kAccessDenied, 1, true);
  std::vector<std::string> names;
  EXPECT_EQ(wrapped.Svc().List(&names), err::kSuccess);
  EXPECT_EQ(names, (std::vector<std::string>{"Svc"}));
}

class NoServicePlatform : public Platform {
 public:
  explicit NoServicePlatform(Platform& inner) : inner_(inner) {}
  FileSystem& Files() override { return inner_.Files(); }
  Registry& Reg() override { return inner_.Reg(); }
  System& Sys() override { return inner_.Sys(); }
  Processes& Procs() override { return inner_.Procs(); }

 private:
  Platform& inner_;
};

TEST_F(SimServicesTest, PlatformsWithoutAManagerAnswerCallNotImplemented) {
  NoServicePlatform none(*machine_);
  uint32_t state = 0;
  std::vector<std::string> names;
  EXPECT_EQ(none.Svc().Create(Config("X")), svc::kCallNotImplemented);
  EXPECT_EQ(none.Svc().QueryState("X", &state), svc::kCallNotImplemented);
  EXPECT_EQ(none.Svc().List(&names), svc::kCallNotImplemented);
}

}  // namespace
}  // namespace kestrawl::platform::sim
