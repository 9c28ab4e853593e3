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
// The driver is installed when its ODBCINST.INI key holds a "Driver" (or
// "Setup") file. Adding writes "Driver" (that file), then every attribute
// but DSN and Driver as REG_SZ in block order, then the "ODBC Data Sources"
// value; adding a data source that exists replaces it; configuring needs an
// existing one and writes the attributes over it. The DSN must be a valid
// name (SQLValidDSN: 1 to 32 characters, none of []{}(),;?*=!@\). A failed
// call leaves nothing of its own behind.
bool ConfigDataSource(Registry& registry, int request, const std::string& driver,
                      const std::string& attributes);
// The same in a chosen registry view (the engine's bitness); the overload
// above uses RegView::kDefault.
bool ConfigDataSource(Registry& registry, int request, const std::string& driver,
                      const std::string& attributes, RegView view);

// Removes one use of a driver (SQLRemoveDriver): UsageCount - 1; at 0 the
// driver's key and its "ODBC Drivers" value are deleted. *remaining gets the
// count left. False when the driver is not installed. A missing or
// unreadable UsageCount counts as 1. With remove_data_sources, reaching 0
// also removes the user and system data sources that name the driver.
bool RemoveDriver(Registry& registry, const std::string& driver, bool remove_data_sources,
                  uint32_t* remaining);
bool RemoveDriver(Registry& registry, const std::string& driver, bool remove_data_sources,
                  uint32_t* remaining, RegView view);

}  // namespace kestrawl::platform::odbc
