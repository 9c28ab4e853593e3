// The pre-pass: checks the block structure and the required parameters of
// the whole script before anything runs, declaring the variables the checks
// need and filling the install state list. The first error stops it.
#pragma once

#include <string>

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::script {

// Error index for the count errors, which concern the whole script.
inline constexpr long kWholeScriptError = 2147483644;

struct CompileResult {
  long error_index = -1;  // -1: success
  std::string message = "Script compiled successfully";
  bool ok() const { return error_index == -1; }
};

CompileResult Compile(EngineContext& engine, RunState& run);

// True for the commands that are recorded for "Apply Changes".
bool IsInstallCommand(const std::string& name);

}  // namespace kestrawl::script
