// Shell link writer and reader. Layout written:
//   header (76 bytes)
//   link target ID list  (drive targets: My Computer, the drive, one
//                         file-system item per path component)
//   link info            (drive targets: volume ID + local base path, ANSI
//                         and UTF-16; UNC targets: network share + suffix)
//   string data          (counted UTF-16LE: description, relative path,
//                         working folder, arguments, icon location)
//   extra data           (just the terminal block)
// A target that is neither a drive path nor a UNC path is stored as the
// relative path, which the shell resolves against the link's own folder.
// The header keeps only the low 32 bits of the target size.
#include "base/shell_link.h"

#include <array>
#include <cstring>
#include <vector>

#include "base/utf.h"

namespace kestrawl::base {

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr std::array<uint8_t, 16> kLinkClsid = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, the "This PC" folder.
constexpr std::array<uint8_t, 16> kMyComputerClsid = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A,
                                                      0x69, 0x10, 0xA2, 0xD8, 0x08, 0x00,
                                                      0x2B, 0x30, 0x30, 0x9D};

namespace flag {
constexpr uint32_t kHasIdList = 0x1;
constexpr uint32_t kHasLinkInfo = 0x2;
constexpr uint32_t kHasName = 0x4;
constexpr uint32_t kHasRelativePath = 0x8;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;
}  // namespace flag

constexpr uint32_t kVolumeIdAndLocalBasePath = 0x1;
constexpr uint32_t kCommonNetworkRelativeLink = 0x2;
constexpr uint32_t kLinkInfoHeaderUnicode = 0x24;  // header with the UTF-16 path offsets
constexpr uint32_t kLinkInfoHeaderAnsi = 0x1C;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kWnncNetLanman = 0x00020000;

