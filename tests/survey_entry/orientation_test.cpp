// Menu key "1": the orientation dialogue, its file, its screens and its
// error boxes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dialogue_runs.h"
#include "support/harness.h"

namespace {

using support::padded;

TEST(Orientation, WholeRunFileByteForByte) {
  const std::string file =
      dialogue_runs::file_of_run('1',
                                 {"ori.txt",
                                  "J1",
                                  "2",  // job
                                  "E1",
                                  "1000.5",
                                  "2000",
                                  "2",  // station 1, two sighted vertices
                                  "V1",
                                  "1.25",
                                  "2",
                                  "-3.5",  // vertex 1
                                  "\"V2, north\"",
                                  "0",
                                  "0.001",
                                  "100",  // vertex 2: a quoted name with a comma
                                  "E2",
                                  "-1",
                                  "",
                                  "0",  // station 2, no vertex
                                  "A",
                                  "B"},
                                 "ori.txt");
  EXPECT_EQ(file,
            "J1, 2 \r\n"
            "E1, 1000.5 , 2000 , 2 \r\n"
            "V1, 1.25 , 2 ,-3.5 \r\n"
            "V2, north, 0 , .001 , 100 \r\n"
            "E2,-1 , 0 , 0 \r\n"
            "A\r\n"
            "B\r\n");
}

struct CountCase {
  std::string count;
  std::vector<std::string> stations;  // the answers of every station asked
  std::string file;
};

class OrientationCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(OrientationCountTest, StationsAskedAndCountWrittenAsTyped) {
  const CountCase& c = GetParam();
  std::vector<std::string> answers = {"ori.txt", "", c.count};
  answers.insert(answers.end(), c.stations.begin(), c.stations.end());
  answers.insert(answers.end(), {"A", "B"});
  EXPECT_EQ(dialogue_runs::file_of_run('1', answers, "ori.txt"), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, OrientationCountTest,
    ::testing::Values(CountCase{"", {}, ", 0 \r\nA\r\nB\r\n"},
                      CountCase{"-1", {}, ",-1 \r\nA\r\nB\r\n"},
                      CountCase{"2.5",
                                {"S1", "1", "2", "0", "S2", "3", "4", "0"},
                                ", 2.5 \r\nS1, 1 , 2 , 0 \r\nS2, 3 , 4 , 0 \r\nA\r\nB\r\n"},
                      // 1.5 sighted vertices: one vertex record
                      CountCase{"1",
                                {"S1", "1", "2", "1.5", "V", "7", "8", "9"},
                                ", 1 \r\nS1, 1 , 2 , 1.5 \r\nV, 7 , 8 , 9 \r\nA\r\nB\r\n"}));

// The sighted vertices follow one another down the screen; the Enter after
// the sixth vertex's "Pv=" answer is the first to scroll.
TEST(Orientation, SightedVerticesScrollAfterTheSixth) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '1', {"ori.txt", "J", "1", "E1", "1", "2", "7"});
  EXPECT_EQ(run.row_text(1), padded(std::string(29, ' ') + "Estacao :E1"));
  for (int vertex = 1; vertex <= 5; ++vertex) {
    for (const char* a : {"V", "1", "2", "3"}) run.answer(a);
  }
  run.settle();
  EXPECT_EQ(run.row_text(1), padded(std::string(29, ' ') + "Estacao :E1"));
  EXPECT_EQ(run.row_text(2), padded("Nome do 1 .\xA7  VERTICE :     V"));
  EXPECT_EQ(run.row_text(21), padded("Lv=3"));
  EXPECT_EQ(run.row_text(22), padded("Nome do 6 .\xA7  VERTICE :"));

  for (const char* a : {"V6", "1", "2"}) run.answer(a);
  run.settle();
  EXPECT_EQ(run.row_text(1), padded("Nome do 1 .\xA7  VERTICE :     V"));
  EXPECT_EQ(run.row_text(21), padded("Nome do 6 .\xA7  VERTICE :     V6"));
  EXPECT_EQ(run.row_text(24), padded("Lv="));
  EXPECT_EQ(console::cursor_row(), 24);
  EXPECT_EQ(console::cursor_column(), 4);
  for (int column = 1; column <= 80; ++column) ASSERT_EQ(run.attribute(25, column), 0x31);

  run.answer("3");
  for (const char* a : {"V7", "1", "2"}) run.answer(a);
  run.settle();
  EXPECT_EQ(run.row_text(1), padded("Nome do 2 .\xA7  VERTICE :     V"));  // five rows scrolled
  EXPECT_EQ(run.row_text(20), padded("Lv=3"));
  EXPECT_EQ(run.row_text(24), padded("Lv="));
  run.answer("3");
  run.answer("A");
  run.answer("B");
  run.settle();
  dialogue_runs::finish(run);
  EXPECT_EQ(run.file_bytes("ori.txt"),
            "J, 1 \r\nE1, 1 , 2 , 7 \r\n"
            "V, 1 , 2 , 3 \r\nV, 1 , 2 , 3 \r\nV, 1 , 2 , 3 \r\nV, 1 , 2 , 3 \r\nV, 1 , 2 , 3 \r\n"
            "V6, 1 , 2 , 3 \r\nV7, 1 , 2 , 3 \r\nA\r\nB\r\n");
}

// A station name of 43 characters moves to the row below "Estacao :", and
// the first vertex label one row down.
TEST(Orientation, LongStationNameOnTheNextRow) {
  const std::string name(43, 'N');
  harness::RoutineRun run;
  dialogue_runs::start(run, '1', {"ori.txt", "J", "1", name, "1", "2", "1"});
  EXPECT_EQ(run.row_text(1), padded(std::string(29, ' ') + "Estacao :"));
  EXPECT_EQ(run.row_text(2), padded(name));
  EXPECT_EQ(run.row_text(3), padded("Nome do 1 .\xA7  VERTICE :"));
  EXPECT_EQ(console::cursor_column(), 29);
}

// Yes in every box: one box for the opening, then one per record statement
// reached, and no file.
TEST(Orientation, FailedOpeningAnsweredYes) {
  harness::RoutineRun run;
  run.answer_error_boxes(std::vector<bool>(9, true));
  dialogue_runs::start(
      run, '1',
      {dialogue_runs::unopenable_name, "J", "1", "E", "1", "2", "1", "V", "1", "2", "3", "A", "B"});
  dialogue_runs::finish(run);
  const std::vector<std::pair<unsigned, unsigned>> expected = {{54, 76}, {57, 52}, {65, 52},
                                                               {74, 52}, {81, 52}, {82, 52}};
  EXPECT_EQ(dialogue_runs::box_lines(run), expected);
  EXPECT_FALSE(std::filesystem::exists(run.folder() / "no_such_folder"));
}

TEST(Orientation, FailedOpeningAnsweredNoEndsTheRun) {
  harness::RoutineRun run;
  run.answer_error_boxes({false});
  dialogue_runs::start(run, '1', {dialogue_runs::unopenable_name});
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  const std::vector<std::pair<unsigned, unsigned>> expected = {{54, 76}};
  EXPECT_EQ(dialogue_runs::box_lines(run), expected);
  EXPECT_EQ(run.row_text(4), padded(""));  // no further question
}

}  // namespace
