#include "platform/file_version.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/fault_injection.h"
#include "platform/sim/sim_machine.h"
#include "support/pe_image_builder.h"
#include "support/test_support.h"

namespace kestrawl::platform {
namespace {

using testing::BuildPeImage;
using testing::LayoutOfPeImage;
using testing::PeImageLayout;
using Parts = std::array<uint16_t, 4>;

void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void Put16(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}

TEST(FileVersionTest, BuiltImages) {
  struct Case {
    Parts version;
    bool pe64;
    bool resource;
    Parts expected;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, false, true, {1, 2, 3, 4}},
      {{1, 2, 3, 4}, true, true, {1, 2, 3, 4}},
      {{65535, 0, 65535, 1}, true, true, {65535, 0, 65535, 1}},  // each half of each word
      {{10, 0, 19041, 3636}, false, true, {10, 0, 19041, 3636}},
      {{1, 2, 3, 4}, false, false, {0, 0, 0, 0}},
      {{1, 2, 3, 4}, true, false, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::string image = BuildPeImage(c.version, c.pe64, c.resource);
    SCOPED_TRACE(::testing::Message() << c.version[0] << "." << c.version[1] << " pe64=" << c.pe64
                                      << " resource=" << c.resource);
    EXPECT_EQ(ParseFileVersion(image).parts, c.expected);
    EXPECT_EQ(IsPe64(image), c.pe64);
  }
  EXPECT_EQ(ParseFileVersion(BuildPeImage({2, 0, 0, 0}, false)).ToString(), "2.0.0.0");
}

TEST(FileVersionTest, VersionsCompareByPartsInOrder) {
  auto v = [](Parts p) { return FileVersion{p}; };
  EXPECT_GT(v({2, 0, 0, 0}), v({1, 65535, 65535, 65535}));
  EXPECT_GT(v({1, 10, 0, 0}), v({1, 9, 0, 0}));  // numeric, not textual
  EXPECT_LT(v({1, 2, 3, 4}), v({1, 2, 3, 5}));
  EXPECT_EQ(v({1, 2, 3, 4}), v({1, 2, 3, 4}));
  EXPECT_TRUE(FileVersion{}.empty());
  EXPECT_EQ(FileVersion{}.ToString(), "0.0.0.0");
}

// Damaged images of both kinds give 0.0.0.0 (and never read out of bounds).
TEST(FileVersionTest, DamagedImagesHaveNoVersion) {
  using Damage = void (*)(std::string&, const PeImageLayout&);
  struct Case {
    const char* what;
    Damage damage;
  };
  const Case cases[] = {
      {"no MZ", [](std::string& b, const PeImageLayout&) { b[0] = 'X'; }},
      {"e_lfanew past the end", [](std::string& b, const PeImageLayout&) { Put32(b, 0x3C, 0xFFFFFFF0); }},
      {"e_lfanew near the end",
       [](std::string& b, const PeImageLayout& l) { Put32(b, 0x3C, static_cast<uint32_t>(l.size - 10)); }},
      {"no PE signature", [](std::string& b, const PeImageLayout& l) { b[l.pe_signature + 1] = 'X'; }},
      {"unknown optional header magic",
       [](std::string& b, const PeImageLayout& l) { Put16(b, l.optional_header, 0x107); }},
      {"optional header size too small",
       [](std::string& b, const PeImageLayout& l) { Put16(b, l.pe_signature + 20, 16); }},
      {"optional header size past the end",
       [](std::string& b, const PeImageLayout& l) { Put16(b, l.pe_signature + 20, 0xFFFF); }},
      {"too many sections", [](std::string& b, const PeImageLayout& l) { Put16(b, l.pe_signature + 6, 0xFFFF); }},
      {"no sections", [](std::string& b, const PeImageLayout& l) { Put16(b, l.pe_signature + 6, 0); }},
      {"resource RVA outside every section",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.resource_dir, 0x9000); }},
      {"section raw data past the end",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.section_table + 20, 0x7FFFFFF0); }},
      {"section raw size zero", [](std::string& b, const PeImageLayout& l) { Put32(b, l.section_table + 16, 0); }},
      {"no RT_VERSION type", [](std::string& b, const PeImageLayout& l) { Put32(b, l.root_entry, 24); }},
      {"type entry is not a directory",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.root_entry + 4, 0x18); }},
      {"type directory offset huge",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.root_entry + 4, 0xFFFFFFFF); }},
      {"root directory claims 65535 named entries",
       [](std::string& b, const PeImageLayout& l) { Put16(b, l.root_entry - 4, 0xFFFF); }},
      {"language entry is a directory",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.language_entry + 4, 0x80000000 | 0x30); }},
      {"data RVA past the section",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.data_entry, 0x1FF0); }},
      {"data RVA wraps", [](std::string& b, const PeImageLayout& l) { Put32(b, l.data_entry, 0xFFFFFFF0); }},
      {"data size too small", [](std::string& b, const PeImageLayout& l) { Put32(b, l.data_entry + 4, 20); }},
      {"block length beyond the data",
       [](std::string& b, const PeImageLayout& l) { Put16(b, l.version_info, 0xFFFF); }},
      {"no fixed info", [](std::string& b, const PeImageLayout& l) { Put16(b, l.version_info + 2, 0); }},
      {"wrong key", [](std::string& b, const PeImageLayout& l) { b[l.version_info + 6] = 'W'; }},
      {"wrong fixed info signature",
       [](std::string& b, const PeImageLayout& l) { Put32(b, l.fixed_info, 0xFEEF04BE); }},
  };
  for (bool pe64 : {false, true}) {
    const PeImageLayout layout = LayoutOfPeImage(pe64);
    for (const Case& c : cases) {
      std::string image = BuildPeImage({1, 2, 3, 4}, pe64);
      ASSERT_EQ(image.size(), layout.size);
      c.damage(image, layout);
      EXPECT_TRUE(ParseFileVersion(image).empty()) << c.what << " pe64=" << pe64;
    }
  }
}

