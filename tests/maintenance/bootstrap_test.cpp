// The bootstrap's identity and engine cache steps: where the identity comes
// from, where the engine cache lies, and what a first installation sets.
#include "maintenance/bootstrap.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "maintenance/engine_cache_location.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/store.h"
#include "script/predefined_variables.h"
#include "support/test_support.h"

namespace kestrawl::maintenance {
namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::sim::SimMachine;

constexpr const char* kCode = "{11111111-2222-3333-4444-555555555555}";
constexpr const char* kRevision = "{66666666-7777-8888-9999-AAAAAAAAAAAA}";

// Machine options: a profile, optionally for a standard (non-administrator) user.
platform::sim::InitOptions Machine(const std::string& profile = "win10", bool standard_user = false) {
  platform::sim::InitOptions o;
  o.profile = profile;
  o.standard_user = standard_user;
  return o;
}

class BootstrapEngine {
 public:
  explicit BootstrapEngine(platform::sim::InitOptions options = {}) {
    SimMachine::Init(dir_ / "machine", options);
    machine_ = SimMachine::Open(dir_ / "machine", {"setup"});
    engine_ = std::make_unique<script::EngineContext>(*machine_, messages_);
    script::WorkingPaths& p = engine_->paths;
    p.executable = "C:\\Setup\\setup.exe";
    p.executable_folder = "C:\\Setup\\";
    p.base_name = "setup";
    p.data_folder = "C:\\Setup\\data\\";
    engine_->script.product_code = kCode;
    engine_->script.revision_code = kRevision;
    engine_->script.product_title = "Test Product";
    EXPECT_EQ(machine_->Files().CreateFolderTree("C:\\Setup"), 0);
  }

  SimMachine& machine() { return *machine_; }
  script::EngineContext& engine() { return *engine_; }
  script::VariableStore& vars() { return engine_->variables; }
  std::string var(const char* name) { return engine_->variables.GetVariable(name); }
  void Run() { RunBootstrap(*engine_, run_); }
  script::RunState& run() { return run_; }

