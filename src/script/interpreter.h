// The interpreter: runs the compiled script held by the context from its
// first command to its end, leaving the exit code in the context. It never
// raises to its caller.
#pragma once

#include <string>

#include "script/engine_context.h"

namespace kestrawl::script {

// `package_path` is the Windows Installer package the run may use (MSIFILE).
void RunScript(EngineContext& context, const std::string& package_path);

}  // namespace kestrawl::script
