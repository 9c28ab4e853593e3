#include "engine/native/file_placement.h"

#include "engine/native/undo_shared.h"

#include "base/comma_list.h"
#include "base/guid.h"
#include "base/text.h"
#include "base/win_path.h"
#include "maintenance/engine_cache_location.h"
#include "platform/file_version.h"

namespace kestrawl::engine::native {

namespace fs = platform;

namespace {

constexpr const char* kSharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr const char* kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

bool SameDrive(const std::string& a, const std::string& b) {
  const char da = base::DriveLetterOf(a), db = base::DriveLetterOf(b);
  return da != 0 && base::AsciiUpper(std::string(1, da)) == base::AsciiUpper(std::string(1, db));
}

// The first "<base>N" (N from 0) that names nothing.
std::string FirstFreeName(fs::FileSystem& files, const std::string& base_name) {
  for (int n = 0;; ++n) {
    const std::string name = base_name + std::to_string(n);
    fs::FileEntry entry;
    if (files.GetEntry(name, &entry) != fs::err::kSuccess) return name;
  }
}

void SelfRegister(NativeRun& run, const std::string& destination, bool scheduled) {
  const bool exe = base::EqualsNoCase(base::ExtractFileExt(destination), ".exe");
  if (scheduled) {
    // The file only arrives at restart: register it at the next logon.
    const std::string guid = base::NewGuid();
    const std::string name = guid.substr(1, 8);
    const std::string data = exe ? "\"" + destination + "\" /regserver"
                                 : RegistrarFolder(run, destination) + "regsvr32.exe \"" + destination + "\" /s";
    const fs::RegRoot root = run.AllUsers() ? fs::RegRoot::kLocalMachine : fs::RegRoot::kCurrentUser;
    fs::Registry& reg = run.platform().Reg();
    if (reg.CreateKey(root, kRunOnceKey, run.RegistryView()) == fs::err::kSuccess)
      reg.SetValue(root, kRunOnceKey, name, run.RegistryView(), fs::RegValue::String(data));
    return;
  }
  const std::string command = exe ? "\"" + destination + "\" /regserver"
                                  : "\"" + RegistrarFolder(run, destination) + "regsvr32.exe\" \"" +
                                        destination + "\" /s";
  uint32_t exit_code = 0;
  run.platform().Procs().Run(command, base::ExtractFilePath(destination), true, &exit_code);
}

}  // namespace

std::vector<GroupFile> WalkFileGroup(const script::CompiledScript& script, const std::string& key) {
  const std::vector<std::string>& lines = script.file_headers;
  std::vector<GroupFile> files;
  size_t i = 0;
  while (i < lines.size() && !base::EqualsNoCase(lines[i], key)) ++i;
  if (i == lines.size() || key.empty()) return files;
  i += 2;  // the key and "NEWHEADER"
  while (i < lines.size()) {
    const std::string second = i + 1 < lines.size() ? lines[i + 1] : "";
    if (second == "NEWHEADER") break;
    files.push_back({lines[i], second});
    i += 2;
  }
  return files;
}

std::string SourceFileOf(NativeRun& run, const std::string& relative_source) {
  return base::IncludeTrailingBackslash(run.engine.paths.data_folder) + relative_source;
}

fs::Win32Error ScheduleAtRestart(NativeRun& run, const std::string& from, const std::string& to) {
  uint32_t flags = fs::move::kDelayUntilReboot;
  if (!to.empty()) flags |= fs::move::kReplaceExisting;
  return run.platform().Files().MoveFile(from, to, flags);
}

bool FreeDestination(NativeRun& run, const std::string& destination, bool allow_move) {
  fs::FileSystem& files = run.platform().Files();
  if (!files.FileExists(destination)) return false;
  bool in_use = true;
  {
    std::unique_ptr<fs::File> probe;
    if (files.Open(destination, fs::OpenMode::kReadWrite, fs::ShareMode::kExclusive, &probe) == fs::err::kSuccess) {
      probe.reset();
      files.SetAttributes(destination, fs::attr::kNormal);
      files.DeleteFile(destination);
      in_use = files.FileExists(destination);
    }
  }
  if (!in_use || !allow_move) return in_use;
  const std::string aside = FirstFreeName(files, destination + ".");
  if (files.MoveFile(destination, aside, 0) != fs::err::kSuccess) return true;
  ScheduleAtRestart(run, aside, "");
  return false;
}

PlaceOutcome PlaceFile(NativeRun& run, const PlaceRequest& request) {
  fs::FileSystem& files = run.platform().Files();
  script::VariableStore& vars = run.vars();
  const std::string& source = request.source;
  const std::string& destination = request.destination;
  const bool install_files = request.mode == PlaceMode::kInstallFiles;
  const bool local = request.mode == PlaceMode::kCopyLocal || request.mode == PlaceMode::kMoveLocal;
  const bool moving = request.mode == PlaceMode::kMoveLocal;
  const PlaceOutcome unplaced = request.fail_on_unplaced ? PlaceOutcome::kFailed : PlaceOutcome::kSkipped;

  // 1-3.
  if (!run.Report(destination, 0)) return PlaceOutcome::kAborted;
  const bool existed = files.FileExists(destination);
  if (install_files && request.skip_existing && existed) return PlaceOutcome::kSkipped;

  // 4. Overwrite decision (nothing to decide for a new file).
  bool copy = true;
  if (existed && run.OverwriteDecision(source, destination, &copy)) return PlaceOutcome::kAborted;
  if (!copy) return unplaced;

  // 5. Free the destination, or replace it at restart.
  std::string target = destination;
  const bool in_use = existed && FreeDestination(run, destination, true);
  if (in_use) {
    const std::string cache = maintenance::CurrentEngineCacheFolder(
        run.platform(), vars, run.engine.script.product_code, run.engine.script.revision_code);
    files.CreateFolderTree(cache);
    target = FirstFreeName(files, cache + "move.");
    files.WriteWholeFile(target, "");
    ScheduleAtRestart(run, target, destination);
    files.DeleteFile(target);
    run.state.reboot_pending = true;
  }

  // 6. A missing destination folder is created as a change of its own.
  const std::string folder = base::ExtractFilePath(destination);
  if (!files.FolderExists(folder) &&
      !run.ApplyNested("Create Folder", base::JoinCommaText({base::ExcludeTrailingBackslash(folder)})))
    return PlaceOutcome::kAborted;

  // 7.
  const bool log_file = install_files ? !request.permanent && !request.shared : request.log_create_file;
  const bool logged = log_file && run.LogUndo("Create File", destination);

  // 8. Copy (link, move), retrying as the error prompt says.
  fs::FileEntry source_entry;
  files.GetEntry(source, &source_entry);
  const int64_t size = static_cast<int64_t>(source_entry.size);
  for (;;) {
    const std::string backup = vars.GetVariable("NATIVE_PROGRESS");
    vars.AssignVariable("NATIVE_PROGRESS_BACKUP", backup, "Native Progress");
    run.state.copy_last_total = 0;
    run.state.copy_last_delta = 0;
    if (!run.Report(target, 0)) return PlaceOutcome::kAborted;
    bool stopped = false;
    fs::Win32Error err;
    if (!moving && base::EqualsNoCase(vars.GetVariable("NATIVE_HARDLINK"), "TRUE") && SameDrive(source, target)) {
      err = files.CreateHardLink(target, source);
      if (err == fs::err::kSuccess) {
        if (!run.Report(std::string(script::kKeepProgressText), size)) stopped = true;
        files.SetAttributes(target, fs::attr::kNormal);
      }
    } else {
      fs::CopyProgress progress = [&](uint64_t done, uint64_t) {
        const int64_t total = static_cast<int64_t>(done);
        const int64_t delta = total - run.state.copy_last_total;
        run.state.copy_last_total = total;
        run.state.copy_last_delta = delta;
        const int64_t weight = run.plan_mode || run.byte_progress ? delta : 0;
        if (!run.Report(std::string(script::kKeepProgressText), weight)) {
          stopped = true;
          return false;
        }
        return true;
      };
      if (moving) {
        err = files.MoveFile(source, target, fs::move::kReplaceExisting | fs::move::kCopyAllowed);
        if (err == fs::err::kSuccess && !run.Report(std::string(script::kKeepProgressText),
                                               run.plan_mode || run.byte_progress ? size : 0))
          stopped = true;
      } else {
        err = files.CopyFile(source, target, false, progress);
      }
      if (err == fs::err::kSuccess) files.SetAttributes(target, fs::attr::kNormal);
    }
    if (stopped) {
      vars.AssignVariable("NATIVE_PROGRESS", backup, "Native Progress");
      return PlaceOutcome::kAborted;
    }
    if (err != fs::err::kSuccess) {
      vars.AssignVariable("NATIVE_PROGRESS", backup, "Native Progress");
      // 8.2: one more try with the plain call.
      if (!run.Report(target, run.plan_mode ? size : 0)) return PlaceOutcome::kAborted;
      err = moving ? files.MoveFile(source, target, fs::move::kReplaceExisting | fs::move::kCopyAllowed)
                   : files.CopyFile(source, target, false);
    }
    if (err == fs::err::kSuccess || files.FileExists(target)) break;
    const std::string subject = local ? source + "\r->\r" + target : target;
    bool retry = false;
    if (run.ErrorPrompt(FailureMessage(err, subject), err, &retry)) return PlaceOutcome::kAborted;
    if (retry) continue;
    if (logged) run.DropLastUndo();
    return unplaced;
  }

  if (install_files) {
    // 10. Self-registration.
    if (request.self_register) {
      if (!run.Report("regsvr32 " + destination, 0)) return PlaceOutcome::kAborted;
      SelfRegister(run, destination, in_use);
      if (!request.permanent && !request.shared) run.LogUndo("Register File", destination);
      run.Trace("          < regsvr32 " + destination + " >");
    }
    // 11. Shared-file count.
    if (request.shared) {
      fs::Registry& reg = run.platform().Reg();
      const fs::RegView view = run.RegistryView();
      const std::string subject = std::string("HKEY_LOCAL_MACHINE\\") + kSharedDllsKey + "\\" + destination;
      const OpOutcome outcome = run.Attempt(
          [&]() -> uint32_t {
            fs::RegValue old;
            uint32_t count = existed ? 2 : 1;
            if (reg.GetValue(fs::RegRoot::kLocalMachine, kSharedDllsKey, destination, view, &old) == fs::err::kSuccess)
              count = (old.type == fs::regtype::kDword ? old.AsDword() : 1) + 1;
            if (fs::Win32Error err = reg.CreateKey(fs::RegRoot::kLocalMachine, kSharedDllsKey, view);
                err != fs::err::kSuccess)
              return err;
            return reg.SetValue(fs::RegRoot::kLocalMachine, kSharedDllsKey, destination, view,
                                fs::RegValue::Dword(count));
          },
          [&](uint32_t err) { return FailureMessage(err, subject); });
      if (outcome == OpOutcome::kAborted) return PlaceOutcome::kAborted;
      if (outcome == OpOutcome::kSucceeded && !request.permanent)
        run.LogUndo(request.self_register ? "Share Self Registering File" : "Share File", destination);
      run.Trace("          < share " + destination + " >");
      if (!run.Report(subject, 0)) return PlaceOutcome::kAborted;
    }
    // 12. Attributes.
    if (request.read_only || request.hidden || request.system) {
      const uint32_t attributes = (request.read_only ? fs::attr::kReadOnly : 0) |
                                  (request.hidden ? fs::attr::kHidden : 0) |
                                  (request.system ? fs::attr::kSystem : 0);
      const OpOutcome outcome = run.Attempt([&]() -> uint32_t { return files.SetAttributes(target, attributes); },
                                            [&](uint32_t err) { return FailureMessage(err, target); });
      if (outcome == OpOutcome::kAborted) return PlaceOutcome::kAborted;
      run.Trace("          < attributes " + destination + " >");
    }
  }
  // 13.
  run.Trace(local ? "        < " + source + " -> " + destination + " >" : "        < " + destination + " >");
  return PlaceOutcome::kPlaced;
}

}  // namespace kestrawl::engine::native
