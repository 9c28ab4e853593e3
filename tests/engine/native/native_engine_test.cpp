// Runs native-engine scripts through the interpreter on throw-away machines
// and checks the machine, the change plan and the change log afterwards.
#include "engine/native/native_engine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine/native/change_log.h"
#include "platform/fault_injection.h"
#include "platform/sim/sim_file_system.h"
#include "script/interpreter.h"
#include "support/script_fixture.h"

namespace kestrawl::engine::native {
namespace {

using testing::ScriptCommand;
using testing::ScriptFixture;
namespace fs = platform;

ScriptCommand Set(const std::string& name, const std::string& value) { return {"Set Variable", {name, value}}; }
ScriptCommand CreateFolder(const std::string& path) { return {"Create Folder", {path}}; }
// A string (or typed) value under HKEY_LOCAL_MACHINE.
ScriptCommand WriteReg(const std::string& key, const std::string& name, const std::string& data,
                       const std::string& type = "") {
  return {"Write Registry", {"0", "2", key, name, data, type.empty() ? "TRUE" : "FALSE", type}};
}
ScriptCommand Apply(bool plan) { return {"Apply Changes", {"", "RESULT", plan ? "TRUE" : "FALSE", "FALSE"}}; }
ScriptCommand InstallFiles(const std::string& destination) {
  return {"Install Files", {"", "", destination, "", "", "", "", "", "", "", "", ""}};
}

class NativeEngineTest : public ::testing::Test {
 protected:
  // Runs the commands silently after switching the native engine on.
  void Run(std::vector<ScriptCommand> commands, const std::vector<std::string>& file_headers = {},
           const std::vector<std::string>& command_headers = {}, const script::StepHook& hook = {}) {
    commands.insert(commands.begin(), Set("NATIVE_ENGINE", "TRUE"));
    f_.SetScript(commands);
    f_.engine().script.file_headers = file_headers;
    f_.engine().script.command_headers = command_headers;
    f_.engine().paths.data_folder = "C:\\data\\";
    f_.engine().settings.silent = true;
    script::RunScript(f_.engine(), f_.run(), hook);
  }
  std::string Var(const std::string& name) { return f_.vars().GetVariable(name); }
  fs::FileSystem& Files() { return f_.machine().Files(); }
  std::string Read(const std::string& path) {
    std::string data;
    EXPECT_EQ(Files().ReadWholeFile(path, &data), 0u) << path;
    return data;
  }
  void Write(const std::string& path, const std::string& data) {
    Files().CreateFolderTree(path.substr(0, path.rfind('\\')));
    ASSERT_EQ(Files().WriteWholeFile(path, data), 0u);
  }
  bool KeyExists(const std::string& key) {
    return f_.machine().Reg().KeyExists(fs::RegRoot::kLocalMachine, key, fs::RegView::k32) == 0;
  }
  ScriptFixture f_;
};

TEST_F(NativeEngineTest, ImmediateChangesLogUndoEntriesByteForByte) {
  Run({WriteReg("SOFTWARE\\Kw\\Three\\Levels", "Name", "value"), CreateFolder("C:\\Odd Folder\\a,b"),
       CreateFolder("C:\\Odd Folder"), Apply(false)});
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  fs::RegValue value;
  ASSERT_EQ(f_.machine().Reg().GetValue(fs::RegRoot::kLocalMachine, "SOFTWARE\\Kw\\Three\\Levels", "Name",
                                        fs::RegView::k32, &value),
            0u);
  EXPECT_EQ(value.AsString(), "value");
  EXPECT_TRUE(Files().FolderExists("C:\\Odd Folder\\a,b"));

  const std::string prefix = DefaultLogPrefix(f_.engine());
  // The second "Create Folder" found its folder made already: no entry.
  EXPECT_EQ(Read(prefix + ".native.elements.log"), "Delete Registry\r\nDelete Folder\r\n");
  EXPECT_EQ(Read(prefix + ".native.data.log"),
            "-2147483646|,SOFTWARE\\Kw\\Three\\Levels,Name,SOFTWARE\\Kw\\Three\\Levels,SOFTWARE\\Kw\\Three,"
            "SOFTWARE\\Kw\r\n"
            "\"C:\\Odd Folder\\a,b\",\"C:\\Odd Folder\"\r\n");
  EXPECT_EQ(Read(prefix + ".native.weight.log"), "2048\r\n2048\r\n");
  EXPECT_EQ(Read(prefix + ".native.bitness.log"), "Win32\r\nWin32\r\n");

  PendingUndo entries;
  ASSERT_TRUE(ReadLog(Files(), prefix, &entries));
  EXPECT_EQ(UnwrapUndoData(entries.elements[1], entries.data[1]),
            (std::vector<std::string>{"C:\\Odd Folder\\a,b", "C:\\Odd Folder"}));
}

TEST_F(NativeEngineTest, LoggingOffMakesChangesWithoutEntries) {
  Run({Set("NATIVE_LOGGING", "false"), CreateFolder("C:\\NoLog"), Apply(false)});
  EXPECT_TRUE(Files().FolderExists("C:\\NoLog"));
  EXPECT_TRUE(f_.run().native.pending.empty());
  // The installed instance has a change log, with nothing to reverse.
  EXPECT_EQ(Read(DefaultLogPrefix(f_.engine()) + ".native.elements.log"), "");
}

TEST_F(NativeEngineTest, IgnoredFailureLeavesNoUndoEntry) {
  Write("C:\\blocker", "a file where a folder should go");
  Run({Set("NATIVE_ERROR", "IGNORE"), CreateFolder("C:\\blocker\\sub"), WriteReg("SOFTWARE\\KwBad", "N", "12a",
                                                                                  "FALSE"),
       Apply(false)});
  // "FALSE" as the integer flag with no type word: an unknown type.
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_FALSE(Files().FolderExists("C:\\blocker\\sub"));
  EXPECT_FALSE(Files().FileExists(DefaultLogPrefix(f_.engine()) + ".native.elements.log") &&
               Read(DefaultLogPrefix(f_.engine()) + ".native.elements.log").find("Delete Folder") !=
                   std::string::npos);
}

TEST_F(NativeEngineTest, LoggingPrefixIsCheckedWhenSwitched) {
  Write("C:\\logs\\partial.native.elements.log", "");
  Run({Set("NATIVE_LOGGING", "C:\\logs\\partial"), Set("FIRST", "$NATIVE_LOGGING$"),
       Set("NATIVE_LOGGING", "C:\\logs\\fresh\\product"), CreateFolder("C:\\Logged"), Apply(false)});
  EXPECT_EQ(Var("FIRST"), "");
  EXPECT_EQ(Var("NATIVE_LOGGING"), "C:\\logs\\fresh\\product");
  EXPECT_EQ(ResolveLogPrefix(f_.engine()), "C:\\logs\\fresh\\product");
  EXPECT_EQ(Read("C:\\logs\\fresh\\product.native.elements.log"), "Delete Folder\r\n");
}

TEST_F(NativeEngineTest, SwitchingTheLogFlushesPendingEntriesToTheOldPlace) {
  Run({CreateFolder("C:\\Before"), Set("NATIVE_LOGGING", "C:\\other\\log")});
  EXPECT_EQ(Read(DefaultLogPrefix(f_.engine()) + ".native.elements.log"), "Delete Folder\r\n");
  EXPECT_EQ(Read("C:\\other\\log.native.elements.log"), "");
}

TEST_F(NativeEngineTest, DelayedModeRecordsThenAppliesInOrder) {
  // Before "Apply Changes" (command 5) runs, only the plan has changed.
  bool checked = false;
  auto before_apply = [&](size_t index) {
    if (index != 5) return true;
    checked = true;
    const NativeState& state = f_.run().native;
    EXPECT_EQ(state.plan.size(), 3u);
    EXPECT_EQ(state.plan[0].kind, "Create Folder");
    EXPECT_EQ(state.plan[0].position, 3u);
    EXPECT_EQ(state.plan[1].kind, "Write Registry");
    EXPECT_EQ(state.plan[1].record, "FALSE,2|,SOFTWARE\\KwPlan,V,1,STRING");
    EXPECT_EQ(state.plan_total, 1024 + 512 + 1024);
    EXPECT_FALSE(Files().FolderExists("C:\\Plan"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\KwPlan"));
    return true;
  };
  Run({Set("DELAYUNTIL_APPLYCHANGES", "TRUE"), CreateFolder("C:\\Plan\\One"),
       WriteReg("SOFTWARE\\KwPlan", "V", "1"), CreateFolder("C:\\Plan\\Two"), Apply(true)},
      {}, {}, before_apply);
  EXPECT_TRUE(checked);
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_TRUE(Files().FolderExists("C:\\Plan\\Two"));
  EXPECT_TRUE(KeyExists("SOFTWARE\\KwPlan"));
  EXPECT_EQ(Read(DefaultLogPrefix(f_.engine()) + ".native.elements.log"),
            "Delete Folder\r\nDelete Registry\r\nDelete Folder\r\n");
}

TEST_F(NativeEngineTest, PlanStopsAtAnAbortedEntryWithCancel) {
  Run({Set("DELAYUNTIL_APPLYCHANGES", "TRUE"), Set("NATIVE_ERROR", "ABORT"), Set("NATIVE_ROLLBACK", "FALSE"),
       CreateFolder("C:\\Stop\\One"), WriteReg("SOFTWARE\\KwStop", "N", "12a", "FALSE"),
       WriteReg("SOFTWARE\\KwStop", "I", "12a", "TRUE"), CreateFolder("C:\\Stop\\Three"), Apply(true),
       Set("AFTER", "ran")});
  EXPECT_EQ(Var("RESULT"), "CANCEL");
  EXPECT_EQ(Var("LASTERROR"), "Setup cancelled");
  EXPECT_EQ(Var("VELK_IsCancelled"), "TRUE");
  EXPECT_TRUE(Files().FolderExists("C:\\Stop\\One"));
  EXPECT_FALSE(Files().FolderExists("C:\\Stop\\Three"));
  // ABORTONERROR (default TRUE) ends the script after the command.
  EXPECT_EQ(Var("AFTER"), "");
}

TEST_F(NativeEngineTest, ApplyPatchInNativeModeReportsError) {
  Run({{"Apply Patch", {"PATCHED"}}});
  EXPECT_EQ(Var("PATCHED"), "ERROR");
}

// --- Install Files -------------------------------------------------------

class InstallFilesTest : public NativeEngineTest {
 protected:
  void SetUp() override {
    Write("C:\\data\\G1\\a.txt", "alpha-new");
    Write("C:\\data\\G1\\sub\\b.txt", "beta");
    // The marker that tells a maintenance run its sources are here.
    Write("C:\\data\\{11111111-2222-3333-4444-555555555555}", "");
  }
  // Installs the group into C:\App with the given commands before it.
  void Install(std::vector<ScriptCommand> before, std::vector<std::string> flags = {},
               const std::string& destination = "C:\\App") {
    ScriptCommand install = InstallFiles(destination);
    for (size_t i = 0; i < flags.size(); ++i) install.params[3 + i] = flags[i];
    // Run() puts one command in front of these.
    const size_t install_index = before.size() + 1;
    before.push_back(install);
    before.push_back(Apply(false));
    Run(before, {"0000ABCD", "NEWHEADER", "G1\\a.txt", "", "G1\\sub\\b.txt", "sub\\"},
        {"0000ABCD", std::to_string(install_index)});
  }
  std::string HostPath(const std::string& path) {
    std::string host;
    EXPECT_EQ(Files().GetNativePath(path, &host), 0u);
    return host;
  }
};

TEST_F(InstallFilesTest, PlacesTheGroupWithSubfoldersAndLinksOnTheSameDrive) {
  Install({});
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_EQ(Read("C:\\App\\a.txt"), "alpha-new");
  EXPECT_EQ(Read("C:\\App\\sub\\b.txt"), "beta");
  uint32_t links = 0;
  Files().GetLinkCount("C:\\App\\a.txt", &links);
  EXPECT_EQ(links, 2u);
  const std::string prefix = DefaultLogPrefix(f_.engine());
  EXPECT_EQ(Read(prefix + ".native.elements.log"), "Delete Folder\r\nDelete File\r\nDelete Folder\r\nDelete File\r\n");
  EXPECT_EQ(Read(prefix + ".native.data.log"), "C:\\App\r\nC:\\App\\a.txt\r\nC:\\App\\sub\r\nC:\\App\\sub\\b.txt\r\n");
}

TEST_F(InstallFilesTest, CopiesWhenHardLinksAreOffAndCountsSharedFiles) {
  Write("C:\\App\\a.txt", "old");
  Install({Set("NATIVE_HARDLINK", "FALSE"), Set("NATIVE_OVERWRITE", "ALWAYS"), Set("NATIVE_OVERWRITE_OLDER", "TRUE")},
          {"", "", "", "", "", "", "TRUE"});
  EXPECT_EQ(Read("C:\\App\\a.txt"), "alpha-new");
  uint32_t links = 0;
  Files().GetLinkCount("C:\\App\\a.txt", &links);
  EXPECT_EQ(links, 1u);
  fs::RegValue count;
  ASSERT_EQ(f_.machine().Reg().GetValue(fs::RegRoot::kLocalMachine,
                                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls",
                                        "C:\\App\\a.txt", fs::RegView::k32, &count),
            0u);
  EXPECT_EQ(count.AsDword(), 2u);  // it existed before, without a count
  const std::string elements = Read(DefaultLogPrefix(f_.engine()) + ".native.elements.log");
  EXPECT_NE(elements.find("Unshare File"), std::string::npos);
  EXPECT_EQ(elements.find("Delete File"), std::string::npos);
}

TEST_F(InstallFilesTest, InUseDestinationIsMovedAside) {
  Write("C:\\App\\a.txt", "old");
  const int fd = open(HostPath("C:\\App\\a.txt").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  Install({Set("NATIVE_OVERWRITE", "ALWAYS"), Set("NATIVE_OVERWRITE_OLDER", "TRUE")});
  close(fd);
  EXPECT_EQ(Var("RESULT"), "COMPLETE");
  EXPECT_EQ(Read("C:\\App\\a.txt"), "alpha-new");
  EXPECT_EQ(Read("C:\\App\\a.txt.0"), "old");
  f_.machine().SimFiles().ProcessPendingRenames();
  EXPECT_FALSE(Files().FileExists("C:\\App\\a.txt.0"));
  EXPECT_EQ(Read("C:\\App\\a.txt"), "alpha-new");
}

// Files that travel in a web media block that cannot be had: with
// ABORTONERROR false the run goes on, the failure recorded in ABORTEDONERROR
// ("Weblock Abort"); with the default the run ends (rolled back).
TEST_F(InstallFilesTest, UnobtainableMediumEitherEndsTheRunOrIsRecorded) {
  for (const bool abort_on_error : {false, true}) {
    ScriptCommand install = InstallFiles("C:\\WebApp");
    std::vector<ScriptCommand> commands = {Set("NATIVE_ENGINE", "TRUE"),
                                           Set("ABORTONERROR", abort_on_error ? "TRUE" : "FALSE"), install,
                                           Set("AFTER", "ran")};
    f_.SetScript(commands);
    f_.engine().script.cache_mode = 2;
    f_.engine().script.media_folders = {"", "", "Missing\\", ""};
    f_.engine().script.file_headers = {"0000ABCD", "NEWHEADER", "G1\\a.txt", ""};
    f_.engine().script.command_headers = {"0000ABCD", "2"};
    f_.engine().settings.silent = true;
    script::RunScript(f_.engine(), f_.run());
    EXPECT_EQ(Var("AFTER"), abort_on_error ? "" : "ran") << abort_on_error;
    EXPECT_EQ(Var("ABORTEDONERROR"), abort_on_error ? "FALSE" : "TRUE") << abort_on_error;
    // Going on records the change anyway; its files are not there to place.
    EXPECT_FALSE(Files().FileExists("C:\\WebApp\\a.txt"));
    if (abort_on_error) {
      EXPECT_FALSE(Files().FolderExists("C:\\WebApp"));
    }
    f_.vars().AssignVariable("AFTER", "", "test");
  }
}

// A file system on which files cannot be moved now (only at restart).
class NoMoveFiles : public fs::FileSystemWrapper {
 public:
  using fs::FileSystemWrapper::FileSystemWrapper;
  fs::Win32Error MoveFile(const std::string& from, const std::string& to, uint32_t flags) override {
    if ((flags & fs::move::kDelayUntilReboot) == 0) return fs::err::kAccessDenied;
    return fs::FileSystemWrapper::MoveFile(from, to, flags);
  }
};
class NoMovePlatform : public fs::Platform {
 public:
  explicit NoMovePlatform(fs::Platform& target) : target_(target), files_(target.Files()) {}
  fs::FileSystem& Files() override { return files_; }
  fs::Registry& Reg() override { return target_.Reg(); }
  fs::System& Sys() override { return target_.Sys(); }
  fs::Processes& Procs() override { return target_.Procs(); }

 private:
  fs::Platform& target_;
  NoMoveFiles files_;
};

TEST_F(InstallFilesTest, DestinationThatCannotBeMovedIsReplacedAtRestart) {
  NoMovePlatform platform(f_.machine());
  f_.UsePlatform(platform);
  Write("C:\\App\\a.txt", "old");
  const int fd = open(HostPath("C:\\App\\a.txt").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  Install({Set("NATIVE_OVERWRITE", "ALWAYS"), Set("NATIVE_OVERWRITE_OLDER", "TRUE")});
  close(fd);
  EXPECT_EQ(Var("RESULT"), "REBOOT");
  EXPECT_EQ(Var("REBOOTCOMPUTER"), "TRUE");
  EXPECT_EQ(Read("C:\\App\\a.txt"), "old");
  EXPECT_EQ(Read("C:\\App\\sub\\b.txt"), "beta");
  f_.machine().SimFiles().ProcessPendingRenames();
  EXPECT_EQ(Read("C:\\App\\a.txt"), "alpha-new");
}

TEST_F(InstallFilesTest, OverwriteRulesFollowTheSettings) {
  struct Case {
    const char* overwrite;
    const char* older;
    bool incoming_newer;
    const char* expected;
  } cases[] = {
      {"NEVER", "TRUE", true, "old"},        {"ALWAYS", "FALSE", false, "old"},
      {"ALWAYS", "FALSE", true, "alpha-new"}, {"ALWAYS", "TRUE", false, "alpha-new"},
      {"PROMPT", "FALSE", false, "old"},      {"PROMPT", "FALSE", true, "alpha-new"},  // silent: default yes
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string app = "C:\\App" + std::to_string(n++);
    Write(app + "\\a.txt", "old");
    // Dates decide between files without versions.
    const fs::FileTime now = 133000000000000000ULL;
    Files().SetLastWriteTime(app + "\\a.txt", now);
    Files().SetLastWriteTime("C:\\data\\G1\\a.txt", c.incoming_newer ? now + 10000000 : now - 10000000);
    Install({Set("NATIVE_OVERWRITE", c.overwrite), Set("NATIVE_OVERWRITE_OLDER", c.older)}, {}, app);
    EXPECT_EQ(Read(app + "\\a.txt"), c.expected) << c.overwrite << " " << c.older << " " << c.incoming_newer;
  }
}

}  // namespace
}  // namespace kestrawl::engine::native
