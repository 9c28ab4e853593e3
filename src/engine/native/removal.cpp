#include "engine/native/removal.h"

#include <charconv>
#include <limits>

#include "base/comma_list.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_log.h"
#include "engine/native/undo_kinds.h"

namespace kestrawl::engine::native {

namespace {

namespace fs = platform;

constexpr const char* kProgressSource = "Native Progress";
constexpr const char* kDefaultBitness = "Win32";

struct UndoKindRow {
  const char* kind;
  UndoResult (*undo)(UndoStep&, const UndoData&);
};

constexpr UndoKindRow kUndoKinds[] = {
    {"Delete Registry", UndoDeleteRegistry},
    {"Delete File", UndoDeleteFile},
    {"Unshare File", UndoUnshareFile},
    {"Unshare Self Registering File", UndoUnshareSelfRegisteringFile},
    {"Unregister File", UndoUnregisterFile},
    {"Remove Assembly", UndoRemoveAssembly},
    {"Delete Service", UndoDeleteService},
    {"Delete ODBC Driver", UndoDeleteOdbcDriver},
    {"Remove ODBC DSN", UndoRemoveOdbcDsn},
    {"Delete Environment", UndoDeleteEnvironment},
    {"Remove INI Entry", UndoRemoveIniEntry},
    {"Delete Folder", UndoDeleteFolder},
};

const UndoKindRow* FindUndoKind(std::string_view kind) {
  for (const UndoKindRow& row : kUndoKinds)
    if (kind == row.kind) return &row;
  return nullptr;
}

// A weight line: a decimal 64-bit integer. Anything else (and a negative
// number) weighs nothing, so a damaged line cannot push the bar backwards.
int64_t WeightOf(std::string_view line) {
  line = base::Trim(line);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (ec != std::errc() || end != line.data() + line.size() || value < 0) return 0;
  return value;
}

int64_t SaturatingAdd(int64_t a, int64_t b) {
  return a > std::numeric_limits<int64_t>::max() - b ? std::numeric_limits<int64_t>::max() : a + b;
}

// Appends from's entries when its four lists line up (a half-written flush
// may leave them uneven; such lists cannot be paired up safely).
void Append(PendingUndo& to, const PendingUndo& from) {
  const size_t n = from.elements.size();
  if (from.data.size() != n || from.weights.size() != n || from.bitness.size() != n) return;
  to.elements.insert(to.elements.end(), from.elements.begin(), from.elements.end());
  to.data.insert(to.data.end(), from.data.begin(), from.data.end());
  to.weights.insert(to.weights.end(), from.weights.begin(), from.weights.end());
  to.bitness.insert(to.bitness.end(), from.bitness.begin(), from.bitness.end());
}

void DropLast(PendingUndo& entries, size_t count) {
  for (std::vector<std::string>* list : {&entries.elements, &entries.data, &entries.weights, &entries.bitness})
    list->resize(list->size() - std::min(count, list->size()));
}

// What the walk changes in the run, put back however it ends.
class RunSettingsScope {
 public:
  RunSettingsScope(NativeRun& run, bool uninstall)
      : run_(run),
        bitness_(run.run.bitness),
        total_(run.state.progress_total),
        progress_(run.vars().GetVariable("NATIVE_PROGRESS")),
        rollback_(run.rollback) {
    run.rollback = !uninstall;
  }
  ~RunSettingsScope() {
    run_.vars().AssignVariable("NATIVE_PROGRESS", progress_, kProgressSource);
    run_.run.bitness = bitness_;
    run_.state.progress_total = total_;
    run_.rollback = rollback_;
  }
  RunSettingsScope(const RunSettingsScope&) = delete;
  RunSettingsScope& operator=(const RunSettingsScope&) = delete;

