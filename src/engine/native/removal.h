// The removal processor: walks the undo entries of a change log from the
// last to the first and reverses each change. Serves a rollback of the
// current run and the removal of an installed instance. Pending undo entries
// are flushed to the log first; the log files themselves are not changed,
// except that a log whose folder the flush had to create is deleted with
// that folder afterwards (the rollback of a first installation).
// Also the clean-up of a foreign change log after it was removed.
#pragma once

#include "engine/native/native_run.h"
#include "script/engine_context.h"

namespace kestrawl::engine::native {

// Returns the native engine result: 1 every entry processed, 0 stopped (an
// abort chosen in an error prompt, or a removal asked to terminate; a
// rollback ignores terminate requests). NATIVE_PROGRESS, the engine bitness
// and the progress total are as before afterwards.
int RunRemoval(NativeRun& run, bool uninstall);

// After NATIVE_LOGGING (a log prefix) was removed: when the folder of
// NATIVE_OLDLOG differs from the folder of NATIVE_LOGGING (ignoring case),
// the four log files at NATIVE_LOGGING are deleted; otherwise that folder is
// deleted with everything in it. A folder that is a drive or share root, or
// a system or profile folder (or one holding such a folder), is never
// deleted whole: only the four log files go. Does nothing while
// NATIVE_LOGGING is empty or "FALSE".
void CleanUpForeignLog(script::EngineContext& engine);

}  // namespace kestrawl::engine::native
