// The engine's archive wrappers over the real library: item lists, default
// callbacks, error texts, duplicate removal, presets and the memory retries.
#include "media/archive_wrappers.h"

#include <filesystem>
#include <set>

#include "archive/archive_fixture.h"
#include "base/text.h"
#include "media/compression_presets.h"

namespace kestrawl::testing {
namespace {

namespace fs = std::filesystem;
using media::ArchiveCallbacks;
using media::ArchiveHost;

class WrapperTest : public ArchiveTest {
 protected:
  ArchiveHost Host(bool windows_64bit = true) const {
    ArchiveHost host;
    host.library = &lib();
    host.processors = 4;
    host.windows_64bit = windows_64bit;
    return host;
  }
  std::string src_ = MakeSource({{"a.txt", "alpha"}, {"sub/b c.txt", "bravo"}, {"sub/c.txt", "charlie"}});
};

TEST_F(WrapperTest, ListExtractTestAndDeleteRoundTrip) {
  const ArchiveHost host = Host();
  std::string error;
  ASSERT_TRUE(media::CreateArchive(host, tmp_ / "r.7z", "", "", nullptr, {src_ + "/a.txt"}, {src_ + "/sub"},
                                   error, ZEL_UPDATE_ADD, ZEL_KIND_7Z))
      << error;
  std::vector<std::string> names;
  ASSERT_TRUE(media::ListArchive(host, tmp_ / "r.7z", "", error, names)) << error;
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"a.txt", "sub", "sub\\b c.txt", "sub\\c.txt"}));

  // No item list: everything; flat puts files side by side.
  ASSERT_TRUE(media::ExtractArchive(host, tmp_ / "r.7z", "", tmp_ / "all", error, nullptr, nullptr, false, false));
  EXPECT_EQ(ReadHostFile(tmp_ / "all/sub/c.txt"), "charlie");
  const std::vector<std::string> one = {"sub\\c.txt"};
  ASSERT_TRUE(media::ExtractArchive(host, tmp_ / "r.7z", "", tmp_ / "flat", error, &one, nullptr, false, true));
  EXPECT_EQ(ReadHostFile(tmp_ / "flat/c.txt"), "charlie");
  EXPECT_FALSE(fs::exists(tmp_ / "flat/a.txt"));

  EXPECT_TRUE(media::TestArchive(host, tmp_ / "r.7z", "", error, nullptr)) << error;
  ASSERT_TRUE(media::DeleteFromArchive(host, tmp_ / "r.7z", "", error, nullptr, {"a.txt"})) << error;
  ASSERT_TRUE(media::ListArchive(host, tmp_ / "r.7z", "", error, names));
  EXPECT_EQ(std::count(names.begin(), names.end(), "a.txt"), 0);
  EXPECT_EQ(names.size(), 3u);
}

TEST_F(WrapperTest, SkipExistingKeepsFilesAndEmptyListExtractsNothing) {
  const ArchiveHost host = Host();
  std::string error;
  ASSERT_TRUE(media::CreateArchive(host, tmp_ / "s.7z", "", "", nullptr, {src_ + "\\*.*"}, {}, error,
                                   ZEL_UPDATE_ADD, ZEL_KIND_7Z))
      << error;
  WriteHostFile(tmp_ / "out/a.txt", "mine");
  ASSERT_TRUE(media::ExtractArchive(host, tmp_ / "s.7z", "", tmp_ / "out", error, nullptr, nullptr, true, false));
  EXPECT_EQ(ReadHostFile(tmp_ / "out/a.txt"), "mine");
  EXPECT_EQ(ReadHostFile(tmp_ / "out/sub/b c.txt"), "bravo");
  ASSERT_TRUE(media::ExtractArchive(host, tmp_ / "s.7z", "", tmp_ / "out", error, nullptr, nullptr, false, false));
  EXPECT_EQ(ReadHostFile(tmp_ / "out/a.txt"), "alpha");

  const std::vector<std::string> none;
  ASSERT_TRUE(media::ExtractArchive(host, tmp_ / "s.7z", "", tmp_ / "none", error, &none, nullptr, false, false));
  EXPECT_FALSE(fs::exists(tmp_ / "none"));
}

