// The media cache on a throw-away machine with the real archive library:
// web block extraction and placement, markers, the offline copy,
// COPYWEBLOCK and the end-of-run clean-up.
#include "script/media_cache.h"

#include <gtest/gtest.h>

#include "media/archive_library.h"
#include "script/commands/archive_commands.h"
#include "script/interpreter.h"
#include "script/web_media_grab.h"
#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using testing::ScriptFixture;

class MediaCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.Load(testing::BinPath("zel.lib"))) << library_.error();
    f_.engine().archive = &library_;
    f_.engine().settings.silent = true;
    f_.vars().SetSilent(true);
    RestoreScriptFields();
    root_ = CurrentMediaRoot(f_.engine(), f_.run());
  }

  platform::FileSystem& Files() { return f_.machine().Files(); }
  std::string File(const std::string& path) {
    std::string data;
    return Files().ReadWholeFile(path, &data) == 0 ? data : "<missing>";
  }

  // Builds C:\Setup\Blk.7zip holding Blk\hdr\{a,b,c}.txt (encrypted,
  // names included, when a password is given).
  void MakeLocalBlock(const std::string& password = "") {
    ASSERT_EQ(Files().CreateFolderTree("C:\\Src\\Blk\\hdr"), 0u);
    ASSERT_EQ(Files().WriteWholeFile("C:\\Src\\Blk\\hdr\\a.txt", "alpha"), 0u);
    ASSERT_EQ(Files().WriteWholeFile("C:\\Src\\Blk\\hdr\\b.txt", "beta"), 0u);
    ASSERT_EQ(Files().WriteWholeFile("C:\\Src\\Blk\\hdr\\c.txt", "gamma"), 0u);
    f_.SetScript({{"Compress 7Zip Archive", {"C:\\Out\\Blk.7z", password, "C:\\Src\\*", "", "0",
                                             password.empty() ? "-mx=1" : "-mx=1 -mhe=on", "", "", "", "C"}}});
    RunScript(f_.engine(), f_.run());
    RestoreScriptFields();
    ASSERT_EQ(f_.vars().GetVariable("C"), "SUCCESS");
    ASSERT_EQ(Files().CreateFolderTree("C:\\Setup"), 0u);
    ASSERT_EQ(Files().MoveFile("C:\\Out\\Blk.7z", "C:\\Setup\\Blk.7zip", 0), 0u);
  }
  // The run's variables and script fields (a script run resets them).
  void RestoreScriptFields() {
    f_.vars().DeclareVariable("OVERRIDECACHE", "C:\\Cache\\", "test");
    f_.vars().DeclareVariable("REVISIONCODE", "{REV}", "test");
    f_.vars().DeclareVariable("EXEDIR", "C:\\Setup\\", "test");
    // "hdr\a.txt" is listed twice; "hdr\c.txt" is not listed at all.
    f_.engine().script.cache_mode = kMediaCachedKind;
    f_.engine().script.product_code = "{PKG}";
    f_.engine().script.media_files = {"Blk", "hdr\\a.txt", "one\\", "Blk", "hdr\\a.txt", "two\\",
                                      "Blk", "hdr\\b.txt", "one\\"};
  }

  media::ArchiveLibrary library_;
  ScriptFixture f_;
  std::string root_;
};

TEST_F(MediaCacheTest, WebBlockIsPlacedByTheMediaFileTable) {
  MakeLocalBlock();
  GrabMedium(f_.engine(), f_.run(), "Blk\\");
  // The stored path listed twice lands at both targets.
  EXPECT_EQ(File(root_ + "one\\a.txt"), "alpha");
  EXPECT_EQ(File(root_ + "two\\a.txt"), "alpha");
  EXPECT_EQ(File(root_ + "one\\b.txt"), "beta");
  // What the table does not name stays below the block folder.
  EXPECT_EQ(File(root_ + "Blk\\hdr\\c.txt"), "gamma");
  EXPECT_TRUE(Files().FileExists(root_ + "Blk\\{PKG}"));
  // The local archive is used in place and kept; the staging folder goes.
  EXPECT_TRUE(Files().FileExists("C:\\Setup\\Blk.7zip"));
  std::string common;
  f_.machine().Sys().SpecialFolder(platform::csidl::kCommonAppData, &common);
  EXPECT_FALSE(Files().FolderExists(common + "\\velk"));
}

