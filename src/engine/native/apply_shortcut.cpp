// "Create Shortcut": writes a shell link (".lnk") into the shortcut folder,
// creating a missing folder first through a nested "Create Folder" change.
// The shortcut is logged as "Create File".
#include <memory>

#include "base/comma_list.h"
#include "base/shell_link.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"

namespace kestrawl::engine::native {

namespace {

namespace err = platform::err;

// Show mode "0" normal, "1" maximized, "2" minimized without activation;
// anything else opens the window normally.
uint32_t ShowCommandOf(const std::string& mode) {
  if (mode == "1") return 3;
  if (mode == "2") return 7;
  return 1;
}

platform::Win32Error WriteShortcut(platform::FileSystem& files, const std::string& path,
                                   const std::string& bytes) {
  std::unique_ptr<platform::File> file;
  if (platform::Win32Error rc = files.Open(path, platform::OpenMode::kWrite, platform::ShareMode::kExclusive, &file);
      rc != err::kSuccess)
    return rc;
  const platform::Win32Error rc = file->Write(bytes.data(), bytes.size());
  if (rc != err::kSuccess) {
    // A cut-short link is no shortcut: do not leave it behind.
    file.reset();
    files.DeleteFile(path);
  }
  return rc;
}

}  // namespace

bool ApplyCreateShortcut(NativeRun& run, const Fields& fields) {
  const std::string& name = Field(fields, 0);
  const std::string& folder = Field(fields, 2);
  if (name.empty() || folder.empty()) return RejectRecord(run, "Create Shortcut: " + folder + " " + name);

  platform::FileSystem& files = run.platform().Files();
  if (!files.FolderExists(folder) && !run.ApplyNested("Create Folder", base::JoinCommaText({folder})))
    return false;

  const std::string path = base::IncludeTrailingBackslash(folder) + name + ".lnk";
  if (!run.Report(path, 10240)) return false;
  const bool logged = run.LogUndo("Create File", path);

  base::ShellLink link;
  link.target = Field(fields, 3);
  link.arguments = Field(fields, 4);
  // An empty working folder stays empty rather than becoming "\".
  if (!Field(fields, 5).empty()) link.working_folder = base::IncludeTrailingBackslash(Field(fields, 5));
  link.description = Field(fields, 1);
  link.icon_file = Field(fields, 6);
  link.icon_index = ParseInt32(Field(fields, 7)).value_or(0);
  link.show_command = ShowCommandOf(Field(fields, 8));
  platform::FileEntry target;
  if (!link.target.empty() && files.GetEntry(link.target, &target) == err::kSuccess) {
    link.target_attributes = target.attributes;
    link.target_size = target.size;
    link.target_write_time = target.last_write;
  }
  const std::string bytes = base::EncodeShellLink(link);

  // The error code -1 leaves the decision to the policy or the dialog.
  while (true) {
    const platform::Win32Error rc = WriteShortcut(files, path, bytes);
    if (rc == err::kSuccess) break;
    bool retry = false;
    const bool abort = run.ErrorPrompt(FailureMessage(rc, path), -1, &retry);
    if (abort || !retry) {
      if (logged) run.DropLastUndo();
      return !abort;
    }
  }
  run.Trace("        < " + path + " >");
  return true;
}

}  // namespace kestrawl::engine::native
