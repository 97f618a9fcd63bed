#include "survey_entry/console/wake_up.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using console::WaitClock;
using console::WakingFlag;

// A wait on a flag returns once another thread sets it, and not before.
TEST(WakeUp, AWaitSleepsUntilItsFlagIsSet) {
  WakingFlag flag;
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    console::wait_until([&] { return flag.load(); });
    returned = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(returned.load());
  flag.store(true);
  waiter.join();
  EXPECT_TRUE(returned.load());
}

// A timed wait: at once when the state holds, false at its deadline when
// nothing changes, true when the state comes before it.
TEST(WakeUp, ATimedWaitEndsAtItsDeadlineOrItsState) {
  WakingFlag flag;
  EXPECT_FALSE(console::wait_until([&] { return flag.load(); }, WaitClock::now() + 20ms));
  flag.store(true);
  EXPECT_TRUE(console::wait_until([&] { return flag.load(); }, WaitClock::now() - 1s));

  WakingFlag later;
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    later.store(true);
  });
  EXPECT_TRUE(console::wait_until([&] { return later.load(); }, WaitClock::now() + 60s));
  setter.join();
}

// A plain atomic changed beside the wake-up (as the key queue's index is)
// is seen once wake_waiters follows the change.
TEST(WakeUp, AChangePublishedBeforeTheWakeUpIsSeen) {
  std::atomic<int> index{0};
  std::thread publisher([&] {
    std::this_thread::sleep_for(20ms);
    index.store(1, std::memory_order_release);
    console::wake_waiters();
  });
  console::wait_until([&] { return index.load(std::memory_order_acquire) == 1; });
  publisher.join();
  EXPECT_EQ(index.load(), 1);
}

// Two threads hand a turn back and forth through two flags, each sleeping
// until the other's change: a wake-up lost between a wait's test and its
// sleep would stop them both for good (and the test would time out).
TEST(WakeUp, NoWakeUpIsLostBetweenATestAndItsSleep) {
  constexpr int turns = 20000;
  WakingFlag ping;
  WakingFlag pong;
  std::thread other([&] {
    for (int i = 0; i < turns; ++i) {
      console::wait_until([&] { return ping.load(); });
      ping.store(false);
      pong.store(true);
    }
  });
  for (int i = 0; i < turns; ++i) {
    ping.store(true);
    console::wait_until([&] { return pong.load(); });
    pong.store(false);
  }
  other.join();
  EXPECT_FALSE(ping.load());
  EXPECT_FALSE(pong.load());
}

}  // namespace
