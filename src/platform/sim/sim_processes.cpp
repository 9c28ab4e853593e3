#include "platform/sim/sim_processes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "base/command_line.h"
#include "platform/sim/sim_file_system.h"

extern char** environ;

namespace kestrawl::platform::sim {

SimProcesses::SimProcesses(SimFileSystem& files, std::string machine_dir,
                           std::vector<std::string> arguments)
    : files_(files), machine_dir_(std::move(machine_dir)), arguments_(std::move(arguments)) {}

std::string SimProcesses::ExecutablePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return files_.WindowsPathOf(std::string(buf, n));
}

std::string SimProcesses::CommandLine() {
  // Arguments with blanks are put in quotes, without escaping backslashes:
  // the line reads back the same through either splitting rule unless an
  // argument ends in a backslash or holds a quote, which a shell user can
  // still pass verbatim.
  std::string line = "\"" + ExecutablePath() + "\"";
  for (size_t i = 1; i < arguments_.size(); ++i) {
    const std::string& a = arguments_[i];
    line += ' ';
    if (a.empty() || a.find_first_of(" \t") != std::string::npos) line += "\"" + a + "\"";
    else line += a;
  }
  return line;
}

uint32_t SimProcesses::ProcessId() { return static_cast<uint32_t>(getpid()); }

namespace {

// An ELF image or a "#!" script with the execute bit.
bool IsRunnable(const std::string& host) {
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char head[4] = {};
  ssize_t n = read(fd, head, sizeof head);
  close(fd);
  if (n >= 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) return true;
  return n >= 2 && head[0] == '#' && head[1] == '!';
}

}  // namespace

Win32Error SimProcesses::Run(const std::string& command_line, const std::string& work_folder,
                             bool wait, uint32_t* exit_code) {
  std::vector<std::string> args = base::SplitCommandLine(command_line);
  if (args.empty() || args[0].empty()) return err::kFileNotFound;
  std::string program;
  if (Win32Error e = files_.ResolveHostPath(args[0], &program); e != err::kSuccess) return e;
  struct stat st {};
  if (stat(program.c_str(), &st) != 0) return err::kFileNotFound;
  if (S_ISDIR(st.st_mode)) return err::kAccessDenied;
  if (!IsRunnable(program)) return err::kBadExeFormat;
  if (access(program.c_str(), X_OK) != 0) return err::kAccessDenied;
  std::string cwd;
  if (!work_folder.empty()) {
    if (Win32Error e = files_.ResolveHostPath(work_folder, &cwd); e != err::kSuccess) return e;
  }
  args[0] = program;
  std::string machine_env = "KESTRAWL_MACHINE=" + machine_dir_;

  int status_pipe[2];
  if (pipe2(status_pipe, O_CLOEXEC) != 0) return err::kNotEnoughMemory;
  pid_t pid = fork();
  if (pid < 0) {
    close(status_pipe[0]);
    close(status_pipe[1]);
    return err::kNotEnoughMemory;
  }
  if (pid == 0) {
    close(status_pipe[0]);
    if (!wait) setsid();
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) {
      int e = errno;
      (void)!write(status_pipe[1], &e, sizeof e);
      _exit(127);
    }
    putenv(machine_env.data());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    int e = errno;
    (void)!write(status_pipe[1], &e, sizeof e);
    _exit(127);
  }
  close(status_pipe[1]);
  int child_errno = 0;
  ssize_t got = read(status_pipe[0], &child_errno, sizeof child_errno);
  close(status_pipe[0]);
  if (got == static_cast<ssize_t>(sizeof child_errno)) {
    waitpid(pid, nullptr, 0);
    return child_errno == ENOENT ? err::kPathNotFound : err::kAccessDenied;
  }
  if (!wait) {
    if (exit_code) *exit_code = 259;  // STILL_ACTIVE
    return err::kSuccess;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (exit_code) {
    if (WIFEXITED(status)) *exit_code = static_cast<uint32_t>(WEXITSTATUS(status));
    else *exit_code = 0xC000013A;  // terminated, as Windows reports a killed console program
  }
  return err::kSuccess;
}

}  // namespace kestrawl::platform::sim
