#include "bootstrap/stub_size.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace kestrawl::bootstrap {
namespace {

void Put(std::string& bytes, size_t offset, uint64_t value, size_t width) {
  if (bytes.size() < offset + width) bytes.resize(offset + width, '\0');
  for (size_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

TEST(StubSizeTest, OwnExecutableEndsAtItsFileSize) {
  const std::string self = testing::ReadHostFile("/proc/self/exe");
  ASSERT_GT(self.size(), 64u);
  EXPECT_EQ(ComputeStubSize(self), self.size());
  // A compiled script and a trailing block appended to the image do not move it.
  EXPECT_EQ(ComputeStubSize(self + "\xEF\xBB\xBFSet Variable\r\n$\r\n" + std::string(4096, 'x')),
            self.size());
  // A cut-off image is no image.
  for (size_t cut : {size_t{0}, size_t{15}, size_t{63}, self.size() / 2, self.size() - 1}) {
    EXPECT_EQ(ComputeStubSize(std::string_view(self).substr(0, cut)), std::nullopt) << cut;
  }
}

// A little-endian ELF32 file: header, one segment, a null section, a section
// holding bytes, a NOBITS section and the section header table.
std::string MakeElf32(uint32_t text_offset, uint32_t text_size, uint32_t section_table_offset) {
  std::string f(52, '\0');
  f.replace(0, 4, "\x7F" "ELF");
  f[4] = 1;  // 32-bit
  f[5] = 1;  // little-endian
  f[6] = 1;
  Put(f, 0x1C, 52, 4);                    // e_phoff
  Put(f, 0x20, section_table_offset, 4);  // e_shoff
  Put(f, 0x28, 52, 2);                    // e_ehsize
  Put(f, 0x2A, 32, 2);                    // e_phentsize
  Put(f, 0x2C, 1, 2);                     // e_phnum
  Put(f, 0x2E, 40, 2);                    // e_shentsize
  Put(f, 0x30, 3, 2);                     // e_shnum
  Put(f, 52 + 0, 1, 4);                   // PT_LOAD
  Put(f, 52 + 4, 0, 4);                   // p_offset
  Put(f, 52 + 16, 0x80, 4);               // p_filesz
  const uint32_t sections[3][3] = {{0, 0, 0}, {1, text_offset, text_size}, {8, 0x80, 0x100000}};
  for (size_t i = 0; i < 3; ++i) {
    const size_t at = section_table_offset + 40 * i;
    Put(f, at + 4, sections[i][0], 4);   // sh_type
    Put(f, at + 16, sections[i][1], 4);  // sh_offset
    Put(f, at + 20, sections[i][2], 4);  // sh_size
  }
  f.resize(std::max<size_t>({f.size(), text_offset + text_size, section_table_offset + 3 * 40}),
           '\0');
  return f;
}

TEST(StubSizeTest, Elf32EndIsTheFurthestOfSectionsAndTables) {
  // Section table last: it marks the end; the NOBITS section is not counted.
  std::string table_last = MakeElf32(0x80, 0x40, 0xC0);
  EXPECT_EQ(ComputeStubSize(table_last), 0xC0u + 3 * 40);
  EXPECT_EQ(ComputeStubSize(table_last + "script"), 0xC0u + 3 * 40);
  // Section bytes after the table: they mark the end.
  std::string data_last = MakeElf32(0x200, 0x30, 0x80);
  EXPECT_EQ(ComputeStubSize(data_last + "script"), 0x230u);
  // Section bytes beyond the end of the file: damaged.
  data_last.resize(0x220);
  EXPECT_EQ(ComputeStubSize(data_last), std::nullopt);
}

struct PeSection {
  uint32_t raw_offset;
  uint32_t raw_size;
};

// A PE file with the given optional header size; the optional header's last
// 16 bytes are filled with 0xFF so that misplacing the section table shows.
std::string MakePe(uint16_t optional_header_size, const std::vector<PeSection>& sections,
                   size_t file_size) {
  constexpr size_t kPe = 0x80;
  std::string f(file_size, '\0');
  f.replace(0, 2, "MZ");
  Put(f, 0x3C, kPe, 4);
  f.replace(kPe, 4, std::string("PE\0\0", 4));
  Put(f, kPe + 4, optional_header_size == 240 ? 0x8664 : 0x14C, 2);
  Put(f, kPe + 6, sections.size(), 2);
  Put(f, kPe + 20, optional_header_size, 2);
  const size_t optional_end = kPe + 24 + optional_header_size;
  f.replace(optional_end - 16, 16, std::string(16, '\xFF'));
  for (size_t i = 0; i < sections.size(); ++i) {
    Put(f, optional_end + 40 * i + 16, sections[i].raw_size, 4);
    Put(f, optional_end + 40 * i + 20, sections[i].raw_offset, 4);
  }
  f.resize(file_size, '\0');
  return f;
}

TEST(StubSizeTest, PeEndIsTheLargestSectionEnd) {
  const std::vector<PeSection> sections = {{0x400, 0x1000}, {0x1400, 0x200}, {0, 0}};
  for (uint16_t optional_header_size : {uint16_t{224}, uint16_t{240}}) {
    const std::string image = MakePe(optional_header_size, sections, 0x1600);
    EXPECT_EQ(ComputeStubSize(image), 0x1600u) << optional_header_size;
    EXPECT_EQ(ComputeStubSize(image + "compiled script"), 0x1600u) << optional_header_size;
  }
  // Sections need not be in file order.
  EXPECT_EQ(ComputeStubSize(MakePe(224, {{0x1400, 0x200}, {0x400, 0x1000}}, 0x2000)), 0x1600u);
}

TEST(StubSizeTest, BadHeadersGiveNoResult) {
  const std::vector<PeSection> one = {{0x400, 0x200}};
  std::string bad_signature = MakePe(224, one, 0x600);
  bad_signature[0x81] = 'X';
  std::string lfanew_outside = MakePe(224, one, 0x600);
  Put(lfanew_outside, 0x3C, 0xFFFFFFF0u, 4);
  std::string many_sections = MakePe(224, one, 0x600);
  Put(many_sections, 0x86, 0xFFFF, 2);
  std::string huge_optional = MakePe(224, one, 0x600);
  Put(huge_optional, 0x80 + 20, 0xFFFF, 2);
  std::string elf_bad_class = MakeElf32(0x80, 0x40, 0xC0);
  elf_bad_class[4] = 3;
  std::string elf_small_entries = MakeElf32(0x80, 0x40, 0xC0);
  Put(elf_small_entries, 0x2E, 8, 2);
  std::string elf_table_outside = MakeElf32(0x80, 0x40, 0xC0);
  Put(elf_table_outside, 0x20, 0xFFFFFFFFu, 4);

  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"text", "#!/bin/sh\necho hello\n"},
      {"MZ only", "MZ"},
      {"no PE signature", bad_signature},
      {"PE header outside the file", lfanew_outside},
      {"section table outside the file", many_sections},
      {"optional header past the end", huge_optional},
      {"no sections", MakePe(224, {}, 0x600)},
      {"section beyond the file", MakePe(224, {{0x400, 0x1000}}, 0x600)},
      {"ELF magic only", "\x7F" "ELF"},
      {"ELF bad class", elf_bad_class},
      {"ELF short section entries", elf_small_entries},
      {"ELF section table outside the file", elf_table_outside},
  };
  for (const auto& [what, bytes] : cases) {
    EXPECT_EQ(ComputeStubSize(bytes), std::nullopt) << what;
  }
}

// A file system holding a few files in memory. Reads hand out at most 7
// bytes at a time, and a file named "C:\broken.exe" fails its reads after
// the first 16 bytes.
class MemoryFileSystem : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;

