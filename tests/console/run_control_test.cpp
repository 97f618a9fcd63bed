// Run control through whole runs: small routines stand in for the program
// and follow its statement structure (one read of the event-pending flag at
// the end of each statement, the check only when it is set).
#include "survey_entry/console/run_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/harness.h"
#include "survey_entry/console/console_testing.h"
#include "survey_entry/statements.h"

namespace {

using namespace std::chrono_literals;
using console::Key;
using console::NamedKey;
using harness::RoutineRun;
using harness::wait_for_stop_flag;
using survey_entry::statement_end;

struct BoxCase {
  std::uint32_t code;
  std::uint32_t statement;
  const char* title;
  const char* text;
};

class ErrorBoxTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(ErrorBoxTest, ShowsTitleAndTextAndYesGoesOn) {
  const BoxCase c = GetParam();
  std::atomic<bool> next_ran{false};
  std::atomic<std::uint32_t> pending_after{99};
  harness::Gate gate;
  RoutineRun run([&] {
    gate.wait();
    console::raise_runtime_error(c.code);
    statement_end(c.statement);
    pending_after = console::pending_error();
    next_ran = true;
  });
  run.answer_error_boxes({true});
  gate.open();
  ASSERT_TRUE(run.wait_for([&] { return next_ran.load(); }));
  const auto boxes = run.shown_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, c.title);
  EXPECT_EQ(boxes[0].text, c.text);
  EXPECT_FALSE(boxes[0].critical);
  EXPECT_EQ(pending_after.load(), 0u);
  EXPECT_FALSE(console::close_request.load());
  EXPECT_FALSE(run.exited());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorBoxTest,
    ::testing::Values(BoxCase{76, 54, "Unhandled Error #76",
                              "Line: 54 (in main module)\nPath not found\nContinue?"},
                      BoxCase{52, 57, "Unhandled Error #52",
                              "Line: 57 (in main module)\nBad file name or number\nContinue?"},
                      BoxCase{53, 98, "Unhandled Error #53",
                              "Line: 98 (in main module)\nFile not found\nContinue?"},
                      BoxCase{64, 174, "Unhandled Error #64",
                              "Line: 174 (in main module)\nBad file name\nContinue?"},
                      BoxCase{68, 252, "Unhandled Error #68",
                              "Line: 252 (in main module)\nDevice unavailable\nContinue?"},
                      BoxCase{70, 302, "Unhandled Error #70",
                              "Line: 302 (in main module)\nPermission denied\nContinue?"},
                      BoxCase{75, 410, "Unhandled Error #75",
                              "Line: 410 (in main module)\nPath/File access error\nContinue?"},
                      // An ordinary code, though its number is also a critical place.
                      BoxCase{5, 25, "Unhandled Error #5",
                              "Line: 25 (in main module)\nIllegal function call\nContinue?"}));

// A failed opening answered Yes, then failing record writes each with a box
// of their own; No at the last one ends the run with exit code 0 before the
// next statement.
TEST(RunControl, EachFailingStatementHasItsBoxAndNoEndsTheRun) {
  std::atomic<bool> after_no{false};
  harness::Gate gate;
  RoutineRun run([&] {
    gate.wait();
    console::raise_runtime_error(76);
    statement_end(54);
    for (std::uint32_t n : {57u, 81u, 82u}) {
      console::raise_runtime_error(52);
      statement_end(n);
    }
    after_no = true;
    statement_end(83);
  });
  run.answer_error_boxes({true, true, true, false});
  gate.open();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(run.halted());
  EXPECT_TRUE(console::close_request.load());
  EXPECT_FALSE(after_no.load());
  const auto boxes = run.shown_boxes();
  ASSERT_EQ(boxes.size(), 4u);
  const std::vector<std::string> titles{"Unhandled Error #76", "Unhandled Error #52",
                                        "Unhandled Error #52", "Unhandled Error #52"};
  const std::vector<std::string> first_lines{
      "Line: 54 (in main module)", "Line: 57 (in main module)", "Line: 81 (in main module)",
      "Line: 82 (in main module)"};
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].title, titles[i]) << i;
    EXPECT_EQ(boxes[i].text.substr(0, boxes[i].text.find('\n')), first_lines[i]) << i;
  }
}

TEST(RunControl, FirstErrorOfAStatementIsKept) {
  std::atomic<bool> done{false};
  harness::Gate gate;
  RoutineRun run([&] {
    gate.wait();
    console::raise_runtime_error(76);
    console::raise_runtime_error(52);
    console::raise_runtime_error(70);
    statement_end(54);
    statement_end(55);  // nothing pending any more: no second box
    done = true;
  });
  run.answer_error_boxes({true, true});
  gate.open();
  ASSERT_TRUE(run.wait_for([&] { return done.load(); }));
  const auto boxes = run.shown_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #76");
  EXPECT_EQ(boxes[0].text, "Line: 54 (in main module)\nPath not found\nContinue?");
}

