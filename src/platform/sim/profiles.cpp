#include "platform/sim/profiles.h"

#include "base/text.h"

namespace kestrawl::platform::sim {

namespace {

MachineFacts BaseFacts() {
  MachineFacts f;
  f.computer_name = "KESTRAWL-PC";
  f.user_name = "User";
  f.user_sid = "S-1-5-21-3623811015-3361044348-30300820-1001";
  f.domain = "KESTRAWL-PC";
  f.physical_memory = 8ull << 30;
  f.processors = 4;
  f.architecture = "x64";
  f.short_date_format = "M/d/yyyy";
  f.long_time_format = "h:mm:ss tt";
  return f;
}

std::vector<Profile> MakeProfiles() {
  std::vector<Profile> out;
  {
    Profile p;
    p.name = "win10";
    p.description = "64-bit Windows 10 Pro 22H2 workstation (10.0.19045), English (United States)";
    p.product_name = "Windows 10 Pro";
    p.edition_id = "Professional";
    p.current_version = "6.3";
    p.release_id = "2009";
    p.facts = BaseFacts();
    p.facts.profile = p.name;
    out.push_back(p);
  }
  {
    Profile p;
    p.name = "win7-32";
    p.description = "32-bit Windows 7 Professional SP1 workstation (6.1.7601), English (United States)";
    p.product_name = "Windows 7 Professional";
    p.edition_id = "Professional";
    p.current_version = "6.1";
    p.csd_version = "Service Pack 1";
    MachineFacts f = BaseFacts();
    f.major = 6;
    f.minor = 1;
    f.build = 7601;
    f.service_pack = "Service Pack 1";
    f.sp_major = 1;
    f.os64 = false;
    f.process32 = true;
    f.architecture = "x86";
    f.physical_memory = 3ull << 30;
    f.processors = 2;
    f.screen_width = 1366;
    f.screen_height = 768;
    f.computer_name = "WIN7-PC";
    f.domain = "WIN7-PC";
    f.user_sid = "S-1-5-21-1004336348-1177238915-682003330-1000";
    f.profile = p.name;
    p.facts = f;
    out.push_back(p);
  }
  {
    Profile p;
    p.name = "server2019";
    p.description = "64-bit Windows Server 2019 Standard (10.0.17763), English (United States)";
    p.product_name = "Windows Server 2019 Standard";
    p.edition_id = "ServerStandard";
    p.current_version = "6.3";
    p.release_id = "1809";
    MachineFacts f = BaseFacts();
    f.build = 17763;
    f.product_type = ProductType::kServer;
    f.physical_memory = 16ull << 30;
    f.processors = 8;
    f.computer_name = "KESTRAWL-SRV";
    f.domain = "KESTRAWL-SRV";
    f.user_name = "Administrator";
    f.user_sid = "S-1-5-21-2127521184-1604012920-1887927527-500";
    f.profile = p.name;
    p.facts = f;
    out.push_back(p);
  }
  return out;
}

}  // namespace

const std::vector<Profile>& Profiles() {
  static const std::vector<Profile> profiles = MakeProfiles();
  return profiles;
}

const Profile* FindProfile(const std::string& name) {
  for (const auto& p : Profiles())
    if (base::EqualsNoCase(p.name, name)) return &p;
  return nullptr;
}

std::map<std::string, std::string> FactsToMap(const MachineFacts& f) {
  auto b = [](bool v) { return std::string(v ? "1" : "0"); };
  return {
      {"profile", f.profile},
      {"os.nt", b(f.nt)},
      {"os.major", std::to_string(f.major)},
      {"os.minor", std::to_string(f.minor)},
      {"os.build", std::to_string(f.build)},
      {"os.service_pack", f.service_pack},
      {"os.sp_major", std::to_string(f.sp_major)},
      {"os.sp_minor", std::to_string(f.sp_minor)},
      {"os.product_type", std::to_string(static_cast<uint32_t>(f.product_type))},
      {"os.64bit", b(f.os64)},
      {"process.32bit", b(f.process32)},
      {"computer.name", f.computer_name},
      {"user.name", f.user_name},
      {"user.sid", f.user_sid},
      {"user.domain", f.domain},
      {"user.administrator", b(f.administrator)},
      {"user.elevated", b(f.elevated)},
      {"locale.user", std::to_string(f.user_lcid)},
      {"locale.system", std::to_string(f.system_lcid)},
      {"screen.width", std::to_string(f.screen_width)},
      {"screen.height", std::to_string(f.screen_height)},
      {"screen.depth", std::to_string(f.color_depth)},
      {"hardware.memory", std::to_string(f.physical_memory)},
      {"hardware.processors", std::to_string(f.processors)},
      {"hardware.architecture", f.architecture},
      {"format.short_date", f.short_date_format},
      {"format.long_time", f.long_time_format},
  };
}

MachineFacts FactsFromMap(const std::map<std::string, std::string>& m) {
  MachineFacts f;
  auto text = [&](const char* k, std::string& out) {
    auto it = m.find(k);
    if (it != m.end()) out = it->second;
  };
  auto num = [&](const char* k, auto& out) {
    auto it = m.find(k);
    if (it == m.end()) return;
    try {
      out = static_cast<std::remove_reference_t<decltype(out)>>(std::stoull(it->second));
    } catch (...) {
    }
  };
  auto flag = [&](const char* k, bool& out) {
    auto it = m.find(k);
    if (it != m.end()) out = it->second == "1";
  };
  text("profile", f.profile);
  flag("os.nt", f.nt);
  num("os.major", f.major);
  num("os.minor", f.minor);
  num("os.build", f.build);
  text("os.service_pack", f.service_pack);
  num("os.sp_major", f.sp_major);
  num("os.sp_minor", f.sp_minor);
  uint32_t pt = 1;
  num("os.product_type", pt);
  f.product_type = static_cast<ProductType>(pt);
  flag("os.64bit", f.os64);
  flag("process.32bit", f.process32);
  text("computer.name", f.computer_name);
  text("user.name", f.user_name);
  text("user.sid", f.user_sid);
  text("user.domain", f.domain);
  flag("user.administrator", f.administrator);
  flag("user.elevated", f.elevated);
  num("locale.user", f.user_lcid);
  num("locale.system", f.system_lcid);
  num("screen.width", f.screen_width);
  num("screen.height", f.screen_height);
  num("screen.depth", f.color_depth);
  num("hardware.memory", f.physical_memory);
  num("hardware.processors", f.processors);
  text("hardware.architecture", f.architecture);
  text("format.short_date", f.short_date_format);
  text("format.long_time", f.long_time_format);
  return f;
}

std::string UserProfileFolder(const MachineFacts& f) {
  if (f.major >= 6) return "C:\\Users\\" + f.user_name;
  return "C:\\Documents and Settings\\" + f.user_name;
}

std::map<int, std::string> SpecialFolderTable(const MachineFacts& f) {
  const std::string win = "C:\\Windows";
  const std::string prof = UserProfileFolder(f);
  const bool vista = f.major >= 6;
  const std::string pf64 = "C:\\Program Files";
  const std::string pf86 = f.os64 ? "C:\\Program Files (x86)" : pf64;
  const std::string pf = f.process32 ? pf86 : pf64;
  const std::string appdata = vista ? prof + "\\AppData\\Roaming" : prof + "\\Application Data";
  const std::string local = vista ? prof + "\\AppData\\Local" : prof + "\\Local Settings\\Application Data";
  const std::string common = vista ? "C:\\ProgramData" : "C:\\Documents and Settings\\All Users";
  const std::string common_appdata = vista ? common : common + "\\Application Data";
  const std::string public_root = vista ? "C:\\Users\\Public" : common;
  const std::string start = appdata + "\\Microsoft\\Windows\\Start Menu";
  const std::string common_start = common + "\\Microsoft\\Windows\\Start Menu";
  const std::string sys = f.os64 && f.process32 ? win + "\\SysWOW64" : win + "\\System32";
  return {
      {csidl::kDesktop, prof + "\\Desktop"},
      {csidl::kDesktopDirectory, prof + "\\Desktop"},
      {csidl::kPrograms, start + "\\Programs"},
      {csidl::kPersonal, prof + "\\Documents"},
      {csidl::kFavorites, prof + "\\Favorites"},
      {csidl::kStartup, start + "\\Programs\\Startup"},
      {csidl::kRecent, appdata + "\\Microsoft\\Windows\\Recent"},
      {csidl::kSendTo, appdata + "\\Microsoft\\Windows\\SendTo"},
      {csidl::kStartMenu, start},
      {csidl::kMyMusic, prof + "\\Music"},
      {csidl::kMyVideo, prof + "\\Videos"},
      {csidl::kNetHood, appdata + "\\Microsoft\\Windows\\Network Shortcuts"},
      {csidl::kFonts, win + "\\Fonts"},
      {csidl::kTemplates, appdata + "\\Microsoft\\Windows\\Templates"},
      {csidl::kCommonStartMenu, common_start},
      {csidl::kCommonPrograms, common_start + "\\Programs"},
      {csidl::kCommonStartup, common_start + "\\Programs\\Startup"},
      {csidl::kCommonDesktopDirectory, public_root + "\\Desktop"},
      {csidl::kAppData, appdata},
      {csidl::kPrintHood, appdata + "\\Microsoft\\Windows\\Printer Shortcuts"},
      {csidl::kLocalAppData, local},
      {csidl::kCommonFavorites, prof + "\\Favorites"},
      {csidl::kInternetCache, local + "\\Microsoft\\Windows\\INetCache"},
      {csidl::kCookies, local + "\\Microsoft\\Windows\\INetCookies"},
      {csidl::kHistory, local + "\\Microsoft\\Windows\\History"},
      {csidl::kCommonAppData, common_appdata},
      {csidl::kWindows, win},
      {csidl::kSystem, sys},
      {csidl::kProgramFiles, pf},
      {csidl::kMyPictures, prof + "\\Pictures"},
      {csidl::kProfile, prof},
      {csidl::kSystemX86, f.os64 ? win + "\\SysWOW64" : win + "\\System32"},
      {csidl::kProgramFilesX86, pf86},
      {csidl::kProgramFilesCommon, pf + "\\Common Files"},
      {csidl::kProgramFilesCommonX86, pf86 + "\\Common Files"},
      {csidl::kCommonTemplates, common + "\\Microsoft\\Windows\\Templates"},
      {csidl::kCommonDocuments, public_root + "\\Documents"},
      {csidl::kCommonAdminTools, common_start + "\\Programs\\Administrative Tools"},
      {csidl::kAdminTools, start + "\\Programs\\Administrative Tools"},
      {csidl::kCommonMusic, public_root + "\\Music"},
      {csidl::kCommonPictures, public_root + "\\Pictures"},
      {csidl::kCommonVideo, public_root + "\\Videos"},
      {csidl::kResources, win + "\\resources"},
      {csidl::kCdBurnArea, local + "\\Microsoft\\Windows\\Burn\\Burn"},
  };
}

}  // namespace kestrawl::platform::sim