TEST_F(WrapperTest, FailuresBecomeErrorTexts) {
  const ArchiveHost host = Host();
  std::string error;
  std::vector<std::string> names;
  WriteHostFile(tmp_ / "junk.7z", "not an archive at all");
  EXPECT_FALSE(media::ListArchive(host, tmp_ / "junk.7z", "", error, names));
  EXPECT_EQ(error, "#1");
  EXPECT_FALSE(media::ExtractArchive(host, tmp_ / "junk.7z", "", tmp_ / "o", error, nullptr, nullptr, false, false));
  EXPECT_EQ(error, "#1");

  ASSERT_TRUE(media::CreateArchive(host, tmp_ / "p.7z", "Secret", "-mhe=on", nullptr, {src_ + "/a.txt"}, {},
                                   error, ZEL_UPDATE_ADD, ZEL_KIND_7Z));
  EXPECT_FALSE(media::ExtractArchive(host, tmp_ / "p.7z", "Wrong", tmp_ / "o", error, nullptr, nullptr, false, false));
  EXPECT_EQ(error, "#1");
  EXPECT_FALSE(fs::exists(tmp_ / "o/a.txt"));
  EXPECT_TRUE(media::ExtractArchive(host, tmp_ / "p.7z", "Secret", tmp_ / "o", error, nullptr, nullptr, false, false))
      << error;

  media::ArchiveLibrary unloaded;
  ArchiveHost broken;
  broken.library = &unloaded;
  EXPECT_FALSE(media::TestArchive(broken, tmp_ / "p.7z", "", error, nullptr));
  EXPECT_EQ(error, "The archive library is not loaded.");
}

TEST_F(WrapperTest, CallbacksReachTheCaller) {
  const ArchiveHost host = Host();
  std::string error;
  ASSERT_TRUE(media::CreateArchive(host, tmp_ / "c.7z", "", "", nullptr, {src_ + "/*"}, {}, error, ZEL_UPDATE_ADD,
                                   ZEL_KIND_7Z));
  ArchiveCallbacks callbacks;
  int progress_calls = 0;
  std::vector<uint32_t> opened;
  callbacks.progress = [&](const std::string&, uint64_t done, uint64_t total) {
    ++progress_calls;
    return done <= total;
  };
  callbacks.open = [&](const std::string&, uint32_t op) {
    opened.push_back(op);
    return true;
  };
  EXPECT_TRUE(media::ExtractArchive(host, tmp_ / "c.7z", "", tmp_ / "o", error, nullptr, &callbacks, false, false));
  EXPECT_GT(progress_calls, 0);
  EXPECT_EQ(opened, std::vector<uint32_t>{ZEL_OP_EXTRACT});

  callbacks.open = [](const std::string&, uint32_t) { return false; };
  EXPECT_FALSE(media::DeleteFromArchive(host, tmp_ / "c.7z", "", error, &callbacks, {"a.txt"}));
  EXPECT_EQ(error, "#3");
  std::vector<std::string> names;
  ASSERT_TRUE(media::ListArchive(host, tmp_ / "c.7z", "", error, names));
  EXPECT_EQ(std::count(names.begin(), names.end(), "a.txt"), 1);
}

