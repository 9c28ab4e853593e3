// zel.lib through its C contract: round trips against the real 7-Zip,
// error codes for bad input, passwords, progress and cancellation.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "archive/archive_fixture.h"

namespace kestrawl::testing {
namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesBelow(const std::string& root) {
  std::set<std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.insert(fs::relative(e.path(), root).string());
  return files;
}

std::set<std::string> Names(const std::vector<media::ListedArchiveItem>& items) {
  std::set<std::string> names;
  for (const auto& i : items) names.insert(i.name);
  return names;
}

// Processes whose parent is this process.
int ChildProcessCount() {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (dirent* e = proc ? readdir(proc) : nullptr) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::string stat = ReadHostFile(std::string("/proc/") + e->d_name + "/stat");
    const auto close_paren = stat.rfind(')');
    if (close_paren == std::string::npos) continue;
    int ppid = 0;
    char state = 0;
    if (sscanf(stat.c_str() + close_paren + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid()) ++count;
  }
  if (proc) closedir(proc);
  return count;
}

std::string RandomBytes(size_t size, uint64_t seed) {
  std::mt19937_64 gen(seed);
  std::string data(size, '\0');
  for (size_t i = 0; i + 8 <= size; i += 8) {
    const uint64_t v = gen();
    memcpy(&data[i], &v, 8);
  }
  return data;
}

// Progress callbacks of the C contract record into this per-thread log.
thread_local std::vector<std::pair<uint64_t, uint64_t>> t_progress;
int RecordProgress(const char16_t*, uint64_t done, uint64_t total) {
  t_progress.emplace_back(done, total);
  return 1;
}
int StopAtOnce(const char16_t*, uint64_t, uint64_t) { return 0; }
int GiveSecret(char16_t* buffer) {
  const char16_t secret[] = u"Secret";
  std::copy(std::begin(secret), std::end(secret), buffer);
  return 1;
}
int Skip(const char16_t*, uint64_t, uint64_t, const char16_t*, uint64_t, uint64_t) { return ZEL_OVERWRITE_SKIP; }

class ZelTest : public ArchiveTest {
 protected:
  std::string src_ = MakeSource({{"a.txt", "alpha"},
                                 {"sub/b c.txt", "bravo charlie"},
                                 {"sub/deep/ü.txt", "unicode"},
                                 {"a*.txt", "star"},
                                 {"ab.txt", "ab"}});
};

TEST_F(ZelTest, CreateListAndExtractEverything) {
  const std::string archive = MakeArchive(src_);
  std::vector<media::ListedArchiveItem> items;
  ASSERT_TRUE(lib().List(archive, "", nullptr, items));
  EXPECT_EQ(Names(items), (std::set<std::string>{"a.txt", "sub", "sub\\b c.txt", "sub\\deep", "sub\\deep\\ü.txt",
                                                 "a*.txt", "ab.txt"}));
  for (const auto& item : items) {
    if (item.name == "sub\\b c.txt") {
      EXPECT_EQ(item.size, 13u);
      EXPECT_EQ(item.attributes & 0x10u, 0u);
      const uint64_t unix_seconds = item.modified / 10000000u - 11644473600u;
      EXPECT_NEAR(static_cast<double>(unix_seconds), static_cast<double>(time(nullptr)), 3600.0);
    }
    if (item.name == "sub") {
      EXPECT_NE(item.attributes & 0x10u, 0u);
    }
  }

  ASSERT_TRUE(lib().Extract(archive, tmp_ / "out\\", nullptr, true, "", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(FilesBelow(tmp_ / "out"), FilesBelow(src_));
  EXPECT_EQ(ReadHostFile(tmp_ / "out/sub/deep/ü.txt"), "unicode");
  EXPECT_EQ(lib().LastError(), ZEL_OK);
}

TEST_F(ZelTest, ExtractsNamedItemsWithFullPathsOrFlat) {
  const std::string archive = MakeArchive(src_);
  // Names are exact: "a*.txt" is not a wildcard and "ab.txt" is only the top one.
  const std::vector<std::string> wanted = {"sub\\b c.txt", "a*.txt", "sub/deep/ü.txt"};
  ASSERT_TRUE(lib().Extract(archive, tmp_ / "full", &wanted, true, "", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(FilesBelow(tmp_ / "full"), (std::set<std::string>{"sub/b c.txt", "a*.txt", "sub/deep/ü.txt"}));
  ASSERT_TRUE(lib().Extract(archive, tmp_ / "flat", &wanted, false, "", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(FilesBelow(tmp_ / "flat"), (std::set<std::string>{"b c.txt", "a*.txt", "ü.txt"}));

  const std::vector<std::string> none;
  ASSERT_TRUE(lib().Extract(archive, tmp_ / "none", &none, true, "", nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(fs::exists(tmp_ / "none"));
}

TEST_F(ZelTest, OverwriteCallbackSkipOrReplaceExistingFiles) {
  const std::string archive = MakeArchive(src_);
  const std::vector<std::string> wanted = {"a.txt"};
  WriteHostFile(tmp_ / "out/a.txt", "mine");
  ASSERT_TRUE(lib().Extract(archive, tmp_ / "out", &wanted, true, "", nullptr, nullptr, nullptr, &Skip));
  EXPECT_EQ(ReadHostFile(tmp_ / "out/a.txt"), "mine");
  ASSERT_TRUE(lib().Extract(archive, tmp_ / "out", &wanted, true, "", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ReadHostFile(tmp_ / "out/a.txt"), "alpha");
}

TEST_F(ZelTest, DeleteRemovesOnlyTheNamedItems) {
  const std::string archive = MakeArchive(src_);
  ASSERT_TRUE(lib().Delete(archive, {"a*.txt", "sub\\b c.txt"}, "", nullptr, nullptr)) << lib().LastError();
  std::vector<media::ListedArchiveItem> items;
  ASSERT_TRUE(lib().List(archive, "", nullptr, items));
  EXPECT_EQ(Names(items), (std::set<std::string>{"a.txt", "sub", "sub\\deep", "sub\\deep\\ü.txt", "ab.txt"}));
}

TEST_F(ZelTest, UpdateModesDecideAboutItemsWhoseFileIsGone) {
  struct Case {
    uint32_t mode;
    bool keeps_removed_file;
  };
  for (const Case c : {Case{ZEL_UPDATE_ADD, true}, Case{ZEL_UPDATE_NEWER, true}, Case{ZEL_UPDATE_SYNC, false}}) {
    SCOPED_TRACE(c.mode);
    const std::string dir = tmp_ / ("mode" + std::to_string(c.mode));
    WriteHostFile(dir + "/keep.txt", "k");
    WriteHostFile(dir + "/gone.txt", "g");
    const std::string archive = dir + ".7z";
    ASSERT_TRUE(lib().Create(archive, ZEL_KIND_7Z, {dir + "/*"}, {}, ZEL_UPDATE_ADD, "", "", nullptr, nullptr));
    fs::remove(dir + "/gone.txt");
    WriteHostFile(dir + "/new.txt", "n");
    ASSERT_TRUE(lib().Create(archive, ZEL_KIND_7Z, {dir + "/*"}, {}, c.mode, "", "", nullptr, nullptr));
    std::vector<media::ListedArchiveItem> items;
    ASSERT_TRUE(lib().List(archive, "", nullptr, items));
    EXPECT_EQ(Names(items).count("gone.txt"), c.keeps_removed_file ? 1u : 0u);
    EXPECT_EQ(Names(items).count("new.txt"), 1u);
  }
}

TEST_F(ZelTest, KindCodesChooseTheFormatAndUnknownCodesMake7z) {
  struct Case {
    uint32_t kind;
    size_t offset;
    std::string magic;
  };
  for (const Case& c : {Case{ZEL_KIND_7Z, 0, "7z\xBC\xAF"}, Case{ZEL_KIND_ZIP, 0, "PK"},
                        Case{ZEL_KIND_TAR, 257, "ustar"}, Case{ZEL_KIND_GZIP, 0, "\x1F\x8B"},
                        Case{77, 0, "7z\xBC\xAF"}}) {
    SCOPED_TRACE(c.kind);
    const std::string archive = tmp_ / ("kind" + std::to_string(c.kind));
    ASSERT_TRUE(lib().Create(archive, c.kind, {src_ + "/a.txt"}, {}, ZEL_UPDATE_ADD, "", "", nullptr, nullptr))
        << lib().LastError();
    EXPECT_EQ(ReadHostFile(archive).substr(c.offset, c.magic.size()), c.magic);
  }
}

TEST_F(ZelTest, SwitchesArePassedTo7Zip) {
  const std::string archive = MakeArchive(src_, "copy.7z", "-mx=0 -ms=off");
  std::vector<media::ListedArchiveItem> items;
  ASSERT_TRUE(lib().List(archive, "", nullptr, items));
  // Stored without compression: the text is readable in the archive.
  EXPECT_NE(ReadHostFile(archive).find("bravo charlie"), std::string::npos);

  EXPECT_FALSE(lib().Create(tmp_ / "bad.7z", ZEL_KIND_7Z, {src_ + "/a.txt"}, {}, ZEL_UPDATE_ADD, "-mnosuch=1", "",
                            nullptr, nullptr));
  EXPECT_NE(lib().LastError(), ZEL_OK);
}

TEST_F(ZelTest, MissingInputFileFailsCreate) {
  EXPECT_FALSE(lib().Create(tmp_ / "m.7z", ZEL_KIND_7Z, {src_ + "/a.txt"}, {src_ + "/nothere.txt"}, ZEL_UPDATE_ADD,
                            "", "", nullptr, nullptr));
  EXPECT_EQ(lib().LastError(), ZEL_E_WARNING);
}

TEST_F(ZelTest, WrongPasswordCannotOpenAndWritesNothing) {
  struct Case {
    const char* name;
    const char* switches;
  };
  for (const Case& c : {Case{"headers", "-mhe=on"}, Case{"data", "-mhe=off"}}) {
    SCOPED_TRACE(c.name);
    const std::string archive = MakeArchive(src_, std::string(c.name) + ".7z", c.switches, "Secret");
    const std::string out = tmp_ / (std::string("out-") + c.name);
    EXPECT_FALSE(lib().Extract(archive, out, nullptr, true, "Wrong", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
    EXPECT_EQ(FilesBelow(out), std::set<std::string>{});
    EXPECT_FALSE(lib().Test(archive, "", nullptr, nullptr));
    EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
    // The password callback supplies the password when none is given.
    EXPECT_TRUE(lib().Extract(archive, out, nullptr, true, "", &GiveSecret, nullptr, nullptr, nullptr))
        << lib().LastError();
    EXPECT_EQ(ReadHostFile(out + "/a.txt"), "alpha");
  }
  const std::string archive = tmp_ / "headers.7z";
  std::vector<media::ListedArchiveItem> items;
  EXPECT_FALSE(lib().List(archive, "Wrong", nullptr, items));
  EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
  EXPECT_TRUE(lib().List(archive, "", &GiveSecret, items));
  EXPECT_EQ(items.size(), 7u);
  EXPECT_FALSE(lib().Delete(archive, {"a.txt"}, "", nullptr, nullptr));
  EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
}

TEST_F(ZelTest, DamagedArchivesGiveDefinedCodes) {
  const std::string big = MakeSource({{"random.bin", RandomBytes(1 << 20, 7)}, {"a.txt", "alpha"}}, "big");
  const std::string archive = MakeArchive(big, "good.7z");
  const std::string bytes = ReadHostFile(archive);

  std::string corrupt = bytes;
  for (size_t i = 0; i < 64; ++i) corrupt[bytes.size() / 2 + i] ^= 0x5A;
  WriteHostFile(tmp_ / "corrupt.7z", corrupt);
  EXPECT_FALSE(lib().Test(tmp_ / "corrupt.7z", "", nullptr, nullptr));
  EXPECT_EQ(lib().LastError(), ZEL_E_DATA);

  struct Case {
    const char* name;
    std::string data;
  };
  for (const Case& c : {Case{"truncated.7z", bytes.substr(0, bytes.size() / 3)},
                        Case{"garbage.7z", RandomBytes(4096, 9)}, Case{"empty.7z", ""}}) {
    SCOPED_TRACE(c.name);
    WriteHostFile(tmp_ / c.name, c.data);
    std::vector<media::ListedArchiveItem> items;
    EXPECT_FALSE(lib().List(tmp_ / c.name, "", nullptr, items));
    EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
    EXPECT_FALSE(lib().Extract(tmp_ / c.name, tmp_ / "out", nullptr, true, "", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
    EXPECT_FALSE(lib().Test(tmp_ / c.name, "", nullptr, nullptr));
    EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
  }
  std::vector<media::ListedArchiveItem> items;
  EXPECT_FALSE(lib().List(tmp_ / "missing.7z", "", nullptr, items));
  EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
}

TEST_F(ZelTest, UnwritableDestinationFailsWithWriteError) {
  const std::string archive = MakeArchive(src_);
  WriteHostFile(tmp_ / "plain-file", "x");
  EXPECT_FALSE(lib().Extract(archive, tmp_ / "plain-file/out", nullptr, true, "", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_WRITE);
}

TEST_F(ZelTest, ProgressReportsBytesOfTheSelectedItemsAndEndsComplete) {
  const std::string big = MakeSource({{"r1.bin", RandomBytes(3 << 20, 1)}, {"r2.bin", RandomBytes(2 << 20, 2)}}, "big");
  const std::string archive = MakeArchive(big, "p.7z", "-mx=1");
  t_progress.clear();
  ASSERT_TRUE(lib().Test(archive, "", nullptr, &RecordProgress));
  ASSERT_FALSE(t_progress.empty());
  for (const auto& [done, total] : t_progress) {
    EXPECT_EQ(total, 5u << 20);
    EXPECT_LE(done, total);
  }
  EXPECT_EQ(t_progress.back().first, 5u << 20);

  t_progress.clear();
  const std::vector<std::string> one = {"r2.bin"};
  ASSERT_TRUE(lib().Extract(archive, tmp_ / "out", &one, true, "", nullptr, &RecordProgress, nullptr, nullptr));
  ASSERT_FALSE(t_progress.empty());
  EXPECT_EQ(t_progress.back(), std::make_pair(uint64_t{2u << 20}, uint64_t{2u << 20}));
}

TEST_F(ZelTest, ProgressCallbackStopsALongJobAndEndsTheChild) {
  // Ultra compression of 48 MB of random data takes far longer than the bound.
  const std::string big = MakeSource({{"random.bin", RandomBytes(48 << 20, 3)}}, "big");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(lib().Create(tmp_ / "slow.7z", ZEL_KIND_7Z, {big + "/random.bin"}, {}, ZEL_UPDATE_ADD,
                            "-mx=9 -mmt=1", "", &StopAtOnce, nullptr));
  EXPECT_EQ(lib().LastError(), ZEL_E_CANCELLED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(ChildProcessCount(), 0);
}

TEST_F(ZelTest, MissingProgramAndBadArguments) {
  {
    ScopedEnv env("KESTRAWL_7ZIP", tmp_ / "no-such-program");
    std::vector<media::ListedArchiveItem> items;
    const std::string archive = tmp_ / "x.7z";
    WriteHostFile(archive, "x");
    EXPECT_FALSE(lib().List(archive, "", nullptr, items));
    EXPECT_EQ(lib().LastError(), ZEL_E_NO_PROGRAM);
  }
  // Null arguments reach the library only through its C functions directly.
  void* handle = dlopen(BinPath("zel.lib").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr);
  auto open_list = reinterpret_cast<decltype(&OpenListArchive)>(dlsym(handle, "OpenListArchive"));
  auto extract = reinterpret_cast<decltype(&ExtractArchive)>(dlsym(handle, "ExtractArchive"));
  auto close_list = reinterpret_cast<decltype(&CloseListArchive)>(dlsym(handle, "CloseListArchive"));
  auto last_error = reinterpret_cast<decltype(&GetLastArchiveError)>(dlsym(handle, "GetLastArchiveError"));
  ZelListedItem* items = reinterpret_cast<ZelListedItem*>(&handle);
  uint32_t count = 5;
  EXPECT_EQ(open_list(nullptr, 0, nullptr, 0, 0, 0, nullptr, &items, &count), 0u);
  EXPECT_EQ(last_error(), ZEL_E_ARGUMENT);
  EXPECT_EQ(items, nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(extract(u"x.7z", 1, nullptr, nullptr, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(last_error(), ZEL_E_ARGUMENT);
  EXPECT_EQ(close_list(12345), 1);  // unknown handles are ignored
  dlclose(handle);
}

TEST_F(ZelTest, LastErrorIsKeptPerThread) {
  std::vector<media::ListedArchiveItem> items;
  ASSERT_FALSE(lib().List(tmp_ / "missing.7z", "", nullptr, items));
  std::thread other([&] {
    std::vector<media::ListedArchiveItem> mine;
    EXPECT_TRUE(lib().List(MakeArchive(src_), "", nullptr, mine));
    EXPECT_EQ(lib().LastError(), ZEL_OK);
  });
  other.join();
  EXPECT_EQ(lib().LastError(), ZEL_E_CANNOT_OPEN);
}

TEST_F(ZelTest, SevenZipMessagesMapToCodes) {
  struct Case {
    const char* script;
    int code;
  };
  const Case cases[] = {
      {"echo \"ERROR: Can't allocate required memory!\" >&2; exit 2", ZEL_E_OUT_OF_MEMORY},
      {"exit 8", ZEL_E_OUT_OF_MEMORY},
      {"echo 'Command Line Error:' >&2; exit 7", ZEL_E_COMMAND_LINE},
      {"echo 'ERROR: CRC Failed : x' >&2; exit 2", ZEL_E_DATA},
      {"echo 'ERROR: Data Error in encrypted file. Wrong password? : x' >&2; exit 2", ZEL_E_CANNOT_OPEN},
      {"exit 1", ZEL_E_WARNING},
      {"exit 255", ZEL_E_CANCELLED},
      {"echo 'ERROR: something new' >&2; exit 2", ZEL_E_FAILED},
  };
  const std::string archive = tmp_ / "x.7z";
  WriteHostFile(archive, "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    ScopedEnv env("KESTRAWL_7ZIP", MakeFakeSevenZip(c.script));
    EXPECT_FALSE(lib().Test(archive, "", nullptr, nullptr));
    EXPECT_EQ(lib().LastError(), c.code);
  }
}

}  // namespace
}  // namespace kestrawl::testing
