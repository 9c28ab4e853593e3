#include "engine/native/change_log.h"

#include <array>
#include <charconv>

#include "base/comma_list.h"
#include "script/script_error.h"
#include "base/text.h"
#include "base/win_path.h"
#include "maintenance/engine_cache_location.h"

namespace kestrawl::engine::native {

namespace fs = platform;

namespace {

constexpr std::array<const char*, 4> kSuffixes = {kElementsSuffix, kDataSuffix, kWeightSuffix,
                                                  kBitnessSuffix};
constexpr const char* kBom = "\xEF\xBB\xBF";

struct UndoRow {
  const char* change;
  const char* undo;
  int64_t weight;
};

constexpr UndoRow kUndoRows[] = {
    {"Write Registry", "Delete Registry", 512},
    {"Create File", "Delete File", 1024},
    {"Register File", "Unregister File", 102400},
    {"Share File", "Unshare File", 512},
    {"Share Self Registering File", "Unshare Self Registering File", 102912},
    {"Install Assembly", "Remove Assembly", 102400},
    {"Create Service", "Delete Service", 5120},
    {"Install ODBC Driver", "Delete ODBC Driver", 10240},
    {"Set Environment", "Delete Environment", 1024},
    {"Edit INI File", "Remove INI Entry", 10240},
    {"Create ODBC DSN", "Remove ODBC DSN", 5120},
    {"Create Folder", "Delete Folder", 1024},
};

const UndoRow* FindRow(std::string_view change) {
  for (const auto& row : kUndoRows)
    if (change == row.change) return &row;
  return nullptr;
}

// The path up to its last backslash (without it); the path itself when it
// has none.
std::string ParentOf(const std::string& path) {
  const size_t pos = path.rfind('\\');
  return pos == std::string::npos ? path : path.substr(0, pos);
}

bool IsNestedKind(std::string_view undo_kind) {
  return undo_kind == "Delete Registry" || undo_kind == "Delete ODBC Driver" ||
         undo_kind == "Delete Environment" || undo_kind == "Remove INI Entry" ||
         undo_kind == "Remove ODBC DSN";
}

std::vector<std::string>* ListOf(PendingUndo& entries, size_t i) {
  switch (i) {
    case 0: return &entries.elements;
    case 1: return &entries.data;
    case 2: return &entries.weights;
    default: return &entries.bitness;
  }
}

}  // namespace

std::string UndoKindOf(std::string_view change) {
  const UndoRow* row = FindRow(change);
  return row ? row->undo : "";
}

int64_t UndoWeightOf(std::string_view change) {
  const UndoRow* row = FindRow(change);
  return row ? row->weight : 0;
}

std::string RootHandleText(platform::RegRoot root) {
  switch (root) {
    case platform::RegRoot::kClassesRoot: return "-2147483648";
    case platform::RegRoot::kCurrentUser: return "-2147483647";
    case platform::RegRoot::kLocalMachine: return "-2147483646";
    case platform::RegRoot::kUsers: return "-2147483645";
    case platform::RegRoot::kCurrentConfig: return "-2147483643";
  }
  return "-2147483647";
}

bool RootFromHandleText(std::string_view text, platform::RegRoot* root) {
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return false;
  // Handles may be written signed or as their unsigned 32-bit value.
  if (value > 0) value -= 4294967296LL;
  switch (value) {
    case -2147483648LL: *root = platform::RegRoot::kClassesRoot; return true;
    case -2147483647LL: *root = platform::RegRoot::kCurrentUser; return true;
    case -2147483646LL: *root = platform::RegRoot::kLocalMachine; return true;
    case -2147483645LL: *root = platform::RegRoot::kUsers; return true;
    case -2147483643LL: *root = platform::RegRoot::kCurrentConfig; return true;
    default: return false;
  }
}

platform::RegView ViewOfBitness(const platform::MachineFacts& facts, const std::string& bitness) {
  if (!facts.os64) return platform::RegView::kDefault;
  return bitness == "Win32" ? platform::RegView::k32 : platform::RegView::k64;
}

bool LoggingOff(const script::VariableStore& vars) {
  return base::EqualsNoCase(vars.GetVariable("NATIVE_LOGGING"), "FALSE");
}

bool LogUndo(script::EngineContext& engine, script::RunState& run, std::string_view change,
             const std::string& data_text) {
  if (LoggingOff(engine.variables)) return false;
  const UndoRow* row = FindRow(change);
  if (row == nullptr) return false;
  std::vector<std::string> data;
  int64_t weight = 0;
  if (change == "Write Registry") {
    std::vector<std::string> items = base::SplitCommaText(data_text);
    items.resize(std::max<size_t>(items.size(), 3));
    data = {items[0], items[1], items[2]};
    weight = row->weight;
    const size_t bar = items[0].find('|');
    platform::RegRoot root = platform::RegRoot::kCurrentUser;
    RootFromHandleText(items[0].substr(0, bar), &root);
    const platform::RegView view = ViewOfBitness(engine.platform.Sys().Facts(), run.bitness);
    std::string key = base::ExcludeTrailingBackslash(items[1]);
    while (!key.empty() && engine.platform.Reg().KeyExists(root, key, view) != platform::err::kSuccess) {
      data.push_back(key);
      weight += row->weight;
      const std::string parent = ParentOf(key);
      if (parent == key) break;
      key = parent;
    }
  } else if (change == "Create Folder") {
    std::string folder = base::ExcludeTrailingBackslash(data_text);
    while (!folder.empty() && !engine.platform.Files().FolderExists(folder)) {
      data.push_back(folder);
      weight += row->weight;
      const std::string parent = ParentOf(folder);
      if (parent == folder) break;
      folder = parent;
    }
    if (data.empty()) return false;
  } else {
    data = {data_text};
    weight = row->weight;
  }
  PendingUndo& pending = run.native.pending;
  pending.elements.push_back(row->undo);
  pending.data.push_back(base::JoinCommaText(data));
  pending.weights.push_back(std::to_string(weight));
  pending.bitness.push_back(run.bitness);
  return true;
}

void DropLastUndo(script::EngineContext& engine, script::RunState& run) {
  if (LoggingOff(engine.variables)) return;
  PendingUndo& pending = run.native.pending;
  for (size_t i = 0; i < 4; ++i) {
    std::vector<std::string>* list = ListOf(pending, i);
    if (!list->empty()) list->pop_back();
  }
}

std::string DefaultLogPrefix(script::EngineContext& engine) {
  std::string code = engine.variables.GetVariable("PRODUCTCODE");
  if (code.empty()) code = engine.script.product_code;
  return maintenance::CurrentEngineCacheFolder(engine.platform, engine.variables,
                                               engine.script.product_code, engine.script.revision_code) +
         code;
}

std::string ResolveLogPrefix(script::EngineContext& engine) {
  const std::string value = engine.variables.GetVariable("NATIVE_LOGGING");
  if (!value.empty() && !base::EqualsNoCase(value, "FALSE")) {
    const std::string folder = base::ExtractFilePath(value);
    if (!folder.empty() && engine.platform.Files().FolderExists(folder) &&
        CheckOrCreateLogFiles(engine.platform.Files(), value, false))
      return value;
  }
  return DefaultLogPrefix(engine);
}

fs::Win32Error Flush(fs::FileSystem& files, NativeState& state, const std::string& prefix,
                     std::string* created_folder) {
  if (created_folder) created_folder->clear();
  const std::string folder = base::ExtractFilePath(prefix);
  if (folder.empty()) return fs::err::kPathNotFound;
  if (!files.FolderExists(folder)) {
    if (state.pending.empty()) return fs::err::kSuccess;
    if (fs::Win32Error err = files.CreateFolderTree(folder); err != fs::err::kSuccess) return err;
    if (created_folder) *created_folder = folder;
  }
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    std::vector<std::string>* list = ListOf(state.pending, i);
    std::string text;
    for (const std::string& line : *list) text += line + "\r\n";
    std::unique_ptr<fs::File> file;
    fs::Win32Error err = files.Open(prefix + kSuffixes[i], fs::OpenMode::kAppend, fs::ShareMode::kShared, &file);
    if (err == fs::err::kSuccess && !text.empty()) err = file->Write(text.data(), text.size());
    if (err != fs::err::kSuccess) return err;
    list->clear();
  }
  return fs::err::kSuccess;
}

