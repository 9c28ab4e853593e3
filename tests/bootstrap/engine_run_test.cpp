// Runs real setups (engine stub + compiled script) built by `kestrawl build`
// against throw-away machines and checks exit codes, trace logs and what is
// left on the machine.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace kestrawl {
namespace {

namespace fs = std::filesystem;
using testing::BinPath;
using testing::ReadHostFile;

using testing::RunResult;
using testing::TempDir;
using testing::WriteHostFile;

const char* kHeader =
    "[setup]\n"
    "name = app-setup\n"
    "title = Test App\n"
    "product-code = {11111111-2222-3333-4444-555555555555}\n"
    "revision-code = {66666666-7777-8888-9999-AAAAAAAAAAAA}\n";

std::string Utf16ToText(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) out.push_back(bytes[i]);  // ASCII tags only
  return out;
}

class EngineRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = dir_ / "machine";
    out_ = dir_ / "out";
    project_ = dir_ / "project";
  }

  // Builds a project whose [script] section is `script`.
  void Build(const std::string& script, bool with_support = true) {
    WriteHostFile(project_ + "/setup.kws", std::string(kHeader) + "[script]\n" + script);
    if (with_support) WriteHostFile(project_ + "/support/page.txt", "support file");
    RunResult r = testing::Run({BinPath("kestrawl"), "build", project_, "-o", out_});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  RunResult Engine(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    return testing::Run(args, {"KESTRAWL_MACHINE=" + machine_});
  }

  // Windows path (on Z:) of a host path.
  static std::string Z(const std::string& host) {
    std::string w = "Z:" + host;
    for (char& c : w)
      if (c == '/') c = '\\';
    return w;
  }

  std::vector<std::string> SupportFolders() {
    std::vector<std::string> out;
    fs::path temp = fs::path(machine_) / "drive_c/Users/User/AppData/Local/Temp";
    std::error_code ec;
    EXPECT_TRUE(fs::is_directory(temp)) << temp;
    for (auto& e : fs::directory_iterator(temp, ec))
      if (e.path().filename().string().rfind("zel", 0) == 0) out.push_back(e.path().filename().string());
    return out;
  }

  TempDir dir_;
  std::string machine_, out_, project_;
};

TEST_F(EngineRunTest, EmptyScriptRunsSilentlyAndLogsEveryPhase) {
  Build("");
  const std::string log = dir_ / "Trace.LOG";
  RunResult r = Engine(out_ + "/app-setup", {"/s", "/l=" + Z(log)});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // The log path is lower-cased; the machine resolves it case-insensitively.
  std::string bytes = ReadHostFile(fs::exists(log) ? log : dir_ / "trace.log");
  ASSERT_FALSE(bytes.empty());
  EXPECT_NE(bytes.substr(0, 2), "\xFF\xFE") << "no byte-order mark";
  const std::string expected =
      "<Kestrawl>\r\n    <SupportDir>\r\n    </SupportDir>\r\n  <SetupSplash>\r\n"
      "    <StubSize>\r\n    </StubSize>\r\n    <StubData>\r\n    </StubData>\r\n"
      "    <GlobalLists>\r\n    </GlobalLists>\r\n    <ExtractArchive>\r\n    </ExtractArchive>\r\n"
      "    <ResourcePath>\r\n    </ResourcePath>\r\n    <Dialogs>\r\n    </Dialogs>\r\n"
      "  </SetupSplash>\r\n  <RunScript>\r\n"
      "    <Variables>\r\n    </Variables>\r\n    <CompileScript>\r\n    </CompileScript>\r\n"
      "    <BootStrap>\r\n    </BootStrap>\r\n    <velk>\r\n    </velk>\r\n    <ExitScript>\r\n    </ExitScript>\r\n"
      "  </RunScript>\r\n  <Free>\r\n  </Free>\r\n"
      "  <CachedSupportDir>\r\n  </CachedSupportDir>\r\n</Kestrawl>\r\n";
  EXPECT_EQ(Utf16ToText(bytes), expected);
  EXPECT_EQ(bytes.size(), expected.size() * 2);
  EXPECT_TRUE(SupportFolders().empty());
  // The archive library's folder in the user's local application data is
  // made for the run and goes again when the run leaves it empty.
  EXPECT_FALSE(fs::exists(fs::path(machine_) / "drive_c/Users/User/AppData/Local/ZADIV"));

  // A second run truncates the log instead of appending.
  ASSERT_EQ(Engine(out_ + "/app-setup", {"/s", "/l=" + Z(log)}).exit_code, 0);
  EXPECT_EQ(ReadHostFile(fs::exists(log) ? log : dir_ / "trace.log").size(), expected.size() * 2);
}

