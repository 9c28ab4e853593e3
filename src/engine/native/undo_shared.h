// Helpers the undo kinds share with the forward change kinds: where the
// registrar program lives, the instance code the assembly cache references
// are made with, and removing a value from a comma-separated INI list.
#pragma once

#include <optional>
#include <string>

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

// The system folder (with a trailing backslash) holding the regsvr32 that
// matches the bitness of the file's image: the 32-bit system folder for a
// 32-bit image on a 64-bit system, else the system folder.
std::string RegistrarFolder(NativeRun& run, const std::string& file);

// PRODUCTCODE, or the compiled script's product code when it is empty.
std::string InstanceCode(NativeRun& run);

// The INI entry with `value` removed from its comma-separated list, or
// nullopt when the entry does not hold it (nothing to do). Looks (ignoring
// case) for value + ", ", value + ",", ", " + value, "," + value in that
// order, each standing on list-item boundaries, and removes the first form
// found; when none occurs but the trimmed entry is the value, the result is
// empty (the key is to be deleted).
std::optional<std::string> RemoveFromIniList(const std::string& entry, const std::string& value);

}  // namespace kestrawl::engine::native
