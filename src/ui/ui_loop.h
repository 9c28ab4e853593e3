// UiLoop: the user-interface thread's message loop as an object.
//
// Two kinds of work reach the UI thread through it:
// - posted tasks (synchronised calls): Post may be called from any thread;
//   the tasks run in posting order on the thread that turns the loop
//   (RunPending or WaitAndRun). An empty task only wakes the loop, the way a
//   worker's null message wakes the application.
// - one-shot named timers: StartTimer arms (or re-arms) a timer, StopTimer
//   disarms it; a due timer is disarmed and then its callback runs from the
//   loop, so a callback may arm its own timer again.
// Callbacks run without the loop's lock held; they may post, start and stop
// timers. Every member is thread-safe; the callbacks run only on the thread
// that turns the loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kestrawl::ui {

class UiLoop {
 public:
  using Task = std::function<void()>;
  using Clock = std::chrono::steady_clock;

  UiLoop() = default;
  UiLoop(const UiLoop&) = delete;
  UiLoop& operator=(const UiLoop&) = delete;

  // Queues a task for the UI thread and wakes a waiting WaitAndRun.
  void Post(Task task);

  // Arms the timer `name` to fire once after `interval`; an armed timer of the
  // same name is replaced (interval and callback).
  void StartTimer(std::string name, std::chrono::milliseconds interval, Task callback);
  // Disarms the timer; no effect when it is not armed.
  void StopTimer(std::string_view name);
  bool TimerArmed(std::string_view name) const;

  // Runs the tasks posted before the call, then the timers that were armed
  // before the call and are due. Returns how many callbacks ran (empty tasks
  // do not count). An exception from a callback propagates; the tasks of
  // the batch that did not run yet stay queued.
  size_t RunPending();
  // Waits until a task is posted, a timer falls due or `timeout` has passed,
  // then runs what is pending (RunPending). Returns how many callbacks ran.
  size_t WaitAndRun(std::chrono::milliseconds timeout);

 private:
  struct Timer {
    Clock::time_point due;
    uint64_t sequence = 0;  // arming order; a timer armed during a pass waits for the next
    Task callback;
  };

  std::optional<Clock::time_point> EarliestDueLocked() const;

  mutable std::mutex mu_;                        // guards everything below
  std::condition_variable wake_;                 // a task was posted or a timer armed
  std::deque<Task> tasks_;                       // posted, not yet run
  std::map<std::string, Timer, std::less<>> timers_;  // armed timers by name
  uint64_t next_sequence_ = 0;
};

}  // namespace kestrawl::ui
