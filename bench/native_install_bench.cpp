// Native installation speed: "Install Files" of 5,000 files (about 300 MB in
// 50 folders) in a silent native-mode run, as a ratio to `cp -r` of the same
// tree (copies) and to `cp -al` (the same-drive hard-link case), measured in
// the same run; and the peak memory of an installation of 1,000 and of
// 5,000 files (each in a child process), which should stay flat.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "script/engine_context.h"
#include "script/interpreter.h"
#include "script/run_state.h"
#include "ui/message_host.h"

using namespace kestrawl;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFolders = 50;
constexpr size_t kFileSize = 60 * 1024;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Command {
  std::string name;
  std::vector<std::string> params;
};

// A compiled script in memory: the commands, one file group of `files`
// files for the "Install Files" command.
script::CompiledScript MakeScript(const std::vector<Command>& commands, int files, size_t install_index) {
  script::CompiledScript s;
  std::vector<std::string> table;
  for (size_t i = 0; i < commands.size(); ++i) {
    char guid[48];
    snprintf(guid, sizeof guid, "{00000000-0000-0000-0000-%012zX}", i + 1);
    s.command_names.push_back(commands[i].name);
    s.command_guids.push_back(guid);
    s.disable_flags.push_back("");
    s.media_folders.push_back("");
    s.source_locations.push_back("C:\\bench.kws*" + std::to_string(i));
    s.include_markers.push_back("0*0");
    table.push_back(guid);
    table.insert(table.end(), commands[i].params.begin(), commands[i].params.end());
  }
  s.SetParameterTable(std::move(table));
  s.product_code = "{11111111-2222-3333-4444-555555555555}";
  s.revision_code = "{66666666-7777-8888-9999-AAAAAAAAAAAA}";
  s.product_title = "Bench";
  s.command_headers = {"0000BE7C", std::to_string(install_index)};
  s.file_headers = {"0000BE7C", "NEWHEADER"};
  for (int i = 0; i < files; ++i) {
    const std::string folder = "d" + std::to_string(i % kFolders);
    s.file_headers.push_back(folder + "\\f" + std::to_string(i) + ".bin");
    s.file_headers.push_back(folder + "\\");
  }
  s.total_size = static_cast<int64_t>(files) * static_cast<int64_t>(kFileSize);
  return s;
}

// Installs `files` files into C:\<target> on the machine; returns seconds.
double Install(const std::string& machine_dir, const std::string& target, int files, bool hardlink) {
  auto machine = platform::sim::SimMachine::Open(machine_dir, {"bench"});
  ui::ConsoleMessageHost messages(std::cerr);
  script::EngineContext engine(*machine, messages);
  const std::vector<Command> commands = {
      {"Set Variable", {"NATIVE_ENGINE", "TRUE"}},
      {"Set Variable", {"NATIVE_HARDLINK", hardlink ? "TRUE" : "FALSE"}},
      {"Set Variable", {"NATIVE_LOGGING", "FALSE"}},
      {"Install Files", {"", "", "C:\\" + target, "", "", "", "", "", "", "", "", ""}},
      {"Apply Changes", {"", "RESULT", "FALSE", "FALSE"}},
  };
  engine.script = MakeScript(commands, files, 3);
  engine.paths.data_folder = "C:\\data\\";
  engine.settings.silent = true;
  script::RunState run;
  const auto start = Clock::now();
  script::RunScript(engine, run);
  const double seconds = Seconds(start);
  if (engine.variables.GetVariable("RESULT") != "COMPLETE") {
    fprintf(stderr, "installation failed: %s\n", engine.variables.GetVariable("LASTERROR").c_str());
    exit(1);
  }
  return seconds;
}

double Shell(const std::string& command) {
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    fprintf(stderr, "failed: %s\n", command.c_str());
    exit(1);
  }
  return Seconds(start);
}

// Peak resident memory (KiB) of an installation of `files` files, run in a
// child process so that each figure stands alone.
long PeakKiB(const std::string& machine_dir, const std::string& target, int files) {
  const pid_t pid = fork();
  if (pid == 0) {
    Install(machine_dir, target, files, false);
    _exit(0);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

}  // namespace

int main() {
  // KESTRAWL_BENCH_FILES shrinks the run (for profiling).
  const char* override_files = std::getenv("KESTRAWL_BENCH_FILES");
  const int kFiles = override_files ? std::max(1, std::atoi(override_files)) : 5000;
  std::string root = (fs::temp_directory_path() / "kestrawl-native-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  const std::string machine_dir = root + "/machine";
  platform::sim::SimMachine::Init(machine_dir, {});
  const std::string data = machine_dir + "/drive_c/data";

  std::mt19937_64 random(7);
  std::string text;
  while (text.size() < kFileSize) text += "Kestrawl places this line in many files. ";
  text.resize(kFileSize);
  for (int i = 0; i < kFiles; ++i) {
    const std::string folder = data + "/d" + std::to_string(i % kFolders);
    fs::create_directories(folder);
    std::string bytes = text;
    if (i % 2)
      for (size_t k = 0; k + 8 <= bytes.size(); k += 8) {
        const uint64_t v = random();
        std::memcpy(&bytes[k], &v, 8);
      }
    std::ofstream(folder + "/f" + std::to_string(i) + ".bin", std::ios::binary) << bytes;
  }
  // Later installations run as maintenance of the first one: the marker
  // tells them their sources are here.
  std::ofstream(data + "/{11111111-2222-3333-4444-555555555555}");
  system(("sync; du -sh " + data).c_str());

  const double copy = Install(machine_dir, "AppCopy", kFiles, false);
  const double cp = Shell("cp -r '" + data + "' '" + root + "/cp-r'");
  const double link = Install(machine_dir, "AppLink", kFiles, true);
  const double cpal = Shell("cp -al '" + data + "' '" + root + "/cp-al'");
  printf("install %d files (copy):      %.2f s, cp -r  %.2f s, ratio %.2f\n", kFiles, copy, cp, copy / cp);
  printf("install %d files (hard link): %.2f s, cp -al %.2f s, ratio %.2f\n", kFiles, link, cpal, link / cpal);

  const long small = PeakKiB(machine_dir, "Rss1000", std::min(1000, kFiles));
  const long large = PeakKiB(machine_dir, "Rss5000", kFiles);
  printf("peak RSS: 1,000 files %ld KiB, 5,000 files %ld KiB (ratio %.2f)\n", small, large,
         small > 0 ? static_cast<double>(large) / small : 0.0);
  fs::remove_all(root);
  return 0;
}
