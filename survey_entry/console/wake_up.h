// The one wake-up that every wait of the console sleeps on: the program
// thread's waits for a key, for the end of a pause or for a bell's time, and
// the stop thread's waits for the close request and the program-stopped
// mark. A wait sleeps until the state it tests may have changed; whoever
// changes such a state wakes the waits after publishing it, so nothing
// wakes while nothing happens.
//
// No lock is taken on either side: a wake-up bumps a generation count and
// wakes the sleepers on it (a futex), and a wait sleeps only while the
// generation is the one it read before its last test of the state. A change
// made between that test and the sleep has moved the generation on, so the
// wait does not fall asleep; a change made later wakes it. The key queue
// and the run-control flags stay lock-free atomics beside it, and a thread
// that wakes the waits can never be held up by one that waits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace console {

using WaitClock = std::chrono::steady_clock;

// Wakes every wait, to test its state again. Any thread; call it after the
// change is published.
void wake_waiters();

namespace wake_detail {
// The generation before a test of the state (seq_cst, so that the test
// sees every change published before that generation was left).
std::uint32_t generation();
// Sleeps while the generation is still seen, until the deadline (none when
// it is no_deadline). May return early; the caller tests again.
void sleep_while(std::uint32_t seen, WaitClock::time_point deadline);
}  // namespace wake_detail

// The deadline of a wait that has none.
constexpr WaitClock::time_point no_deadline = WaitClock::time_point::max();

// Sleeps until ready() holds or the deadline passes; true when ready() holds.
// ready() is tested first, so a state that holds already costs no sleep, and
// again after every wake-up.
template <class Ready>
bool wait_until(Ready ready, WaitClock::time_point deadline = no_deadline) {
  for (;;) {
    const std::uint32_t seen = wake_detail::generation();
    if (ready()) return true;
    if (WaitClock::now() >= deadline) return false;
    wake_detail::sleep_while(seen, deadline);
  }
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

 private:
  std::atomic<bool> value_{false};
};

}  // namespace console
