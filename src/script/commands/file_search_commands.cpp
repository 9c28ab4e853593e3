#include "script/commands/file_search_commands.h"

#include <memory>
#include <mutex>

#include "base/win_path.h"
#include "script/command_context.h"
#include "script/commands/wow64_file_view.h"
#include "script/run_state.h"
#include "script/worker_protocol.h"

namespace kestrawl::script {
namespace {

// Folders nested deeper than this are not searched: a folder link that
// points back up its own tree would otherwise be followed for ever.
constexpr int kMaxDepth = 512;

void SearchFolder(platform::FileSystem& files, const std::string& folder, const std::string& name, bool subfolders,
                  bool folders, const std::function<void(const std::string&)>& found, const SearchProgress& progress,
                  int depth, bool& stopped) {
  if (stopped) return;
  if (progress && !progress(folder)) {
    stopped = true;
    return;
  }
  std::vector<platform::FileEntry> entries;
  if (subfolders && depth < kMaxDepth && files.List(folder + "*", &entries) == platform::err::kSuccess) {
    for (const auto& e : entries) {
      if (!e.IsFolder()) continue;
      const std::string sub = folder + e.name;
      SearchFolder(files, sub + "\\", name, subfolders, folders, found, progress, depth + 1, stopped);
      if (stopped) return;
      if (folders) found(sub);
    }
  }
  entries.clear();
  if (name.empty() || files.List(folder + name, &entries) != platform::err::kSuccess) return;
  for (const auto& e : entries)
    if (!e.IsFolder()) found(folder + e.name);
}

std::vector<std::string> SearchAll(platform::FileSystem& files, const std::string& pattern) {
  std::vector<std::string> paths;
  SearchFiles(files, pattern, true, true, [&paths](const std::string& p) { paths.push_back(p); });
  return paths;
}

// What the search worker owns: it may outlive the wait when abandoned.
struct SearchJob {
  platform::FileSystem* files = nullptr;
  std::string pattern;
  bool subfolders = false, folders = false;
  std::mutex mu;
  std::vector<std::string> found;
};

void FindAllFilesCommand(CommandContext& ctx) {
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);
  const std::string variable = ctx.ResultName(4);
  auto job = std::make_shared<SearchJob>();
  job->files = &ctx.engine.platform.Files();
  job->pattern = ctx.Path(1);
  job->subfolders = ctx.Flag(2);
  job->folders = ctx.Flag(3);

  WorkerSpec worker;
  worker.watchdog_timer = watchdog::kFindAllFiles;
  worker.cancel_source = "Cancel at Find-Files Time";
  const WorkerResult result = RunWorker(ctx.engine, ctx.run, worker, [job](std::stop_token, ProgressReporter& reporter) {
    SearchFiles(
        *job->files, job->pattern, job->subfolders, job->folders,
        [&job](const std::string& path) {
          std::lock_guard lock(job->mu);
          job->found.push_back(path);
        },
        [&reporter](const std::string& folder) {
          return reporter.Report(folder, 0, 0, kKeepProgressPosition);
        });
  });
  if (result.end_run) return;

  std::vector<std::string> found;
  {
    std::lock_guard lock(job->mu);
    found = job->found;
  }
  ctx.SetResult(variable, JoinFoundPaths(found));
}

// The machine has no security model yet, so the permission override before
// each deletion has nothing to do here.
void DeleteFilesRecursiveCommand(CommandContext& ctx) {
  Wow64FileView view(ctx.engine.platform.Sys(), ctx.run.bitness);
  platform::FileSystem& files = ctx.engine.platform.Files();
  const std::string pattern = ctx.Path(1);

  // A folder can only go once it is empty, and each pass removes folders in
  // an order that empties only the deepest ones: repeat while a pass
  // changes what the search finds.
  std::vector<std::string> entries = SearchAll(files, pattern);
  for (;;) {
    const size_t count = entries.size();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      files.SetAttributes(*it, platform::attr::kNormal);
      files.DeleteFile(*it);
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) files.RemoveFolder(*it);
    entries = SearchAll(files, pattern);
    if (entries.size() == count) break;
  }
}

}  // namespace

void SearchFiles(platform::FileSystem& files, const std::string& pattern, bool subfolders, bool folders,
                 const std::function<void(const std::string&)>& found, const SearchProgress& progress) {
  if (pattern.empty()) return;
  bool stopped = false;
  SearchFolder(files, base::ExtractFilePath(pattern), base::ExtractFileName(pattern), subfolders, folders, found,
               progress, 0, stopped);
}

std::string JoinFoundPaths(const std::vector<std::string>& paths) {
  std::string out;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i) out += '|';
    const std::string& p = paths[i];
    if (p.find_first_of(" \"|") == std::string::npos) {
      out += p;
      continue;
    }
    out += '"';
    for (char c : p) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::vector<HandlerEntry> FileSearchCommandHandlers() {
  return {{"Find All Files", FindAllFilesCommand}, {"Delete Files Recursive", DeleteFilesRecursiveCommand}};
}

}  // namespace kestrawl::script
