// Facts about the machine and the running process: version, user, locale,
// screen, hardware, special folders, environment and time.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/errors.h"

namespace kestrawl::platform {

enum class ProductType : uint32_t { kWorkstation = 1, kDomainController = 2, kServer = 3 };

struct MachineFacts {
  bool nt = true;                 // false for the 9x family
  uint32_t major = 10, minor = 0, build = 19045;
  std::string service_pack;       // "Service Pack 1" or ""
  uint32_t sp_major = 0, sp_minor = 0;
  ProductType product_type = ProductType::kWorkstation;
  bool os64 = true;               // 64-bit Windows
  bool process32 = true;          // the engine runs as a 32-bit process (WOW64 on a 64-bit OS)
  std::string computer_name;
  std::string user_name;
  std::string user_sid;
  std::string domain;
  bool administrator = true;      // member of Administrators
  bool elevated = true;           // the process holds an elevated token
  uint32_t user_lcid = 1033, system_lcid = 1033;
  uint32_t screen_width = 1920, screen_height = 1080, color_depth = 32;
  uint64_t physical_memory = 0;   // bytes
  uint32_t processors = 0;
  std::string architecture;       // "x64", "x86"
  std::string short_date_format;  // "M/d/yyyy"
  std::string long_time_format;   // "h:mm:ss tt"
  std::string profile;            // name of the profile the machine was made from
};

// CSIDL values the engine uses (shell special folders).
namespace csidl {
inline constexpr int kDesktop = 0x00;
inline constexpr int kPrograms = 0x02;
inline constexpr int kPersonal = 0x05;
inline constexpr int kFavorites = 0x06;
inline constexpr int kStartup = 0x07;
inline constexpr int kRecent = 0x08;
inline constexpr int kSendTo = 0x09;
inline constexpr int kStartMenu = 0x0B;
inline constexpr int kMyMusic = 0x0D;
inline constexpr int kMyVideo = 0x0E;
inline constexpr int kDesktopDirectory = 0x10;
inline constexpr int kNetHood = 0x13;
inline constexpr int kFonts = 0x14;
inline constexpr int kTemplates = 0x15;
inline constexpr int kCommonStartMenu = 0x16;
inline constexpr int kCommonPrograms = 0x17;
inline constexpr int kCommonStartup = 0x18;
inline constexpr int kCommonDesktopDirectory = 0x19;
inline constexpr int kAppData = 0x1A;
inline constexpr int kPrintHood = 0x1B;
inline constexpr int kLocalAppData = 0x1C;
inline constexpr int kCommonFavorites = 0x1F;
inline constexpr int kInternetCache = 0x20;
inline constexpr int kCookies = 0x21;
inline constexpr int kHistory = 0x22;
inline constexpr int kCommonAppData = 0x23;
inline constexpr int kWindows = 0x24;
inline constexpr int kSystem = 0x25;
inline constexpr int kProgramFiles = 0x26;
inline constexpr int kMyPictures = 0x27;
inline constexpr int kProfile = 0x28;
inline constexpr int kSystemX86 = 0x29;
inline constexpr int kProgramFilesX86 = 0x2A;
inline constexpr int kProgramFilesCommon = 0x2B;
inline constexpr int kProgramFilesCommonX86 = 0x2C;
inline constexpr int kCommonTemplates = 0x2D;
inline constexpr int kCommonDocuments = 0x2E;
inline constexpr int kCommonAdminTools = 0x2F;
inline constexpr int kAdminTools = 0x30;
inline constexpr int kCommonMusic = 0x35;
inline constexpr int kCommonPictures = 0x36;
inline constexpr int kCommonVideo = 0x37;
inline constexpr int kResources = 0x38;
inline constexpr int kCdBurnArea = 0x3B;
}  // namespace csidl

class System {
 public:
  virtual ~System() = default;

  virtual const MachineFacts& Facts() = 0;

  // Folder of a special folder, without trailing backslash; kFileNotFound
  // for a CSIDL the machine does not have.
  virtual Win32Error SpecialFolder(int csidl, std::string* path) = 0;
  // The system temporary folder of the user (long form, trailing backslash).
  virtual std::string TempFolder() = 0;
  // Windows folder ("C:\Windows").
  virtual std::string WindowsFolder() = 0;

  // The process environment: the machine's system and user Environment keys
  // merged with the process's own changes. Names compare case-insensitively.
  virtual std::string GetEnv(const std::string& name) = 0;
  virtual bool HasEnv(const std::string& name) = 0;
  virtual void SetEnv(const std::string& name, const std::string& value) = 0;
  virtual void UnsetEnv(const std::string& name) = 0;
  virtual std::map<std::string, std::string> EnvironmentBlock() = 0;
  // Replaces %NAME% by the variable's value; unknown names stay as written.
  virtual std::string ExpandEnvironment(const std::string& text) = 0;

  // Milliseconds since the machine started (wraps like GetTickCount).
  virtual uint32_t TickCount() = 0;
  virtual uint64_t TickCount64() = 0;
  // Current time as a FILETIME (UTC).
  virtual uint64_t Now() = 0;
};

}  // namespace kestrawl::platform
