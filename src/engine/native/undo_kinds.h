// The undo kinds of the removal processor: each reverses one change-log
// entry on the machine. An UndoStep carries what one entry needs: the run,
// whether this is a removal (a terminate request then stops it; a rollback
// goes on regardless) and the entry's weight. Every kind gets the entry's
// data items already unwrapped and returns kStop when the walk must end
// (abort chosen in an error prompt, or a removal asked to terminate).
// Objects that are already gone count as removed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/native/native_run.h"

namespace kestrawl::engine::native {

enum class UndoResult { kDone, kStop };

struct UndoStep {
  UndoStep(NativeRun& run_in, bool uninstall_in, int64_t weight_in)
      : run(run_in), uninstall(uninstall_in), weight(weight_in) {}

  NativeRun& run;
  bool uninstall;
  int64_t weight;
  // The thread was asked to terminate during this entry.
  bool terminated = false;

  // Reports progress. False when the entry must stop: the thread was asked
  // to terminate during a removal (a rollback ignores the request).
  bool Report(const std::string& text, int64_t units);
};

using UndoData = std::vector<std::string>;

// In-use deletion of a file: attributes reset and delete; else free it
// (delete, or move aside to file + "." + N deleted at restart); else
// schedule the file itself for deletion at restart and set the
// reboot-pending flag; else the error prompt (subject: the file). A file
// that does not exist counts as deleted.
OpOutcome DeleteFileInUse(NativeRun& run, const std::string& file);

// Runs the file's unregistration and waits for it: regsvr32 /u /s for a
// library (in the bitness of its image), /unregserver for a program.
// Failures are not reported; a missing file is left alone.
void UnregisterFile(NativeRun& run, const std::string& file);

UndoResult UndoDeleteRegistry(UndoStep& step, const UndoData& data);
UndoResult UndoDeleteFile(UndoStep& step, const UndoData& data);
UndoResult UndoUnshareFile(UndoStep& step, const UndoData& data);
UndoResult UndoUnshareSelfRegisteringFile(UndoStep& step, const UndoData& data);
UndoResult UndoUnregisterFile(UndoStep& step, const UndoData& data);
UndoResult UndoRemoveAssembly(UndoStep& step, const UndoData& data);
UndoResult UndoDeleteService(UndoStep& step, const UndoData& data);
UndoResult UndoDeleteOdbcDriver(UndoStep& step, const UndoData& data);
UndoResult UndoRemoveOdbcDsn(UndoStep& step, const UndoData& data);
UndoResult UndoDeleteEnvironment(UndoStep& step, const UndoData& data);
UndoResult UndoRemoveIniEntry(UndoStep& step, const UndoData& data);
UndoResult UndoDeleteFolder(UndoStep& step, const UndoData& data);

}  // namespace kestrawl::engine::native
