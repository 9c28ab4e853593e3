#include "platform/sim/sim_registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace kestrawl::platform::sim {
namespace {

using testing::TempDir;

constexpr char kSid[] = "S-1-5-21-1-2-3-1001";

RegistryLayout Layout(bool os64 = true, bool process32 = true) {
  return RegistryLayout{os64, process32, kSid, "BUILDBOX"};
}

class SimRegistryTest : public ::testing::Test {
 protected:
  void Open(RegistryLayout layout = Layout()) {
    reg_.reset();
    store_.reset();
    store_ = std::make_unique<SimStore>(tmp_ / "registry.db");
    reg_ = std::make_unique<SimRegistry>(*store_, std::move(layout));
  }
  void SetUp() override { Open(); }

  std::vector<std::string> Keys(RegRoot root, const std::string& key, RegView view = RegView::k64) {
    std::vector<std::string> names;
    EXPECT_EQ(reg_->EnumKeys(root, key, view, &names), err::kSuccess) << key;
    return names;
  }
  std::vector<std::string> ValueNames(RegRoot root, const std::string& key,
                                      RegView view = RegView::k64) {
    std::vector<RegNamedValue> values;
    EXPECT_EQ(reg_->EnumValues(root, key, view, &values), err::kSuccess) << key;
    std::vector<std::string> names;
    for (const auto& v : values) names.push_back(v.name);
    return names;
  }
  std::string Text(RegRoot root, const std::string& key, const std::string& name,
                   RegView view = RegView::k64) {
    return reg_->ReadString(root, key, name, view).value_or("<missing>");
  }

