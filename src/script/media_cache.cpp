#include "script/media_cache.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "base/text.h"
#include "base/win_path.h"
#include "maintenance/engine_cache_location.h"
#include "script/commands/archive_commands.h"
#include "script/variable_store.h"
#include "script/web_media_blocks.h"
#include "script/web_media_grab.h"
#include "script/worker_protocol.h"

namespace kestrawl::script {

namespace fs = platform;

namespace {

// Label of ABORTEDONERROR after a cancelled grab wait.
constexpr const char* kGrabCancelSource = "Cancel at Grab-Media Time";
// Extraction failures of kind "cannot be opened" retried without asking.
constexpr int kSilentOpenRetries = 9;

// Files below `folder` (recursively), as paths relative to it.
void ListFilesBelow(fs::FileSystem& files, const std::string& folder, const std::string& relative,
                    std::vector<std::string>* out) {
  std::vector<fs::FileEntry> entries;
  if (files.List(folder + relative + "*", &entries) != fs::err::kSuccess) return;
  for (const fs::FileEntry& e : entries) {
    if (e.IsFolder()) {
      ListFilesBelow(files, folder, relative + e.name + "\\", out);
    } else {
      out->push_back(relative + e.name);
    }
  }
}

// Removes the empty folders below `folder` and, when it ends up empty, the
// folder itself.
void RemoveEmptyFolders(fs::FileSystem& files, const std::string& folder) {
  std::vector<fs::FileEntry> entries;
  if (files.List(folder + "*", &entries) == fs::err::kSuccess) {
    for (const fs::FileEntry& e : entries) {
      if (e.IsFolder()) RemoveEmptyFolders(files, folder + e.name + "\\");
    }
  }
  files.RemoveFolder(base::ExcludeTrailingBackslash(folder));
}

// Moves every file below `from` into the same relative place below `to`.
bool MoveTree(fs::FileSystem& files, const std::string& from, const std::string& to) {
  std::vector<std::string> relative;
  ListFilesBelow(files, from, "", &relative);
  bool ok = true;
  for (const std::string& rel : relative) {
    const std::string target = to + rel;
    files.CreateFolderTree(base::ExtractFilePath(target));
    if (files.FileExists(target)) {
      files.SetAttributes(target, fs::attr::kNormal);
      files.DeleteFile(target);
    }
    if (files.MoveFile(from + rel, target, fs::move::kReplaceExisting | fs::move::kCopyAllowed) !=
        fs::err::kSuccess) {
      ok = false;
    }
  }
  if (ok) RemoveEmptyFolders(files, from);
  return ok;
}

std::string CompilerSetting(const CompiledScript& script, std::string_view name) {
  const auto& pairs = script.compiler_variables;
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (base::EqualsNoCase(pairs[i], name)) return pairs[i + 1];
  }
  return {};
}

bool HasCompilerSetting(const CompiledScript& script, std::string_view name) {
  const auto& pairs = script.compiler_variables;
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    if (base::EqualsNoCase(pairs[i], name)) return true;
  }
  return false;
}

std::string PercentText(const std::string& file, int percent) {
  return file + ", " + std::to_string(percent) + "% complete";
}

// Sets waiting_for_worker for the lifetime of a grab.
class WaitingScope {
 public:
  explicit WaitingScope(RunState& run) : run_(run), saved_(run.waiting_for_worker) {
    run_.waiting_for_worker = true;
  }
  ~WaitingScope() { run_.waiting_for_worker = saved_; }
  WaitingScope(const WaitingScope&) = delete;
  WaitingScope& operator=(const WaitingScope&) = delete;

 private:
  RunState& run_;
  bool saved_;
};

std::string StagingFolder(fs::Platform& platform) {
  std::string common;
  platform.Sys().SpecialFolder(fs::csidl::kCommonAppData, &common);
  return base::IncludeTrailingBackslash(common) + "velk\\";
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& x) { return base::EqualsNoCase(x, item); });
}

