#include "bootstrap/stub_size.h"

#include <algorithm>
#include <memory>

namespace kestrawl::bootstrap {
namespace {

using platform::Win32Error;
namespace err = platform::err;

// Random access to the bytes of an executable file.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // `count` bytes at `offset`; false when the range is not inside the file
  // or the read fails.
  virtual bool Read(uint64_t offset, uint64_t count, std::string* out) = 0;

 protected:
  bool Inside(uint64_t offset, uint64_t count) const {
    return offset <= size() && count <= size() - offset;
  }
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  bool Read(uint64_t offset, uint64_t count, std::string* out) override {
    if (!Inside(offset, count)) return false;
    out->assign(bytes_.substr(offset, count));
    return true;
  }

 private:
  std::string_view bytes_;
};

class FileSource : public ByteSource {
 public:
  FileSource(platform::File& file, uint64_t size) : file_(file), size_(size) {}
  uint64_t size() const override { return size_; }
  bool Read(uint64_t offset, uint64_t count, std::string* out) override {
    if (!Inside(offset, count)) return false;
    out->assign(count, '\0');
    if (Win32Error e = file_.Seek(offset); e != err::kSuccess) return Fail(e);
    uint64_t done = 0;
    while (done < count) {
      size_t got = 0;
      if (Win32Error e = file_.Read(out->data() + done, count - done, &got); e != err::kSuccess) {
        return Fail(e);
      }
      if (got == 0) return Fail(err::kHandleEof);
      done += got;
    }
    return true;
  }
  // The platform error of the first failed read, 0 when none failed.
  Win32Error error() const { return error_; }

 private:
  bool Fail(Win32Error e) {
    if (error_ == err::kSuccess) error_ = e;
    return false;
  }
  platform::File& file_;
  uint64_t size_;
  Win32Error error_ = err::kSuccess;
};

// Unsigned fields of either byte order inside a header that was read whole.
class Fields {
 public:
  Fields(std::string_view bytes, bool big_endian) : bytes_(bytes), big_endian_(big_endian) {}
  uint64_t Get(size_t offset, size_t width) const {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      size_t at = big_endian_ ? offset + i : offset + width - 1 - i;
      value = (value << 8) | static_cast<unsigned char>(bytes_[at]);
    }
    return value;
  }

 private:
  std::string_view bytes_;
  bool big_endian_;
};

// Raises *end to offset + length when that range lies inside the file.
bool Extend(const ByteSource& source, uint64_t offset, uint64_t length, uint64_t* end) {
  if (offset > source.size() || length > source.size() - offset) return false;
  *end = std::max(*end, offset + length);
  return true;
}

// Reads a table of `count` entries of `entry_size` bytes at `offset`.
bool ReadTable(ByteSource& source, uint64_t offset, uint64_t count, uint64_t entry_size,
               std::string* table) {
  if (entry_size != 0 && count > source.size() / entry_size) return false;
  return source.Read(offset, count * entry_size, table);
}

// Offsets of the fields that differ between the 32-bit and 64-bit layouts.
struct ElfLayout {
  size_t header_size, word;
  size_t phoff, shoff, phentsize, phnum, shentsize, shnum;
  size_t ph_size, p_offset, p_filesz;
  size_t sh_size_min, sh_type, sh_offset, sh_size, sh_info;
};
constexpr ElfLayout kElf32{52, 4, 0x1C, 0x20, 0x2A, 0x2C, 0x2E, 0x30,
                           32, 4, 16, 40, 4, 16, 20, 28};
constexpr ElfLayout kElf64{64, 8, 0x20, 0x28, 0x36, 0x38, 0x3A, 0x3C,
                           56, 8, 32, 64, 4, 24, 32, 44};

constexpr uint32_t kShtNull = 0;
constexpr uint32_t kShtNobits = 8;
constexpr uint32_t kPtNull = 0;
constexpr uint64_t kPnXnum = 0xFFFF;

