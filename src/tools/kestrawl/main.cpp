// The kestrawl CLI: builds setups and inspects or prepares a simulated machine.
#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
  CLI::App app{"kestrawl: build setups and manage a simulated Windows machine"};
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
