// The process-wide state of one engine: created by the entry, passed by
// reference to everything that runs in it. Several engines may live in one
// process (tests), each with its own context.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "script/compiled_script.h"
#include "script/startup_settings.h"
#include "script/trace_log.h"
#include "script/variable_store.h"
#include "ui/message_host.h"
#include "ui/page_host.h"
#include "ui/ui_loop.h"

namespace kestrawl::media {
class ArchiveLibrary;
}

namespace kestrawl::script {

// Folders and files the engine works with (Windows paths; folders end in "\").
struct WorkingPaths {
  std::string executable;        // the running setup
  std::string executable_folder;
  std::string base_name;         // file name without extension
  std::string temp_folder;       // long form
  std::string support_folder;    // temp folder + "zel<n>\"
  std::string resource_archive;  // executable folder + base name + ".res"
  std::string data_folder;       // executable folder + "data\"
};

// Caption of every box the engine shows before the script sets its title.
inline constexpr const char* kStartupCaption = "Kestrawl Wizard";

class EngineContext {
 public:
  EngineContext(platform::Platform& platform, ui::MessageHost& messages)
      : platform(platform), messages(messages), log(platform.Files()) {}

  platform::Platform& platform;
  ui::MessageHost& messages;
  StartupSettings settings;
  TraceLog log;
  WorkingPaths paths;
  VariableStore variables;
  CompiledScript script;
  // The archive library loaded from the executable folder (null until loaded).
  media::ArchiveLibrary* archive = nullptr;
  // Pre-loaded page definitions: command index -> definition file.
  std::map<size_t, std::string> dialogs;
  // The process exit code the run leaves behind.
  int exit_code = 0;
  // Set by the run when the process must end at once with exit code 0 (a
  // second instance was found).
  bool terminate_immediately = false;
  // Set by the run when the process must end at once with exit_code and
  // without the shutdown tags (the pre-pass found an error).
  bool end_process_now = false;
  // The wizard pages; null shows no page (every page ends as "Next").
  ui::PageHost* pages = nullptr;
  // The UI thread's loop: tasks posted by workers and the watchdog timers.
  ui::UiLoop loop;
};

}  // namespace kestrawl::script
