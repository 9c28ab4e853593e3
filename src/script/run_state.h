// The state of one script run: the interpreter's block and loop state (the
// run context) and the process-wide values that the command families keep
// between commands (engine bitness, saved variables, random generator,
// components, ...). Owned by the interpreter; commands reach it through
// their CommandContext.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/native/native_state.h"
#include "script/commands/text_file_commands.h"
#include "script/component_store.h"
#include "script/web_media_blocks.h"

namespace kestrawl::script {

struct ForEachState {
  std::string variable;
  std::string rest;
  std::string delimiter;
};

class RunState {
 public:
  // --- run context ---------------------------------------------------------
  std::string package_path;          // becomes MSIFILE
  size_t pc = 0;                     // index of the next command to fetch
  int taken_if = 0;                  // open "If" blocks whose branch is running
  bool skip_to_branch = false;
  bool skip_to_end = false;
  bool end_pending = false;
  bool wizard_active = false;
  int wizard_direction = 1;          // +1 next, -1 back, 0 leave the loop
  bool just_left_wizard = false;
  std::vector<std::string> loop_stack;  // "While", "Repeat", "For Each"
  std::vector<ForEachState> for_each;
  std::vector<std::string> include_saves;  // saved block state per include level
  int include_depth = 0;
  std::string include_result;        // result-variable part of the current include marker
  std::vector<std::pair<std::string, size_t>> labels;  // upper-case name, command index
  std::vector<std::string> install_state;  // "SKIP", "FALSE" or "TRUE" per command
  uintptr_t dialog_handle = 0;       // wizard dialog on screen, 0 when none

  // Set by a command to end the run after it ("Terminate Install", ...).
  bool end_requested = false;
  // True while a command waits for a worker thread (RunWorker); the status
  // timer of a page on screen then refreshes progress from the variables.
  bool waiting_for_worker = false;

  // --- values kept by the command families ---------------------------------
  // Engine bitness: "Win32", "ia64" or "x64".
  std::string bitness = "Win32";
  // Variables to save for maintenance runs and in feature selections
  // (no duplicates, insertion order).
  std::vector<std::string> saved_variables;
  // "Mathematics" random generator.
  int32_t random_multiplier = 0, random_increment = 0, random_state = 0;
  // Update mode of the last "Compress 7Zip Archive" (0 at start).
  uint32_t compress_update_mode = 0;
  // Download time-out in seconds (VELK_TIMEOUT).
  int download_timeout = 10;
  // Features of the product.
  ComponentStore components;
  // The single-instance marker file, when one was created.
  std::string single_instance_marker;
  // Blocks recorded by "Web Media Block", with the shared proxy settings
  // and resume flag of their downloads.
  WebMediaState web_media;
  // Media cache: the media root of this run (empty before the first grab)
  // and the local web block archives found unusable in this run.
  std::string media_root;
  std::vector<std::string> bad_local_archives;
  // The native engine: change plan, pending undo entries, progress totals.
  engine::native::NativeState native;
  // Shortcut files to pin, filled by the shortcut commands and processed by
  // "Apply Changes" (list number -> entries).
  // The text file "Read from Text File" keeps open between commands.
  OpenTextFile open_text_file;
  // Codes given to this instance by "Transform Instance" (empty: none).
  std::string transformed_instance_code;
  std::string transformed_cache_name;
  // Windows Installer mode: positions (1-based) of the change commands that
  // ran, and the run properties collected for the installer.
  std::set<size_t> executed_positions;
  std::vector<std::pair<std::string, std::string>> run_properties;
  std::vector<std::vector<std::string>> pin_lists = std::vector<std::vector<std::string>>(6);

  void AddSavedVariable(const std::string& name);
};

}  // namespace kestrawl::script
