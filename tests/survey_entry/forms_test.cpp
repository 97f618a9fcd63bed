// The print forms on the real text screen: where the Numbered label leaves
// the name, the Sub-heading's fit check, the traverse's vertex heading; the
// record write's cut records and syncs.
#include "survey_entry/forms.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

#include "support/harness.h"
#include "support/screen.h"

namespace survey_entry {
namespace {

struct LabelCase {
  float counter;
  std::string_view suffix;
  int name_column;
};

class NumberedLabelTest : public ::testing::TestWithParam<LabelCase> {};

// The label at column 1, then the empty-prompt question: the name is typed
// in the print zone that the label's zone tab reached.
TEST_P(NumberedLabelTest, NameStartsInTheNextZone) {
  const LabelCase c = GetParam();
  console::Text name;
  harness::RoutineRun run([&] {
    numbered_label(60, "Nome da", c.counter, c.suffix);
    question(61, "", name);
  });
  run.answer("X");
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  const std::string row = run.row_text(1);
  EXPECT_EQ(row.substr(0, 7), "Nome da");
  EXPECT_EQ(row.find('X'), static_cast<std::size_t>(c.name_column - 1)) << row;
  EXPECT_EQ(name, "X");
}

constexpr std::string_view station = ".\xA6  ESTACAO :";
constexpr std::string_view point = ".\xA7  PONTO";

INSTANTIATE_TEST_SUITE_P(
    Counters, NumberedLabelTest,
    ::testing::Values(LabelCase{1, station, 29}, LabelCase{99999, station, 29},
                      LabelCase{100000, station, 43}, LabelCase{9999999, station, 43},
                      LabelCase{1e7f, station, 29},  // " 1E+07", L = 6
                      LabelCase{1.234567e8f, station, 43}, LabelCase{1, point, 29},
                      LabelCase{9999999, point, 29}, LabelCase{1.234e8f, point, 29},  // L = 10
                      LabelCase{1.234567e8f, point, 43}, LabelCase{-1.234567e-8f, point, 43}));

TEST(NumberedLabel, FirstStationRow) {
  harness::RoutineRun run([] { numbered_label(60, "Nome da", 1, station); });
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  EXPECT_EQ(run.row_text(1), std::string("Nome da 1 .\xA6  ESTACAO :") + std::string(57, ' '));
  EXPECT_EQ(console::cursor_column(), 29);
}

// "Estacao :" ends at column 38: a name of 42 characters fits in row 1, one
// of 43 starts at column 1 of row 2.
TEST(SubHeading, NameThatDoesNotFitMovesToTheNextRow) {
  const std::string fits(42, 'a');
  const std::string too_long(43, 'b');
  harness::RoutineRun run([&] {
    sub_heading(67, {"Estacao :", fits});
    sub_heading(67, {"Estacao :", too_long});
  });
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  EXPECT_EQ(run.row_text(1), std::string(29, ' ') + "Estacao :" + fits);
  EXPECT_EQ(run.row_text(2), std::string(29, ' ') + "Estacao :" + std::string(42, ' '));
  EXPECT_EQ(run.row_text(3), too_long + std::string(37, ' '));
  EXPECT_EQ(console::cursor_row(), 4);
}

struct HeadingCase {
  float vertex;
  std::string row1;
  std::string row2;
};

class VertexHeadingTest : public ::testing::TestWithParam<HeadingCase> {};

TEST_P(VertexHeadingTest, Rows) {
  const HeadingCase c = GetParam();
  harness::RoutineRun run([&] { vertex_heading(130, c.vertex); });
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  EXPECT_EQ(run.row_text(1), support::padded(c.row1));
  EXPECT_EQ(run.row_text(2), support::padded(c.row2));
}

const std::string tab29(29, ' ');
const std::string vertice = ".\xA7 Vertice ";

INSTANTIATE_TEST_SUITE_P(
    Numbers, VertexHeadingTest,
    ::testing::Values(HeadingCase{2, tab29 + " 2  " + vertice, ""},
                      HeadingCase{-1, tab29 + "-1  " + vertice, ""},
                      HeadingCase{99, tab29 + " 99 " + vertice, ""},
                      HeadingCase{0.5f, tab29 + " .5 " + vertice, ""},
                      HeadingCase{100, tab29 + " 100", std::string(33, ' ') + vertice},
                      HeadingCase{3.5f, tab29 + " 3.5", std::string(33, ' ') + vertice}));

// A failed item (here the file size limit) cuts its record: the items
// before it stay, the rest and the CR LF are not written, and after Yes the
// next record goes on on the same line.
TEST(RecordWrite, CutRecordIsFollowedOnItsLineByTheNextOne) {
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  harness::Gate answers_given;  // the box comes without a wait for keys
  harness::RoutineRun run([&] {
    answers_given.wait();
    open_output_file(54, "cut.txt");
    record_write(57, {"first", 1.5f});  // 13 bytes
    rlimit small = saved;
    small.rlim_cur = 13 + 8;
    setrlimit(RLIMIT_FSIZE, &small);
    record_write(65, {"abcdefgh", "ijkl"});  // the "," after abcdefgh fails
    setrlimit(RLIMIT_FSIZE, &saved);
    record_write(74, {"next", 2.0});
    close_all(84);
  });
  run.answer_error_boxes({true});
  answers_given.open();
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  setrlimit(RLIMIT_FSIZE, &saved);
  const auto boxes = run.shown_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #75");
  EXPECT_EQ(boxes[0].text, "Line: 65 (in main module)\nPath/File access error\nContinue?");
  EXPECT_EQ(run.file_bytes("cut.txt"), "first, 1.5 \r\nabcdefghnext, 2 \r\n");
}

// A record whose sync fails is shown in the error box with its statement's
// number and the code of a failed write; its bytes were written, and after
// Yes the next record goes on.
TEST(RecordWrite, FailedSyncShowsTheRecordsErrorBox) {
  static std::atomic<int> syncs{0};
  syncs = 0;
  harness::Gate calls_set;
  harness::RoutineRun run([&] {
    calls_set.wait();
    open_output_file(54, "sync.txt");
    record_write(57, {"first", 1.5f});
    record_write(65, {"second"});  // the second sync fails
    record_write(74, {"third"});
    close_all(84);
  });
  run.answer_error_boxes({true});
  console::set_ordinary_file_calls({.file_data = [](int) {
    if (++syncs != 2) return 0;
    errno = EIO;
    return -1;
  }});
  calls_set.open();
  ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
  const auto boxes = run.shown_boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #75");
  EXPECT_EQ(boxes[0].text, "Line: 65 (in main module)\nPath/File access error\nContinue?");
  EXPECT_EQ(syncs, 3);
  EXPECT_EQ(run.file_bytes("sync.txt"), "first, 1.5 \r\nsecond\r\nthird\r\n");
}

// Stand-ins for a write and a sync that fail once, at their call numbered
// fail_at, cut short by a signal (EINTR), and otherwise run the system's.
std::atomic<int> calls{0};
std::atomic<int> fail_at{0};
bool cut_short() {
  if (++calls != fail_at) return false;
  errno = EINTR;
  return true;
}
ssize_t write_cut_once(int fd, const void* bytes, std::size_t count) {
  return cut_short() ? -1 : ::write(fd, bytes, count);
}
int sync_cut_once(int fd) { return cut_short() ? -1 : ::fdatasync(fd); }

// A write or a sync cut short by a signal is run again: the record is whole
// and no error box is shown.
TEST(RecordWrite, CallCutShortBySignalIsRunAgain) {
  struct Case {
    const char* label;
    console::OrdinaryFileCalls calls;
    int fail_at;
  };
  const std::vector<Case> cases{
      {"write", {.write = write_cut_once}, 2},  // the "," after "first"
      {"sync", {.file_data = sync_cut_once}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    calls = 0;
    fail_at = c.fail_at;
    harness::Gate calls_set;
    harness::RoutineRun run([&] {
      calls_set.wait();
      open_output_file(54, "retry.txt");
      record_write(57, {"first", 1.5f});
      record_write(65, {"second"});
      close_all(84);
    });
    console::set_ordinary_file_calls(c.calls);
    calls_set.open();
    ASSERT_TRUE(run.wait_for([&] { return run.halted(); }));
    EXPECT_TRUE(run.shown_boxes().empty());
    EXPECT_GT(calls, c.fail_at);
    EXPECT_EQ(run.file_bytes("retry.txt"), "first, 1.5 \r\nsecond\r\n");
  }
}

}  // namespace
}  // namespace survey_entry
