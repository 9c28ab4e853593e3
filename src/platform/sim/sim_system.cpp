#include "platform/sim/sim_system.h"

#include <time.h>

#include "base/text.h"
#include "platform/sim/profiles.h"
#include "platform/sim/store.h"

namespace kestrawl::platform::sim {

namespace {
constexpr const char* kSystemEnvKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kUserEnvKey = "Environment";
}  // namespace

SimSystem::SimSystem(SimStore& store, Registry& registry)
    : registry_(registry), facts_(FactsFromMap(store.AllFacts())) {
  folders_ = SpecialFolderTable(facts_);
}

Win32Error SimSystem::SpecialFolder(int csidl, std::string* path) {
  auto it = folders_.find(csidl);
  if (it == folders_.end()) return err::kFileNotFound;
  *path = it->second;
  return err::kSuccess;
}

std::string SimSystem::TempFolder() {
  std::string t = GetEnv("TMP");
  if (t.empty()) t = GetEnv("TEMP");
  if (t.empty()) t = GetEnv("USERPROFILE");
  if (t.empty()) t = WindowsFolder();
  if (t.back() != '\\') t.push_back('\\');
  return t;
}

std::optional<std::string> SimSystem::Find(const std::map<std::string, std::string>& block,
                                           const std::string& name) {
  for (const auto& [k, v] : block)
    if (base::EqualsNoCase(k, name)) return v;
  return std::nullopt;
}

std::map<std::string, std::string> SimSystem::EnvironmentBlock() {
  // Values Windows derives for every process, then the machine's system and
  // user Environment keys (user wins; Path is joined), then own changes.
  std::vector<std::pair<std::string, std::string>> entries;
  const MachineFacts& f = facts_;
  const std::string profile = UserProfileFolder(f);
  auto folder = [&](int id) {
    auto it = folders_.find(id);
    return it == folders_.end() ? std::string() : it->second;
  };
  const bool wow = f.os64 && f.process32;
  entries = {
      {"ALLUSERSPROFILE", folder(csidl::kCommonAppData)},
      {"APPDATA", folder(csidl::kAppData)},
      {"CommonProgramFiles", folder(csidl::kProgramFilesCommon)},
      {"COMPUTERNAME", f.computer_name},
      {"HOMEDRIVE", "C:"},
      {"HOMEPATH", profile.substr(2)},
      {"LOCALAPPDATA", folder(csidl::kLocalAppData)},
      {"NUMBER_OF_PROCESSORS", std::to_string(f.processors)},
      {"OS", "Windows_NT"},
      {"PROCESSOR_ARCHITECTURE", f.process32 ? "x86" : "AMD64"},
      {"ProgramData", "C:\\ProgramData"},
      {"ProgramFiles", folder(csidl::kProgramFiles)},
      {"PUBLIC", "C:\\Users\\Public"},
      {"SystemDrive", "C:"},
      {"SystemRoot", "C:\\Windows"},
      {"USERDOMAIN", f.domain},
      {"USERNAME", f.user_name},
      {"USERPROFILE", profile},
      {"windir", "C:\\Windows"},
  };
  if (f.os64) {
    entries.push_back({"ProgramFiles(x86)", "C:\\Program Files (x86)"});
    entries.push_back({"CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files"});
    entries.push_back({"ProgramW6432", "C:\\Program Files"});
    entries.push_back({"CommonProgramW6432", "C:\\Program Files\\Common Files"});
  }
  if (wow) entries.push_back({"PROCESSOR_ARCHITEW6432", "AMD64"});

  std::map<std::string, std::string> block;
  auto put = [&](const std::string& name, const std::string& value) {
    for (auto it = block.begin(); it != block.end(); ++it) {
      if (base::EqualsNoCase(it->first, name)) {
        block.erase(it);
        break;
      }
    }
    block[name] = value;
  };
  for (const auto& [k, v] : entries) put(k, v);

  // Registry values: REG_EXPAND_SZ values are expanded against the block so far.
  auto load = [&](RegRoot root, const char* key, bool user) {
    std::vector<RegNamedValue> values;
    if (registry_.EnumValues(root, key, RegView::k64, &values) != err::kSuccess) return;
    for (const auto& nv : values) {
      if (nv.name.empty()) continue;
      std::string v = nv.value.AsString();
      if (nv.value.type == regtype::kExpandSz) {
        std::string expanded;
        size_t i = 0;
        while (i < v.size()) {
          size_t a = v.find('%', i);
          size_t b = a == std::string::npos ? a : v.find('%', a + 1);
          if (b == std::string::npos) {
            expanded += v.substr(i);
            break;
          }
          expanded += v.substr(i, a - i);
          auto found = Find(block, v.substr(a + 1, b - a - 1));
          expanded += found ? *found : v.substr(a, b - a + 1);
          i = b + 1;
        }
        v = expanded;
      }
      if (user && base::EqualsNoCase(nv.name, "Path")) {
        auto existing = Find(block, "Path");
        if (existing && !existing->empty()) v = *existing + ";" + v;
      }
      put(nv.name, v);
    }
  };
  load(RegRoot::kLocalMachine, kSystemEnvKey, false);
  load(RegRoot::kCurrentUser, kUserEnvKey, true);

  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& [k, v] : own_) {
    if (v) {
      put(k, *v);
    } else {
      for (auto it = block.begin(); it != block.end(); ++it) {
        if (base::EqualsNoCase(it->first, k)) {
          block.erase(it);
          break;
        }
      }
    }
  }
  return block;
}

std::string SimSystem::GetEnv(const std::string& name) {
  auto v = Find(EnvironmentBlock(), name);
  return v ? *v : std::string();
}

bool SimSystem::HasEnv(const std::string& name) { return Find(EnvironmentBlock(), name).has_value(); }

void SimSystem::SetEnv(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto it = own_.begin(); it != own_.end(); ++it) {
    if (base::EqualsNoCase(it->first, name)) {
      own_.erase(it);
      break;
    }
  }
  own_[name] = value;
}

void SimSystem::UnsetEnv(const std::string& name) {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto it = own_.begin(); it != own_.end(); ++it) {
    if (base::EqualsNoCase(it->first, name)) {
      own_.erase(it);
      break;
    }
  }
  own_[name] = std::nullopt;
}

std::string SimSystem::ExpandEnvironment(const std::string& text) {
  std::map<std::string, std::string> block;
  bool loaded = false;
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t a = text.find('%', i);
    size_t b = a == std::string::npos ? a : text.find('%', a + 1);
    if (b == std::string::npos) {
      out += text.substr(i);
      break;
    }
    out += text.substr(i, a - i);
    if (!loaded) {
      block = EnvironmentBlock();
      loaded = true;
    }
    auto found = b > a + 1 ? Find(block, text.substr(a + 1, b - a - 1)) : std::nullopt;
    if (found) {
      out += *found;
      i = b + 1;
    } else {
      // Unknown names stay as written; the closing '%' may open the next name.
      out += text.substr(a, b - a);
      i = b;
    }
  }
  return out;
}

uint64_t SimSystem::TickCount64() {
  timespec ts{};
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint64_t SimSystem::Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // FILETIME epoch is 1601-01-01; Unix epoch is 11644473600 s later.
  return (static_cast<uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull + ts.tv_nsec / 100;
}

}  // namespace kestrawl::platform::sim