TEST(ArchiveNamesTest, DuplicatesAreRemovedWithoutRegardToCase) {
  struct Case {
    std::vector<std::string> in, out;
  };
  const Case cases[] = {
      {{"A.txt", "b.txt"}, {"A.txt", "b.txt"}},                 // no duplicates: unchanged
      {{"A.txt", "B.txt", "a.TXT"}, {"a.txt", "b.txt"}},        // lower-cased, reversed
      {{"X", "y", "Z", "y"}, {"y", "z", "x"}},                  // last occurrence counts
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(media::RemoveDuplicateNames(c.in), c.out);
  EXPECT_EQ(media::CollapseAllFilesPattern("C:\\Data\\*.*"), "C:\\Data\\*");
  EXPECT_EQ(media::CollapseAllFilesPattern("a\\*.*\\b*.*"), "a\\*\\b*");
  EXPECT_EQ(media::CollapseAllFilesPattern("*.txt"), "*.txt");
  EXPECT_EQ(media::WithTrailingSeparator("C:\\Dest"), "C:\\Dest\\");
  EXPECT_EQ(media::WithTrailingSeparator("/tmp/dest"), "/tmp/dest/");
  EXPECT_EQ(media::WithTrailingSeparator("C:\\Dest\\"), "C:\\Dest\\");
}

TEST(CompressionPresetTest, PresetsFollowTheLevelTable) {
  const std::string strong =
      "-ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=26 -m1mf=bt4 -m1fb=64 -m2=LZMA2 -m2d=20 -m2mf=bt4 -m2fb=64 "
      "-m3=LZMA2 -m3d=20 -m3mf=bt4 -m3fb=64 -mb0:1 -mb0s1:2 -mb0s2:3 ";
  struct Case {
    std::string level;
    bool encryption;
    unsigned processors;
    std::string preset;
  };
  const Case cases[] = {
      {"0", false, 4, "-ssw -mhe=off -mmt=4 -ms=off -mhc=off -m0=None -m0=Copy "},
      {"1", true, 8, "-ssw -mhe=on -mmt=8 -ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=23 -m1mf=hc4 -m1fb=64 "},
      {"2", false, 1, "-ssw -mhe=off -mmt=off -ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=23 -m1mf=bt4 -m1fb=64 "},
      {"3", false, 2,
       "-ssw -mhe=off -mmt=2 -ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=25 -m1mf=bt4 -m1fb=64 -m2=LZMA2 -m2d=20 "
       "-m2mf=bt4 -m2fb=64 -m3=LZMA2 -m3d=20 -m3mf=bt4 -m3fb=64 -mb0:1 -mb0s1:2 -mb0s2:3 "},
      {"3", true, 16,
       "-ssw -mhe=on -mmt=3 -ms=on -mhc=on -m0=BCJ2 -m1=LZMA2 -m1d=25 -m1mf=bt4 -m1fb=64 -m2=LZMA2 -m2d=20 "
       "-m2mf=bt4 -m2fb=64 -m3=LZMA2 -m3d=20 -m3mf=bt4 -m3fb=64 -mb0:1 -mb0s1:2 -mb0s2:3 "},
      {"4", true, 16, "-ssw -mhe=on -mmt=2 " + strong},
      {"6", false, 0, "-ssw -mhe=off -mmt=off " + strong},
      {"ultra", false, 4, "-ssw -mhe=off -mmt=2 " + strong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level + "/" + std::to_string(c.processors));
    EXPECT_EQ(media::BuildPreset(c.level, c.encryption, c.processors), c.preset);
  }
}

TEST(CompressionPresetTest, SwitchesAreMatchedToTheFirstEqualPreset) {
  // Levels 4, 5 and 6 share their switches: the match reports "4".
  auto match = media::FindPresetLevel(media::BuildPreset("6", false, 4), 4);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->level, "4");
  EXPECT_FALSE(match->header_encryption);
  match = media::FindPresetLevel(base::AsciiUpper(media::BuildPreset("3", true, 4)), 4);
  ASSERT_TRUE(match);
  EXPECT_EQ(match->level, "3");
  EXPECT_TRUE(match->header_encryption);
  EXPECT_FALSE(media::FindPresetLevel(media::BuildPreset("1", true, 4), 4));  // 1 is never matched
  EXPECT_FALSE(media::FindPresetLevel(media::BuildPreset("3", true, 2), 4));  // other thread count
  EXPECT_FALSE(media::FindPresetLevel("-mx=9", 4));
}

