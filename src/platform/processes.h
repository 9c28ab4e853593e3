// Programs and the running process.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace kestrawl::platform {

class Processes {
 public:
  virtual ~Processes() = default;

  // Windows path of the running executable ("Z:\home\me\setup").
  virtual std::string ExecutablePath() = 0;
  // The raw command line of this process as Windows would hand it over:
  // the program path (quoted when it holds a blank) followed by the arguments.
  virtual std::string CommandLine() = 0;
  virtual uint32_t ProcessId() = 0;

  // Starts a program. The command line is split with the Windows rules; its
  // first item is the program's Windows path. With wait set, blocks until it
  // ends and stores its exit code. kFileNotFound when the program is missing,
  // kBadExeFormat when it is not something the machine can run.
  virtual Win32Error Run(const std::string& command_line, const std::string& work_folder,
                         bool wait, uint32_t* exit_code) = 0;
};

}  // namespace kestrawl::platform
