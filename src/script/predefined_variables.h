// The predefined variables of a run: their names (declared by the pre-pass),
// their values at run start, the command-line overrides, and the per-command
// refresh of a few of them.
#pragma once

#include <string>
#include <vector>

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::script {

// Every predefined variable name.
std::vector<std::string> PredefinedVariableNames();
// After the pre-pass and the clearing of the store: the predefined
// variables and the "Pre-Initialization" values.
void SetPredefinedVariables(EngineContext& engine, RunState& run);
// Just before the main loop: the remaining run-start values.
void SetRunStartVariables(EngineContext& engine, RunState& run);
// The command-line NAME=VALUE overrides, assigned last.
void ApplyCommandLineOverrides(EngineContext& engine);
// Before each command: log path, silent flag, title, logo switch, DATE, TIME.
void RefreshBeforeCommand(EngineContext& engine, RunState& run);

}  // namespace kestrawl::script
