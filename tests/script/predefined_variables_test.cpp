// Run start: the predefined variables on real machine profiles, the
// command-line overrides, the resume-entry clean-up and the per-command
// refresh.
#include "script/predefined_variables.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "base/date_time_format.h"
#include "base/text.h"
#include "maintenance/bootstrap.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/store.h"
#include "script/substitution.h"
#include "support/test_support.h"

namespace kestrawl::script {
namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::sim::SimMachine;

constexpr const char* kRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kNtCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Machine options: a profile, optionally for a standard (non-administrator) user.
platform::sim::InitOptions Machine(const std::string& profile = "win10", bool standard_user = false) {
  platform::sim::InitOptions o;
  o.profile = profile;
  o.standard_user = standard_user;
  return o;
}

// An engine on a machine made from a profile; `facts` overrides machine
// facts before the machine is opened for the engine.
class ProfileEngine {
 public:
  explicit ProfileEngine(platform::sim::InitOptions options = {},
                         std::map<std::string, std::string> facts = {}) {
    const std::string dir = dir_ / "machine";
    SimMachine::Init(dir, options);
    if (!facts.empty()) {
      auto m = SimMachine::Open(dir, {"setup"});
      for (const auto& [k, v] : facts) m->Store().SetFact(k, v);
    }
    machine_ = SimMachine::Open(dir, {"setup"});
    engine_ = std::make_unique<EngineContext>(*machine_, messages_);

    WorkingPaths& p = engine_->paths;
    p.executable = "C:\\Setup\\setup.exe";
    p.executable_folder = "C:\\Setup\\";
    p.base_name = "setup";
    p.temp_folder = "C:\\Temp\\";
    p.support_folder = "C:\\Temp\\zel1\\";
    p.resource_archive = "C:\\Setup\\setup.res";
    p.data_folder = "C:\\Setup\\data\\";
    run_.package_path = "C:\\Temp\\zel1\\setup.msi";

    CompiledScript& s = engine_->script;
    s.product_code = "{11111111-2222-3333-4444-555555555555}";
    s.revision_code = "{66666666-7777-8888-9999-AAAAAAAAAAAA}";
    s.product_title = "Test Product";
    s.product_version = "2.5";
    s.publisher = "Test Publisher";
  }

  SimMachine& machine() { return *machine_; }
  EngineContext& engine() { return *engine_; }
  RunState& run() { return run_; }
  VariableStore& vars() { return engine_->variables; }

  // The start-up as the entry configures it, then the run start in order.
  void Start() {
    engine_->variables.SetSilent(engine_->settings.silent);
    engine_->variables.SetCommandLineOverrides(engine_->settings.overrides);
    engine_->variables.ClearAllVariables();
    SetPredefinedVariables(*engine_, run_);
    maintenance::RunBootstrap(*engine_, run_);
    SetRunStartVariables(*engine_, run_);
    ApplyCommandLineOverrides(*engine_);
  }

