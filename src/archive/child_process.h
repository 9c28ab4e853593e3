// Runs one program as a child process (posix_spawn, no shell): standard
// input is /dev/null, standard output and error are read as they come and
// handed to a sink. When the sink asks to stop, the child is ended at once
// (SIGTERM, then SIGKILL after a short grace period) and reaped.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrawl::zel {

struct ChildResult {
  bool started = false;    // false: the program could not be started
  bool stopped = false;    // the sink asked to stop and the child was ended
  int exit_code = -1;      // exit status; -1 when ended by a signal
  std::string start_error; // why it could not be started
};

// Receives output as it arrives; from_stderr tells the stream. Returns
// false to stop the child.
using OutputSink = std::function<bool(std::string_view chunk, bool from_stderr)>;

// argv[0] is the program's path. extra_env entries ("NAME=value") replace
// entries of the same name in this process's environment.
ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env, const OutputSink& sink);

}  // namespace kestrawl::zel