TEST_F(MediaCacheTest, CacheCompressionFollowsTheSetting) {
  MakeLocalBlock();
  for (const char* setting : {"TRUE", "FALSE"}) {
    f_.vars().DeclareVariable("VELK_COMPRESS_INSTALLER_CACHE", setting, "Test");
    DeleteFolderContents(Files(), root_);
    GrabMedium(f_.engine(), f_.run(), "Blk\\");
    platform::FileEntry entry;
    ASSERT_EQ(Files().GetEntry(root_ + "Blk", &entry), 0u);
    EXPECT_EQ((entry.attributes & platform::attr::kCompressed) != 0, std::string(setting) == "TRUE") << setting;
  }
}

TEST_F(MediaCacheTest, PresentMediumIsNotGrabbedAgainEvenWithoutItsArchive) {
  MakeLocalBlock();
  GrabMedium(f_.engine(), f_.run(), "Blk\\");
  ASSERT_EQ(Files().DeleteFile("C:\\Setup\\Blk.7zip"), 0u);
  ASSERT_EQ(Files().WriteWholeFile(root_ + "one\\a.txt", "changed"), 0u);
  EXPECT_NO_THROW(GrabMedium(f_.engine(), f_.run(), "Blk\\"));
  EXPECT_EQ(File(root_ + "one\\a.txt"), "changed");
}

TEST_F(MediaCacheTest, InterruptedGrabIsRedone) {
  MakeLocalBlock();
  ASSERT_EQ(Files().CreateFolderTree(root_ + "Blk\\hdr"), 0u);
  ASSERT_EQ(Files().WriteWholeFile(root_ + "Blk\\hdr\\junk.txt", "partial"), 0u);
  GrabMedium(f_.engine(), f_.run(), "Blk\\");
  EXPECT_FALSE(Files().FileExists(root_ + "Blk\\hdr\\junk.txt"));
  EXPECT_TRUE(Files().FileExists(root_ + "Blk\\{PKG}"));
  EXPECT_EQ(File(root_ + "two\\a.txt"), "alpha");
}

TEST_F(MediaCacheTest, DamagedArchiveFailsSilentlyWithoutMarker) {
  ASSERT_EQ(Files().CreateFolderTree("C:\\Setup"), 0u);
  ASSERT_EQ(Files().WriteWholeFile("C:\\Setup\\Blk.7zip", "this is not an archive"), 0u);
  try {
    GrabMedium(f_.engine(), f_.run(), "Blk\\");
    FAIL() << "no error";
  } catch (const EMediaGrab& e) {
    EXPECT_STREQ(e.what(), kExtractFailedMessage);
  }
  EXPECT_EQ(f_.vars().GetVariable("VELK_IsCancelled"), "TRUE");
  EXPECT_FALSE(Files().FolderExists(root_ + "Blk"));
  // The user's data is preserved.
  EXPECT_TRUE(Files().FileExists("C:\\Setup\\Blk.7zip"));
}

// A wrong block password: the archive cannot be opened, the retry prompt
// is not shown in a silent run (it counts as Cancel), the grab fails and
// the downloaded data stays.
TEST_F(MediaCacheTest, WrongPasswordTakesTheCancelPathInASilentRun) {
  MakeLocalBlock("right-password");
  f_.run().web_media.Record({"Blk", {}, "wrong-password"});
  try {
    GrabMedium(f_.engine(), f_.run(), "Blk\\");
    FAIL() << "no error";
  } catch (const EMediaGrab& e) {
    EXPECT_STREQ(e.what(), kExtractFailedMessage);
  }
  EXPECT_EQ(f_.vars().GetVariable("VELK_IsCancelled"), "TRUE");
  EXPECT_FALSE(Files().FolderExists(root_ + "Blk"));
  EXPECT_TRUE(Files().FileExists("C:\\Setup\\Blk.7zip"));

  // With the right password the same archive is placed.
  f_.vars().AssignVariable("VELK_IsCancelled", "FALSE", "test");
  f_.run().bad_local_archives.clear();
  f_.run().web_media.Record({"Blk", {}, "right-password"});
  GrabMedium(f_.engine(), f_.run(), "Blk\\");
  EXPECT_EQ(File(root_ + "one\\a.txt"), "alpha");
}

TEST_F(MediaCacheTest, UnreadableArchiveIsReportedAsCannotOpen) {
  ASSERT_EQ(Files().CreateFolderTree("C:\\Setup"), 0u);
  ASSERT_EQ(Files().WriteWholeFile("C:\\Setup\\Blk.7zip", "this is not an archive"), 0u);
  ExtractMediaRequest request;
  request.archive = "C:\\Setup\\Blk.7zip";
  request.media_root = root_;
  request.staging = "C:\\Staging\\";
  request.table = MediaFileTable(f_.engine().script);
  const ExtractMediaResult result = ExtractMedia(Files(), MakeArchiveHost(f_.engine()), request, {});
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.cannot_open) << result.error;
}