bool CheckOrCreateLogFiles(fs::FileSystem& files, const std::string& prefix, bool create) {
  const std::string folder = base::ExtractFilePath(prefix);
  if (folder.empty() || base::ExtractFileName(prefix).empty()) return false;
  size_t present = 0;
  for (const char* suffix : kSuffixes)
    if (files.FileExists(prefix + suffix)) ++present;
  if (present == kSuffixes.size()) return true;
  if (!create || present != 0) return false;
  if (files.CreateFolderTree(folder) != fs::err::kSuccess) return false;
  for (const char* suffix : kSuffixes) {
    if (files.WriteWholeFile(prefix + suffix, "") != fs::err::kSuccess) {
      for (const char* created : kSuffixes) files.DeleteFile(prefix + created);
      return false;
    }
  }
  return true;
}

bool InstanceLogsExist(script::EngineContext& engine) {
  if (!CheckOrCreateLogFiles(engine.platform.Files(), ResolveLogPrefix(engine), false)) return false;
  std::string code = engine.variables.GetVariable("PRODUCTCODE");
  if (code.empty()) code = engine.script.product_code;
  const std::string key = std::string(maintenance::kIdentityCacheKey) + code;
  fs::Registry& reg = engine.platform.Reg();
  fs::FileSystem& files = engine.platform.Files();
  auto read = [&](fs::RegRoot root, std::string* value) {
    fs::RegValue v;
    if (reg.GetValue(root, key, "", fs::RegView::kDefault, &v) != fs::err::kSuccess) return false;
    *value = v.AsString();
    return true;
  };
  std::string value;
  const bool machine = read(fs::RegRoot::kLocalMachine, &value);
  bool stands = machine && files.FolderExists(value) &&
                files.FileExists(base::IncludeTrailingBackslash(value) + "zel.lib");
  for (const char* suffix : kSuffixes)
    if (stands && !files.FileExists(value + suffix)) stands = false;
  if (!stands) {
    std::string user;
    if (read(fs::RegRoot::kCurrentUser, &user)) value = user;
  }
  std::string cache_name = engine.variables.GetVariable("REVISIONCODE");
  if (cache_name.empty()) cache_name = engine.script.revision_code;
  return !value.empty() &&
         base::EqualsNoCase(base::ExtractFileName(base::ExcludeTrailingBackslash(value)), cache_name);
}

