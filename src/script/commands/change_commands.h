// The change commands ("Write Registry", "Install Files", "Create Shortcut",
// ...) and "Apply Changes"/"Apply Patch". A change command never touches the
// machine itself: in native mode it builds its change record from its
// parameters and hands it to the native engine (recorded for "Apply
// Changes" or applied at once); in Windows Installer mode it switches on
// its prebuilt rows through run properties.
#pragma once

#include <string>
#include <vector>

#include "script/command_dispatch.h"
#include "script/compiled_script.h"

namespace kestrawl::script {

class CommandContext;

// The change record of the change command ctx (fields as the native engine
// consumes them, joined as a comma list).
std::string BuildChangeRecord(CommandContext& ctx);

// The 8-digit command header of a command index ("" when it has none).
std::string CommandHeaderOf(const CompiledScript& script, size_t command_index);

std::vector<HandlerEntry> ChangeCommandHandlers();

}  // namespace kestrawl::script
