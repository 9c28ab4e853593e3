#include "base/comma_list.h"
#include "engine/native/change_kinds.h"
#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

namespace {

using ApplyFunction = bool (*)(NativeRun&, const Fields&);

struct KindEntry {
  const char* kind;
  ApplyFunction apply;
};

// In the order the kinds are tested.
constexpr KindEntry kKinds[] = {
    {"Write Registry", ApplyWriteRegistry},
    {"Install Files", ApplyInstallFiles},
    {"Install Assembly", ApplyInstallAssembly},
    {"Install Service", ApplyInstallService},
    {"Control Service", ApplyControlService},
    {"Create Shortcut", ApplyCreateShortcut},
    {"Create File Type", ApplyCreateFileType},
    {"Install ODBC Driver", ApplyInstallOdbcDriver},
    {"Set Environment", ApplySetEnvironment},
    {"Create ODBC DSN", ApplyCreateOdbcDsn},
    {"Edit INI File", ApplyEditIniFile},
    {"Delete Files", ApplyDeleteFiles},
    {"Create Folder", ApplyCreateFolder},
    {"Copy/Move Local Files", ApplyCopyMoveLocalFiles},
};

}  // namespace

const std::string& Field(const Fields& fields, size_t i) {
  static const std::string kEmpty;
  return i < fields.size() ? fields[i] : kEmpty;
}

bool FieldFlag(const Fields& fields, size_t i) { return script::ToBoolean(Field(fields, i)); }

bool ApplyChange(NativeRun& run) {
  for (const KindEntry& entry : kKinds) {
    if (run.kind != entry.kind) continue;
    run.Trace("        <" + run.kind + ">");
    const std::string kind = run.kind;
    const bool result = entry.apply(run, base::SplitCommaText(run.record));
    if (result) run.Trace("        </" + kind + ">");
    return result;
  }
  return true;
}

}  // namespace kestrawl::engine::native
