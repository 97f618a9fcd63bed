// What tests reach of the keyboard beyond the key reader thread's presses
// and the routine's takes: the give-up of take_key, the count of keys
// waiting and the reset between runs. Included by tests only (and the
// console's reset).
#pragma once

namespace console {

// Whether take_key gives up the processor (on at start). An in-process run
// that types tens of thousands of keys turns it off: on a loaded machine
// each give-up can hand the core to a busy process for a time slice, and the
// run's length would be the scheduler's price of that many give-ups rather
// than the program's. At typing speed the give-up costs nothing a user sees.
void set_take_yields(bool yields);

// Number of keys waiting (any thread; a snapshot).
int queued_key_count();

// Restores the start state: empty queue, no key held.
void keyboard_reset();

}  // namespace console
