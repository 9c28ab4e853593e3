// The removal processor: changes are made through the change kinds, their
// undo entries flushed to a change log, then a removal or a rollback must
// leave the machine as it was before (and keep what others added meanwhile).
// Also the clean-up of a foreign change log.
#include "engine/native/removal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>

#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/kinds_fixture.h"
#include "platform/assembly_cache.h"
#include "platform/fault_injection.h"
#include "platform/private_profile.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_machine.h"

namespace kestrawl::engine::native {
namespace {

namespace fs = platform;
using platform::RegRoot;
using platform::RegValue;

// The machine's system facts, with a hook on the tick count: progress is
// forwarded to the variables with a tick, so the hook sees every report.
class HookedSystem : public fs::System {
 public:
  explicit HookedSystem(fs::System& target) : target_(target) {}
  const fs::MachineFacts& Facts() override { return target_.Facts(); }
  fs::Win32Error SpecialFolder(int csidl, std::string* path) override { return target_.SpecialFolder(csidl, path); }
  std::string TempFolder() override { return target_.TempFolder(); }
  std::string WindowsFolder() override { return target_.WindowsFolder(); }
  std::string GetEnv(const std::string& name) override { return target_.GetEnv(name); }
  bool HasEnv(const std::string& name) override { return target_.HasEnv(name); }
  void SetEnv(const std::string& name, const std::string& value) override { target_.SetEnv(name, value); }
  void UnsetEnv(const std::string& name) override { target_.UnsetEnv(name); }
  std::map<std::string, std::string> EnvironmentBlock() override { return target_.EnvironmentBlock(); }
  std::string ExpandEnvironment(const std::string& text) override { return target_.ExpandEnvironment(text); }
  uint32_t TickCount() override {
    if (on_tick) on_tick();
    return target_.TickCount();
  }
  uint64_t TickCount64() override { return target_.TickCount64(); }
  uint64_t Now() override { return target_.Now(); }
  std::function<void()> on_tick;

 private:
  fs::System& target_;
};

// Files that can be moved only at restart while no_move is set.
class NoMoveFiles : public fs::FileSystemWrapper {
 public:
  using fs::FileSystemWrapper::FileSystemWrapper;
  fs::Win32Error MoveFile(const std::string& from, const std::string& to, uint32_t flags) override {
    if (no_move && (flags & fs::move::kDelayUntilReboot) == 0) return fs::err::kAccessDenied;
    return fs::FileSystemWrapper::MoveFile(from, to, flags);
  }
  bool no_move = false;
};

class RemovalPlatform : public fs::Platform {
 public:
  explicit RemovalPlatform(fs::Platform& target)
      : target_(target), files(target.Files(), &plan), registry(target.Reg(), &plan), system(target.Sys()) {}
  fs::FileSystem& Files() override { return files; }
  fs::Registry& Reg() override { return registry; }
  fs::System& Sys() override { return system; }
  fs::Processes& Procs() override { return target_.Procs(); }
  fs::Services& Svc() override { return target_.Svc(); }

 private:
  fs::Platform& target_;

 public:
  fs::FaultPlan plan;
  NoMoveFiles files;
  fs::RegistryWrapper registry;
  HookedSystem system;
};

constexpr const char* kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr const char* kOdbcDriverKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\KwDriver";
constexpr const char* kOdbcDrivers = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";

class RemovalTest : public KindsTest {
 protected:
  // Names the instance's own cache folder, which holds the default log.
  static constexpr const char* kRevisionCode = "{66666666-7777-8888-9999-000000000000}";

  RemovalTest()
      : KindsTest([](fs::Platform& machine) { return std::make_unique<RemovalPlatform>(machine); }, kRevisionCode),
        platform_(static_cast<RemovalPlatform&>(*wrapper_)) {}

