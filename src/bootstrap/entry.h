// Process entry of the engine: selects the mode from the command line, runs
// the out-of-process extractor or the normal start-up (support folder, trace
// log, compiled script, resource archive, page pre-load, the interpreter,
// shutdown) and returns the process exit code. Start-up errors are shown
// through the message host unless the run is silent.
#pragma once

#include "platform/platform.h"
#include "ui/message_host.h"

namespace kestrawl::bootstrap {

// The full exit code (Linux keeps its low 8 bits when the process ends).
int RunEngine(platform::Platform& platform, ui::MessageHost& messages);

}  // namespace kestrawl::bootstrap
