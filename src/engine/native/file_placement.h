// Placing one file on the machine: the overwrite decision, freeing an in-use
// destination (moving it aside, or replacing it at restart through the
// instance's engine cache folder), the copy (hard link on the same drive,
// byte progress), security restore, and for "Install Files" the
// self-registration, shared-file count and attribute steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

// One file of a file group: the source path relative to the data folder and
// the second line of its pair (destination subfolder, assembly name, or the
// ODBC driver's setup file).
struct GroupFile {
  std::string relative_source;
  std::string second;
};

// The files of the group `key` in the compiled script's file table.
std::vector<GroupFile> WalkFileGroup(const script::CompiledScript& script, const std::string& key);
// Data folder (with a trailing backslash) + relative path.
std::string SourceFileOf(NativeRun& run, const std::string& relative_source);

enum class PlaceMode {
  kInstallFiles,  // every step, including registration, sharing, attributes
  kInstallKind,   // "Install Service", "Install Assembly", "Install ODBC Driver"
  kCopyLocal,     // "Copy/Move Local Files" (copy)
  kMoveLocal,     // "Copy/Move Local Files" (move)
};

struct PlaceRequest {
  std::string source;
  std::string destination;  // full path of the file to place
  PlaceMode mode = PlaceMode::kInstallKind;
  bool log_create_file = true;  // log "Create File" for the destination
  // "Install Files" record flags.
  bool read_only = false, hidden = false, system = false;
  bool fail_on_unplaced = false;
  bool self_register = false, shared = false, permanent = false, skip_existing = false;
};

enum class PlaceOutcome {
  kPlaced,    // the file is in place (maybe replaced at restart)
  kSkipped,   // left alone (skip-existing, overwrite declined, failure ignored)
  kFailed,    // not placed and the change must fail (fail-on-unplaced)
  kAborted,   // the run must stop
};

PlaceOutcome PlaceFile(NativeRun& run, const PlaceRequest& request);

// Gets an existing destination out of the way: deleted, or (allow_move)
// moved to destination + "." + N and deleted at restart. Returns true when
// the destination is still in use.
bool FreeDestination(NativeRun& run, const std::string& destination, bool allow_move);

// A file found by "Copy/Move Local Files".
struct LocalFile {
  std::string path;             // full path
  std::string relative_folder;  // folder below the searched folder, "" or ending in "\"
  uint64_t size = 0;
};
// Every file matching folder + pattern; with recurse the files of the
// subfolders come first (depth first), then those of the folder itself.
std::vector<LocalFile> ListLocalFiles(platform::FileSystem& files, const std::string& folder,
                                      const std::string& pattern, bool recurse);

// Schedules a rename (or with an empty `to`, a deletion) at the next restart.
platform::Win32Error ScheduleAtRestart(NativeRun& run, const std::string& from, const std::string& to);

}  // namespace kestrawl::engine::native