// ---- writing ----

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}
void Patch16(std::string& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
void Patch32(std::string& out, size_t at, uint32_t v) {
  Patch16(out, at, static_cast<uint16_t>(v));
  Patch16(out, at + 2, static_cast<uint16_t>(v >> 16));
}
void PutBytes(std::string& out, const std::array<uint8_t, 16>& bytes) {
  out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
void PutUtf16z(std::string& out, std::u16string_view text) {
  for (char16_t c : text) Put16(out, c);
  Put16(out, 0);
}
// The ANSI form of a path: characters outside ASCII become '?', as a
// conversion to a code page without them would.
std::string Ansi(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// FILETIME -> FAT date (low 16 bits) and time (high 16 bits); 0 outside
// the FAT range (1980-2107).
uint32_t FatDateTime(uint64_t filetime) {
  constexpr uint64_t kTicksPerSecond = 10000000;
  constexpr int64_t kUnixEpochSeconds = 11644473600LL;  // 1601 -> 1970
  if (filetime == 0) return 0;
  int64_t secs = static_cast<int64_t>(filetime / kTicksPerSecond) - kUnixEpochSeconds;
  int64_t days = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  int64_t rem = secs - days * 86400;
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1980 || year > 2107) return 0;
  uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  uint32_t time = static_cast<uint32_t>(((rem / 3600) << 11) | (((rem / 60) % 60) << 5) |
                                        ((rem % 60) / 2));
  return date | (time << 16);
}

bool IsDrivePath(std::u16string_view path) {
  return path.size() >= 3 && ((path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z') &&
         path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
}
bool IsUncPath(std::u16string_view path) {
  return path.size() > 2 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'\\';
}

std::vector<std::u16string> SplitComponents(std::u16string_view rest) {
  std::vector<std::u16string> parts;
  std::u16string current;
  for (char16_t c : rest) {
    if (c == u'\\' || c == u'/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// The 8.3 alias a shell item shows as its primary name: the name itself
// when it already is a plain upper-case-free 8.3 ASCII name, else a
// generated "BASENA~1.EXT". The long name (in the extension block) is what
// the shell resolves by; this one is informative.
std::string ShortAlias(std::u16string_view name) {
  auto legal = [](char16_t c) {
    return c > 0x20 && c < 0x7F &&
           std::u16string_view(u"\"*+,/:;<=>?[\\]|. ").find(c) == std::u16string_view::npos;
  };
  size_t dot = name.rfind(u'.');
  std::u16string_view base = dot == std::u16string_view::npos ? name : name.substr(0, dot);
  std::u16string_view ext = dot == std::u16string_view::npos ? u"" : name.substr(dot + 1);
  bool plain = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
               (dot == std::u16string_view::npos || !ext.empty());
  for (char16_t c : base) plain = plain && legal(c);
  for (char16_t c : ext) plain = plain && legal(c);
  if (plain) return Ansi(name);
  auto squeeze = [&](std::u16string_view part, size_t limit) {
    std::string out;
    for (char16_t c : part) {
      if (out.size() == limit) break;
      if (!legal(c)) continue;
      out += static_cast<char>(c >= u'a' && c <= u'z' ? c - 0x20 : c);
    }
    return out;
  };
  std::string alias = squeeze(base, 6);
  if (alias.empty()) alias.push_back('_');
  // Characters one by one: g++ 12 at -O2 mistakes appending a literal to
  // this string for an overlapping copy (-Wrestrict).
  alias.push_back('~');
  alias.push_back('1');
  const std::string short_ext = squeeze(ext, 3);
  if (!short_ext.empty()) {
    alias.push_back('.');
    alias.append(short_ext);
  }
  return alias;
}

// One file-system shell item: header, primary (8.3) name, and the
// 0xBEEF0004 extension block carrying the long UTF-16 name.
std::string FileItem(std::u16string_view name, bool folder, uint32_t size, uint32_t fat_time,
                     uint32_t attributes) {
  std::string item;
  Put16(item, 0);  // size, patched below
  item += static_cast<char>(folder ? 0x31 : 0x32);
  item += '\0';
  Put32(item, folder ? 0 : size);
  Put32(item, fat_time);
  Put16(item, static_cast<uint16_t>(attributes));
  item += ShortAlias(name);
  item += '\0';
  if (item.size() % 2) item += '\0';
  size_t block = item.size();
  Put16(item, 0);           // block size, patched below
  Put16(item, 9);           // block version
  Put32(item, 0xBEEF0004);  // block signature
  Put32(item, fat_time);    // created
  Put32(item, fat_time);    // last accessed
  Put16(item, 0x2E);        // writer identifier
  Put16(item, 0);
  Put64(item, 0);           // file reference (unknown here)
  Put64(item, 0);
  Put16(item, 0);           // no localized name
  Put32(item, 0);
  Put32(item, 0);
  PutUtf16z(item, name);
  Put16(item, static_cast<uint16_t>(block));  // offset of this block in the item
  Patch16(item, block, static_cast<uint16_t>(item.size() - block));
  Patch16(item, 0, static_cast<uint16_t>(item.size()));
  return item;
}

std::string IdList(std::u16string_view target, const ShellLink& link) {
  std::string list;
  // My Computer.
  Put16(list, 0x14);
  list += '\x1F';
  list += '\x50';
  PutBytes(list, kMyComputerClsid);
  // The drive: "C:\" in a 22-byte field.
  Put16(list, 0x19);
  list += '\x2F';
  std::string drive = {static_cast<char>(target[0] & ~0x20), ':', '\\'};
  drive.resize(22, '\0');
  list += drive;
  auto parts = SplitComponents(target.substr(3));
  uint32_t fat_time = FatDateTime(link.target_write_time);
  for (size_t i = 0; i < parts.size(); ++i) {
    bool last = i + 1 == parts.size();
    bool folder = !last || (link.target_attributes & 0x10) != 0;
    list += FileItem(parts[i], folder, static_cast<uint32_t>(link.target_size),
                     last ? fat_time : 0, last ? link.target_attributes : 0x10);
  }
  Put16(list, 0);  // terminal item
  std::string out;
  Put16(out, static_cast<uint16_t>(list.size()));
  return out + list;
}

std::string LocalLinkInfo(std::u16string_view target) {
  std::string volume;
  Put32(volume, 0x11);  // size: fields + empty label
  Put32(volume, kDriveFixed);
  Put32(volume, 0);     // serial number (unknown)
  Put32(volume, 0x10);  // label offset
  volume += '\0';

  std::string info(kLinkInfoHeaderUnicode, '\0');
  uint32_t volume_at = static_cast<uint32_t>(info.size());
  info += volume;
  uint32_t base_at = static_cast<uint32_t>(info.size());
  info += Ansi(target);
  info += '\0';
  uint32_t suffix_at = static_cast<uint32_t>(info.size());
  info += '\0';
  if (info.size() % 2) info += '\0';
  uint32_t base_w_at = static_cast<uint32_t>(info.size());
  PutUtf16z(info, target);
  uint32_t suffix_w_at = static_cast<uint32_t>(info.size());
  Put16(info, 0);
  Patch32(info, 0, static_cast<uint32_t>(info.size()));
  Patch32(info, 4, kLinkInfoHeaderUnicode);
  Patch32(info, 8, kVolumeIdAndLocalBasePath);
  Patch32(info, 12, volume_at);
  Patch32(info, 16, base_at);
  Patch32(info, 20, 0);
  Patch32(info, 24, suffix_at);
  Patch32(info, 28, base_w_at);
  Patch32(info, 32, suffix_w_at);
  return info;
}

// "\\server\share\rest": the share in a network link, the rest as suffix.
std::string NetworkLinkInfo(std::u16string_view target) {
  size_t server_end = target.find(u'\\', 2);
  size_t share_end = server_end == std::u16string_view::npos
                         ? std::u16string_view::npos
                         : target.find(u'\\', server_end + 1);
  std::u16string_view share = target.substr(0, share_end);
  std::u16string_view suffix =
      share_end == std::u16string_view::npos ? u"" : target.substr(share_end + 1);

  std::string net;
  Put32(net, 0);           // size, patched below
  Put32(net, 0x2);         // the provider type is valid
  Put32(net, 0x1C);        // net name offset (> 0x14: UTF-16 offsets follow)
  Put32(net, 0);           // no device name
  Put32(net, kWnncNetLanman);
  Put32(net, 0);           // UTF-16 net name offset, patched below
  Put32(net, 0);           // no UTF-16 device name
  net += Ansi(share);
  net += '\0';
  if (net.size() % 2) net += '\0';
  Patch32(net, 20, static_cast<uint32_t>(net.size()));
  PutUtf16z(net, share);
  Patch32(net, 0, static_cast<uint32_t>(net.size()));

  std::string info(kLinkInfoHeaderUnicode, '\0');
  uint32_t net_at = static_cast<uint32_t>(info.size());
  info += net;
  uint32_t suffix_at = static_cast<uint32_t>(info.size());
  info += Ansi(suffix);
  info += '\0';
  if (info.size() % 2) info += '\0';
  uint32_t suffix_w_at = static_cast<uint32_t>(info.size());
  PutUtf16z(info, suffix);
  Patch32(info, 0, static_cast<uint32_t>(info.size()));
  Patch32(info, 4, kLinkInfoHeaderUnicode);
  Patch32(info, 8, kCommonNetworkRelativeLink);
  Patch32(info, 20, net_at);
  Patch32(info, 24, suffix_at);
  Patch32(info, 32, suffix_w_at);
  return info;
}

// A counted string; the count field is 16 bits, so longer texts are cut
// (never inside a surrogate pair).
void PutCounted(std::string& out, std::u16string text) {
  if (text.size() > 0xFFFF) {
    text.resize(0xFFFF);
    if (text.back() >= 0xD800 && text.back() < 0xDC00) text.pop_back();
  }
  Put16(out, static_cast<uint16_t>(text.size()));
  for (char16_t c : text) Put16(out, c);
}

// ---- reading ----

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  size_t pos() const { return pos_; }
  bool Has(size_t n) const { return n <= bytes_.size() - pos_; }
  bool Skip(size_t n) {
    if (!Has(n)) return false;
    pos_ += n;
    return true;
  }
  bool U16(uint16_t* v) {
    if (!Has(2)) return false;
    *v = At16(bytes_, pos_);
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (!Has(4)) return false;
    *v = At32(bytes_, pos_);
    pos_ += 4;
    return true;
  }
  bool U64(uint64_t* v) {
    uint32_t lo, hi;
    if (!U32(&lo) || !U32(&hi)) return false;
    *v = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
  }
  bool Take(size_t n, std::string_view* out) {
    if (!Has(n)) return false;
    *out = bytes_.substr(pos_, n);
    pos_ += n;
    return true;
  }

  static uint16_t At16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) |
                                 (static_cast<uint8_t>(b[at + 1]) << 8));
  }
  static uint32_t At32(std::string_view b, size_t at) {
    return At16(b, at) | (static_cast<uint32_t>(At16(b, at + 2)) << 16);
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

// Single-byte strings of the link are in the system's code page; without
// knowing it, bytes above ASCII are read as Latin-1.
std::string Latin1ToUtf8(std::string_view bytes) {
  std::u16string wide;
  for (char c : bytes) wide += static_cast<char16_t>(static_cast<uint8_t>(c));
  return Utf16ToUtf8(wide);
}

// A NUL-terminated string at `at` inside `block`; nullopt when it runs off.
std::optional<std::string> AnsiAt(std::string_view block, size_t at) {
  if (at >= block.size()) return std::nullopt;
  size_t end = block.find('\0', at);
  if (end == std::string_view::npos) return std::nullopt;
  return Latin1ToUtf8(block.substr(at, end - at));
}
std::optional<std::string> WideAt(std::string_view block, size_t at) {
  std::u16string text;
  for (size_t i = at;; i += 2) {
    if (i + 2 > block.size() || i < at) return std::nullopt;
    char16_t c = Reader::At16(block, i);
    if (c == 0) break;
    text += c;
  }
  return Utf16ToUtf8(text);
}

bool SkipIdList(Reader& in) {
  uint16_t size;
  std::string_view list;
  if (!in.U16(&size) || !in.Take(size, &list)) return false;
  // Items must tile the list exactly up to the terminal item.
  size_t at = 0;
  for (;;) {
    if (at + 2 > list.size()) return false;
    uint16_t item = Reader::At16(list, at);
    if (item == 0) return at + 2 == list.size();
    if (item < 2 || item > list.size() - at) return false;
    at += item;
  }
}

// The target the link info names, or nullopt when the block is malformed.
// Offsets inside the block are checked against the block's own size.
std::optional<std::string> ReadLinkInfo(Reader& in) {
  Reader peek = in;
  uint32_t size;
  std::string_view info;
  if (!peek.U32(&size) || size < kLinkInfoHeaderAnsi || !in.Take(size, &info)) return std::nullopt;
  uint32_t header = Reader::At32(info, 4);
  uint32_t flags = Reader::At32(info, 8);
  uint32_t base_at = Reader::At32(info, 16);
  uint32_t net_at = Reader::At32(info, 20);
  uint32_t suffix_at = Reader::At32(info, 24);
  if (header < kLinkInfoHeaderAnsi || header > size) return std::nullopt;
  bool wide = header >= kLinkInfoHeaderUnicode;

  std::optional<std::string> suffix;
  if (wide && Reader::At32(info, 32) != 0) {
    suffix = WideAt(info, Reader::At32(info, 32));
  } else {
    suffix = AnsiAt(info, suffix_at);
  }
  if (!suffix) return std::nullopt;

  if (flags & kVolumeIdAndLocalBasePath) {
    std::optional<std::string> base;
    if (wide && Reader::At32(info, 28) != 0) {
      base = WideAt(info, Reader::At32(info, 28));
    } else {
      base = AnsiAt(info, base_at);
    }
    if (!base) return std::nullopt;
    return *base + *suffix;
  }
  if (flags & kCommonNetworkRelativeLink) {
    if (net_at >= size || size - net_at < 0x14) return std::nullopt;
    std::string_view net = info.substr(net_at);
    uint32_t net_size = Reader::At32(net, 0);
    if (net_size < 0x14 || net_size > net.size()) return std::nullopt;
    net = net.substr(0, net_size);
    uint32_t name_at = Reader::At32(net, 8);
    std::optional<std::string> name;
    if (name_at > 0x14 && net_size >= 0x1C && Reader::At32(net, 20) != 0) {
      name = WideAt(net, Reader::At32(net, 20));
    } else {
      name = AnsiAt(net, name_at);
    }
    if (!name) return std::nullopt;
    return suffix->empty() ? *name : *name + "\\" + *suffix;
  }
  return std::string();
}

bool ReadCounted(Reader& in, bool unicode, std::string* text) {
  uint16_t count;
  std::string_view raw;
  if (!in.U16(&count) || !in.Take(unicode ? count * size_t{2} : count, &raw)) return false;
  if (!unicode) {
    *text = Latin1ToUtf8(raw);
    return true;
  }
  std::u16string wide(count, u'\0');
  for (size_t i = 0; i < count; ++i) wide[i] = Reader::At16(raw, 2 * i);
  *text = Utf16ToUtf8(wide);
  return true;
}

// Extra data blocks: each starts with its size; one below 4 ends the list.
bool SkipExtraData(Reader& in) {
  for (;;) {
    uint32_t size;
    if (!in.U32(&size)) return false;
    if (size < 4) return true;
    if (size < 8 || !in.Skip(size - 4)) return false;
  }
}

}  // namespace

std::string EncodeShellLink(const ShellLink& link) {
  std::u16string target = Utf8ToUtf16(link.target);
  bool drive = IsDrivePath(target);
  bool unc = !drive && IsUncPath(target);

  uint32_t flags = flag::kIsUnicode;
  if (drive) flags |= flag::kHasIdList;
  if (drive || unc) flags |= flag::kHasLinkInfo;
  if (!link.description.empty()) flags |= flag::kHasName;
  if (!drive && !unc && !target.empty()) flags |= flag::kHasRelativePath;
  if (!link.working_folder.empty()) flags |= flag::kHasWorkingDir;
  if (!link.arguments.empty()) flags |= flag::kHasArguments;
  if (!link.icon_file.empty()) flags |= flag::kHasIconLocation;

  std::string out;
  Put32(out, kHeaderSize);
  PutBytes(out, kLinkClsid);
  Put32(out, flags);
  Put32(out, link.target_attributes);
  Put64(out, 0);                       // creation time (unknown)
  Put64(out, 0);                       // access time (unknown)
  Put64(out, link.target_write_time);  // write time
  Put32(out, static_cast<uint32_t>(link.target_size));
  Put32(out, static_cast<uint32_t>(link.icon_index));
  Put32(out, link.show_command);
  Put16(out, 0);  // no hot key
  Put16(out, 0);
  Put32(out, 0);
  Put32(out, 0);

  if (drive) out += IdList(target, link);
  if (drive) out += LocalLinkInfo(target);
  if (unc) out += NetworkLinkInfo(target);

  if (flags & flag::kHasName) PutCounted(out, Utf8ToUtf16(link.description));
  if (flags & flag::kHasRelativePath) PutCounted(out, target);
  if (flags & flag::kHasWorkingDir) PutCounted(out, Utf8ToUtf16(link.working_folder));
  if (flags & flag::kHasArguments) PutCounted(out, Utf8ToUtf16(link.arguments));
  if (flags & flag::kHasIconLocation) PutCounted(out, Utf8ToUtf16(link.icon_file));
  Put32(out, 0);  // terminal extra data block
  return out;
}

std::optional<ShellLink> DecodeShellLink(std::string_view bytes) {
  Reader in(bytes);
  uint32_t header_size, flags;
  std::string_view clsid;
  if (!in.U32(&header_size) || header_size != kHeaderSize) return std::nullopt;
  if (!in.Take(16, &clsid) || std::memcmp(clsid.data(), kLinkClsid.data(), 16) != 0) {
    return std::nullopt;
  }
  ShellLink link;
  uint64_t created, accessed;
  uint32_t size, icon_index;
  if (!in.U32(&flags) || !in.U32(&link.target_attributes) || !in.U64(&created) ||
      !in.U64(&accessed) || !in.U64(&link.target_write_time) || !in.U32(&size) ||
      !in.U32(&icon_index) || !in.U32(&link.show_command) || !in.Skip(12)) {
    return std::nullopt;
  }
  link.target_size = size;
  link.icon_index = static_cast<int32_t>(icon_index);

  if ((flags & flag::kHasIdList) && !SkipIdList(in)) return std::nullopt;
  if (flags & flag::kHasLinkInfo) {
    std::optional<std::string> target = ReadLinkInfo(in);
    if (!target) return std::nullopt;
    link.target = *target;
  }
  bool unicode = (flags & flag::kIsUnicode) != 0;
  std::string relative;
  if ((flags & flag::kHasName) && !ReadCounted(in, unicode, &link.description)) return std::nullopt;
  if ((flags & flag::kHasRelativePath) && !ReadCounted(in, unicode, &relative)) return std::nullopt;
  if ((flags & flag::kHasWorkingDir) && !ReadCounted(in, unicode, &link.working_folder)) {
    return std::nullopt;
  }
  if ((flags & flag::kHasArguments) && !ReadCounted(in, unicode, &link.arguments)) {
    return std::nullopt;
  }
  if ((flags & flag::kHasIconLocation) && !ReadCounted(in, unicode, &link.icon_file)) {
    return std::nullopt;
  }
  if (!SkipExtraData(in)) return std::nullopt;
  if (link.target.empty()) link.target = relative;
  return link;
}

}  // namespace kestrawl::base
