// Fresh random GUIDs in registry form: "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}"
// (upper-case hex, version 4).
#pragma once

#include <string>

namespace kestrawl::base {

std::string NewGuid();

}  // namespace kestrawl::base