TEST_F(MediaCacheTest, LocalArchiveMarkedBadIsNotUsedAgain) {
  MakeLocalBlock();
  f_.run().bad_local_archives.push_back("c:\\setup\\blk.7zip");
  // No block was recorded, so the download that replaces it fails.
  try {
    GrabMedium(f_.engine(), f_.run(), "Blk\\");
    FAIL() << "no error";
  } catch (const EMediaGrab& e) {
    EXPECT_STREQ(e.what(), kWebDownloadFailedMessage);
  }
  EXPECT_FALSE(Files().FileExists(root_ + "Blk\\{PKG}"));
}

TEST_F(MediaCacheTest, TableEntriesLeavingTheCacheFailTheExtraction) {
  MakeLocalBlock();
  ASSERT_EQ(Files().WriteWholeFile("C:\\Setup\\victim.txt", "keep me"), 0u);
  struct Case {
    std::vector<std::string> table;
  };
  for (const Case& c : {Case{{"Blk", "..\\..\\..\\Setup\\victim.txt", "one\\"}},
                        Case{{"Blk", "hdr\\a.txt", "..\\..\\Elsewhere\\"}},
                        Case{{"Blk", "C:\\Setup\\victim.txt", "one\\"}}}) {
    SCOPED_TRACE(c.table[1] + " -> " + c.table[2]);
    f_.engine().script.media_files = c.table;
    ExtractMediaRequest request;
    request.archive = "C:\\Setup\\Blk.7zip";
    request.media_root = root_;
    request.staging = "C:\\Staging\\";
    request.table = MediaFileTable(f_.engine().script);
    const ExtractMediaResult result = ExtractMedia(Files(), MakeArchiveHost(f_.engine()), request, {});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(File("C:\\Setup\\victim.txt"), "keep me");
    EXPECT_FALSE(Files().FolderExists("C:\\Cache\\Elsewhere"));
    Files().DeleteTree("C:\\Staging");
  }
}

TEST_F(MediaCacheTest, ChangedRootTakesTheEarlierMediaAlong) {
  ASSERT_EQ(Files().CreateFolderTree("C:\\OldRoot\\Blk\\hdr"), 0u);
  ASSERT_EQ(Files().WriteWholeFile("C:\\OldRoot\\Blk\\hdr\\a.txt", "moved"), 0u);
  f_.run().media_root = "C:\\OldRoot\\";
  EXPECT_EQ(CurrentMediaRoot(f_.engine(), f_.run()), root_);
  EXPECT_EQ(f_.run().media_root, root_);
  EXPECT_EQ(File(root_ + "Blk\\hdr\\a.txt"), "moved");
  EXPECT_FALSE(Files().FileExists("C:\\OldRoot\\Blk\\hdr\\a.txt"));
}

TEST_F(MediaCacheTest, StaleStagedFilesOfAFailedExtractionAreNotUsed) {
  MakeLocalBlock();
  ASSERT_EQ(Files().CreateFolderTree("C:\\Staging\\Blk\\hdr"), 0u);
  ASSERT_EQ(Files().WriteWholeFile("C:\\Staging\\Blk\\hdr\\a.txt", "stale"), 0u);
  ExtractMediaRequest request;
  request.archive = "C:\\Setup\\Blk.7zip";
  request.media_root = root_;
  request.staging = "C:\\Staging\\";
  request.table = MediaFileTable(f_.engine().script);
  const ExtractMediaResult result = ExtractMedia(Files(), MakeArchiveHost(f_.engine()), request, {});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(File(root_ + "one\\a.txt"), "alpha");
  EXPECT_EQ(File(root_ + "two\\a.txt"), "alpha");
  EXPECT_FALSE(Files().FolderExists("C:\\Staging"));
}

TEST_F(MediaCacheTest, RemoveModeGrabsNothing) {
  f_.vars().DeclareVariable("REMOVE", "TRUE", "test");
  EXPECT_NO_THROW(GrabMedium(f_.engine(), f_.run(), "Missing\\"));
  EXPECT_FALSE(Files().FolderExists(root_ + "Missing"));
}

