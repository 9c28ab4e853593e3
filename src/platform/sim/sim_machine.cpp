#include "platform/sim/sim_machine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/sim/machine_profile_writer.h"
#include "platform/sim/profiles.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/store.h"

namespace kestrawl::platform::sim {

namespace fs = std::filesystem;

std::string ResolveMachineDir(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("KESTRAWL_MACHINE"); env && *env) return env;
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    data = xdg;
  } else {
    const char* home = std::getenv("HOME");
    data = std::string(home && *home ? home : "/tmp") + "/.local/share";
  }
  return data + "/kestrawl/machine";
}

bool SimMachine::Exists(const std::string& dir) {
  std::error_code ec;
  return fs::exists(fs::path(dir) / "registry.db", ec) && fs::is_directory(fs::path(dir) / "drive_c", ec);
}

namespace {

RegistryLayout LayoutOf(const MachineFacts& f) {
  RegistryLayout layout;
  layout.os64 = f.os64;
  layout.process32 = f.process32;
  layout.user_sid = f.user_sid;
  layout.computer_name = f.computer_name;
  return layout;
}

void MakeLink(const fs::path& link, const std::string& target) {
  std::error_code ec;
  fs::remove(link, ec);
  if (symlink(target.c_str(), link.c_str()) != 0)
    throw std::runtime_error("cannot create " + link.string() + ": " + std::strerror(errno));
}

}  // namespace

void SimMachine::Init(const std::string& dir, const InitOptions& options) {
  const Profile* profile = FindProfile(options.profile);
  if (!profile) {
    std::string names;
    for (const auto& p : Profiles()) names += (names.empty() ? "" : ", ") + p.name;
    throw std::runtime_error("unknown profile '" + options.profile + "' (known: " + names + ")");
  }
  std::error_code ec;
  fs::path root(dir);
  if (Exists(dir)) {
    if (!options.force)
      throw std::runtime_error("a machine already exists in " + dir + " (use --force to replace it)");
    // Only the machine's own entries are removed, never unrelated files.
    for (const char* name : {"drive_c", "dosdevices", "registry.db", "registry.db-wal", "registry.db-shm"}) {
      fs::path p = root / name;
      for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator();
           it.increment(ec)) {
        if (!it->is_symlink())
          fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
      }
      ec.clear();
      fs::remove_all(p, ec);
      if (ec) throw std::runtime_error("cannot remove " + p.string() + ": " + ec.message());
    }
  }
  fs::create_directories(root / "drive_c", ec);
  if (ec) throw std::runtime_error("cannot create machine folder " + dir + ": " + ec.message());
  fs::create_directories(root / "dosdevices", ec);
  if (ec) throw std::runtime_error("cannot create " + (root / "dosdevices").string() + ": " + ec.message());
  MakeLink(root / "dosdevices" / "c:", "../drive_c");
  MakeLink(root / "dosdevices" / "z:", "/");

  MachineFacts facts = profile->facts;
  if (!options.user.empty()) facts.user_name = options.user;
  if (options.standard_user) {
    facts.administrator = false;
    facts.elevated = false;
  }
  SimStore store((root / "registry.db").string());
  store.Transaction([&] {
    for (const auto& [k, v] : FactsToMap(facts)) store.SetFact(k, v);
    return true;
  });
  SimRegistry registry(store, LayoutOf(facts));
  SimFileSystem files(dir, store, registry);
  WriteProfile(*profile, facts, registry, files);
  WriteSystemPrograms(facts, files);
}

std::unique_ptr<SimMachine> SimMachine::Open(const std::string& dir,
                                             const std::vector<std::string>& arguments) {
  if (!Exists(dir)) Init(dir, InitOptions{});
  std::unique_ptr<SimMachine> m(new SimMachine());
  m->dir_ = fs::absolute(dir).lexically_normal().string();
  if (!m->dir_.empty() && m->dir_.back() == '/' && m->dir_.size() > 1) m->dir_.pop_back();
  m->store_ = std::make_unique<SimStore>(m->dir_ + "/registry.db");
  MachineFacts facts = FactsFromMap(m->store_->AllFacts());
  m->registry_ = std::make_unique<SimRegistry>(*m->store_, LayoutOf(facts));
  m->files_ = std::make_unique<SimFileSystem>(m->dir_, *m->store_, *m->registry_);
  m->system_ = std::make_unique<SimSystem>(*m->store_, *m->registry_);
  m->processes_ = std::make_unique<SimProcesses>(*m->files_, m->dir_, arguments);
  m->services_ = std::make_unique<SimServices>(*m->store_, *m->registry_);
  return m;
}

SimMachine::~SimMachine() = default;

FileSystem& SimMachine::Files() { return *files_; }
Registry& SimMachine::Reg() { return *registry_; }
System& SimMachine::Sys() { return *system_; }
Processes& SimMachine::Procs() { return *processes_; }
Services& SimMachine::Svc() { return *services_; }

}  // namespace kestrawl::platform::sim
