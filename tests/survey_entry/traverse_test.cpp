// Menu keys "2" and "3": the traverse dialogues.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dialogue_runs.h"
#include "support/harness.h"

namespace {

using support::padded;

const std::vector<std::string> count_3_answers = {
    "trav.txt", "T1",      "3",                                // job
    "1000.5",   "2000",    "100.25", "0",                      // start vertex
    "1500",     "2500.75", "101",    "0.5",                    // end vertex
    "A1",       "10.5",    "90",     "120.25", "1.55", "1.6",  // first vertex, forward
    "A2",       "190.5",   "270",    "120.25", "1.5",  "1.7",  // vertex 2, backward
    "20",       "91",      "80",     "1.52",   "1.8",          // vertex 2, forward
    "",         "200",     "89.5",   "0",      "1.4",  "0",    // last vertex, backward
    "S",        "C"};

const std::string count_3_file =
    " 3 ,T1\r\n"
    " 1000.5 , 2000 , 100.25 , 0 \r\n"
    " 1500 , 2500.75 , 101 , .5 \r\n"
    "A1, 10.5 , 90 , 120.25 , 1.55 , 1.6 \r\n"
    "A2, 190.5 , 270 , 120.25 , 1.5 , 1.7 \r\n"
    " 20 , 91 , 80 , 1.52 , 1.8 \r\n"
    ", 200 , 89.5 , 0 , 1.4 , 0 \r\n"
    "S\r\n"
    "C\r\n";

// Five vertices: three intermediate passes, each vertex with answers of its
// own, so that every record shows which sight it holds.
const std::vector<std::string> count_5_answers = {
    "trav.txt", "T1",     "5",                                      // job
    "1000.5",   "2000",   "100.25", "0",                            // start vertex
    "-1",       "1E3",    "0.001",  "359.9999",                     // end vertex
    "A1",       "1",      "2",      "3",       "1.1", "1.2",        // first vertex, forward
    "A2",       "21",     "22",     "23",      "2.1", "2.2",        // vertex 2, backward
    "24",       "25",     "26",     "2.4",     "2.5",               // vertex 2, forward
    "\"A3, x\"", "31",     "32",     "",        "3.1", "3.2",        // vertex 3, backward
    "34",       "35",     "0",      "3.4",     "",                  // vertex 3, forward
    "A4",       "41",     "42",     "43",      "4.1", "-4.2",       // vertex 4, backward
    "44",       "45",     "46",     "4.4",     "4.5",               // vertex 4, forward
    "A5",       "51",     "52",     "53",      "5.1", "5.2",        // last vertex, backward
    "S",        "C"};

const std::string count_5_file =
    " 5 ,T1\r\n"
    " 1000.5 , 2000 , 100.25 , 0 \r\n"
    "-1 , 1000 , .001 , 359.9999 \r\n"
    "A1, 1 , 2 , 3 , 1.1 , 1.2 \r\n"
    "A2, 21 , 22 , 23 , 2.1 , 2.2 \r\n"
    " 24 , 25 , 26 , 2.4 , 2.5 \r\n"
    "A3, x, 31 , 32 , 0 , 3.1 , 3.2 \r\n"
    " 34 , 35 , 0 , 3.4 , 0 \r\n"
    "A4, 41 , 42 , 43 , 4.1 ,-4.2 \r\n"
    " 44 , 45 , 46 , 4.4 , 4.5 \r\n"
    "A5, 51 , 52 , 53 , 5.1 , 5.2 \r\n"
    "S\r\n"
    "C\r\n";

struct FileCase {
  const std::vector<std::string>* answers;
  const std::string* file;
};

class TraverseKeyTest : public ::testing::TestWithParam<std::tuple<char, FileCase>> {};

// Keys "2" and "3" with equal answers write the same bytes.
TEST_P(TraverseKeyTest, WholeRunFileByteForByte) {
  const auto& [key, c] = GetParam();
  EXPECT_EQ(dialogue_runs::file_of_run(key, *c.answers, "trav.txt"), *c.file);
}

INSTANTIATE_TEST_SUITE_P(Keys, TraverseKeyTest,
                         ::testing::Combine(::testing::Values('2', '3'),
                                            ::testing::Values(FileCase{&count_3_answers,
                                                                       &count_3_file},
                                                              FileCase{&count_5_answers,
                                                                       &count_5_file})));

// The answers of a traverse whose every sight is the same, with the given
// count and number of intermediate passes, up to the last vertex's "Nome :".
std::vector<std::string> answers_to_last_vertex(const std::string& count, int passes) {
  std::vector<std::string> a = {"trav.txt", "T1", count, "1000.5", "2000", "100.25",
                                "0",        "1",  "2",   "3",      "4",    "V1"};
  const std::vector<std::string> sight = {"1", "2", "3", "1.5", "1.6"};
  a.insert(a.end(), sight.begin(), sight.end());
  for (int pass = 0; pass < passes; ++pass) {
    a.push_back("V");
    a.insert(a.end(), sight.begin(), sight.end());
    a.insert(a.end(), sight.begin(), sight.end());
  }
  return a;
}

struct CountCase {
  std::string count;
  int passes;
  std::string first_record;
  std::string heading_row_1, heading_row_2;  // the last vertex's heading
};

class TraverseCountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(TraverseCountTest, PassesRecordsAndLastHeading) {
  const CountCase& c = GetParam();
  harness::RoutineRun run;
  dialogue_runs::start(run, '2', answers_to_last_vertex(c.count, c.passes));
  EXPECT_EQ(run.row_text(1), padded(c.heading_row_1));
  if (c.heading_row_2.empty()) {
    EXPECT_EQ(run.row_text(2), padded("Nome :"));
  } else {
    EXPECT_EQ(run.row_text(2), padded(c.heading_row_2));
    EXPECT_EQ(run.row_text(3), padded("Nome :"));
  }
  for (const char* a : {"L", "1", "2", "3", "1.5", "1.6", "S", "C"}) run.answer(a);
  run.settle();
  dialogue_runs::finish(run);

