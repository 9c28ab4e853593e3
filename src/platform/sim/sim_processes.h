// Programs on a simulated machine: a Windows path that names a host
// executable (an ELF file or a "#!" script) runs as a host process, its
// command line split with the Windows rules. Children inherit the machine
// (KESTRAWL_MACHINE) so they see the same Windows.
#pragma once

#include <string>
#include <vector>

#include "platform/processes.h"

namespace kestrawl::platform::sim {

class SimFileSystem;

class SimProcesses : public Processes {
 public:
  SimProcesses(SimFileSystem& files, std::string machine_dir, std::vector<std::string> arguments);

  std::string ExecutablePath() override;
  std::string CommandLine() override;
  uint32_t ProcessId() override;
  Win32Error Run(const std::string& command_line, const std::string& work_folder, bool wait,
                 uint32_t* exit_code) override;

 private:
  SimFileSystem& files_;
  std::string machine_dir_;
  std::vector<std::string> arguments_;
};

}  // namespace kestrawl::platform::sim
