// The one wake-up that every wait of the console sleeps on: the program
// thread's waits for a key, for the end of a pause or for a bell's time, and
// the stop thread's waits for the close request and the program-stopped
// mark. A wait sleeps until the state it tests may have changed; whoever
// changes such a state wakes the waits after publishing it, so nothing
// wakes while nothing happens.
//
// No wake-up is lost: a wait tests its state while it holds the wake-up's
// lock and releases the lock only as it falls asleep, and wake_waiters()
// takes the lock before it wakes. A change made between a wait's last test
// and its sleep therefore wakes it. The lock guards nothing but that
// hand-over: the key queue and the run-control flags stay lock-free atomics,
// and the lock is taken only after the change is published.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace console {

using WaitClock = std::chrono::steady_clock;

// Wakes every wait, to test its state again. Any thread; call it after the
// change is published.
void wake_waiters();

namespace wake_detail {
std::mutex& mutex();
std::condition_variable& condition();
}  // namespace wake_detail

// Sleeps until ready() holds or the deadline passes; true when ready() holds.
// ready() is tested first, so a state that holds already costs no sleep, and
// again after every wake-up.
template <class Ready>
bool wait_until(Ready ready, WaitClock::time_point deadline) {
  std::unique_lock lock(wake_detail::mutex());
  return wake_detail::condition().wait_until(lock, deadline, ready);
}

// Sleeps until ready() holds, without a deadline.
template <class Ready>
void wait_until(Ready ready) {
  std::unique_lock lock(wake_detail::mutex());
  wake_detail::condition().wait(lock, ready);
}

// A boolean shared between threads whose every change wakes the waits. It
// reads and writes like std::atomic<bool> (acquire loads and release
// stores unless told otherwise), so a flag cannot be set without waking a
// wait that tests it.
class WakingFlag {
 public:
  bool load(std::memory_order order = std::memory_order_acquire) const {
    return value_.load(order);
  }
  void store(bool value, std::memory_order order = std::memory_order_release) {
    value_.store(value, order);
    wake_waiters();
  }
  bool exchange(bool value, std::memory_order order = std::memory_order_acq_rel) {
    const bool old = value_.exchange(value, order);
    if (old != value) wake_waiters();
    return old;
  }
  operator bool() const { return load(); }  // NOLINT: reads as the atomic it stands for

 private:
  std::atomic<bool> value_{false};
};

}  // namespace console
