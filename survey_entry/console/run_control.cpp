#include "survey_entry/console/run_control.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <new>
#include <thread>

#include "survey_entry/console/run_control_testing.h"

namespace console {

WakingFlag event_pending;
WakingFlag pause_flag;
WakingFlag close_request;
WakingFlag stop_flag;
WakingFlag program_stopped;

namespace {

// The mark of the program thread's waits for the user: whether it sleeps in
// one, the wake-up generation it last tested its state at, and how many
// times it has fallen asleep in one.
std::atomic<bool> asleep{false};
std::atomic<std::uint32_t> asleep_generation{0};
std::atomic<std::uint64_t> sleeps{0};

// Written and read by the program thread. The stop thread's close-all reads
// it too, but only after it has seen the program-stopped mark (acquire),
// which the program thread sets after its last write; relaxed order is
// enough.
std::atomic<std::uint32_t> pending_code{0};

std::atomic<unsigned> sleep_divisor{1};

// The host used when none is installed: the boxes go to stderr, an error
// box is answered No, and the process ends at once.
class DefaultHost final : public RunHost {
 public:
  bool show_error_box(const std::string& title, const std::string& text) override {
    std::cerr << title << '\n' << text << "\n(No)\n";
    return false;
  }
  void show_critical_box(const std::string& title, const std::string& text) override {
    std::cerr << title << '\n' << text << '\n';
  }
  [[noreturn]] void exit_process(int code) override { _exit(code); }
  [[noreturn]] void park_program_thread() override {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
};

DefaultHost default_host;
std::atomic<RunHost*> current_host{nullptr};

}  // namespace

void set_run_host(RunHost* host) { current_host.store(host, std::memory_order_release); }

RunHost& run_host() {
  RunHost* host = current_host.load(std::memory_order_acquire);
  return host != nullptr ? *host : default_host;
}

std::uint32_t pending_error() { return pending_code.load(std::memory_order_relaxed); }

void raise_runtime_error(std::uint32_t code) {
  if (code == 0) return;
  if (is_critical_error(code)) {
    // Memory has run out: try to tell the user, then end the run. If even
    // the box texts cannot be made, end without the box.
    try {
      run_host().show_critical_box("Critical Error #" + std::to_string(code - critical_error_base),
                                   "Out of memory");
    } catch (const std::bad_alloc&) {
    }
    end_process(exit_code::critical_error);
  }
  std::uint32_t none = 0;
  if (pending_code.compare_exchange_strong(none, code, std::memory_order_relaxed)) {
    event_pending.store(true, std::memory_order_release);
  }
}

void statement_boundary_check(std::uint32_t statement) {
  // Taking the flag with an exchange means a pause or stop raised at this
  // moment is either seen below (its flag was set before the event flag) or
  // leaves the event flag set for the next boundary.
  event_pending.exchange(false, std::memory_order_acq_rel);
  for (;;) {
    if (stop_flag.load(std::memory_order_acquire)) halt_program();
    if (!pause_flag.load(std::memory_order_acquire)) break;
    wait_for_user([] {
      return stop_flag.load(std::memory_order_acquire) ||
             !pause_flag.load(std::memory_order_acquire);
    });
  }
  if (error_pending()) report_runtime_error(statement);
}

void report_runtime_error(std::uint32_t statement) {
  const std::uint32_t code = pending_error();
  if (code == 0) return;
  bool yes = false;
  try {
    const std::string message(runtime_error_message(code));
    std::array<char, 160> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "Line: %u (in %s)\n%s%s",
                  static_cast<unsigned>(statement), "main module", message.c_str(), "\nContinue?");
    const std::string title = "Unhandled Error #" + std::to_string(code);
    yes = run_host().show_error_box(title, std::string(buffer.data()));
  } catch (const std::bad_alloc&) {
    // No memory for the box texts: the run cannot go on and must not end
    // as if it had succeeded.
    end_process(exit_code::critical_error);
  }
  if (yes) {
    pending_code.store(0, std::memory_order_relaxed);
    return;
  }
  // No: the error stays pending, so the close-all at the end closes nothing.
  close_request.store(true, std::memory_order_release);
  halt_program();
}

void halt_program() {
  program_stopped.store(true, std::memory_order_release);
  run_host().park_program_thread();
  // A host must not return from these; if one does, keep the promise anyway.
  default_host.park_program_thread();
}

void end_process(int code) {
  run_host().exit_process(code);
  // A host must not return from it; if one does, keep the promise anyway.
  default_host.exit_process(code);
}

WaitClock::time_point deadline_after_ms(unsigned ms) {
  const unsigned divisor = sleep_divisor.load(std::memory_order_relaxed);
  return WaitClock::now() + std::chrono::microseconds(ms) * 1000 / (divisor == 0 ? 1u : divisor);
}

void wait_for_user(bool (*ready)()) {
  wait_until([ready] {
    // Tested before each sleep and after each wake-up: marked asleep exactly
    // while the state it waits for does not hold, with the wake-up
    // generation that state was tested at.
    const std::uint32_t generation = wake_detail::generation();
    const bool done = ready();
    if (!done) {
      asleep_generation.store(generation, std::memory_order_seq_cst);
      sleeps.fetch_add(1, std::memory_order_relaxed);
    }
    asleep.store(!done, std::memory_order_seq_cst);
    return done;
  });
}

bool program_waits_for_user() {
  return asleep.load(std::memory_order_seq_cst) &&
         asleep_generation.load(std::memory_order_seq_cst) == wake_detail::generation();
}

std::uint64_t user_wait_sleeps() { return sleeps.load(std::memory_order_relaxed); }

void set_sleep_divisor(unsigned divisor) {
  sleep_divisor.store(divisor == 0 ? 1u : divisor, std::memory_order_relaxed);
}

void run_control_reset() {
  // Each stored with the order it has elsewhere; between runs no thread of
  // a run is there to see the stores.
  event_pending.store(false);
  pause_flag.store(false);
  close_request.store(false);
  stop_flag.store(false);
  program_stopped.store(false);
  pending_code.store(0, std::memory_order_relaxed);
  asleep.store(false, std::memory_order_seq_cst);
}

}  // namespace console
