#include "survey_entry/console/wake_up.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace console {

namespace {

// The generation count that the waits sleep on, and the number of waits
// asleep or about to be (so that a wake-up with nobody to wake makes no
// system call).
std::atomic<std::uint32_t> generation_count{0};
std::atomic<std::uint32_t> sleepers{0};

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "the futex word is the atomic's own 32 bits");

std::uint32_t* futex_word() { return reinterpret_cast<std::uint32_t*>(&generation_count); }

}  // namespace

namespace wake_detail {

std::uint32_t generation() { return generation_count.load(std::memory_order_seq_cst); }

void sleep_while(std::uint32_t seen, WaitClock::time_point deadline) {
  // The deadline as an absolute time of CLOCK_MONOTONIC, steady_clock's
  // clock on this system.
  const bool has_deadline = deadline != no_deadline;
  timespec until{};
  if (has_deadline) {
    const auto since_epoch = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
    until.tv_sec = static_cast<time_t>(seconds.count());
    until.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds).count());
  }
  // Counted before the kernel compares the generation with the one seen: a
  // wake-up that moves it on later finds this sleeper counted and wakes it.
  sleepers.fetch_add(1, std::memory_order_seq_cst);
  // Returns at once when the generation has moved on (EAGAIN), on a
  // wake-up, at the deadline (ETIMEDOUT) or on a signal (EINTR); the caller
  // tests its state again in every case.
  syscall(SYS_futex, futex_word(), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, seen,
          has_deadline ? &until : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY);
  sleepers.fetch_sub(1, std::memory_order_seq_cst);
}

}  // namespace wake_detail

void wake_waiters() {
  generation_count.fetch_add(1, std::memory_order_seq_cst);
  if (sleepers.load(std::memory_order_seq_cst) != 0) {
    syscall(SYS_futex, futex_word(), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, INT_MAX, nullptr, nullptr, 0);
  }
}

}  // namespace console
