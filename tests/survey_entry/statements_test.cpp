// The counted loop and the statement checks, run directly on this thread:
// with nothing paused, stopped or in error the boundary check only clears
// the event-pending flag, which shows where a check ran.
#include "survey_entry/statements.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/unexpected_host.h"
#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/run_control.h"

namespace survey_entry {
namespace {

struct LoopCase {
  const char* name;
  double start;
  double limit;
  std::vector<float> counters;  // the counter seen in each pass
  float counter_after;          // the counter once the loop has ended
};

class CountedLoopTest : public ::testing::TestWithParam<LoopCase> {
 protected:
  void SetUp() override { console::run_control_reset(); }
  void TearDown() override { console::run_control_reset(); }
};

TEST_P(CountedLoopTest, PassesCountersAndChecks) {
  const LoopCase& c = GetParam();
  float counter = -99;
  std::vector<float> seen;
  CountedLoop loop(58, counter, c.start, c.limit);
  for (;;) {
    console::event_pending.store(true);
    if (!loop.next_pass()) break;
    EXPECT_FALSE(console::event_pending.load()) << "no check before pass " << seen.size() + 1;
    seen.push_back(counter);
    ASSERT_LE(seen.size(), c.counters.size()) << "the loop did not end";
  }
  EXPECT_TRUE(console::event_pending.load()) << "the loop's end must run no check";
  EXPECT_EQ(seen, c.counters);
  EXPECT_EQ(counter, c.counter_after);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CountedLoopTest,
    ::testing::Values(LoopCase{"zero", 1, 0, {}, 1}, LoopCase{"negative", 1, -3, {}, 1},
                      LoopCase{"below_one", 1, 0.5, {}, 1}, LoopCase{"one", 1, 1, {1}, 2},
                      LoopCase{"fraction", 1, 2.5, {1, 2}, 3},
                      LoopCase{"five", 1, 5, {1, 2, 3, 4, 5}, 6},
                      // The traverse's intermediate vertices: from 2 up to the count less 1.
                      LoopCase{"traverse_count_2", 2, 1, {}, 2},
                      LoopCase{"traverse_count_3", 2, 2, {2}, 3},
                      LoopCase{"traverse_count_3_5", 2, 2.5, {2}, 3},
                      LoopCase{"traverse_count_2_9", 2, 1.9, {}, 2},
                      LoopCase{"nan_limit", 1, std::numeric_limits<double>::quiet_NaN(), {}, 1},
                      // Past 16,777,216 the Single counter cannot add 1: the loop still
                      // ends after its passes, and the counter shows the nearest Single.
                      LoopCase{"past_single_range",
                               16777215,
                               16777219,
                               {16777215.0f, 16777216.0f, 16777216.0f, 16777218.0f, 16777220.0f},
                               16777220.0f}),
    [](const ::testing::TestParamInfo<LoopCase>& p) { return std::string(p.param.name); });

TEST(CountedLoop, InfiniteLimitKeepsCountingPastTheSingleRange) {
  console::run_control_reset();
  float counter = 0;
  CountedLoop loop(366, counter, 16777210, std::numeric_limits<double>::infinity());
  for (int pass = 0; pass < 20; ++pass) ASSERT_TRUE(loop.next_pass());
  EXPECT_EQ(counter, 16777228.0f);  // 16777210 + 19, not stuck at 16777216
}

// Answers every error box Yes and counts the boxes; the run never ends here.
class CountingHost final : public harness::UnexpectedHost {
 public:
  bool show_error_box(const std::string&, const std::string&) override {
    ++error_boxes;
    return true;
  }
  int error_boxes = 0;
};

TEST(StatementChecks, RunOnlyWherePendingAndWhereTheStructureSays) {
  console::run_control_reset();
  // A pending error whose event flag is clear shows whether the check ran:
  // the check would show it in the error box.
  CountingHost host;
  console::set_run_host(&host);
  console::raise_runtime_error(console::error_code::file_not_found);
  console::event_pending.store(false);
  statement_end(57);  // nothing pending: nothing to clear, nothing called
  EXPECT_FALSE(console::event_pending.load());
  EXPECT_EQ(host.error_boxes, 0) << "the check ran with nothing pending";
  EXPECT_TRUE(console::error_pending());
  console::event_pending.store(true);
  statement_end(57);
  EXPECT_EQ(host.error_boxes, 1) << "the check did not run with the event pending";
  EXPECT_FALSE(console::error_pending());

  console::event_pending.store(true);
  EXPECT_FALSE(jump_test(356, false));
  EXPECT_TRUE(console::event_pending.load()) << "a failing test runs no check";
  EXPECT_TRUE(jump_test(356, true));
  EXPECT_FALSE(console::event_pending.load()) << "a jumping test runs its check";

  console::event_pending.store(true);
  jump_target(407);
  EXPECT_FALSE(console::event_pending.load());
  console::set_run_host(nullptr);
  console::run_control_reset();
}

}  // namespace
}  // namespace survey_entry
