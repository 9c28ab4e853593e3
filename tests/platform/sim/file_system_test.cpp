#include "platform/sim/sim_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "base/text.h"
#include "platform/sim/sim_fs_pending.h"
#include "platform/sim/sim_fs_short_names.h"
#include "support/test_support.h"

namespace kestrawl::platform::sim {
namespace {

namespace fs = std::filesystem;
using testing::ReadHostFile;
using testing::TempDir;
using testing::WriteHostFile;

constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kPending = "PendingFileRenameOperations";

// An in-memory registry: enough for the file system's pending renames.
class FakeRegistry : public Registry {
 public:
  Win32Error CheckComputer(const std::string&) override { return err::kSuccess; }
  Win32Error KeyExists(RegRoot root, const std::string& subkey, RegView) override {
    return keys_.count(Key(root, subkey)) ? err::kSuccess : err::kFileNotFound;
  }
  Win32Error CreateKey(RegRoot root, const std::string& subkey, RegView, bool* created) override {
    bool added = keys_.emplace(Key(root, subkey), Values()).second;
    if (created) *created = added;
    return err::kSuccess;
  }
  Win32Error SetValue(RegRoot root, const std::string& subkey, const std::string& name, RegView,
                      const RegValue& value) override {
    auto it = keys_.find(Key(root, subkey));
    if (it == keys_.end()) return err::kFileNotFound;
    it->second[base::CaseFold(name)] = value;
    return err::kSuccess;
  }
  Win32Error GetValue(RegRoot root, const std::string& subkey, const std::string& name, RegView,
                      RegValue* value) override {
    auto it = keys_.find(Key(root, subkey));
    if (it == keys_.end()) return err::kFileNotFound;
    auto v = it->second.find(base::CaseFold(name));
    if (v == it->second.end()) return err::kFileNotFound;
    *value = v->second;
    return err::kSuccess;
  }
  Win32Error DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                         RegView) override {
    auto it = keys_.find(Key(root, subkey));
    if (it == keys_.end() || !it->second.erase(base::CaseFold(name))) return err::kFileNotFound;
    return err::kSuccess;
  }
  Win32Error DeleteKey(RegRoot root, const std::string& subkey, RegView) override {
    return keys_.erase(Key(root, subkey)) ? err::kSuccess : err::kFileNotFound;
  }
  Win32Error DeleteTree(RegRoot root, const std::string& subkey, RegView view) override {
    return DeleteKey(root, subkey, view);
  }
  Win32Error EnumKeys(RegRoot, const std::string&, RegView, std::vector<std::string>*) override {
    return err::kNotSupported;
  }
  Win32Error EnumValues(RegRoot, const std::string&, RegView, std::vector<RegNamedValue>*) override {
    return err::kNotSupported;
  }

 private:
  using Values = std::map<std::string, RegValue>;
  static std::string Key(RegRoot root, const std::string& subkey) {
    return std::to_string(static_cast<int>(root)) + "\\" + base::CaseFold(subkey);
  }
  std::map<std::string, Values> keys_;
};

// A throw-away machine with C: (drive_c), D: (another host folder) and Z: (/).
class SimFileSystemTest : public ::testing::Test {
 protected:
  SimFileSystemTest() {
    fs::create_directories(machine_ / "drive_c");
    fs::create_directories(machine_ / "dosdevices");
    fs::create_directory_symlink("../drive_c", machine_ / "dosdevices/c:");
    fs::create_directory_symlink(other_.path(), machine_ / "dosdevices/d:");
    fs::create_directory_symlink("/", machine_ / "dosdevices/z:");
    store_ = std::make_unique<SimStore>(machine_ / "registry.db");
    files_ = std::make_unique<SimFileSystem>(machine_.path(), *store_, registry_);
  }

  // Host path below C: or D:.
  std::string C(const std::string& rel) const { return machine_ / ("drive_c/" + rel); }
  std::string D(const std::string& rel) const { return other_ / rel; }
  void MakeFile(const std::string& host, const std::string& data = "data") {
    fs::create_directories(fs::path(host).parent_path());
    WriteHostFile(host, data);
  }
  uint32_t Attributes(const std::string& path) {
    FileEntry e;
    EXPECT_EQ(files_->GetEntry(path, &e), err::kSuccess) << path;
    return e.attributes;
  }
  std::vector<std::string> Names(const std::string& pattern, Win32Error* error = nullptr) {
    std::vector<FileEntry> entries;
    Win32Error e = files_->List(pattern, &entries);
    if (error) *error = e;
    std::vector<std::string> names;
    for (const FileEntry& entry : entries) names.push_back(entry.name);
    return names;
  }
  std::vector<std::string> PendingList() {
    RegValue v;
    if (registry_.GetValue(RegRoot::kLocalMachine, kSessionManager, kPending, RegView::k64, &v)) return {};
    EXPECT_EQ(v.type, regtype::kMultiSz);
    return DecodePendingList(v.data);
  }

