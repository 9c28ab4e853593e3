// The bootstrap of a run: works out the instance identity and its engine
// cache, decides between a first installation and a maintenance run, and
// sets the variables that describe this (PRODUCTCODE, REVISIONCODE,
// UNINSTALLLINK, ENGINECACHE, DATADIR, NEEDSUPGRADE, MAINTENANCE,
// NATIVE_OLDLOG, RECOMMENDEDUPGRADE with the source "Bootstrap", NEWINSTANCE
// with "Initialization", and outside maintenance TARGETDIR, STARTMENU and
// ALLUSERS). Runs once after the predefined variables, before the first
// command.
//
// Not built yet (each is a clearly separated step below): the installed
// test (IsInstanceInstalled answers false), so every run is a first
// installation; loading the previous choices (state file, pin list,
// property list); the previous-revision search behind NATIVE_OLDLOG and
// RECOMMENDEDUPGRADE (both left empty / "FALSE"). A first installation
// resets the component store (which defines the predefined component).
#pragma once

#include "maintenance/instance_identity.h"
#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::maintenance {

// Source under which the bootstrap assigns its variables.
inline constexpr const char* kBootstrapSource = "Bootstrap";

// Whether the instance is installed on the machine. Always false until the
// installed test (change log of the instance, installer product state) is
// built.
bool IsInstanceInstalled(script::EngineContext& engine, const InstanceIdentity& identity);

void RunBootstrap(script::EngineContext& engine, script::RunState& run);

// Recomputes ENGINECACHE and UNINSTALLLINK from PRODUCTCODE, REVISIONCODE
// and OVERRIDECACHE (called before every command, so that a changed
// OVERRIDECACHE moves the cache).
void RefreshEngineCacheVariables(script::EngineContext& engine);

}  // namespace kestrawl::maintenance
