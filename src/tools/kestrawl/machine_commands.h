// `kestrawl machine ...`: create, inspect and change a simulated machine.
#pragma once

#include <CLI/CLI.hpp>

namespace kestrawl::tools {

// Adds the `machine` sub-command tree to the app. `machine_option` receives
// the --machine value shared by every sub-command; `exit_code` is set by the
// command that runs.
void AddMachineCommands(CLI::App& app, std::string& machine_option, int& exit_code);

}  // namespace kestrawl::tools
