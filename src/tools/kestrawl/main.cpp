// The kestrawl CLI: builds setups and inspects or prepares a simulated machine.
#include <CLI/CLI.hpp>

#include <iostream>

#include "tools/kestrawl/build_command.h"
#include "tools/kestrawl/machine_commands.h"

int main(int argc, char** argv) {
  CLI::App app{"kestrawl: build setups and manage a simulated Windows machine"};
  app.require_subcommand(1);
  std::string machine_option;
  int exit_code = 0;
  kestrawl::tools::AddBuildCommand(app, exit_code);
  kestrawl::tools::AddMachineCommands(app, machine_option, exit_code);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "kestrawl: " << e.what() << "\n";
    std::cerr << "Run with --help for usage.\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "kestrawl: " << e.what() << "\n";
    return 1;
  }
  return exit_code;
}