  // Writes the pending entries to the log in force.
  void FlushLog() {
    ASSERT_EQ(Flush(files(), run_.native, ResolveLogPrefix(engine_)), 0u);
  }
  // Points NATIVE_LOGGING at a new log of its own.
  void UseLog(const std::string& prefix) {
    ASSERT_TRUE(CheckOrCreateLogFiles(files(), prefix, true));
    SetVar("NATIVE_LOGGING", prefix);
  }
  int Remove(bool uninstall = true) {
    FlushLog();
    return RunRemoval(native_, uninstall);
  }
  // The four log files at the prefix in force, as one text.
  std::string LogBytes() {
    const std::string prefix = ResolveLogPrefix(engine_);
    std::string all;
    for (const char* suffix : {kElementsSuffix, kDataSuffix, kWeightSuffix, kBitnessSuffix}) {
      std::string text;
      files().ReadWholeFile(prefix + suffix, &text);
      all += text + "|";
    }
    return all;
  }

  bool KeyExists(const std::string& key) { return reg().KeyExists(RegRoot::kLocalMachine, key, view()) == 0; }
  // The trace lines written so far (the log is UTF-16LE; these lines are ASCII).
  std::vector<std::string> TraceLines() {
    std::string raw = Text(kTracePath), ascii;
    for (size_t i = 0; i < raw.size(); i += 2) ascii.push_back(raw[i]);
    std::vector<std::string> lines;
    for (std::string& line : base::Split(ascii, '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }
  static constexpr const char* kTracePath = "C:\\trace.log";

  RemovalPlatform& platform_;
};

std::vector<std::string> WriteRegistry(const std::string& key, const std::string& name, const std::string& data) {
  return {"FALSE", "2|", key, name, data, "STRING"};
}

// --- the processor ---------------------------------------------------------

TEST_F(RemovalTest, EmptyLogCompletesAtOnceWithoutCreatingALog) {
  EXPECT_EQ(RunRemoval(native_, true), 1);
  EXPECT_EQ(RunRemoval(native_, false), 1);
  EXPECT_FALSE(files().Exists(base::ExtractFilePath(ResolveLogPrefix(engine_))));
}

TEST_F(RemovalTest, ProgressFallsDuringRollbackAndRisesDuringRemoval) {
  for (const bool uninstall : {false, true}) {
    SCOPED_TRACE(uninstall ? "removal" : "rollback");
    ASSERT_TRUE(Apply("Create Folder", {"C:\\P1"}));                    // 1024
    ASSERT_TRUE(Apply("Write Registry", WriteRegistry("SOFTWARE", "KwP", "x")));  // 512
    ASSERT_TRUE(Apply("Create Folder", {"C:\\P2\\Q"}));                 // 2048
    FlushLog();
    SetVar("NATIVE_PROGRESS", "777");
    run_.native.progress_total = 99;
    run_.bitness = "ia64";

    std::vector<std::string> seen;  // VELK_thProgress just before each report
    platform_.system.on_tick = [&] { seen.push_back(Var("VELK_thProgress")); };
    ASSERT_EQ(RunRemoval(native_, uninstall), 1);
    platform_.system.on_tick = nullptr;
    seen.push_back(Var("VELK_thProgress"));
    seen.erase(seen.begin());

    const std::vector<std::string> expected =
        uninstall ? std::vector<std::string>{"2048", "2560", "3584"} : std::vector<std::string>{"1536", "1024", "0"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(Var("VELK_thMax"), "3584");
    EXPECT_EQ(Var("NATIVE_PROGRESS"), "777");
    EXPECT_EQ(run_.native.progress_total, 99);
    EXPECT_EQ(run_.bitness, "ia64");
    EXPECT_FALSE(native_.rollback);
    EXPECT_FALSE(files().Exists("C:\\P1"));
    EXPECT_FALSE(files().Exists("C:\\P2"));
    EXPECT_FALSE(Value(RegRoot::kLocalMachine, "SOFTWARE", "KwP"));
    // Start the next round from an empty log.
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
    run_.bitness = "Win32";
  }
}

TEST_F(RemovalTest, AbortInAPromptStopsAndLeavesTheLog) {
  ASSERT_TRUE(Apply("Create Folder", {"C:\\A1"}));
  ASSERT_TRUE(Apply("Write Registry", WriteRegistry("SOFTWARE\\KwAbort", "v", "x")));
  FlushLog();
  const std::string before = LogBytes();
  platform_.plan.FailCall("DeleteValue", fs::err::kAccessDenied, 1, true);
  host_.answer = ui::answer::kCancel;

  EXPECT_EQ(RunRemoval(native_, true), 0);
  ASSERT_EQ(host_.prompts.size(), 1u);
  EXPECT_NE(host_.prompts[0].text.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\KwAbort\\v"), std::string::npos);
  EXPECT_EQ(Var("VELK_IsCancelled"), "TRUE");
  // The earlier entry was not reached; the log is as it was.
  EXPECT_TRUE(files().FolderExists("C:\\A1"));
  EXPECT_TRUE(Value(RegRoot::kLocalMachine, "SOFTWARE\\KwAbort", "v"));
  EXPECT_EQ(LogBytes(), before);
}

TEST_F(RemovalTest, RollbackDeletesALogItsFlushCreatedButKeepsAnOlderOne) {
  for (const bool log_existed : {false, true}) {
    SCOPED_TRACE(log_existed ? "log existed" : "new log");
    const std::string prefix = ResolveLogPrefix(engine_);
    const std::string folder = base::ExtractFilePath(prefix);
    if (log_existed) {
      ASSERT_TRUE(Apply("Create Folder", {"C:\\Earlier"}));
      FlushLog();
    }
    ASSERT_TRUE(Apply("Create Folder", {"C:\\R1"}));
    EXPECT_EQ(RunRemoval(native_, false), 1);
    EXPECT_FALSE(files().Exists("C:\\R1"));
    EXPECT_FALSE(files().Exists("C:\\Earlier"));
    EXPECT_EQ(files().FolderExists(folder), log_existed);
    EXPECT_EQ(files().FileExists(prefix + kDataSuffix), log_existed);
    if (log_existed) {
      EXPECT_EQ(Text(prefix + kDataSuffix), "C:\\Earlier\r\nC:\\R1\r\n");
    }
  }
}

TEST_F(RemovalTest, TraceShowsEachEntryAndWhatWasRemoved) {
  engine_.log.SetPath(kTracePath);
  reg().CreateKey(RegRoot::kLocalMachine, "SOFTWARE\\KwBase", view());
  ASSERT_TRUE(Apply("Write Registry", WriteRegistry("SOFTWARE\\KwBase\\A\\B", "v", "x")));
  const size_t applied = TraceLines().size();
  ASSERT_EQ(Remove(), 1);
  const std::vector<std::string> lines = TraceLines();
  const std::vector<std::string> removal(lines.begin() + static_cast<std::ptrdiff_t>(applied), lines.end());
  EXPECT_EQ(removal, (std::vector<std::string>{
                         "        <Delete Registry>",
                         "        < -2147483646|,SOFTWARE\\KwBase\\A\\B,v,SOFTWARE\\KwBase\\A\\B,SOFTWARE\\KwBase\\A >",
                         "          < HKEY_LOCAL_MACHINE\\SOFTWARE\\KwBase\\A\\B\\v >",
                         "          < HKEY_LOCAL_MACHINE\\SOFTWARE\\KwBase\\A\\B >",
                         "          < HKEY_LOCAL_MACHINE\\SOFTWARE\\KwBase\\A >",
                         "        </Delete Registry>",
                     }));
}

TEST_F(RemovalTest, EachEntryRunsInTheViewOfItsBitness) {
  run_.bitness = "x64";
  ASSERT_TRUE(Apply("Write Registry", WriteRegistry("SOFTWARE\\Kw64", "v", "x")));
  run_.bitness = "Win32";
  ASSERT_EQ(reg().KeyExists(RegRoot::kLocalMachine, "SOFTWARE\\Kw64", fs::RegView::k64), 0u);
  ASSERT_EQ(Remove(), 1);
  EXPECT_NE(reg().KeyExists(RegRoot::kLocalMachine, "SOFTWARE\\Kw64", fs::RegView::k64), 0u);
  EXPECT_EQ(run_.bitness, "Win32");
}

TEST_F(RemovalTest, DamagedLogEntriesAreReportedNotFatal) {
  files().CreateFolderTree("C:\\Bad");
  const std::string prefix = ResolveLogPrefix(engine_);
  PendingUndo damaged;
  damaged.elements = {"Delete Folder", "Frobnicate", "Delete Registry", "Remove INI Entry", "Delete Environment", ""};
  damaged.data = {"C:\\Bad", "x", "\"12345|,SOFTWARE\\X,v\"", "\"C:\\a.ini,,k,\"", "\"x,Environment,N,t,1,FALSE\"",
                  "C:\\Bad"};
  damaged.weights = {"1024", "12a", "-5", "", "99999999999999999999", "0"};
  damaged.bitness = {"", "x64", "Win32", "Win32", "Win32", ""};
  ASSERT_EQ(WriteLog(files(), prefix, damaged), 0u);

  EXPECT_EQ(RunRemoval(native_, true), 1);
  // One prompt per entry that cannot be undone as written; the user went on.
  ASSERT_EQ(host_.prompts.size(), 4u);
  for (const Prompt& prompt : host_.prompts)
    EXPECT_EQ(prompt.text.rfind("The parameter is incorrect.", 0), 0u) << prompt.text;
  EXPECT_FALSE(files().Exists("C:\\Bad"));
}

// --- registry and folders ---------------------------------------------------

TEST_F(RemovalTest, CreatedKeysGoDeepestFirstWhileEmpty) {
  struct Case {
    const char* name;
    const char* added_meanwhile;  // key (below KwBase) that got another value
    std::vector<const char*> keys_left;
    std::vector<const char*> keys_gone;
  } cases[] = {
      {"untouched", nullptr, {"SOFTWARE\\KwBase"}, {"SOFTWARE\\KwBase\\A"}},
      {"middle key got a value", "A\\B", {"SOFTWARE\\KwBase\\A\\B"}, {"SOFTWARE\\KwBase\\A\\B\\C"}},
      {"deepest key got a value", "A\\B\\C", {"SOFTWARE\\KwBase\\A\\B\\C"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reg().CreateKey(RegRoot::kLocalMachine, "SOFTWARE\\KwBase", view());
    ASSERT_TRUE(Apply("Write Registry", WriteRegistry("SOFTWARE\\KwBase\\A\\B\\C", "v", "x")));
    if (c.added_meanwhile)
      reg().SetValue(RegRoot::kLocalMachine, std::string("SOFTWARE\\KwBase\\") + c.added_meanwhile, "other", view(),
                     RegValue::String("keep"));
    ASSERT_EQ(Remove(), 1);
    EXPECT_FALSE(Value(RegRoot::kLocalMachine, "SOFTWARE\\KwBase\\A\\B\\C", "v"));
    for (const char* key : c.keys_left) EXPECT_TRUE(KeyExists(key)) << key;
    for (const char* key : c.keys_gone) EXPECT_FALSE(KeyExists(key)) << key;
    reg().DeleteTree(RegRoot::kLocalMachine, "SOFTWARE\\KwBase", view());
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

TEST_F(RemovalTest, CreatedFoldersGoDeepestFirstWhileEmpty) {
  struct Case {
    const char* name;
    std::function<void(fs::FileSystem&)> meanwhile;
    std::vector<const char*> left;
  } cases[] = {
      {"untouched", [](fs::FileSystem&) {}, {}},
      {"a file in the middle folder", [](fs::FileSystem& f) { f.WriteWholeFile("C:\\Kw\\One\\keep.txt", "k"); },
       {"C:\\Kw\\One", "C:\\Kw"}},
      {"deepest folder already removed", [](fs::FileSystem& f) { f.RemoveFolder("C:\\Kw\\One\\Two"); },
       {"C:\\Kw\\One", "C:\\Kw"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Apply("Create Folder", {"C:\\Kw\\One\\Two"}));
    c.meanwhile(files());
    ASSERT_EQ(Remove(), 1);
    EXPECT_FALSE(files().Exists("C:\\Kw\\One\\Two"));
    for (const char* folder : c.left) EXPECT_TRUE(files().FolderExists(folder)) << folder;
    if (c.left.empty()) {
      EXPECT_FALSE(files().Exists("C:\\Kw"));
    }
    files().DeleteTree("C:\\Kw");
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

// --- files ------------------------------------------------------------------

TEST_F(RemovalTest, SharedFileStaysUntilItsLastProductIsRemoved) {
  AddGroup("0000ABCD", {{"shared.dll", ""}});
  SetVar("NATIVE_OVERWRITE", "ALWAYS");
  SetVar("NATIVE_OVERWRITE_OLDER", "TRUE");
  const std::vector<std::string> shared_install = {"0000ABCD", "C:\\App", "FALSE", "FALSE", "FALSE",
                                                   "FALSE",    "FALSE",   "TRUE",  "FALSE", "FALSE"};
  // Two products, each with its own log.
  UseLog("C:\\Logs\\first");
  ASSERT_TRUE(Apply("Install Files", shared_install));
  FlushLog();
  UseLog("C:\\Logs\\second");
  ASSERT_TRUE(Apply("Install Files", shared_install));
  FlushLog();
  ASSERT_EQ(Value(RegRoot::kLocalMachine, kSharedDlls, "C:\\App\\shared.dll"), RegValue::Dword(2));

  SetVar("NATIVE_LOGGING", "C:\\Logs\\first");
  ASSERT_EQ(RunRemoval(native_, true), 1);
  EXPECT_EQ(Value(RegRoot::kLocalMachine, kSharedDlls, "C:\\App\\shared.dll"), RegValue::Dword(1));
  EXPECT_TRUE(files().FileExists("C:\\App\\shared.dll"));

  SetVar("NATIVE_LOGGING", "C:\\Logs\\second");
  ASSERT_EQ(RunRemoval(native_, true), 1);
  EXPECT_FALSE(Value(RegRoot::kLocalMachine, kSharedDlls, "C:\\App\\shared.dll"));
  EXPECT_FALSE(files().FileExists("C:\\App\\shared.dll"));
  EXPECT_FALSE(run_.native.reboot_pending);
}

TEST_F(RemovalTest, SelfRegisteredFileIsUnregisteredBeforeItGoes) {
  AddGroup("0000ABCD", {{"lib.dll", ""}});
  for (const char* shared : {"FALSE", "TRUE"}) {
    SCOPED_TRACE(std::string("shared ") + shared);
    files().DeleteFile("C:\\Windows\\Logs\\regsvr32.log");
    ASSERT_TRUE(Apply("Install Files", {"0000ABCD", "C:\\Reg", "FALSE", "FALSE", "FALSE", "FALSE", "TRUE", shared,
                                        "FALSE", "FALSE"}));
    ASSERT_EQ(Text("C:\\Windows\\Logs\\regsvr32.log"), "\"C:\\Reg\\lib.dll\" /s\r\n");
    ASSERT_EQ(Remove(), 1);
    EXPECT_EQ(Text("C:\\Windows\\Logs\\regsvr32.log"), "\"C:\\Reg\\lib.dll\" /s\r\n\"C:\\Reg\\lib.dll\" /u /s\r\n");
    EXPECT_FALSE(files().Exists("C:\\Reg"));
    EXPECT_FALSE(Value(RegRoot::kLocalMachine, kSharedDlls, "C:\\Reg\\lib.dll"));
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

TEST_F(RemovalTest, FileInUseIsMovedAsideOrDeletedAtRestart) {
  struct Case {
    const char* name;
    bool can_move;
    bool reboot_pending;
  } cases[] = {{"moved aside", true, false}, {"cannot be moved", false, true}};
  AddGroup("0000ABCD", {{"busy.exe", ""}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run_.native.reboot_pending = false;
    ASSERT_TRUE(Apply("Install Files", {"0000ABCD", "C:\\Busy", "FALSE", "FALSE", "FALSE", "FALSE", "FALSE", "FALSE",
                                        "FALSE", "FALSE"}));
    std::string host;
    ASSERT_EQ(files().GetNativePath("C:\\Busy\\busy.exe", &host), 0u);
    const int fd = open(host.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    platform_.files.no_move = !c.can_move;
    const int result = Remove();
    platform_.files.no_move = false;
    close(fd);

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(host_.prompts.empty());
    EXPECT_EQ(run_.native.reboot_pending, c.reboot_pending);
    EXPECT_EQ(files().FileExists("C:\\Busy\\busy.exe"), !c.can_move);
    EXPECT_EQ(files().FileExists("C:\\Busy\\busy.exe.0"), c.can_move);
    // The restart finishes the job; the folder, still holding the file, stayed.
    fixture_.machine().SimFiles().ProcessPendingRenames();
    EXPECT_FALSE(files().FileExists("C:\\Busy\\busy.exe"));
    EXPECT_FALSE(files().FileExists("C:\\Busy\\busy.exe.0"));
    files().DeleteTree("C:\\Busy");
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

// --- system facilities ------------------------------------------------------

TEST_F(RemovalTest, ServiceItsProgramAndDescriptionAreRemoved) {
  AddGroup("0000000A", {{"svc.exe", ""}});
  ASSERT_TRUE(Apply("Install Service", {"0000000A", "KwSvc", "Kestrawl Service", "Does things", "", "", "C:\\Svc", "0",
                                        "FALSE", "1", "1", "", "", ""}));
  uint32_t state = 0;
  ASSERT_EQ(fixture_.machine().Svc().QueryState("KwSvc", &state), 0u);
  ASSERT_EQ(Remove(), 1);
  EXPECT_TRUE(host_.prompts.empty());
  EXPECT_EQ(fixture_.machine().Svc().QueryState("KwSvc", &state), fs::svc::kServiceDoesNotExist);
  EXPECT_FALSE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\KwSvc"));
  EXPECT_FALSE(files().Exists("C:\\Svc"));
}

TEST_F(RemovalTest, OdbcDriverGoesWithItsLastUse) {
  struct Case {
    const char* name;
    int other_uses;      // uses registered before this install
    bool key_removed;    // someone removed the driver key meanwhile
    bool driver_left;
  } cases[] = {
      {"only this install", 0, false, false},
      {"another product uses it", 1, false, true},
      {"key removed meanwhile", 0, true, false},
  };
  AddGroup("0000000B", {{"kwdrv.dll", ""}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.other_uses > 0) {
      reg().CreateKey(RegRoot::kLocalMachine, kOdbcDriverKey, view());
      reg().SetValue(RegRoot::kLocalMachine, kOdbcDriverKey, "UsageCount", view(), RegValue::Dword(c.other_uses));
    }
    ASSERT_TRUE(Apply("Install ODBC Driver", {"0000000B", "KwDriver", "C:\\Odbc", "APILevel=1"}));
    ASSERT_TRUE(files().FileExists("C:\\Odbc\\kwdrv.dll"));
    if (c.key_removed) reg().DeleteTree(RegRoot::kLocalMachine, kOdbcDriverKey, view());

    ASSERT_EQ(Remove(), 1);
    EXPECT_TRUE(host_.prompts.empty());
    EXPECT_EQ(KeyExists(kOdbcDriverKey), c.driver_left);
    EXPECT_EQ(files().FileExists("C:\\Odbc\\kwdrv.dll"), c.driver_left);
    EXPECT_EQ(Value(RegRoot::kLocalMachine, kOdbcDrivers, "KwDriver").has_value(), c.driver_left);
    if (c.driver_left) {
      EXPECT_EQ(Value(RegRoot::kLocalMachine, kOdbcDriverKey, "UsageCount"), RegValue::Dword(c.other_uses));
    }
    reg().DeleteTree(RegRoot::kLocalMachine, "SOFTWARE\\ODBC", view());
    files().DeleteTree("C:\\Odbc");
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

TEST_F(RemovalTest, DataSourceIsRemoved) {
  reg().CreateKey(RegRoot::kLocalMachine, kOdbcDriverKey, view());
  reg().SetValue(RegRoot::kLocalMachine, kOdbcDriverKey, "Driver", view(), RegValue::String("C:\\kwdrv.dll"));
  for (const char* system : {"TRUE", "FALSE"}) {
    SCOPED_TRACE(system);
    const RegRoot root = std::string(system) == "TRUE" ? RegRoot::kLocalMachine : RegRoot::kCurrentUser;
    ASSERT_TRUE(Apply("Create ODBC DSN", {"KwDsn", "KwDriver", system, "Server=here"}));
    ASSERT_EQ(reg().KeyExists(root, "SOFTWARE\\ODBC\\ODBC.INI\\KwDsn", view()), 0u);
    ASSERT_EQ(Remove(), 1);
    EXPECT_NE(reg().KeyExists(root, "SOFTWARE\\ODBC\\ODBC.INI\\KwDsn", view()), 0u);
    EXPECT_FALSE(Value(root, "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", "KwDsn"));
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

TEST_F(RemovalTest, AssemblyLosesThisInstancesReference) {
  AddGroup("0000000C", {{"Kw.Lib.dll", "Kw.Lib"}});
  fs::System& sys = fixture_.machine().Sys();
  // Another product holds a reference of its own.
  ASSERT_EQ(fs::gac::InstallAssembly(files(), sys, "Kw.Lib", std::string(kDataFolder) + "Kw.Lib.dll",
                                     {fs::gac::kOpaqueStringScheme, "{OTHER}", "Other"}, false),
            0u);
  ASSERT_TRUE(Apply("Install Assembly", {"0000000C", "", "TRUE"}));
  ASSERT_EQ(fs::gac::References(files(), sys, "Kw.Lib").size(), 2u);
  ASSERT_EQ(Remove(), 1);
  const auto refs = fs::gac::References(files(), sys, "Kw.Lib");
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(refs[0].identifier, "{OTHER}");
}

// --- settings ---------------------------------------------------------------

TEST_F(RemovalTest, EnvironmentLosesOnlyTheAddedText) {
  struct Case {
    const char* name;
    const char* before;       // nullptr: no such variable
    const char* position;     // 1 after, 2 replace
    const char* meanwhile;    // the value set by someone else after the change
    const char* after;        // nullptr: the variable is gone
  } cases[] = {
      {"appended text removed", "C:\\a", "1", nullptr, "C:\\a"},
      {"new variable deleted", nullptr, "2", nullptr, nullptr},
      {"added text already gone", "C:\\a", "1", "C:\\b", "C:\\b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before) reg().WriteValue(RegRoot::kCurrentUser, "Environment", "KwPath", view(), RegValue::String(c.before));
    ASSERT_TRUE(Apply("Set Environment", {"KwPath", ";C:\\kw", "0", c.position, "TRUE", "FALSE"}));
    if (c.meanwhile)
      reg().WriteValue(RegRoot::kCurrentUser, "Environment", "KwPath", view(), RegValue::String(c.meanwhile));
    ASSERT_EQ(Remove(), 1);
    const auto value = Value(RegRoot::kCurrentUser, "Environment", "KwPath");
    if (c.after)
      EXPECT_EQ(value, RegValue::String(c.after));
    else
      EXPECT_FALSE(value);
    reg().DeleteValue(RegRoot::kCurrentUser, "Environment", "KwPath", view());
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

TEST_F(RemovalTest, IniEntryLosesOnlyTheAddedValue) {
  struct Case {
    const char* name;
    const char* before;     // nullptr: no such key
    const char* mode;       // 0 set, 3 add to the list
    const char* meanwhile;  // written by someone else after the change
    const char* after;      // nullptr: the key is gone
  } cases[] = {
      {"added list value removed", "x", "3", nullptr, "x"},
      {"list grown meanwhile", "x", "3", "y, x, z", "x, z"},
      {"new key deleted", nullptr, "0", nullptr, nullptr},
      {"added value already gone", "x", "3", "z", "z"},
  };
  const std::string ini = "C:\\Kw\\app.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files().CreateFolderTree("C:\\Kw");
    if (c.before) {
      ASSERT_EQ(fs::profile::WriteString(files(), ini, "S", "list", std::string(c.before)), 0u);
    }
    ASSERT_TRUE(Apply("Edit INI File", {ini, "S", "list", "y", c.mode}));
    if (c.meanwhile) {
      ASSERT_EQ(fs::profile::WriteString(files(), ini, "S", "list", std::string(c.meanwhile)), 0u);
    }
    ASSERT_EQ(Remove(), 1);
    EXPECT_EQ(fs::profile::GetString(files(), ini, "S", "list", "<none>", 1024), c.after ? c.after : "<none>");
    files().DeleteTree("C:\\Kw");
    DeleteLogs(files(), ResolveLogPrefix(engine_), false);
  }
}

// --- foreign change logs ----------------------------------------------------

TEST_F(RemovalTest, ForeignLogCleanUpDeletesTheFilesOrTheirFolder) {
  struct Case {
    const char* name;
    const char* logging;
    const char* old_log;
    bool folder_gone;
  } cases[] = {
      {"old log elsewhere", "C:\\Foreign\\prod", "C:\\Elsewhere\\prod", false},
      {"no old log", "C:\\Foreign\\prod", nullptr, false},
      {"old log in the same folder", "C:\\Foreign\\prod", "c:\\FOREIGN\\older", true},
      {"drive root is never deleted whole", "C:\\prod", "C:\\older", false},
      {"windows folder is never deleted whole", "C:\\Windows\\prod", "C:\\Windows\\older", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = base::ExtractFilePath(c.logging);
    ASSERT_TRUE(CheckOrCreateLogFiles(files(), c.logging, true));
    ASSERT_EQ(files().WriteWholeFile(folder + "other.txt", "x"), 0u);
    SetVar("NATIVE_LOGGING", c.logging);
    engine_.variables.DeleteVariable("NATIVE_OLDLOG");
    if (c.old_log) SetVar("NATIVE_OLDLOG", c.old_log);

    CleanUpForeignLog(engine_);
    for (const char* suffix : {kElementsSuffix, kDataSuffix, kWeightSuffix, kBitnessSuffix})
      EXPECT_FALSE(files().Exists(std::string(c.logging) + suffix)) << suffix;
    EXPECT_EQ(files().FolderExists(folder), !c.folder_gone);
    EXPECT_EQ(files().FileExists(folder + "other.txt"), !c.folder_gone);
    files().DeleteFile(folder + "other.txt");
  }
  EXPECT_TRUE(files().FolderExists("C:\\Windows\\System32"));
}

TEST_F(RemovalTest, ForeignLogCleanUpIgnoresAnUnsetLog) {
  ASSERT_TRUE(CheckOrCreateLogFiles(files(), "C:\\Keep\\prod", true));
  SetVar("NATIVE_OLDLOG", "C:\\Keep\\old");
  for (const char* logging : {"", "FALSE", "prod"}) {
    SetVar("NATIVE_LOGGING", logging);
    CleanUpForeignLog(engine_);
    EXPECT_TRUE(files().FileExists(std::string("C:\\Keep\\prod") + kDataSuffix)) << logging;
  }
}

}  // namespace
}  // namespace kestrawl::engine::native
