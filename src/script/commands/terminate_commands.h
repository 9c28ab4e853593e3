// "Terminate Install" and "Terminate with Exit Code": end the script run the
// normal way (the exit step follows), the second after setting the process
// exit code.
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

std::vector<HandlerEntry> TerminateCommandHandlers();

}  // namespace kestrawl::script