  TempDir tmp_;
  std::unique_ptr<SimStore> store_;
  std::unique_ptr<SimRegistry> reg_;
};

constexpr auto HKLM = RegRoot::kLocalMachine;
constexpr auto HKCU = RegRoot::kCurrentUser;
constexpr auto HKCR = RegRoot::kClassesRoot;
constexpr auto HKU = RegRoot::kUsers;
constexpr auto HKCC = RegRoot::kCurrentConfig;

TEST(RegValueTest, EncodesAsWindowsStoresValues) {
  EXPECT_EQ(RegValue::String("Aé").data, std::string("A\0\xE9\0\0\0", 6));
  EXPECT_EQ(RegValue::String("", regtype::kExpandSz), (RegValue{regtype::kExpandSz, std::string(2, '\0')}));
  EXPECT_EQ(RegValue::Dword(0x12345678).data, "\x78\x56\x34\x12");
  EXPECT_EQ(RegValue::Qword(0x0102030405060708ULL).data, "\x08\x07\x06\x05\x04\x03\x02\x01");
  EXPECT_EQ(RegValue::MultiString({"a", "", "b"}).data, std::string("a\0\0\0b\0\0\0\0\0", 10));
  EXPECT_EQ(RegValue::MultiString({}).data, std::string(2, '\0'));
}

TEST(RegValueTest, ReadingsTolerateOddData) {
  EXPECT_EQ(RegValue::String("日本😀").AsString(), "日本😀");
  EXPECT_EQ((RegValue{regtype::kSz, std::string("a\0b\0\0\0c\0", 8)}).AsString(), "ab");
  EXPECT_EQ((RegValue{regtype::kSz, std::string("a\0b", 3)}).AsString(), "a");  // odd byte dropped
  EXPECT_EQ((RegValue{regtype::kDword, "\x01\x02"}).AsDword(), 0x0201u);
  EXPECT_EQ((RegValue{regtype::kQword, "\xff\xff\xff\xff\x01"}).AsQword(), 0x1ffffffffULL);
  EXPECT_EQ(RegValue::MultiString({"x", "yz"}).AsMultiString(), (std::vector<std::string>{"x", "yz"}));
  // A list without its final terminator still yields its items.
  EXPECT_EQ((RegValue{regtype::kMultiSz, std::string("a\0\0\0b\0", 6)}).AsMultiString(),
            (std::vector<std::string>{"a", "b"}));
}

TEST(RegKeyPathTest, ParsesRootsAndTrimsBackslashes) {
  struct Case {
    const char* text;
    bool ok;
    RegRoot root;
    const char* subkey;
  } cases[] = {
      {"HKLM\\Software\\X", true, HKLM, "Software\\X"},
      {"hkey_local_machine\\Software\\X\\", true, HKLM, "Software\\X"},
      {"\\\\HKCU", true, HKCU, ""},
      {"HKEY_CLASSES_ROOT\\.txt", true, HKCR, ".txt"},
      {"HKU\\.DEFAULT", true, HKU, ".DEFAULT"},
      {"HKCC\\System", true, HKCC, "System"},
      {"HKLMX\\Software", false, HKLM, ""},
      {"", false, HKLM, ""},
      {"Software\\X", false, HKLM, ""},
  };
  for (const auto& c : cases) {
    RegRoot root = RegRoot::kUsers;
    std::string subkey = "unchanged";
    EXPECT_EQ(ParseRegKeyPath(c.text, &root, &subkey), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(root, c.root) << c.text;
    EXPECT_EQ(subkey, c.subkey) << c.text;
  }
  EXPECT_EQ(RegRootName(HKCC), "HKEY_CURRENT_CONFIG");
}

TEST_F(SimRegistryTest, StoresEveryValueTypeByteForByte) {
  const RegValue values[] = {
      RegValue::Binary("", regtype::kNone),
      RegValue::String("text"),
      RegValue::String("%SystemRoot%\\x", regtype::kExpandSz),
      RegValue::Binary(std::string("\0\x01\xff", 3)),
      RegValue::Dword(0xdeadbeef),
      RegValue::MultiString({"one", "two"}),
      RegValue::Qword(0x1122334455667788ULL),
      RegValue::Binary("odd", 0x12345),  // a type the engine does not know
  };
  ASSERT_EQ(reg_->CreateKey(HKLM, "SOFTWARE\\T", RegView::k64), err::kSuccess);
  for (size_t i = 0; i < std::size(values); ++i) {
    ASSERT_EQ(reg_->SetValue(HKLM, "SOFTWARE\\T", "v" + std::to_string(i), RegView::k64, values[i]),
              err::kSuccess);
  }
  for (size_t i = 0; i < std::size(values); ++i) {
    RegValue got;
    ASSERT_EQ(reg_->GetValue(HKLM, "SOFTWARE\\T", "v" + std::to_string(i), RegView::k64, &got),
              err::kSuccess);
    EXPECT_EQ(got, values[i]) << i;
  }
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\T", "v4"), "3735928559");
}

TEST_F(SimRegistryTest, NamesAreCaseInsensitiveAndKeepTheirFirstCase) {
  bool created = false;
  ASSERT_EQ(reg_->CreateKey(HKLM, "SOFTWARE\\Vendor\\MyApp", RegView::k64, &created), err::kSuccess);
  EXPECT_TRUE(created);
  ASSERT_EQ(reg_->CreateKey(HKLM, "software\\VENDOR\\myapp", RegView::k64, &created), err::kSuccess);
  EXPECT_FALSE(created);
  EXPECT_EQ(Keys(HKLM, "SOFTWARE\\vendor"), (std::vector<std::string>{"MyApp"}));

  auto k = "SOFTWARE\\Vendor\\MyApp";
  ASSERT_EQ(reg_->SetValue(HKLM, k, "InstallDir", RegView::k64, RegValue::String("a")), 0u);
  ASSERT_EQ(reg_->SetValue(HKLM, k, "Version", RegView::k64, RegValue::String("1")), 0u);
  ASSERT_EQ(reg_->SetValue(HKLM, k, "", RegView::k64, RegValue::String("default")), 0u);
  // Replacing a value keeps its original name and its place.
  ASSERT_EQ(reg_->SetValue(HKLM, k, "INSTALLDIR", RegView::k64, RegValue::String("b")), 0u);
  EXPECT_EQ(ValueNames(HKLM, k), (std::vector<std::string>{"InstallDir", "Version", ""}));
  EXPECT_EQ(Text(HKLM, "Software\\vendor\\MYAPP", "installdir"), "b");
  EXPECT_EQ(Text(HKLM, k, ""), "default");
  // Non-ASCII names fold too.
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Ärger", "Größe", RegView::k64, RegValue::Dword(1)), 0u);
  EXPECT_EQ(Text(HKLM, "software\\ärger", "GRÖSSE"), "1");
  EXPECT_EQ(Keys(HKLM, "SOFTWARE"), (std::vector<std::string>{"Classes", "Vendor", "Ärger"}));
}

TEST_F(SimRegistryTest, EnumeratesKeysSortedAndValuesInCreationOrder) {
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2", "Beta1"}) {
    ASSERT_EQ(reg_->CreateKey(HKCU, std::string("Software\\E\\") + name, RegView::k64), 0u);
  }
  EXPECT_EQ(Keys(HKCU, "Software\\E"),
            (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "Beta1", "gamma"}));
  for (const char* name : {"z", "a", "m"}) {
    ASSERT_EQ(reg_->SetValue(HKCU, "Software\\E", name, RegView::k64, RegValue::Dword(1)), 0u);
  }
  ASSERT_EQ(reg_->DeleteValue(HKCU, "Software\\E", "a", RegView::k64), 0u);
  ASSERT_EQ(reg_->SetValue(HKCU, "Software\\E", "A", RegView::k64, RegValue::Dword(2)), 0u);
  EXPECT_EQ(ValueNames(HKCU, "Software\\E"), (std::vector<std::string>{"z", "m", "A"}));
}

