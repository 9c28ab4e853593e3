// Undo kinds for system facilities: "Remove Assembly" (drops this instance's
// assembly cache reference), "Delete Service", "Delete ODBC Driver" (one use
// less; the last use removes the driver's files and registration) and
// "Remove ODBC DSN".
#include "engine/native/apply_helpers.h"
#include "engine/native/change_kinds.h"
#include "engine/native/undo_kinds.h"
#include "engine/native/undo_shared.h"
#include "platform/assembly_cache.h"
#include "platform/odbc_installer.h"

namespace kestrawl::engine::native {

namespace {

namespace fs = platform;
namespace err = platform::err;
using platform::RegRoot;

constexpr const char* kReferenceDescription = "Kestrawl";
constexpr const char* kOdbcInstKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\";
constexpr const char* kOdbcDriversKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";

}  // namespace

UndoResult UndoRemoveAssembly(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& name = Field(data, 0);
  const fs::gac::Reference reference{fs::gac::kOpaqueStringScheme, InstanceCode(run), kReferenceDescription};
  bool removed = false;
  if (!name.empty() &&
      fs::gac::UninstallAssembly(run.platform().Files(), run.platform().Sys(), name, reference, &removed) ==
          err::kSuccess)
    run.Trace("        < GAC: " + name + " >");
  return step.Report("GAC: " + name, step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

UndoResult UndoDeleteService(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& name = Field(data, 0);
  if (name.empty()) return RejectRecord(run, "Delete Service: no service name") ? UndoResult::kDone : UndoResult::kStop;
  fs::Services& services = run.platform().Svc();
  const OpOutcome outcome = run.Attempt(
      [&]() -> uint32_t {
        const uint32_t rc = services.Delete(name);
        // Gone already, or already on its way out.
        return rc == fs::svc::kServiceDoesNotExist || rc == fs::svc::kServiceMarkedForDelete ? err::kSuccess : rc;
      },
      [&](uint32_t code) { return FailureMessage(code, name); });
  if (outcome == OpOutcome::kAborted) return UndoResult::kStop;
  if (outcome == OpOutcome::kSucceeded) run.Trace("        < " + name + " >");
  return step.Report(name, step.weight) ? UndoResult::kDone : UndoResult::kStop;
}

UndoResult UndoDeleteOdbcDriver(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& driver = Field(data, 0);
  const std::string& driver_file = Field(data, 1);
  const std::string& setup_file = Field(data, 2);
  if (!step.Report(driver, step.weight)) return UndoResult::kStop;
  // An empty name would name ODBCINST.INI itself.
  if (driver.empty())
    return RejectRecord(run, "Delete ODBC Driver: no driver name") ? UndoResult::kDone : UndoResult::kStop;

  fs::Registry& reg = run.platform().Reg();
  const fs::RegView view = run.RegistryView();
  const std::string key = kOdbcInstKey + driver;
  const auto message = [&](const std::string& subject) {
    return [subject](uint32_t code) { return FailureMessage(code, subject); };
  };

  // A driver whose key is gone has no uses left: it is removed completely
  // (no count is written back, which would register it again).
  if (reg.KeyExists(RegRoot::kLocalMachine, key, view) == err::kSuccess) {
    fs::RegValue count;
    int64_t uses = 1;
    if (reg.GetValue(RegRoot::kLocalMachine, key, "UsageCount", view, &count) == err::kSuccess &&
        count.type == fs::regtype::kDword)
      uses = count.AsDword();
    const int64_t remaining = uses - 1;
    if (remaining > 0) {
      const std::string subject = key + "\\UsageCount\\" + std::to_string(remaining);
      const OpOutcome written = run.Attempt(
          [&]() -> uint32_t {
            return reg.SetValue(RegRoot::kLocalMachine, key, "UsageCount", view,
                                fs::RegValue::Dword(static_cast<uint32_t>(remaining)));
          },
          message(subject));
      if (written == OpOutcome::kAborted) return UndoResult::kStop;
      run.Trace("          < " + subject + " >");
      return UndoResult::kDone;
    }
  }

  for (const std::string& file : {driver_file, setup_file}) {
    if (file.empty()) continue;
    if (DeleteFileInUse(run, file) == OpOutcome::kAborted) return UndoResult::kStop;
    run.Trace("          < " + file + " >");
  }
  const OpOutcome key_removed = run.Attempt(
      [&]() -> uint32_t {
        const uint32_t rc = reg.DeleteTree(RegRoot::kLocalMachine, key, view);
        return rc == err::kFileNotFound ? err::kSuccess : rc;
      },
      message(key));
  if (key_removed == OpOutcome::kAborted) return UndoResult::kStop;
  if (key_removed == OpOutcome::kSucceeded) {
    const OpOutcome listed = run.Attempt(
        [&]() -> uint32_t {
          const uint32_t rc = reg.DeleteValue(RegRoot::kLocalMachine, kOdbcDriversKey, driver, view);
          return rc == err::kFileNotFound ? err::kSuccess : rc;
        },
        message(key));
    if (listed == OpOutcome::kAborted) return UndoResult::kStop;
  }
  run.Trace("          < " + driver + " >");
  return UndoResult::kDone;
}

UndoResult UndoRemoveOdbcDsn(UndoStep& step, const UndoData& data) {
  NativeRun& run = step.run;
  const std::string& name = Field(data, 0);
  const std::string& driver = Field(data, 1);
  if (!step.Report(name, step.weight)) return UndoResult::kStop;
  const int request = FieldFlag(data, 2) ? fs::odbc::kRemoveSystemDsn : fs::odbc::kRemoveDsn;
  std::string block = "DSN=" + name;
  block.append(2, '\0');
  // Failures are not prompted: a data source that is gone needs nothing.
  if (!name.empty() && fs::odbc::ConfigDataSource(run.platform().Reg(), request, driver, block, run.RegistryView()))
    run.Trace("        < " + name + " >");
  return UndoResult::kDone;
}

}  // namespace kestrawl::engine::native
