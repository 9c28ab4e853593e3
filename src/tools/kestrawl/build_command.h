// `kestrawl build PROJECT -o OUTDIR`.
#pragma once

#include <CLI/CLI.hpp>

namespace kestrawl::tools {

void AddBuildCommand(CLI::App& app, int& exit_code);

}  // namespace kestrawl::tools