TEST(RunControl, StopWhileAnErrorIsPendingWinsWithoutABox) {
  std::atomic<bool> in_statement{false};
  std::atomic<bool> after_check{false};
  RoutineRun run([&] {
    console::raise_runtime_error(70);
    in_statement = true;
    wait_for_stop_flag();
    statement_end(302);
    after_check = true;
  });
  run.answer_error_boxes({true});
  ASSERT_TRUE(run.wait_for([&] { return in_statement.load(); }));
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(run.shown_boxes().empty());
  EXPECT_FALSE(after_check.load());
}

// The routine is held at its check while paused; the key press that ends
// the pause is not delivered to the queue.
TEST(RunControl, PauseHoldsTheCheckUntilAKeyPressThatIsNotDelivered) {
  harness::Gate gate;
  std::atomic<bool> passed{false};
  std::string key_after_pause = "unset";
  RoutineRun run([&] {
    gate.wait();
    statement_end(20);
    key_after_pause = console::take_key();
    passed = true;
  });
  run.press(Key::of(NamedKey::pause));
  EXPECT_TRUE(console::pause_flag.load());
  gate.open();
  EXPECT_FALSE(run.wait_for([&] { return passed.load(); }, 100ms));
  run.press(Key::byte('4'));
  ASSERT_TRUE(run.wait_for([&] { return passed.load(); }));
  EXPECT_EQ(key_after_pause, "");
  EXPECT_EQ(console::queued_key_count(), 0);
  EXPECT_FALSE(run.exited());
}

TEST(RunControl, StopDuringAPauseEndsTheRun) {
  harness::Gate gate;
  std::atomic<bool> passed{false};
  RoutineRun run([&] {
    gate.wait();
    statement_end(20);
    passed = true;
  });
  run.press(Key::of(NamedKey::pause));
  gate.open();
  EXPECT_FALSE(run.wait_for([&] { return passed.load(); }, 50ms));
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(run.halted());
  EXPECT_FALSE(passed.load());
  EXPECT_TRUE(console::pause_flag.load());
}

class CriticalErrorTest : public ::testing::TestWithParam<std::uint32_t> {};

// A critical error shows its box and ends the process at once with a
// failure code, never with the 0 of an ordinary end.
TEST_P(CriticalErrorTest, ShowsCriticalBoxAndExitsWithFailureCode) {
  const std::uint32_t place = GetParam();
  std::atomic<bool> ran_on{false};
  RoutineRun run([&] {
    console::raise_runtime_error(console::critical_error_code(place));
    ran_on = true;
    statement_end(1);
  });
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 3);
  EXPECT_FALSE(ran_on.load());
  const auto boxes = run.shown_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].critical);
  EXPECT_EQ(boxes[0].title, "Critical Error #" + std::to_string(place));
  EXPECT_EQ(boxes[0].text, "Out of memory");
}

INSTANTIATE_TEST_SUITE_P(Codes, CriticalErrorTest, ::testing::Values(1u, 9u, 18u));

// The key reader thread queues keys, pauses and ends pauses in a tight
// loop while the routine sleeps in its key reads and its pause holds, then
// the close request ends the run: every key arrives once and in order (a
// lost wake-up would leave the routine asleep with a key waiting).
TEST(RunControl, KeysAndRequestsFromTheKeyReaderWakeTheRoutine) {
  constexpr int total = 3000;
  std::atomic<int> read{0};
  std::string keys_read;
  RoutineRun run([&] {
    for (int i = 0; i < total; ++i) {
      keys_read += console::read_keys(1, 0, 0);
      read.store(i + 1, std::memory_order_release);
      statement_end(33);
    }
    console::wait_for_key_or_stop();
  });
  std::string typed;
  std::thread key_reader([&] {
    for (int i = 0; i < total; ++i) {
      if (i % 3 == 0) {
        // A pause, and the press that ends it (never delivered).
        console::key_pressed(Key::of(NamedKey::pause));
        console::key_pressed(Key::byte('x'));
        console::key_released(Key::byte('x'));
      }
      while (console::queued_key_count() >= 15) std::this_thread::yield();
      const auto digit = static_cast<std::uint8_t>('0' + i % 10);
      typed += static_cast<char>(digit);
      console::key_pressed(Key::byte(digit));
      console::key_released(Key::byte(digit));
    }
  });
  key_reader.join();
  ASSERT_TRUE(run.wait_for([&] { return read.load(std::memory_order_acquire) == total; }, 30s));
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_EQ(keys_read, typed);
  EXPECT_FALSE(console::pause_flag.load());
}

// Without a run host installed the critical box goes to stderr and the
// process really ends, with the failure code.
TEST(RunControlDeathTest, DefaultHostEndsTheProcessOnACriticalError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        console::set_run_host(nullptr);
        console::raise_runtime_error(console::critical_error_code(5));
      },
      ::testing::ExitedWithCode(3), "Critical Error #5\nOut of memory");
}

}  // namespace
