// The global assembly cache of the machine: a folder under the Windows
// folder ("Microsoft.NET\assembly\GAC_MSIL\<name>\") holding each installed
// assembly, with its install references kept beside it in a text file
// "references.txt" (one line per reference: scheme GUID, "|", identifier,
// "|", description, lines ended by CRLF). An assembly stays while it has a
// reference. The folder is named by the assembly's simple name: the name up
// to the first comma of a display name ("Lib, Version=1.0.0.0, ..." -> "Lib");
// the file keeps the name of its source. References are the same when their
// schemes and identifiers are (ignoring case).
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"

namespace kestrawl::platform::gac {

// The opaque-string reference scheme the engine installs with.
inline constexpr const char* kOpaqueStringScheme = "{2EC93463-B0C3-45E1-8364-327E96AEA856}";

struct Reference {
  std::string scheme;       // GUID text
  std::string identifier;   // e.g. the instance code
  std::string description;  // e.g. "Kestrawl"
};

// IAssemblyCache::InstallAssembly: copies `source` into the cache folder of
// `assembly_name` (replacing an older copy when `force` is set or the file
// differs) and adds the reference (once). Returns a Win32 error code:
// kInvalidName for an empty simple name or one holding \ / : * ? " < > |,
// kInvalidParameter for a reference without scheme or identifier, the file
// system's error when the source cannot be read or copied.
Win32Error InstallAssembly(FileSystem& files, System& system, const std::string& assembly_name,
                           const std::string& source, const Reference& reference, bool force);

// IAssemblyCache::UninstallAssembly: drops the reference; the assembly's
// folder is deleted when no reference is left. *removed tells whether it was.
// kFileNotFound (nothing changed) when the assembly is not installed or does
// not hold that reference.
Win32Error UninstallAssembly(FileSystem& files, System& system, const std::string& assembly_name,
                             const Reference& reference, bool* removed);

// The folder of an assembly in the cache (with a trailing backslash).
std::string AssemblyFolder(System& system, const std::string& assembly_name);

// The references of an installed assembly (empty when it is not installed).
std::vector<Reference> References(FileSystem& files, System& system, const std::string& assembly_name);

}  // namespace kestrawl::platform::gac
