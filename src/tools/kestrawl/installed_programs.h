// The machine's Add/Remove Programs entries: the sub-keys of
// SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall under HKEY_LOCAL_MACHINE
// (both registry views on a 64-bit machine) and HKEY_CURRENT_USER (one view:
// Windows shares that key between them). An entry is listed when it has a
// non-empty DisplayName and is not hidden (SystemComponent = 1); the list is
// sorted by name, case-insensitively. Registry read failures leave entries
// out; nothing here throws.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrawl::tools {

struct InstalledProgram {
  std::string name;       // DisplayName
  std::string version;    // DisplayVersion ("" when absent)
  std::string publisher;  // Publisher ("" when absent)
  std::string uninstall;  // UninstallString as stored ("" when absent)
  bool uninstall_expand = false;  // UninstallString is REG_EXPAND_SZ (holds %NAME% references)
  std::string key;        // full key path as Windows names it, e.g.
                          // "HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\...\Uninstall\App"
  std::string scope;      // "machine" (HKEY_LOCAL_MACHINE) or "user" (HKEY_CURRENT_USER)
};

std::vector<InstalledProgram> ListInstalledPrograms(platform::Platform& machine);

// The entries whose name equals `name` ignoring case, or, when none does,
// the entry whose key equals it ignoring case.
std::vector<const InstalledProgram*> FindPrograms(const std::vector<InstalledProgram>& programs,
                                                  const std::string& name);

// Names of the entries that look like `name` (small edit distance or one
// containing the other, ignoring case), closest first, at most `limit`.
std::vector<std::string> CloseProgramNames(const std::vector<InstalledProgram>& programs,
                                           const std::string& name, size_t limit = 5);

}  // namespace kestrawl::tools
