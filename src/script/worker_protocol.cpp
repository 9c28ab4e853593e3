#include "script/worker_protocol.h"

#include <charconv>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

#include "base/text.h"
#include "ui/message_host.h"
#include "ui/ui_loop.h"

namespace kestrawl::script {

namespace detail {

// One worker, shared by the waiting command and the worker thread. The
// thread may outlive the wait (abandoned), so the engine is reached only
// through the pointers below, under mu; the wait clears them when it ends.
struct WorkerShared {
  std::stop_source stop;                 // requested on cancellation
  std::mutex mu;
  std::condition_variable finished;      // signalled when done is set
  bool done = false;                     // guarded by mu
  VariableStore* vars = nullptr;         // guarded by mu; null once the wait is over
  platform::System* system = nullptr;    // guarded by mu; as vars
  ui::UiLoop* loop = nullptr;            // guarded by mu; woken at completion (non-silent)
  std::exception_ptr error;              // the job's exception; written before done
};

}  // namespace detail

namespace {

using detail::WorkerShared;

// One turn of a non-silent wait waits at most this long for a posted task or
// a timer before it looks at VELK_IsCancelled again.
constexpr std::chrono::milliseconds kTurn{50};

bool ParseDecimal(std::string_view text, int64_t* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

void WorkerMain(std::shared_ptr<WorkerShared> shared, WorkerJob job) {
  ProgressReporter reporter(shared);
  std::exception_ptr error;
  try {
    job(shared->stop.get_token(), reporter);
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard lock(shared->mu);
    shared->error = error;
    shared->done = true;
    if (shared->loop) shared->loop->Post({});  // wake the waiting UI loop
  }
  shared->finished.notify_all();
}

// Cuts the worker off the engine: from now on its reports are ignored and
// its completion wakes nothing. Returns whether the job had already ended.
bool Disconnect(WorkerShared& shared) {
  std::lock_guard lock(shared.mu);
  shared.vars = nullptr;
  shared.system = nullptr;
  shared.loop = nullptr;
  return shared.done;
}

}  // namespace

void ForwardProgress(VariableStore& vars, uint32_t tick, std::string_view text, int64_t min,
                     int64_t max, int64_t position) {
  TVariableManager& store = vars.Manager();
  store.Set("VELK_LastDelegateTick", std::to_string(tick));
  // Values taken from the variables themselves stay as they are.
  if (text == kProgressFromVariables) return;
  if (position != kKeepProgressPosition) {
    store.Set("VELK_thMax", std::to_string(max));
    store.Set("VELK_thMin", std::to_string(min));
    store.Set("VELK_thProgress", std::to_string(position));
  }
  if (text != kKeepProgressText) store.Set("VELK_thProgressText", text);
}

void ForwardProgress(VariableStore& vars, platform::System& system, std::string_view text,
                     int64_t min, int64_t max, int64_t position) {
  ForwardProgress(vars, system.TickCount(), text, min, max, position);
}

bool RefreshCancelMirror(VariableStore& vars, bool mirror) {
  const bool cancelled = ToBoolean(vars.GetVariable("VELK_IsCancelled"));
  if (mirror) vars.Manager().Set("VELK_thCancelled", FromBoolean(cancelled));
  return cancelled;
}

ProgressView RefreshProgressValues(VariableStore& vars, std::string_view text, bool mirror_cancel,
                                   int64_t min, int64_t max, int64_t position) {
  ProgressView view;
  view.cancelled = RefreshCancelMirror(vars, mirror_cancel);
  view.text = std::string(text);
  view.min = min;
  view.max = max;
  view.position = position;
  if (text == kProgressFromVariables) {
    const TVariableManager& store = vars.Manager();
    view.text = store.Get("VELK_thProgressText");
    int64_t* targets[] = {&view.position, &view.max, &view.min};
    const char* names[] = {"VELK_thProgress", "VELK_thMax", "VELK_thMin"};
    for (size_t i = 0; i < 3; ++i)
      if (!ParseDecimal(store.Get(names[i]), targets[i])) break;
  }
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
  while (view.max > kLimit || view.max < -kLimit) {
    view.min /= 1024;
    view.max /= 1024;
    view.position /= 1024;
  }
  return view;
}

std::string MessageBoxTitle(const VariableStore& vars) {
  std::string title = vars.GetVariable("TITLE");
  if (base::AsciiUpper(vars.GetVariable("VELKLOGO")) == "TRUE") return title;
  return title.empty() ? std::string(kStartupCaption) : title + " - " + kStartupCaption;
}

ProgressReporter::ProgressReporter(std::shared_ptr<detail::WorkerShared> shared)
    : shared_(std::move(shared)) {}

bool ProgressReporter::Report(std::string_view text, int64_t min, int64_t max,
                              int64_t position) const {
  std::lock_guard lock(shared_->mu);
  if (!shared_->vars) return false;
  ForwardProgress(*shared_->vars, *shared_->system, text, min, max, position);
  return !shared_->stop.stop_requested();
}

bool ProgressReporter::StopRequested() const { return shared_->stop.stop_requested(); }

WorkerResult RunWorker(EngineContext& engine, RunState& run, const WorkerSpec& job_spec, WorkerJob job) {
  VariableStore& vars = engine.variables;
  ui::UiLoop& loop = engine.loop;
  const bool silent = IsSilent(engine);

  auto shared = std::make_shared<WorkerShared>();
  shared->vars = &vars;
  shared->system = &engine.platform.Sys();
  shared->loop = silent ? nullptr : &loop;

  // 1. The engine waits for a worker until this function returns.
  struct WaitingMark {
    RunState& run;
    bool before;
    explicit WaitingMark(RunState& r) : run(r), before(r.waiting_for_worker) {
      run.waiting_for_worker = true;
    }
    ~WaitingMark() { run.waiting_for_worker = before; }
  } waiting(run);

  std::thread worker(WorkerMain, shared, std::move(job));
  bool abandoned = false;

  if (silent) {
    // 2. Silent: no messages are processed; block until the job ends.
    std::unique_lock lock(shared->mu);
    shared->finished.wait(lock, [&] { return shared->done; });
  } else {
    // 3. The watchdog: re-armed while the job keeps reporting progress,
    // otherwise the job is abandoned.
    std::function<void()> watchdog_tick = [&] {
      if (job_spec.watch_progress) {
        std::string delegate_tick = vars.GetVariable("VELK_LastDelegateTick");
        if (vars.GetVariable("VELK_LastActiveTick") != delegate_tick) {
          vars.Manager().Set("VELK_LastActiveTick", delegate_tick);
          loop.StartTimer(job_spec.watchdog_timer, job_spec.watchdog_period, watchdog_tick);
          return;
        }
      }
      if (!Disconnect(*shared)) abandoned = true;
    };
    struct TimerGuard {
      ui::UiLoop& loop;
      const std::string& name;
      ~TimerGuard() { loop.StopTimer(name); }
    } timer_guard{loop, job_spec.watchdog_timer};

    // 2. Turn the UI loop until the job ends or is abandoned.
    bool stop_asked = false;
    try {
      for (;;) {
        {
          std::lock_guard lock(shared->mu);
          if (shared->done) break;
        }
        if (abandoned) break;
        if (job_spec.on_turn) job_spec.on_turn();
        if (!stop_asked && ToBoolean(vars.GetVariable("VELK_IsCancelled"))) {
          vars.Manager().Set("VELK_LastActiveTick", vars.GetVariable("VELK_LastDelegateTick"));
          loop.StartTimer(job_spec.watchdog_timer, job_spec.watchdog_period, watchdog_tick);
          shared->stop.request_stop();
          stop_asked = true;
        }
        loop.WaitAndRun(kTurn);
      }
    } catch (...) {
      // A task run by the loop failed: the command ends with its error. The
      // job is asked to stop and left to end on its own.
      shared->stop.request_stop();
      Disconnect(*shared);
      worker.detach();
      throw;
    }
  }

  // 4. After the loop. The job no longer reaches the engine, whatever it or
  // threads of its own still do.
  Disconnect(*shared);
  if (abandoned) {
    worker.detach();
  } else {
    worker.join();
    if (shared->error) std::rethrow_exception(shared->error);
  }

  WorkerResult result;
  result.outcome = abandoned ? WorkerOutcome::kAbandoned : WorkerOutcome::kCompleted;
  if (ToBoolean(vars.GetVariable("VELK_IsCancelled"))) {
    if (!abandoned) result.outcome = WorkerOutcome::kCancelled;
    if (!silent && job_spec.show_cancelled_message && !ToBoolean(vars.GetVariable("ABORTEDONERROR")))
      engine.messages.ShowMessage(MessageBoxTitle(vars), kSetupCancelledMessage,
                                  ui::MessageIcon::kError, ui::MessageButtons::kOk);
    if (ToBoolean(vars.GetVariable("ABORTONERROR"))) {
      run.end_requested = true;
      result.end_run = true;
    } else {
      vars.AssignVariable("ABORTEDONERROR", "TRUE", job_spec.cancel_source);
    }
  }
  return result;
}

bool IsSilent(const EngineContext& engine) {
  return engine.settings.silent || ToBoolean(engine.variables.GetVariable("SILENT"));
}

}  // namespace kestrawl::script
