// `kestrawl build` with file-group commands: the files named by "source" are
// collected from the project, written to OUT/offline, OUT/data or packed
// into web media block archives, and the compiled script gets command
// headers, the file table, media folders, the media file table and the
// total size that match them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "bootstrap/stub_size.h"
#include "media/archive_library.h"
#include "script/compiled_script_reader.h"
#include "support/test_support.h"

namespace kestrawl {
namespace {

namespace fs = std::filesystem;
using testing::BinPath;
using testing::ReadHostFile;
using testing::RunResult;
using testing::TempDir;
using testing::WriteHostFile;

constexpr const char* kProduct = "{11111111-2222-3333-4444-555555555555}";

std::string Header(const std::string& extra = "") {
  return std::string("[setup]\nname = app\ntitle = Test App\nproduct-code = ") + kProduct +
         "\nrevision-code = {66666666-7777-8888-9999-AAAAAAAAAAAA}\n" + extra;
}

class BuildInstallFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A small project tree: the .txt beside the .dll files must not match *.dll.
    Put("files/app.exe", "program");
    Put("files/bin/a.dll", "aaaa");
    Put("files/bin/readme.txt", "not a dll");
    Put("files/bin/x86/b.dll", "bbbbbb");
    Put("files/docs/guide.txt", "guide text");
    Put("files/docs/more/faq.txt", "faq");
  }

  void Put(const std::string& relative, const std::string& bytes) {
    WriteHostFile(dir_ / ("project/" + relative), bytes);
  }

  RunResult Build(const std::string& kws, const std::string& out = "out") {
    WriteHostFile(dir_ / "project/setup.kws", kws);
    return testing::Run({BinPath("kestrawl"), "build", dir_ / "project", "-o", dir_ / out});
  }

  void BuildOk(const std::string& kws, const std::string& out = "out") {
    RunResult r = Build(kws, out);
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }

  script::CompiledScript Compiled(const std::string& out = "out") {
    const std::string setup = ReadHostFile(dir_ / (out + "/app"));
    auto stub = bootstrap::ComputeStubSize(setup);
    EXPECT_TRUE(stub.has_value());
    return script::ParseCompiledScript(std::string_view(setup).substr(stub.value_or(0)));
  }

  // Command index -> header, from field 22.
  static std::map<size_t, std::string> Headers(const script::CompiledScript& s) {
    std::map<size_t, std::string> out;
    for (size_t i = 0; i + 1 < s.command_headers.size(); i += 2)
      out[std::stoul(s.command_headers[i + 1])] = s.command_headers[i];
    return out;
  }

  // Every file below OUT/<folder>, '/'-separated, with its bytes.
  std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> out;
    const fs::path top = dir_ / folder;
    if (!fs::exists(top)) return out;
    for (const auto& e : fs::recursive_directory_iterator(top))
      if (e.is_regular_file()) out[e.path().lexically_relative(top).generic_string()] = ReadHostFile(e.path());
    return out;
  }

  // Names in the archive (files and folders), or nullopt when it cannot be listed.
  std::optional<std::set<std::string>> Listing(const std::string& archive, const std::string& password) {
    media::ArchiveLibrary zel;
    EXPECT_TRUE(zel.Load(BinPath("zel.lib"))) << zel.error();
    std::vector<media::ListedArchiveItem> items;
    if (!zel.List(archive, password, nullptr, items)) return std::nullopt;
    std::set<std::string> names;
    for (const auto& item : items) names.insert(item.name);
    return names;
  }

  TempDir dir_;
};

