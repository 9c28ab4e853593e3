// Change logs: the undo entries of the changes the native engine made, kept
// in memory (pending) until a flush appends them to four parallel UTF-8 text
// files at a log prefix:
//   prefix + ".native.elements.log"  undo kind ("Delete Registry", ...)
//   prefix + ".native.data.log"      undo data, a comma list
//   prefix + ".native.weight.log"    weight, decimal
//   prefix + ".native.bitness.log"   engine bitness ("Win32", "ia64", "x64")
// Lines end with CRLF; a file may start with a UTF-8 byte-order mark (files
// rewritten whole carry one, files grown by appending do not); readers take
// both. NATIVE_LOGGING steers where the log is ("FALSE": nowhere).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/native/native_state.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "script/engine_context.h"
#include "script/run_state.h"

namespace kestrawl::engine::native {

inline constexpr const char* kElementsSuffix = ".native.elements.log";
inline constexpr const char* kDataSuffix = ".native.data.log";
inline constexpr const char* kWeightSuffix = ".native.weight.log";
inline constexpr const char* kBitnessSuffix = ".native.bitness.log";

// The undo kind logged for a change name ("Write Registry" -> "Delete
// Registry", ...); empty for a name that is not logged.
std::string UndoKindOf(std::string_view change);
// The fixed weight of an undo entry for a change name (Write Registry and
// Create Folder add more per created key or folder).
int64_t UndoWeightOf(std::string_view change);

// Signed decimal of a predefined key handle (-2147483648 for
// HKEY_CLASSES_ROOT ... -2147483645 for HKEY_USERS), and back.
std::string RootHandleText(platform::RegRoot root);
bool RootFromHandleText(std::string_view text, platform::RegRoot* root);

// Where the registry is probed while logging: the view of the engine bitness.
platform::RegView ViewOfBitness(const platform::MachineFacts& facts, const std::string& bitness);

// True when NATIVE_LOGGING is "FALSE" (any case).
bool LoggingOff(const script::VariableStore& vars);

// Appends one pending undo entry for a change (see the tables of the undo
// kinds): data_text is the single path or name, the inner comma list of the
// nested kinds, or for "Write Registry" the comma list of root handle text
// "|" machine, key path and value name. Probes the registry or the folders
// for "Write Registry" and "Create Folder". Returns false when nothing was
// appended (logging off, or a folder that already exists).
bool LogUndo(script::EngineContext& engine, script::RunState& run, std::string_view change,
             const std::string& data_text);
// Removes the last pending entry from all four lists (no-op when logging is
// off or nothing is pending).
void DropLastUndo(script::EngineContext& engine, script::RunState& run);

// The log prefix in force (NATIVE_LOGGING when it names a complete log, else
// the instance's engine cache folder + instance code).
std::string ResolveLogPrefix(script::EngineContext& engine);
// The default prefix of this instance.
std::string DefaultLogPrefix(script::EngineContext& engine);

// Appends the pending entries to the log at `prefix` and empties them.
// Creates a missing folder (with parents) when there is something to write;
// *created_folder tells which folder was created ("" when none). Returns a
// Win32 error code (the pending entries stay on failure).
platform::Win32Error Flush(platform::FileSystem& files, NativeState& state, const std::string& prefix,
                           std::string* created_folder = nullptr);

// True when all four files exist at prefix; with create, when none exists
// they are created empty (true). A prefix without a folder part is invalid.
bool CheckOrCreateLogFiles(platform::FileSystem& files, const std::string& prefix, bool create);

// The change log of this instance exists at the resolved prefix and the
// instance's engine cache registration names this instance's cache folder.
bool InstanceLogsExist(script::EngineContext& engine);

// Reads the four files at prefix (byte-order marks skipped, the entry count
// that of the shortest file). False when a file cannot be read.
bool ReadLog(platform::FileSystem& files, const std::string& prefix, PendingUndo* entries);
// Replaces the four files at prefix with the entries (each file starting
// with a byte-order mark), creating the folder.
platform::Win32Error WriteLog(platform::FileSystem& files, const std::string& prefix,
                              const PendingUndo& entries);
// Deletes the four files, and with remove_folder the prefix's folder.
void DeleteLogs(platform::FileSystem& files, const std::string& prefix, bool remove_folder);

// Load / save the instance logs across the deletion of the cache folder.
bool LoadInstanceLogs(script::EngineContext& engine, script::RunState& run);
platform::Win32Error SaveInstanceLogs(script::EngineContext& engine, script::RunState& run);

// The undo data items of a data line: the comma list, unwrapped while it
// holds exactly one item for the nested kinds ("Delete Registry", "Delete
// ODBC Driver", "Delete Environment", "Remove INI Entry", "Remove ODBC DSN").
std::vector<std::string> UnwrapUndoData(std::string_view undo_kind, std::string_view data_line);

// "Set Variable" of NATIVE_LOGGING: returns the value to store (the empty
// text when the new prefix is unusable) after flushing pending entries to the
// location in force before the change when the rules ask for it.
std::string SwitchLogLocation(script::EngineContext& engine, script::RunState& run,
                              const std::string& new_value);

}  // namespace kestrawl::engine::native