TEST_F(SimRegistryTest, ReportsMissingKeysValuesAndRefusedDeletes) {
  RegValue v;
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\Nope", RegView::k64), err::kFileNotFound);
  EXPECT_EQ(reg_->GetValue(HKLM, "SOFTWARE\\Nope", "x", RegView::k64, &v), err::kFileNotFound);
  EXPECT_EQ(reg_->SetValue(HKLM, "SOFTWARE\\Nope", "x", RegView::k64, v), err::kFileNotFound);
  EXPECT_EQ(reg_->DeleteKey(HKLM, "SOFTWARE\\Nope", RegView::k64), err::kFileNotFound);
  EXPECT_EQ(reg_->DeleteTree(HKLM, "SOFTWARE\\Nope", RegView::k64), err::kFileNotFound);
  std::vector<std::string> names;
  EXPECT_EQ(reg_->EnumKeys(HKLM, "SOFTWARE\\Nope", RegView::k64, &names), err::kFileNotFound);

  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\P\\C", "x", RegView::k64, RegValue::Dword(1)), 0u);
  EXPECT_EQ(reg_->GetValue(HKLM, "SOFTWARE\\P\\C", "y", RegView::k64, &v), err::kFileNotFound);
  EXPECT_EQ(reg_->DeleteValue(HKLM, "SOFTWARE\\P\\C", "y", RegView::k64), err::kFileNotFound);
  EXPECT_EQ(reg_->DeleteKey(HKLM, "SOFTWARE\\P", RegView::k64), err::kAccessDenied);
  EXPECT_EQ(reg_->DeleteKey(HKLM, "", RegView::k64), err::kAccessDenied);
  EXPECT_EQ(reg_->DeleteTree(HKCU, "\\", RegView::k64), err::kAccessDenied);
  EXPECT_EQ(reg_->KeyExists(HKCU, "Software\\Classes", RegView::k64), err::kSuccess);
  EXPECT_EQ(reg_->DeleteKey(HKLM, "SOFTWARE\\P\\C", RegView::k64), err::kSuccess);
  EXPECT_EQ(reg_->DeleteKey(HKLM, "SOFTWARE\\P", RegView::k64), err::kSuccess);

  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Q\\R\\S", "x", RegView::k64, RegValue::Dword(1)), 0u);
  ASSERT_EQ(reg_->SetValue(HKLM, "SOFTWARE\\Q", "top", RegView::k64, RegValue::Dword(1)), 0u);
  EXPECT_EQ(reg_->DeleteTree(HKLM, "SOFTWARE\\Q", RegView::k64), err::kSuccess);
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\Q", RegView::k64), err::kFileNotFound);
  // A recreated key starts empty: nothing of the deleted tree survives.
  ASSERT_EQ(reg_->CreateKey(HKLM, "SOFTWARE\\Q\\R\\S", RegView::k64), 0u);
  EXPECT_TRUE(ValueNames(HKLM, "SOFTWARE\\Q").empty());
  EXPECT_TRUE(ValueNames(HKLM, "SOFTWARE\\Q\\R\\S").empty());
}

