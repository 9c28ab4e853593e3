#include "tools/kestrawl/build_command.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "tools/kestrawl/setup_builder.h"

namespace kestrawl::tools {

namespace {
std::string OwnFolder() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return std::filesystem::path(std::string(buf, n)).parent_path().string();
}
}  // namespace

void AddBuildCommand(CLI::App& app, int& exit_code) {
  static std::string project_dir, out_dir;
  CLI::App* cmd = app.add_subcommand("build", "Build a setup from a project folder (its setup.kws)");
  cmd->add_option("PROJECT", project_dir, "Project folder")->required();
  cmd->add_option("-o,--output", out_dir, "Output folder")->required();
  cmd->callback([&exit_code] {
    try {
      Project project = ReadProject(project_dir);
      BuildResult r = BuildSetup(project, out_dir, OwnFolder());
      std::cout << "Built " << r.setup_path << " (" << r.command_count << " commands) and "
                << std::filesystem::path(r.resource_path).filename().string() << "\n";
    } catch (const EProjectError& e) {
      std::cerr << e.what() << "\n";
      exit_code = 1;
    }
  });
}

}  // namespace kestrawl::tools
