// The whole life of a product in native mode, as an administrator would
// drive it: a built setup installs silently on a fresh machine, a second run
// finds the installed instance (maintenance, previous choices), and the
// uninstall command registered for Add/Remove Programs takes everything
// away again, leaving the registry and every file exactly as they were.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/utf.h"
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

// "Z:\..." names a host path on the simulated machine.
std::string ZPath(const std::string& host) {
  std::string path = "Z:" + host;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

class LifeCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteHostFile(dir_ / "project/files/app.exe", "program bytes");
    WriteHostFile(dir_ / "project/files/docs/guide.txt", "guide bytes");
    WriteHostFile(dir_ / "project/files/svc.exe", "service bytes");
    const std::string report = ZPath(dir_ / "report.txt");
    WriteHostFile(dir_ / "project/setup.kws",
                  "[setup]\nname = app\ntitle = Life Cycle\nversion = 2.5\npublisher = Tests\n"
                  "product-code = {5A5A5A5A-0000-4000-8000-0000000000C1}\n"
                  "revision-code = {5A5A5A5A-0000-4000-8000-0000000000C2}\n"
                  "[script]\n"
                  "Set Variable: variable=NATIVE_ENGINE value=TRUE\n"
                  "If: variable=REMOVE operator=4 value=TRUE\n"
                  "  Apply Changes: result=RESULT remove=TRUE\n"
                  "  Write to Text File: file=" + report + " line=\"removed $RESULT$\"\n"
                  "Else\n"
                  "  Write to Text File: file=" + report + " line=\"$MAINTENANCE$ $TARGETDIR$\"\n"
                  "  If: variable=MAINTENANCE operator=4 value=FALSE\n"
                  "    Set Variable: variable=TARGETDIR value=\"C:\\Custom Place\\Life\\\"\n"
                  "    Set Variable: variable=DELAYUNTIL_APPLYCHANGES value=TRUE\n"
                  "    Install Files: source=files\\app.exe destination=$TARGETDIR$\n"
                  "    Install Files: source=files\\docs\\* destination=$TARGETDIR$Docs\n"
                  "    Write Registry: permanence=0 root=4 key=\"SOFTWARE\\Life Tests\\Cycle\\Deep\" "
                  "value_name=Dir data=$TARGETDIR$ string_type=TRUE\n"
                  "    Create Shortcut: target=$TARGETDIR$app.exe name=\"Life Cycle\" "
                  "folder=\"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Life Cycle\"\n"
                  "    Install Service: service=LifeSvc destination=$TARGETDIR$ source=files\\svc.exe "
                  "display_name=\"Life Service\" start_type=1 error_control=1\n"
                  "    Apply Changes: result=RESULT apply_plan=TRUE\n"
                  "    Write to Text File: file=" + report + " line=\"installed $RESULT$\"\n"
                  "  End\n"
                  "End\n");
    RunResult r = testing::Run({BinPath("kestrawl"), "build", dir_ / "project", "-o", dir_ / "out"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    r = Kestrawl({"machine", "init"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  RunResult Kestrawl(std::vector<std::string> args) {
    args.insert(args.begin(), BinPath("kestrawl"));
    return testing::Run(args, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  }

  // Every file and folder of drive C: with size and attributes, and the
  // whole registry as an export.
  std::string Snapshot() {
    std::string listing;
    {
      auto machine = platform::sim::SimMachine::Open(dir_ / "machine");
      platform::FileSystem& files = machine->Files();
      std::vector<std::string> folders = {"C:\\"};
      while (!folders.empty()) {
        const std::string folder = folders.back();
        folders.pop_back();
        std::vector<platform::FileEntry> entries;
        files.List(folder + "*", &entries);
        for (const platform::FileEntry& e : entries) {
          if (e.name == "." || e.name == "..") continue;
          listing += folder + e.name + " " + std::to_string(e.size) + " " + std::to_string(e.attributes) + "\n";
          if (e.IsFolder() && (e.attributes & 0x400) == 0) folders.push_back(folder + e.name + "\\");
        }
      }
    }
    RunResult r = Kestrawl({"machine", "reg", "export", "-o", dir_ / "reg.txt"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> lines;
    std::string line;
    for (char c : listing) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    std::sort(lines.begin(), lines.end());
    std::string sorted;
    for (const std::string& l : lines) sorted += l + "\n";
    // The export is UTF-16LE: compare it as UTF-8 so that a difference reads.
    const std::string bytes = ReadHostFile(dir_ / "reg.txt");
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return sorted + "=== registry\n" + base::Utf16ToUtf8(units);
  }

  std::string Report() { return ReadHostFile(dir_ / "report.txt"); }
  std::string Host(const std::string& windows_path) {
    return fs::path(dir_ / "machine") / "drive_c" / windows_path;
  }

  // Builds a project named `name` with this script body (after the native
  // engine is switched on) into out-<name>.
  void BuildProject(const std::string& name, const std::string& revision, const std::string& body) {
    const std::string project = dir_ / ("p-" + name);
    WriteHostFile(project + "/files/app.exe", "program " + revision);
    WriteHostFile(project + "/files/docs/guide.txt", "guide bytes");
    WriteHostFile(project + "/setup.kws",
                  "[setup]\nname = " + name + "\ntitle = Life Cycle\nversion = 2.5\n"
                  "product-code = {5A5A5A5A-0000-4000-8000-0000000000C1}\n"
                  "revision-code = " + revision + "\n[script]\n"
                  "Set Variable: variable=NATIVE_ENGINE value=TRUE\n" + body);
    RunResult r = testing::Run({BinPath("kestrawl"), "build", project, "-o", dir_ / ("out-" + name)});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  RunResult RunBuilt(const std::string& name, const std::vector<std::string>& args = {"/s"}) {
    std::vector<std::string> argv = {dir_ / ("out-" + name + "/" + name)};
    argv.insert(argv.end(), args.begin(), args.end());
    return testing::Run(argv, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  }
  std::string ReportLine(const std::string& text) {
    return "Write to Text File: file=" + ZPath(dir_ / "report.txt") + " line=\"" + text + "\"\n";
  }
  // The installation part of a script: files, a registry value, then the
  // extra commands, applied as a plan.
  std::string InstallBody(const std::string& extra) {
    return "Set Variable: variable=TARGETDIR value=\"C:\\Custom Place\\Life\\\"\n"
           "Set Variable: variable=DELAYUNTIL_APPLYCHANGES value=TRUE\n"
           "Install Files: source=files\\app.exe destination=$TARGETDIR$\n"
           "Install Files: source=files\\docs\\* destination=$TARGETDIR$Docs\n"
           "Write Registry: permanence=0 root=4 key=\"SOFTWARE\\Life Tests\\Cycle\" value_name=Dir "
           "data=$TARGETDIR$ string_type=TRUE\n" +
           extra + "Apply Changes: result=RESULT apply_plan=TRUE\n" + ReportLine("installed $RESULT$");
  }

  TempDir dir_;
};

TEST_F(LifeCycleTest, InstallMaintenanceAndRemovalLeaveTheMachineAsItWas) {
  const std::string before = Snapshot();

  RunResult r = testing::Run({dir_ / "out/app", "/s"}, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(Report().find("installed COMPLETE"), std::string::npos) << Report();
  EXPECT_EQ(ReadHostFile(Host("Custom Place/Life/app.exe")), "program bytes");
  EXPECT_EQ(ReadHostFile(Host("Custom Place/Life/Docs/guide.txt")), "guide bytes");
  EXPECT_TRUE(fs::exists(Host("ProgramData/Microsoft/Windows/Start Menu/Programs/Life Cycle/Life Cycle.lnk")));
  r = Kestrawl({"machine", "programs"});
  EXPECT_NE(r.out.find("Life Cycle"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("REMOVE=TRUE MODIFY=FALSE"), std::string::npos) << r.out;
  r = Kestrawl({"machine", "reg", "get", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\LifeSvc", "DisplayName"});
  EXPECT_NE(r.out.find("Life Service"), std::string::npos) << r.out << r.err;

  // A second run of the shipped setup finds the installed instance and its
  // target folder.
  fs::remove(dir_ / "report.txt");
  r = testing::Run({dir_ / "out/app", "/s"}, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(Report().find("TRUE C:\\Custom Place\\Life\\"), std::string::npos) << Report();

  // The registered uninstall command, run the way Add/Remove Programs does,
  // even when the state file kept with the product was damaged meanwhile.
  WriteHostFile(Host("ProgramData/{5A5A5A5A-0000-4000-8000-0000000000C2}/app.dat"), "not a state file");
  fs::remove(dir_ / "report.txt");
  r = Kestrawl({"machine", "uninstall", "Life Cycle", "--silent"});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_NE(Report().find("removed COMPLETE"), std::string::npos) << Report();
  fs::remove(dir_ / "report.txt");

  EXPECT_EQ(Snapshot(), before);
}

TEST_F(LifeCycleTest, FailedPlanAndAbortedImmediateChangeRollBackCompletely) {
  // The plan fails at its last entry (an integer that is not a number, with
  // NATIVE_ERROR=ABORT); an immediate-mode change aborts the same way.
  BuildProject("plan", "{5A5A5A5A-0000-4000-8000-0000000000D1}",
               "Set Variable: variable=NATIVE_ERROR value=ABORT\n" +
                   InstallBody("Write Registry: permanence=0 root=4 key=\"SOFTWARE\\Life Tests\\Bad\" "
                               "value_name=N data=12a integer_type=TRUE\n"));
  BuildProject("immediate", "{5A5A5A5A-0000-4000-8000-0000000000D2}",
               "Set Variable: variable=NATIVE_ERROR value=ABORT\n"
               "Install Files: source=files\\app.exe destination=\"C:\\Immediate\\App\"\n"
               "Create Folder: folder=\"C:\\Immediate\\Data\\Deep\"\n"
               "Write Registry: permanence=0 root=4 key=\"SOFTWARE\\Life Tests\\Bad\" value_name=N data=12a "
               "integer_type=TRUE\n" + ReportLine("not reached"));
  const std::string before = Snapshot();
  // ABORTONERROR (the default) ends the run after the rollback.
  RunResult r = RunBuilt("plan");
  EXPECT_FALSE(fs::exists(dir_ / "report.txt"));
  EXPECT_EQ(Snapshot(), before);

  r = RunBuilt("immediate");
  EXPECT_FALSE(fs::exists(dir_ / "report.txt"));
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(LifeCycleTest, NewRevisionRemovesTheOldOneThroughItsChangeLog) {
  const std::string old_revision = "{5A5A5A5A-0000-4000-8000-0000000000A1}";
  BuildProject("rev1", old_revision, InstallBody(""));
  BuildProject("rev2", "{5A5A5A5A-0000-4000-8000-0000000000A2}",
               ReportLine("upgrade $RECOMMENDEDUPGRADE$ $NATIVE_OLDLOG$") +
                   "If: variable=RECOMMENDEDUPGRADE operator=4 value=TRUE\n"
                   "  Set Variable: variable=NATIVE_LOGGING value=$NATIVE_OLDLOG$\n"
                   "  Apply Changes: result=OLD remove=TRUE\n" +
                   ReportLine("old removed $OLD$") +
                   "  Set Variable: variable=NATIVE_LOGGING value=\"\"\n"
                   "End\n" +
                   InstallBody(""));
  ASSERT_EQ(RunBuilt("rev1").exit_code, 0);
  const std::string old_cache = Host("ProgramData/" + old_revision);
  ASSERT_TRUE(fs::exists(old_cache)) << old_cache;
  fs::remove(dir_ / "report.txt");

  ASSERT_EQ(RunBuilt("rev2").exit_code, 0);
  const std::string report = Report();
  EXPECT_NE(report.find("upgrade TRUE C:\\ProgramData\\" + old_revision + "\\{5A5A5A5A-0000-4000-8000-0000000000C1}"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("old removed COMPLETE"), std::string::npos) << report;
  EXPECT_NE(report.find("installed COMPLETE"), std::string::npos) << report;
  EXPECT_FALSE(fs::exists(old_cache));
  EXPECT_EQ(ReadHostFile(Host("Custom Place/Life/app.exe")), "program {5A5A5A5A-0000-4000-8000-0000000000A2}");
  RunResult r = Kestrawl({"machine", "programs"});
  EXPECT_NE(r.out.find("0000000000A2"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("0000000000A1"), std::string::npos) << r.out;
}

// A program in use cannot be deleted but can be renamed on its drive: the
// removal moves it aside and deletes it at the next restart. (Only a file
// that cannot even be moved makes the removal report "REBOOT"; the native
// engine tests cover that case.)
TEST_F(LifeCycleTest, RemovalMovesAFileInUseAsideUntilTheRestart) {
  BuildProject("inuse", "{5A5A5A5A-0000-4000-8000-0000000000B1}",
               "If: variable=REMOVE operator=4 value=TRUE\n"
               "  Apply Changes: result=RESULT remove=TRUE\n" +
                   ReportLine("removed $RESULT$") + "Else\n" + InstallBody("") + "End\n");
  ASSERT_EQ(RunBuilt("inuse").exit_code, 0);
  const std::string app = Host("Custom Place/Life/app.exe");
  ASSERT_TRUE(fs::exists(app));
  fs::remove(dir_ / "report.txt");
  {
    // A host process holds the program open while the product is removed.
    const int fd = open(app.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    pid_t child = fork();
    if (child == 0) {
      setenv("KESTRAWL_MACHINE", (dir_ / "machine").c_str(), 1);
      execl(BinPath("kestrawl").c_str(), "kestrawl", "machine", "uninstall", "Life Cycle", "--silent", nullptr);
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(fd);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_NE(Report().find("removed COMPLETE"), std::string::npos) << Report();
  EXPECT_FALSE(fs::exists(Host("Custom Place/Life/Docs/guide.txt")));
  EXPECT_FALSE(fs::exists(app));
  EXPECT_TRUE(fs::exists(app + ".0"));
  const RunResult pending = Kestrawl({"machine", "reg", "get",
                                      "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                      "PendingFileRenameOperations"});
  std::string aside;
  if (fs::exists(Host("ProgramData/~0")))
    for (const auto& e : fs::recursive_directory_iterator(Host("ProgramData/~0"))) aside += e.path().string() + "\n";
  const RunResult reboot = Kestrawl({"machine", "reboot"});
  ASSERT_EQ(reboot.exit_code, 0) << reboot.out << reboot.err << pending.out << aside;
  EXPECT_FALSE(fs::exists(app + ".0"));
}

}  // namespace
}  // namespace kestrawl
