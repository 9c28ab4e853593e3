// PE image walk to the fixed file version:
//   MZ header -> e_lfanew -> "PE\0\0" -> COFF header -> optional header
//   (PE32 0x10B or PE32+ 0x20B) -> data directory 2 (resources) -> section
//   table (RVA to file offset) -> resource directory: type 16 (RT_VERSION),
//   its first name, that name's first language -> data entry ->
//   VS_VERSIONINFO -> VS_FIXEDFILEINFO (signature 0xFEEF04BD).
// The walk reads through a small source interface so that a file is read
// piece by piece (only the headers, a few directory entries and the first
// bytes of the version block), never whole. Every read is bounds-checked;
// whatever does not fit gives version 0.0.0.0.
#include "platform/file_version.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kestrawl::platform {

namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe64Magic = 0x20B;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kMaxSections = 96;  // the loader's own limit
constexpr uint32_t kSubdirectoryBit = 0x80000000;

// Reads `size` bytes at `offset`; false when they are not all there.
class Source {
 public:
  virtual ~Source() = default;
  virtual bool ReadAt(uint64_t offset, size_t size, std::string* out) = 0;
};

class BytesSource : public Source {
 public:
  explicit BytesSource(std::string_view bytes) : bytes_(bytes) {}
  bool ReadAt(uint64_t offset, size_t size, std::string* out) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    out->assign(bytes_.substr(offset, size));
    return true;
  }

 private:
  std::string_view bytes_;
};

class FileSource : public Source {
 public:
  explicit FileSource(File& file) : file_(file) {
    if (file_.Size(&size_) != err::kSuccess) size_ = 0;
  }
  bool ReadAt(uint64_t offset, size_t size, std::string* out) override {
    if (offset > size_ || size > size_ - offset) return false;
    if (file_.Seek(offset) != err::kSuccess) return false;
    out->assign(size, '\0');
    size_t done = 0;
    while (done < size) {
      size_t got = 0;
      if (file_.Read(out->data() + done, size - done, &got) != err::kSuccess || got == 0) {
        return false;
      }
      done += got;
    }
    return true;
  }

 private:
  File& file_;
  uint64_t size_ = 0;
};

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) |
                               (static_cast<uint8_t>(b[at + 1]) << 8));
}
uint32_t Le32(const std::string& b, size_t at) {
  return Le16(b, at) | (static_cast<uint32_t>(Le16(b, at + 2)) << 16);
}

struct Section {
  uint32_t virtual_address;
  uint32_t virtual_size;
  uint32_t raw_size;
  uint32_t raw_offset;
};

struct Headers {
  uint16_t magic = 0;
  uint32_t resource_rva = 0;
  uint32_t resource_size = 0;
  std::vector<Section> sections;
};

// The headers up to the section table; nullopt when not a PE image.
std::optional<Headers> ReadHeaders(Source& in, bool with_sections) {
  std::string b;
  if (!in.ReadAt(0, 64, &b) || b[0] != 'M' || b[1] != 'Z') return std::nullopt;
  uint32_t pe = Le32(b, 0x3C);
  // Signature (4) + COFF header (20) + optional header magic (2).
  if (!in.ReadAt(pe, 26, &b) || b.compare(0, 4, std::string("PE\0\0", 4)) != 0) {
    return std::nullopt;
  }
  Headers h;
  uint16_t section_count = Le16(b, 6);
  uint16_t optional_size = Le16(b, 20);
  h.magic = Le16(b, 24);
  if (h.magic != kPe32Magic && h.magic != kPe64Magic) return std::nullopt;
  if (!with_sections) return h;

  // Where the data directories start, and their count field.
  size_t count_at = h.magic == kPe64Magic ? 108 : 92;
  size_t dirs_at = count_at + 4;
  uint64_t optional_at = uint64_t{pe} + 24;
  if (optional_size < dirs_at || !in.ReadAt(optional_at, optional_size, &b)) return std::nullopt;
  uint32_t dir_count = Le32(b, count_at);
  size_t resource_at = dirs_at + 8 * kResourceDirectory;
  if (dir_count > kResourceDirectory && resource_at + 8 <= optional_size) {
    h.resource_rva = Le32(b, resource_at);
    h.resource_size = Le32(b, resource_at + 4);
  }
  if (section_count > kMaxSections) return std::nullopt;
  if (!in.ReadAt(optional_at + optional_size, size_t{40} * section_count, &b)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < section_count; ++i) {
    size_t at = 40 * i;
    h.sections.push_back({Le32(b, at + 12), Le32(b, at + 8), Le32(b, at + 16), Le32(b, at + 20)});
  }
  return h;
}

// The file offset of `size` bytes at `rva`, when they lie in one section's
// raw data.
std::optional<uint64_t> MapRva(const Headers& h, uint32_t rva, uint32_t size) {
  for (const Section& s : h.sections) {
    if (rva < s.virtual_address) continue;
    uint64_t delta = rva - s.virtual_address;
    uint64_t extent = s.virtual_size ? std::min(s.virtual_size, s.raw_size) : s.raw_size;
    if (delta < extent && size <= extent - delta) return s.raw_offset + delta;
  }
  return std::nullopt;
}

