// Start-up settings read once from the process command line: the silent and
// update switches, the switch values (/l=, /g=, /m=, /p=), the command-line
// tail and the NAME=VALUE variable overrides.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/startup_settings.h"

namespace kestrawl::bootstrap {

using script::StartupSettings;

// The raw command line with the program path removed: a leading quoted path
// goes with its closing quote and the character after it; otherwise
// everything up to and including the first blank.
std::string CommandLineTail(std::string_view raw);

StartupSettings ParseStartupSettings(std::string_view raw_command_line);

}  // namespace kestrawl::bootstrap
