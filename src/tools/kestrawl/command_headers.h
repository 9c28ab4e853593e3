// Command headers: every change command of a project (a command the command
// table marks as deferred to the installation engine) gets a header of
// eight upper-case hexadecimal digits. Headers are derived from the product
// code and the command index, so building the same project twice gives the
// same headers, and they are unique within the setup. The compiled script
// lists them as pairs (header, command index); the file table and the media
// paths of file-group commands are keyed by them.
#pragma once

#include <string>
#include <vector>

#include "tools/kestrawl/project.h"

namespace kestrawl::tools {

// One entry per command of the project: its header, or empty for a command
// that is not a change command (plug-in commands included).
std::vector<std::string> AssignCommandHeaders(const Project& project);

}  // namespace kestrawl::tools