 private:
  testing::TempDir dir_;
  std::ostringstream out_;
  ui::ConsoleMessageHost messages_{out_};
  std::unique_ptr<SimMachine> machine_;
  std::unique_ptr<script::EngineContext> engine_;
  script::RunState run_;
};

TEST(BootstrapTest, FirstInstallationOnTheDefaultMachine) {
  BootstrapEngine e;
  e.Run();
  const std::string cache = std::string("C:\\ProgramData\\") + kRevision + "\\";
  const std::map<std::string, std::string> expected = {
      {"PRODUCTCODE", kCode},
      {"REVISIONCODE", kRevision},
      {"ENGINECACHE", cache},
      {"UNINSTALLLINK", cache + "setup.exe"},
      {"DATADIR", "C:\\Setup\\data\\"},
      {"NEEDSUPGRADE", "FALSE"},
      {"MAINTENANCE", "FALSE"},
      {"NATIVE_OLDLOG", ""},
      {"RECOMMENDEDUPGRADE", "FALSE"},
      {"NEWINSTANCE", "FALSE"},
      {"TARGETDIR", "C:\\Program Files (x86)\\Test Product\\"},
      {"STARTMENU", "Test Product"},
      {"ALLUSERS", "TRUE"},
  };
  for (const auto& [name, value] : expected) {
    EXPECT_TRUE(e.vars().VariableExists(name)) << name;
    EXPECT_EQ(e.vars().GetVariable(name), value) << name;
  }
  EXPECT_FALSE(IsInstanceInstalled(e.engine(), ResolveInstanceIdentity(e.machine().Files(),
                                                                       "C:\\Setup\\",
                                                                       e.engine().script)));
}

TEST(BootstrapTest, IdentityFromInstanceFile) {
  struct Case {
    const char* label;
    const char* file;  // nullptr: no instance.dat
    std::string code, revision, title;
  };
  const Case cases[] = {
      {"no file", nullptr, kCode, kRevision, "Test Product"},
      {"cached copy, BOM and CR LF",
       "\xEF\xBB\xBF{AAAAAAAA-0000-0000-0000-000000000001}\r\n"
       "{BBBBBBBB-0000-0000-0000-000000000002}\r\nCached Title\r\n",
       "{AAAAAAAA-0000-0000-0000-000000000001}", "{BBBBBBBB-0000-0000-0000-000000000002}",
       "Cached Title"},
      {"no title line", "{A}\n{B}\n", "{A}", "{B}", "Test Product"},
      {"damaged: one line", "{A}\n", kCode, kRevision, "Test Product"},
      {"damaged: empty code", "\r\n{B}\r\nT\r\n", kCode, kRevision, "Test Product"},
      {"empty file", "", kCode, kRevision, "Test Product"},
  };
  for (const Case& c : cases) {
    BootstrapEngine e;
    if (c.file) {
      ASSERT_EQ(e.machine().Files().WriteWholeFile("C:\\Setup\\instance.dat", c.file), 0);
    }
    e.Run();
    EXPECT_EQ(e.var("PRODUCTCODE"), c.code) << c.label;
    EXPECT_EQ(e.var("REVISIONCODE"), c.revision) << c.label;
    EXPECT_EQ(e.var("STARTMENU"), c.title) << c.label;
    EXPECT_EQ(e.var("TARGETDIR"), "C:\\Program Files (x86)\\" + c.title + "\\") << c.label;
    EXPECT_EQ(e.var("ENGINECACHE"), "C:\\ProgramData\\" + c.revision + "\\") << c.label;
  }
}

TEST(BootstrapTest, EngineCacheBase) {
  const std::string ident = std::string("SOFTWARE\\Dorvellin\\Kestrawl\\Ident.Cache\\") + kCode;
  struct Case {
    const char* label;
    std::string override_cache;
    std::map<RegRoot, std::string> registered;  // identity cache values
    std::vector<std::string> folders;            // folders that exist
    std::string base;
  };
  const std::string rev = kRevision;
  const Case cases[] = {
      {"default", "", {}, {}, "C:\\ProgramData\\"},
      {"override", "D:\\Cache\\", {}, {}, "D:\\Cache\\"},
      {"override without backslash", "D:\\Cache", {}, {}, "D:\\Cache\\"},
      {"override wins over the registry", "D:\\Cache\\",
       {{RegRoot::kLocalMachine, "C:\\Custom\\" + rev + "\\"}}, {"C:\\Custom\\" + rev}, "D:\\Cache\\"},
      {"machine-wide registration", "",
       {{RegRoot::kLocalMachine, "C:\\Custom\\" + rev + "\\"}}, {"C:\\Custom\\" + rev}, "C:\\Custom\\"},
      {"registration of another revision is ignored", "",
       {{RegRoot::kLocalMachine, "C:\\Custom\\{OTHER}\\"}}, {"C:\\Custom\\{OTHER}"},
       "C:\\ProgramData\\"},
      {"machine-wide folder gone: per-user registration", "",
       {{RegRoot::kLocalMachine, "C:\\Gone\\" + rev + "\\"},
        {RegRoot::kCurrentUser, "C:\\Mine\\" + rev}}, {}, "C:\\Mine\\"},
      {"machine-wide folder gone, no per-user value", "",
       {{RegRoot::kLocalMachine, "C:\\Gone\\" + rev + "\\"}}, {}, "C:\\ProgramData\\"},
  };
  for (const Case& c : cases) {
    BootstrapEngine e;
    for (const auto& [root, value] : c.registered)
      ASSERT_EQ(e.machine().Reg().WriteValue(root, ident, "", RegView::kDefault,
                                             RegValue::String(value)), 0);
    for (const auto& f : c.folders) ASSERT_EQ(e.machine().Files().CreateFolderTree(f), 0);
    if (!c.override_cache.empty()) e.vars().DeclareVariable("OVERRIDECACHE", c.override_cache, "Bootstrap");
    e.Run();
    EXPECT_EQ(e.var("ENGINECACHE"), c.base + rev + "\\") << c.label;
    EXPECT_EQ(e.var("UNINSTALLLINK"), c.base + rev + "\\setup.exe") << c.label;
  }
}

TEST(BootstrapTest, PerUserAndThirtyTwoBitMachines) {
  struct Case {
    platform::sim::InitOptions options;
    std::string cache_base, target, all_users;
  };
  const Case cases[] = {
      {Machine("win10", true), "C:\\Users\\User\\AppData\\Local\\",
       "C:\\Program Files (x86)\\Test Product\\", "FALSE"},
      {Machine("win7-32"), "C:\\ProgramData\\", "C:\\Program Files\\Test Product\\", "TRUE"},
      {Machine("win7-32", true), "C:\\Users\\User\\AppData\\Local\\",
       "C:\\Program Files\\Test Product\\", "FALSE"},
  };
  for (const Case& c : cases) {
    BootstrapEngine e(c.options);
    e.Run();
    EXPECT_EQ(e.var("ENGINECACHE"), c.cache_base + kRevision + "\\") << c.options.profile;
    EXPECT_EQ(e.var("TARGETDIR"), c.target) << c.options.profile;
    EXPECT_EQ(e.var("ALLUSERS"), c.all_users) << c.options.profile;
  }
}

TEST(BootstrapTest, DataInCacheMakesTheCacheTheSourceFolder) {
  for (int mode : {0, 2, 3}) {
    BootstrapEngine e;
    e.engine().script.cache_mode = mode;
    e.Run();
    const std::string expected =
        mode == 2 ? std::string("C:\\ProgramData\\") + kRevision + "\\" : "C:\\Setup\\data\\";
    EXPECT_EQ(e.var("DATADIR"), expected) << mode;
    EXPECT_EQ(e.engine().paths.data_folder, expected) << mode;
  }
}

TEST(BootstrapTest, ChangedOverrideCacheMovesTheCacheBeforeTheNextCommand) {
  BootstrapEngine e;
  e.Run();
  e.vars().AssignVariable("OVERRIDECACHE", "E:\\Other\\", "Set Variable Action");
  script::RefreshBeforeCommand(e.engine(), e.run());
  EXPECT_EQ(e.var("ENGINECACHE"), std::string("E:\\Other\\") + kRevision + "\\");
  EXPECT_EQ(e.var("UNINSTALLLINK"), std::string("E:\\Other\\") + kRevision + "\\setup.exe");
  e.vars().AssignVariable("OVERRIDECACHE", "", "Set Variable Action");
  script::RefreshBeforeCommand(e.engine(), e.run());
  EXPECT_EQ(e.var("ENGINECACHE"), std::string("C:\\ProgramData\\") + kRevision + "\\");
}

}  // namespace
}  // namespace kestrawl::maintenance