std::optional<uint64_t> ElfEnd(ByteSource& source, std::string_view ident) {
  const unsigned char elf_class = static_cast<unsigned char>(ident[4]);
  const unsigned char elf_data = static_cast<unsigned char>(ident[5]);
  if ((elf_class != 1 && elf_class != 2) || (elf_data != 1 && elf_data != 2)) return std::nullopt;
  const ElfLayout& l = elf_class == 2 ? kElf64 : kElf32;
  std::string header;
  if (!source.Read(0, l.header_size, &header)) return std::nullopt;
  const Fields h(header, elf_data == 2);
  uint64_t end = l.header_size;

  const uint64_t phoff = h.Get(l.phoff, l.word);
  const uint64_t shoff = h.Get(l.shoff, l.word);
  const uint64_t phentsize = h.Get(l.phentsize, 2);
  const uint64_t shentsize = h.Get(l.shentsize, 2);
  uint64_t phnum = h.Get(l.phnum, 2);
  uint64_t shnum = h.Get(l.shnum, 2);

  std::string sections;
  if (shoff != 0) {
    if (shentsize < l.sh_size_min) return std::nullopt;
    // With many sections or segments the real counts live in section 0.
    if (shnum == 0 || phnum == kPnXnum) {
      std::string first;
      if (!source.Read(shoff, shentsize, &first)) return std::nullopt;
      const Fields s(first, elf_data == 2);
      if (shnum == 0) shnum = s.Get(l.sh_size, l.word);
      if (phnum == kPnXnum) phnum = s.Get(l.sh_info, 4);
    }
    if (!ReadTable(source, shoff, shnum, shentsize, &sections)) return std::nullopt;
    end = std::max(end, shoff + sections.size());
    for (uint64_t i = 0; i < shnum; ++i) {
      const Fields s(std::string_view(sections).substr(i * shentsize, shentsize), elf_data == 2);
      const uint64_t type = s.Get(l.sh_type, 4);
      if (type == kShtNull || type == kShtNobits) continue;
      if (!Extend(source, s.Get(l.sh_offset, l.word), s.Get(l.sh_size, l.word), &end)) {
        return std::nullopt;
      }
    }
  }

  if (phnum != 0) {
    if (phoff == 0 || phentsize < l.ph_size) return std::nullopt;
    std::string segments;
    if (!ReadTable(source, phoff, phnum, phentsize, &segments)) return std::nullopt;
    end = std::max(end, phoff + segments.size());
    for (uint64_t i = 0; i < phnum; ++i) {
      const Fields p(std::string_view(segments).substr(i * phentsize, phentsize), elf_data == 2);
      if (p.Get(0, 4) == kPtNull) continue;
      if (!Extend(source, p.Get(l.p_offset, l.word), p.Get(l.p_filesz, l.word), &end)) {
        return std::nullopt;
      }
    }
  }
  return end;
}

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kPeNewHeaderOffset = 0x3C;
constexpr size_t kPeSignatureAndFileHeader = 24;
constexpr size_t kPeSectionHeaderSize = 40;

std::optional<uint64_t> PeEnd(ByteSource& source) {
  std::string dos;
  if (!source.Read(0, kDosHeaderSize, &dos)) return std::nullopt;
  const uint64_t pe_offset = Fields(dos, false).Get(kPeNewHeaderOffset, 4);
  std::string pe;
  if (!source.Read(pe_offset, kPeSignatureAndFileHeader, &pe)) return std::nullopt;
  if (pe.compare(0, 4, std::string_view("PE\0\0", 4)) != 0) return std::nullopt;
  const Fields f(pe, false);
  const uint64_t section_count = f.Get(6, 2);
  // The optional header's size is stated in the file header: 224 bytes for a
  // 32-bit image, 240 for a 64-bit one.
  const uint64_t optional_header_size = f.Get(20, 2);
  if (section_count == 0) return std::nullopt;
  const uint64_t table_offset = pe_offset + kPeSignatureAndFileHeader + optional_header_size;
  std::string table;
  if (!ReadTable(source, table_offset, section_count, kPeSectionHeaderSize, &table)) {
    return std::nullopt;
  }
  uint64_t end = table_offset + table.size();
  for (uint64_t i = 0; i < section_count; ++i) {
    const Fields s(std::string_view(table).substr(i * kPeSectionHeaderSize), false);
    const uint64_t raw_size = s.Get(16, 4);
    const uint64_t raw_offset = s.Get(20, 4);
    if (!Extend(source, raw_offset, raw_size, &end)) return std::nullopt;
  }
  return end;
}

std::optional<uint64_t> ImageEnd(ByteSource& source) {
  std::string magic;
  if (!source.Read(0, std::min<uint64_t>(source.size(), 16), &magic)) return std::nullopt;
  if (magic.size() == 16 && magic.starts_with("\x7F" "ELF")) return ElfEnd(source, magic);
  if (magic.starts_with("MZ")) return PeEnd(source);
  return std::nullopt;
}

}  // namespace

std::optional<uint64_t> ComputeStubSize(std::string_view file) {
  MemorySource source(file);
  return ImageEnd(source);
}

Win32Error ComputeStubSizeOfFile(platform::FileSystem& file_system, const std::string& path,
                                 uint64_t* size) {
  std::unique_ptr<platform::File> file;
  Win32Error error =
      file_system.Open(path, platform::OpenMode::kRead, platform::ShareMode::kShared, &file);
  if (error != err::kSuccess) return error;
  uint64_t file_size = 0;
  error = file->Size(&file_size);
  if (error != err::kSuccess) return error;
  FileSource source(*file, file_size);
  std::optional<uint64_t> end = ImageEnd(source);
  if (source.error() != err::kSuccess) return source.error();
  if (!end) return err::kBadExeFormat;
  *size = *end;
  return err::kSuccess;
}

}  // namespace kestrawl::bootstrap