  platform::Win32Error Open(const std::string& path, platform::OpenMode, platform::ShareMode,
                            std::unique_ptr<platform::File>* file) override {
    auto it = files.find(path);
    if (it == files.end()) return platform::err::kFileNotFound;
    *file = std::make_unique<MemoryFile>(it->second, path == "C:\\broken.exe");
    return platform::err::kSuccess;
  }

#define KESTRAWL_UNUSED_CALL(signature) \
  platform::Win32Error signature override { return platform::err::kNotSupported; }
  KESTRAWL_UNUSED_CALL(GetEntry(const std::string&, platform::FileEntry*))
  KESTRAWL_UNUSED_CALL(SetAttributes(const std::string&, uint32_t))
  KESTRAWL_UNUSED_CALL(SetLastWriteTime(const std::string&, platform::FileTime))
  KESTRAWL_UNUSED_CALL(List(const std::string&, std::vector<platform::FileEntry>*))
  KESTRAWL_UNUSED_CALL(CreateFolder(const std::string&))
  KESTRAWL_UNUSED_CALL(CreateFolderTree(const std::string&))
  KESTRAWL_UNUSED_CALL(RemoveFolder(const std::string&))
  KESTRAWL_UNUSED_CALL(DeleteFile(const std::string&))
  KESTRAWL_UNUSED_CALL(MoveFile(const std::string&, const std::string&, uint32_t))
  KESTRAWL_UNUSED_CALL(CopyFile(const std::string&, const std::string&, bool,
                                const platform::CopyProgress&))
  KESTRAWL_UNUSED_CALL(CreateHardLink(const std::string&, const std::string&))
  KESTRAWL_UNUSED_CALL(GetLinkCount(const std::string&, uint32_t*))
  KESTRAWL_UNUSED_CALL(GetFullPath(const std::string&, std::string*))
  KESTRAWL_UNUSED_CALL(GetShortPath(const std::string&, std::string*))
  KESTRAWL_UNUSED_CALL(GetLongPath(const std::string&, std::string*))
  KESTRAWL_UNUSED_CALL(GetVolumeSpace(const std::string&, uint64_t*, uint64_t*))
#undef KESTRAWL_UNUSED_CALL
  platform::DriveType GetDriveType(const std::string&) override {
    return platform::DriveType::kFixed;
  }
  std::string LogicalDrives() override { return "C"; }

