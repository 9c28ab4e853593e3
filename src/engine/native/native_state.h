// The native engine's process-wide state: the change plan, the pending undo
// entries, the progress totals and the outcome of the last run. Plain data,
// owned by the run (RunState::native); the native engine thread touches it
// only while the UI thread waits for it, so it carries no lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrawl::engine::native {

// One recorded change: kind, 1-based command position, change record and the
// engine bitness when it was recorded.
struct PlanEntry {
  std::string kind;
  size_t position = 0;
  std::string record;
  std::string bitness;
};

// Undo entries not yet written to the change log: four parallel lists.
struct PendingUndo {
  std::vector<std::string> elements;
  std::vector<std::string> data;
  std::vector<std::string> weights;
  std::vector<std::string> bitness;
  bool empty() const { return elements.empty(); }
  size_t size() const { return elements.size(); }
};

// A change log read into memory (carried across the removal of the engine
// cache folder) together with the prefix it came from.
struct LoadedLog {
  bool loaded = false;
  std::string prefix;
  PendingUndo entries;
};

struct NativeState {
  std::vector<PlanEntry> plan;
  int64_t plan_total = 0;
  // Maximum of the progress bar: the compiled script's total, replaced by the
  // plan total while a plan runs.
  int64_t progress_total = 0;
  // Outcome of the last native engine thread: 1 done, 0 stopped, -1 failed.
  int result = 1;
  std::string error_message;
  // A file is to be replaced or deleted at the next restart.
  bool reboot_pending = false;
  // "Apply Changes" completed an installation in this run: failures no
  // longer roll back.
  bool install_completed = false;
  // "Apply Changes" removed the instance (its engine cache is gone).
  bool instance_removed = false;
  PendingUndo pending;
  LoadedLog instance_log;
  // Copy progress tracker of the file copy under way.
  int64_t copy_last_total = 0;
  int64_t copy_last_delta = 0;
};

}  // namespace kestrawl::engine::native
