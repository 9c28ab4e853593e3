#include "archive/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace kestrawl::zel {
namespace {

struct Pipe {
  int fd[2] = {-1, -1};
  ~Pipe() {
    for (int f : fd)
      if (f >= 0) close(f);
  }
  void CloseEnd(int i) {
    if (fd[i] >= 0) close(fd[i]);
    fd[i] = -1;
  }
};

std::vector<std::string> BuildEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string_view entry(*e);
    const auto name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const auto& x : extra)
      if (x.compare(0, name.size(), name) == 0) replaced = true;
    if (!replaced) env.emplace_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// Ends the child: a polite request first, then a kill. Returns its status.
int EndChild(pid_t pid) {
  int status = 0;
  kill(pid, SIGTERM);
  for (int i = 0; i < 20; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::vector<std::string>& extra_env, const OutputSink& sink) {
  ChildResult result;
  Pipe out, err;
  // Close-on-exec keeps these pipes out of children other threads start.
  if (pipe2(out.fd, O_CLOEXEC) != 0 || pipe2(err.fd, O_CLOEXEC) != 0) {
    result.start_error = std::string("pipe: ") + std::strerror(errno);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // The child gets nothing of this process's open files beyond its three streams.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto env_strings = BuildEnvironment(extra_env);
  std::vector<char*> env;
  for (const auto& e : env_strings) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.start_error = argv[0] + ": " + std::strerror(rc);
    return result;
  }
  result.started = true;
  out.CloseEnd(1);
  err.CloseEnd(1);

  pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};
  int open_streams = 2;
  char buffer[16384];
  while (open_streams > 0 && !result.stopped) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2 && !result.stopped; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        --open_streams;
        continue;
      }
      if (sink && !sink(std::string_view(buffer, static_cast<size_t>(n)), i == 1))
        result.stopped = true;
    }
  }

  int status = 0;
  if (result.stopped) {
    status = EndChild(pid);
  } else {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace kestrawl::zel