 private:
  testing::TempDir dir_;
  std::ostringstream out_;
  ui::ConsoleMessageHost messages_{out_};
  std::unique_ptr<SimMachine> machine_;
  std::unique_ptr<EngineContext> engine_;
  RunState run_;
};

using Expected = std::map<std::string, std::string>;

void ExpectValues(VariableStore& vars, const Expected& expected) {
  for (const auto& [name, value] : expected) {
    EXPECT_TRUE(vars.VariableExists(name)) << name;
    EXPECT_EQ(vars.GetVariable(name), value) << name;
  }
}

TEST(PredefinedVariablesTest, DefaultMachineValues) {
  ProfileEngine e;
  e.engine().settings.log_file = "c:\\logs\\setup.log";
  e.engine().settings.tail = "/s /l=c:\\logs\\setup.log";
  e.engine().settings.silent = true;
  e.Start();
  ExpectValues(e.vars(), {
      {"VELK_thProgress", "0"}, {"VELK_thMax", "100"}, {"VELK_thMin", "0"},
      {"VELK_thProgressText", ""}, {"VELK_thFinished", "FALSE"}, {"VELK_IsCancelled", "FALSE"},
      {"STARTMENU", "Test Product"}, {"ALLUSERS", "TRUE"},
      {"TARGETDIR", "C:\\Program Files (x86)\\Test Product\\"},
      {"USERNAME", "User"}, {"USERCOMPANY", ""},
      {"EXEFILE", "C:\\Setup\\setup.exe"}, {"EXEDIR", "C:\\Setup\\"}, {"ROOTDIR", "C:\\Setup\\"},
      {"TEMPDIR", "C:\\Temp\\"}, {"SUPPORTDIR", "C:\\Temp\\zel1\\"},
      {"MSIFILE", "C:\\Temp\\zel1\\setup.msi"},
      {"TITLE", "Test Product"}, {"COMPANY", "Test Publisher"}, {"VERSION", "2.5"},
      {"SILENT", "TRUE"}, {"LOGGED", "c:\\logs\\setup.log"},
      {"CMDLINE", "/s /l=c:\\logs\\setup.log"},
      {"SFXPATH", ""}, {"SFXFILE", ""}, {"GPOPATH", ""}, {"SETUPPATH", "$EXEDIR$"},
      {"NEWLINE", "\r\n"}, {"GLASS", "TRUE"}, {"LANGUAGE", ""},
      {"NATIVE_ENGINE", "FALSE"}, {"NATIVE_ERROR", "PROMPT"}, {"NATIVE_ROLLBACK", "TRUE"},
      {"IISHOST", "localhost"}, {"OVERRIDECACHE", ""}, {"VELK_TIMEOUT", "10"},
      {"FX", "SLIDE"}, {"FXGROUND", "BACKGROUND"}, {"FXTIME", "1000"}, {"WIZARD", "NEXT"},
      {"REBOOTNOW", "OK"}, {"ABORTONERROR", "TRUE"}, {"MODIFY", "TRUE"}, {"REMOVE", "FALSE"},
  });
  const std::string tick = e.vars().GetVariable("VELK_LastDelegateTick");
  EXPECT_TRUE(std::regex_match(tick, std::regex("[0-9]+"))) << tick;
  EXPECT_EQ(e.vars().GetVariable("VELK_LastActiveTick"), tick);
  // The marker expands to the executable folder when used.
  EXPECT_EQ(Expand(e.vars(), e.vars().GetVariable("SETUPPATH")), "C:\\Setup\\");
}

TEST(PredefinedVariablesTest, Windows7ThirtyTwoBitValues) {
  ProfileEngine e(Machine("win7-32"));
  e.Start();
  ExpectValues(e.vars(), {
      {"ALLUSERS", "TRUE"},
      {"TARGETDIR", "C:\\Program Files\\Test Product\\"},
      {"USERNAME", "User"},
      {"GLASS", "TRUE"},
      {"ENGINECACHE", "C:\\ProgramData\\{66666666-7777-8888-9999-AAAAAAAAAAAA}\\"},
  });
}

TEST(PredefinedVariablesTest, RegisteredOwnerComesFromTheNativeRegistryView) {
  struct Case {
    std::string profile;
    std::map<RegView, std::string> writes;
    std::string owner;
  };
  const Case cases[] = {
      // A 32-bit engine on 64-bit Windows must not read the redirected copy.
      {"win10", {{RegView::k32, "Redirected"}, {RegView::k64, "Native Owner"}}, "Native Owner"},
      {"win7-32", {{RegView::kDefault, "Seven Owner"}}, "Seven Owner"},
  };
  for (const Case& c : cases) {
    ProfileEngine e(Machine(c.profile));
    for (const auto& [view, owner] : c.writes) {
      ASSERT_EQ(e.machine().Reg().WriteValue(RegRoot::kLocalMachine, kNtCurrentVersion,
                                             "RegisteredOwner", view, RegValue::String(owner)),
                0);
      ASSERT_EQ(e.machine().Reg().WriteValue(RegRoot::kLocalMachine, kNtCurrentVersion,
                                             "RegisteredOrganization", view,
                                             RegValue::String(owner + " Inc.")),
                0);
    }
    e.Start();
    EXPECT_EQ(e.vars().GetVariable("USERNAME"), c.owner) << c.profile;
    EXPECT_EQ(e.vars().GetVariable("USERCOMPANY"), c.owner + " Inc.") << c.profile;
  }
}

TEST(PredefinedVariablesTest, AllUsersFollowsAdministratorAndElevation) {
  struct Case {
    const char* label;
    platform::sim::InitOptions options;
    std::map<std::string, std::string> facts;
    std::string all_users;
  };
  const Case cases[] = {
      {"administrator", {}, {}, "TRUE"},
      {"standard user", Machine("win10", true), {}, "FALSE"},
      {"administrator, not elevated", {}, {{"user.elevated", "0"}}, "FALSE"},
      {"administrator on XP (no elevation)", {},
       {{"user.elevated", "0"}, {"os.major", "5"}, {"os.minor", "1"}}, "TRUE"},
  };
  for (const Case& c : cases) {
    ProfileEngine e(c.options, c.facts);
    e.Start();
    EXPECT_EQ(e.vars().GetVariable("ALLUSERS"), c.all_users) << c.label;
  }
}

TEST(PredefinedVariablesTest, SetupPathFollowsSelfExtractorAndGroupPolicy) {
  struct Case {
    std::string sfx, gpo;
    Expected expected;
    std::string expanded;
  };
  const Case cases[] = {
      {"c:\\downloads\\product setup.exe", "",
       {{"SFXPATH", "c:\\downloads\\"}, {"SFXFILE", "product setup.exe"}, {"GPOPATH", ""},
        {"SETUPPATH", "$SFXPATH$"}},
       "c:\\downloads\\"},
      {"c:\\downloads\\setup.exe", "\\\\server\\deploy\\app\\setup.exe",
       {{"GPOPATH", "\\\\server\\deploy\\app\\"}, {"SETUPPATH", "$GPOPATH$"}},
       "\\\\server\\deploy\\app\\"},
  };
  for (const Case& c : cases) {
    ProfileEngine e;
    e.engine().settings.self_extractor = c.sfx;
    e.engine().settings.group_policy = c.gpo;
    e.Start();
    ExpectValues(e.vars(), c.expected);
    EXPECT_EQ(Expand(e.vars(), e.vars().GetVariable("SETUPPATH")), c.expanded);
  }
}

TEST(PredefinedVariablesTest, ValuesLoadedBeforeRunStartSurviveOnlyWhereDocumented) {
  ProfileEngine e;
  e.vars().ClearAllVariables();
  SetPredefinedVariables(e.engine(), e.run());
  maintenance::RunBootstrap(e.engine(), e.run());
  // As a loaded state file leaves them.
  e.vars().DeclareVariable("NATIVE_ENGINE", "TRUE", "Bootstrap");
  e.vars().DeclareVariable("OVERRIDECACHE", "D:\\Cache\\", "Bootstrap");
  e.vars().DeclareVariable("NATIVE_ERROR", "IGNORE", "Bootstrap");
  SetRunStartVariables(e.engine(), e.run());
  ExpectValues(e.vars(), {{"NATIVE_ENGINE", "TRUE"}, {"OVERRIDECACHE", "D:\\Cache\\"},
                          {"NATIVE_ERROR", "PROMPT"}});
}

TEST(PredefinedVariablesTest, NamesListMatchesWhatTheRunStartSets) {
  ProfileEngine e;
  e.Start();
  std::vector<std::string> set_names;
  e.vars().Manager().Names(set_names);
  std::set<std::string> set_upper, listed_upper;
  for (const auto& n : set_names) set_upper.insert(base::ToUpper(n));
  for (const auto& n : PredefinedVariableNames()) {
    EXPECT_TRUE(listed_upper.insert(base::ToUpper(n)).second) << "listed twice: " << n;
  }
  EXPECT_EQ(set_upper, listed_upper);
}

// --- command-line overrides ------------------------------------------------

TEST(CommandLineOverridesTest, SilentRunProtectsOverridesFromTheScript) {
  for (bool silent : {true, false}) {
    ProfileEngine e;
    e.engine().settings.silent = silent;
    e.engine().settings.overrides = {"TARGETDIR", "D:\\App", "NATIVE_ENGINE", "TRUE"};
    e.Start();
    EXPECT_EQ(e.vars().GetVariable("TARGETDIR"), "D:\\App");
    EXPECT_EQ(e.vars().GetVariable("NATIVE_ENGINE"), "TRUE");
    e.vars().AssignVariable("TARGETDIR", "C:\\Elsewhere\\", "Set Variable Action");
    EXPECT_EQ(e.vars().GetVariable("TARGETDIR"), silent ? "D:\\App" : "C:\\Elsewhere\\")
        << "silent=" << silent;
  }
}

TEST(CommandLineOverridesTest, AppliedInOrderAndNewNamesDeclared) {
  ProfileEngine e;
  e.engine().settings.silent = true;
  e.engine().settings.overrides = {"MYSETTING", "On", "TITLE", "First", "TITLE", "Second Title",
                                   "DANGLING"};
  e.Start();
  EXPECT_EQ(e.vars().GetVariable("MYSETTING"), "On");
  EXPECT_EQ(e.vars().GetVariable("TITLE"), "Second Title");
  EXPECT_FALSE(e.vars().VariableExists("DANGLING"));
  // The store protects exactly these names even when the entry did not
  // hand them over.
  e.vars().AssignVariable("MYSETTING", "Off", "Set Variable Action");
  EXPECT_EQ(e.vars().GetVariable("MYSETTING"), "On");
}

// --- resume entries --------------------------------------------------------

TEST(ResumeEntryCleanupTest, RemovesOnlyThisProductsEntries) {
  struct Case {
    std::string product_code;
    bool removed;
  };
  const Case cases[] = {
      {"{11111111-2222-3333-4444-555555555555}", true},
      {"{1111111", false},  // too short: nothing to match, nothing removed
      {"11111111-2222", false},
      {"", false},
  };
  for (const Case& c : cases) {
    ProfileEngine e;
    e.engine().script.product_code = c.product_code;
    platform::Registry& reg = e.machine().Reg();
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine})
      for (const char* key : {kRunOnce, kRun}) {
        ASSERT_EQ(reg.WriteValue(root, key, "11111111", RegView::kDefault,
                                 RegValue::String("C:\\Setup\\setup.exe")), 0);
        ASSERT_EQ(reg.WriteValue(root, key, "22222222", RegView::kDefault,
                                 RegValue::String("other.exe")), 0);
      }
    e.Start();
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine})
      for (const char* key : {kRunOnce, kRun}) {
        EXPECT_EQ(reg.ReadString(root, key, "11111111").has_value(), !c.removed)
            << c.product_code << " " << key;
        EXPECT_TRUE(reg.ReadString(root, key, "22222222").has_value()) << key;
      }
  }
}

