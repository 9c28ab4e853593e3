// The source check: before files are placed, the setup's data must be
// reachable (the marker file named by the instance code in the source
// folder); when it is not, the user is asked for the folder.
#pragma once

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::maintenance {

// True when the setup's data can be reached. for_apply_changes: the check
// of "Apply Changes" (which looks in the installed instance in cache mode 3).
bool CheckSources(script::EngineContext& engine, script::RunState& run, bool for_apply_changes);

}  // namespace kestrawl::maintenance
