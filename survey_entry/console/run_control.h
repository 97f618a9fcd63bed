// Run control: the flags that the window side, the main side and the program
// thread share (event pending, pause, close request, stop, program stopped),
// the pending run-time error, the check at each statement boundary, the error
// box, and the end of the run.
//
// The window system is reached only through RunHost, so that the routine and
// the console model run in tests with no window at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "survey_entry/console/wake_up.h"

namespace console {

// Effects that go up to the platform. The window side installs the real one;
// tests install their own.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // Shows the modal Yes/No error box on the program thread; true for Yes.
  virtual bool show_error_box(const std::string& title, const std::string& text) = 0;
  // Shows the modal OK box of a critical error.
  virtual void show_critical_box(const std::string& title, const std::string& text) = 0;
  // Ends the process (or, in tests, the run) with this exit code.
  [[noreturn]] virtual void exit_process(int code) = 0;
  // Holds the program thread for good after the program-stopped mark is set.
  [[noreturn]] virtual void park_program_thread() = 0;
};

void set_run_host(RunHost* host);
RunHost& run_host();

// Shared flags. Each is written by one side and read by another; every
// change wakes the waits that test it.
extern WakingFlag event_pending;
extern WakingFlag pause_flag;
extern WakingFlag close_request;
extern WakingFlag stop_flag;
extern WakingFlag program_stopped;

// The pending run-time error: 0 when none. Program thread only.
std::uint32_t pending_error();
inline bool error_pending() { return pending_error() != 0; }

// Records code as the pending error unless one is pending already, and sets
// the event-pending flag. A critical code shows the critical box and ends
// the process instead.
void raise_runtime_error(std::uint32_t code);

// The check after a statement whose event-pending flag was found set: waits
// while paused, halts on a stop, shows a pending error in the error box.
void statement_boundary_check(std::uint32_t statement);

// Shows the error box for the pending error; returns after Yes.
void report_runtime_error(std::uint32_t statement);

// Sets the program-stopped mark and never returns.
[[noreturn]] void halt_program();

// The main side's stop sequence: sleeps until the close request comes,
// turns it into the stop flag, sleeps until the program-stopped mark is set,
// closes all files and ends the process with exit code 0. Never returns.
[[noreturn]] void run_stop_sequence();

// The deadline ms milliseconds of run time from now. Tests may shorten
// every timed wait of the console with set_sleep_divisor.
WaitClock::time_point deadline_after_ms(unsigned ms);
void set_sleep_divisor(unsigned divisor);

// The wait of the program thread for what the user does (program thread):
// the menu's key read, the line input and the end prompt waiting for a key,
// and the hold of a pause. Sleeps until ready() holds. While it sleeps it is
// marked, so that an observer can tell a program thread that waits for the
// user from one that is still at work.
namespace key_wait_detail {
extern std::atomic<bool> asleep;
extern std::atomic<std::uint32_t> asleep_generation;
extern std::atomic<std::uint64_t> sleeps;
}  // namespace key_wait_detail
template <class Ready>
void wait_for_user(Ready ready) {
  wait_until([&ready] {
    // Tested before each sleep and after each wake-up: marked asleep exactly
    // while the state it waits for does not hold, with the wake-up
    // generation that state was tested at.
    const std::uint32_t generation = wake_detail::generation();
    const bool done = ready();
    if (!done) {
      key_wait_detail::asleep_generation.store(generation, std::memory_order_seq_cst);
      key_wait_detail::sleeps.fetch_add(1, std::memory_order_relaxed);
    }
    key_wait_detail::asleep.store(!done, std::memory_order_seq_cst);
    return done;
  });
}
// Whether the program thread sleeps in such a wait with no wake-up since it
// last tested its state (so that a key or a request just given has been
// seen), and how many times it has fallen asleep in one (any thread;
// snapshots).
bool program_waits_for_user();
std::uint64_t user_wait_sleeps();

// Restores the start state of all run-control flags and the pending error.
void run_control_reset();

// Run-time error codes that reach the error box.
namespace error_code {
constexpr std::uint32_t bad_file_name_or_number = 52;
constexpr std::uint32_t file_not_found = 53;
constexpr std::uint32_t bad_file_name = 64;
constexpr std::uint32_t device_unavailable = 68;
constexpr std::uint32_t permission_denied = 70;
constexpr std::uint32_t path_file_access_error = 75;
constexpr std::uint32_t path_not_found = 76;
}  // namespace error_code

// Critical errors: memory failures, each at one of 18 numbered places. A
// critical code is raised as critical_error_code(place), in a range of its
// own so that it never meets an ordinary error code. It shows the critical
// box "Out of memory", titled "Critical Error #" and the place, and ends the
// process with critical_exit_code: a failed run must not look like an
// ordinary end (exit code 0) to whatever started the program.
constexpr std::uint32_t critical_error_places = 18;
constexpr std::uint32_t critical_error_base = 0x10000;
constexpr std::uint32_t critical_error_code(std::uint32_t place) {
  return critical_error_base + place;
}
constexpr bool is_critical_error(std::uint32_t code) {
  return code > critical_error_base && code <= critical_error_base + critical_error_places;
}
constexpr int critical_exit_code = 3;

// The message the error box shows for a code ("Unknown error" for a code
// that no console operation raises).
std::string_view runtime_error_message(std::uint32_t code);

}  // namespace console
