// Process entry of the engine stub. The engine works on the simulated
// machine named by KESTRAWL_MACHINE (or the default machine); its own
// command line is exactly the setup's.
#include <iostream>

#include "bootstrap/entry.h"
#include "platform/sim/sim_machine.h"
#include "ui/message_host.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  try {
    auto machine = kestrawl::platform::sim::SimMachine::Open(
        kestrawl::platform::sim::ResolveMachineDir(""), arguments);
    kestrawl::ui::ConsoleMessageHost messages(std::cerr);
    // Linux keeps the low 8 bits of the exit status (3010 ends as 194).
    return kestrawl::bootstrap::RunEngine(*machine, messages) & 0xFF;
  } catch (const std::exception& e) {
    std::cerr << "[Kestrawl Wizard] error: Runtime error in install: " << e.what() << std::endl;
    return 11;
  }
}
