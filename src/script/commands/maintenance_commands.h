// Commands about the installed instance: "Transform Instance" (a run of the
// shipped setup over an installed instance becomes a new instance) and "Is
// MSI Setup Installed".
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

std::vector<HandlerEntry> MaintenanceCommandHandlers();

}  // namespace kestrawl::script
