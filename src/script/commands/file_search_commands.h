// The immediate file search commands, both in the 64-bit file view:
//   "Find All Files": the files matching a pattern (optionally in every
//     subfolder, optionally listing the subfolders too), searched on a
//     worker with progress and cancellation, joined by "|" into the result
//     variable (items with a blank, a double quote or "|" quoted);
//   "Delete Files Recursive": deletes those files and the subfolders that
//     end up empty, pass after pass while a pass changes the count; the
//     pattern's own folder stays. Failures are ignored, nothing is logged.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "script/command_dispatch.h"

namespace kestrawl::script {

// Called with each folder before it is searched; returning false stops the
// search (what was found so far is kept).
using SearchProgress = std::function<bool(const std::string& folder)>;

// The search order of "Find All Files", for the folder part of `pattern`:
// with `subfolders`, for each subfolder first its own results, then (with
// `folders`) the subfolder itself; after all subfolders, the files (not
// folders) of the folder whose names match the file-name part. Each found
// path is passed to `found` as soon as it is known.
void SearchFiles(platform::FileSystem& files, const std::string& pattern, bool subfolders, bool folders,
                 const std::function<void(const std::string&)>& found, const SearchProgress& progress = {});

// The "Find All Files" list: items joined by "|", an item containing a
// blank, a double quote or "|" put in double quotes with inner quotes doubled.
std::string JoinFoundPaths(const std::vector<std::string>& paths);

std::vector<HandlerEntry> FileSearchCommandHandlers();

}  // namespace kestrawl::script
