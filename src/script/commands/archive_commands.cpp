#include "script/commands/archive_commands.h"

#include <memory>

#include "base/guid.h"
#include "base/text.h"
#include "base/win_path.h"
#include "media/archive_library.h"
#include "script/command_context.h"
#include "script/run_state.h"
#include "script/worker_protocol.h"

namespace kestrawl::script {

namespace {

std::string Native(EngineContext& engine, const std::string& windows_path) {
  std::string native;
  return engine.platform.Files().GetNativePath(windows_path, &native) == platform::err::kSuccess ? native
                                                                                                : windows_path;
}

// A file list entry may end in a wildcard pattern, which is not a path the
// machine can resolve: the folder part is converted, the pattern kept.
std::string NativePattern(EngineContext& engine, const std::string& windows_path) {
  std::string name = base::ExtractFileName(windows_path);
  if (name.find_first_of("*?") == std::string::npos) return Native(engine, windows_path);
  std::string folder = Native(engine, base::ExcludeTrailingBackslash(base::ExtractFilePath(windows_path)));
  return media::WithTrailingSeparator(folder) + name;
}

std::vector<std::string> SplitBars(const std::string& text) {
  if (text.empty()) return {};
  return base::Split(text, '|');
}

// "name, NN% complete" (or "NN% complete" alone) from a library report.
std::string ProgressText(const std::string& file, uint64_t done, uint64_t total, bool with_name, int64_t* percent) {
  uint64_t p = total ? done * 100 / total + 1 : 1;
  if (p > 100) p = 100;
  *percent = static_cast<int64_t>(p);
  std::string name = file;
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  std::string text = std::to_string(p) + "% complete";
  return with_name ? name + ", " + text : text;
}

// What a worker needs after the wait may have given up on it: everything is
// owned here, shared with the job.
struct ArchiveJob {
  media::ArchiveHost host;
  std::string archive, password, destination, switches;
  std::vector<std::string> first, second;
  std::vector<std::string> items;
  bool has_items = false, skip_existing = false, flat = false;
  uint32_t update_mode = 0, kind = 0;
  bool ok = false;
  std::string error;
};

enum class Operation { kExtract, kTest, kCompress, kDelete };

void RunArchiveWorker(CommandContext& ctx, Operation op, std::shared_ptr<ArchiveJob> job, size_t result_param) {
  WorkerSpec worker;
  switch (op) {
    case Operation::kExtract:
    case Operation::kTest:
      worker.watchdog_timer = watchdog::kExtract7Zip;
      worker.cancel_source = "Cancel at Extract-7Zip Time";
      break;
    case Operation::kCompress:
      worker.watchdog_timer = watchdog::kCompress7Zip;
      worker.cancel_source = "Cancel at Compress-7Zip Time";
      break;
    case Operation::kDelete:
      worker.watchdog_timer = watchdog::kDelete7Zip;
      worker.cancel_source = "Cancel at Delete-7Zip Time";
      break;
  }
  WorkerResult result = RunWorker(ctx.engine, ctx.run, worker, [job, op](std::stop_token, ProgressReporter& reporter) {
    media::ArchiveCallbacks callbacks;
    callbacks.progress = [&reporter, op](const std::string& file, uint64_t done, uint64_t total) {
      int64_t percent = 0;
      std::string text = ProgressText(file, done, total, op != Operation::kDelete, &percent);
      return reporter.Report(text, 0, 100, percent);
    };
    switch (op) {
      case Operation::kExtract:
        job->ok = media::ExtractArchive(job->host, job->archive, job->password, job->destination, job->error,
                                        job->has_items ? &job->items : nullptr, &callbacks, job->skip_existing,
                                        job->flat);
        break;
      case Operation::kTest:
        job->ok = media::TestArchive(job->host, job->archive, job->password, job->error, &callbacks);
        break;
      case Operation::kCompress:
        job->ok = media::CreateArchive(job->host, job->archive, job->password, job->switches, &callbacks, job->first,
                                       job->second, job->error, job->update_mode, job->kind);
        break;
      case Operation::kDelete:
        job->ok = media::DeleteFromArchive(job->host, job->archive, job->password, job->error, &callbacks,
                                           job->items);
        break;
    }
  });
  const std::string variable = ctx.ResultName(result_param);
  if (!variable.empty()) {
    if (result.outcome == WorkerOutcome::kAbandoned) {
      ctx.SetResult(variable, job->error.empty() ? "#" + std::to_string(ZEL_E_CANCELLED) : job->error);
    } else {
      ctx.SetResult(variable, job->ok ? "SUCCESS" : job->error);
    }
  }
}

std::shared_ptr<ArchiveJob> NewJob(CommandContext& ctx) {
  auto job = std::make_shared<ArchiveJob>();
  job->host = MakeArchiveHost(ctx.engine);
  job->archive = Native(ctx.engine, ctx.Path(1));
  return job;
}

void ExtractCommand(CommandContext& ctx) {
  auto job = NewJob(ctx);
  const std::string destination = ctx.Path(2);
  ctx.engine.platform.Files().CreateFolderTree(destination);
  job->destination = media::WithTrailingSeparator(Native(ctx.engine, destination));
  job->password = ctx.Text(4);
  job->skip_existing = ctx.Flag(5);
  job->flat = ctx.Flag(6);
  RunArchiveWorker(ctx, Operation::kExtract, job, 3);
}

void TestCommand(CommandContext& ctx) {
  auto job = NewJob(ctx);
  job->password = ctx.Text(2);
  RunArchiveWorker(ctx, Operation::kTest, job, 3);
}

void CompressCommand(CommandContext& ctx) {
  auto job = NewJob(ctx);
  job->password = ctx.Text(2);
  for (const auto& item : SplitBars(ctx.Path(3))) job->first.push_back(NativePattern(ctx.engine, item));
  for (const auto& item : SplitBars(ctx.Path(4))) job->second.push_back(NativePattern(ctx.engine, item));
  ctx.engine.platform.Files().CreateFolderTree(base::ExtractFilePath(ctx.Path(1)));
  static constexpr uint32_t kKinds[] = {0, 5, 4, 6, 130, 132, 1};
  int32_t kind = 0;
  if (!ParseInt32(ctx.Text(5), &kind) || kind < 0 || kind > 6) kind = 0;
  job->kind = kKinds[kind];
  job->switches = ctx.Text(6);
  // Parameters 7, 8, 9 select update modes 2, 0, 1; the last true one wins;
  // none keeps the mode of the previous compression.
  if (ctx.Flag(7)) ctx.run.compress_update_mode = 2;
  if (ctx.Flag(8)) ctx.run.compress_update_mode = 0;
  if (ctx.Flag(9)) ctx.run.compress_update_mode = 1;
  job->update_mode = ctx.run.compress_update_mode;
  RunArchiveWorker(ctx, Operation::kCompress, job, 10);
}

void DeleteCommand(CommandContext& ctx) {
  auto job = NewJob(ctx);
  job->password = ctx.Text(2);
  job->items = SplitBars(ctx.Path(3));
  RunArchiveWorker(ctx, Operation::kDelete, job, 4);
}

void ListCommand(CommandContext& ctx) {
  media::ArchiveHost host = MakeArchiveHost(ctx.engine);
  std::vector<std::string> names;
  std::string error;
  std::string value;
  if (media::ListArchive(host, Native(ctx.engine, ctx.Path(1)), ctx.Text(2), error, names)) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (i) value += "|";
      const std::string& n = names[i];
      value += n.find_first_of(" \"") == std::string::npos ? n : "\"" + n + "\"";
    }
  } else {
    value = "#ERROR\\" + error;
  }
  const std::string variable = ctx.ResultName(3);
  if (!variable.empty()) ctx.SetResult(variable, value);
}

}  // namespace

