#include "engine/native/native_engine.h"

#include <future>

#include "base/comma_list.h"
#include "base/text.h"
#include "engine/native/change_kinds.h"
#include "engine/native/file_placement.h"
#include "engine/native/native_run.h"
#include "engine/native/removal.h"
#include "script/worker_protocol.h"

namespace kestrawl::engine::native {

namespace {

constexpr const char* kSpoolerSource = "Native Spooler";
constexpr const char* kGeneralFailure = "General setup failure";

struct WeightRow {
  const char* kind;
  int64_t weight;
};

constexpr WeightRow kRecordingWeights[] = {
    {"Write Registry", 512},   {"Control Service", 2097152}, {"Create Shortcut", 10240},
    {"Create File Type", 5120}, {"Create Folder", 1024},      {"Delete Files", 102400},
    {"Set Environment", 1024}, {"Edit INI File", 10240},     {"Create ODBC DSN", 5120},
};

// The thread's work for one run of kind; sets the native engine result.
void ThreadRun(NativeRun& nr, const std::string& kind, size_t position, const std::string& record) {
  NativeState& state = nr.state;
  nr.plan_mode = false;
  nr.byte_progress = false;
  if (kind == "UNINSTALL" || kind == "ROLLBACK") {
    nr.rollback = kind == "ROLLBACK";
    nr.kind = kind;
    nr.Trace("      <NATIVE " + kind + ">");
    try {
      state.result = RunRemoval(nr, kind == "UNINSTALL");
      nr.Trace("      </NATIVE " + kind + ">");
    } catch (const std::exception&) {
      state.result = -1;
      state.error_message = kGeneralFailure;
    }
    if (kind == "ROLLBACK") state.result = 1;
    return;
  }
  if (kind == "DELAYEDINSTALL") {
    nr.plan_mode = true;
    nr.Trace("      <NATIVE DELAYEDINSTALL>");
    const std::string saved_bitness = nr.run.bitness;
    const int64_t saved_total = state.progress_total;
    state.progress_total = state.plan_total;
    struct Restore {
      NativeRun& nr;
      std::string bitness;
      int64_t total;
      ~Restore() {
        nr.run.bitness = bitness;
        nr.state.progress_total = total;
      }
    } restore{nr, saved_bitness, saved_total};
    try {
      // The plan may not grow while it runs, but copy the entries anyway:
      // a change must never see the list move under it.
      const std::vector<PlanEntry> plan = state.plan;
      for (const PlanEntry& entry : plan) {
        nr.kind = entry.kind;
        nr.position = entry.position;
        nr.record = entry.record;
        nr.run.bitness = entry.bitness;
        if (!ApplyChange(nr)) {
          state.result = 0;
          return;
        }
      }
    } catch (const std::exception&) {
      state.result = -1;
      state.error_message = kGeneralFailure;
      return;
    }
    nr.Trace("      </NATIVE DELAYEDINSTALL>");
    state.result = 1;
    return;
  }
  nr.kind = kind;
  nr.position = position;
  nr.record = record;
  nr.Trace("      <NATIVE INSTALL>");
  try {
    if (!ApplyChange(nr)) state.result = 0;
    nr.Trace("      </NATIVE INSTALL>");
  } catch (const std::exception&) {
    state.result = -1;
    state.error_message = kGeneralFailure;
  }
}

}  // namespace

int64_t RecordingWeight(script::EngineContext& engine, const std::string& kind, const std::string& record) {
  for (const WeightRow& row : kRecordingWeights)
    if (kind == row.kind) return row.weight;
  if (kind == "Copy/Move Local Files") {
    const std::vector<std::string> fields = base::SplitCommaText(record);
    int64_t total = 0;
    for (const LocalFile& file :
         ListLocalFiles(engine.platform.Files(), Field(fields, 0), Field(fields, 1), FieldFlag(fields, 4)))
      total += static_cast<int64_t>(file.size);
    return total;
  }
  return 0;
}

bool RollbackEnabled(script::EngineContext& engine, script::RunState& run) {
  return !base::EqualsNoCase(engine.variables.GetVariable("NATIVE_ROLLBACK"), "FALSE") &&
         !run.native.install_completed;
}

bool RecordOrApply(script::EngineContext& engine, script::RunState& run, const std::string& kind,
                   size_t position, const std::string& record, bool record_flag) {
  NativeState& state = run.native;
  script::VariableStore& vars = engine.variables;
  state.error_message.clear();
  if (record_flag) {
    state.plan.push_back({kind, position, record, run.bitness});
    state.plan_total += RecordingWeight(engine, kind, record);
    return true;
  }

  // A rollback must run even when the run was cancelled.
  bool restore_cancel = false;
  if (kind == "ROLLBACK" && script::ToBoolean(vars.GetVariable("VELK_IsCancelled"))) {
    vars.AssignVariable("VELK_IsCancelled", "FALSE", kSpoolerSource);
    restore_cancel = true;
  }
  if (kind != "DELAYEDINSTALL") state.progress_total = engine.script.total_size;

  script::WorkerSpec job_spec;
  job_spec.watchdog_timer = script::watchdog::kNativeInstall;
  job_spec.cancel_source = "Cancel at Native Engine Time";
  job_spec.show_cancelled_message = kind != "ROLLBACK";
  const bool silent = script::IsSilent(engine);
  ui::UiLoop& loop = engine.loop;
  const script::WorkerResult outcome = script::RunWorker(
      engine, run, job_spec, [&engine, &run, &loop, silent, kind, position, record](
                                 std::stop_token, script::ProgressReporter& reporter) {
        NativeRun nr(engine, run);
        nr.reporter = &reporter;
        if (!silent) {
          // Prompts run on the UI thread, which turns its loop while it waits.
          nr.on_ui = [&loop](const std::function<void()>& fn) {
            auto done = std::make_shared<std::promise<void>>();
            std::future<void> finished = done->get_future();
            loop.Post([fn, done] {
              fn();
              done->set_value();
            });
            finished.wait();
          };
        }
        ThreadRun(nr, kind, position, record);
      });
  bool result = !outcome.end_run;
  if (restore_cancel) vars.AssignVariable("VELK_IsCancelled", "TRUE", kSpoolerSource);
  return result;
}

}  // namespace kestrawl::engine::native
