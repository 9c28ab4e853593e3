// The variable commands: "Set Variable" (with its side effects on ABORT,
// VELK_TIMEOUT, PROGRESS/PROGRESSTEXT and NATIVE_LOGGING), "Get Environment",
// "Get Temporary File", "Set 64 Bit Mode" and the no-op commands "Comment"
// and "Ignore". They compute values into script variables and RunState; only
// "Get Temporary File" touches the machine (it creates an empty file).
#pragma once

#include <string_view>
#include <vector>

#include "script/command_context.h"
#include "script/command_dispatch.h"

namespace kestrawl::script {

// Separates the variable name of "Set Variable" from its persistence flag
// ("PREREQ$VELK$VELK$TRUE").
inline constexpr std::string_view kSaveMarker = "$VELK$VELK$";
// Origin of the VELK_IsCancelled copy written when a script sets ABORT.
inline constexpr std::string_view kAbortMirrorSource = "Set Variable Tricke";
// Download time-out used when VELK_TIMEOUT is not an integer.
inline constexpr int kDefaultDownloadTimeout = 10;

void SetVariableCommand(CommandContext& ctx);
void GetEnvironmentCommand(CommandContext& ctx);
void GetTemporaryFileCommand(CommandContext& ctx);
void Set64BitModeCommand(CommandContext& ctx);
void CommentCommand(CommandContext& ctx);
void IgnoreCommand(CommandContext& ctx);

// Every command of the "variables" family: the ones above and those of
// string_commands.h, path_commands.h and math_commands.h.
std::vector<HandlerEntry> VariableCommandHandlers();

}  // namespace kestrawl::script
