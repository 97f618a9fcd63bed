// Menu keys "4" and "5": the radiation dialogues, with the station block and
// the point block.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialogue_runs.h"
#include "support/harness.h"

namespace {

using support::padded;

const std::vector<std::string> example_answers = {
    "irr.txt", "T1",       "1",                                    // job
    "E1",      "1000.5",   "2000",   "100.25", "0",   "1.5", "1",  // station
    "P1",      "123.4567", "98.765", "45.67",  "1.6",              // point
    "A",       "B"};

const std::string example_file =
    "T1, 1 \r\n"
    "E1, 1000.5 , 2000 , 100.25 , 0 , 1.5 , 1 \r\n"
    "P1, 123.4567 , 98.765 , 45.67 , 1.6 \r\n"
    "A\r\n"
    "B\r\n";

class RadiationKeyTest : public ::testing::TestWithParam<char> {};

TEST_P(RadiationKeyTest, FiveLineExampleByteForByte) {
  EXPECT_EQ(dialogue_runs::file_of_run(GetParam(), example_answers, "irr.txt"), example_file);
}

INSTANTIATE_TEST_SUITE_P(Keys, RadiationKeyTest, ::testing::Values('4', '5'));

struct CountCase {
  std::string count;
  std::vector<std::string> stations;
  std::string file;
};

class RadiationCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(RadiationCountTest, StationsAndPointsAsCounted) {
  const CountCase& c = GetParam();
  std::vector<std::string> answers = {"irr.txt", "T1", c.count};
  answers.insert(answers.end(), c.stations.begin(), c.stations.end());
  answers.insert(answers.end(), {"A", "B"});
  EXPECT_EQ(dialogue_runs::file_of_run('4', answers, "irr.txt"), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, RadiationCountTest,
    ::testing::Values(CountCase{"0", {}, "T1, 0 \r\nA\r\nB\r\n"},
                      CountCase{"-3", {}, "T1,-3 \r\nA\r\nB\r\n"},
                      CountCase{"0.5", {}, "T1, .5 \r\nA\r\nB\r\n"},
                      CountCase{
                          "2.5",
                          {"E1", "1", "2", "3",  "4", "5", "0",  // no point
                           "",   "6", "7", "8",  "9", "1", "2.5", "Q1", "1",
                           "2",  "3", "4", "Q2", "5", "6", "7",   "8"},
                          "T1, 2.5 \r\nE1, 1 , 2 , 3 , 4 , 5 , 0 \r\n, 6 , 7 , 8 , 9 , 1 , 2.5 \r\n"
                          "Q1, 1 , 2 , 3 , 4 \r\nQ2, 5 , 6 , 7 , 8 \r\nA\r\nB\r\n"}));

TEST(Radiation, StationAndPointScreens) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '4', {"irr.txt", "T1", "1", "E1", "1", "2", "3", "4", "5"});
  EXPECT_EQ(run.row_text(1), padded(std::string(29, ' ') + "Estacao n\xA7. 1"));
  EXPECT_EQ(run.row_text(2), padded(""));
  EXPECT_EQ(run.row_text(3), padded("Nome da Estacao :E1"));
  EXPECT_EQ(run.row_text(8), padded("Hi=5"));
  EXPECT_EQ(run.row_text(9), padded("N\xA7. de irradiadas="));
  EXPECT_EQ(console::cursor_column(), 19);

  run.answer("10");
  for (int point = 1; point <= 9; ++point) {
    for (const char* a : {"P", "1", "2", "3", "4"}) run.answer(a);
  }
  run.settle();
  // Point 10: each point screen starts on a cleared screen.
  EXPECT_EQ(run.row_text(1), padded(std::string(29, ' ') + "Estacao  E1"));
  EXPECT_EQ(run.row_text(2), padded(""));
  EXPECT_EQ(run.row_text(3), padded("Nome do 10 .\xA7  PONTO"));
  EXPECT_EQ(console::cursor_row(), 3);
  EXPECT_EQ(console::cursor_column(), 29);
  for (int row = 4; row <= 25; ++row) EXPECT_EQ(run.row_text(row), padded("")) << row;
}

TEST(Radiation, LongStationNameOnThePointScreens) {
  const std::string name(43, 'N');
  harness::RoutineRun run;
  dialogue_runs::start(run, '5', {"irr.txt", "T1", "1", name, "1", "2", "3", "4", "5", "1"});
  EXPECT_EQ(run.row_text(1), padded(std::string(29, ' ') + "Estacao  "));
  EXPECT_EQ(run.row_text(2), padded(name));
  EXPECT_EQ(run.row_text(3), padded(""));
  EXPECT_EQ(run.row_text(4), padded("Nome do 1 .\xA7  PONTO"));
}

TEST(Radiation, FailedOpeningAnsweredYes) {
  harness::RoutineRun run;
  run.answer_error_boxes(std::vector<bool>(8, true));
  dialogue_runs::start(run, '4',
                       {dialogue_runs::unopenable_name,
                        "T1",
                        "2",  //
                        "E1",
                        "1",
                        "2",
                        "3",
                        "4",
                        "5",
                        "1",
                        "P1",
                        "1",
                        "2",
                        "3",
                        "4",  //
                        "E2",
                        "1",
                        "2",
                        "3",
                        "4",
                        "5",
                        "1",
                        "P2",
                        "1",
                        "2",
                        "3",
                        "4",  //
                        "A",
                        "B"});
  dialogue_runs::finish(run);
  const std::vector<std::pair<unsigned, unsigned>> expected = {
      {252, 76}, {255, 52}, {267, 52}, {278, 52}, {267, 52}, {278, 52}, {287, 52}, {288, 52}};
  EXPECT_EQ(dialogue_runs::box_lines(run), expected);
}

// Closing the window while a question is half typed: every earlier record
// stays in the file, the half-typed one is never written, exit code 0.
TEST(Radiation, StopDuringAQuestionKeepsEarlierRecords) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '4',
                       {"irr.txt", "T1", "1", "E1", "1", "2", "3", "4", "5", "2",  //
                        "P1", "1", "2", "3", "4", "P2"});
  run.type("12");  // "Az=" of the second point, not entered
  run.settle();
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_EQ(run.open_files_at_exit(), 0);
  EXPECT_EQ(run.file_bytes("irr.txt"),
            "T1, 1 \r\nE1, 1 , 2 , 3 , 4 , 5 , 2 \r\nP1, 1 , 2 , 3 , 4 \r\n");
}

}  // namespace