TEST(FileVersionTest, TruncatedImagesHaveNoVersion) {
  const std::string image = BuildPeImage({5, 6, 7, 8}, true);
  const PeImageLayout l = LayoutOfPeImage(true);
  // Cuts up to the end of the fixed info's file version lose the version.
  for (size_t length = 0; length < l.fixed_info + 16; ++length) {
    EXPECT_TRUE(ParseFileVersion(std::string_view(image).substr(0, length)).empty()) << length;
  }
}

TEST(FileVersionTest, OtherFilesHaveNoVersion) {
  for (std::string bytes : {std::string(), std::string("MZ"), std::string("hello world"),
                            std::string(4096, '\0'), std::string("\x7f" "ELF\x02\x01\x01", 7),
                            std::string("PE\0\0", 4)}) {
    EXPECT_TRUE(ParseFileVersion(bytes).empty());
    EXPECT_FALSE(IsPe64(bytes));
  }
}

// Counts the bytes read through every file it opens.
class CountingFiles : public FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  size_t bytes_read = 0;

  Win32Error Open(const std::string& path, OpenMode mode, ShareMode share,
                  std::unique_ptr<File>* file) override {
    Win32Error e = FileSystemWrapper::Open(path, mode, share, file);
    if (e == err::kSuccess) *file = std::make_unique<Counting>(std::move(*file), &bytes_read);
    return e;
  }

 private:
  class Counting : public File {
   public:
    Counting(std::unique_ptr<File> inner, size_t* count) : inner_(std::move(inner)), count_(count) {}
    Win32Error Read(void* buffer, size_t size, size_t* read) override {
      Win32Error e = inner_->Read(buffer, size, read);
      *count_ += *read;
      return e;
    }
    Win32Error Write(const void* data, size_t size) override { return inner_->Write(data, size); }
    Win32Error Seek(uint64_t offset) override { return inner_->Seek(offset); }
    Win32Error Size(uint64_t* size) override { return inner_->Size(size); }

   private:
    std::unique_ptr<File> inner_;
    size_t* count_;
  };
};

class FileVersionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_ = sim::SimMachine::Open(tmp_ / "machine");
    ASSERT_EQ(Files().CreateFolderTree("C:\\App"), err::kSuccess);
  }
  FileSystem& Files() { return machine_->Files(); }

  testing::TempDir tmp_;
  std::unique_ptr<sim::SimMachine> machine_;
};