bool ReadLog(fs::FileSystem& files, const std::string& prefix, PendingUndo* entries) {
  *entries = PendingUndo{};
  std::array<std::vector<std::string>, 4> lists;
  size_t count = SIZE_MAX;
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    std::string text;
    if (files.ReadWholeFile(prefix + kSuffixes[i], &text) != fs::err::kSuccess) return false;
    lists[i] = base::TextLines(text);
    count = std::min(count, lists[i].size());
  }
  for (size_t i = 0; i < lists.size(); ++i) {
    lists[i].resize(count);
    *ListOf(*entries, i) = std::move(lists[i]);
  }
  return true;
}

fs::Win32Error WriteLog(fs::FileSystem& files, const std::string& prefix, const PendingUndo& entries) {
  const std::string folder = base::ExtractFilePath(prefix);
  if (folder.empty()) return fs::err::kPathNotFound;
  if (fs::Win32Error err = files.CreateFolderTree(folder); err != fs::err::kSuccess) return err;
  PendingUndo copy = entries;
  for (size_t i = 0; i < kSuffixes.size(); ++i) {
    std::string text = kBom;
    for (const std::string& line : *ListOf(copy, i)) text += line + "\r\n";
    if (fs::Win32Error err = files.WriteWholeFile(prefix + kSuffixes[i], text); err != fs::err::kSuccess)
      return err;
  }
  return fs::err::kSuccess;
}

void DeleteLogs(fs::FileSystem& files, const std::string& prefix, bool remove_folder) {
  for (const char* suffix : kSuffixes) {
    files.SetAttributes(prefix + suffix, fs::attr::kNormal);
    files.DeleteFile(prefix + suffix);
  }
  if (remove_folder) files.RemoveFolder(base::ExcludeTrailingBackslash(base::ExtractFilePath(prefix)));
}

bool LoadInstanceLogs(script::EngineContext& engine, script::RunState& run) {
  LoadedLog& loaded = run.native.instance_log;
  loaded = LoadedLog{};
  loaded.prefix = ResolveLogPrefix(engine);
  loaded.loaded = ReadLog(engine.platform.Files(), loaded.prefix, &loaded.entries);
  return loaded.loaded;
}

fs::Win32Error SaveInstanceLogs(script::EngineContext& engine, script::RunState& run) {
  LoadedLog& loaded = run.native.instance_log;
  if (!loaded.loaded) return fs::err::kSuccess;
  const fs::Win32Error err = WriteLog(engine.platform.Files(), loaded.prefix, loaded.entries);
  loaded = LoadedLog{};
  return err;
}

std::vector<std::string> UnwrapUndoData(std::string_view undo_kind, std::string_view data_line) {
  std::vector<std::string> items = base::SplitCommaText(data_line);
  if (!IsNestedKind(undo_kind)) return items;
  while (items.size() == 1) {
    std::vector<std::string> inner = base::SplitCommaText(items[0]);
    if (inner == items) break;
    items = std::move(inner);
  }
  return items;
}

std::string SwitchLogLocation(script::EngineContext& engine, script::RunState& run,
                              const std::string& new_value) {
  if (new_value == engine.variables.GetVariable("NATIVE_LOGGING")) return new_value;
  const std::string before = ResolveLogPrefix(engine);
  std::string value = new_value;
  auto flush_before = [&] {
    if (run.native.pending.empty()) return;
    if (Flush(engine.platform.Files(), run.native, before) != fs::err::kSuccess)
      throw script::EScriptError("Unable to write the change log at " + before);
  };
  if (!value.empty() && !base::EqualsNoCase(value, "FALSE")) {
    if (CheckOrCreateLogFiles(engine.platform.Files(), value, true))
      flush_before();
    else
      value.clear();
  }
  if (value.empty()) flush_before();
  return value;
}

}  // namespace kestrawl::engine::native
