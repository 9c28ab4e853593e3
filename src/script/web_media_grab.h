// Bringing the archive of a web media block to the media cache: the
// `TGrabMedia` worker tries the block's URLs in order (receive timeout from
// VELK_TIMEOUT, the shared proxy settings and resume flag) and forwards
// "Downloading Web Media: <block>" + CR + the download text as progress.
// When every URL fails, the retry prompt is asked (never in silent mode);
// declining it, or a cancelled wait, ends the grab with
// kWebDownloadFailedMessage.
#pragma once

#include <string>

#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::script {

inline constexpr const char* kWebDownloadFailedMessage = "Unable to download installation data from the web";
inline constexpr const char* kRetryDownloadCaption = "Retry Download?";
// Origin of ABORTEDONERROR when a download wait is cancelled.
inline constexpr const char* kWeblockAbortSource = "Weblock Abort";

// The two retry prompts: `TzelProxyEx` follows a failure of the system's URL
// download service, `TzelProxy` a failure of the HTTP client (the only
// download path of this engine).
enum class RetryPrompt { kUrlService, kHttpClient };

// The text of a retry prompt as the message box shows it.
std::string RetryPromptText(RetryPrompt prompt);

// Asks whether to download again. kHttpClient: "Yes" retries with the
// proxy settings kept; kUrlService: "OK" retries, resuming the partial
// archive (the prompt's default choice). Silent runs are never asked:
// false at once.
bool AskRetryDownload(EngineContext& engine, WebMediaState& state, RetryPrompt prompt);

// Downloads the archive of the block `block_name` (recorded by "Web Media
// Block"; a trailing backslash is ignored) to `archive_path`. Returns true
// on success; otherwise false with `*error` (when given) set to
// kWebDownloadFailedMessage.
bool GrabWebMedia(EngineContext& engine, RunState& run, const std::string& block_name,
                  const std::string& archive_path, std::string* error);

}  // namespace kestrawl::script
