// Undo kinds for files and folders: "Delete File", "Unshare File",
// "Unshare Self Registering File", "Unregister File" and "Delete Folder",
// with the in-use deletion and the unregistration they share.
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/file_placement.h"
#include "engine/native/undo_kinds.h"
#include "engine/native/undo_shared.h"
#include "platform/file_version.h"

namespace kestrawl::engine::native {

namespace {

namespace fs = platform;
namespace err = platform::err;

constexpr const char* kSharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
// Count assumed for a SharedDlls value that is not a double word: the file
// is then never taken to be unused.
constexpr int64_t kUnreadableShareCount = 10000;

// True when the folder exists and holds nothing. A folder that cannot be
// listed is not empty.
bool FolderIsEmpty(fs::FileSystem& files, const std::string& folder) {
  if (!files.FolderExists(folder)) return false;
  std::vector<fs::FileEntry> entries;
  return files.List(base::IncludeTrailingBackslash(folder) + "*", &entries) == err::kFileNotFound;
}

UndoResult Unshare(UndoStep& step, const UndoData& data, bool self_registering) {
  NativeRun& run = step.run;
  const std::string& file = Field(data, 0);
  const std::string subject = std::string("HKEY_LOCAL_MACHINE\\") + kSharedDllsKey + "\\" + file;
  if (!step.Report(subject, step.weight)) return UndoResult::kStop;
  if (file.empty()) return UndoResult::kDone;

  fs::Registry& reg = run.platform().Reg();
  const fs::RegView view = run.RegistryView();
  fs::RegValue value;
  if (reg.GetValue(fs::RegRoot::kLocalMachine, kSharedDllsKey, file, view, &value) != err::kSuccess)
    return UndoResult::kDone;
  const int64_t count = value.type == fs::regtype::kDword ? value.AsDword() : kUnreadableShareCount;
  const int64_t remaining = count - 1;

  const OpOutcome counted = run.Attempt(
      [&]() -> uint32_t {
        if (remaining > 0)
          return reg.SetValue(fs::RegRoot::kLocalMachine, kSharedDllsKey, file, view,
                              fs::RegValue::Dword(static_cast<uint32_t>(remaining)));
        const uint32_t rc = reg.DeleteValue(fs::RegRoot::kLocalMachine, kSharedDllsKey, file, view);
        return rc == err::kFileNotFound ? err::kSuccess : rc;
      },
      [&](uint32_t code) { return FailureMessage(code, subject); });
  if (counted == OpOutcome::kAborted) return UndoResult::kStop;

  if (remaining <= 0) {
    if (self_registering) {
      if (!step.Report("unregsvr32 " + file, 0)) return UndoResult::kStop;
      UnregisterFile(run, file);
    }
    if (DeleteFileInUse(run, file) == OpOutcome::kAborted) return UndoResult::kStop;
  }
  run.Trace("        < " + file + " >");
  return UndoResult::kDone;
}

}  // namespace

OpOutcome DeleteFileInUse(NativeRun& run, const std::string& file) {
  fs::FileSystem& files = run.platform().Files();
  return run.Attempt(
      [&]() -> uint32_t {
        if (!files.FileExists(file)) return err::kSuccess;
        files.SetAttributes(file, fs::attr::kNormal);
        const fs::Win32Error rc = files.DeleteFile(file);
        if (rc == err::kSuccess || !files.FileExists(file)) return err::kSuccess;
        // Deleted after all, or moved aside and deleted at restart.
        if (!FreeDestination(run, file, true)) return err::kSuccess;
        if (ScheduleAtRestart(run, file, "") == err::kSuccess) {
          run.state.reboot_pending = true;
          return err::kSuccess;
        }
        return rc;
      },
      [&](uint32_t code) { return FailureMessage(code, file); });
}

void UnregisterFile(NativeRun& run, const std::string& file) {
  if (!run.platform().Files().FileExists(file)) return;
  const std::string folder = base::ExtractFilePath(file);
  uint32_t exit_code = 0;
  if (base::EqualsNoCase(base::ExtractFileExt(file), ".exe")) {
    run.platform().Procs().Run("\"" + file + "\" /unregserver", folder, true, &exit_code);
    return;
  }
  // The registrar runs in the bitness of the library's image.
  std::string& bitness = run.run.bitness;
  const std::string saved = bitness;
  bitness = fs::IsPe64File(run.platform().Files(), file) ? "x64" : "Win32";
  const std::string command = "\"" + RegistrarFolder(run, file) + "regsvr32.exe\" \"" + file + "\" /u /s";
  run.platform().Procs().Run(command, folder, true, &exit_code);
  bitness = saved;
}

UndoResult UndoDeleteFile(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& file = Field(data, 0);
  if (!file.empty() && DeleteFileInUse(run, file) == OpOutcome::kAborted) return UndoResult::kStop;
  run.Trace("          < " + file + " >");
  return step.Report(file, step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

UndoResult UndoUnshareFile(UndoStep& step, const UndoData& data) { return Unshare(step, data, false); }

UndoResult UndoUnshareSelfRegisteringFile(UndoStep& step, const UndoData& data) {
  return Unshare(step, data, true);
}

UndoResult UndoUnregisterFile(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& file = Field(data, 0);
  if (!step.Report("unregsvr32 " + file, step.weight)) return UndoResult::kStop;
  if (!file.empty()) UnregisterFile(run, file);
  run.Trace("        < " + file + " >");
  return UndoResult::kDone;
}

UndoResult UndoDeleteFolder(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  fs::FileSystem& files = run.platform().Files();
  // Deepest first; a folder that is gone or holds anything ends the walk, so
  // its parents stay too.
  for (const std::string& listed : data) {
    const std::string folder = base::ExcludeTrailingBackslash(listed);
    if (folder.empty() || !FolderIsEmpty(files, folder)) break;
    const OpOutcome removed = run.Attempt(
        [&]() -> uint32_t {
          const fs::Win32Error rc = files.RemoveFolder(folder);
          return rc == err::kSuccess || !files.FolderExists(folder) ? err::kSuccess : rc;
        },
        [&](uint32_t code) { return FailureMessage(code, folder); });
    if (removed == OpOutcome::kAborted) return UndoResult::kStop;
    if (removed == OpOutcome::kIgnored) break;
    run.Trace("          < " + folder + " >");
  }
  return step.Report(Field(data, 0), step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

}  // namespace kestrawl::engine::native