TEST_F(SimRegistryTest, RejectsMalformedKeyAndValueNames) {
  const std::string k255(255, 'k'), k256(256, 'k');
  EXPECT_EQ(reg_->CreateKey(HKLM, "SOFTWARE\\" + k255, RegView::k64), err::kSuccess);
  EXPECT_EQ(reg_->CreateKey(HKLM, "SOFTWARE\\" + k256, RegView::k64), err::kInvalidParameter);
  EXPECT_EQ(reg_->CreateKey(HKLM, "SOFTWARE\\a\\\\b", RegView::k64), err::kInvalidParameter);
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\a\\\\b", RegView::k64), err::kInvalidParameter);
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\a", RegView::k64), err::kFileNotFound);
  EXPECT_EQ(reg_->SetValue(HKLM, "SOFTWARE", std::string(16384, 'v'), RegView::k64, RegValue::Dword(1)),
            err::kInvalidParameter);
  // Leading and trailing backslashes name the same key.
  EXPECT_EQ(reg_->KeyExists(HKLM, "\\SOFTWARE\\" + k255 + "\\", RegView::k64), err::kSuccess);
}

TEST_F(SimRegistryTest, ThirtyTwoBitViewIsRedirectedToWow6432Node) {
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Vendor", "bits", RegView::k32, RegValue::String("32")), 0u);
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Vendor", "bits", RegView::k64, RegValue::String("64")), 0u);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Wow6432Node\\Vendor", "bits", RegView::k64), "32");
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Vendor", "bits", RegView::k64), "64");
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Vendor", "bits", RegView::k32), "32");
  // The engine is a 32-bit process: its default view is the 32-bit one.
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Vendor", "bits", RegView::kDefault), "32");

  // Shared keys are the same in both views; the class keys of COM are not.
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Classes\\.kst", "", RegView::k32, RegValue::String("shared")), 0u);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Classes\\.kst", "", RegView::k64), "shared");
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Classes\\CLSID\\{1}", "", RegView::k32, RegValue::String("c")), 0u);
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\Classes\\CLSID\\{1}", RegView::k64), err::kFileNotFound);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Wow6432Node\\Classes\\CLSID\\{1}", ""), "c");
  auto app_paths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\k.exe";
  ASSERT_EQ(reg_->WriteValue(HKLM, app_paths, "", RegView::k32, RegValue::String("p")), 0u);
  EXPECT_EQ(Text(HKLM, app_paths, "", RegView::k64), "p");
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "r",
                             RegView::k32, RegValue::String("x")), 0u);
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", RegView::k64),
            err::kFileNotFound);
  // Outside SOFTWARE nothing is redirected.
  ASSERT_EQ(reg_->WriteValue(HKLM, "SYSTEM\\Kst", "v", RegView::k32, RegValue::Dword(1)), 0u);
  EXPECT_EQ(Text(HKLM, "SYSTEM\\Kst", "v", RegView::k64), "1");

  // Each view lists what it sees: the 32-bit view shows redirected and shared
  // keys, the 64-bit view shows Wow6432Node only as a key of its own.
  EXPECT_EQ(Keys(HKLM, "SOFTWARE", RegView::k32),
            (std::vector<std::string>{"Classes", "Microsoft", "Vendor", "Wow6432Node"}));
  EXPECT_EQ(Keys(HKLM, "SOFTWARE", RegView::k64),
            (std::vector<std::string>{"Classes", "Microsoft", "Vendor", "Wow6432Node"}));
  EXPECT_EQ(Keys(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", RegView::k32),
            (std::vector<std::string>{"App Paths", "Run"}));
  EXPECT_EQ(Keys(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", RegView::k64),
            (std::vector<std::string>{"App Paths"}));
  EXPECT_EQ(Keys(HKLM, "SOFTWARE\\Classes", RegView::k64), (std::vector<std::string>{".kst"}));
  EXPECT_EQ(Keys(HKLM, "SOFTWARE\\Classes", RegView::k32), (std::vector<std::string>{".kst", "CLSID"}));
}

TEST_F(SimRegistryTest, UserClassKeysOfComAreRedirected) {
  ASSERT_EQ(reg_->WriteValue(HKCU, "Software\\Classes\\CLSID\\{2}", "", RegView::k32, RegValue::String("u")), 0u);
  EXPECT_EQ(Text(HKCU, "Software\\Classes\\Wow6432Node\\CLSID\\{2}", "", RegView::k64), "u");
  EXPECT_EQ(Text(HKCR, "CLSID\\{2}", "", RegView::k32), "u");
  EXPECT_EQ(reg_->KeyExists(HKCR, "CLSID\\{2}", RegView::k64), err::kFileNotFound);
}

TEST_F(SimRegistryTest, ThirtyTwoBitSystemsAndSixtyFourBitProcessesAreNotRedirected) {
  Open(Layout(/*os64=*/false));
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\V", "x", RegView::k32, RegValue::Dword(1)), 0u);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\V", "x", RegView::k64), "1");
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\Wow6432Node", RegView::k64), err::kFileNotFound);

  Open(Layout(/*os64=*/true, /*process32=*/false));
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\W", "x", RegView::kDefault, RegValue::Dword(2)), 0u);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\W", "x", RegView::k64), "2");
}

