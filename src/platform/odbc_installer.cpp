#include "platform/odbc_installer.h"

#include <optional>
#include <utility>

#include "base/text.h"

namespace kestrawl::platform::odbc {

namespace {

constexpr RegRoot HKLM = RegRoot::kLocalMachine;
constexpr const char* kInstKey = "SOFTWARE\\ODBC\\ODBCINST.INI";
constexpr const char* kDriversKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";
constexpr const char* kIniKey = "SOFTWARE\\ODBC\\ODBC.INI";
constexpr const char* kSourcesKey = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr size_t kMaxDsnLength = 32;  // SQL_MAX_DSN_LENGTH

std::string DriverKey(const std::string& driver) { return std::string(kInstKey) + "\\" + driver; }
std::string DsnKey(const std::string& dsn) { return std::string(kIniKey) + "\\" + dsn; }

// The "name=value" items of an attribute block, up to the empty item that
// ends it (a block without its final NULs ends where the text does).
std::vector<std::pair<std::string, std::string>> ParseAttributes(const std::string& block) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t start = 0;
  while (start < block.size()) {
    size_t nul = block.find('\0', start);
    if (nul == start) break;
    if (nul == std::string::npos) nul = block.size();
    std::string item = block.substr(start, nul - start);
    start = nul + 1;
    size_t eq = item.find('=');
    std::string name(base::Trim(item.substr(0, eq)));
    std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
    if (!name.empty()) out.emplace_back(std::move(name), std::move(value));
  }
  return out;
}

// SQLValidDSN: not empty, at most 32 characters, none of []{}(),;?*=!@\ .
bool ValidDsn(const std::string& dsn) {
  return !dsn.empty() && base::Utf16Length(dsn) <= kMaxDsnLength &&
         dsn.find_first_of("[]{}(),;?*=!@\\") == std::string::npos;
}

bool ValidDriverName(const std::string& driver) {
  return !driver.empty() && driver.find('\\') == std::string::npos;
}

// The driver's file, or nullopt when the driver is not installed.
std::optional<std::string> DriverFile(Registry& registry, const std::string& driver, RegView view) {
  if (!ValidDriverName(driver)) return std::nullopt;
  if (registry.KeyExists(HKLM, DriverKey(driver), view) != err::kSuccess) return std::nullopt;
  auto file = registry.ReadString(HKLM, DriverKey(driver), "Driver", view);
  if (!file || file->empty()) file = registry.ReadString(HKLM, DriverKey(driver), "Setup", view);
  if (!file || file->empty()) return std::nullopt;
  return file;
}

// Removes a data source (its key and its "ODBC Data Sources" value).
bool RemoveDsn(Registry& registry, RegRoot root, const std::string& dsn, RegView view) {
  if (registry.KeyExists(root, DsnKey(dsn), view) != err::kSuccess) return false;
  if (registry.DeleteTree(root, DsnKey(dsn), view) != err::kSuccess) return false;
  Win32Error e = registry.DeleteValue(root, kSourcesKey, dsn, view);
  return e == err::kSuccess || e == err::kFileNotFound;
}

}  // namespace

bool ConfigDataSource(Registry& registry, int request, const std::string& driver,
                      const std::string& attributes) {
  return ConfigDataSource(registry, request, driver, attributes, RegView::kDefault);
}

bool ConfigDataSource(Registry& registry, int request, const std::string& driver,
                      const std::string& attributes, RegView view) {
  if (request < kAddDsn || request > kRemoveSystemDsn) return false;
  const RegRoot root = request >= kAddSystemDsn ? HKLM : RegRoot::kCurrentUser;
  const int action = (request - 1) % 3 + 1;  // kAddDsn, kConfigDsn or kRemoveDsn
  auto items = ParseAttributes(attributes);
  std::string dsn;
  bool has_dsn = false;
  for (const auto& [name, value] : items) {
    if (base::EqualsNoCase(name, "DSN")) {
      dsn = std::string(base::Trim(value));
      has_dsn = true;
    }
  }
  if (!has_dsn || !ValidDsn(dsn)) return false;
  auto driver_file = DriverFile(registry, driver, view);
  if (!driver_file) return false;

  if (action == kRemoveDsn) return RemoveDsn(registry, root, dsn, view);

  const std::string key = DsnKey(dsn);
  const bool exists = registry.KeyExists(root, key, view) == err::kSuccess;
  if (action == kConfigDsn && !exists) return false;
  // Adding a data source that exists replaces it (SQLWriteDSNToIni).
  if (action == kAddDsn && exists && registry.DeleteTree(root, key, view) != err::kSuccess) return false;

  bool created = false;
  if (registry.CreateKey(root, key, view, &created) != err::kSuccess) return false;
  auto fail = [&] {
    if (action == kAddDsn) {
      registry.DeleteTree(root, key, view);
      registry.DeleteValue(root, kSourcesKey, dsn, view);
    }
    return false;
  };
  if (registry.SetValue(root, key, "Driver", view, RegValue::String(*driver_file)) != err::kSuccess)
    return fail();
  for (const auto& [name, value] : items) {
    if (base::EqualsNoCase(name, "DSN") || base::EqualsNoCase(name, "Driver")) continue;
    if (registry.SetValue(root, key, name, view, RegValue::String(value)) != err::kSuccess) return fail();
  }
  if (registry.WriteValue(root, kSourcesKey, dsn, view, RegValue::String(driver)) != err::kSuccess)
    return fail();
  return true;
}

bool RemoveDriver(Registry& registry, const std::string& driver, bool remove_data_sources,
                  uint32_t* remaining) {
  return RemoveDriver(registry, driver, remove_data_sources, remaining, RegView::kDefault);
}

bool RemoveDriver(Registry& registry, const std::string& driver, bool remove_data_sources,
                  uint32_t* remaining, RegView view) {
  if (!ValidDriverName(driver)) return false;
  const std::string key = DriverKey(driver);
  if (registry.KeyExists(HKLM, key, view) != err::kSuccess) return false;
  uint32_t count = 1;
  RegValue v;
  if (registry.GetValue(HKLM, key, "UsageCount", view, &v) == err::kSuccess && v.type == regtype::kDword)
    count = v.AsDword();
  count = count > 0 ? count - 1 : 0;
  if (remaining) *remaining = count;
  if (count > 0)
    return registry.SetValue(HKLM, key, "UsageCount", view, RegValue::Dword(count)) == err::kSuccess;

  if (remove_data_sources) {
    for (RegRoot root : {RegRoot::kCurrentUser, HKLM}) {
      std::vector<RegNamedValue> sources;
      if (registry.EnumValues(root, kSourcesKey, view, &sources) != err::kSuccess) continue;
      for (const auto& s : sources) {
        if (base::EqualsNoCase(s.value.AsString(), driver)) RemoveDsn(registry, root, s.name, view);
      }
    }
  }
  if (registry.DeleteTree(HKLM, key, view) != err::kSuccess) return false;
  Win32Error e = registry.DeleteValue(HKLM, kDriversKey, driver, view);
  return e == err::kSuccess || e == err::kFileNotFound;
}

}  // namespace kestrawl::platform::odbc
