// Menu key "6": the CLASSICO dialogue, its letter questions and its two
// point forms.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dialogue_runs.h"
#include "support/harness.h"

namespace {

using support::padded;

TEST(Classico, StadiaFormWholeRunByteForByte) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '6',
                       {"cl.txt", "z", "D", "M", "J", "1",          //
                        "E1", "1", "2", "3", "4", "1.5", "1",       // station
                        "P1", "123.4567", "98.765", "1.2345678"});  // point, "Fio Maior="
  // The stadia questions stand where "Di=" and "Hv=" stand in the distance form.
  EXPECT_EQ(run.row_text(6), padded("Fio Maior=1.2345678"));
  EXPECT_EQ(run.row_text(7), padded("Fio Menor="));
  EXPECT_EQ(console::cursor_column(), 11);
  for (const char* a : {"1.2", "A", "B"}) run.answer(a);
  run.settle();
  dialogue_runs::finish(run);
  // A stadia reading is a Single number: 7 significant digits.
  EXPECT_EQ(run.file_bytes("cl.txt"),
            "z,D,M\r\n"
            "J, 1 \r\n"
            "E1, 1 , 2 , 3 , 4 , 1.5 , 1 \r\n"
            "P1, 123.4567 , 98.765 , 1.234568 , 1.2 \r\n"
            "A\r\n"
            "B\r\n");
}

// With measurement type "d" the file after its letter record is the
// radiation file of the same answers.
TEST(Classico, DistanceFormIsARadiationFileAfterTheLetters) {
  const std::vector<std::string> body = {
      "T1", "2",                                                    //
      "E1", "1000.5",   "2000",   "100.25",     "0",   "1.5", "2",  //
      "P1", "123.4567", "98.765", "1.23456789", "1.6",              //
      "P2", "1",        "2",      "3",          "4",                //
      "E2", "1",        "2",      "3",          "4",   "5",   "0",  //
      "A",  "B"};
  std::vector<std::string> radiation = {"out.txt"};
  radiation.insert(radiation.end(), body.begin(), body.end());
  std::vector<std::string> classico = {"out.txt", "N", "i", "d"};
  classico.insert(classico.end(), body.begin(), body.end());

  const std::string radiation_file = dialogue_runs::file_of_run('4', radiation, "out.txt");
  EXPECT_NE(radiation_file.find("P1, 123.4567 , 98.765 , 1.23456789 , 1.6 \r\n"),
            std::string::npos);
  EXPECT_EQ(dialogue_runs::file_of_run('6', classico, "out.txt"), "N,i,d\r\n" + radiation_file);
}

struct LetterCase {
  const char* name;
  std::vector<std::string> before;  // accepted answers of the earlier letter questions
  std::string prompt;
  std::vector<std::string> refused;
  std::vector<std::string> after;  // the accepted answer and the later letter questions
  std::string letter_record;
};

class ClassicoLetterTest : public ::testing::TestWithParam<LetterCase> {};

