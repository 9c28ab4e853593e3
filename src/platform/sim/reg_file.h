// Registry files (.reg): export of a key tree in the text format of the
// Windows registry editor ("Windows Registry Editor Version 5.00"), and
// import of such files (also "REGEDIT4" files).
//
// Export writes a header line, then one "[ROOT\key]" section per key in
// depth-first order with sub-keys sorted, each followed by its values in
// their order and a blank line; hex data is wrapped at 80 columns with ",\"
// and two blanks of indentation; lines end with CR LF. The text is UTF-8;
// EncodeRegFileUtf16 gives the bytes the registry editor writes to disk.
//
// Import reads the whole file before it changes anything: a malformed line
// rejects the file with "line N: <reason>" and nothing is written. On the
// simulated registry the whole import is one transaction.
#pragma once

#include <string>

#include "platform/registry.h"

namespace kestrawl::platform::sim {

inline constexpr char kRegFileHeader[] = "Windows Registry Editor Version 5.00";

// The tree below root\subkey (subkey "" = the whole root) as .reg text.
// When the key cannot be read, returns "" and sets *error (when given).
std::string ExportReg(Registry& reg, RegRoot root, const std::string& subkey, RegView view,
                      Win32Error* error = nullptr);
// Every stored root (HKEY_LOCAL_MACHINE, then HKEY_USERS) in one file.
std::string ExportAllReg(Registry& reg, RegView view, Win32Error* error = nullptr);

// The tree of a key written as text ("HKLM\\Software\\X"; "" = every stored
// root). On failure returns false and sets *error to a sentence.
bool ExportRegText(Registry& reg, const std::string& key_path, std::string* text,
                   std::string* error, RegView view = RegView::k64);

// UTF-16LE with a byte order mark, as the registry editor saves files.
std::string EncodeRegFile(const std::string& utf8_text);

// Applies a .reg file (UTF-16LE with BOM, or UTF-8 with or without BOM) in
// the given view. On failure returns false, sets *error and changes nothing.
bool ImportReg(Registry& reg, const std::string& file_bytes, std::string* error,
               RegView view = RegView::k64);

}  // namespace kestrawl::platform::sim