media::ArchiveHost MakeArchiveHost(EngineContext& engine) {
  media::ArchiveHost host;
  host.library = engine.archive;
  host.processors = engine.platform.Sys().Facts().processors;
  host.windows_64bit = engine.platform.Sys().Facts().os64;
  host.out_of_process_extract = [&engine](const media::OutOfProcessExtractRequest& request, std::string& error) {
    return ExtractOutOfProcess(engine, request, error);
  };
  return host;
}

bool ExtractOutOfProcess(EngineContext& engine, const media::OutOfProcessExtractRequest& request,
                         std::string& error) {
  platform::FileSystem& files = engine.platform.Files();
  std::string temp = engine.paths.temp_folder.empty() ? engine.platform.Sys().TempFolder() : engine.paths.temp_folder;
  const std::string job = base::IncludeTrailingBackslash(temp) + base::NewGuid();
  auto flag = [](bool b) { return std::string(b ? "TRUE" : "FALSE"); };
  files.WriteWholeFile(job, "\xEF\xBB\xBF" + request.archive + "\r\n" + request.password + "\r\n" +
                                request.destination + "\r\n" + flag(request.flat) + "\r\n" +
                                flag(request.skip_existing) + "\r\n");
  std::string items;
  if (request.items)
    for (const auto& item : *request.items) items += item + "\r\n";
  files.WriteWholeFile(job + "items", items);
  uint32_t exit_code = 0;
  const std::string command = "\"" + engine.platform.Procs().ExecutablePath() + "\" OutOfProcessExtract \"" + job + "\"";
  bool ok = false;
  if (engine.platform.Procs().Run(command, "", true, &exit_code) != platform::err::kSuccess) {
    error = "#1016";
  } else {
    std::string text;
    files.ReadWholeFile(job, &text);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::string first = text.substr(0, text.find_first_of("\r\n"));
    error = first;
    ok = first.empty();
  }
  files.DeleteFile(job);
  files.DeleteFile(job + "items");
  return ok;
}

std::vector<HandlerEntry> ArchiveCommandHandlers() {
  return {{"Extract 7Zip Archive", ExtractCommand},
          {"Test 7Zip Archive", TestCommand},
          {"Compress 7Zip Archive", CompressCommand},
          {"Delete 7Zip Archive", DeleteCommand},
          {"List 7Zip Archive", ListCommand}};
}

}  // namespace kestrawl::script
