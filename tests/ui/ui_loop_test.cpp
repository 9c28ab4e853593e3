// The UI thread's loop: tasks posted from other threads run on the thread
// that turns the loop, in order; one-shot timers fire once, can be stopped,
// replaced and re-armed from their own callback.
#include "ui/ui_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kestrawl::ui {
namespace {

using namespace std::chrono_literals;

// Turns the loop until `done` holds, for at most 15 s.
template <typename Pred>
bool TurnUntil(UiLoop& loop, Pred done) {
  const auto give_up = std::chrono::steady_clock::now() + 15s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    loop.WaitAndRun(50ms);
  }
  return true;
}

TEST(UiLoopTest, TasksPostedFromOtherThreadsRunOnTheLoopThreadInOrder) {
  UiLoop loop;
  std::vector<int> order;                 // touched only by the loop thread
  std::vector<std::thread::id> ran_on;
  std::thread poster([&] {
    for (int i = 0; i < 3; ++i)
      loop.Post([&, i] {
        order.push_back(i);
        ran_on.push_back(std::this_thread::get_id());
      });
  });
  poster.join();
  EXPECT_TRUE(order.empty()) << "tasks must wait for the loop";

  EXPECT_EQ(loop.RunPending(), 3u);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  for (std::thread::id id : ran_on) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(loop.RunPending(), 0u);
}

TEST(UiLoopTest, WaitAndRunWakesForATaskPostedLater) {
  UiLoop loop;
  std::atomic<bool> ran{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(30ms);
    loop.Post([&] { ran = true; });
  });
  // A generous wait: it must return with the task run, not at the timeout.
  const auto start = std::chrono::steady_clock::now();
  size_t count = 0;
  while (count == 0 && std::chrono::steady_clock::now() - start < 15s) count = loop.WaitAndRun(15s);
  poster.join();
  EXPECT_EQ(count, 1u);
  EXPECT_TRUE(ran);
}

TEST(UiLoopTest, EmptyTaskOnlyWakesTheLoop) {
  UiLoop loop;
  loop.Post({});
  EXPECT_EQ(loop.WaitAndRun(15s), 0u);
}

TEST(UiLoopTest, TimerFiresOnceOnTheLoopThread) {
  UiLoop loop;
  int fired = 0;
  std::thread::id fired_on;
  loop.StartTimer("thxTimer", 10ms, [&] {
    ++fired;
    fired_on = std::this_thread::get_id();
  });
  EXPECT_TRUE(loop.TimerArmed("thxTimer"));
  ASSERT_TRUE(TurnUntil(loop, [&] { return fired > 0; }));
  EXPECT_EQ(fired_on, std::this_thread::get_id());
  EXPECT_FALSE(loop.TimerArmed("thxTimer"));

  loop.WaitAndRun(60ms);
  loop.RunPending();
  EXPECT_EQ(fired, 1);
}

TEST(UiLoopTest, StoppedTimerNeverFires) {
  UiLoop loop;
  bool fired = false;
  loop.StartTimer("tdemTimer", 5ms, [&] { fired = true; });
  loop.StopTimer("tdemTimer");
  loop.StopTimer("tdemTimer");  // stopping twice is harmless
  EXPECT_FALSE(loop.TimerArmed("tdemTimer"));
  std::this_thread::sleep_for(20ms);
  loop.WaitAndRun(20ms);
  EXPECT_FALSE(fired);
}

TEST(UiLoopTest, StartingAnArmedTimerReplacesIt) {
  UiLoop loop;
  std::vector<std::string> fired;
  loop.StartTimer("plugTimer", 0ms, [&] { fired.push_back("first"); });
  loop.StartTimer("plugTimer", 0ms, [&] { fired.push_back("second"); });
  loop.StartTimer("spoolTimer", 0ms, [&] { fired.push_back("other"); });
  ASSERT_TRUE(TurnUntil(loop, [&] { return fired.size() >= 2; }));
  loop.RunPending();
  std::sort(fired.begin(), fired.end());
  EXPECT_EQ(fired, (std::vector<std::string>{"other", "second"}));
}

TEST(UiLoopTest, CallbackMayReArmItsTimerWithoutLoopingInOnePass) {
  UiLoop loop;
  int fired = 0;
  std::function<void()> tick = [&] {
    ++fired;
    loop.StartTimer("tfafTimer", 0ms, tick);
  };
  loop.StartTimer("tfafTimer", 0ms, tick);
  std::this_thread::sleep_for(2ms);
  EXPECT_EQ(loop.RunPending(), 1u);
  EXPECT_TRUE(loop.TimerArmed("tfafTimer"));
  std::this_thread::sleep_for(2ms);
  EXPECT_EQ(loop.RunPending(), 1u);
  EXPECT_EQ(fired, 2);
  loop.StopTimer("tfafTimer");
}

TEST(UiLoopTest, ThrowingTaskKeepsTheRestOfTheBatchQueued) {
  UiLoop loop;
  std::vector<int> order;
  loop.Post([&] { order.push_back(1); });
  loop.Post([] { throw std::runtime_error("task failed"); });
  loop.Post([&] { order.push_back(3); });
  EXPECT_THROW(loop.RunPending(), std::runtime_error);
  loop.Post([&] { order.push_back(4); });
  EXPECT_EQ(loop.RunPending(), 2u);
  EXPECT_EQ(order, (std::vector<int>{1, 3, 4}));
}

}  // namespace
}  // namespace kestrawl::ui
