// The trace log named on the command line: one line per call, UTF-16LE
// characters followed by CR LF, no byte-order mark. The first line a process
// writes truncates the file. Nothing happens while the path is empty.
// Safe to call from several threads.
#pragma once

#include <mutex>
#include <string>

#include "platform/file_system.h"

namespace kestrawl::script {

class TraceLog {
 public:
  explicit TraceLog(platform::FileSystem& files, std::string path = {})
      : files_(files), path_(std::move(path)) {}

  // Names the log file (empty: no log). Set once, before the first line.
  void SetPath(std::string path) { path_ = std::move(path); }

  void Write(const std::string& line);
  const std::string& path() const { return path_; }

 private:
  platform::FileSystem& files_;
  std::string path_;
  std::mutex mu_;
  bool started_ = false;
};

}  // namespace kestrawl::script
