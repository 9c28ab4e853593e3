// Registry and path-resolution speed of the simulated machine, as ratios
// against the raw operations underneath measured in the same run:
//   registry writes/s   vs raw SQLite inserts (one transaction each)
//   registry reads/s    vs raw SQLite primary-key selects
//   path resolutions/s  vs raw stat() calls on the same host files
// The machine holds 100,000 values before the measured operations start.
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"

using namespace kestrawl::platform;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string TempFolder() {
  std::string t = (std::filesystem::temp_directory_path() / "kestrawl-bench-XXXXXX").string();
  if (!mkdtemp(t.data())) std::abort();
  return t;
}

}  // namespace

int main() {
  const int kFill = 100000, kWrites = 5000, kReads = 50000, kPaths = 50000;
  const std::string root = TempFolder();
  auto machine = sim::SimMachine::Open(root + "/machine");
  Registry& reg = machine->Reg();

  // Fill: 100 keys x 1,000 values, in batches so the fill itself is quick.
  auto fill_start = Clock::now();
  for (int k = 0; k < 100; ++k) {
    machine->SimReg().Batch([&] {
      std::string key = "SOFTWARE\\Bench\\Key" + std::to_string(k);
      for (int v = 0; v < kFill / 100; ++v)
        reg.WriteValue(RegRoot::kLocalMachine, key, "Value" + std::to_string(v), RegView::k64,
                       RegValue::String("data " + std::to_string(v)));
      return true;
    });
  }
  std::printf("fill: %d values in %.2f s\n", kFill, Seconds(fill_start));

  // Registry writes, one transaction each.
  reg.CreateKey(RegRoot::kLocalMachine, "SOFTWARE\\Bench\\Writes", RegView::k64);
  auto t = Clock::now();
  for (int i = 0; i < kWrites; ++i)
    reg.SetValue(RegRoot::kLocalMachine, "SOFTWARE\\Bench\\Writes", "W" + std::to_string(i), RegView::k64,
                 RegValue::Dword(i));
  double reg_writes = kWrites / Seconds(t);

  // Registry reads spread over the filled keys.
  t = Clock::now();
  RegValue value;
  for (int i = 0; i < kReads; ++i)
    reg.GetValue(RegRoot::kLocalMachine, "SOFTWARE\\Bench\\Key" + std::to_string(i % 100),
                 "Value" + std::to_string((i * 7) % 1000), RegView::k64, &value);
  double reg_reads = kReads / Seconds(t);

  // Raw SQLite with the same journal settings.
  sqlite3* db = nullptr;
  sqlite3_open((root + "/raw.db").c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                   "CREATE TABLE t(name TEXT PRIMARY KEY, data BLOB)", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?)", -1, &ins, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int i = 0; i < kFill; ++i) {
    std::string n = "F" + std::to_string(i);
    sqlite3_bind_text(ins, 1, n.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(ins, 2, n.data(), static_cast<int>(n.size()), SQLITE_TRANSIENT);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  t = Clock::now();
  for (int i = 0; i < kWrites; ++i) {
    std::string n = "W" + std::to_string(i);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_bind_text(ins, 1, n.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(ins, 2, n.data(), static_cast<int>(n.size()), SQLITE_TRANSIENT);
    sqlite3_step(ins);
    sqlite3_reset(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  double raw_writes = kWrites / Seconds(t);
  sqlite3_stmt* sel = nullptr;
  sqlite3_prepare_v2(db, "SELECT data FROM t WHERE name = ?", -1, &sel, nullptr);
  t = Clock::now();
  for (int i = 0; i < kReads; ++i) {
    std::string n = "F" + std::to_string((i * 7) % kFill);
    sqlite3_bind_text(sel, 1, n.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(sel);
    sqlite3_reset(sel);
  }
  double raw_reads = kReads / Seconds(t);
  sqlite3_finalize(ins);
  sqlite3_finalize(sel);
  sqlite3_close(db);

  // Path resolution: a mixed-case path four folders deep, against stat().
  FileSystem& files = machine->Files();
  files.CreateFolderTree("C:\\Bench\\Alpha\\Beta\\Gamma");
  files.WriteWholeFile("C:\\Bench\\Alpha\\Beta\\Gamma\\File.txt", "x");
  const std::string host = root + "/machine/drive_c/Bench/Alpha/Beta/Gamma/File.txt";
  FileEntry entry;
  t = Clock::now();
  for (int i = 0; i < kPaths; ++i) files.GetEntry(i % 2 ? "c:\\bench\\ALPHA\\beta\\GAMMA\\file.TXT"
                                                         : "C:\\Bench\\Alpha\\Beta\\Gamma\\File.txt",
                                                   &entry);
  double resolves = kPaths / Seconds(t);
  struct stat st;
  t = Clock::now();
  for (int i = 0; i < kPaths; ++i) stat(host.c_str(), &st);
  double stats = kPaths / Seconds(t);

  std::printf("registry writes: %10.0f /s   raw SQLite inserts: %10.0f /s   ratio %.3f\n", reg_writes, raw_writes,
              reg_writes / raw_writes);
  std::printf("registry reads:  %10.0f /s   raw SQLite selects: %10.0f /s   ratio %.3f\n", reg_reads, raw_reads,
              reg_reads / raw_reads);
  std::printf("path resolution: %10.0f /s   raw stat():         %10.0f /s   ratio %.3f\n", resolves, stats,
              resolves / stats);
  machine.reset();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return 0;
}
