// Where the engine cache of an instance lives: the base folder (override,
// identity cache key, or the application data folders) and the cache
// folder itself (base + cache folder name + "\"). Registry failures leave
// the base at the default folders.
#pragma once

#include <string>
#include <string_view>

#include "maintenance/instance_identity.h"
#include "platform/platform.h"
#include "script/variable_store.h"

namespace kestrawl::maintenance {

// Key under HKLM or HKCU whose sub-key per instance code names the cache.
inline constexpr const char* kIdentityCacheKey = "SOFTWARE\\Dorvellin\\Kestrawl\\Ident.Cache\\";

// True for an administrator on Windows NT, whose process is elevated on
// Windows Vista and later: the engine then works machine-wide by default.
bool MachineWideByDefault(const platform::MachineFacts& facts);

// The base folder, with a trailing backslash:
// 1. `override_cache` when not empty (a missing trailing backslash added);
// 2. else the identity cache value of the instance code (HKLM, then HKCU
//    when HKLM has none or names a missing folder) when its last component
//    is the cache folder name: its parent folder;
// 3. else the common application data folder (machine-wide) or the local,
//    then roaming application data folder (per user); on Windows 9x the
//    common files folder; when none exists, the desktop's parent folder +
//    "Application Data\".
std::string EngineCacheBase(platform::Platform& platform, std::string_view override_cache,
                            const InstanceIdentity& identity, bool machine_wide);

// EngineCacheBase + cache folder name + "\".
std::string EngineCacheFolder(platform::Platform& platform, std::string_view override_cache,
                              const InstanceIdentity& identity, bool machine_wide);

// The cache folder of the running instance as the variables stand now:
// PRODUCTCODE and REVISIONCODE (falling back to the given codes while the
// bootstrap has not set them), OVERRIDECACHE, and machine-wide when
// ALLUSERS is true.
std::string CurrentEngineCacheFolder(platform::Platform& platform, const script::VariableStore& vars,
                                     const std::string& product_code, const std::string& revision_code);

}  // namespace kestrawl::maintenance
