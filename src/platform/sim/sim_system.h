// System facts of a simulated machine: read from the machine database's facts
// table, with the environment merged from the registry's Environment keys,
// the values Windows computes per process, and the process's own changes.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/system.h"

namespace kestrawl::platform::sim {

class SimStore;

class SimSystem : public System {
 public:
  SimSystem(SimStore& store, Registry& registry);

  const MachineFacts& Facts() override { return facts_; }
  Win32Error SpecialFolder(int csidl, std::string* path) override;
  std::string TempFolder() override;
  std::string WindowsFolder() override { return "C:\\Windows"; }

  std::string GetEnv(const std::string& name) override;
  bool HasEnv(const std::string& name) override;
  void SetEnv(const std::string& name, const std::string& value) override;
  void UnsetEnv(const std::string& name) override;
  std::map<std::string, std::string> EnvironmentBlock() override;
  std::string ExpandEnvironment(const std::string& text) override;

  uint32_t TickCount() override { return static_cast<uint32_t>(TickCount64()); }
  uint64_t TickCount64() override;
  uint64_t Now() override;

 private:
  // Case-insensitive lookup in a block; nullopt when absent.
  static std::optional<std::string> Find(const std::map<std::string, std::string>& block,
                                         const std::string& name);

  Registry& registry_;
  MachineFacts facts_;
  std::map<int, std::string> folders_;
  std::mutex mu_;
  // The process's own changes: a value, or nullopt for a removed variable.
  std::map<std::string, std::optional<std::string>> own_;
};

}  // namespace kestrawl::platform::sim
