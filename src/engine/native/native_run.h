// What a change sees while the native engine applies it: the engine and the
// run, the change being applied, progress reporting in weight units, the
// error prompt and the overwrite decision (run on the UI thread), nested
// changes, undo logging and trace lines.
//
// A NativeRun lives on the native engine thread for one thread run. Tests
// may build one directly and apply changes on their own thread: without a
// worker reporter progress still goes to the variables, and prompts run
// where they are called.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/native/native_state.h"
#include "platform/platform.h"
#include "script/engine_context.h"
#include "script/run_state.h"
#include "script/worker_protocol.h"

namespace kestrawl::engine::native {

// Outcome of an operation run through the error prompt.
enum class OpOutcome {
  kSucceeded,  // the operation worked (maybe after retries)
  kIgnored,    // it failed and the user (or NATIVE_ERROR) chose to go on without it
  kAborted,    // it failed and the run must stop
};

class NativeRun {
 public:
  NativeRun(script::EngineContext& engine, script::RunState& run);

  script::EngineContext& engine;
  script::RunState& run;
  NativeState& state;

  platform::Platform& platform() const { return engine.platform; }
  script::VariableStore& vars() const { return engine.variables; }

  // The change being applied.
  std::string kind;
  std::string record;
  size_t position = 0;    // 1-based command position
  bool plan_mode = false;     // running a change plan
  bool byte_progress = false; // an install kind is copying files
  bool rollback = false;      // a rollback: the bar runs back

  // The worker's reporter (null outside a worker: reports only update the
  // variables and never ask to stop).
  const script::ProgressReporter* reporter = nullptr;
  // Runs a prompt on the UI thread and waits for it (default: runs it here).
  std::function<void(const std::function<void()>&)> on_ui;

  // Adds weight to NATIVE_PROGRESS and reports text (kKeepProgressText keeps
  // the shown text) with max = progress total. False when the thread has been
  // asked to terminate: the caller stops the change and returns false.
  bool Report(const std::string& text, int64_t weight);
  bool TerminateRequested() const;

  // The error prompt. Returns abort; *retry tells whether to try again.
  bool ErrorPrompt(const std::string& message, int64_t error_code, bool* retry);
  // The overwrite decision for placing source over an existing destination.
  // Returns abort; *copy tells whether to overwrite.
  bool OverwriteDecision(const std::string& source, const std::string& destination, bool* copy);

  // Runs op until it returns 0, or the error prompt says to stop. message
  // builds the prompt text for an error code.
  OpOutcome Attempt(const std::function<uint32_t()>& op,
                    const std::function<std::string(uint32_t)>& message);

  // Applies a nested change through the same dispatch (its own trace lines),
  // then restores kind and record. Returns the change's result.
  bool ApplyNested(const std::string& nested_kind, const std::string& nested_record);

  // Undo logging of the change log unit, for this run.
  bool LogUndo(std::string_view change, const std::string& data_text);
  void DropLastUndo();

  // A line of the setup trace log.
  void Trace(const std::string& line);

  // Registry view of the engine bitness.
  platform::RegView RegistryView() const;
  // The engine bitness ("Win32", "ia64", "x64").
  const std::string& bitness() const;
  // ALLUSERS true.
  bool AllUsers() const;
  // A variable read as a boolean setting ("TRUE" any case or "-1").
  bool Setting(const char* name) const;
};

// The prompt text of a failed operation: the system message of code, two
// CRs, then the subject.
std::string FailureMessage(uint32_t code, const std::string& subject);

// Applies one change (dispatch on run.kind with run.record). True when the
// change was made, skipped or ignored; false when the run must stop.
bool ApplyChange(NativeRun& run);

}  // namespace kestrawl::engine::native
