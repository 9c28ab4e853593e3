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
// After the pre-pass and the clearing of the store: the progress and
// cancellation variables (written straight into the store) and the
// "Pre-Initialization" values TARGETDIR, STARTMENU and ALLUSERS.
void SetPredefinedVariables(EngineContext& engine, RunState& run);
// Just before the main loop (after the bootstrap): the "Initialization"
// values, then the removal of this product's pending resume entries, then
// LANGUAGE (empty until a translation is chosen).
void SetRunStartVariables(EngineContext& engine, RunState& run);
// The command-line NAME=VALUE overrides of engine.settings, assigned last
// and in order under kInjectOverrideSource; the variable store is given the
// same list, so that a silent run protects these names from the script.
void ApplyCommandLineOverrides(EngineContext& engine);
// Before each command: the trace log path from LOGGED, the silent flag from
// SILENT, ENGINECACHE and UNINSTALLLINK recomputed (OVERRIDECACHE may have
// changed), DATE and TIME set to the machine's current date and time in the
// user's short date and long time formats. TITLE and VELKLOGO are read
// where the message box title is made.
void RefreshBeforeCommand(EngineContext& engine, RunState& run);

}  // namespace kestrawl::script
