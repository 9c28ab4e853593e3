// Media extraction speed: a web block of 2,000 files (about 200 MB, half
// compressible text, half random bytes) brought into place through the
// media cache (extraction to the staging folder, placement by the media
// file table, marker), as a ratio to `7zz x` of the same archive into an
// empty folder, measured in the same run.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "media/archive_library.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_machine.h"
#include "script/engine_context.h"
#include "script/media_cache.h"
#include "script/run_state.h"

using namespace kestrawl;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string OwnFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? fs::path(std::string(buf, n)).parent_path().string() : ".";
}

}  // namespace

int main() {
  const int kFiles = 2000;
  const size_t kSize = 100 * 1024;
  std::string root = (fs::temp_directory_path() / "kestrawl-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;

  // The payload.
  fs::create_directories(root + "/src/Blk/hdr");
  std::mt19937_64 random(42);
  std::string text;
  while (text.size() < kSize) text += "Kestrawl installs this line again and again. ";
  text.resize(kSize);
  for (int i = 0; i < kFiles; ++i) {
    std::string data = text;
    if (i % 2) {
      for (size_t k = 0; k + 8 <= data.size(); k += 8) {
        uint64_t v = random();
        std::memcpy(&data[k], &v, 8);
      }
    }
    std::ofstream(root + "/src/Blk/hdr/f" + std::to_string(i) + ".bin", std::ios::binary) << data;
  }
  fs::create_directories(root + "/setup");
  const std::string archive = root + "/setup/Blk.7zip";
  std::string pack = "cd '" + root + "/src' && 7zz a -bd -bso0 -mx=1 -t7z '" + archive + "' Blk >/dev/null";
  if (std::system(pack.c_str()) != 0) return 1;
  std::printf("medium: %d files, %.0f MB, archive %.0f MB\n", kFiles, kFiles * kSize / 1048576.0,
              fs::file_size(archive) / 1048576.0);

  double cache_seconds = 0;
  {
    auto machine = platform::sim::SimMachine::Open(root + "/machine", {"setup"});
    std::ostringstream sink;
    ui::ConsoleMessageHost messages(sink);
    script::EngineContext engine(*machine, messages);
    media::ArchiveLibrary library;
    if (!library.Load(OwnFolder() + "/zel.lib")) {
      std::printf("cannot load zel.lib: %s\n", library.error().c_str());
      return 1;
    }
    engine.archive = &library;
    engine.settings.silent = true;
    script::RunState run;
    engine.variables.DeclareVariable("OVERRIDECACHE", "C:\\Cache\\", "Bench");
    engine.variables.DeclareVariable("REVISIONCODE", "{REV}", "Bench");
    engine.variables.DeclareVariable("EXEDIR", machine->SimFiles().WindowsPathOf(root + "/setup") + "\\", "Bench");
    engine.script.cache_mode = 2;
    engine.script.product_code = "{PKG}";
    for (int i = 0; i < kFiles; ++i) {
      engine.script.media_files.push_back("Blk");
      engine.script.media_files.push_back("hdr\\f" + std::to_string(i) + ".bin");
      engine.script.media_files.push_back("target\\" + std::to_string(i % 20) + "\\");
    }
    auto start = Clock::now();
    script::GrabMedium(engine, run, "Blk\\");
    cache_seconds = Seconds(start);
  }

  fs::create_directories(root + "/plain");
  auto start = Clock::now();
  std::string extract = "7zz x -bd -bso0 -y '" + archive + "' -o'" + root + "/plain' >/dev/null";
  if (std::system(extract.c_str()) != 0) return 1;
  double plain_seconds = Seconds(start);

  std::printf("media cache grab: %.2f s   7zz x: %.2f s   ratio %.2f\n", cache_seconds, plain_seconds,
              cache_seconds / plain_seconds);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
