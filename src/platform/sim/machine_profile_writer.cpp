#include "platform/sim/machine_profile_writer.h"

#include <sys/stat.h>

#include <stdexcept>

namespace kestrawl::platform::sim {

namespace {

class Writer {
 public:
  Writer(Registry& r) : r_(r) {}
  void Key(RegRoot root, const std::string& key, RegView view = RegView::k64) {
    Check(r_.CreateKey(root, key, view), key);
  }
  void Sz(RegRoot root, const std::string& key, const std::string& name, const std::string& value,
          RegView view = RegView::k64, uint32_t type = regtype::kSz) {
    Check(r_.WriteValue(root, key, name, view, RegValue::String(value, type)), key + "\\" + name);
  }
  void Dword(RegRoot root, const std::string& key, const std::string& name, uint32_t value,
             RegView view = RegView::k64) {
    Check(r_.WriteValue(root, key, name, view, RegValue::Dword(value)), key + "\\" + name);
  }

 private:
  static void Check(Win32Error e, const std::string& what) {
    if (e != err::kSuccess)
      throw std::runtime_error("cannot write registry " + what + ": " + SystemMessage(e));
  }
  Registry& r_;
};

constexpr RegRoot HKLM = RegRoot::kLocalMachine;
constexpr RegRoot HKCU = RegRoot::kCurrentUser;
constexpr RegRoot HKU = RegRoot::kUsers;

}  // namespace

void WriteProfile(const Profile& profile, const MachineFacts& f, Registry& registry, FileSystem& files) {
  Writer w(registry);
  const bool server = f.product_type != ProductType::kWorkstation;
  std::vector<RegView> views = {RegView::k64};
  if (f.os64) views.push_back(RegView::k32);

  // Version facts, present in both views on a 64-bit system.
  const std::string cv = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  for (RegView v : views) {
    w.Sz(HKLM, cv, "CurrentVersion", profile.current_version, v);
    w.Sz(HKLM, cv, "CurrentBuild", std::to_string(f.build), v);
    w.Sz(HKLM, cv, "CurrentBuildNumber", std::to_string(f.build), v);
    if (f.major >= 10) {
      w.Dword(HKLM, cv, "CurrentMajorVersionNumber", f.major, v);
      w.Dword(HKLM, cv, "CurrentMinorVersionNumber", f.minor, v);
    }
    w.Sz(HKLM, cv, "ProductName", profile.product_name, v);
    w.Sz(HKLM, cv, "EditionID", profile.edition_id, v);
    if (!profile.release_id.empty()) w.Sz(HKLM, cv, "ReleaseId", profile.release_id, v);
    if (!profile.csd_version.empty()) w.Sz(HKLM, cv, "CSDVersion", profile.csd_version, v);
    w.Sz(HKLM, cv, "InstallationType", server ? "Server" : "Client", v);
    w.Sz(HKLM, cv, "CurrentType", f.processors > 1 ? "Multiprocessor Free" : "Uniprocessor Free", v);
    w.Sz(HKLM, cv, "RegisteredOwner", f.user_name, v);
    w.Sz(HKLM, cv, "RegisteredOrganization", "", v);
    w.Sz(HKLM, cv, "SystemRoot", "C:\\Windows", v);
    w.Sz(HKLM, cv, "PathName", "C:\\Windows", v);
  }

  // Program files folders: the 32-bit view of a 64-bit system names the x86 ones.
  const std::string wcv = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  const std::string pf64 = "C:\\Program Files";
  const std::string pf86 = f.os64 ? "C:\\Program Files (x86)" : pf64;
  for (RegView v : views) {
    const bool x86_view = !f.os64 || v == RegView::k32;
    const std::string pf = x86_view ? pf86 : pf64;
    w.Sz(HKLM, wcv, "ProgramFilesDir", pf, v);
    w.Sz(HKLM, wcv, "CommonFilesDir", pf + "\\Common Files", v);
    if (f.os64) {
      w.Sz(HKLM, wcv, "ProgramFilesDir (x86)", pf86, v);
      w.Sz(HKLM, wcv, "CommonFilesDir (x86)", pf86 + "\\Common Files", v);
      w.Sz(HKLM, wcv, "ProgramW6432Dir", pf64, v);
      w.Sz(HKLM, wcv, "CommonW6432Dir", pf64 + "\\Common Files", v);
    }
    w.Sz(HKLM, wcv, "ProgramFilesPath", "%ProgramFiles%", v, regtype::kExpandSz);
    w.Sz(HKLM, wcv, "DevicePath", "%SystemRoot%\\inf", v, regtype::kExpandSz);
    w.Key(HKLM, wcv + "\\Uninstall", v);
    w.Key(HKLM, wcv + "\\Run", v);
    w.Key(HKLM, wcv + "\\RunOnce", v);
  }

  // Shell folders of the user and of all users.
  const auto folders = SpecialFolderTable(f);
  auto at = [&](int id) { return folders.at(id); };
  const std::string profile_dir = UserProfileFolder(f);
  auto user_relative = [&](const std::string& path) {
    if (path.compare(0, profile_dir.size(), profile_dir) == 0)
      return "%USERPROFILE%" + path.substr(profile_dir.size());
    return path;
  };
  const std::vector<std::pair<std::string, int>> user_folders = {
      {"AppData", csidl::kAppData},         {"Cache", csidl::kInternetCache},
      {"Cookies", csidl::kCookies},         {"Desktop", csidl::kDesktopDirectory},
      {"Favorites", csidl::kFavorites},     {"History", csidl::kHistory},
      {"Local AppData", csidl::kLocalAppData}, {"My Music", csidl::kMyMusic},
      {"My Pictures", csidl::kMyPictures},  {"My Video", csidl::kMyVideo},
      {"NetHood", csidl::kNetHood},         {"Personal", csidl::kPersonal},
      {"PrintHood", csidl::kPrintHood},     {"Programs", csidl::kPrograms},
      {"Recent", csidl::kRecent},           {"SendTo", csidl::kSendTo},
      {"Start Menu", csidl::kStartMenu},    {"Startup", csidl::kStartup},
      {"Templates", csidl::kTemplates},     {"Administrative Tools", csidl::kAdminTools},
      {"CD Burning", csidl::kCdBurnArea},   {"Fonts", csidl::kFonts},
  };
  const std::string sf = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const std::string usf = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  for (const auto& [name, id] : user_folders) {
    w.Sz(HKCU, sf, name, at(id));
    w.Sz(HKCU, usf, name, user_relative(at(id)), RegView::k64, regtype::kExpandSz);
  }
  const std::vector<std::pair<std::string, int>> common_folders = {
      {"Common AppData", csidl::kCommonAppData},       {"Common Desktop", csidl::kCommonDesktopDirectory},
      {"Common Documents", csidl::kCommonDocuments},   {"Common Programs", csidl::kCommonPrograms},
      {"Common Start Menu", csidl::kCommonStartMenu},  {"Common Startup", csidl::kCommonStartup},
      {"Common Templates", csidl::kCommonTemplates},   {"CommonMusic", csidl::kCommonMusic},
      {"CommonPictures", csidl::kCommonPictures},      {"CommonVideo", csidl::kCommonVideo},
      {"Common Administrative Tools", csidl::kCommonAdminTools},
  };
  for (const auto& [name, id] : common_folders) {
    w.Sz(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name, at(id));
    w.Sz(HKLM, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", name, at(id),
         RegView::k64, regtype::kExpandSz);
  }

  // Environment: machine-wide and the user's own.
  const std::string env = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  w.Sz(HKLM, env, "ComSpec", "%SystemRoot%\\system32\\cmd.exe", RegView::k64, regtype::kExpandSz);
  w.Sz(HKLM, env, "OS", "Windows_NT");
  w.Sz(HKLM, env, "Path",
       "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem;"
       "%SYSTEMROOT%\\System32\\WindowsPowerShell\\v1.0\\",
       RegView::k64, regtype::kExpandSz);
  w.Sz(HKLM, env, "PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC");
  w.Sz(HKLM, env, "PROCESSOR_ARCHITECTURE", f.os64 ? "AMD64" : "x86");
  w.Sz(HKLM, env, "NUMBER_OF_PROCESSORS", std::to_string(f.processors));
  w.Sz(HKLM, env, "TEMP", "%SystemRoot%\\TEMP", RegView::k64, regtype::kExpandSz);
  w.Sz(HKLM, env, "TMP", "%SystemRoot%\\TEMP", RegView::k64, regtype::kExpandSz);
  w.Sz(HKLM, env, "windir", "%SystemRoot%", RegView::k64, regtype::kExpandSz);
  const std::string user_temp = f.major >= 6 ? "%USERPROFILE%\\AppData\\Local\\Temp"
                                             : "%USERPROFILE%\\Local Settings\\Temp";
  w.Sz(HKCU, "Environment", "TEMP", user_temp, RegView::k64, regtype::kExpandSz);
  w.Sz(HKCU, "Environment", "TMP", user_temp, RegView::k64, regtype::kExpandSz);

  // Identity of the machine and the user.
  w.Sz(HKLM, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
       f.computer_name);
  w.Sz(HKLM, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName",
       f.computer_name);
  w.Sz(HKLM, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", "ProductType",
       f.product_type == ProductType::kWorkstation ? "WinNT"
       : f.product_type == ProductType::kServer    ? "ServerNT"
                                                   : "LanmanNT");
  w.Key(HKLM, "SYSTEM\\CurrentControlSet\\Services");
  w.Key(HKLM, "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current");
  w.Sz(HKLM, cv + "\\ProfileList\\" + f.user_sid, "ProfileImagePath", profile_dir, RegView::k64,
       regtype::kExpandSz);
  w.Key(HKU, ".DEFAULT");
  w.Key(HKLM, "SOFTWARE\\Classes");

  // Locale and formats.
  char lcid[16];
  snprintf(lcid, sizeof lcid, "%04X", f.system_lcid);
  w.Sz(HKLM, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", "Default", lcid);
  w.Sz(HKLM, "SYSTEM\\CurrentControlSet\\Control\\Nls\\Language", "InstallLanguage", lcid);
  snprintf(lcid, sizeof lcid, "%08X", f.user_lcid);
  w.Sz(HKCU, "Control Panel\\International", "Locale", lcid);
  w.Sz(HKCU, "Control Panel\\International", "LocaleName", "en-US");
  w.Sz(HKCU, "Control Panel\\International", "sShortDate", f.short_date_format);
  w.Sz(HKCU, "Control Panel\\International", "sTimeFormat", f.long_time_format);
  w.Sz(HKLM, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "ProcessorNameString",
       "Simulated Processor");
  w.Sz(HKLM, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier",
       f.os64 ? "Intel64 Family 6 Model 158 Stepping 10" : "x86 Family 6 Model 158 Stepping 10");

  // Folders on C:.
  std::vector<std::string> dirs = {"C:\\Windows\\System32", "C:\\Windows\\Temp", "C:\\Windows\\Fonts",
                                   "C:\\Windows\\inf", "C:\\Windows\\Logs", pf64 + "\\Common Files",
                                   profile_dir + (f.major >= 6 ? "\\AppData\\Local\\Temp"
                                                               : "\\Local Settings\\Temp")};
  if (f.os64) {
    dirs.push_back("C:\\Windows\\SysWOW64");
    dirs.push_back(pf86 + "\\Common Files");
  }
  for (const auto& [id, path] : folders) dirs.push_back(path);
  for (const auto& d : dirs) {
    Win32Error e = files.CreateFolderTree(d);
    if (e != err::kSuccess) throw std::runtime_error("cannot create " + d + ": " + SystemMessage(e));
  }
}

std::string Regsvr32Program() {
  return R"SH(#!/bin/sh
# regsvr32.exe of the simulated machine: registers nothing, appends one line
# per call to C:\Windows\Logs\regsvr32.log with the arguments it was given.
if [ -n "$KESTRAWL_MACHINE" ]; then
  logs="$KESTRAWL_MACHINE/dosdevices/c:/Windows/Logs"
else
  logs="$(dirname "$0")/../Logs"
fi
line=""
named=0
for arg in "$@"; do
  case "$arg" in
    /*|-*) item="$arg" ;;
    *) item="\"$arg\""; named=1 ;;
  esac
  line="${line:+$line }$item"
done
mkdir -p "$logs" 2>/dev/null
printf '%s\r\n' "$line" >> "$logs/regsvr32.log" || exit 5
[ "$named" = 1 ] || exit 1
exit 0
)SH";
}

void WriteSystemPrograms(const MachineFacts& f, SimFileSystem& files) {
  std::vector<std::string> folders = {"C:\\Windows\\System32"};
  if (f.os64) folders.push_back("C:\\Windows\\SysWOW64");
  for (const auto& folder : folders) {
    const std::string path = folder + "\\regsvr32.exe";
    Win32Error e = files.CreateFolderTree(folder);
    if (e == err::kSuccess) e = files.WriteWholeFile(path, Regsvr32Program());
    if (e != err::kSuccess) throw std::runtime_error("cannot write " + path + ": " + SystemMessage(e));
    std::string host;
    if (files.ResolveHostPath(path, &host) != err::kSuccess || chmod(host.c_str(), 0755) != 0)
      throw std::runtime_error("cannot make " + path + " runnable");
  }
}

}  // namespace kestrawl::platform::sim
