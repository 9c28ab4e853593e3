// Whole setups: projects built with `kestrawl build`, run by the engine on a
// throw-away machine, reporting through their exit code.
#include <gtest/gtest.h>

#include <filesystem>

#include "bootstrap/stub_size.h"
#include "script/compiled_script_reader.h"
#include "script/web_media_blocks.h"
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
    "name = app\n"
    "title = Test App\n"
    "product-code = {11111111-2222-3333-4444-555555555555}\n"
    "revision-code = {66666666-7777-8888-9999-AAAAAAAAAAAA}\n";

class BuildAndRunTest : public ::testing::Test {
 protected:
  void Build(const std::string& body) {
    WriteHostFile(dir_ / "project/setup.kws", std::string(kHeader) + body);
    RunResult r = testing::Run({BinPath("kestrawl"), "build", dir_ / "project", "-o", dir_ / "out"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  RunResult Setup(std::vector<std::string> args) {
    args.insert(args.begin(), dir_ / "out/app");
    return testing::Run(args, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  }
  TempDir dir_;
};

TEST_F(BuildAndRunTest, LoopsComponentsAndIncludeScriptsWorkTogether) {
  WriteHostFile(dir_ / "project/lib.kws",
                "# an include script\n"
                "Set Variable: variable=INLIB value=yes\n"
                "Return from Include Script: value=\"lib:$N$\"\n"
                "Set Variable: variable=INLIB value=no\n");
  Build("[components]\nCore = 1000\n\n[script]\n"
        "Set Variable: variable=N value=0\n"
        "Set Variable: variable=FROMLIB\n"
        "For Each: variable=ITEM delimiter=; list=\"a;b;;c\"\n"
        "  Mathematics: operand_a=$N$ operand_b=1 operation=0 result=N\n"
        "Next\n"
        "Define Component: name=Core selected=TRUE\n"
        "Get Component Space: name=Core result=SIZE\n"
        "Include Script: file=lib.kws result=FROMLIB\n"
        "If: variable=FROMLIB operator=0 value=\"lib:3\"\n"
        "  If: variable=SIZE operator=0 value=1000\n"
        "    If: variable=INLIB operator=0 value=yes\n"
        "      Terminate with Exit Code: exit_code=42\n"
        "    End\n"
        "  End\n"
        "End\n"
        "Terminate with Exit Code: exit_code=1\n");
  RunResult r = Setup({"/s"});
  EXPECT_EQ(r.exit_code, 42) << r.err;
}

TEST_F(BuildAndRunTest, SilentRunsKeepCommandLineValuesAgainstTheScript) {
  Build("[script]\n"
        "Set Variable: variable=TARGETDIR value=\"C:\\Program Files\\App\"\n"
        "If: variable=TARGETDIR operator=0 value=\"D:\\App\"\n"
        "  Terminate with Exit Code: exit_code=10\n"
        "End\n"
        "Terminate with Exit Code: exit_code=20\n");
  EXPECT_EQ(Setup({"/s", "TARGETDIR=D:\\App"}).exit_code, 10);
  EXPECT_EQ(Setup({"TARGETDIR=D:\\App"}).exit_code, 20);
}

TEST_F(BuildAndRunTest, PluginCommandsReturnVariables) {
  fs::create_directories(dir_ / "project/support");
  fs::copy_file(BinPath("plugins/example_plugin.so"), dir_ / "project/support/example_plugin.so");
  Build("[plugins]\nSay Hello\n\n[script]\n"
        "Set Variable: variable=GREETING\n"
        "Say Hello: params=\"GREETING,Bob Smith\" library=\"C:\\Design\\example_plugin.so\"\n"
        "If: variable=GREETING operator=0 value=\"Hello, Bob Smith from Test App\"\n"
        "  Terminate with Exit Code: exit_code=7\n"
        "End\n");
  RunResult r = Setup({"/s"});
  EXPECT_EQ(r.exit_code, 7) << r.err;
}

TEST_F(BuildAndRunTest, BuilderWritesComponentsAndScrambledBlockPasswords) {
  Build("[components]\nCore = 1000\n\n[web-media]\nDocs = \"s3cret pw\"\noffline = fallback\n\n[script]\n"
        "Comment: text=x\n");
  const std::string setup = ReadHostFile(dir_ / "out/app");
  auto stub = bootstrap::ComputeStubSize(setup);
  ASSERT_TRUE(stub.has_value());
  script::CompiledScript compiled = script::ParseCompiledScript(std::string_view(setup).substr(*stub));
  EXPECT_EQ(compiled.component_sizes,
            (std::vector<std::string>{"VELK-PREDEF-COMPONENT", "0", "Core", "1000"}));
  EXPECT_EQ(script::WebBlockPassword(compiled, "DOCS\\"), "s3cret pw");
  EXPECT_EQ(script::WebBlockPassword(compiled, "Other"), "fallback");
  EXPECT_EQ(compiled.web_media_blocks.at(1).find("s3cret"), std::string::npos) << "stored scrambled";
}

TEST_F(BuildAndRunTest, TheDemoProjectBuildsAndRunsSilently) {
  RunResult built = testing::Run({BinPath("kestrawl"), "build", testing::SourcePath("examples/demo"), "-o", dir_ / "demo"});
  ASSERT_EQ(built.exit_code, 0) << built.err;
  RunResult run = testing::Run({dir_ / "demo/demo-setup", "/s"}, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
}

TEST_F(BuildAndRunTest, BlockErrorsStopBeforeTheFirstCommand) {
  Build("[script]\n"
        "Set Variable: variable=X value=1\n"
        "Terminate with Exit Code: exit_code=5\n"
        "End\n");
  const std::string log = dir_ / "trace.log";
  std::string z = "Z:" + log;
  for (char& c : z)
    if (c == '/') c = '\\';
  RunResult r = Setup({"/l=" + z});
  EXPECT_EQ(r.exit_code, 314 & 0xFF);
  EXPECT_EQ(r.err, "") << "no message for a broken script";
  std::string text;
  for (size_t i = 0; i < ReadHostFile(log).size(); i += 2) text.push_back(ReadHostFile(log)[i]);
  EXPECT_NE(text.find("    <CompileScript>\r\n"), std::string::npos);
  EXPECT_EQ(text.find("</CompileScript>"), std::string::npos);
  EXPECT_EQ(text.find("</Kestrawl>"), std::string::npos);
}

}  // namespace
}  // namespace kestrawl
