// Run control: the flags that the program thread, the key reader thread,
// the window thread, the stop thread and the signal thread share (event
// pending, pause, close request, stop, program stopped), the pending
// run-time error, the check at each statement boundary, the error box, and
// the end of the process.
//
// The window system is reached only through RunHost, so that the routine and
// the console model run in tests with no window at all.
#pragma once

#include <cstdint>
#include <string>

#include "survey_entry/console/error_code.h"
#include "survey_entry/console/wake_up.h"

namespace console {

// Every effect that goes up from the console to the platform, in one
// interface: main() installs the window layer's one before any other thread
// of the console starts; tests install their own.
class RunHost {
 public:
  virtual ~RunHost() = default;
  // The text screen has changed (program thread, once per operation that
  // changed what it shows, after the change is published): the window shows
  // it at once. Must be cheap and must not wait.
  virtual void screen_changed() {}
  // A press has ended a pause (on the pressing thread, the key reader's):
  // the window, which shows no frame while a pause is on, shows the screen
  // again. Must be cheap and must not wait.
  virtual void pause_ended() {}
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

// Shared flags; every change wakes the waits that test it. Each is stored
// with release order and loaded with acquire order (WakingFlag's own), and
// taken with an acq_rel exchange where one is taken.
//   event_pending    set by the program thread (an error), the key reader
//                    thread (a pause key) and the stop thread; taken by the
//                    program thread's check
//   pause_flag       set and cleared by the key reader thread; read by it,
//                    the program thread and the window thread
//   close_request    set by the key reader thread (a stop key), the window
//                    thread (the close box), the signal thread (a stop
//                    signal) and the program thread (the end prompt, No in
//                    the error box); read by the stop thread
//   stop_flag        set by the stop thread; read by the program thread
//   program_stopped  set by the program thread; read by the stop thread
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

// Ends the process through the run host with this exit code (exit_code).
[[noreturn]] void end_process(int code);

// The deadline ms milliseconds of run time from now (tests may shorten
// every timed wait of the console: run_control_testing.h).
WaitClock::time_point deadline_after_ms(unsigned ms);

// The wait of the program thread for what the user does (program thread):
// the menu's key read, the line input and the end prompt waiting for a key,
// and the hold of a pause. Sleeps until ready() holds. While it sleeps it is
// marked, so that an observer can tell a program thread that waits for the
// user from one that is still at work (run_control_testing.h).
void wait_for_user(bool (*ready)());

}  // namespace console
