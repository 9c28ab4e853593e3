// Plug-in commands: a command whose name is in the script's plug-in list is
// carried out by a plug-in library of the setup (the contract a library
// offers is plugin_api.h). RunPluginCommand finds the library in the support
// folder, hands it every variable and the command's parameter line on a
// worker thread, forwards its progress into the progress variables, handles
// cancellation while it runs and writes the variables it returns.
//
// Library location: support folder + the last "\"-separated part of
// parameter 2. Libraries kept in a command's media folder (and web media
// fetched for them) are not looked for yet: such a command also looks in the
// support folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "script/command_context.h"

namespace kestrawl::script {

// Shown (error icon) unless silent when the library file does not exist or
// cannot be loaded; the command is then skipped.
inline constexpr const char* kPluginMissingMessage =
    "Unable to load plug-in library. Please rebuild your project and make sure all required "
    "plug-ins are installed.\r\rAction skipped";
// Shown (error icon) after a cancelled call, unless silent or already aborted.
inline constexpr const char* kPluginCancelledMessage = "Setup cancelled";
// Raised when a call produced no result and ABORTONERROR is true.
inline constexpr const char* kPluginFailureMessage = "General setup failure";
// Source of the ABORTEDONERROR assignment after a cancelled call.
inline constexpr const char* kPluginCancelSource = "Cancel at Plug-In Time";

// After a cancellation, a plug-in that reports no progress for this long is
// abandoned: the command stops waiting for it and its library stays loaded.
inline constexpr uint32_t kPluginWatchdogMs = 5000;
// Result lengths above this many characters count as failure.
inline constexpr int32_t kPluginMaxResultLength = 16 * 1024 * 1024;

// Carries out the current command of ctx as a plug-in command. Raises
// EScriptError(kPluginFailureMessage) when the call gave no result and
// ABORTONERROR is true; sets ctx.run.end_requested when a cancelled call must
// end the run.
void RunPluginCommand(CommandContext& ctx);

// The parameter text handed to a plug-in: the parameter line normalised as a
// comma text, blanks inside items kept ("a b,c" -> "\"a b\",c").
std::string PluginParameterText(std::string_view parameter);

// The library's Windows path for parameter 2 (support folder + last part);
// empty when parameter 2 names no file.
std::string PluginLibraryPath(const std::string& support_folder, std::string_view parameter2);

}  // namespace kestrawl::script
