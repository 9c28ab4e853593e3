// The worker protocol: progress forwarding and its -1 / "$IGNORE$" rules,
// the variable side of a progress refresh, and RunWorker's wait loop with
// cooperative cancellation, the watchdog and the "Setup cancelled" handling.
#include "script/worker_protocol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/script_fixture.h"

namespace kestrawl::script {
namespace {

using namespace std::chrono_literals;
using testing::ScriptFixture;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

class WorkerProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::pair<const char*, const char*> start[] = {
        {"VELK_thProgress", "0"},        {"VELK_thMin", "0"},
        {"VELK_thMax", "100"},           {"VELK_thProgressText", ""},
        {"VELK_thCancelled", "FALSE"},   {"VELK_IsCancelled", "FALSE"},
        {"VELK_LastDelegateTick", "1"},  {"VELK_LastActiveTick", "1"},
        {"TITLE", "Test Product"},       {"ABORTONERROR", "FALSE"},
        {"ABORTEDONERROR", "FALSE"}};
    for (const auto& [name, value] : start) Vars().DeclareVariable(name, value, "Initialization");
  }

  VariableStore& Vars() { return f_.vars(); }
  std::string Var(const char* name) { return Vars().GetVariable(name); }

  WorkerResult Run(WorkerJob job, WorkerSpec job_spec = {}) {
    if (job_spec.cancel_source.empty()) job_spec.cancel_source = "Cancel at Extract-7Zip Time";
    return RunWorker(f_.engine(), f_.run(), job_spec, std::move(job));
  }

  ScriptFixture f_;
};

// Where a job that outlives its wait leaves what it saw. Owned jointly by
// the test and the job, so the job never touches the test's stack.
struct JobLog {
  std::mutex mu;
  std::condition_variable cv;
  bool release = false;           // the test lets the job go on
  bool finished = false;          // the job has returned
  bool late_report_taken = true;  // what Report answered after the release

  void WaitFor(bool JobLog::*flag) {
    std::unique_lock lock(mu);
    cv.wait_for(lock, 30s, [&] { return this->*flag; });
  }
  void Set(bool JobLog::*flag) {
    {
      std::lock_guard lock(mu);
      this->*flag = true;
    }
    cv.notify_all();
  }
};

// --- ForwardProgress -------------------------------------------------------

TEST_F(WorkerProtocolTest, ForwardProgressRules) {
  struct Row {
    const char* text;
    int64_t min, max, position;
    const char* want_text;
    const char* want_min;
    const char* want_max;
    const char* want_position;
  };
  const Row rows[] = {
      {"Copying", 0, 200, 50, "Copying", "0", "200", "50"},
      {"Copying", 10, 6442450944, 3221225472, "Copying", "10", "6442450944", "3221225472"},
      // -1 leaves range and position alone, the text still changes.
      {"Only text", 0, 999, -1, "Only text", "5", "500", "250"},
      // "$IGNORE$" leaves the text alone, the values still change.
      {"$IGNORE$", 1, 2, 1, "before", "1", "2", "1"},
      {"$IGNORE$", 1, 2, -1, "before", "5", "500", "250"},
      // "$VELK$" takes everything from the variables.
      {"$VELK$", 1, 2, 1, "before", "5", "500", "250"},
      {"", 0, 100, 0, "", "0", "100", "0"},
  };
  uint32_t tick = 1000;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.text) + " position " + std::to_string(row.position));
    Vars().Manager().Set("VELK_thProgressText", "before");
    Vars().Manager().Set("VELK_thMin", "5");
    Vars().Manager().Set("VELK_thMax", "500");
    Vars().Manager().Set("VELK_thProgress", "250");
    ++tick;
    ForwardProgress(Vars(), tick, row.text, row.min, row.max, row.position);
    EXPECT_EQ(Var("VELK_LastDelegateTick"), std::to_string(tick));
    EXPECT_EQ(Var("VELK_thProgressText"), row.want_text);
    EXPECT_EQ(Var("VELK_thMin"), row.want_min);
    EXPECT_EQ(Var("VELK_thMax"), row.want_max);
    EXPECT_EQ(Var("VELK_thProgress"), row.want_position);
  }
}

TEST_F(WorkerProtocolTest, ForwardProgressTakesTheMachineTick) {
  const uint64_t before = f_.machine().Sys().TickCount();
  ForwardProgress(Vars(), f_.machine().Sys(), "x", 0, 100, 1);
  const uint64_t after = f_.machine().Sys().TickCount();
  const uint64_t stored = std::stoull(Var("VELK_LastDelegateTick"));
  EXPECT_GE(stored, before);
  EXPECT_LE(stored, after);
}

// --- Refresh progress (variable side) --------------------------------------

