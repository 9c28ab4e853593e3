// The engine cache of an installed instance: written after "Apply Changes"
// installed (a copy of the setup, its side files, the user's choices, the
// change log, the uninstall registration and the identity cache key) and
// removed after "Apply Changes" removed the instance.
#pragma once

#include <string>

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::maintenance {

inline constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Step 9 of "Apply Changes" after a result of 1 or 2: writes (installing)
// or removes (removing) the engine cache and the registration; in native
// mode the pending undo entries are flushed to the change log.
void UpdateEngineCache(script::EngineContext& engine, script::RunState& run, bool removing);

void WriteEngineCache(script::EngineContext& engine, script::RunState& run);
void RemoveEngineCache(script::EngineContext& engine, script::RunState& run);

// Runs a rollback of this run's changes. After a rollback of a first
// installation nothing of the instance is left: its change log and the
// engine cache folder (media cache included) are deleted too.
void RollBack(script::EngineContext& engine, script::RunState& run);

// Major and minor number of a version text ("5.2.1" -> 5, 2); parts that
// are not numbers count as 0.
void VersionNumbers(const std::string& version, uint32_t* major, uint32_t* minor);

}  // namespace kestrawl::maintenance
