// Setups that install files, built with `kestrawl build` and run silently on
// a throw-away machine: files from the setup's offline media and from a web
// media block served over loopback HTTP arrive below TARGETDIR with their
// subfolders and bytes.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "support/test_support.h"
// The loopback server lives with the media tests; its source is compiled
// into this test executable too.
#include "support/loopback_http_server.h"

namespace kestrawl {
namespace {

namespace fs = std::filesystem;
using testing::BinPath;
using testing::ReadHostFile;
using testing::RunResult;
using testing::TempDir;
using testing::WriteHostFile;

// Serves the files of one host folder on 127.0.0.1 and counts the requests.
class FolderServer {
 public:
  explicit FolderServer(const std::string& folder)
      : server_([this, folder](const testing::SeenRequest& request) {
          ++requests_;
          testing::Reply reply;
          const fs::path file = fs::path(folder) / request.target.substr(1);
          if (!fs::is_regular_file(file)) {
            reply.status = 404;
            return reply;
          }
          reply.body = ReadHostFile(file.string());
          return reply;
        }) {}
  std::string Url(const std::string& name) const { return server_.Url("/" + name); }
  int requests() const { return requests_; }

 private:
  std::atomic<int> requests_{0};
  testing::LoopbackHttpServer server_;
};

class InstallFilesEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteHostFile(dir_ / "project/files/app.exe", "program bytes");
    WriteHostFile(dir_ / "project/files/lib/helper.dll", "helper bytes");
    WriteHostFile(dir_ / "project/docs/guide.txt", "guide bytes");
    WriteHostFile(dir_ / "project/docs/faq/faq.txt", "faq bytes");
  }

  void Build(const std::string& setup_extra, const std::string& script) {
    WriteHostFile(dir_ / "project/setup.kws",
                  "[setup]\nname = app\ntitle = File Test\n"
                  "product-code = {1A2B3C4D-0000-4000-8000-00000000E2E0}\n"
                  "revision-code = {1A2B3C4D-0000-4000-8000-00000000E2E1}\n" +
                      setup_extra + "\n[script]\n"
                      "Set Variable: variable=NATIVE_ENGINE value=TRUE\n"
                      "Set Variable: variable=TARGETDIR value=\"C:\\Program Files\\File Test\"\n" +
                      script +
                      "Apply Changes: result=RESULT\n"
                      "If: variable=RESULT operator=0 value=COMPLETE\n"
                      "  Terminate with Exit Code: exit_code=0\n"
                      "End\n"
                      "Terminate with Exit Code: exit_code=9\n");
    RunResult r = testing::Run({BinPath("kestrawl"), "build", dir_ / "project", "-o", dir_ / "out"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  RunResult RunSetup() {
    return testing::Run({dir_ / "out/app", "/s"}, {"KESTRAWL_MACHINE=" + (dir_ / "machine")});
  }

  // The host file behind C:\Program Files\File Test\<relative>.
  std::string Installed(const std::string& relative) {
    const fs::path path = fs::path(dir_ / "machine/drive_c/Program Files/File Test") / relative;
    return fs::is_regular_file(path) ? ReadHostFile(path.string()) : "<missing>";
  }

  TempDir dir_;
};

TEST_F(InstallFilesEndToEndTest, OfflineFilesArriveWithTheirSubfolders) {
  Build("", "Install Files: source=files\\* build_options=recurse destination=$TARGETDIR$\n");
  RunResult r = RunSetup();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Installed("app.exe"), "program bytes");
  EXPECT_EQ(Installed("lib/helper.dll"), "helper bytes");
}

TEST_F(InstallFilesEndToEndTest, OtherCacheModesReadTheDataFolderBesideTheSetup) {
  Build("cache-mode = 3\n", "Install Files: source=files\\app.exe destination=$TARGETDIR$\\bin\n");
  RunResult r = RunSetup();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Installed("bin/app.exe"), "program bytes");
}

TEST_F(InstallFilesEndToEndTest, WebBlockFilesAreDownloadedExtractedAndPlaced) {
  fs::create_directories(dir_ / "web");
  FolderServer server(dir_ / "web");
  Build("[web-media]\nDocs = \"block pw\"\n",
        "Install Files: source=files\\app.exe destination=$TARGETDIR$\n"
        "Web Media Block: name=Docs urls=\"" + server.Url("Docs.7z") + "\"\n"
        "Install Files: source=docs\\* build_options=\"recurse media=Docs\" destination=$TARGETDIR$\\docs\n");
  // The block is published on the server, not shipped beside the setup.
  fs::rename(dir_ / "out/Docs.7z", dir_ / "web/Docs.7z");
  RunResult r = RunSetup();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_GE(server.requests(), 1);
  EXPECT_EQ(Installed("app.exe"), "program bytes");
  EXPECT_EQ(Installed("docs/guide.txt"), "guide bytes");
  EXPECT_EQ(Installed("docs/faq/faq.txt"), "faq bytes");
}

}  // namespace
}  // namespace kestrawl