TEST_F(EngineRunTest, StartupFailuresEndWithTheirExitCodes) {
  // The bare engine carries no script.
  RunResult bare = Engine(BinPath("kestrawl-engine"), {"/s"});
  EXPECT_EQ(bare.exit_code, 13);
  EXPECT_EQ(bare.err, "");
  RunResult shown = Engine(BinPath("kestrawl-engine"), {});
  EXPECT_EQ(shown.exit_code, 13);
  EXPECT_NE(shown.err.find("Kestrawl Wizard"), std::string::npos);
  EXPECT_NE(shown.err.find("For internal use only"), std::string::npos);

  Build("");
  fs::path res = fs::path(out_) / "app-setup.res";
  std::string archive = ReadHostFile(res.string());
  fs::remove(res);
  EXPECT_EQ(Engine(out_ + "/app-setup", {"/s"}).exit_code, 14);
  RunResult missing = Engine(out_ + "/app-setup", {});
  EXPECT_EQ(missing.exit_code, 14);
  EXPECT_NE(missing.err.find("Setup resource not found"), std::string::npos);

  WriteHostFile(res.string(), archive.substr(0, archive.size() / 2));
  RunResult damaged = Engine(out_ + "/app-setup", {});
  EXPECT_EQ(damaged.exit_code, 15);
  EXPECT_NE(damaged.err.find("Setup resource decompression failure"), std::string::npos);
  // Failed starts leave no temporary support folder behind.
  EXPECT_TRUE(SupportFolders().empty());
}

TEST_F(EngineRunTest, OutOfProcessExtractor) {
  Build("");
  const std::string engine = out_ + "/app-setup";
  EXPECT_EQ(Engine(engine, {"OutOfProcessExtract", Z(dir_ / "no-such-job")}).exit_code, 1);

  const std::string job = dir_ / "job.txt";
  const std::string dest = dir_ / "dest";
  WriteHostFile(job, "\xEF\xBB\xBF" + Z(dir_ / "missing.7z") + "\r\n\r\n" + Z(dest) + "\r\nFALSE\r\nFALSE\r\n");
  EXPECT_EQ(Engine(engine, {"OutOfProcessExtract", Z(job)}).exit_code, 2);

  WriteHostFile(job, "\xEF\xBB\xBF" + Z(out_ + "/app-setup.res") + "\r\n\r\n" + Z(dest) + "\r\nFALSE\r\nFALSE\r\n");
  RunResult ok = Engine(engine, {"OutOfProcessExtract", Z(job)});
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ReadHostFile(dest + "/page.txt"), "support file");
  EXPECT_EQ(ReadHostFile(job), "\r\n");

  // The worker mode parameter is case-sensitive: anything else is a normal start.
  EXPECT_NE(Engine(engine, {"outofprocessextract", Z(job), "/s"}).exit_code, 2);
}

TEST_F(EngineRunTest, BuilderRejectsUnknownCommandsWithTheirLine) {
  WriteHostFile(project_ + "/setup.kws", std::string(kHeader) + "[script]\n# a comment\nFrobnicate: x=1\n");
  RunResult r = testing::Run({BinPath("kestrawl"), "build", project_, "-o", out_});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("setup.kws:8: unknown command 'Frobnicate'"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(out_ + "/app-setup"));
}

}  // namespace
}  // namespace kestrawl