// Places one staged file at one target. `placed` remembers which staged file
// went where in this extraction, so that a stored path used twice is linked
// or copied from its first target.
bool PlaceFile(fs::FileSystem& files, const std::string& staged, const std::string& target,
               std::vector<std::pair<std::string, std::string>>& placed) {
  if (files.FileExists(target)) {
    files.SetAttributes(target, fs::attr::kNormal);
    files.DeleteFile(target);
  }
  if (!files.FileExists(staged)) {
    for (const auto& [from, to] : placed) {
      if (base::EqualsNoCase(from, staged)) return LinkOrCopy(files, to, target) == fs::err::kSuccess;
    }
    return false;
  }
  if (files.MoveFile(staged, target, fs::move::kReplaceExisting | fs::move::kCopyAllowed) ==
      fs::err::kSuccess) {
    placed.emplace_back(staged, target);
    return true;
  }
  // The move failed: keep the staged file and copy it instead.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (LinkOrCopy(files, staged, target) == fs::err::kSuccess) return true;
  }
  return false;
}

// True for a relative path that stays below the folder it is joined to (no
// drive, no leading separator, no ".." component): a damaged media file
// table must not reach files elsewhere on the machine.
bool StaysBelow(std::string_view path) {
  if (path.empty() || path[0] == '\\' || path[0] == '/' || path.find(':') != std::string_view::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::vector<MediaFileEntry> MediaFileTable(const CompiledScript& script) {
  std::vector<MediaFileEntry> table;
  const auto& lines = script.media_files;
  for (size_t i = 0; i + 2 < lines.size(); i += 3) {
    table.push_back({lines[i], lines[i + 1], lines[i + 2]});
  }
  return table;
}

std::string PackageIdentifier(const EngineContext& engine) { return engine.script.product_code; }

std::string CurrentMediaRoot(EngineContext& engine, RunState& run) {
  const std::string cache = maintenance::CurrentEngineCacheFolder(
      engine.platform, engine.variables, engine.script.product_code, engine.script.revision_code);
  const std::string root = cache + PackageIdentifier(engine) + "\\";
  fs::FileSystem& files = engine.platform.Files();
  if (!run.media_root.empty() && !base::EqualsNoCase(run.media_root, root) &&
      files.FolderExists(run.media_root)) {
    files.CreateFolderTree(root);
    MoveTree(files, run.media_root, root);
  }
  run.media_root = root;
  return root;
}

void DeleteFolderContents(fs::FileSystem& files, const std::string& folder) {
  const std::string dir = base::IncludeTrailingBackslash(folder);
  for (int pass = 0; pass < 3; ++pass) {
    std::vector<fs::FileEntry> entries;
    if (files.List(dir + "*", &entries) != fs::err::kSuccess) return;
    for (const fs::FileEntry& e : entries) {
      const std::string path = dir + e.name;
      if (e.IsFolder()) {
        files.DeleteTree(path);
      } else {
        files.SetAttributes(path, fs::attr::kNormal);
        files.DeleteFile(path);
      }
    }
  }
}

fs::Win32Error LinkOrCopy(fs::FileSystem& files, const std::string& source, const std::string& target) {
  if (files.FileExists(target)) {
    files.SetAttributes(target, fs::attr::kNormal);
    files.DeleteFile(target);
  }
  const char a = base::DriveLetterOf(source), b = base::DriveLetterOf(target);
  if (a != 0 && a == b && files.CreateHardLink(target, source) == fs::err::kSuccess) {
    return fs::err::kSuccess;
  }
  return files.CopyFile(source, target, false);
}

bool CopyIfDifferent(fs::FileSystem& files, const std::string& source, const std::string& target) {
  if (base::DriveLetterOf(target) == 0) return false;
  fs::FileEntry from, to;
  if (files.GetEntry(source, &from) != fs::err::kSuccess) return false;
  if (files.GetEntry(target, &to) == fs::err::kSuccess && to.size == from.size) return true;
  files.CreateFolderTree(base::ExtractFilePath(target));
  return files.CopyFile(source, target, false) == fs::err::kSuccess;
}

ExtractMediaResult ExtractMedia(fs::FileSystem& files, const media::ArchiveHost& host,
                                const ExtractMediaRequest& request, const MediaProgress& progress) {
  ExtractMediaResult result;
  const std::string staging = base::IncludeTrailingBackslash(request.staging);
  const std::string root = base::IncludeTrailingBackslash(request.media_root);
  const std::string block = base::ChangeFileExt(base::ExtractFileName(request.archive), "");
  const std::string staged_block = staging + block + "\\";
  // Leftovers of an earlier, failed extraction would be kept by the
  // skip-existing answer: start from an empty block folder.
  files.DeleteTree(base::ExcludeTrailingBackslash(staged_block));
  files.CreateFolderTree(staging);
  files.CreateFolderTree(root);

  std::string native_archive, native_staging;
  files.GetNativePath(request.archive, &native_archive);
  files.GetNativePath(staging, &native_staging);
  media::ArchiveCallbacks callbacks;
  callbacks.progress = [&](const std::string& file, uint64_t done, uint64_t total) {
    const int percent = total == 0 ? 0 : static_cast<int>(std::min<uint64_t>(done * 100 / total, 100));
    return !progress || progress(request.header + "\r" + PercentText(file, percent), percent);
  };
  if (!media::ExtractArchive(host, native_archive, request.password, media::WithTrailingSeparator(native_staging),
                             result.error, nullptr, &callbacks, /*skip_existing=*/true, /*flat=*/false)) {
    result.cannot_open = result.error == "#1" || result.error == kArchiveCannotBeOpenedText;
    return result;
  }

  if (!request.copy_web_block.empty()) {
    CopyIfDifferent(files, request.archive,
                    base::IncludeTrailingBackslash(request.copy_web_block) + base::ExtractFileName(request.archive));
  }

  // Placement by the media file table.
  std::vector<std::pair<std::string, std::string>> placed;
  for (const MediaFileEntry& entry : request.table) {
    if (!base::EqualsNoCase(base::ExcludeTrailingBackslash(entry.medium), block)) continue;
    if (!StaysBelow(entry.stored_path) || (!entry.target.empty() && !StaysBelow(entry.target))) {
      result.error = "Invalid media file entry " + entry.stored_path;
      return result;
    }
    const std::string folder = root + base::IncludeTrailingBackslash(entry.target);
    files.CreateFolderTree(folder);
    const std::string target = folder + base::ExtractFileName(entry.stored_path);
    if (!PlaceFile(files, staged_block + entry.stored_path, target, placed)) {
      result.error = "Unable to place " + entry.stored_path;
      return result;
    }
  }

  // Whatever the table does not name keeps its place below the block folder.
  if (files.FolderExists(staged_block) && !MoveTree(files, staged_block, root + block + "\\")) {
    result.error = "Unable to move the extracted files of " + block;
    return result;
  }
  files.RemoveFolder(base::ExcludeTrailingBackslash(staging));
  result.ok = true;
  return result;
}

bool CopyOfflineMedia(fs::FileSystem& files, const CopyMediaRequest& request, const MediaProgress& progress) {
  if (progress && !progress(std::string(kKeepProgressText), 0)) return false;
  std::string source = base::IncludeTrailingBackslash(request.source);
  if (!files.FolderExists(source + "offline") && !files.FolderExists(source + "mergemod")) {
    source = base::ExtractFilePath(base::ExcludeTrailingBackslash(source));
  }
  const std::string root = base::IncludeTrailingBackslash(request.media_root);

  // (source, target) pairs: offline files first, then merge modules.
  std::vector<std::pair<std::string, std::string>> work;
  std::vector<std::string> relative;
  ListFilesBelow(files, source + "offline\\", "", &relative);
  for (const std::string& rel : relative) work.emplace_back(source + "offline\\" + rel, root + "offline\\" + rel);
  relative.clear();
  ListFilesBelow(files, source + "mergemod\\", "", &relative);
  for (const std::string& rel : relative) work.emplace_back(source + "mergemod\\" + rel, root + rel);

  const size_t n = work.size();
  for (size_t k = 1; k <= n; ++k) {
    const auto& [from, to] = work[k - 1];
    const int percent = static_cast<int>(std::min<size_t>((k - 1) * 100 / n + 1, 100));
    if (progress && (!progress(std::string(kKeepProgressText), percent) ||
                     !progress(PercentText(base::ExtractFileName(from), percent), percent))) {
      return false;
    }
    files.CreateFolderTree(base::ExtractFilePath(to));
    if (!files.FileExists(to)) {
      if (request.keep_sources) {
        LinkOrCopy(files, from, to);
      } else if (files.MoveFile(from, to, fs::move::kCopyAllowed) != fs::err::kSuccess) {
        LinkOrCopy(files, from, to);
      }
    }
    if (!files.FileExists(to)) return false;
    files.SetCompression(to, request.compress);
  }
  if (!request.copy_web_block.empty() && !request.setup_executable.empty()) {
    std::string exe = request.setup_executable;
    std::string long_form;
    if (files.GetLongPath(exe, &long_form) == fs::err::kSuccess) exe = long_form;
    CopyIfDifferent(files, exe, base::IncludeTrailingBackslash(request.copy_web_block) + base::ExtractFileName(exe));
  }
  return true;
}

std::string SetupSourceFolder(const EngineContext& engine) {
  for (const char* name : {"GPOPATH", "SFXPATH", "EXEDIR"}) {
    const std::string value = engine.variables.GetVariable(name);
    if (!value.empty()) return base::IncludeTrailingBackslash(value);
  }
  return base::IncludeTrailingBackslash(engine.paths.executable_folder);
}

ExtractionRetryChoice AskRetryExtraction(EngineContext& engine) {
  if (engine.settings.silent || engine.variables.Silent()) return ExtractionRetryChoice::kCancel;
  const std::string text = std::string(kRetryExtractionText) + "\n\nYes: " + kRetryDownloadChoice +
                           "\nNo: " + kRetryExtractChoice + "\n\n" + kRetryExtractionNote;
  const int answer = engine.messages.ShowMessage(kRetryExtractionCaption, text, ui::MessageIcon::kQuestion,
                                                 ui::MessageButtons::kYesNoCancel);
  if (answer == ui::answer::kYes) return ExtractionRetryChoice::kDownloadAgain;
  if (answer == ui::answer::kNo) return ExtractionRetryChoice::kExtractAgain;
  return ExtractionRetryChoice::kCancel;
}

namespace {

MediaProgress ReporterProgress(ProgressReporter& reporter) {
  return [&reporter](const std::string& text, int percent) {
    return reporter.Report(text, 0, 100, percent);
  };
}

// Folders the grab creates are compressed when VELK_COMPRESS_INSTALLER_CACHE
// is true and made uncompressed otherwise (a volume that cannot compress
// keeps them as they are).
void ApplyCacheCompression(EngineContext& engine, const std::vector<std::string>& folders) {
  const bool compress = ToBoolean(engine.variables.GetVariable("VELK_COMPRESS_INSTALLER_CACHE"));
  for (const auto& folder : folders)
    engine.platform.Files().SetCompression(base::ExcludeTrailingBackslash(folder), compress);
}

void GrabOffline(EngineContext& engine, RunState& run, const std::string& root, const std::string& folder,
                 const std::string& marker) {
  fs::FileSystem& files = engine.platform.Files();
  files.CreateFolderTree(folder);
  CopyMediaRequest request;
  request.source = SetupSourceFolder(engine);
  request.media_root = root;
  request.compress = ToBoolean(engine.variables.GetVariable("VELK_COMPRESS_INSTALLER_CACHE"));
  ApplyCacheCompression(engine, {root, folder});
  request.keep_sources = ToBoolean(CompilerSetting(engine.script, "#CACHESOURCES#")) &&
                         engine.script.cache_mode == kMediaCachedKind;
  request.copy_web_block = engine.variables.GetVariable("COPYWEBLOCK");
  request.setup_executable = engine.variables.GetVariable("SFXPATH").empty()
                                 ? std::string()
                                 : base::IncludeTrailingBackslash(engine.variables.GetVariable("SFXPATH")) +
                                       engine.variables.GetVariable("SFXFILE");
  auto ok = std::make_shared<bool>(false);
  WorkerSpec worker;
  worker.watchdog_timer = watchdog::kMediaCopy;
  worker.cancel_source = kGrabCancelSource;
  fs::FileSystem* file_system = &files;
  const WorkerResult result =
      RunWorker(engine, run, worker, [file_system, request, ok](std::stop_token, ProgressReporter& reporter) {
        *ok = CopyOfflineMedia(*file_system, request, ReporterProgress(reporter));
      });
  if (result.outcome != WorkerOutcome::kCompleted || !*ok) {
    DeleteFolderContents(files, folder);
    throw EMediaGrab(kCopyFailedMessage);
  }
  files.WriteWholeFile(marker, "");
}

}  // namespace

void GrabMedium(EngineContext& engine, RunState& run, const std::string& name) {
  VariableStore& vars = engine.variables;
  if (ToBoolean(vars.GetVariable("REMOVE"))) return;
  WaitingScope waiting(run);
  fs::FileSystem& files = engine.platform.Files();
  const std::string medium = base::IncludeTrailingBackslash(name);

  for (;;) {  // a fresh download starts the whole grab again
    const std::string root = CurrentMediaRoot(engine, run);
    const std::string folder = root + medium;
    const std::string marker = folder + PackageIdentifier(engine);
    if (files.FolderExists(folder)) {
      if (files.FileExists(marker)) return;
      DeleteFolderContents(files, folder);
    }
    if (base::EqualsNoCase(medium, kOfflineMediumName)) {
      GrabOffline(engine, run, root, folder, marker);
      return;
    }

    const std::string block = WebBlockName(medium);
    const std::string archive_name = block + ".7zip";
    const std::string local = SetupSourceFolder(engine) + archive_name;
    const bool keep_archive = files.FileExists(local) && !Contains(run.bad_local_archives, local);
    std::string archive = keep_archive ? local : root + archive_name;
    if (!keep_archive) {
      std::string error;
      if (!GrabWebMedia(engine, run, block, archive, &error)) {
        throw EMediaGrab(error.empty() ? kWebDownloadFailedMessage : error);
      }
    }

    ExtractMediaRequest request;
    request.archive = archive;
    request.password = WebBlockPassword(engine.script, block);
    if (const WebMediaBlock* recorded = run.web_media.Find(block)) request.password = recorded->password;
    request.media_root = root;
    request.staging = StagingFolder(engine.platform);
    request.header = std::string(kExtractingWebMediaHeader) + block;
    request.copy_web_block = vars.GetVariable("COPYWEBLOCK");
    request.table = MediaFileTable(engine.script);
    const media::ArchiveHost host = MakeArchiveHost(engine);

    bool download_again = false;
    for (int retries = 0; !download_again;) {
      files.CreateFolderTree(folder);
      files.CreateFolderTree(request.staging);
      ApplyCacheCompression(engine, {root, folder, request.staging});
      auto outcome = std::make_shared<ExtractMediaResult>();
      WorkerSpec worker;
      worker.watchdog_timer = watchdog::kMediaExtraction;
      worker.cancel_source = kGrabCancelSource;
      fs::FileSystem* file_system = &files;
      const WorkerResult waited = RunWorker(
          engine, run, worker, [file_system, host, request, outcome](std::stop_token, ProgressReporter& reporter) {
            *outcome = ExtractMedia(*file_system, host, request, ReporterProgress(reporter));
          });
      const bool cancelled = waited.outcome != WorkerOutcome::kCompleted;
      if (!cancelled && outcome->ok) {
        // The archive goes only once its files are safely in place.
        if (!keep_archive) files.DeleteFile(archive);
        files.WriteWholeFile(marker, "");
        return;
      }
      DeleteFolderContents(files, folder);
      files.RemoveFolder(base::ExcludeTrailingBackslash(folder));
      if (!cancelled && outcome->cannot_open && ++retries <= kSilentOpenRetries) continue;
      if (cancelled) throw EMediaGrab(kExtractFailedMessage);
      switch (AskRetryExtraction(engine)) {
        case ExtractionRetryChoice::kCancel:
          vars.AssignVariable("VELK_IsCancelled", "TRUE", kExtractCancelSource);
          throw EMediaGrab(kExtractFailedMessage);
        case ExtractionRetryChoice::kDownloadAgain:
          if (keep_archive) {
            run.bad_local_archives.push_back(local);
          } else {
            files.DeleteFile(archive);
          }
          run.web_media.resume = false;
          download_again = true;
          break;
        case ExtractionRetryChoice::kExtractAgain:
          break;
      }
    }
  }
}

void CleanUpMediaCache(EngineContext& engine, RunState& run) {
  if (engine.script.cache_mode != kMediaCachedKind) return;
  if (!HasCompilerSetting(engine.script, "#CACHESOURCES#") ||
      !base::EqualsNoCase(CompilerSetting(engine.script, "#CACHESOURCES#"), "FALSE")) {
    return;
  }
  const std::string root = run.media_root.empty() ? CurrentMediaRoot(engine, run) : run.media_root;
  fs::FileSystem& files = engine.platform.Files();
  std::vector<fs::FileEntry> entries;
  if (files.List(root + "*", &entries) != fs::err::kSuccess) return;
  for (const fs::FileEntry& e : entries) {
    if (!e.IsFolder() || base::EqualsNoCase(e.name, "OFFLINE")) continue;
    DeleteFolderContents(files, root + e.name + "\\");
    files.RemoveFolder(root + e.name);
  }
}

}  // namespace kestrawl::script