  const std::string file = run.file_bytes("trav.txt");
  EXPECT_EQ(file.substr(0, file.find("\r\n")), c.first_record);
  std::size_t records = 0;
  for (std::size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2))
    ++records;
  EXPECT_EQ(records, static_cast<std::size_t>(7 + 2 * c.passes));
  const std::string tail = "L, 1 , 2 , 3 , 1.5 , 1.6 \r\nS\r\nC\r\n";
  EXPECT_TRUE(file.ends_with(tail)) << file;
}

const std::string tab29(29, ' ');
const std::string vertice = ".\xA7 Vertice ";

INSTANTIATE_TEST_SUITE_P(
    Counts, TraverseCountTest,
    ::testing::Values(
        CountCase{"0", 0, " 0 ,T1", tab29 + " 0  " + vertice, ""},
        CountCase{"-1", 0, "-1 ,T1", tab29 + "-1  " + vertice, ""},
        CountCase{"2", 0, " 2 ,T1", tab29 + " 2  " + vertice, ""},
        CountCase{"2.9", 0, " 2.9 ,T1", tab29 + " 2.9", std::string(33, ' ') + vertice},
        CountCase{"3", 1, " 3 ,T1", tab29 + " 3  " + vertice, ""},
        CountCase{"3.5", 1, " 3.5 ,T1", tab29 + " 3.5", std::string(33, ' ') + vertice},
        CountCase{"5", 3, " 5 ,T1", tab29 + " 5  " + vertice, ""}));

// Count 102: the headings of vertices 2 to 99 take one row; from vertex 100
// on, and for the last vertex 102, ".º Vertice " stands on row 2 and the
// questions one row lower.
TEST(Traverse, VertexHeadingTakesTwoRowsFromVertex100) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '2', answers_to_last_vertex("102", 97));  // passes 2 to 98
  EXPECT_EQ(run.row_text(1), padded(tab29 + " 99 " + vertice));
  EXPECT_EQ(run.row_text(2), padded("Nome :"));
  const std::vector<std::string> pass = {"V", "1", "2", "3", "1.5", "1.6",
                                         "1", "2", "3", "1.5", "1.6"};
  for (const std::string& a : pass) run.answer(a);
  run.settle();
  for (int vertex : {100, 101, 102}) {
    SCOPED_TRACE(vertex);
    EXPECT_EQ(run.row_text(1), padded(tab29 + " " + std::to_string(vertex)));
    EXPECT_EQ(run.row_text(2), padded(std::string(33, ' ') + vertice));
    EXPECT_EQ(run.row_text(3), padded("Nome :"));
    if (vertex == 102) break;
    for (const std::string& a : pass) run.answer(a);
    run.settle();
  }
  for (const char* a : {"L", "1", "2", "3", "1.5", "1.6"}) run.answer(a);
  run.settle();
  EXPECT_EQ(run.row_text(1), padded("Nome do Topografo  :"));  // the closing's clear
  EXPECT_EQ(run.row_text(2), padded(""));
  for (const char* a : {"S", "C"}) run.answer(a);
  run.settle();
  dialogue_runs::finish(run);
  const std::string file = run.file_bytes("trav.txt");
  EXPECT_TRUE(file.starts_with(" 102 ,T1\r\n")) << file.substr(0, 20);
  std::size_t records = 0;
  for (std::size_t at = file.find("\r\n"); at != std::string::npos; at = file.find("\r\n", at + 2))
    ++records;
  EXPECT_EQ(records, 7u + 2u * 100u);
  EXPECT_TRUE(file.ends_with("L, 1 , 2 , 3 , 1.5 , 1.6 \r\nS\r\nC\r\n"));
}