TEST_F(SimRegistryTest, DerivedRootsMapToStoredHives) {
  ASSERT_EQ(reg_->WriteValue(HKCU, "Software\\K", "v", RegView::k64, RegValue::String("user")), 0u);
  EXPECT_EQ(Text(HKU, std::string(kSid) + "\\Software\\K", "v"), "user");
  ASSERT_EQ(reg_->WriteValue(HKCC, "Software\\Fonts", "LogPixels", RegView::k64, RegValue::Dword(96)), 0u);
  EXPECT_EQ(Text(HKLM, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts", "LogPixels"),
            "96");
  for (RegRoot root : {HKLM, HKU, HKCU, HKCR, HKCC}) {
    EXPECT_EQ(reg_->KeyExists(root, "", RegView::k64), err::kSuccess) << RegRootName(root);
  }
}

TEST_F(SimRegistryTest, ClassesRootMergesUserOverMachine) {
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Classes\\.both", "", RegView::k64, RegValue::String("machine")), 0u);
  ASSERT_EQ(reg_->SetValue(HKLM, "SOFTWARE\\Classes\\.both", "MachineOnly", RegView::k64, RegValue::Dword(7)), 0u);
  ASSERT_EQ(reg_->WriteValue(HKCU, "Software\\Classes\\.both", "", RegView::k64, RegValue::String("user")), 0u);
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\Classes\\.m", "", RegView::k64, RegValue::String("m")), 0u);
  ASSERT_EQ(reg_->WriteValue(HKCU, "Software\\Classes\\.u", "", RegView::k64, RegValue::String("u")), 0u);

  EXPECT_EQ(Text(HKCR, ".both", ""), "user");
  EXPECT_EQ(Text(HKCR, ".both", "MachineOnly"), "7");
  EXPECT_EQ(Text(HKCR, ".m", ""), "m");
  EXPECT_EQ(Text(HKCR, ".u", ""), "u");
  EXPECT_EQ(Keys(HKCR, ""), (std::vector<std::string>{".both", ".m", ".u"}));
  EXPECT_EQ(ValueNames(HKCR, ".both"), (std::vector<std::string>{"", "MachineOnly"}));

  // Writes go to the user's key when it exists, else to the machine's.
  ASSERT_EQ(reg_->SetValue(HKCR, ".both", "w", RegView::k64, RegValue::Dword(1)), 0u);
  EXPECT_EQ(Text(HKCU, "Software\\Classes\\.both", "w"), "1");
  ASSERT_EQ(reg_->SetValue(HKCR, ".m", "w", RegView::k64, RegValue::Dword(2)), 0u);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Classes\\.m", "w"), "2");
  ASSERT_EQ(reg_->WriteValue(HKCR, ".new\\shell", "", RegView::k64, RegValue::String("n")), 0u);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Classes\\.new\\shell", ""), "n");
  EXPECT_EQ(reg_->KeyExists(HKCU, "Software\\Classes\\.new", RegView::k64), err::kFileNotFound);

  ASSERT_EQ(reg_->DeleteTree(HKCR, ".both", RegView::k64), 0u);
  EXPECT_EQ(reg_->KeyExists(HKCR, ".both", RegView::k64), err::kFileNotFound);
}

TEST_F(SimRegistryTest, OnlyTheLocalComputerIsReachable) {
  struct Case {
    const char* name;
    Win32Error rc;
  } cases[] = {{"", 0},           {".", 0},          {"\\\\.", 0},       {"BUILDBOX", 0},
               {"\\\\buildbox", 0}, {"OTHER", 53},   {"\\\\OTHER", 53}, {"buildbox2", 53}};
  for (const auto& c : cases) EXPECT_EQ(reg_->CheckComputer(c.name), c.rc) << c.name;
}

TEST_F(SimRegistryTest, AFailedBatchLeavesNothingBehind) {
  bool ok = reg_->Batch([&] {
    EXPECT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\B1", "v", RegView::k64, RegValue::Dword(1)), 0u);
    EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\B1", RegView::k64), 0u);  // visible inside
    return false;
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\B1", RegView::k64), err::kFileNotFound);
  EXPECT_FALSE(reg_->Batch([&]() -> bool {
    reg_->WriteValue(HKLM, "SOFTWARE\\B2", "v", RegView::k64, RegValue::Dword(1));
    throw std::runtime_error("stop");
  }));
  EXPECT_EQ(reg_->KeyExists(HKLM, "SOFTWARE\\B2", RegView::k64), err::kFileNotFound);
  EXPECT_TRUE(reg_->Batch([&] {
    return reg_->WriteValue(HKLM, "SOFTWARE\\B3", "v", RegView::k64, RegValue::Dword(3)) == 0;
  }));
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\B3", "v"), "3");
}

TEST_F(SimRegistryTest, ChangesPersistAcrossProcesses) {
  ASSERT_EQ(reg_->WriteValue(HKLM, "SOFTWARE\\P", "parent", RegView::k64, RegValue::Dword(1)), 0u);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int rc = 1;
    try {
      SimStore store(tmp_ / "registry.db");
      SimRegistry reg(store, Layout());
      RegValue v;
      if (reg.GetValue(HKLM, "SOFTWARE\\P", "parent", RegView::k64, &v) == 0 && v.AsDword() == 1 &&
          reg.WriteValue(HKLM, "SOFTWARE\\P", "child", RegView::k64, RegValue::String("c")) == 0) {
        rc = 0;
      }
    } catch (...) {
    }
    _exit(rc);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  Open();  // a fresh connection sees the child's write
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\P", "child"), "c");
}

TEST_F(SimRegistryTest, ConcurrentProcessesLoseNoWrites) {
  constexpr int kPerWriter = 500;
  std::vector<pid_t> children;
  for (int w = 0; w < 2; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int rc = 0;
      try {
        SimStore store(tmp_ / "registry.db");
        SimRegistry reg(store, Layout());
        for (int i = 0; i < kPerWriter && rc == 0; ++i) {
          std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
          rc = static_cast<int>(reg.WriteValue(HKLM, "SOFTWARE\\Shared", name, RegView::k64,
                                               RegValue::Dword(static_cast<uint32_t>(i))));
        }
      } catch (...) {
        rc = 1;
      }
      _exit(rc == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<RegNamedValue> values;
  ASSERT_EQ(reg_->EnumValues(HKLM, "SOFTWARE\\Shared", RegView::k64, &values), 0u);
  EXPECT_EQ(values.size(), 2u * kPerWriter);
  EXPECT_EQ(Text(HKLM, "SOFTWARE\\Shared", "w1_499"), "499");
}

}  // namespace
}  // namespace kestrawl::platform::sim
