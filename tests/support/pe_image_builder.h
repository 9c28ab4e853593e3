// Small PE images for tests: a resource-only DLL (PE32 or PE32+) with one
// section. With a version resource the section is ".rsrc" holding a full
// resource directory tree (type 16, name 1, language 0x409) whose data is a
// VS_VERSIONINFO block (fixed file info with the given file and product
// version, plus a VarFileInfo translation); without one the section is a
// ".text" of zeros and the resource data directory is empty.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrawl::testing {

std::string BuildPeImage(std::array<uint16_t, 4> version, bool pe64,
                         bool with_version_resource = true);

// File offsets of the parts of a built image, for tests that damage one.
struct PeImageLayout {
  size_t pe_signature;     // "PE\0\0" (e_lfanew points here)
  size_t optional_header;  // its magic (0x10B / 0x20B)
  size_t resource_dir;     // data directory entry 2 (RVA, size)
  size_t section_table;    // the single section header
  size_t section_data;     // raw data of the section
  // Inside a version resource (offsets from the file start):
  size_t root_entry;       // root directory's entry (id 16, subdirectory offset)
  size_t language_entry;   // language directory's entry (id, data entry offset)
  size_t data_entry;       // IMAGE_RESOURCE_DATA_ENTRY (RVA, size)
  size_t version_info;     // VS_VERSIONINFO (wLength first)
  size_t fixed_info;       // VS_FIXEDFILEINFO (signature first)
  size_t size;             // total image size
};
PeImageLayout LayoutOfPeImage(bool pe64);

}  // namespace kestrawl::testing
