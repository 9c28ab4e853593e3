#include "support/pe_image_builder.h"

namespace kestrawl::testing {

namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kSectionRva = 0x1000;
constexpr size_t kPeAt = 0x80;

// Offsets inside the .rsrc section.
constexpr size_t kRootDir = 0x00;
constexpr size_t kNameDir = 0x18;
constexpr size_t kLanguageDir = 0x30;
constexpr size_t kDataEntry = 0x48;
constexpr size_t kVersionInfo = 0x58;

void Put16(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& b, size_t at, uint64_t v) {
  Put32(b, at, static_cast<uint32_t>(v));
  Put32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
// A UTF-16 key with its NUL; returns the offset after it.
size_t PutKey(std::string& b, size_t at, std::u16string_view key) {
  for (char16_t c : key) {
    Put16(b, at, c);
    at += 2;
  }
  Put16(b, at, 0);
  return at + 2;
}
size_t Align4(size_t at) { return (at + 3) & ~size_t{3}; }

// One directory with a single numbered entry.
void PutDirectory(std::string& b, size_t at, uint32_t id, uint32_t target) {
  Put16(b, at + 14, 1);  // one id entry, no named ones
  Put32(b, at + 16, id);
  Put32(b, at + 20, target);
}

// VS_VERSIONINFO with VS_FIXEDFILEINFO and a VarFileInfo translation.
std::string VersionInfo(std::array<uint16_t, 4> v) {
  std::string b(160, '\0');
  Put16(b, 2, 52);  // wValueLength: the fixed info
  size_t at = Align4(PutKey(b, 6, u"VS_VERSION_INFO"));
  uint32_t ms = (uint32_t{v[0]} << 16) | v[1];
  uint32_t ls = (uint32_t{v[2]} << 16) | v[3];
  Put32(b, at + 0, 0xFEEF04BD);
  Put32(b, at + 4, 0x00010000);  // structure version
  Put32(b, at + 8, ms);          // file version
  Put32(b, at + 12, ls);
  Put32(b, at + 16, ms);         // product version
  Put32(b, at + 20, ls);
  Put32(b, at + 24, 0x3F);       // flags mask
  Put32(b, at + 32, 0x00040004); // NT, Win32
  Put32(b, at + 36, 2);          // a DLL
  at += 52;
  // VarFileInfo { Var "Translation" = 0x0409, 1200 }.
  size_t var_file_info = at;
  Put16(b, at + 4, 1);
  at = Align4(PutKey(b, at + 6, u"VarFileInfo"));
  size_t var = at;
  Put16(b, at + 2, 4);
  at = Align4(PutKey(b, at + 6, u"Translation"));
  Put16(b, at, 0x0409);
  Put16(b, at + 2, 1200);
  at += 4;
  Put16(b, var, static_cast<uint16_t>(at - var));
  Put16(b, var_file_info, static_cast<uint16_t>(at - var_file_info));
  Put16(b, 0, static_cast<uint16_t>(at));
  b.resize(at);
  return b;
}

}  // namespace

PeImageLayout LayoutOfPeImage(bool pe64) {
  PeImageLayout l{};
  l.pe_signature = kPeAt;
  l.optional_header = kPeAt + 24;
  l.resource_dir = l.optional_header + (pe64 ? 112 : 96) + 8 * 2;
  l.section_table = l.optional_header + (pe64 ? 240 : 224);
  l.section_data = kFileAlignment;
  l.root_entry = l.section_data + kRootDir + 16;
  l.language_entry = l.section_data + kLanguageDir + 16;
  l.data_entry = l.section_data + kDataEntry;
  l.version_info = l.section_data + kVersionInfo;
  l.fixed_info = l.version_info + 40;
  l.size = 2 * kFileAlignment;
  return l;
}

std::string BuildPeImage(std::array<uint16_t, 4> version, bool pe64, bool with_version_resource) {
  const PeImageLayout l = LayoutOfPeImage(pe64);
  std::string image(l.size, '\0');

  // DOS header: the signature and e_lfanew.
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeAt);

  // PE signature and COFF header.
  image.replace(kPeAt, 4, std::string("PE\0\0", 4));
  const size_t coff = kPeAt + 4;
  Put16(image, coff + 0, pe64 ? 0x8664 : 0x014C);  // machine
  Put16(image, coff + 2, 1);                       // one section
  Put16(image, coff + 16, pe64 ? 240 : 224);       // optional header size
  Put16(image, coff + 18, pe64 ? 0x2022 : 0x2102); // DLL, executable

  // Optional header.
  const size_t opt = l.optional_header;
  Put16(image, opt + 0, pe64 ? 0x20B : 0x10B);
  image[opt + 2] = 14;                             // linker version
  Put32(image, opt + 8, kFileAlignment);           // initialized data
  if (pe64) {
    Put64(image, opt + 24, 0x180000000ULL);        // image base
  } else {
    Put32(image, opt + 28, 0x10000000);
  }
  Put32(image, opt + 32, kSectionAlignment);
  Put32(image, opt + 36, kFileAlignment);
  Put16(image, opt + 40, 6);                       // OS version 6.0
  Put16(image, opt + 48, 6);                       // subsystem version 6.0
  Put32(image, opt + 56, 2 * kSectionAlignment);   // image size
  Put32(image, opt + 60, kFileAlignment);          // header size
  Put16(image, opt + 68, 2);                       // GUI subsystem
  Put16(image, opt + 70, 0x0140);                  // dynamic base, NX compatible
  const size_t sizes = opt + 72;
  if (pe64) {
    Put64(image, sizes + 0, 0x100000);
    Put64(image, sizes + 8, 0x1000);
    Put64(image, sizes + 16, 0x100000);
    Put64(image, sizes + 24, 0x1000);
    Put32(image, opt + 108, 16);                   // data directory count
  } else {
    Put32(image, sizes + 0, 0x100000);
    Put32(image, sizes + 4, 0x1000);
    Put32(image, sizes + 8, 0x100000);
    Put32(image, sizes + 12, 0x1000);
    Put32(image, opt + 92, 16);
  }

  // The section's contents.
  std::string data;
  if (with_version_resource) {
    std::string info = VersionInfo(version);
    data.assign(kVersionInfo + info.size(), '\0');
    PutDirectory(data, kRootDir, 16, 0x80000000 | kNameDir);      // RT_VERSION
    PutDirectory(data, kNameDir, 1, 0x80000000 | kLanguageDir);   // VS_VERSION_INFO id 1
    PutDirectory(data, kLanguageDir, 0x0409, kDataEntry);
    Put32(data, kDataEntry + 0, kSectionRva + kVersionInfo);
    Put32(data, kDataEntry + 4, static_cast<uint32_t>(info.size()));
    data.replace(kVersionInfo, info.size(), info);
    Put32(image, l.resource_dir, kSectionRva);
    Put32(image, l.resource_dir + 4, static_cast<uint32_t>(data.size()));
  } else {
    data.assign(16, '\0');
  }
  image.replace(l.section_data, data.size(), data);

  // Section header.
  const size_t sec = l.section_table;
  image.replace(sec, 8, std::string(with_version_resource ? ".rsrc\0\0\0" : ".text\0\0\0", 8));
  Put32(image, sec + 8, static_cast<uint32_t>(data.size()));  // virtual size
  Put32(image, sec + 12, kSectionRva);
  Put32(image, sec + 16, kFileAlignment);                     // raw size
  Put32(image, sec + 20, static_cast<uint32_t>(l.section_data));
  Put32(image, sec + 36, with_version_resource ? 0x40000040 : 0x60000020);
  return image;
}

}  // namespace kestrawl::testing
