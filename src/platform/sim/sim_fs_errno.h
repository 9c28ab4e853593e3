// The one mapping from host errno values to Win32 error codes used by the
// simulated machine. Callers that know better (a missing parent folder
// versus a missing file) adjust kFileNotFound themselves.
#pragma once

#include "platform/errors.h"

namespace kestrawl::platform::sim {

Win32Error Win32FromErrno(int error_number);

}  // namespace kestrawl::platform::sim
