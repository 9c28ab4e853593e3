// The ODBC installer of the machine (the configuration calls of odbccp32),
// kept in the registry layout Windows uses:
//   drivers:      HKLM\SOFTWARE\ODBC\ODBCINST.INI\<driver> (Driver, Setup,
//                 UsageCount, attributes) and ...\ODBCINST.INI\ODBC Drivers
//                 (<driver> = "Installed");
//   data sources: <root>\SOFTWARE\ODBC\ODBC.INI\<dsn> (Driver = the driver's
//                 file path, then the attributes) and ...\ODBC.INI\ODBC Data
//                 Sources (<dsn> = driver name); root HKLM for system data
//                 sources, HKCU for user data sources.
// Driver entries are written by the native engine itself (nested registry
// writes); this unit adds and removes data sources and removes drivers.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace kestrawl::platform::odbc {

// SQLConfigDataSource requests.
inline constexpr int kAddDsn = 1;
inline constexpr int kConfigDsn = 2;
inline constexpr int kRemoveDsn = 3;
inline constexpr int kAddSystemDsn = 4;
inline constexpr int kConfigSystemDsn = 5;
inline constexpr int kRemoveSystemDsn = 6;

// SQLConfigDataSource: `attributes` is the block of "name=value" items, each
// ended by a NUL, the block ended by one more NUL ("DSN=..." among them).
// Fails (false) when the driver is not installed, the block has no DSN, or
// (for removal) the data source does not exist.
bool ConfigDataSource(Registry& registry, int request, const std::string& driver,
                      const std::string& attributes);

// Removes one use of a driver (SQLRemoveDriver): UsageCount - 1; at 0 the
// driver's key and its "ODBC Drivers" value are deleted. *remaining gets the
// count left. False when the driver is not installed.
bool RemoveDriver(Registry& registry, const std::string& driver, bool remove_data_sources,
                  uint32_t* remaining);

}  // namespace kestrawl::platform::odbc