// --- per-command refresh ---------------------------------------------------

TEST(RefreshBeforeCommandTest, LoggedAndSilentAreReadBack) {
  ProfileEngine e;
  e.engine().settings.log_file = "C:\\Logs\\first.log";
  e.engine().log.SetPath("C:\\Logs\\first.log");
  ASSERT_EQ(e.machine().Files().CreateFolderTree("C:\\Logs"), 0);
  e.Start();
  e.engine().log.Write("one");

  e.vars().AssignVariable("LOGGED", "C:\\Logs\\second.log", "Set Variable Action");
  e.vars().AssignVariable("SILENT", "true", "Set Variable Action");
  RefreshBeforeCommand(e.engine(), e.run());
  EXPECT_EQ(e.engine().log.path(), "C:\\Logs\\second.log");
  EXPECT_TRUE(e.engine().settings.silent);
  EXPECT_TRUE(e.vars().Silent());
  e.engine().log.Write("two");
  std::string data;
  ASSERT_EQ(e.machine().Files().ReadWholeFile("C:\\Logs\\second.log", &data), 0);
  EXPECT_EQ(data, std::string("t\0w\0o\0\r\0\n\0", 10));

  e.vars().AssignVariable("SILENT", "FALSE", "Set Variable Action");
  RefreshBeforeCommand(e.engine(), e.run());
  EXPECT_FALSE(e.vars().Silent());
}