TEST_F(WorkerProtocolTest, RefreshReadsProgressVariablesUntilTheFirstNonNumber) {
  struct Row {
    const char* progress;
    const char* max;
    const char* min;
    int64_t want_position, want_max, want_min;
  };
  // Values of the call: min 7, max 70, position 35.
  const Row rows[] = {
      {"40", "200", "10", 40, 200, 10},
      {"40", "abc", "10", 40, 70, 7},       // stops at max: min is not read
      {"x", "200", "10", 35, 70, 7},        // nothing numeric read
      {"40", "200", "", 40, 200, 7},
      {"-1", "200", "0", -1, 200, 0},
      // 6 GiB range, 3 GiB position: divided by 1024 once.
      {"3221225472", "6442450944", "0", 3145728, 6291456, 0},
      // 4 TiB: twice.
      {"1099511627776", "4398046511104", "1024", 1048576, 4194304, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.progress) + "/" + row.max + "/" + row.min);
    Vars().Manager().Set("VELK_thProgressText", "Working");
    Vars().Manager().Set("VELK_thProgress", row.progress);
    Vars().Manager().Set("VELK_thMax", row.max);
    Vars().Manager().Set("VELK_thMin", row.min);
    ProgressView view = RefreshProgressValues(Vars(), "$VELK$", false, 7, 70, 35);
    EXPECT_EQ(view.text, "Working");
    EXPECT_EQ(view.position, row.want_position);
    EXPECT_EQ(view.max, row.want_max);
    EXPECT_EQ(view.min, row.want_min);
  }
}

TEST_F(WorkerProtocolTest, RefreshWithExplicitValuesIgnoresTheVariables) {
  Vars().Manager().Set("VELK_thProgress", "99");
  ProgressView view = RefreshProgressValues(Vars(), "Script text", false, 0, 100, 42);
  EXPECT_EQ(view.text, "Script text");
  EXPECT_EQ(view.position, 42);
  EXPECT_EQ(view.max, 100);
}

TEST_F(WorkerProtocolTest, CancelMirrorCopiesIsCancelledOnlyWhenAsked) {
  struct Row {
    const char* is_cancelled;
    bool mirror;
    bool want;
    const char* want_mirror;
  };
  const Row rows[] = {
      {"TRUE", true, true, "TRUE"},   {"true", true, true, "TRUE"},  {"-1", true, true, "TRUE"},
      {"FALSE", true, false, "FALSE"}, {"yes", true, false, "FALSE"},
      {"TRUE", false, true, "unchanged"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.is_cancelled) + (row.mirror ? " mirrored" : ""));
    Vars().Manager().Set("VELK_IsCancelled", row.is_cancelled);
    Vars().Manager().Set("VELK_thCancelled", "unchanged");
    EXPECT_EQ(RefreshCancelMirror(Vars(), row.mirror), row.want);
    EXPECT_EQ(Var("VELK_thCancelled"), row.want_mirror);
    EXPECT_EQ(RefreshProgressValues(Vars(), "$VELK$", row.mirror, 0, 100, 0).cancelled, row.want);
  }
}

TEST_F(WorkerProtocolTest, MessageBoxTitle) {
  struct Row {
    const char* title;
    const char* logo;
    const char* want;
  };
  const Row rows[] = {
      {"Test Product", "FALSE", "Test Product - Kestrawl Wizard"},
      {"", "FALSE", "Kestrawl Wizard"},
      {"Test Product", "true", "Test Product"},
      {"", "TRUE", ""},
  };
  for (const Row& row : rows) {
    Vars().Manager().Set("TITLE", row.title);
    Vars().Manager().Set("VELKLOGO", row.logo);
    EXPECT_EQ(MessageBoxTitle(Vars()), row.want) << row.title << " / " << row.logo;
  }
}

// --- RunWorker ---------------------------------------------------------------

TEST_F(WorkerProtocolTest, CompletedJobPublishesProgressWhileTheLoopTurns) {
  std::atomic<bool> task_ran_on_loop{false};
  const std::thread::id loop_thread = std::this_thread::get_id();
  ui::UiLoop& loop = f_.engine().loop;
  bool marked_while_waiting = false;
  WorkerSpec job_spec;
  job_spec.on_turn = [&] { marked_while_waiting = f_.run().waiting_for_worker; };

  WorkerResult result = Run(
      [&](std::stop_token, ProgressReporter& progress) {
        EXPECT_TRUE(progress.Report("Extracting", 0, 10, 5));
        // A synchronised call: the job waits until the UI thread ran it.
        std::atomic<bool> done{false};
        loop.Post([&] {
          task_ran_on_loop = std::this_thread::get_id() == loop_thread;
          done = true;
        });
        for (int i = 0; i < 3000 && !done; ++i) std::this_thread::sleep_for(10ms);
      },
      job_spec);

  EXPECT_EQ(result.outcome, WorkerOutcome::kCompleted);
  EXPECT_FALSE(result.end_run);
  EXPECT_TRUE(task_ran_on_loop);
  EXPECT_TRUE(marked_while_waiting);
  EXPECT_FALSE(f_.run().waiting_for_worker);
  EXPECT_EQ(Var("VELK_thProgressText"), "Extracting");
  EXPECT_EQ(Var("VELK_thMax"), "10");
  EXPECT_EQ(Var("VELK_thProgress"), "5");
  EXPECT_EQ(Var("ABORTEDONERROR"), "FALSE");
  EXPECT_EQ(f_.messages(), "");
}