 private:
  class MemoryFile : public platform::File {
   public:
    MemoryFile(const std::string& data, bool broken) : data_(data), broken_(broken) {}
    platform::Win32Error Read(void* buffer, size_t size, size_t* read) override {
      if (broken_ && pos_ >= 16) return platform::err::kCantRead;
      *read = std::min({size, size_t{7}, data_.size() - std::min(pos_, data_.size())});
      if (*read > 0) std::memcpy(buffer, data_.data() + pos_, *read);
      pos_ += *read;
      return platform::err::kSuccess;
    }
    platform::Win32Error Write(const void*, size_t) override {
      return platform::err::kAccessDenied;
    }
    platform::Win32Error Seek(uint64_t offset) override {
      pos_ = offset;
      return platform::err::kSuccess;
    }
    platform::Win32Error Size(uint64_t* size) override {
      *size = data_.size();
      return platform::err::kSuccess;
    }

   private:
    const std::string& data_;
    bool broken_;
    size_t pos_ = 0;
  };
};

TEST(StubSizeTest, FileIsReadThroughThePlatform) {
  const std::string self = testing::ReadHostFile("/proc/self/exe");
  MemoryFileSystem fs;
  fs.files["C:\\setup.exe"] = self + "appended compiled script";
  fs.files["C:\\readme.txt"] = "not an image";
  fs.files["C:\\broken.exe"] = self;
  uint64_t size = 0;
  ASSERT_EQ(ComputeStubSizeOfFile(fs, "C:\\setup.exe", &size), platform::err::kSuccess);
  EXPECT_EQ(size, self.size());
  EXPECT_EQ(ComputeStubSizeOfFile(fs, "C:\\missing.exe", &size), platform::err::kFileNotFound);
  EXPECT_EQ(ComputeStubSizeOfFile(fs, "C:\\readme.txt", &size), platform::err::kBadExeFormat);
  EXPECT_EQ(ComputeStubSizeOfFile(fs, "C:\\broken.exe", &size), platform::err::kCantRead);
}

}  // namespace
}  // namespace kestrawl::bootstrap
