// `kestrawl machine programs` and `kestrawl machine uninstall` through the
// real program, against throw-away machines whose uninstall entries the tests
// write directly. Uninstall commands point at small "#!/bin/sh" programs on
// drive C: that record their arguments and exit with a chosen code.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/sim_machine.h"
#include "support/test_support.h"

namespace kestrawl {
namespace {

namespace fs = std::filesystem;
using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::sim::SimMachine;
using testing::BinPath;
using testing::ReadHostFile;
using testing::RunResult;
using testing::TempDir;
using testing::WriteHostFile;

constexpr char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

struct Value {
  const char* name;
  RegValue value;
};

class ProgramsCommandTest : public ::testing::Test {
 protected:
  // Creates a fresh machine from a profile and makes it the one the helpers use.
  void NewMachine(const std::string& name, const std::string& profile = "win10") {
    machine_ = dir_ / name;
    platform::sim::InitOptions options;
    options.profile = profile;
    SimMachine::Init(machine_, options);
  }

  // `kestrawl machine SUB --machine M ARGS...`
  RunResult K(const std::string& sub, const std::vector<std::string>& args = {}) {
    std::vector<std::string> all = {BinPath("kestrawl"), "machine", sub, "--machine", machine_};
    all.insert(all.end(), args.begin(), args.end());
    return testing::Run(all);
  }

  void AddEntry(RegRoot root, RegView view, const std::string& key, const std::vector<Value>& values) {
    auto m = SimMachine::Open(machine_);
    for (const auto& v : values)
      ASSERT_EQ(m->Reg().WriteValue(root, kUninstall + key, v.name, view, v.value), 0u) << key << " " << v.name;
  }

  std::string HostPath(const std::string& win_path) {
    std::string rest = win_path.substr(3);  // after "C:\"
    for (char& c : rest)
      if (c == '\\') c = '/';
    return machine_ + "/drive_c/" + rest;
  }

