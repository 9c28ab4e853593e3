// The removal processor: walks the undo entries of a change log from the
// last to the first and reverses each change. Serves a rollback of the
// current run and the removal of an installed instance.
#pragma once

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

// Returns the native engine result: 1 done, 0 stopped.
int RunRemoval(NativeRun& run, bool uninstall);

}  // namespace kestrawl::engine::native
