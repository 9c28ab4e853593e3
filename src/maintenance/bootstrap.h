// The bootstrap of a run: works out the instance identity and its engine
// cache, decides between a first installation and a maintenance run, and
// sets the variables that describe this (PRODUCTCODE, REVISIONCODE,
// UNINSTALLLINK, ENGINECACHE, DATADIR, NEEDSUPGRADE, MAINTENANCE,
// NATIVE_OLDLOG, RECOMMENDEDUPGRADE with the source "Bootstrap", NEWINSTANCE
// with "Initialization", and outside maintenance TARGETDIR, STARTMENU and
// ALLUSERS). Runs once after the predefined variables, before the first
// command.
//
// Installed means: the change log of the instance exists at its engine
// cache and the identity cache names that cache. A maintenance run loads the
// previous choices (state file, pin list, property list) from the cache; a
// first installation resets the component store. A change log of another
// revision of the same instance sets NATIVE_OLDLOG and RECOMMENDEDUPGRADE.
#pragma once

#include "maintenance/instance_identity.h"
#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::maintenance {

// Source under which the bootstrap assigns its variables.
inline constexpr const char* kBootstrapSource = "Bootstrap";

// Whether the instance is installed on the machine through the native
// engine (no installer product state exists on this machine).
bool IsInstanceInstalled(script::EngineContext& engine, const InstanceIdentity& identity);

void RunBootstrap(script::EngineContext& engine, script::RunState& run);

// Recomputes ENGINECACHE and UNINSTALLLINK from PRODUCTCODE, REVISIONCODE
// and OVERRIDECACHE (called before every command, so that a changed
// OVERRIDECACHE moves the cache).
void RefreshEngineCacheVariables(script::EngineContext& engine);

}  // namespace kestrawl::maintenance
