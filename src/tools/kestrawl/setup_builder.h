// `kestrawl build PROJECT -o OUTDIR`: turns a setup project into a setup:
//   OUTDIR/<name>      the engine stub followed by the compiled script (executable)
//   OUTDIR/<name>.res  the support files packed as a 7z archive
//   OUTDIR/zel.lib     the archive library the engine loads beside itself
//   OUTDIR/data/, OUTDIR/offline/, OUTDIR/<block>.7z
//                      the files of the file-group commands (media_layout.h)
#pragma once

#include <string>
#include <vector>

#include "script/compiled_script.h"
#include "tools/kestrawl/install_file_plan.h"
#include "tools/kestrawl/project.h"

namespace kestrawl::tools {

// The compiled script of a project with its file groups planned from the
// project folder (read only; nothing is written).
script::CompiledScript CompileProject(const Project& project);
// The same for an already planned set of file groups and command headers.
script::CompiledScript CompileProject(const Project& project, const std::vector<std::string>& headers,
                                      const InstallFilePlan& plan);

struct BuildResult {
  std::string setup_path;
  std::string resource_path;
  std::vector<std::string> media_archives;  // OUTDIR/<block>.7z
  size_t command_count = 0;
  size_t file_count = 0;  // files of the file-group commands
};

// Builds into out_dir (created when missing). `bin_dir` holds
// kestrawl-engine and zel.lib. Throws EProjectError / std::runtime_error.
BuildResult BuildSetup(const Project& project, const std::string& out_dir, const std::string& bin_dir);

}  // namespace kestrawl::tools
