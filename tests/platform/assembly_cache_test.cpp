#include "platform/assembly_cache.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/sim/sim_machine.h"
#include "support/test_support.h"

namespace kestrawl::platform::gac {
namespace {

using testing::TempDir;

constexpr char kName[] = "Kestrawl.Lib, Version=1.0.0.0, Culture=neutral, PublicKeyToken=0123456789abcdef";
constexpr char kFolder[] = "C:\\Windows\\Microsoft.NET\\assembly\\GAC_MSIL\\Kestrawl.Lib\\";
constexpr char kSource[] = "C:\\Media\\Kestrawl.Lib.dll";

Reference Ref(const std::string& id) { return Reference{kOpaqueStringScheme, id, "Kestrawl"}; }

class AssemblyCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = sim::SimMachine::Open(tmp_ / "machine");
    ASSERT_EQ(Files().CreateFolderTree("C:\\Media"), err::kSuccess);
    ASSERT_EQ(Files().WriteWholeFile(kSource, "MZ assembly v1"), err::kSuccess);
  }
  FileSystem& Files() { return machine_->Files(); }
  System& Sys() { return machine_->Sys(); }
  std::string Read(const std::string& path) {
    std::string data;
    EXPECT_EQ(Files().ReadWholeFile(path, &data), err::kSuccess) << path;
    return data;
  }

  TempDir tmp_;
  std::unique_ptr<sim::SimMachine> machine_;
};

TEST_F(AssemblyCacheTest, FolderIsUnderTheWindowsFolderByTheSimpleName) {
  EXPECT_EQ(AssemblyFolder(Sys(), kName), kFolder);
  EXPECT_EQ(AssemblyFolder(Sys(), "Plain"), "C:\\Windows\\Microsoft.NET\\assembly\\GAC_MSIL\\Plain\\");
  EXPECT_TRUE(References(Files(), Sys(), kName).empty());
}

TEST_F(AssemblyCacheTest, StaysWhileItHasAReference) {
  const std::string first = "{11111111-2222-3333-4444-555555555555}";
  const std::string second = "{ABCDEF66-7777-8888-9999-00000000FFFF}";
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref(first), false), err::kSuccess);
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref(second), false), err::kSuccess);
  // The same reference again (other case) is kept once.
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref(base::AsciiLower(second)), false), err::kSuccess);

  EXPECT_EQ(Read(std::string(kFolder) + "Kestrawl.Lib.dll"), "MZ assembly v1");
  const std::string scheme = kOpaqueStringScheme;
  EXPECT_EQ(Read(std::string(kFolder) + "references.txt"),
            scheme + "|" + first + "|Kestrawl\r\n" + scheme + "|" + second + "|Kestrawl\r\n");
  auto refs = References(Files(), Sys(), kName);
  ASSERT_EQ(refs.size(), 2u);
  EXPECT_EQ(refs[0].scheme, scheme);
  EXPECT_EQ(refs[0].identifier, first);
  EXPECT_EQ(refs[0].description, "Kestrawl");
  EXPECT_EQ(refs[1].identifier, second);

  bool removed = true;
  ASSERT_EQ(UninstallAssembly(Files(), Sys(), kName, Ref(first), &removed), err::kSuccess);
  EXPECT_FALSE(removed);
  EXPECT_TRUE(Files().FileExists(std::string(kFolder) + "Kestrawl.Lib.dll"));
  ASSERT_EQ(References(Files(), Sys(), kName).size(), 1u);
  EXPECT_EQ(References(Files(), Sys(), kName)[0].identifier, second);
  // A reference it does not hold changes nothing.
  EXPECT_EQ(UninstallAssembly(Files(), Sys(), kName, Ref(first), &removed), err::kFileNotFound);
  EXPECT_FALSE(removed);

  ASSERT_EQ(UninstallAssembly(Files(), Sys(), kName, Ref(second), &removed), err::kSuccess);
  EXPECT_TRUE(removed);
  EXPECT_FALSE(Files().Exists(kFolder));
  EXPECT_TRUE(Files().FolderExists("C:\\Windows\\Microsoft.NET\\assembly\\GAC_MSIL"));
  EXPECT_TRUE(References(Files(), Sys(), kName).empty());
  EXPECT_EQ(UninstallAssembly(Files(), Sys(), kName, Ref(second), &removed), err::kFileNotFound);
  EXPECT_FALSE(removed);
}

TEST_F(AssemblyCacheTest, ReplacesADifferentCopyOrWhenForced) {
  const std::string target = std::string(kFolder) + "Kestrawl.Lib.dll";
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref("a"), false), err::kSuccess);
  ASSERT_EQ(Files().WriteWholeFile(kSource, "MZ assembly v2"), err::kSuccess);
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref("b"), false), err::kSuccess);
  EXPECT_EQ(Read(target), "MZ assembly v2");
  // An identical copy is left alone; force copies it anyway.
  FileEntry before;
  ASSERT_EQ(Files().SetLastWriteTime(target, 116444736000000000ull), err::kSuccess);
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref("a"), false), err::kSuccess);
  ASSERT_EQ(Files().GetEntry(target, &before), err::kSuccess);
  EXPECT_EQ(before.last_write, 116444736000000000ull);
  ASSERT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref("a"), true), err::kSuccess);
  FileEntry after;
  ASSERT_EQ(Files().GetEntry(target, &after), err::kSuccess);
  EXPECT_NE(after.last_write, 116444736000000000ull);
  EXPECT_EQ(References(Files(), Sys(), kName).size(), 2u);
}

TEST_F(AssemblyCacheTest, BadRequestsFailWithoutChanges) {
  EXPECT_EQ(InstallAssembly(Files(), Sys(), kName, "C:\\Media\\missing.dll", Ref("a"), false), err::kFileNotFound);
  EXPECT_EQ(InstallAssembly(Files(), Sys(), "", kSource, Ref("a"), false), err::kInvalidName);
  EXPECT_EQ(InstallAssembly(Files(), Sys(), "a\\b", kSource, Ref("a"), false), err::kInvalidName);
  EXPECT_EQ(InstallAssembly(Files(), Sys(), kName, kSource, Ref(""), false), err::kInvalidParameter);
  EXPECT_FALSE(Files().Exists(kFolder));
  bool removed = true;
  EXPECT_EQ(UninstallAssembly(Files(), Sys(), "Unknown", Ref("a"), &removed), err::kFileNotFound);
  EXPECT_FALSE(removed);
}

}  // namespace
}  // namespace kestrawl::platform::gac
