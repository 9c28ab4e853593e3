// The 7z commands of a script: "Extract 7Zip Archive", "Test 7Zip Archive",
// "Compress 7Zip Archive", "Delete 7Zip Archive" (each on a worker, with
// progress and cancellation) and "List 7Zip Archive" (directly). Results go
// to the named variable: "SUCCESS", or "#" + the library's error code.
#pragma once

#include <string>
#include <vector>

#include "media/archive_wrappers.h"
#include "script/command_dispatch.h"
#include "script/engine_context.h"

namespace kestrawl::script {

std::vector<HandlerEntry> ArchiveCommandHandlers();

// The archive host of this engine: its library, processor count and system
// bitness, and the out-of-process extractor as the last resort for an
// extraction that runs out of memory (not inside the extractor itself).
media::ArchiveHost MakeArchiveHost(EngineContext& engine);

// Repeats an extraction in a new engine process ("OutOfProcessExtract"):
// writes the request file (and its item list) to the temporary folder, runs
// the engine's own executable on it and reads the error text back. Returns
// success; a process that cannot be started gives "#1016".
bool ExtractOutOfProcess(EngineContext& engine, const media::OutOfProcessExtractRequest& request,
                         std::string& error);

}  // namespace kestrawl::script