TEST_F(MediaCacheTest, OfflineMediaAreCopiedOrMoved) {
  struct Case {
    const char* cache_sources;
    bool source_kept;
  };
  for (const Case& c : {Case{"", false}, Case{"true", true}}) {
    SCOPED_TRACE(c.cache_sources);
    ScriptFixture f;
    f.engine().settings.silent = true;
    f.vars().SetSilent(true);
    f.vars().DeclareVariable("OVERRIDECACHE", "C:\\Cache\\", "test");
    f.vars().DeclareVariable("EXEDIR", "C:\\Setup\\", "test");
    f.vars().DeclareVariable("SFXPATH", "C:\\Setup", "test");
    f.vars().DeclareVariable("SFXFILE", "setup.exe", "test");
    f.vars().DeclareVariable("COPYWEBLOCK", "C:\\Copy", "test");
    f.engine().script.cache_mode = kMediaCachedKind;
    f.engine().script.product_code = "{PKG}";
    if (*c.cache_sources) f.engine().script.compiler_variables = {"#CACHESOURCES#", c.cache_sources};
    auto& files = f.machine().Files();
    ASSERT_EQ(files.CreateFolderTree("C:\\Setup\\offline\\x"), 0u);
    ASSERT_EQ(files.CreateFolderTree("C:\\Setup\\mergemod"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Setup\\offline\\x\\f.txt", "offline file"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Setup\\mergemod\\m.txt", "merge module"), 0u);
    ASSERT_EQ(files.WriteWholeFile("C:\\Setup\\setup.exe", "exe"), 0u);
    const std::string root = CurrentMediaRoot(f.engine(), f.run());

    GrabMedium(f.engine(), f.run(), kOfflineMediumName);
    std::string data;
    EXPECT_EQ(files.ReadWholeFile(root + "offline\\x\\f.txt", &data), 0u);
    EXPECT_EQ(data, "offline file");
    EXPECT_EQ(files.ReadWholeFile(root + "m.txt", &data), 0u);
    EXPECT_EQ(data, "merge module");
    EXPECT_TRUE(files.FileExists(root + "OFFLINE\\{PKG}"));
    EXPECT_EQ(files.FileExists("C:\\Setup\\offline\\x\\f.txt"), c.source_kept);
    EXPECT_EQ(files.ReadWholeFile("C:\\Copy\\setup.exe", &data), 0u);
    EXPECT_EQ(data, "exe");
  }
}

TEST_F(MediaCacheTest, CopyIfDifferentComparesSizes) {
  struct Case {
    const char* existing;  // nullptr: no target
    const char* expected;
  };
  ASSERT_EQ(Files().CreateFolderTree("C:\\S"), 0u);
  ASSERT_EQ(Files().WriteWholeFile("C:\\S\\f.bin", "12345"), 0u);
  for (const Case& c : {Case{nullptr, "12345"}, Case{"abcde", "abcde"}, Case{"ab", "12345"}}) {
    SCOPED_TRACE(c.existing ? c.existing : "(none)");
    Files().DeleteTree("C:\\T");
    if (c.existing) {
      ASSERT_EQ(Files().CreateFolderTree("C:\\T\\deep"), 0u);
      ASSERT_EQ(Files().WriteWholeFile("C:\\T\\deep\\f.bin", c.existing), 0u);
    }
    EXPECT_TRUE(CopyIfDifferent(Files(), "C:\\S\\f.bin", "C:\\T\\deep\\f.bin"));
    EXPECT_EQ(File("C:\\T\\deep\\f.bin"), c.expected);
  }
  EXPECT_FALSE(CopyIfDifferent(Files(), "C:\\S\\f.bin", "relative\\f.bin"));
}

TEST_F(MediaCacheTest, CleanUpKeepsOnlyOfflineWhenSourcesAreNotCached) {
  for (const char* sub : {"OFFLINE\\x", "Blk\\hdr", "Other"}) ASSERT_EQ(Files().CreateFolderTree(root_ + sub), 0u);
  ASSERT_EQ(Files().WriteWholeFile(root_ + "Blk\\hdr\\a.txt", "a"), 0u);
  ASSERT_EQ(Files().WriteWholeFile(root_ + "OFFLINE\\x\\f.txt", "f"), 0u);

  f_.engine().script.compiler_variables = {"#CACHESOURCES#", "true"};
  CleanUpMediaCache(f_.engine(), f_.run());
  EXPECT_TRUE(Files().FolderExists(root_ + "Blk"));

  f_.engine().script.compiler_variables = {"#CACHESOURCES#", "False"};
  CleanUpMediaCache(f_.engine(), f_.run());
  EXPECT_FALSE(Files().FolderExists(root_ + "Blk"));
  EXPECT_FALSE(Files().FolderExists(root_ + "Other"));
  EXPECT_EQ(File(root_ + "OFFLINE\\x\\f.txt"), "f");
}

}  // namespace
}  // namespace kestrawl::script
