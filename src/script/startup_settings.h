// Start-up settings read once from the process command line (by the entry)
// and used by the run: switches, switch values, the command-line tail and the
// NAME=VALUE overrides.
#pragma once

#include <string>
#include <vector>

namespace kestrawl::script {

struct StartupSettings {
  bool silent = false;          // "s" or "qn" switch
  bool update_mode = false;     // "update" or "updatesetup" switch
  std::string log_file;         // first /l= or -l= value, lower-cased
  std::string group_policy;     // first /g= value, lower-cased (long form applied by the entry)
  std::string self_extractor;   // first /m= value, lower-cased (long form applied by the entry)
  std::string source_folder;    // first /p= or -p= value, lower-cased
  std::string tail;             // the raw command line without the program path
  // Overrides as consecutive entries: name (upper case), value, name, value, ...
  std::vector<std::string> overrides;
  // The parameters (program first) as the engine reads them.
  std::vector<std::string> parameters;
};

}  // namespace kestrawl::script
