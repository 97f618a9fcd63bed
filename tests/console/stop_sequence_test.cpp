// The stop sequence through whole runs: a stand-in routine that follows the
// program's statement structure, stopped by a close request or by an error
// box answered No.
#include "survey_entry/console/stop_sequence.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "support/harness.h"
#include "survey_entry/console/console.h"
#include "survey_entry/statements.h"

namespace {

using harness::RoutineRun;
using harness::wait_for_stop_flag;
using survey_entry::statement_end;

// A stop that comes in the middle of a record write lets the record finish;
// the stop thread closes the file before the exit. After an error answered No
// the error stays pending, the close-all closes nothing, and the file (left
// to the end of the process) still holds every record written.
struct StopCase {
  const char* name;
  bool fail_after_record;
  int open_files_at_exit;
};

class StopSequenceTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopSequenceTest, RecordCompletesAndFilesAreClosedBeforeTheExit) {
  const StopCase c = GetParam();
  std::atomic<bool> in_record{false};
  std::atomic<bool> after_record{false};
  RoutineRun run([&] {
    console::open_file("survey.txt", 1);
    statement_end(54);
    console::print_text_to_file(1, "A");
    in_record = true;
    if (!c.fail_after_record) wait_for_stop_flag();
    console::print_text_to_file(1, ",");
    console::print_text_to_file(1, "B", {.line_end = true});
    statement_end(57);
    if (c.fail_after_record) {
      console::raise_runtime_error(75);
      statement_end(58);
    }
    after_record = true;
    statement_end(59);
  });
  ASSERT_TRUE(run.wait_for([&] { return in_record.load(); }));
  if (!c.fail_after_record) run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_EQ(run.file_bytes("survey.txt"), "A,B\r\n");
  EXPECT_EQ(run.open_files_at_exit(), c.open_files_at_exit);
  EXPECT_FALSE(after_record.load());
  EXPECT_EQ(run.shown_boxes().size(), c.fail_after_record ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Ends, StopSequenceTest,
                         ::testing::Values(StopCase{"Stop", false, 0},
                                           StopCase{"ErrorAnsweredNo", true, 1}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
