// The engine cache of an installed instance: written after "Apply Changes"
// installed (the cached setup, its state, the uninstall registration and
// the change log) and removed after it removed the instance.
#pragma once

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::maintenance {

// Step 9 of "Apply Changes" after a result of 1 or 2: writes (install) or
// removes (removing) the engine cache and the registration; in native mode
// the pending undo entries are then flushed to the change log.
void UpdateEngineCache(script::EngineContext& engine, script::RunState& run, bool removing);

}  // namespace kestrawl::maintenance