TEST_F(FileVersionFileTest, ReadsFilesThroughTheFileSystem) {
  ASSERT_EQ(Files().WriteWholeFile("C:\\App\\a32.dll", BuildPeImage({3, 1, 4, 1}, false)),
            err::kSuccess);
  ASSERT_EQ(Files().WriteWholeFile("C:\\App\\a64.dll", BuildPeImage({2, 7, 1, 8}, true)),
            err::kSuccess);
  ASSERT_EQ(Files().WriteWholeFile("C:\\App\\plain.dll", BuildPeImage({2, 7, 1, 8}, true, false)),
            err::kSuccess);
  ASSERT_EQ(Files().WriteWholeFile("C:\\App\\notes.txt", "text"), err::kSuccess);

  EXPECT_EQ(ReadFileVersion(Files(), "c:\\app\\A32.DLL").ToString(), "3.1.4.1");
  EXPECT_EQ(ReadFileVersion(Files(), "C:\\App\\a64.dll").ToString(), "2.7.1.8");
  EXPECT_TRUE(ReadFileVersion(Files(), "C:\\App\\plain.dll").empty());
  EXPECT_TRUE(ReadFileVersion(Files(), "C:\\App\\notes.txt").empty());
  EXPECT_TRUE(ReadFileVersion(Files(), "C:\\App\\missing.dll").empty());
  EXPECT_TRUE(ReadFileVersion(Files(), "C:\\Missing\\a.dll").empty());
  EXPECT_TRUE(ReadFileVersion(Files(), "C:\\App").empty());  // a folder

  EXPECT_FALSE(IsPe64File(Files(), "C:\\App\\a32.dll"));
  EXPECT_TRUE(IsPe64File(Files(), "C:\\App\\a64.dll"));
  EXPECT_TRUE(IsPe64File(Files(), "C:\\App\\plain.dll"));
  EXPECT_FALSE(IsPe64File(Files(), "C:\\App\\notes.txt"));
  EXPECT_FALSE(IsPe64File(Files(), "C:\\App\\missing.dll"));
}

TEST_F(FileVersionFileTest, ReadsOnlyThePartsItNeeds) {
  // A setup-sized file: the image followed by a large payload.
  std::string big = BuildPeImage({9, 8, 7, 6}, false) + std::string(8 << 20, 'x');
  ASSERT_EQ(Files().WriteWholeFile("C:\\App\\setup.exe", big), err::kSuccess);
  CountingFiles counting(Files());
  EXPECT_EQ(ReadFileVersion(counting, "C:\\App\\setup.exe").ToString(), "9.8.7.6");
  EXPECT_LT(counting.bytes_read, 4096u);
}

TEST_F(FileVersionFileTest, ReadFailuresGiveNoVersion) {
  ASSERT_EQ(Files().WriteWholeFile("C:\\App\\a.dll", BuildPeImage({1, 0, 0, 0}, true)),
            err::kSuccess);
  // A file that stops delivering bytes part-way (a read error on media).
  class FailingFiles : public FileSystemWrapper {
   public:
    using FileSystemWrapper::FileSystemWrapper;
    int reads_left = 0;
    Win32Error Open(const std::string& path, OpenMode mode, ShareMode share,
                    std::unique_ptr<File>* file) override {
      Win32Error e = FileSystemWrapper::Open(path, mode, share, file);
      if (e == err::kSuccess) *file = std::make_unique<Failing>(std::move(*file), &reads_left);
      return e;
    }
    class Failing : public File {
     public:
      Failing(std::unique_ptr<File> inner, int* left) : inner_(std::move(inner)), left_(left) {}
      Win32Error Read(void* buffer, size_t size, size_t* read) override {
        *read = 0;
        if ((*left_)-- <= 0) return err::kCantRead;
        return inner_->Read(buffer, size, read);
      }
      Win32Error Write(const void* data, size_t size) override { return inner_->Write(data, size); }
      Win32Error Seek(uint64_t offset) override { return inner_->Seek(offset); }
      Win32Error Size(uint64_t* size) override { return inner_->Size(size); }

     private:
      std::unique_ptr<File> inner_;
      int* left_;
    };
  };
  FailingFiles failing(Files());
  for (int reads = 0; reads < 8; ++reads) {
    failing.reads_left = reads;
    EXPECT_TRUE(ReadFileVersion(failing, "C:\\App\\a.dll").empty()) << reads;
  }
  failing.reads_left = 1000;
  EXPECT_EQ(ReadFileVersion(failing, "C:\\App\\a.dll").ToString(), "1.0.0.0");
}

}  // namespace
}  // namespace kestrawl::platform
