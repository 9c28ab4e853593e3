// `kestrawl machine programs` and `kestrawl machine uninstall`: show the
// machine's Add/Remove Programs entries (a table, or JSON with --json) and run
// one entry's uninstall command as Windows would, waiting for it.
//
// Uninstall exit codes: the program's own exit code (codes above 255 become
// 255; the full code is printed); 2 when the name is unknown or ambiguous, the
// entry has no uninstall command, or the program cannot be run.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace kestrawl::tools {

// Opens the machine the sub-commands work on.
using OpenMachine = std::function<std::unique_ptr<platform::Platform>()>;

// Adds `programs` and `uninstall` to the `machine` sub-command.
void AddProgramsCommands(CLI::App& machine, OpenMachine open, int& exit_code);

// The list as a readable table, or as a JSON array of objects with the fields
// name, version, publisher, uninstall, key and scope.
void PrintPrograms(platform::Platform& machine, bool json, std::ostream& out);

// Makes the command line Windows would run for an uninstall command: leading
// and trailing blanks go; an unquoted program path holding blanks is taken up
// to the first blank at which an existing file ends (the way Windows starts
// programs) and put in quotes; with `silent` the engine's silent switch " /s"
// is appended unless the engine would already read the line as silent.
std::string UninstallCommandLine(platform::FileSystem& files, const std::string& command, bool silent);

// Finds the entry named `name` and runs its uninstall command; messages go
// to `out` (the command run, the exit code) and `err`. Returns the tool's
// exit code (see above).
int RunUninstall(platform::Platform& machine, const std::string& name, bool silent, std::ostream& out,
                 std::ostream& err);

}  // namespace kestrawl::tools