// The screens: start and end vertex, first vertex, an intermediate vertex.
TEST(Traverse, Screens) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '2', {"trav.txt", "T1", "3", "1", "2", "3", "4", "5", "6", "7"});
  run.type("8");  // the last "R0=" answer, not yet entered
  run.settle();
  EXPECT_EQ(run.row_text(1), padded(tab29 + "Vertice Inicial"));
  EXPECT_EQ(run.row_text(2), padded(""));
  EXPECT_EQ(run.row_text(6), padded("R0=4"));
  EXPECT_EQ(run.row_text(7), padded(tab29 + "Vertice Final"));
  EXPECT_EQ(run.row_text(8), padded(""));
  EXPECT_EQ(run.row_text(12), padded("R0=8"));
  run.enter();  // the end vertex record, then the first vertex's screen
  for (const char* a : {"A1", "1", "2", "3", "4"}) run.answer(a);
  run.settle();
  EXPECT_EQ(run.row_text(1), padded(tab29 + "1.\xA7 Vertice "));
  EXPECT_EQ(run.row_text(2), padded("Nome :A1"));
  EXPECT_EQ(run.row_text(6), padded("Altura do instrumento :4"));
  EXPECT_EQ(run.row_text(7), padded("Altura visada p/frente :"));
  for (const char* a : {"5", "A2", "1", "2", "3", "4", "5", "6", "7", "8", "9"}) run.answer(a);
  run.settle();
  EXPECT_EQ(run.row_text(1), padded(tab29 + " 2  " + vertice));
  EXPECT_EQ(run.row_text(2), padded("Nome :A2"));
  EXPECT_EQ(run.row_text(7), padded("Altura visada p/tras :5"));
  EXPECT_EQ(run.row_text(8), padded("Azimutal p/frente :6"));
  EXPECT_EQ(run.row_text(11), padded("Altura do instrumento :9"));
  EXPECT_EQ(run.row_text(12), padded("Altura visada p/frente :"));
}

struct BoxCase {
  char key;
  std::vector<std::pair<unsigned, unsigned>> boxes;
};

class TraverseFailedOpenTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(TraverseFailedOpenTest, OneBoxPerRecordStatement) {
  std::vector<std::string> answers = count_3_answers;
  answers[0] = dialogue_runs::unopenable_name;
  harness::RoutineRun run;
  run.answer_error_boxes(std::vector<bool>(10, true));
  dialogue_runs::start(run, GetParam().key, answers);
  dialogue_runs::finish(run);
  EXPECT_EQ(dialogue_runs::box_lines(run), GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(Keys, TraverseFailedOpenTest,
                         ::testing::Values(BoxCase{'2',
                                                   {{98, 76},
                                                    {101, 52},
                                                    {109, 52},
                                                    {116, 52},
                                                    {126, 52},
                                                    {137, 52},
                                                    {143, 52},
                                                    {154, 52},
                                                    {159, 52},
                                                    {160, 52}}},
                                           BoxCase{'3',
                                                   {{174, 76},
                                                    {177, 52},
                                                    {185, 52},
                                                    {192, 52},
                                                    {202, 52},
                                                    {213, 52},
                                                    {219, 52},
                                                    {230, 52},
                                                    {235, 52},
                                                    {236, 52}}}));

}  // namespace
