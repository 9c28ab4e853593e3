// The out-of-process extractor: an engine process started with the
// parameters "OutOfProcessExtract" and a job file extracts one archive for
// another engine process and writes the library's error text back into the
// job file. Exit codes: 0 done (see the job file for the result), 1 job file
// missing, 2 archive missing.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrawl::bootstrap {

inline constexpr const char* kWorkerModeParameter = "OutOfProcessExtract";

// `parameters` as the engine reads them (program first).
int RunWorkerMode(platform::Platform& platform, const std::vector<std::string>& parameters);

}  // namespace kestrawl::bootstrap
