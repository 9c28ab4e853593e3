#include "ui/ui_loop.h"

#include <utility>

namespace kestrawl::ui {

void UiLoop::Post(Task task) {
  {
    std::lock_guard lock(mu_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void UiLoop::StartTimer(std::string name, std::chrono::milliseconds interval, Task callback) {
  {
    std::lock_guard lock(mu_);
    Timer& timer = timers_[std::move(name)];
    timer.due = Clock::now() + interval;
    timer.sequence = next_sequence_++;
    timer.callback = std::move(callback);
  }
  wake_.notify_all();
}

void UiLoop::StopTimer(std::string_view name) {
  std::lock_guard lock(mu_);
  auto it = timers_.find(name);
  if (it != timers_.end()) timers_.erase(it);
}

bool UiLoop::TimerArmed(std::string_view name) const {
  std::lock_guard lock(mu_);
  return timers_.find(name) != timers_.end();
}

std::optional<UiLoop::Clock::time_point> UiLoop::EarliestDueLocked() const {
  std::optional<Clock::time_point> earliest;
  for (const auto& [name, timer] : timers_)
    if (!earliest || timer.due < *earliest) earliest = timer.due;
  return earliest;
}

size_t UiLoop::RunPending() {
  size_t ran = 0;
  uint64_t sequence_limit = 0;
  std::deque<Task> batch;
  {
    std::lock_guard lock(mu_);
    batch.swap(tasks_);
    sequence_limit = next_sequence_;
  }
  while (!batch.empty()) {
    Task task = std::move(batch.front());
    batch.pop_front();
    if (!task) continue;
    try {
      task();
    } catch (...) {
      // Keep the rest of the batch, ahead of what was posted meanwhile.
      std::lock_guard lock(mu_);
      tasks_.insert(tasks_.begin(), std::make_move_iterator(batch.begin()),
                    std::make_move_iterator(batch.end()));
      throw;
    }
    ++ran;
  }

  // Due timers, earliest first; only those armed before this pass, so a
  // callback that re-arms its timer with a short interval cannot keep the
  // pass going.
  const Clock::time_point now = Clock::now();
  for (;;) {
    Task callback;
    {
      std::lock_guard lock(mu_);
      auto chosen = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.sequence >= sequence_limit || it->second.due > now) continue;
        if (chosen == timers_.end() || it->second.due < chosen->second.due) chosen = it;
      }
      if (chosen == timers_.end()) break;
      callback = std::move(chosen->second.callback);
      timers_.erase(chosen);
    }
    if (callback) {
      callback();
      ++ran;
    }
  }
  return ran;
}

size_t UiLoop::WaitAndRun(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  {
    std::unique_lock lock(mu_);
    for (;;) {
      if (!tasks_.empty()) break;
      const Clock::time_point now = Clock::now();
      std::optional<Clock::time_point> due = EarliestDueLocked();
      if (due && *due <= now) break;
      if (now >= deadline) break;
      wake_.wait_until(lock, due && *due < deadline ? *due : deadline);
    }
  }
  return RunPending();
}

}  // namespace kestrawl::ui
