#include "archive/seven_zip_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "archive/child_process.h"
#include "archive/progress_parser.h"
#include "archive/zel.h"

namespace kestrawl::zel {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindSevenZipProgram() {
  if (const char* named = std::getenv("KESTRAWL_7ZIP"); named && *named) return named;
  const char* path_env = std::getenv("PATH");
  const std::string path = path_env ? path_env : "/usr/local/bin:/usr/bin:/bin";
  std::vector<std::string> dirs;
  std::string current;
  for (char c : path + ":") {
    if (c != ':') {
      current.push_back(c);
      continue;
    }
    dirs.push_back(current.empty() ? std::string(".") : current);
    current.clear();
  }
  for (const char* name : {"7zz", "7z", "7za"}) {
    for (const auto& dir : dirs) {
      std::string candidate = dir;
      candidate.push_back('/');
      candidate.append(name);
      if (IsExecutableFile(candidate)) return candidate;
    }
  }
  return {};
}

SevenZipRun RunSevenZip(Operation op, const std::string& command,
                        const std::vector<std::string>& args, const PercentSink& progress) {
  SevenZipRun run;
  const std::string program = FindSevenZipProgram();
  if (program.empty()) {
    run.code = ZEL_E_NO_PROGRAM;
    return run;
  }
  std::vector<std::string> argv = {program, command, progress ? "-bsp1" : "-bsp0", "-bso1", "-bse2",
                                   "-bb0", "-y", "-scsUTF-8", "-sccUTF-8"};
  argv.insert(argv.end(), args.begin(), args.end());

  ProgressParser parser([&](const ProgressUpdate& u) {
    return !progress || progress(u.file, u.percent, u.announced_total);
  });
  bool cancelled = false;
  const ChildResult child = RunChild(argv, {"LC_ALL=C.UTF-8"}, [&](std::string_view chunk, bool err) {
    run.messages.append(chunk);
    if (err) return true;
    run.output.append(chunk);
    if (!parser.Feed(chunk)) cancelled = true;
    return !cancelled;
  });
  if (!child.started) {
    run.code = ZEL_E_NO_PROGRAM;
    return run;
  }
  if (child.stopped) {
    run.code = ZEL_E_CANCELLED;
    return run;
  }
  run.code = child.exit_code < 0 ? ZEL_E_FAILED : MapSevenZipResult(op, child.exit_code, run.messages);
  return run;
}

}  // namespace kestrawl::zel
