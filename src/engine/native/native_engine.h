// The native engine's spine: a change is either recorded in the change plan
// (delayed mode) or applied at once by a native engine thread that runs on
// the worker protocol; the same thread runs a recorded plan
// ("DELAYEDINSTALL"), a rollback ("ROLLBACK") and the removal of an
// installed instance ("UNINSTALL").
#pragma once

#include <cstdint>
#include <string>

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::engine::native {

// The weight a recorded change adds to the plan total. "Copy/Move Local
// Files" weighs the sizes of the files its record matches now.
int64_t RecordingWeight(script::EngineContext& engine, const std::string& kind, const std::string& record);

// Record flag set: appends the change to the plan (true). Otherwise runs a
// native engine thread for kind (a change kind with its record, or
// "DELAYEDINSTALL", "ROLLBACK", "UNINSTALL") and waits for it. Returns false
// only when the run must stop (a cancellation with ABORTONERROR); the
// outcome of the change is in the native engine result.
bool RecordOrApply(script::EngineContext& engine, script::RunState& run, const std::string& kind,
                   size_t position, const std::string& record, bool record_flag);

// NATIVE_ROLLBACK is not "FALSE" and the installation has not completed in
// this run.
bool RollbackEnabled(script::EngineContext& engine, script::RunState& run);

}  // namespace kestrawl::engine::native