  // Places a program at a Windows path on C: that writes KESTRAWL_MACHINE and
  // then its arguments, one per line, to `record`, and ends with `ending`.
  void PlaceRecorder(const std::string& win_path, const std::string& record, const std::string& ending) {
    std::string host = HostPath(win_path);
    fs::create_directories(fs::path(host).parent_path());
    WriteHostFile(host, "#!/bin/sh\nprintf '%s\\n' \"$KESTRAWL_MACHINE\" > '" + record +
                            "'\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + record + "'; done\n" + ending + "\n");
    fs::permissions(host, fs::perms::owner_all, fs::perm_options::add);
  }

  TempDir dir_;
  std::string machine_;
};

RegValue Sz(const std::string& text) { return RegValue::String(text); }

TEST_F(ProgramsCommandTest, ListSortsByNameSkipsHiddenAndNamelessEntriesAndPrintsTableOrJson) {
  NewMachine("m");
  EXPECT_EQ(K("programs").out, "No programs are registered.\n");
  EXPECT_EQ(K("programs", {"--json"}).out, "[]\n");

  AddEntry(RegRoot::kLocalMachine, RegView::k64, "Zeta",
           {{"DisplayName", Sz("Zeta Tool")},
            {"DisplayVersion", Sz("2.0")},
            {"Publisher", Sz("Zeta \"Q\" Ltd\\")},
            {"UninstallString", Sz("\"C:\\Zeta\\un.exe\" /x")}});
  AddEntry(RegRoot::kLocalMachine, RegView::k32, "{A1}", {{"DisplayName", Sz("alpha app")}, {"DisplayVersion", Sz("1.0")}});
  AddEntry(RegRoot::kCurrentUser, RegView::kDefault, "Mid", {{"DisplayName", Sz("Middle Thing")}, {"Publisher", Sz("Me")}});
  AddEntry(RegRoot::kLocalMachine, RegView::k64, "Runtime",
           {{"DisplayName", Sz("Hidden Runtime")}, {"SystemComponent", RegValue::Dword(1)}});
  AddEntry(RegRoot::kLocalMachine, RegView::k32, "Shown",
           {{"DisplayName", Sz("Shown Zero")}, {"SystemComponent", RegValue::Dword(0)}});
  AddEntry(RegRoot::kLocalMachine, RegView::k64, "{NoName}", {{"UninstallString", Sz("C:\\x.exe")}});
  AddEntry(RegRoot::kCurrentUser, RegView::kDefault, "Empty", {{"DisplayName", Sz("")}});

  RunResult table = K("programs");
  EXPECT_EQ(table.exit_code, 0) << table.err;
  EXPECT_EQ(table.out,
            "Name          Version  Publisher      Uninstall command\n"
            "alpha app     1.0\n"
            "Middle Thing           Me\n"
            "Shown Zero\n"
            "Zeta Tool     2.0      Zeta \"Q\" Ltd\\  \"C:\\Zeta\\un.exe\" /x\n");

  RunResult json = K("programs", {"--json"});
  EXPECT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(json.out, R"([
  {"name": "alpha app", "version": "1.0", "publisher": "", "uninstall": "", "key": "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{A1}", "scope": "machine"},
  {"name": "Middle Thing", "version": "", "publisher": "Me", "uninstall": "", "key": "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Mid", "scope": "user"},
  {"name": "Shown Zero", "version": "", "publisher": "", "uninstall": "", "key": "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Shown", "scope": "machine"},
  {"name": "Zeta Tool", "version": "2.0", "publisher": "Zeta \"Q\" Ltd\\", "uninstall": "\"C:\\Zeta\\un.exe\" /x", "key": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zeta", "scope": "machine"}
]
)");
}

TEST_F(ProgramsCommandTest, EveryScopeAndViewIsListedOnceOnBothMachineKinds) {
  // HKCU's uninstall key is shared by the views, and a 32-bit machine has one
  // view only: reading a key twice must not list its entries twice.
  struct Case {
    const char* profile;
    std::vector<std::string> keys;  // of A (64-bit view), B (32-bit view), C (user), in that order
  };
  const std::string hklm = "HKEY_LOCAL_MACHINE\\SOFTWARE\\";
  const std::string tail = "Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const Case cases[] = {
      {"win10", {hklm + tail + "A", hklm + "WOW6432Node\\" + tail + "B", "HKEY_CURRENT_USER\\SOFTWARE\\" + tail + "C"}},
      {"win7-32", {hklm + tail + "A", hklm + tail + "B", "HKEY_CURRENT_USER\\SOFTWARE\\" + tail + "C"}},
  };
  for (const auto& c : cases) {
    NewMachine(c.profile, c.profile);
    AddEntry(RegRoot::kLocalMachine, RegView::k64, "A", {{"DisplayName", Sz("A")}});
    AddEntry(RegRoot::kLocalMachine, RegView::k32, "B", {{"DisplayName", Sz("B")}});
    AddEntry(RegRoot::kCurrentUser, RegView::k32, "C", {{"DisplayName", Sz("C")}});
    RunResult json = K("programs", {"--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    std::string expected = "[\n";
    const char* names[] = {"A", "B", "C"};
    for (size_t i = 0; i < 3; ++i) {
      std::string key;
      for (char ch : c.keys[i]) key += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
      expected += std::string("  {\"name\": \"") + names[i] +
                  "\", \"version\": \"\", \"publisher\": \"\", \"uninstall\": \"\", \"key\": \"" + key +
                  "\", \"scope\": \"" + (i == 2 ? "user" : "machine") + "\"}" + (i < 2 ? "," : "") + "\n";
    }
    EXPECT_EQ(json.out, expected + "]\n") << c.profile;
  }
}

TEST_F(ProgramsCommandTest, UninstallRunsTheCommandWaitsAndPassesTheExitCodeThrough) {
  struct Case {
    const char* what;
    RegRoot root;
    RegView view;
    bool expandable;
    const char* uninstall;
    const char* program;  // where the recording program lies
    const char* ending;   // how it ends
    const char* asked;    // the name given to the tool
    bool silent;
    std::vector<std::string> args;
    int exit_code;
    const char* printed;
  };
  const Case cases[] = {
      {"quoted path with blanks, silent", RegRoot::kLocalMachine, RegView::k64, false,
       "\"C:\\Program Files\\My App\\setup.exe\" REMOVE=TRUE MODIFY=FALSE", "C:\\Program Files\\My App\\setup.exe",
       "exit 3", "my APP", true, {"REMOVE=TRUE", "MODIFY=FALSE", "/s"}, 3, "Exit code: 3\n"},
      {"unquoted path with blanks is found as Windows finds it", RegRoot::kLocalMachine, RegView::k32, false,
       "C:\\Program Files\\My App\\setup.exe REMOVE=TRUE", "C:\\Program Files\\My App\\setup.exe", "exit 0",
       "My App", false, {"REMOVE=TRUE"}, 0, "Exit code: 0\n"},
      {"per-user entry already silent gets no second switch", RegRoot::kCurrentUser, RegView::kDefault, false,
       "  \"C:\\Users\\Tools\\un.exe\" -S  ", "C:\\Users\\Tools\\un.exe", "exit 0", "My App", true, {"-S"}, 0,
       "Exit code: 0\n"},
      {"expandable command", RegRoot::kLocalMachine, RegView::k64, true, "%SystemDrive%\\Apps\\un.exe /x",
       "C:\\Apps\\un.exe", "exit 7", "My App", false, {"/x"}, 7, "Exit code: 7\n"},
      {"killed program: its code does not fit an exit status", RegRoot::kLocalMachine, RegView::k64, false,
       "C:\\Apps\\un.exe", "C:\\Apps\\un.exe", "kill -KILL $$", "My App", false, {}, 255,
       "Exit code: 3221225786\n"},
  };
  int n = 0;
  for (const auto& c : cases) {
    NewMachine("m" + std::to_string(n++));
    std::string record = dir_ / ("record" + std::to_string(n));
    PlaceRecorder(c.program, record, c.ending);
    AddEntry(c.root, c.view, "{1234}",
             {{"DisplayName", Sz("My App")},
              {"UninstallString", RegValue::String(c.uninstall, c.expandable ? platform::regtype::kExpandSz
                                                                             : platform::regtype::kSz)}});
    std::vector<std::string> args = {c.asked};
    if (c.silent) args.push_back("--silent");
    RunResult r = K("uninstall", args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.what << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find(c.printed), std::string::npos) << c.what << "\n" << r.out;
    std::string expected = machine_ + "\n";
    for (const auto& a : c.args) expected += a + "\n";
    EXPECT_EQ(ReadHostFile(record), expected) << c.what;
  }
}

TEST_F(ProgramsCommandTest, UninstallErrorsExitWithTwoAndRunNothing) {
  NewMachine("m");
  std::string record = dir_ / "record";
  PlaceRecorder("C:\\Apps\\un.exe", record, "exit 0");
  WriteHostFile(HostPath("C:\\Apps\\readme.exe"), "just text\n");
  auto entry = [&](const std::string& key, const std::string& name, const char* uninstall) {
    std::vector<Value> values = {{"DisplayName", Sz(name)}};
    if (uninstall) values.push_back({"UninstallString", Sz(uninstall)});
    AddEntry(RegRoot::kLocalMachine, RegView::k64, key, values);
  };
  entry("App", "My App", "C:\\Apps\\un.exe");
  entry("Runtime", "Hidden Runtime", "C:\\Apps\\un.exe");
  AddEntry(RegRoot::kLocalMachine, RegView::k64, "Runtime", {{"SystemComponent", RegValue::Dword(1)}});
  entry("Bare", "Bare", nullptr);
  entry("Gone", "Gone", "\"C:\\Gone Away\\setup.exe\" REMOVE=TRUE");
  entry("Text", "Text", "C:\\Apps\\readme.exe");

  struct Case {
    const char* asked;
    const char* message;
  };
  const Case cases[] = {
      {"My Ap", "did you mean:\n  My App\n"},
      {"Nothing Like It", "`kestrawl machine programs` lists them"},
      {"Hidden Runtime", "no program named 'Hidden Runtime'"},
      {"Bare", "'Bare' has no uninstall command"},
      {"Gone", "does not exist: C:\\Gone Away\\setup.exe"},
      {"Text", "not something this machine can run: C:\\Apps\\readme.exe"},
  };
  for (const auto& c : cases) {
    RunResult r = K("uninstall", {c.asked});
    EXPECT_EQ(r.exit_code, 2) << c.asked;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.asked << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists(record));
  EXPECT_EQ(K("uninstall", {}).exit_code, 2);
}

TEST_F(ProgramsCommandTest, SameNameInBothViewsIsAmbiguousAndTheKeyPicksOne) {
  NewMachine("m");
  std::string record64 = dir_ / "record64", record32 = dir_ / "record32";
  PlaceRecorder("C:\\Program Files\\Twin\\un.exe", record64, "exit 4");
  PlaceRecorder("C:\\Program Files (x86)\\Twin\\un.exe", record32, "exit 5");
  AddEntry(RegRoot::kLocalMachine, RegView::k64, "Twin",
           {{"DisplayName", Sz("Twin")}, {"UninstallString", Sz("\"C:\\Program Files\\Twin\\un.exe\"")}});
  AddEntry(RegRoot::kLocalMachine, RegView::k32, "Twin",
           {{"DisplayName", Sz("Twin")}, {"UninstallString", Sz("\"C:\\Program Files (x86)\\Twin\\un.exe\"")}});
  const std::string key32 =
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Twin";

  RunResult ambiguous = K("uninstall", {"twin"});
  EXPECT_EQ(ambiguous.exit_code, 2);
  EXPECT_NE(ambiguous.err.find("  HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Twin\n"),
            std::string::npos)
      << ambiguous.err;
  EXPECT_NE(ambiguous.err.find("  " + key32 + "\n"), std::string::npos) << ambiguous.err;
  EXPECT_FALSE(fs::exists(record64) || fs::exists(record32));

  RunResult picked = K("uninstall", {key32, "--silent"});
  EXPECT_EQ(picked.exit_code, 5) << picked.err;
  EXPECT_EQ(ReadHostFile(record32), machine_ + "\n/s\n");
  EXPECT_FALSE(fs::exists(record64));
}

}  // namespace
}  // namespace kestrawl