TEST(RefreshBeforeCommandTest, DateAndTimeUseTheUsersFormats) {
  ProfileEngine e({}, {{"format.short_date", "yyyy-MM-dd"}, {"format.long_time", "HH'h'mm"}});
  e.Start();
  const std::regex date("[0-9]{4}-[0-9]{2}-[0-9]{2}");
  const std::regex time("[0-9]{2}h[0-9]{2}");
  EXPECT_TRUE(std::regex_match(e.vars().GetVariable("DATE"), date)) << e.vars().GetVariable("DATE");
  EXPECT_TRUE(std::regex_match(e.vars().GetVariable("TIME"), time)) << e.vars().GetVariable("TIME");
  e.vars().AssignVariable("DATE", "old", "Set Variable Action");
  e.vars().AssignVariable("TIME", "old", "Set Variable Action");
  RefreshBeforeCommand(e.engine(), e.run());
  EXPECT_TRUE(std::regex_match(e.vars().GetVariable("DATE"), date)) << e.vars().GetVariable("DATE");
  EXPECT_TRUE(std::regex_match(e.vars().GetVariable("TIME"), time)) << e.vars().GetVariable("TIME");
}

TEST(DateTimeFormatTest, PicturesAsTheLocaleWritesThem) {
  auto at = [](int64_t unix_seconds) {
    return base::CivilTimeFromFileTime(
        static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ull);
  };
  const base::CivilTime leap_day = at(1709211909);  // Thursday 2024-02-29 13:05:09
  const base::CivilTime midnight = at(946684800);   // Saturday 2000-01-01 00:00:00
  const base::CivilTime epoch = base::CivilTimeFromFileTime(0);  // Monday 1601-01-01
  struct Case {
    const char* picture;
    const base::CivilTime* time;
    bool is_date;
    const char* expected;
  };
  const Case cases[] = {
      {"M/d/yyyy", &leap_day, true, "2/29/2024"},
      {"dd.MM.yy", &leap_day, true, "29.02.24"},
      {"dddd, MMMM d, yyyy", &leap_day, true, "Thursday, February 29, 2024"},
      {"ddd d MMM", &midnight, true, "Sat 1 Jan"},
      {"'Day' d 'of' M", &leap_day, true, "Day 29 of 2"},
      {"'it''s' yyyy", &leap_day, true, "it's 2024"},
      {"'unterminated", &leap_day, true, "unterminated"},
      {"dddd yyyy", &epoch, true, "Monday 1601"},
      {"h:mm:ss tt", &leap_day, false, "1:05:09 PM"},
      {"HH:mm:ss", &leap_day, false, "13:05:09"},
      {"hh t", &leap_day, false, "01 P"},
      {"h:mm tt", &midnight, false, "12:00 AM"},
      {"H:m:s", &midnight, false, "0:0:0"},
  };
  for (const Case& c : cases) {
    const std::string got = c.is_date ? base::FormatDatePicture(c.picture, *c.time)
                                      : base::FormatTimePicture(c.picture, *c.time);
    EXPECT_EQ(got, c.expected) << c.picture;
  }
}

}  // namespace
}  // namespace kestrawl::script
