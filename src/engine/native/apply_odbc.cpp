// "Create ODBC DSN": adds a (system) data source through the ODBC installer;
// a failure is not prompted and leaves no undo entry.
// "Install ODBC Driver": places the driver's files, then registers the
// driver once per change under HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBCINST.INI
// through nested permanent "Write Registry" changes (the driver's own undo
// entry covers files and values).
#include <optional>
#include <utility>

#include "base/comma_list.h"
#include "base/text.h"
#include "base/win_path.h"
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/file_placement.h"
#include "platform/odbc_installer.h"

namespace kestrawl::engine::native {

namespace {

namespace err = platform::err;
using platform::RegRoot;

constexpr const char* kOdbcInstKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\";
constexpr const char* kOdbcDriversKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";
constexpr int kLocalMachineRoot = 2;

// "$NEWLINE$" (any case) stands for a line break; each line is name=value.
// Lines without "=" and lines with an empty name carry nothing to write.
std::vector<std::pair<std::string, std::string>> ParseDriverAttributes(const std::string& text) {
  const std::string lines = ReplaceAllNoCase(ReplaceAllNoCase(text, "$NEWLINE$", "\n"), "\r\n", "\n");
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& line : base::Split(lines, '\n')) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

// Usage count of an installed driver: its UsageCount when readable, else 1;
// 0 when the driver is not installed.
uint32_t UsageCountOf(NativeRun& run, const std::string& key) {
  platform::Registry& reg = run.platform().Reg();
  const platform::RegView view = run.RegistryView();
  if (reg.KeyExists(RegRoot::kLocalMachine, key, view) != err::kSuccess) return 0;
  platform::RegValue count;
  if (reg.GetValue(RegRoot::kLocalMachine, key, "UsageCount", view, &count) == err::kSuccess &&
      count.type == platform::regtype::kDword)
    return count.AsDword();
  return 1;
}

// Registers the driver after its first file was placed. False ends the change.
bool RegisterDriver(NativeRun& run, const std::string& driver, const std::string& attributes,
                    const std::string& driver_path, const std::string& setup_path) {
  if (!run.Report(driver, 0)) return false;
  const std::string key = kOdbcInstKey + driver;
  const uint32_t count = UsageCountOf(run, key) + 1;

  const auto write = [&](const std::string& in_key, const std::string& name, const std::string& data,
                         bool integer) {
    return run.ApplyNested("Write Registry",
                           NestedRegistryRecord(true, kLocalMachineRoot, in_key, name, data, integer));
  };
  // The empty default value creates the key; it is not meant to stay.
  if (!write(key, "", "", false)) return false;
  run.platform().Reg().DeleteValue(RegRoot::kLocalMachine, key, "", run.RegistryView());
  if (!write(key, "UsageCount", std::to_string(count), true)) return false;
  for (const auto& [name, value] : ParseDriverAttributes(attributes))
    if (!write(key, name, value, false)) return false;
  if (!write(key, "Driver", driver_path, false)) return false;
  if (!setup_path.empty() && !write(key, "Setup", setup_path, false)) return false;
  if (!write(kOdbcDriversKey, driver, "Installed", false)) return false;

  run.Trace("        < " + driver + " >");
  run.LogUndo("Install ODBC Driver", base::JoinCommaText({driver, driver_path, setup_path}));
  return true;
}

}  // namespace

bool ApplyCreateOdbcDsn(NativeRun& run, const Fields& fields) {
  const std::string& name = Field(fields, 0);
  const std::string& driver = Field(fields, 1);
  const std::string& system_text = Field(fields, 2);
  const bool system_dsn = FieldFlag(fields, 2);

  if (!run.Report(name, 5120)) return false;

  std::string block = "DSN=" + name;
  block.push_back('\0');
  std::string attributes = Field(fields, 3);
  for (size_t at = attributes.find("\r\n"); at != std::string::npos; at = attributes.find("\r\n", at + 1))
    attributes.replace(at, 2, 1, '\0');
  block += attributes;
  block.append(2, '\0');

  const int request = system_dsn ? platform::odbc::kAddSystemDsn : platform::odbc::kAddDsn;
  if (!platform::odbc::ConfigDataSource(run.platform().Reg(), request, driver, block, run.RegistryView()))
    return true;

  run.LogUndo("Create ODBC DSN", base::JoinCommaText({name, driver, system_text}));
  run.Trace("        < " + name + " >");
  return true;
}

bool ApplyInstallOdbcDriver(NativeRun& run, const Fields& fields) {
  const std::string& group = Field(fields, 0);
  const std::string& driver = Field(fields, 1);
  const std::string folder = base::IncludeTrailingBackslash(Field(fields, 2));
  const std::string& attributes = Field(fields, 3);

  // An empty driver name would write into ODBCINST.INI itself.
  if (driver.empty() || Field(fields, 2).empty())
    return RejectRecord(run, "Install ODBC Driver: " + driver + " -> " + Field(fields, 2));

  const ByteProgressScope byte_progress(run);
  bool registered = false;
  for (const GroupFile& file : WalkFileGroup(run.engine.script, group)) {
    PlaceRequest request;
    request.source = SourceFileOf(run, file.relative_source);
    request.destination = folder + base::ExtractFileName(request.source);
    request.mode = PlaceMode::kInstallKind;
    request.log_create_file = false;
    switch (PlaceFile(run, request)) {
      case PlaceOutcome::kAborted:
      case PlaceOutcome::kFailed:
        return false;
      case PlaceOutcome::kSkipped:
        continue;
      case PlaceOutcome::kPlaced:
        break;
    }
    if (registered) continue;
    registered = true;
    const std::string setup_path = file.second.empty() ? std::string() : folder + file.second;
    if (!RegisterDriver(run, driver, attributes, request.destination, setup_path)) return false;
  }
  return true;
}

}  // namespace kestrawl::engine::native
