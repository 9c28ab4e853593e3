// Machine profiles: the facts a simulated Windows installation is made from,
// and the special folders and registry contents those facts imply.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/system.h"

namespace kestrawl::platform::sim {

struct Profile {
  std::string name;         // "win10", "win7-32", "server2019"
  std::string description;  // one line for `machine init --help` and `machine info`
  std::string product_name; // CurrentVersion\ProductName
  std::string edition_id;
  std::string current_version;  // "6.3" on Windows 10, "6.1" on Windows 7
  std::string release_id;       // "2009" or ""
  std::string csd_version;      // "Service Pack 1" or ""
  MachineFacts facts;
};

const std::vector<Profile>& Profiles();
// nullptr when no profile has that name (compared case-insensitively).
const Profile* FindProfile(const std::string& name);
inline constexpr const char* kDefaultProfile = "win10";

// Facts <-> the machine database's fact table.
std::map<std::string, std::string> FactsToMap(const MachineFacts& facts);
MachineFacts FactsFromMap(const std::map<std::string, std::string>& map);

// Special folders (CSIDL -> Windows path without trailing backslash) of a
// machine with these facts, as seen by the running process (a 32-bit process
// on a 64-bit system sees "C:\Program Files (x86)" as its program files).
std::map<int, std::string> SpecialFolderTable(const MachineFacts& facts);

// The user's profile folder ("C:\Users\<name>").
std::string UserProfileFolder(const MachineFacts& facts);

}  // namespace kestrawl::platform::sim