 private:
  NativeRun& run_;
  std::string bitness_;
  int64_t total_;
  std::string progress_;
  bool rollback_;
};

// Applies the entry's undo kind. An unknown kind is shown as a bad record
// (the user may stop there); a blank line is passed over.
UndoResult UndoEntry(UndoStep& step, const std::string& kind, const std::string& data_line) {
  if (base::Trim(kind).empty()) return UndoResult::kDone;
  const UndoKindRow* row = FindUndoKind(kind);
  if (row == nullptr)
    return RejectRecord(step.run, "Unknown change log entry: " + kind + " " + data_line) ? UndoResult::kDone
                                                                                       : UndoResult::kStop;
  return row->undo(step, UnwrapUndoData(kind, data_line));
}

// Walks entries from the last to the first. Returns the index of the last
// entry fully processed (entries.size() when none was).
size_t Walk(NativeRun& run, bool uninstall, const PendingUndo& entries, int* result) {
  size_t next = entries.size();
  while (next > 0) {
    const size_t i = next - 1;
    const std::string& kind = entries.elements[i];
    run.Trace("        <" + kind + ">");
    run.run.bitness = entries.bitness[i].empty() ? kDefaultBitness : entries.bitness[i];
    run.Trace("        < " + base::JoinCommaText(base::SplitCommaText(entries.data[i])) + " >");
    UndoStep step(run, uninstall, WeightOf(entries.weights[i]));
    const UndoResult outcome = UndoEntry(step, kind, entries.data[i]);
    run.Trace("        </" + kind + ">");
    if (outcome == UndoResult::kStop || (uninstall && step.terminated)) {
      *result = 0;
      break;
    }
    next = i;
  }
  return next;
}

// A folder that must never be deleted whole: not absolute, a drive or share
// root, or a special folder of the machine or one of their parents.
bool IsProtectedFolder(fs::Platform& platform, const std::string& folder) {
  if (!base::IsAbsolutePath(folder)) return true;
  const std::string path = base::ExcludeTrailingBackslash(base::NormalizeWindowsPath(folder));
  if (path.size() <= 2) return true;  // "C:"
  if (path.rfind("\\\\", 0) == 0) {
    // "\\server\share" and above.
    const std::vector<std::string> parts = base::Split(std::string_view(path).substr(2), '\\');
    if (parts.size() <= 2) return true;
  } else if (path.find('\\') == std::string::npos) {
    return true;
  }
  fs::System& system = platform.Sys();
  std::vector<std::string> guarded = {system.WindowsFolder(), system.TempFolder()};
  for (const int csidl :
       {fs::csidl::kWindows, fs::csidl::kSystem, fs::csidl::kSystemX86, fs::csidl::kProgramFiles,
        fs::csidl::kProgramFilesX86, fs::csidl::kProgramFilesCommon, fs::csidl::kProgramFilesCommonX86,
        fs::csidl::kCommonAppData, fs::csidl::kAppData, fs::csidl::kLocalAppData, fs::csidl::kProfile,
        fs::csidl::kPersonal, fs::csidl::kDesktopDirectory, fs::csidl::kCommonDesktopDirectory,
        fs::csidl::kCommonDocuments, fs::csidl::kStartMenu, fs::csidl::kCommonStartMenu, fs::csidl::kPrograms,
        fs::csidl::kCommonPrograms, fs::csidl::kFonts}) {
    std::string found;
    if (system.SpecialFolder(csidl, &found) == fs::err::kSuccess) guarded.push_back(found);
  }
  const std::string with_slash = path + "\\";
  for (const std::string& entry : guarded) {
    if (entry.empty()) continue;
    const std::string other = base::ExcludeTrailingBackslash(base::NormalizeWindowsPath(entry));
    if (base::EqualsNoCase(other, path) || base::StartsWithNoCase(other, with_slash)) return true;
  }
  return false;
}

}  // namespace

bool UndoStep::Report(const std::string& text, int64_t units) {
  if (run.Report(text, units)) return true;
  terminated = true;
  return !uninstall;
}

int RunRemoval(NativeRun& run, bool uninstall) {
  fs::FileSystem& files = run.platform().Files();

  // 1-2. Pending entries go to the log first; the walk reads the log whole.
  const std::string prefix = ResolveLogPrefix(run.engine);
  std::string created_folder;
  const bool flushed = Flush(files, run.state, prefix, &created_folder) == fs::err::kSuccess;
  PendingUndo entries;
  if (!ReadLog(files, prefix, &entries)) entries = PendingUndo{};
  // Entries that could not be written are still undone, from memory.
  const size_t on_disk = entries.size();
  if (!flushed) Append(entries, run.state.pending);

  int64_t total = 0;
  for (const std::string& weight : entries.weights) total = SaturatingAdd(total, WeightOf(weight));

  int result = 1;
  {
    // 3. The bar runs over the log's weights (backwards in a rollback).
    RunSettingsScope scope(run, uninstall);
    run.vars().AssignVariable("NATIVE_PROGRESS", "0", kProgressSource);
    run.state.progress_total = total;
    // 4-5.
    const size_t next = Walk(run, uninstall, entries, &result);
    if (!flushed && next < entries.size()) DropLast(run.state.pending, entries.size() - std::max(next, on_disk));
  }
  // 6. A log this walk brought into being goes again with its folder.
  if (!created_folder.empty()) DeleteLogs(files, prefix, true);
  return result;
}

void CleanUpForeignLog(script::EngineContext& engine) {
  const std::string prefix = engine.variables.GetVariable("NATIVE_LOGGING");
  if (prefix.empty() || base::EqualsNoCase(prefix, "FALSE")) return;
  const std::string folder = base::ExtractFilePath(prefix);
  if (folder.empty()) return;
  const std::string old_folder = base::ExtractFilePath(engine.variables.GetVariable("NATIVE_OLDLOG"));
  fs::FileSystem& files = engine.platform.Files();
  const bool same_folder =
      !old_folder.empty() && base::EqualsNoCase(base::IncludeTrailingBackslash(base::NormalizeWindowsPath(folder)),
                                                base::IncludeTrailingBackslash(base::NormalizeWindowsPath(old_folder)));
  if (!same_folder || IsProtectedFolder(engine.platform, folder)) {
    DeleteLogs(files, prefix, false);
    return;
  }
  files.DeleteTree(base::ExcludeTrailingBackslash(folder));
}

}  // namespace kestrawl::engine::native
