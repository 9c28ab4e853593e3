// The feature-selection file: the component store's lists, the target
// folders, the saved variables and the engine bitness, as UTF-8 text with
// CR LF line ends. Layout, one item per line:
//
//   names "$" states "$" deleted "$" hidden "$" locked "$" size pairs "$"
//   TARGETDIR, ALLUSERS, STARTMENU, the source-folder line (empty unless the
//   engine cache writes it), then name/value pairs: every saved variable,
//   "VELK64WOW" and the engine bitness, "OVERRIDECACHE" and "NATIVE_ENGINE".
//
// Line breaks inside a value are written as "$NEWLINE$" so that every item
// stays on one line. Reading accepts a UTF-8 byte-order mark and CR LF, LF
// or CR line ends. A file whose structure is broken is rejected as a whole
// (EScriptError) and changes nothing.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script/component_store.h"

namespace kestrawl::script {

class EngineContext;
class RunState;

inline constexpr const char* kBitnessMarker = "VELK64WOW";
inline constexpr const char* kLoadSource = "LoadComponents";

// The file's content.
struct FeatureSelections {
  ComponentLists components;
  std::string target_dir, all_users, start_menu;
  std::string source_folder;  // the short form of the setup's source folder, or empty
  // Every name/value pair after the source-folder line, in file order,
  // values as written ("$NEWLINE$" kept).
  std::vector<std::pair<std::string, std::string>> pairs;

  bool operator==(const FeatureSelections&) const = default;
};

std::string FormatFeatureSelections(const FeatureSelections& content);
// False (with a reason) when the text is not a feature-selection file.
bool ParseFeatureSelections(std::string_view text, FeatureSelections* content, std::string* error);

// What "Save Feature Selections" writes: the store, the variables and the
// bitness of this run. source_folder fills the source-folder line.
FeatureSelections CollectFeatureSelections(const EngineContext& engine, const RunState& run,
                                           const std::string& source_folder = "");
// Writes the file from scratch; a write error raises EScriptError.
void SaveFeatureSelections(EngineContext& engine, const RunState& run, const std::string& path,
                           const std::string& source_folder = "");

// "Load Feature Selections": false when the file does not exist. Otherwise
// the states of the defined components and the deleted, hidden and locked
// lists are taken from it, TARGETDIR, ALLUSERS and STARTMENU and every saved
// variable are assigned (origin "LoadComponents"; saved variables join the
// run's list), and the engine bitness is restored. A read error or a damaged
// file raises EScriptError.
bool LoadFeatureSelections(EngineContext& engine, RunState& run, const std::string& path);
// Reads and checks the file without applying it (the maintenance start-up
// applies it its own way). False when the file does not exist; read errors
// and damage raise EScriptError.
bool ReadFeatureSelections(EngineContext& engine, const std::string& path, FeatureSelections* content);
// Applies the pairs after the source-folder line: saved variables, bitness,
// OVERRIDECACHE and NATIVE_ENGINE.
void ApplyFeatureVariables(EngineContext& engine, RunState& run, const FeatureSelections& content);

}  // namespace kestrawl::script
