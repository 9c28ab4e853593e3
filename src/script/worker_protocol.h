// The worker protocol: how a long job on a worker thread talks to the engine
// and how the command that started it waits for it.
//
// Workers publish progress only through the progress variables
// (ForwardProgress, through a ProgressReporter). The waiting command calls
// RunWorker, which runs the job on its own thread and waits: a silent run
// blocks until the job ends; otherwise the UI loop keeps turning (posted
// tasks and timers). Once VELK_IsCancelled is true the job is asked to stop
// (its stop_token) and the job's watchdog timer is armed on the UI loop; a
// job that then reports no progress for a whole watchdog period is abandoned:
// its thread is detached, its later reports are ignored and the wait ends.
// After a cancelled wait RunWorker shows "Setup cancelled" and either ends
// the run (ABORTONERROR true) or records the cancellation in ABORTEDONERROR.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/system.h"
#include "script/engine_context.h"
#include "script/run_state.h"
#include "script/variable_store.h"

namespace kestrawl::script {

// Text that makes ForwardProgress take all four values from the progress
// variables (it then only renews VELK_LastDelegateTick).
inline constexpr std::string_view kProgressFromVariables = "$VELK$";
// Text that leaves VELK_thProgressText as it is.
inline constexpr std::string_view kKeepProgressText = "$IGNORE$";
// Position that leaves the range and the position as they are.
inline constexpr int64_t kKeepProgressPosition = -1;

// Shown (error icon, message box title) after a cancelled wait.
inline constexpr const char* kSetupCancelledMessage = "Setup cancelled";

// The watchdog timers of the hidden main form, one per kind of worker.
namespace watchdog {
inline constexpr const char* kMediaExtraction = "thxTimer";
inline constexpr const char* kWebMediaGrab = "thyTimer";
inline constexpr const char* kMediaCopy = "thzTimer";
inline constexpr const char* kExtract7Zip = "tdemTimer";
inline constexpr const char* kCompress7Zip = "tcemTimer";
inline constexpr const char* kDelete7Zip = "teemTimer";
inline constexpr const char* kFindAllFiles = "tfafTimer";
inline constexpr const char* kPlugin = "plugTimer";
inline constexpr const char* kNativeInstall = "spoolTimer";
inline constexpr const char* kRunProgram = "traTimer";      // kills at once
inline constexpr const char* kRunProgramAs = "traxTimer";   // kills at once
inline constexpr std::chrono::milliseconds kDefaultPeriod{5000};
}  // namespace watchdog

// Writes one progress report into the progress variables, each under the
// store's lock, one at a time: VELK_LastDelegateTick := tick; with the text
// kProgressFromVariables the values are taken from the variables instead;
// unless position is -1, VELK_thMax, VELK_thMin, VELK_thProgress; unless the
// text is "$IGNORE$", VELK_thProgressText.
void ForwardProgress(VariableStore& vars, uint32_t tick, std::string_view text, int64_t min,
                     int64_t max, int64_t position);
// The same with the tick count of the machine.
void ForwardProgress(VariableStore& vars, platform::System& system, std::string_view text,
                     int64_t min, int64_t max, int64_t position);

// Reads VELK_IsCancelled as a boolean and returns it; with `mirror` also
// writes it into VELK_thCancelled ("TRUE" or "FALSE"), where workers see it.
bool RefreshCancelMirror(VariableStore& vars, bool mirror);

// What the progress controls show after a refresh.
struct ProgressView {
  bool cancelled = false;  // VELK_IsCancelled
  std::string text;
  int64_t min = 0, max = 100, position = 0;
};

// The variable side of "refresh progress": RefreshCancelMirror, then with
// the text kProgressFromVariables the text, position, max and min are read
// from the progress variables in that order (a value that is not a decimal
// number stops the reading: the values read so far are used, the others
// keep the given ones). Finally, while max does not fit in 31 bits, min, max
// and position are divided by 1024, so byte counts above 2 GiB fit a bar.
ProgressView RefreshProgressValues(VariableStore& vars, std::string_view text, bool mirror_cancel,
                                   int64_t min, int64_t max, int64_t position);

// True for a silent run: the "s"/"qn" switch, or SILENT set by the script.
bool IsSilent(const EngineContext& engine);

// Caption of the engine's own message boxes: TITLE when VELKLOGO is true
// ("TRUE" in any case), else TITLE + " - Kestrawl Wizard", or
// "Kestrawl Wizard" when TITLE is empty.
std::string MessageBoxTitle(const VariableStore& vars);

namespace detail {
struct WorkerShared;
}

// Handed to the job: its only way to publish progress. Safe to call from the
// worker thread; once the wait has abandoned the worker, reports are ignored.
class ProgressReporter {
 public:
  explicit ProgressReporter(std::shared_ptr<detail::WorkerShared> shared);
  // Forwards a report (ForwardProgress rules). Returns false when the job
  // should stop: a stop was requested or the worker was abandoned.
  bool Report(std::string_view text, int64_t min, int64_t max, int64_t position) const;
  bool StopRequested() const;

 private:
  std::shared_ptr<detail::WorkerShared> shared_;
};

// The job of a worker. It runs on its own thread and must reach the engine
// only through the reporter: it may outlive the wait when it is abandoned,
// so whatever else it uses must be owned by the job itself.
using WorkerJob = std::function<void(std::stop_token, ProgressReporter&)>;

struct WorkerSpec {
  // The watchdog timer armed on cancellation (one of watchdog::k...).
  std::string watchdog_timer = watchdog::kPlugin;
  std::chrono::milliseconds watchdog_period = watchdog::kDefaultPeriod;
  // false: the first watchdog tick abandons the worker without looking at
  // the progress variables (the program runners).
  bool watch_progress = true;
  // Source of the ABORTEDONERROR assignment after a cancelled wait, naming
  // the operation ("Cancel at Extract-7Zip Time").
  std::string cancel_source;
  // false: a cancelled wait never shows "Setup cancelled" (a rollback).
  bool show_cancelled_message = true;
  // Called on every turn of a non-silent wait, on the UI thread (the
  // interpreter forwards its own progress values here). May be empty.
  std::function<void()> on_turn;
};

enum class WorkerOutcome {
  kCompleted,  // the job ended and no cancellation was requested
  kCancelled,  // the job ended (cooperatively) with VELK_IsCancelled true
  kAbandoned,  // the watchdog gave up on the job; it may still be running
};

struct WorkerResult {
  WorkerOutcome outcome = WorkerOutcome::kCompleted;
  // ABORTONERROR was true at a cancellation: the run must end (the run's
  // end_requested is set too); the caller takes the rollback path.
  bool end_run = false;
};

// Runs `job` on a worker thread and waits for it as described above. An
// exception thrown by the job is rethrown here once the job has ended (not
// for an abandoned job), before the cancellation handling.
WorkerResult RunWorker(EngineContext& engine, RunState& run, const WorkerSpec& job_spec, WorkerJob job);

}  // namespace kestrawl::script
