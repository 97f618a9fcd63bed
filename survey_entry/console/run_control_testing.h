// What tests reach of run control beyond the routine's operations: the
// shortened sleeps, the mark of the program thread's waits for the user,
// and the reset between runs. Included by tests only (and the console's
// reset).
#pragma once

#include <cstdint>

namespace console {

// Divides every timed wait of the console (deadline_after_ms) by divisor.
void set_sleep_divisor(unsigned divisor);

// Whether the program thread sleeps in a wait for the user (wait_for_user)
// with no wake-up since it last tested its state (so that a key or a
// request just given has been seen), and how many times it has fallen
// asleep in one (any thread; snapshots).
bool program_waits_for_user();
std::uint64_t user_wait_sleeps();

// Restores the start state of all run-control flags and the pending error.
void run_control_reset();

}  // namespace console
