// Helpers shared by the tests: throw-away host folders, running the built
// programs, and the locations of the build's artifacts.
#pragma once

#include <string>
#include <vector>

namespace kestrawl::testing {

// A fresh host folder under the system temporary folder, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RunResult {
  int exit_code = -1;  // -1 when the program could not be run or was killed
  std::string out;
  std::string err;
};

// Runs a host program with arguments (no shell), optional extra environment
// entries ("NAME=value") and optional standard input; captures both outputs.
RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::string& input = {});

// Path of a built artifact in the build's bin folder ("kestrawl", "zel.lib").
std::string BinPath(const std::string& name);
// Path below the source tree ("examples/demo").
std::string SourcePath(const std::string& relative);

std::string ReadHostFile(const std::string& path);
void WriteHostFile(const std::string& path, const std::string& data);

}  // namespace kestrawl::testing
