#include "survey_entry/console/run_control.h"

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <new>
#include <thread>
#include <utility>

#include "survey_entry/console/output_file.h"

namespace console {

WakingFlag event_pending;
WakingFlag pause_flag;
WakingFlag close_request;
WakingFlag stop_flag;
WakingFlag program_stopped;

namespace key_wait_detail {
std::atomic<bool> asleep{false};
std::atomic<std::uint32_t> asleep_generation{0};
std::atomic<std::uint64_t> sleeps{0};
}  // namespace key_wait_detail

namespace {

// Written and read by the program thread. The main side's close-all reads it
// too, but only after it has seen the program-stopped mark (acquire), which
// the program thread sets after its last write; relaxed order is enough.
std::atomic<std::uint32_t> pending_code{0};

std::atomic<unsigned> sleep_divisor{1};

// The codes of the output file, the ones that reach the error box, and
// three more that console operations raise only for arguments the routine
// never gives.
constexpr std::array<std::pair<std::uint32_t, std::string_view>, 10> messages{{
    {error_code::bad_file_name_or_number, "Bad file name or number"},
    {error_code::file_not_found, "File not found"},
    {error_code::bad_file_name, "Bad file name"},
    {error_code::device_unavailable, "Device unavailable"},
    {error_code::permission_denied, "Permission denied"},
    {error_code::path_file_access_error, "Path/File access error"},
    {error_code::path_not_found, "Path not found"},
    {5, "Illegal function call"},
    {7, "Out of memory"},
    {55, "File already open"},
}};

// The host used when no window side has installed one: the boxes go to
// stderr, an error box is answered No, and the process ends at once.
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

std::string_view runtime_error_message(std::uint32_t code) {
  for (const auto& [c, message] : messages) {
    if (c == code) return message;
  }
  return "Unknown error";
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
    run_host().exit_process(critical_exit_code);
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
    run_host().exit_process(critical_exit_code);
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

void run_stop_sequence() {
  wait_until([] { return close_request.load(std::memory_order_acquire); });
  // The stop flag first: a routine that finds the event flag set must find
  // the stop flag set too.
  stop_flag.store(true, std::memory_order_release);
  event_pending.store(true, std::memory_order_release);
  // The statement in progress always completes: wait for the routine to stop.
  wait_until([] { return program_stopped.load(std::memory_order_acquire); });
  close_files();
  run_host().exit_process(0);
  default_host.exit_process(0);
}

WaitClock::time_point deadline_after_ms(unsigned ms) {
  const unsigned divisor = sleep_divisor.load(std::memory_order_relaxed);
  return WaitClock::now() + std::chrono::microseconds(ms) * 1000 / (divisor == 0 ? 1u : divisor);
}

bool program_waits_for_user() {
  return key_wait_detail::asleep.load(std::memory_order_seq_cst) &&
         key_wait_detail::asleep_generation.load(std::memory_order_seq_cst) ==
             wake_detail::generation();
}

std::uint64_t user_wait_sleeps() {
  return key_wait_detail::sleeps.load(std::memory_order_relaxed);
}

void set_sleep_divisor(unsigned divisor) {
  sleep_divisor.store(divisor == 0 ? 1u : divisor, std::memory_order_relaxed);
}

void run_control_reset() {
  event_pending.store(false);
  pause_flag.store(false);
  close_request.store(false);
  stop_flag.store(false);
  program_stopped.store(false);
  pending_code.store(0);
  key_wait_detail::asleep.store(false);
}

}  // namespace console