TEST_F(BuildInstallFilesTest, OfflineMediaCarryEveryInstallKindWithItsFileTable) {
  BuildOk(Header() +
          "[script]\n"
          "Set Variable: variable=X value=1\n"                                                   // 0
          "Install Files: source=files\\app.exe destination=$TARGETDIR$\n"                        // 1
          "Install Files: source=files/bin/*.dll build_options=recurse destination=$TARGETDIR$\n"  // 2
          "Write Registry: root=4 key=Software\\Test\n"                                           // 3
          "Install Assembly: source=files\\bin\\a.dll destination=$TARGETDIR$\n"                  // 4
          "Install Assembly: source=files\\bin\\*.dll build_options=\"assembly=Test.Lib\" global_cache=TRUE "
          "destination=$TARGETDIR$\n"                                                             // 5
          "Install Service: service=Svc destination=$TARGETDIR$ source=files\\app.exe start_type=0 "
          "error_control=1\n"                                                                     // 6
          "Install ODBC Driver: driver=Drv source=files\\bin\\a.dll build_options=\"setup=drvsetup.dll\" "
          "destination=$SYSDIR$\n");                                                             // 7
  const script::CompiledScript s = Compiled();

  // Headers: every change command, nothing else; eight upper-case hex digits, unique.
  const auto headers = Headers(s);
  std::set<size_t> indices;
  std::set<std::string> distinct;
  for (const auto& [index, header] : headers) {
    indices.insert(index);
    distinct.insert(header);
    EXPECT_TRUE(std::regex_match(header, std::regex("[0-9A-F]{8}"))) << header;
  }
  EXPECT_EQ(indices, (std::set<size_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(distinct.size(), 7u);

  const std::string root = std::string(kProduct) + "\\offline\\";
  auto h = [&](size_t i) { return headers.at(i); };
  EXPECT_EQ(s.file_headers, (std::vector<std::string>{
                                h(1), "NEWHEADER", root + h(1) + "\\app.exe", "",
                                h(2), "NEWHEADER", root + h(2) + "\\a.dll", "", root + h(2) + "\\x86\\b.dll", "x86\\",
                                h(4), "NEWHEADER", root + h(4) + "\\a.dll", "a",
                                h(5), "NEWHEADER", root + h(5) + "\\a.dll", "Test.Lib",
                                h(6), "NEWHEADER", root + h(6) + "\\app.exe", "",
                                h(7), "NEWHEADER", root + h(7) + "\\a.dll", "drvsetup.dll",
                            }));
  EXPECT_EQ(s.media_folders, (std::vector<std::string>{"", "OFFLINE\\", "OFFLINE\\", "", "OFFLINE\\", "OFFLINE\\",
                                                       "OFFLINE\\", "OFFLINE\\"}));
  EXPECT_TRUE(s.media_files.empty());
  EXPECT_EQ(s.total_size, 7 + 4 + 6 + 4 + 4 + 7 + 4);

  EXPECT_EQ(Tree("out/offline"), (std::map<std::string, std::string>{
                                     {h(1) + "/app.exe", "program"},
                                     {h(2) + "/a.dll", "aaaa"},
                                     {h(2) + "/x86/b.dll", "bbbbbb"},
                                     {h(4) + "/a.dll", "aaaa"},
                                     {h(5) + "/a.dll", "aaaa"},
                                     {h(6) + "/app.exe", "program"},
                                     {h(7) + "/a.dll", "aaaa"},
                                 }));
  EXPECT_FALSE(fs::exists(dir_ / "out/data"));

  // Stored lines stay as written; build-only options of kinds without a
  // build_options line are not stored (line 2 of "Install Assembly" is its flag).
  EXPECT_EQ(s.GetParameter(2, 1), "files/bin/*.dll");
  EXPECT_EQ(s.GetParameter(2, 2), "recurse");
  EXPECT_EQ(s.GetParameter(5, 2), "TRUE");
  EXPECT_EQ(s.GetParameter(7, 3), "setup=drvsetup.dll");
}

TEST_F(BuildInstallFilesTest, OtherCacheModesUseTheDataFolderBesideTheSetup) {
  BuildOk(Header("cache-mode = 3\n") +
          "[script]\n"
          "Install Files: source=files\\docs\\*.txt build_options=recurse destination=$TARGETDIR$\n");
  const script::CompiledScript s = Compiled();
  const std::string h = Headers(s).at(0);
  EXPECT_EQ(s.file_headers, (std::vector<std::string>{h, "NEWHEADER", h + "\\guide.txt", "",
                                                      h + "\\more\\faq.txt", "more\\"}));
  EXPECT_EQ(s.media_folders, (std::vector<std::string>{""}));
  EXPECT_EQ(s.total_size, 10 + 3);
  // The empty file named by the product code marks the setup's sources.
  EXPECT_EQ(Tree("out/data"), (std::map<std::string, std::string>{{h + "/guide.txt", "guide text"},
                                                                   {h + "/more/faq.txt", "faq"},
                                                                   {kProduct, ""}}));
  EXPECT_FALSE(fs::exists(dir_ / "out/offline"));
}

TEST_F(BuildInstallFilesTest, WebMediaBlocksArePackedEncryptedAndListedInTheMediaFileTable) {
  BuildOk(Header("media-compression = fast\n") +
          "[web-media]\nDocs = \"pass word\"\n\n"
          "[script]\n"
          "Install Files: source=files\\docs\\* build_options=\"recurse media=Docs\" destination=$TARGETDIR$\n"
          "Install Files: source=files\\app.exe build_options=media=docs destination=$TARGETDIR$\n"
          "Install Files: source=files\\bin\\a.dll build_options=media=Plain destination=$TARGETDIR$\n");
  const script::CompiledScript s = Compiled();
  const auto headers = Headers(s);
  const std::string h0 = headers.at(0), h1 = headers.at(1), h2 = headers.at(2);

  // One block, one spelling: "docs" joins the "Docs" archive.
  EXPECT_EQ(s.media_folders, (std::vector<std::string>{"Docs\\", "Docs\\", "Plain\\"}));
  EXPECT_EQ(s.media_files, (std::vector<std::string>{
                               "Docs", h0 + "\\guide.txt", "Docs\\" + h0 + "\\",
                               "Docs", h0 + "\\more\\faq.txt", "Docs\\" + h0 + "\\more\\",
                               "Docs", h1 + "\\app.exe", "Docs\\" + h1 + "\\",
                               "Plain", h2 + "\\a.dll", "Plain\\" + h2 + "\\",
                           }));
  const std::string r = std::string(kProduct) + "\\";
  EXPECT_EQ(s.file_headers, (std::vector<std::string>{
                                h0, "NEWHEADER", r + "Docs\\" + h0 + "\\guide.txt", "",
                                r + "Docs\\" + h0 + "\\more\\faq.txt", "more\\",
                                h1, "NEWHEADER", r + "Docs\\" + h1 + "\\app.exe", "",
                                h2, "NEWHEADER", r + "Plain\\" + h2 + "\\a.dll", "",
                            }));
  EXPECT_EQ(s.total_size, 10 + 3 + 7 + 4);

  const auto docs = Listing(dir_ / "out/Docs.7z", "pass word");
  ASSERT_TRUE(docs.has_value());
  std::set<std::string> files;
  for (const auto& name : *docs)
    if (name.find('.') != std::string::npos) files.insert(name);
  EXPECT_EQ(files, (std::set<std::string>{"Docs\\" + h0 + "\\guide.txt", "Docs\\" + h0 + "\\more\\faq.txt",
                                          "Docs\\" + h1 + "\\app.exe"}));
  EXPECT_FALSE(Listing(dir_ / "out/Docs.7z", "").has_value()) << "names are encrypted too";
  EXPECT_EQ(Listing(dir_ / "out/Plain.7z", ""),
            (std::set<std::string>{"Plain", "Plain\\" + h2, "Plain\\" + h2 + "\\a.dll"}));

  // Nothing of the blocks lies loose in the output.
  EXPECT_TRUE(Tree("out/offline").empty());
  EXPECT_FALSE(fs::exists(dir_ / "out/.kestrawl-packing"));
}

TEST_F(BuildInstallFilesTest, RebuildsAreRepeatableAndDropFilesOfEarlierBuilds) {
  // No password: encryption salts every archive differently.
  const std::string both = Header() + "[script]\n"
                           "Install Files: source=files\\bin\\*.dll build_options=recurse destination=$TARGETDIR$\n"
                           "Install Files: source=files\\docs\\* build_options=media=Blk destination=$TARGETDIR$\n";
  BuildOk(both, "one");
  BuildOk(both, "two");
  EXPECT_EQ(ReadHostFile(dir_ / "one/app"), ReadHostFile(dir_ / "two/app"));
  EXPECT_EQ(ReadHostFile(dir_ / "one/Blk.7z"), ReadHostFile(dir_ / "two/Blk.7z"));
  EXPECT_EQ(Tree("one/offline"), Tree("two/offline"));

  // Dropping the first command into the same output leaves only the files still installed.
  BuildOk(Header() + "[script]\n"
          "Install Files: source=files\\docs\\* build_options=media=Blk destination=$TARGETDIR$\n",
          "one");
  EXPECT_TRUE(Tree("one/offline").empty());
  const std::string h = Headers(Compiled("one")).at(0);
  const auto listing = Listing(dir_ / "one/Blk.7z", "");
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(*listing, (std::set<std::string>{"Blk", "Blk\\" + h, "Blk\\" + h + "\\guide.txt"}));
}

TEST_F(BuildInstallFilesTest, AnOutputFolderThatWouldDeleteProjectFilesIsRefused) {
  Put("offline/keep.txt", "precious");
  RunResult r = Build(Header() + "[script]\nInstall Files: source=offline\\keep.txt destination=$TARGETDIR$\n",
                      "project");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("choose another output folder"), std::string::npos) << r.err;
  EXPECT_EQ(ReadHostFile(dir_ / "project/offline/keep.txt"), "precious");
}

TEST_F(BuildInstallFilesTest, BadSourcesAndBuildOptionsStopTheBuildAtTheirLine) {
  Put("files/case/Read.txt", "1");
  Put("files/case/read.TXT", "2");
  struct Case {
    const char* header_extra;
    const char* command;
    const char* message;
  } cases[] = {
      {"", "Install Files: source=files\\app.exe build_options=\"recurse fast\" destination=X", "unknown build option 'fast'"},
      {"", "Install Files: source=files\\app.exe build_options=assembly=A destination=X", "unknown build option 'assembly=A'"},
      {"", "Install Assembly: source=files\\bin\\a.dll build_options=setup=s.dll destination=X", "unknown build option"},
      {"", "Install Files: source=files\\nothere\\*.dll destination=X", "source folder not found: files\\nothere\\"},
      {"", "Install Files: source=files\\bin\\*.ocx build_options=recurse destination=X", "matches no file"},
      {"", "Install Files: source=files\\bin\\x86 destination=X", "names a folder"},
      {"", "Install Files: source=files\\*\\a.dll destination=X", "only in the last part"},
      {"", "Install Files: source=..\\outside\\*.dll destination=X", "inside the project folder"},
      {"", "Install Files: source=/etc/passwd destination=X", "relative to the project folder"},
      {"", "Install Files: source=C:\\files\\app.exe destination=X", "relative to the project folder"},
      {"", "Install Files: destination=X", "needs the parameter 'source'"},
      {"", "Install Files: source=files\\case\\* destination=X", "differ only in letter case"},
      {"", "Install Files: source=files\\app.exe build_options=media=offline destination=X", "setup's own media"},
      {"", "Install Files: source=files\\app.exe build_options=media=a:b destination=X", "legal file name"},
      {"cache-mode = 3\n", "Install Files: source=files\\app.exe build_options=media=Docs destination=X",
       "needs cache-mode 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    fs::remove_all(dir_ / "out");
    RunResult r = Build(Header(c.header_extra) + "[script]\nComment: text=first\n" + c.command + "\n");
    EXPECT_EQ(r.exit_code, 1);
    // Five header lines, the optional extra one, [script], the comment, then the command.
    const std::string line = std::to_string(std::string(c.header_extra).empty() ? 8 : 9);
    EXPECT_NE(r.err.find("setup.kws:" + line + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out/app")) << "no setup from a failed build";
  }
}

TEST_F(BuildInstallFilesTest, UnknownMediaCompressionIsAHeaderError) {
  RunResult r = Build(Header("media-compression = ultra\n") + "[script]\nComment: text=x\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("setup.kws:6: 'media-compression' must be store, fast, normal or maximum"),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace kestrawl