TEST_F(WorkerProtocolTest, CooperativeJobCancelledMidwayEndsPromptly) {
  ui::UiLoop& loop = f_.engine().loop;
  WorkerSpec job_spec;
  job_spec.watchdog_timer = watchdog::kExtract7Zip;
  job_spec.watchdog_period = 60s;  // far away: the job must end on its own
  std::atomic<bool> timer_armed_at_stop{false};
  std::atomic<int> reports_after_cancel{0};

  const auto start = std::chrono::steady_clock::now();
  WorkerResult result = Run(
      [&](std::stop_token stop, ProgressReporter& progress) {
        progress.Report("Step 1", 0, 100, 10);
        // The user presses Cancel on the page (a task on the UI thread).
        loop.Post([&] { Vars().AssignVariable("VELK_IsCancelled", "TRUE", "Cancel Button"); });
        for (int i = 0; i < 3000 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(10ms);
        timer_armed_at_stop = loop.TimerArmed(watchdog::kExtract7Zip);
        if (!progress.Report("Stopping", 0, 100, 20)) ++reports_after_cancel;
      },
      job_spec);

  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_EQ(result.outcome, WorkerOutcome::kCancelled);
  EXPECT_FALSE(result.end_run);
  EXPECT_TRUE(timer_armed_at_stop) << "the watchdog is armed when the stop is asked";
  EXPECT_FALSE(loop.TimerArmed(watchdog::kExtract7Zip)) << "the watchdog is disarmed after the wait";
  EXPECT_EQ(reports_after_cancel, 1) << "Report tells a stopped job to stop";
  EXPECT_EQ(Var("VELK_thProgressText"), "Stopping");
  EXPECT_EQ(Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(f_.messages(), "[Test Product - Kestrawl Wizard] error: Setup cancelled\n");
}

TEST_F(WorkerProtocolTest, JobIgnoringStopButReportingIsNotAbandoned) {
  Vars().Manager().Set("VELK_IsCancelled", "TRUE");
  WorkerSpec job_spec;
  job_spec.watchdog_timer = watchdog::kMediaExtraction;
  job_spec.watchdog_period = 500ms;

  WorkerResult result = Run(
      [](std::stop_token, ProgressReporter& progress) {
        // Several watchdog periods of steady progress, stop request ignored.
        const auto end = std::chrono::steady_clock::now() + 2500ms;
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
          progress.Report("$IGNORE$", 0, 100000, i);
          std::this_thread::sleep_for(10ms);
        }
        progress.Report("Finished anyway", 0, 100, 100);
      },
      job_spec);

  EXPECT_EQ(result.outcome, WorkerOutcome::kCancelled);
  EXPECT_EQ(Var("VELK_thProgressText"), "Finished anyway");
  EXPECT_NE(Var("VELK_LastActiveTick"), "1") << "the watchdog copies the delegate tick";
}

TEST_F(WorkerProtocolTest, JobThatStopsReportingIsAbandoned) {
  Vars().Manager().Set("VELK_IsCancelled", "TRUE");
  Vars().Manager().Set("VELK_thProgressText", "");
  WorkerSpec job_spec;
  job_spec.watchdog_timer = watchdog::kWebMediaGrab;
  job_spec.watchdog_period = 500ms;
  auto log = std::make_shared<JobLog>();

  const auto start = std::chrono::steady_clock::now();
  WorkerResult result = Run(
      [log](std::stop_token, ProgressReporter& progress) {
        progress.Report("Hanging", 0, 100, 1);
        log->WaitFor(&JobLog::release);  // ignores the stop request
        bool taken = progress.Report("Too late", 0, 100, 99);
        {
          std::lock_guard lock(log->mu);
          log->late_report_taken = taken;
        }
        log->Set(&JobLog::finished);
      },
      job_spec);

  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_EQ(result.outcome, WorkerOutcome::kAbandoned);
  EXPECT_FALSE(f_.engine().loop.TimerArmed(watchdog::kWebMediaGrab));
  EXPECT_EQ(Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(Count(f_.messages(), "Setup cancelled"), 1u);

  // The abandoned job goes on; what it reports now reaches nothing.
  Vars().Manager().Set("VELK_thProgressText", "after the wait");
  log->Set(&JobLog::release);
  log->WaitFor(&JobLog::finished);
  std::lock_guard lock(log->mu);
  EXPECT_TRUE(log->finished);
  EXPECT_FALSE(log->late_report_taken);
  EXPECT_EQ(Var("VELK_thProgressText"), "after the wait");
  EXPECT_EQ(Var("VELK_thProgress"), "1");
}

TEST_F(WorkerProtocolTest, KillAtOnceWatchdogIgnoresProgress) {
  Vars().Manager().Set("VELK_IsCancelled", "TRUE");
  WorkerSpec job_spec;
  job_spec.watchdog_timer = watchdog::kRunProgramAs;
  job_spec.watchdog_period = 500ms;
  job_spec.watch_progress = false;
  job_spec.cancel_source = "Cancel at Run-As Time";
  auto log = std::make_shared<JobLog>();

  WorkerResult result = Run(
      [log](std::stop_token, ProgressReporter& progress) {
        // Keeps reporting until it is cut off (or 30 s pass).
        for (int i = 0; i < 3000; ++i) {
          progress.Report("$IGNORE$", 0, 3000, i);
          {
            std::lock_guard lock(log->mu);
            if (log->release) break;
          }
          std::this_thread::sleep_for(10ms);
        }
        log->Set(&JobLog::finished);
      },
      job_spec);

  EXPECT_EQ(result.outcome, WorkerOutcome::kAbandoned);
  log->Set(&JobLog::release);
  log->WaitFor(&JobLog::finished);
}

TEST_F(WorkerProtocolTest, JobExceptionIsRethrownToTheWaitingCommand) {
  EXPECT_THROW(Run([](std::stop_token, ProgressReporter&) { throw std::runtime_error("job failed"); }),
               std::runtime_error);
  EXPECT_FALSE(f_.run().waiting_for_worker);
}

TEST_F(WorkerProtocolTest, CancelledWaitHandling) {
  struct Row {
    bool silent;
    const char* abort_on_error;
    const char* aborted_before;
    bool want_message;
    bool want_end;
    const char* want_aborted;
  };
  const Row rows[] = {
      {false, "FALSE", "FALSE", true, false, "TRUE"},
      {false, "TRUE", "FALSE", true, true, "FALSE"},
      {false, "FALSE", "TRUE", false, false, "TRUE"},
      {false, "true", "true", false, true, "true"},
      {true, "FALSE", "FALSE", false, false, "TRUE"},
      {true, "TRUE", "FALSE", false, true, "FALSE"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.silent ? "silent " : "") + "ABORTONERROR=" + row.abort_on_error +
                 " ABORTEDONERROR=" + row.aborted_before);
    ScriptFixture f;
    f.engine().settings.silent = row.silent;
    f.vars().SetSilent(row.silent);
    f.vars().DeclareVariable("TITLE", "", "Initialization");
    f.vars().DeclareVariable("VELK_IsCancelled", "TRUE", "Initialization");
    f.vars().DeclareVariable("ABORTONERROR", row.abort_on_error, "Initialization");
    f.vars().DeclareVariable("ABORTEDONERROR", row.aborted_before, "Initialization");
    WorkerSpec job_spec;
    job_spec.cancel_source = "Cancel at Delete-7Zip Time";
    bool job_saw_stop = false;
    WorkerResult result = RunWorker(f.engine(), f.run(), job_spec, [&](std::stop_token stop, ProgressReporter&) {
      // Non-silent waits ask the job to stop; give them the time to.
      for (int i = 0; i < 3000 && !row.silent && !stop.stop_requested(); ++i)
        std::this_thread::sleep_for(10ms);
      job_saw_stop = stop.stop_requested();
    });
    EXPECT_EQ(result.outcome, WorkerOutcome::kCancelled);
    EXPECT_EQ(job_saw_stop, !row.silent);
    EXPECT_EQ(result.end_run, row.want_end);
    EXPECT_EQ(f.run().end_requested, row.want_end);
    EXPECT_EQ(f.vars().GetVariable("ABORTEDONERROR"), row.want_aborted);
    EXPECT_EQ(f.messages(), row.want_message ? "[Kestrawl Wizard] error: Setup cancelled\n" : "");
  }
}

TEST_F(WorkerProtocolTest, SilentJobWithoutCancellationCompletes) {
  f_.engine().settings.silent = true;
  WorkerResult result = Run([](std::stop_token, ProgressReporter& progress) {
    progress.Report("Silent work", 0, 100, 100);
  });
  EXPECT_EQ(result.outcome, WorkerOutcome::kCompleted);
  EXPECT_EQ(Var("VELK_thProgressText"), "Silent work");
  EXPECT_EQ(Var("ABORTEDONERROR"), "FALSE");
  EXPECT_EQ(f_.messages(), "");
}

}  // namespace
}  // namespace kestrawl::script
