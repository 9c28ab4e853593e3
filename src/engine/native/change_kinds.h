// How each change kind is applied on the machine. Every function gets the
// change record split into its fields (comma list) and returns the change's
// result: true when made, skipped or ignored; false when the run must stop.
// ApplyChange (native_run.h) writes the opening and closing trace lines and
// calls these.
#pragma once

#include <string>
#include <vector>

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

using Fields = std::vector<std::string>;

// Field i, or "" when the record is shorter.
const std::string& Field(const Fields& fields, size_t i);
// "TRUE" (any case) or "-1".
bool FieldFlag(const Fields& fields, size_t i);

bool ApplyWriteRegistry(NativeRun& run, const Fields& fields);
bool ApplyInstallFiles(NativeRun& run, const Fields& fields);
bool ApplyInstallAssembly(NativeRun& run, const Fields& fields);
bool ApplyInstallService(NativeRun& run, const Fields& fields);
bool ApplyControlService(NativeRun& run, const Fields& fields);
bool ApplyCreateShortcut(NativeRun& run, const Fields& fields);
bool ApplyCreateFileType(NativeRun& run, const Fields& fields);
bool ApplyInstallOdbcDriver(NativeRun& run, const Fields& fields);
bool ApplySetEnvironment(NativeRun& run, const Fields& fields);
bool ApplyCreateOdbcDsn(NativeRun& run, const Fields& fields);
bool ApplyEditIniFile(NativeRun& run, const Fields& fields);
bool ApplyDeleteFiles(NativeRun& run, const Fields& fields);
bool ApplyCreateFolder(NativeRun& run, const Fields& fields);
bool ApplyCopyMoveLocalFiles(NativeRun& run, const Fields& fields);

// Builds the record of a nested "Write Registry": permanent flag, root
// number "0".."3", key, value name, data, type ("STRING" or "INTEGER").
std::string NestedRegistryRecord(bool permanent, int root, const std::string& key,
                                 const std::string& name, const std::string& data, bool integer);

}  // namespace kestrawl::engine::native
