// The interpreter: runs the compiled script held by the context from its
// first command to its end, leaving the exit code in the context. It checks
// the script first (pre-pass), prepares the run (predefined variables,
// bootstrap, labels, single instance), then fetches and executes commands:
// the control commands (blocks, loops, wizard loop, labels, include scripts)
// itself, plug-in commands through their libraries, every other command
// through the dispatch table. It never raises to its caller.
#pragma once

#include <functional>
#include <string>

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::script {

// Called before each command with its index; returning false ends the run.
using StepHook = std::function<bool(size_t command_index)>;

// `package_path` is the Windows Installer package the run may use (MSIFILE).
void RunScript(EngineContext& context, const std::string& package_path, const StepHook& step_hook = {});

// The same, on a run state the caller owns (tests inspect it afterwards).
void RunScript(EngineContext& context, RunState& run, const StepHook& step_hook = {});

}  // namespace kestrawl::script
