// The statement structure that every statement of the routine follows.
//
// Each statement carries its Statement number. After its action the routine
// reads the event-pending flag once and calls the boundary check only when
// it is set; a jump target reads it also on arrival; a test runs its check
// only when it jumps; a loop head runs its check before every pass and none
// when the loop ends. After every line input a stop requested during it
// ends the run at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "survey_entry/console/run_control.h"

namespace survey_entry {

using StatementNumber = std::uint32_t;

// The end of statement n: one read of the event-pending flag, and the check
// (pause, stop, error box) only when something is pending.
inline void statement_end(StatementNumber n) {
  if (console::event_pending.load(std::memory_order_acquire)) console::statement_boundary_check(n);
}

// Arrival at jump target n, before its action (or as its whole statement
// when it has no action).
inline void jump_target(StatementNumber n) { statement_end(n); }

// Test n with a jump: when the condition holds, the test's check runs and
// the caller jumps; when it fails, nothing is checked.
inline bool jump_test(StatementNumber n, bool condition) {
  if (condition) statement_end(n);
  return condition;
}

// Right after a line input: a stop requested while the line was typed ends
// the run before anything more of the statement happens.
inline void stop_test() {
  if (console::stop_flag.load(std::memory_order_acquire)) console::halt_program();
}

// The test before each print item and each record field: true when an
// earlier item of the same statement has failed, so the rest is skipped.
inline bool item_error_pending() { return console::error_pending(); }

// A counted loop: the counter, a Single number, runs from start in steps of
// 1 as long as it does not exceed the limit, which is taken once, as a
// Double number, when the loop is entered from above.
//
//   for (CountedLoop loop(58, counter, 1, count); loop.next_pass();) { body }
//
// next_pass sets the counter, makes the exit test and, for a pass, runs the
// check of the loop statement before the body. A limit below the start gives
// no pass; a fractional limit stops at its whole part.
//
// The loop runs on a Double number of its own and sets the Single counter
// from it before each pass. Up to 16,777,216 this is the counter + 1 step
// exactly; above it, where a Single number cannot add 1 any more, the loop
// still ends after the right number of passes, and the counter shows the
// nearest Single number (whole numbers stay exact up to 2^53 passes). A NaN
// limit gives no pass.
class CountedLoop {
 public:
  CountedLoop(StatementNumber statement, float& counter, double start, double limit)
      : statement_(statement), counter_(counter), next_(start), limit_(limit) {}
  CountedLoop(const CountedLoop&) = delete;
  CountedLoop& operator=(const CountedLoop&) = delete;

  bool next_pass();

 private:
  StatementNumber statement_;
  float& counter_;
  double next_;
  double limit_;
  bool entered_ = false;
};

}  // namespace survey_entry