// One resource directory level: the offset (from the resource section's
// start) of the entry chosen, and whether it is another directory.
struct Entry {
  uint32_t offset;
  bool subdirectory;
};

// Reads the directory at `dir` (relative to the resource root) and picks
// the entry with `id`, or the first entry when id is nullopt.
std::optional<Entry> PickEntry(Source& in, const Headers& h, uint32_t dir,
                               std::optional<uint32_t> id) {
  uint64_t root = h.resource_rva;
  if (root + dir > 0xFFFFFFF0) return std::nullopt;
  std::optional<uint64_t> at = MapRva(h, static_cast<uint32_t>(root + dir), 16);
  std::string b;
  if (!at || !in.ReadAt(*at, 16, &b)) return std::nullopt;
  uint32_t named = Le16(b, 12);
  uint32_t ids = Le16(b, 14);
  uint32_t count = named + ids;
  if (count == 0) return std::nullopt;
  // Named entries come first, then the numbered ones in ascending order.
  uint32_t first = id ? named : 0;
  uint32_t last = id ? count : 1;
  uint64_t entries_rva = root + dir + 16;
  for (uint32_t i = first; i < last; ++i) {
    uint64_t rva = entries_rva + 8 * uint64_t{i};
    if (rva > 0xFFFFFFF0) return std::nullopt;
    at = MapRva(h, static_cast<uint32_t>(rva), 8);
    if (!at || !in.ReadAt(*at, 8, &b)) return std::nullopt;
    uint32_t name = Le32(b, 0);
    uint32_t target = Le32(b, 4);
    if (!id || name == *id) {
      return Entry{target & ~kSubdirectoryBit, (target & kSubdirectoryBit) != 0};
    }
  }
  return std::nullopt;
}

FileVersion ParseVersion(Source& in) {
  std::optional<Headers> h = ReadHeaders(in, true);
  if (!h || h->resource_rva == 0) return {};
  // Type, name, language: two directories, then the data entry.
  std::optional<Entry> type = PickEntry(in, *h, 0, kRtVersion);
  if (!type || !type->subdirectory) return {};
  std::optional<Entry> name = PickEntry(in, *h, type->offset, std::nullopt);
  if (!name || !name->subdirectory) return {};
  std::optional<Entry> language = PickEntry(in, *h, name->offset, std::nullopt);
  if (!language || language->subdirectory) return {};

  std::string b;
  uint64_t data_entry_rva = uint64_t{h->resource_rva} + language->offset;
  if (data_entry_rva > 0xFFFFFFFF) return {};
  std::optional<uint64_t> at = MapRva(*h, static_cast<uint32_t>(data_entry_rva), 16);
  if (!at || !in.ReadAt(*at, 16, &b)) return {};
  uint32_t data_rva = Le32(b, 0);
  uint32_t data_size = Le32(b, 4);

  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO\0",
  // padding to a 4-byte boundary (offset 40), then VS_FIXEDFILEINFO.
  constexpr uint32_t kFixedAt = 40;
  constexpr uint32_t kNeeded = kFixedAt + 16;  // through dwFileVersionLS
  if (data_size < kNeeded) return {};
  at = MapRva(*h, data_rva, kNeeded);
  if (!at || !in.ReadAt(*at, kNeeded, &b)) return {};
  uint16_t length = Le16(b, 0);
  uint16_t value_length = Le16(b, 2);
  if (length < kNeeded || length > data_size || value_length < 52) return {};
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  for (size_t i = 0; i < 16; ++i) {
    if (Le16(b, 6 + 2 * i) != static_cast<uint16_t>(kKey[i])) return {};
  }
  if (Le32(b, kFixedAt) != kFixedInfoSignature) return {};
  uint32_t ms = Le32(b, kFixedAt + 8);
  uint32_t ls = Le32(b, kFixedAt + 12);
  FileVersion v;
  v.parts = {static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms),
             static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls)};
  return v;
}

bool IsPe64(Source& in) {
  std::optional<Headers> h = ReadHeaders(in, false);
  return h && h->magic == kPe64Magic;
}

}  // namespace

std::string FileVersion::ToString() const {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

FileVersion ParseFileVersion(std::string_view image) {
  BytesSource in(image);
  return ParseVersion(in);
}

bool IsPe64(std::string_view image) {
  BytesSource in(image);
  return IsPe64(in);
}

FileVersion ReadFileVersion(FileSystem& files, const std::string& path) {
  std::unique_ptr<File> file;
  if (files.Open(path, OpenMode::kRead, ShareMode::kShared, &file) != err::kSuccess) return {};
  FileSource in(*file);
  return ParseVersion(in);
}

bool IsPe64File(FileSystem& files, const std::string& path) {
  std::unique_ptr<File> file;
  if (files.Open(path, OpenMode::kRead, ShareMode::kShared, &file) != err::kSuccess) return false;
  FileSource in(*file);
  return IsPe64(in);
}

}  // namespace kestrawl::platform
