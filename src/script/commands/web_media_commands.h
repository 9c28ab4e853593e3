// "Web Media Block": records a block (name, URL list, archive password from
// the compiled script's password table) for the grabs of the commands that
// follow. An empty name records a block without URLs. Parameter 3 is not
// read at run time.
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

std::vector<HandlerEntry> WebMediaCommandHandlers();

}  // namespace kestrawl::script
