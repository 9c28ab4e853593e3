#include "script/web_media_grab.h"

#include <memory>
#include <vector>

#include "media/download_progress.h"
#include "media/http_download.h"
#include "media/url_list.h"
#include "script/variable_store.h"
#include "script/web_media_blocks.h"
#include "script/worker_protocol.h"

namespace kestrawl::script {

namespace {

// Everything the `TGrabMedia` worker uses; shared with the job so that an
// abandoned worker never touches the caller's frame.
struct GrabJob {
  std::vector<std::string> urls;
  std::string target;
  std::string header;
  media::HttpDownloadOptions options;
  bool ok = false;
};

bool Fail(std::string* error) {
  if (error) *error = kWebDownloadFailedMessage;
  return false;
}

}  // namespace

std::string RetryPromptText(RetryPrompt prompt) {
  if (prompt == RetryPrompt::kUrlService) {
    return "Downloading of installation data from the web has failed. Please make sure you are connected to the "
           "Internet.\n\nIf you choose Cancel, setup will exit. However, you will be able to resume your download "
           "from where it left off when you re-run setup.";
  }
  return "Downloading of installation data from the web has failed. Would you like to try again?\n\nIf you choose "
         "No, setup will exit. However, you will be able to resume your download from where it left off when you "
         "re-run setup.";
}

bool AskRetryDownload(EngineContext& engine, WebMediaState& state, RetryPrompt prompt) {
  if (IsSilent(engine)) return false;
  if (prompt == RetryPrompt::kUrlService) {
    int answer = engine.messages.ShowMessage(kRetryDownloadCaption, RetryPromptText(prompt), ui::MessageIcon::kQuestion,
                                             ui::MessageButtons::kOkCancel);
    if (answer != ui::answer::kOk) return false;
    state.resume = true;
    return true;
  }
  int answer = engine.messages.ShowMessage(kRetryDownloadCaption, RetryPromptText(prompt), ui::MessageIcon::kQuestion,
                                           ui::MessageButtons::kYesNo);
  // The proxy edits start from the current settings, which stay in force.
  return answer == ui::answer::kYes;
}

bool GrabWebMedia(EngineContext& engine, RunState& run, const std::string& block_name,
                  const std::string& archive_path, std::string* error) {
  WebMediaState& state = run.web_media;
  const WebMediaBlock* block = state.Find(block_name);
  if (!block || block->urls.empty() || archive_path.empty()) return Fail(error);

  WorkerSpec worker;
  worker.watchdog_timer = watchdog::kWebMediaGrab;
  worker.cancel_source = kWeblockAbortSource;

  for (;;) {
    auto job = std::make_shared<GrabJob>();
    job->urls = block->urls;
    job->target = archive_path;
    job->header = std::string(kDownloadingWebMediaHeader) + WebBlockName(block_name);
    job->options.proxy = state.proxy;
    job->options.resume = state.resume;
    job->options.receive_timeout_seconds = run.download_timeout;
    platform::FileSystem& files = engine.platform.Files();

    WorkerResult result =
        RunWorker(engine, run, worker, [job, &files](std::stop_token stop, ProgressReporter& reporter) {
          job->options.stop = stop;
          job->options.progress = [&job = *job, &reporter](const std::string& text, uint64_t done, uint64_t total) {
            return reporter.Report(job.header + "\r" + text, 0, 100, media::DownloadPercent(done, total));
          };
          job->ok = media::DownloadFirstWorking(files, job->urls, job->target, job->options).ok;
          job->options.progress = nullptr;
        });

    if (result.outcome == WorkerOutcome::kCompleted && job->ok) return true;
    // A cancelled wait has already been reported; asking to retry it would
    // undo the user's cancellation.
    if (result.outcome != WorkerOutcome::kCompleted || result.end_run) return Fail(error);
    if (!AskRetryDownload(engine, state, RetryPrompt::kHttpClient)) return Fail(error);
    // The prompt may have replaced the block list's storage: look it up again.
    block = state.Find(block_name);
    if (!block) return Fail(error);
  }
}

}  // namespace kestrawl::script