TEST(CompressionPresetTest, RetryLevelsDependOnTheHost) {
  using L = std::vector<std::string>;
  EXPECT_EQ(media::PresetRetryLevels("4", false), (L{"3", "2", "1"}));
  EXPECT_EQ(media::PresetRetryLevels("3", false), (L{"2", "1", "1"}));
  EXPECT_EQ(media::PresetRetryLevels("2", true), (L{"6", "5", "2"}));
  EXPECT_EQ(media::PresetRetryLevels("4", true), (L{"6", "5", "2"}));
  EXPECT_EQ(media::PresetRetryLevels("5", true), (L{"4", "3", "2"}));
  EXPECT_EQ(media::PresetRetryLevels("6", true), (L{"5", "4", "2"}));
}

// A 7-Zip that always runs out of memory.
constexpr const char* kOutOfMemory = "echo \"ERROR: Can't allocate required memory!\" >&2; exit 2";

TEST_F(WrapperTest, CreateRetriesLowerPresetsOnlyForKnownPresets) {
  struct Case {
    bool windows_64bit;
    std::string level;
    std::vector<std::string> tried;
  };
  const Case cases[] = {
      {false, "4", {"4", "3", "2", "1"}},
      {true, "4", {"4", "6", "5", "2"}},
      {true, "3", {"3", "6", "5", "2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level + (c.windows_64bit ? " on 64-bit" : " on 32-bit"));
    fs::remove(tmp_ / "fake.log");
    ScopedEnv env("KESTRAWL_7ZIP", MakeFakeSevenZip(kOutOfMemory));
    std::string error;
    EXPECT_FALSE(media::CreateArchive(Host(c.windows_64bit), tmp_ / "m.7z", "", media::BuildPreset(c.level, true, 4),
                                      nullptr, {src_ + "/a.txt"}, {}, error, ZEL_UPDATE_ADD, ZEL_KIND_7Z));
    EXPECT_EQ(error, "#1018");
    const auto log = FakeLog();
    ASSERT_EQ(log.size(), c.tried.size());
    for (size_t i = 0; i < log.size(); ++i) {
      std::string preset = media::BuildPreset(c.tried[i], true, 4);
      preset.pop_back();  // the trailing blank
      EXPECT_NE(log[i].find(preset), std::string::npos) << log[i];
    }
  }

  fs::remove(tmp_ / "fake.log");
  ScopedEnv env("KESTRAWL_7ZIP", MakeFakeSevenZip(kOutOfMemory));
  std::string error;
  EXPECT_FALSE(media::CreateArchive(Host(), tmp_ / "m.7z", "", "-mx=9", nullptr, {src_ + "/a.txt"}, {}, error,
                                    ZEL_UPDATE_ADD, ZEL_KIND_7Z));
  EXPECT_EQ(error, "#1018");
  EXPECT_EQ(FakeLog().size(), 1u);
}

TEST_F(WrapperTest, ExtractRetriesOnceThenHandsOverToTheOutOfProcessHook) {
  WriteHostFile(tmp_ / "x.7z", "x");
  ScopedEnv env("KESTRAWL_7ZIP", MakeFakeSevenZip(kOutOfMemory));
  const std::vector<std::string> items = {"a.txt", "sub\\c.txt"};
  std::string error;
  ArchiveHost host = Host();
  EXPECT_FALSE(media::ExtractArchive(host, tmp_ / "x.7z", "pw", tmp_ / "o", error, &items, nullptr, true, true));
  EXPECT_EQ(error, "#1018");
  EXPECT_EQ(FakeLog().size(), 2u);

  std::optional<media::OutOfProcessExtractRequest> seen;
  host.out_of_process_extract = [&](const media::OutOfProcessExtractRequest& request, std::string& hook_error) {
    seen = request;
    hook_error.clear();
    return true;
  };
  EXPECT_TRUE(media::ExtractArchive(host, tmp_ / "x.7z", "pw", tmp_ / "o", error, &items, nullptr, true, true));
  EXPECT_EQ(error, "");
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->archive, tmp_ / "x.7z");
  EXPECT_EQ(seen->password, "pw");
  EXPECT_EQ(seen->destination, tmp_ / "o/");
  EXPECT_TRUE(seen->flat);
  EXPECT_TRUE(seen->skip_existing);
  EXPECT_EQ(seen->items, items);
}

}  // namespace
}  // namespace kestrawl::testing
