// The kinds that work on files and folders themselves: "Install Files",
// "Create Folder", "Delete Files" and "Copy/Move Local Files".
#include <algorithm>

#include "base/comma_list.h"
#include "base/win_path.h"
#include "engine/native/change_kinds.h"
#include "engine/native/file_placement.h"

namespace kestrawl::engine::native {

namespace fs = platform;

namespace {

bool HasWildcard(const std::string& text) { return text.find_first_of("?*") != std::string::npos; }

void CollectLocalFiles(fs::FileSystem& files, const std::string& folder, const std::string& relative,
                       const std::string& pattern, bool recurse, std::vector<LocalFile>* found) {
  if (recurse) {
    std::vector<fs::FileEntry> entries;
    files.List(folder + "*", &entries);
    for (const fs::FileEntry& entry : entries) {
      if (!entry.IsFolder() || entry.name == "." || entry.name == "..") continue;
      CollectLocalFiles(files, folder + entry.name + "\\", relative + entry.name + "\\", pattern, true, found);
    }
  }
  std::vector<fs::FileEntry> entries;
  files.List(folder + pattern, &entries);
  for (const fs::FileEntry& entry : entries)
    if (!entry.IsFolder()) found->push_back({folder + entry.name, relative, entry.size});
}

}  // namespace

std::vector<LocalFile> ListLocalFiles(fs::FileSystem& files, const std::string& folder, const std::string& pattern,
                                      bool recurse) {
  std::vector<LocalFile> found;
  CollectLocalFiles(files, base::IncludeTrailingBackslash(folder), "", pattern, recurse, &found);
  return found;
}

bool ApplyInstallFiles(NativeRun& run, const Fields& fields) {
  PlaceRequest request;
  request.mode = PlaceMode::kInstallFiles;
  request.read_only = FieldFlag(fields, 2);
  request.hidden = FieldFlag(fields, 3);
  request.system = FieldFlag(fields, 4);
  request.fail_on_unplaced = FieldFlag(fields, 5);
  request.self_register = FieldFlag(fields, 6);
  request.shared = FieldFlag(fields, 7);
  request.permanent = FieldFlag(fields, 8);
  request.skip_existing = FieldFlag(fields, 9);
  const std::string destination = base::IncludeTrailingBackslash(Field(fields, 1));
  struct ByteProgress {
    NativeRun& run;
    bool before;
    ~ByteProgress() { run.byte_progress = before; }
  } byte_progress{run, run.byte_progress};
  run.byte_progress = true;
  for (const GroupFile& file : WalkFileGroup(run.engine.script, Field(fields, 0))) {
    request.source = SourceFileOf(run, file.relative_source);
    const std::string subfolder = file.second.empty() ? "" : base::IncludeTrailingBackslash(file.second);
    request.destination = destination + subfolder + base::ExtractFileName(request.source);
    const PlaceOutcome outcome = PlaceFile(run, request);
    if (outcome == PlaceOutcome::kAborted || outcome == PlaceOutcome::kFailed) return false;
  }
  return true;
}

bool ApplyCreateFolder(NativeRun& run, const Fields& fields) {
  const std::string folder = Field(fields, 0);
  if (!run.Report(folder, 1024)) return false;
  fs::FileSystem& files = run.platform().Files();
  const bool logged = run.LogUndo("Create Folder", folder);
  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t {
        const fs::Win32Error err = files.CreateFolderTree(folder);
        return err != fs::err::kSuccess && files.FolderExists(folder) ? fs::err::kSuccess : err;
      },
      [&](uint32_t err) { return FailureMessage(err, folder); });
  if (outcome == OpOutcome::kAborted) return false;
  if (outcome == OpOutcome::kIgnored) {
    if (logged) run.DropLastUndo();
    return true;
  }
  run.Trace("        < " + folder + " >");
  return true;
}

bool ApplyDeleteFiles(NativeRun& run, const Fields& fields) {
  const std::string path = base::IncludeTrailingBackslash(Field(fields, 0)) + Field(fields, 1);
  if (!run.Report(path, 102400)) return false;
  fs::FileSystem& files = run.platform().Files();
  const std::string folder = base::ExtractFilePath(path);
  std::vector<fs::FileEntry> entries;
  files.List(path, &entries);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (it->IsFolder()) continue;
    files.SetAttributes(folder + it->name, fs::attr::kNormal);
    files.DeleteFile(folder + it->name);
  }
  run.Trace("        < " + path + " >");
  return true;
}

bool ApplyCopyMoveLocalFiles(NativeRun& run, const Fields& fields) {
  const std::string source_folder = base::IncludeTrailingBackslash(Field(fields, 0));
  const std::string pattern = Field(fields, 1);
  const std::string destination = base::IncludeTrailingBackslash(Field(fields, 2));
  const bool copy = FieldFlag(fields, 3);
  const bool recurse = FieldFlag(fields, 4);
  const std::string new_name = HasWildcard(pattern) || HasWildcard(Field(fields, 5)) ? "" : Field(fields, 5);
  if (!run.plan_mode &&
      !run.Report(source_folder + pattern + " -> " + base::ExcludeTrailingBackslash(destination), 1048576))
    return false;
  fs::FileSystem& files = run.platform().Files();
  for (const LocalFile& file : ListLocalFiles(files, source_folder, pattern, recurse)) {
    const std::string folder = destination + file.relative_folder;
    if (!files.FolderExists(folder) &&
        !run.ApplyNested("Create Folder", base::JoinCommaText({base::ExcludeTrailingBackslash(folder)})))
      return false;
    PlaceRequest request;
    request.mode = copy ? PlaceMode::kCopyLocal : PlaceMode::kMoveLocal;
    request.source = file.path;
    request.destination = folder + (new_name.empty() ? base::ExtractFileName(file.path) : new_name);
    if (PlaceFile(run, request) == PlaceOutcome::kAborted) return false;
  }
  run.Trace("        < " + source_folder + pattern + " -> " + destination + " >");
  return true;
}

}  // namespace kestrawl::engine::native