// A refused answer stays on screen and the question is asked again on the
// next row, until the whole answer is one of its letters.
TEST_P(ClassicoLetterTest, RefusedAnswersAreAskedAgain) {
  const LetterCase& c = GetParam();
  std::vector<std::string> answers = {"cl.txt"};
  answers.insert(answers.end(), c.before.begin(), c.before.end());
  answers.insert(answers.end(), c.refused.begin(), c.refused.end());
  harness::RoutineRun run;
  dialogue_runs::start(run, '6', answers);
  const int first_row = 4 + static_cast<int>(c.before.size());
  for (std::size_t i = 0; i < c.refused.size(); ++i) {
    EXPECT_EQ(run.row_text(first_row + static_cast<int>(i)), padded(c.prompt + c.refused[i])) << i;
  }
  EXPECT_EQ(run.row_text(first_row + static_cast<int>(c.refused.size())), padded(c.prompt));
  std::vector<std::string> rest = c.after;
  rest.insert(rest.end(), {"J", "0", "A", "B"});
  for (const std::string& a : rest) run.answer(a);
  run.settle();
  dialogue_runs::finish(run);
  EXPECT_EQ(run.file_bytes("cl.txt"), c.letter_record + "\r\nJ, 0 \r\nA\r\nB\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Questions, ClassicoLetterTest,
    ::testing::Values(LetterCase{"circle_type",
                                 {},
                                 "Tipo de Limbo Vertical (Z,V,N) :",
                                 {"", " z", "z ", "zz", "Zeta", "x", "D", "I", "M"},
                                 {"V", "d", "m"},
                                 "V,d,m"},
                      LetterCase{"circle_type_quoted",
                                 {},
                                 "Tipo de Limbo Vertical (Z,V,N) :",
                                 {"\"\""},
                                 {"\"n\"", "i", "M"},
                                 "n,i,M"},
                      LetterCase{"position",
                                 {"z"},
                                 "Posicao do Limbo Vertical (D,I) :",
                                 {"V", "Z", "N", "M", "Di", ""},
                                 {"I", "m"},
                                 "z,I,m"},
                      LetterCase{"measurement",
                                 {"Z", "d"},
                                 "Tipo de Medicao (M,D) :",
                                 {"I", "i", "mm", "V", " "},
                                 {"D"},
                                 "Z,d,D"}),
    [](const ::testing::TestParamInfo<LetterCase>& p) { return std::string(p.param.name); });

// Refused answers that fill the text window scroll the heading away; the
// dialogue goes on normally.
TEST(Classico, RefusedAnswersScrollTheWindow) {
  std::vector<std::string> answers = {"cl.txt"};
  answers.insert(answers.end(), 25, "x");
  harness::RoutineRun run;
  dialogue_runs::start(run, '6', answers);
  EXPECT_EQ(run.row_text(24), padded("Tipo de Limbo Vertical (Z,V,N) :"));
  for (int row = 1; row <= 23; ++row) {
    EXPECT_EQ(run.row_text(row), padded("Tipo de Limbo Vertical (Z,V,N) :x")) << row;
  }
  for (const char* a : {"v", "d", "M", "J", "0", "A", "B"}) run.answer(a);
  run.settle();
  dialogue_runs::finish(run);
  EXPECT_EQ(run.file_bytes("cl.txt"), "v,d,M\r\nJ, 0 \r\nA\r\nB\r\n");
}

// Closing the window while a refused letter question is asked again: the
// run ends at once with exit code 0, and the file, opened before the letter
// questions, holds no letter record.
TEST(Classico, StopDuringARepeatedLetterQuestion) {
  harness::RoutineRun run;
  dialogue_runs::start(run, '6', {"cl.txt", "z", "x"});
  EXPECT_EQ(run.row_text(5), padded("Posicao do Limbo Vertical (D,I) :x"));
  run.type("D");  // the second try, not entered
  run.settle();
  EXPECT_EQ(run.row_text(6), padded("Posicao do Limbo Vertical (D,I) :D"));
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_EQ(run.open_files_at_exit(), 0);
  EXPECT_EQ(run.row_text(7), padded(""));
  ASSERT_TRUE(std::filesystem::exists(run.folder() / "cl.txt"));
  EXPECT_EQ(run.file_bytes("cl.txt"), "");
}

struct BoxCase {
  std::string measurement;
  unsigned point_statement;
};

class ClassicoFailedOpenTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(ClassicoFailedOpenTest, OneBoxPerRecordStatement) {
  harness::RoutineRun run;
  run.answer_error_boxes(std::vector<bool>(9, true));
  dialogue_runs::start(run, '6',
                       {dialogue_runs::unopenable_name,
                        "Z",
                        "D",
                        GetParam().measurement,
                        "J",
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
  const unsigned p = GetParam().point_statement;
  const std::vector<std::pair<unsigned, unsigned>> expected = {{354, 76}, {361, 52}, {364, 52},
                                                               {376, 52}, {p, 52},   {376, 52},
                                                               {p, 52},   {412, 52}, {413, 52}};
  EXPECT_EQ(dialogue_runs::box_lines(run), expected);
}

INSTANTIATE_TEST_SUITE_P(Forms, ClassicoFailedOpenTest,
                         ::testing::Values(BoxCase{"D", 388}, BoxCase{"M", 402}));

}  // namespace
