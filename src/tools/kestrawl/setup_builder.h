// `kestrawl build PROJECT -o OUTDIR`: turns a setup project into a setup:
//   OUTDIR/<name>      the engine stub followed by the compiled script (executable)
//   OUTDIR/<name>.res  the support files packed as a 7z archive
//   OUTDIR/zel.lib     the archive library the engine loads beside itself
#pragma once

#include <string>

#include "script/compiled_script.h"
#include "tools/kestrawl/project.h"

namespace kestrawl::tools {

// The compiled script of a project (no files are touched).
script::CompiledScript CompileProject(const Project& project);

struct BuildResult {
  std::string setup_path;
  std::string resource_path;
  size_t command_count = 0;
};

// Builds into out_dir (created when missing). `bin_dir` holds
// kestrawl-engine and zel.lib. Throws EProjectError / std::runtime_error.
BuildResult BuildSetup(const Project& project, const std::string& out_dir, const std::string& bin_dir);

}  // namespace kestrawl::tools