  TempDir machine_;
  TempDir other_;
  FakeRegistry registry_;
  std::unique_ptr<SimStore> store_;
  std::unique_ptr<SimFileSystem> files_;
};

// A host process (flock(1)) holding an exclusive lock on a file until the
// object goes away.
class HostLock {
 public:
  explicit HostLock(const std::string& path) {
    int in[2], out[2];
    if (pipe(in) || pipe(out)) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execlp("flock", "flock", "-x", path.c_str(), "sh", "-c", "echo locked; read line", nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    char buffer[16] = {};
    ssize_t n = read(out[0], buffer, sizeof buffer - 1);  // returns once the lock is held
    close(out[0]);
    locked_ = n > 0 && std::string(buffer).rfind("locked", 0) == 0;
  }
  ~HostLock() {
    if (stdin_ >= 0) close(stdin_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  bool locked_ = false;
};

TEST_F(SimFileSystemTest, ResolvesPathsIgnoringCaseAndKeepingIt) {
  MakeFile(C("Program Files/MyApp/Data.TXT"), "hello");
  FileEntry e;
  ASSERT_EQ(files_->GetEntry("c:/PROGRAM FILES/myapp/data.txt", &e), err::kSuccess);
  EXPECT_EQ(e.name, "Data.TXT");
  EXPECT_EQ(e.size, 5u);
  ASSERT_EQ(files_->GetEntry("\\\\?\\C:\\program files\\MYAPP\\.\\x\\..\\DATA.txt", &e), err::kSuccess);

  std::string long_path;
  ASSERT_EQ(files_->GetLongPath("C:\\PROGRAM FILES\\myapp\\data.txt", &long_path), err::kSuccess);
  EXPECT_EQ(long_path, "C:\\Program Files\\MyApp\\Data.TXT");

  // The missing tail keeps the case it was given in.
  EXPECT_EQ(files_->HostPath("C:\\program files\\NewDir\\New.txt"), C("Program Files/NewDir/New.txt"));
  EXPECT_EQ(files_->HostPath("D:\\Sub"), D("Sub"));

  EXPECT_EQ(files_->WindowsPathOf(C("Program Files/MyApp")), "C:\\Program Files\\MyApp");
  EXPECT_EQ(files_->WindowsPathOf(machine_ / "drive_c"), "C:\\");
  EXPECT_EQ(files_->WindowsPathOf("/usr/bin"), "Z:\\usr\\bin");
  EXPECT_EQ(files_->WindowsPathOf(D("x/../y")), "D:\\y");
}

TEST_F(SimFileSystemTest, PathErrors) {
  MakeFile(C("dir/file.txt"));
  struct Case {
    const char* path;
    Win32Error error;
  };
  const Case cases[] = {
      {"C:\\dir\\missing.txt", err::kFileNotFound},
      {"C:\\nodir\\missing.txt", err::kPathNotFound},
      {"C:\\dir\\file.txt\\below", err::kPathNotFound},  // a file used as a folder
      {"Q:\\anything", err::kPathNotFound},              // no such drive
      {"relative\\path", err::kPathNotFound},
      {"", err::kPathNotFound},
      {"\\\\server\\share\\x", err::kBadNetPath},
      {"C:\\dir\\a<b", err::kInvalidName},
      {"C:\\dir\\a|b", err::kInvalidName},
      {"C:\\d?r\\file.txt", err::kInvalidName},
      {"C:\\dir\\name.", err::kInvalidName},
      {"C:\\dir\\name ", err::kInvalidName},
      {"C:\\dir\\a:b", err::kInvalidName},
  };
  for (const Case& c : cases) {
    FileEntry e;
    EXPECT_EQ(files_->GetEntry(c.path, &e), c.error) << c.path;
  }
  std::string long_name(300, 'x');
  FileEntry e;
  EXPECT_EQ(files_->GetEntry("C:\\" + long_name, &e), err::kFilenameExcedRange);
  std::string deep = "C:";
  for (int i = 0; i < 30; ++i) deep += "\\abcdefghij";
  EXPECT_EQ(files_->GetEntry(deep, &e), err::kFilenameExcedRange);
  EXPECT_EQ(files_->GetEntry("\\\\?\\" + deep, &e), err::kPathNotFound);  // long form has no limit
}

TEST_F(SimFileSystemTest, ListsWithWindowsWildcards) {
  for (const char* name : {"README", "notes.txt", "Notes2.TXT", "a.b.c", "zeta.txt"}) MakeFile(C("dir/") + name);
  fs::create_directories(C("dir/Sub"));

  using V = std::vector<std::string>;
  EXPECT_EQ(Names("C:\\dir\\*.*"), (V{"a.b.c", "notes.txt", "Notes2.TXT", "README", "Sub", "zeta.txt"}));
  EXPECT_EQ(Names("C:\\DIR\\*"), Names("C:\\dir\\*.*"));
  EXPECT_EQ(Names("C:\\dir\\*."), (V{"README", "Sub"}));
  EXPECT_EQ(Names("C:\\dir\\notes?.txt"), (V{"notes.txt", "Notes2.TXT"}));
  EXPECT_EQ(Names("C:\\dir\\*.TXT"), (V{"notes.txt", "Notes2.TXT", "zeta.txt"}));
  EXPECT_EQ(Names("c:/dir/readme"), (V{"README"}));

  Win32Error error;
  EXPECT_TRUE(Names("C:\\dir\\*.doc", &error).empty());
  EXPECT_EQ(error, err::kFileNotFound);
  Names("C:\\nodir\\*", &error);
  EXPECT_EQ(error, err::kPathNotFound);
  Names("C:\\dir\\a|*", &error);
  EXPECT_EQ(error, err::kInvalidName);

  std::vector<FileEntry> entries;
  ASSERT_EQ(files_->List("C:\\dir\\s*", &entries), err::kSuccess);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].IsFolder());
  EXPECT_EQ(entries[0].size, 0u);
  ASSERT_EQ(files_->List("C:\\dir\\zeta.txt", &entries), err::kSuccess);
  EXPECT_EQ(entries[0].size, 4u);
  EXPECT_EQ(entries[0].attributes, attr::kArchive);
}

TEST_F(SimFileSystemTest, AttributesRoundTrip) {
  MakeFile(C("f.txt"));
  EXPECT_EQ(Attributes("C:\\f.txt"), attr::kArchive);  // new files carry archive

  const uint32_t all = attr::kReadOnly | attr::kHidden | attr::kSystem;
  ASSERT_EQ(files_->SetAttributes("C:\\F.TXT", all), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\f.txt"), all);
  EXPECT_EQ(fs::status(C("f.txt")).permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(files_->DeleteFile("C:\\f.txt"), err::kAccessDenied);

  // Attributes follow a rename.
  ASSERT_EQ(files_->MoveFile("C:\\f.txt", "C:\\g.txt", 0), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\g.txt"), all);

  ASSERT_EQ(files_->SetAttributes("C:\\g.txt", attr::kNormal), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\g.txt"), attr::kNormal);  // reported alone when nothing else is set
  ASSERT_EQ(files_->DeleteFile("C:\\g.txt"), err::kSuccess);

  // A new file at the same place does not inherit the old bits.
  ASSERT_EQ(files_->WriteWholeFile("C:\\g.txt", "x"), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\g.txt"), attr::kArchive);

  // Folders: read-only is kept beside the host folder, which stays writable.
  fs::create_directories(C("ro"));
  EXPECT_EQ(Attributes("C:\\ro"), attr::kDirectory);
  ASSERT_EQ(files_->SetAttributes("C:\\ro", attr::kReadOnly | attr::kHidden), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\ro"), attr::kDirectory | attr::kReadOnly | attr::kHidden);
  EXPECT_EQ(files_->WriteWholeFile("C:\\ro\\inside.txt", "x"), err::kSuccess);
  EXPECT_EQ(files_->DeleteFile("C:\\ro\\inside.txt"), err::kSuccess);
  EXPECT_EQ(files_->RemoveFolder("C:\\ro"), err::kAccessDenied);
}

TEST_F(SimFileSystemTest, CompressionIsRecordedAndSurvivesOtherAttributeChanges) {
  MakeFile(C("c.txt"));
  fs::create_directories(C("cache"));
  ASSERT_EQ(files_->SetCompression("C:\\CACHE", true), err::kSuccess);
  ASSERT_EQ(files_->SetCompression("C:\\c.txt", true), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\cache"), attr::kDirectory | attr::kCompressed);
  EXPECT_EQ(Attributes("C:\\c.txt"), attr::kArchive | attr::kCompressed);
  // Setting attributes leaves compression alone, as on Windows.
  ASSERT_EQ(files_->SetAttributes("C:\\c.txt", attr::kHidden), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\c.txt"), attr::kHidden | attr::kCompressed);
  ASSERT_EQ(files_->SetCompression("C:\\c.txt", false), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\c.txt"), attr::kHidden);
  EXPECT_EQ(files_->SetCompression("C:\\missing", true), err::kFileNotFound);
}

TEST_F(SimFileSystemTest, LastWriteTime) {
  MakeFile(C("t.txt"));
  const FileTime when = 132000000000000000ULL + 1234500;  // 2019, with sub-second digits
  ASSERT_EQ(files_->SetLastWriteTime("C:\\T.txt", when), err::kSuccess);
  FileEntry e;
  ASSERT_EQ(files_->GetEntry("C:\\t.txt", &e), err::kSuccess);
  EXPECT_EQ(e.last_write, when);
}

TEST_F(SimFileSystemTest, Folders) {
  EXPECT_EQ(files_->CreateFolder("C:\\New"), err::kSuccess);
  EXPECT_EQ(files_->CreateFolder("C:\\new"), err::kAlreadyExists);
  EXPECT_EQ(files_->CreateFolder("C:\\missing\\child"), err::kPathNotFound);
  EXPECT_TRUE(fs::is_directory(C("New")));

  EXPECT_EQ(files_->CreateFolderTree("C:\\NEW\\a\\b\\c"), err::kSuccess);
  EXPECT_TRUE(fs::is_directory(C("New/a/b/c")));
  EXPECT_EQ(files_->CreateFolderTree("C:\\new\\A\\B"), err::kSuccess);  // existing is fine

  MakeFile(C("New/a/file.txt"));
  EXPECT_EQ(files_->CreateFolderTree("C:\\New\\a\\file.txt\\x"), err::kPathNotFound);
  EXPECT_EQ(files_->RemoveFolder("C:\\New\\a"), err::kDirNotEmpty);
  EXPECT_EQ(files_->RemoveFolder("C:\\New\\a\\file.txt"), err::kDirectory);
  EXPECT_EQ(files_->DeleteFile("C:\\New\\a\\b"), err::kAccessDenied);
  EXPECT_EQ(files_->RemoveFolder("C:\\New\\a\\b\\c"), err::kSuccess);
  EXPECT_EQ(files_->RemoveFolder("C:\\New\\a\\b\\c"), err::kFileNotFound);

  ASSERT_EQ(files_->SetAttributes("C:\\New\\a\\file.txt", attr::kReadOnly), err::kSuccess);
  EXPECT_EQ(files_->DeleteTree("C:\\New"), err::kSuccess);
  EXPECT_FALSE(fs::exists(C("New")));
}

TEST_F(SimFileSystemTest, DeleteTreeLeavesLinkTargetsAlone) {
  MakeFile(D("keep/precious.txt"), "keep");
  MakeFile(C("tree/own.txt"));
  fs::create_directory_symlink(D("keep"), C("tree/link"));
  FileEntry e;
  ASSERT_EQ(files_->GetEntry("C:\\tree\\link", &e), err::kSuccess);
  EXPECT_TRUE(e.IsFolder());
  EXPECT_TRUE(files_->FileExists("C:\\tree\\link\\precious.txt"));

  ASSERT_EQ(files_->DeleteTree("C:\\tree"), err::kSuccess);
  EXPECT_FALSE(fs::exists(C("tree")));
  EXPECT_EQ(ReadHostFile(D("keep/precious.txt")), "keep");
}

TEST_F(SimFileSystemTest, OpenModesAndShareModes) {
  std::unique_ptr<File> f;
  EXPECT_EQ(files_->Open("C:\\none.txt", OpenMode::kRead, ShareMode::kShared, &f), err::kFileNotFound);
  EXPECT_EQ(files_->Open("C:\\none\\x.txt", OpenMode::kWrite, ShareMode::kShared, &f), err::kPathNotFound);

  ASSERT_EQ(files_->WriteWholeFile("C:\\f.txt", "hello world"), err::kSuccess);
  ASSERT_EQ(files_->Open("C:\\F.txt", OpenMode::kAppend, ShareMode::kShared, &f), err::kSuccess);
  ASSERT_EQ(f->Write("!", 1), err::kSuccess);
  f.reset();
  ASSERT_EQ(files_->Open("C:\\f.txt", OpenMode::kReadWrite, ShareMode::kShared, &f), err::kSuccess);
  ASSERT_EQ(f->Seek(6), err::kSuccess);
  ASSERT_EQ(f->Write("WORLD", 5), err::kSuccess);
  uint64_t size = 0;
  ASSERT_EQ(f->Size(&size), err::kSuccess);
  EXPECT_EQ(size, 12u);
  f.reset();
  EXPECT_EQ(ReadHostFile(C("f.txt")), "hello WORLD!");

  // An exclusive open keeps everyone else out until it is closed.
  ASSERT_EQ(files_->Open("C:\\f.txt", OpenMode::kRead, ShareMode::kExclusive, &f), err::kSuccess);
  std::unique_ptr<File> g;
  EXPECT_EQ(files_->Open("C:\\f.txt", OpenMode::kRead, ShareMode::kExclusive, &g), err::kSharingViolation);
  EXPECT_EQ(files_->Open("C:\\f.txt", OpenMode::kWrite, ShareMode::kShared, &g), err::kSharingViolation);
  EXPECT_EQ(ReadHostFile(C("f.txt")), "hello WORLD!");  // the failed open did not truncate
  EXPECT_EQ(files_->DeleteFile("C:\\f.txt"), err::kSharingViolation);
  f.reset();
  EXPECT_EQ(files_->Open("C:\\f.txt", OpenMode::kRead, ShareMode::kExclusive, &g), err::kSuccess);
  g.reset();

  fs::create_directories(C("folder"));
  EXPECT_EQ(files_->Open("C:\\folder", OpenMode::kRead, ShareMode::kShared, &f), err::kAccessDenied);
  ASSERT_EQ(files_->SetAttributes("C:\\f.txt", attr::kReadOnly), err::kSuccess);
  EXPECT_EQ(files_->Open("C:\\f.txt", OpenMode::kWrite, ShareMode::kShared, &f), err::kAccessDenied);
  std::string data;
  EXPECT_EQ(files_->ReadWholeFile("C:\\f.txt", &data), err::kSuccess);
  EXPECT_EQ(data, "hello WORLD!");
  EXPECT_TRUE(files_->FileExists("c:\\F.TXT"));
  EXPECT_FALSE(files_->FolderExists("C:\\f.txt"));
  EXPECT_TRUE(files_->FolderExists("C:\\FOLDER"));
  EXPECT_FALSE(files_->Exists("C:\\nothing"));
}

TEST_F(SimFileSystemTest, FileLockedByAnotherProcessIsInUse) {
  MakeFile(C("locked.dll"), "code");
  {
    HostLock lock(C("locked.dll"));
    ASSERT_TRUE(lock.locked());
    std::unique_ptr<File> f;
    EXPECT_EQ(files_->Open("C:\\LOCKED.DLL", OpenMode::kRead, ShareMode::kExclusive, &f), err::kSharingViolation);
    EXPECT_EQ(files_->Open("C:\\locked.dll", OpenMode::kRead, ShareMode::kShared, &f), err::kSharingViolation);
    EXPECT_EQ(files_->DeleteFile("C:\\locked.dll"), err::kSharingViolation);
    EXPECT_EQ(files_->MoveFile("C:\\locked.dll", "D:\\moved.dll", move::kCopyAllowed), err::kSharingViolation);
    EXPECT_EQ(files_->CopyFile("C:\\locked.dll", "C:\\copy.dll", false), err::kSharingViolation);
    EXPECT_TRUE(fs::exists(C("locked.dll")));
    // A program in use can still be renamed on its own drive.
    EXPECT_EQ(files_->MoveFile("C:\\locked.dll", "C:\\moved.dll", 0), err::kSuccess);
    EXPECT_FALSE(fs::exists(C("locked.dll")));
  }
  EXPECT_EQ(files_->DeleteFile("C:\\moved.dll"), err::kSuccess);
}

TEST_F(SimFileSystemTest, MoveWithinAndAcrossDrives) {
  MakeFile(C("a.txt"), "A");
  MakeFile(C("b.txt"), "B");
  EXPECT_EQ(files_->MoveFile("C:\\a.txt", "C:\\B.TXT", 0), err::kAlreadyExists);
  ASSERT_EQ(files_->MoveFile("C:\\a.txt", "C:\\B.TXT", move::kReplaceExisting), err::kSuccess);
  EXPECT_EQ(ReadHostFile(C("b.txt")), "A");
  EXPECT_FALSE(fs::exists(C("a.txt")));

  // A change of letter case only.
  ASSERT_EQ(files_->MoveFile("C:\\b.txt", "C:\\Beta.txt", 0), err::kSuccess);
  ASSERT_EQ(files_->MoveFile("C:\\beta.txt", "C:\\BETA.txt", 0), err::kSuccess);
  EXPECT_EQ(Names("C:\\*"), (std::vector<std::string>{"BETA.txt"}));

  EXPECT_EQ(files_->MoveFile("C:\\BETA.txt", "C:\\nodir\\x.txt", 0), err::kPathNotFound);
  EXPECT_EQ(files_->MoveFile("C:\\none.txt", "C:\\x.txt", 0), err::kFileNotFound);

  // Across drives only by copy and delete, and only when allowed.
  ASSERT_EQ(files_->SetAttributes("C:\\BETA.txt", attr::kHidden), err::kSuccess);
  EXPECT_EQ(files_->MoveFile("C:\\BETA.txt", "D:\\beta.txt", 0), err::kNotSameDevice);
  ASSERT_EQ(files_->MoveFile("C:\\BETA.txt", "D:\\beta.txt", move::kCopyAllowed), err::kSuccess);
  EXPECT_FALSE(fs::exists(C("BETA.txt")));
  EXPECT_EQ(ReadHostFile(D("beta.txt")), "A");
  EXPECT_EQ(Attributes("D:\\beta.txt"), attr::kHidden | attr::kArchive);

  fs::create_directories(C("folder/sub"));
  EXPECT_EQ(files_->MoveFile("C:\\folder", "D:\\folder", move::kCopyAllowed), err::kNotSameDevice);
  ASSERT_EQ(files_->MoveFile("C:\\FOLDER", "C:\\Renamed", 0), err::kSuccess);
  EXPECT_TRUE(fs::is_directory(C("Renamed/sub")));
}

TEST_F(SimFileSystemTest, CopyReportsProgressAndCanBeCancelled) {
  const std::string data(300000, 'x');
  MakeFile(C("big.bin"), data);
  ASSERT_EQ(files_->SetLastWriteTime("C:\\big.bin", 132000000000000000ULL), err::kSuccess);

  uint64_t last_done = 0, seen_total = 0;
  ASSERT_EQ(files_->CopyFile("C:\\big.bin", "C:\\copy.bin", true,
                             [&](uint64_t done, uint64_t total) {
                               EXPECT_GE(done, last_done);
                               last_done = done;
                               seen_total = total;
                               return true;
                             }),
            err::kSuccess);
  EXPECT_EQ(last_done, data.size());
  EXPECT_EQ(seen_total, data.size());
  EXPECT_EQ(ReadHostFile(C("copy.bin")), data);
  FileEntry e;
  ASSERT_EQ(files_->GetEntry("C:\\copy.bin", &e), err::kSuccess);
  EXPECT_EQ(e.last_write, 132000000000000000ULL);

  EXPECT_EQ(files_->CopyFile("C:\\big.bin", "C:\\copy.bin", true), err::kFileExists);
  EXPECT_EQ(files_->CopyFile("C:\\big.bin", "C:\\BIG.BIN", false), err::kSharingViolation);

  // Cancelled half way: the error is 1235 and no partial target is left.
  Win32Error r = files_->CopyFile("C:\\big.bin", "D:\\partial.bin", false,
                                  [](uint64_t done, uint64_t) { return done < 100000; });
  EXPECT_EQ(r, err::kRequestAborted);
  EXPECT_FALSE(fs::exists(D("partial.bin")));
}

TEST_F(SimFileSystemTest, HardLinks) {
  MakeFile(C("orig.txt"), "one");
  ASSERT_EQ(files_->CreateHardLink("C:\\link.txt", "C:\\ORIG.txt"), err::kSuccess);
  uint32_t count = 0;
  ASSERT_EQ(files_->GetLinkCount("C:\\orig.txt", &count), err::kSuccess);
  EXPECT_EQ(count, 2u);
  WriteHostFile(C("orig.txt"), "two");
  EXPECT_EQ(ReadHostFile(C("link.txt")), "two");

  // Attributes belong to the file, not to one of its names.
  ASSERT_EQ(files_->SetAttributes("C:\\orig.txt", attr::kHidden), err::kSuccess);
  EXPECT_EQ(Attributes("C:\\link.txt"), attr::kHidden);

  EXPECT_EQ(files_->CreateHardLink("C:\\link.txt", "C:\\orig.txt"), err::kAlreadyExists);
  // Copying a file onto another of its names must not truncate it.
  EXPECT_EQ(files_->CopyFile("C:\\orig.txt", "C:\\link.txt", false), err::kSharingViolation);
  EXPECT_EQ(ReadHostFile(C("link.txt")), "two");
  EXPECT_EQ(files_->CreateHardLink("C:\\x.txt", "C:\\missing.txt"), err::kFileNotFound);
  const std::string z_path = "Z:" + [&] {
    std::string s = C("orig.txt");
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
  }();
  ASSERT_TRUE(files_->FileExists(z_path));
  EXPECT_EQ(files_->CreateHardLink("C:\\fromz.txt", z_path), err::kNotSameDevice);
  EXPECT_EQ(files_->CreateHardLink("D:\\link.txt", "C:\\orig.txt"), err::kNotSameDevice);
}

TEST_F(SimFileSystemTest, DelayedRenameAndDeleteHappenAtRestart) {
  MakeFile(C("new.dll"), "new");
  MakeFile(C("app.dll"), "old");
  MakeFile(C("temp.txt"), "t");
  fs::create_directories(C("emptydir"));
  ASSERT_EQ(files_->MoveFile("C:/New.dll", "C:\\app.dll", move::kDelayUntilReboot | move::kReplaceExisting),
            err::kSuccess);
  ASSERT_EQ(files_->MoveFile("C:\\temp.txt", "", move::kDelayUntilReboot), err::kSuccess);
  ASSERT_EQ(files_->MoveFile("C:\\emptydir", "", move::kDelayUntilReboot), err::kSuccess);
  EXPECT_EQ(files_->MoveFile("C:\\temp.txt", "D:\\x", move::kDelayUntilReboot | move::kCopyAllowed),
            err::kInvalidParameter);

  // Nothing happened yet; the list holds source/destination pairs.
  EXPECT_EQ(ReadHostFile(C("app.dll")), "old");
  EXPECT_EQ(PendingList(), (std::vector<std::string>{"\\??\\C:\\New.dll", "!\\??\\C:\\app.dll",
                                                     "\\??\\C:\\temp.txt", "", "\\??\\C:\\emptydir", ""}));
  RegValue raw;
  ASSERT_EQ(registry_.GetValue(RegRoot::kLocalMachine, kSessionManager, kPending, RegView::k64, &raw),
            err::kSuccess);
  ASSERT_GE(raw.data.size(), 6u);
  EXPECT_EQ(raw.data.substr(raw.data.size() - 6), std::string(6, '\0'));  // "...emptydir\0" "\0" final "\0"

  ASSERT_EQ(files_->ProcessPendingRenames(), err::kSuccess);
  EXPECT_EQ(ReadHostFile(C("app.dll")), "new");
  EXPECT_FALSE(fs::exists(C("new.dll")));
  EXPECT_FALSE(fs::exists(C("temp.txt")));
  EXPECT_FALSE(fs::exists(C("emptydir")));
  RegValue gone;
  EXPECT_EQ(registry_.GetValue(RegRoot::kLocalMachine, kSessionManager, kPending, RegView::k64, &gone),
            err::kFileNotFound);
  EXPECT_EQ(files_->ProcessPendingRenames(), err::kSuccess);  // nothing left to do
}

TEST_F(SimFileSystemTest, DelayedMovesRunInOrderAndSkipFailures) {
  MakeFile(C("one.txt"), "1");
  ASSERT_EQ(files_->MoveFile("C:\\missing.txt", "C:\\x.txt", move::kDelayUntilReboot), err::kSuccess);
  ASSERT_EQ(files_->MoveFile("C:\\one.txt", "C:\\two.txt", move::kDelayUntilReboot), err::kSuccess);
  ASSERT_EQ(files_->MoveFile("C:\\two.txt", "C:\\three.txt", move::kDelayUntilReboot), err::kSuccess);
  EXPECT_EQ(files_->ProcessPendingRenames(), err::kFileNotFound);
  EXPECT_EQ(ReadHostFile(C("three.txt")), "1");
  EXPECT_TRUE(PendingList().empty());
}

TEST_F(SimFileSystemTest, ShortNamesAreGeneratedStoredAndResolved) {
  MakeFile(C("Program Files/My Long Document.html"), "doc");
  fs::create_directories(C("Programs Extra"));
  MakeFile(C("readme.txt"));

  // An alias can be used before anything asked for one.
  FileEntry e;
  ASSERT_EQ(files_->GetEntry("C:\\progra~1\\MYLONG~1.HTM", &e), err::kSuccess);
  EXPECT_EQ(e.name, "My Long Document.html");
  EXPECT_EQ(e.short_name, "MYLONG~1.HTM");

  std::string short_path, long_path;
  ASSERT_EQ(files_->GetShortPath("C:\\Program Files\\My Long Document.html", &short_path), err::kSuccess);
  EXPECT_EQ(short_path, "C:\\PROGRA~1\\MYLONG~1.HTM");
  ASSERT_EQ(files_->GetShortPath("C:\\Programs Extra", &short_path), err::kSuccess);
  EXPECT_EQ(short_path, "C:\\PROGRA~2");
  ASSERT_EQ(files_->GetShortPath("C:\\README.TXT", &short_path), err::kSuccess);
  EXPECT_EQ(short_path, "C:\\readme.txt");  // already 8.3: no alias
  ASSERT_EQ(files_->GetLongPath("c:\\PROGRA~2", &long_path), err::kSuccess);
  EXPECT_EQ(long_path, "C:\\Programs Extra");

  std::vector<FileEntry> entries;
  ASSERT_EQ(files_->List("C:\\*", &entries), err::kSuccess);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].name, "readme.txt");
  EXPECT_EQ(entries[2].short_name, "");
  // Patterns match short names too, as on Windows.
  EXPECT_EQ(Names("C:\\Program Files\\*.htm"), (std::vector<std::string>{"My Long Document.html"}));

  // Aliases are stable for another instance on the same machine, and a
  // deleted name frees its alias.
  SimFileSystem again(machine_.path(), *store_, registry_);
  ASSERT_EQ(again.GetShortPath("C:\\Programs Extra", &short_path), err::kSuccess);
  EXPECT_EQ(short_path, "C:\\PROGRA~2");
  ASSERT_EQ(files_->RemoveFolder("C:\\Programs Extra"), err::kSuccess);
  ASSERT_EQ(files_->CreateFolder("C:\\Programmer Tools"), err::kSuccess);
  ASSERT_EQ(files_->GetShortPath("C:\\Programmer Tools", &short_path), err::kSuccess);
  EXPECT_EQ(short_path, "C:\\PROGRA~2");
}

TEST(ShortNameRulesTest, CandidatesAndValidNames) {
  struct Case {
    const char* name;
    unsigned n;
    const char* alias;
  };
  const Case cases[] = {
      {"Program Files", 1, "PROGRA~1"},
      {"My Long Document.html", 1, "MYLONG~1.HTM"},
      {".profile", 1, "PROFIL~1"},
      {"a+b c.txt", 2, "A_BC~2.TXT"},
      {"Program Files", 10, "PROGR~10"},
      {"Grüße.txt", 1, "GR__E~1.TXT"},
      {"a.b.c.d", 1, "ABC~1.D"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShortNameCandidate(c.name, c.n), c.alias) << c.name;

  for (const char* ok : {"readme.txt", "README", "SETUP.EX_", "a~1.b", "x"}) EXPECT_TRUE(IsValidShortName(ok)) << ok;
  for (const char* bad : {"toolongname.txt", "a.html", "a b.txt", "a+b.txt", "a.b.c", ".x", "", "x."}) {
    EXPECT_FALSE(IsValidShortName(bad)) << bad;
  }
}

TEST(PendingListTest, KeepsEmptyItems) {
  const std::vector<std::string> items = {"\\??\\C:\\a", "", "\\??\\C:\\ü", "!\\??\\C:\\b"};
  EXPECT_EQ(DecodePendingList(EncodePendingList(items)), items);
  EXPECT_TRUE(DecodePendingList(EncodePendingList({})).empty());
  EXPECT_TRUE(DecodePendingList("").empty());
  // No final NUL and an odd trailing byte are tolerated.
  EXPECT_EQ(DecodePendingList(std::string("a\0\0\0b\0x", 7)), (std::vector<std::string>{"a", "b"}));
}

TEST_F(SimFileSystemTest, VolumesAndDrives) {
  EXPECT_EQ(files_->LogicalDrives(), "CDZ");
  uint64_t free_bytes = 0, total = 0;
  ASSERT_EQ(files_->GetVolumeSpace("C:\\some\\path", &free_bytes, &total), err::kSuccess);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_bytes, total);
  store_->SetFact("drive.d.free", "1000");
  store_->SetFact("drive.d.total", "5000");
  ASSERT_EQ(files_->GetVolumeSpace("d:\\", &free_bytes, &total), err::kSuccess);
  EXPECT_EQ(free_bytes, 1000u);
  EXPECT_EQ(total, 5000u);
  EXPECT_EQ(files_->GetVolumeSpace("Q:\\", &free_bytes, &total), err::kPathNotFound);

  EXPECT_EQ(files_->GetDriveType("C:\\"), DriveType::kFixed);
  files_->SetDriveType('D', DriveType::kCdRom);
  EXPECT_EQ(files_->GetDriveType("d:"), DriveType::kCdRom);
  files_->SetDriveType('d', DriveType::kRemovable);
  EXPECT_EQ(files_->GetDriveType("D:/"), DriveType::kRemovable);
  EXPECT_EQ(files_->GetDriveType("Q:\\"), DriveType::kNoRootDir);
  EXPECT_EQ(files_->GetDriveType("C:\\Windows"), DriveType::kNoRootDir);
  store_->SetFact("drive.c.type", "garbage");
  EXPECT_EQ(files_->GetDriveType("C:\\"), DriveType::kFixed);
}

TEST(SystemMessageTest, EnglishTexts) {
  EXPECT_EQ(SystemMessage(err::kFileNotFound), "The system cannot find the file specified.");
  EXPECT_EQ(SystemMessage(err::kSharingViolation),
            "The process cannot access the file because it is being used by another process.");
  EXPECT_EQ(SystemMessage(err::kAlreadyExists), "Cannot create a file when that file already exists.");
  EXPECT_EQ(SystemMessage(424242), "Unknown error 424242.");
}

}  // namespace
}  // namespace kestrawl::platform::sim
