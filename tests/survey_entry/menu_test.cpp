// The menu screen, its key loop and the end of the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/harness.h"
#include "support/screen.h"
#include "survey_entry/program.h"

namespace {

using console::Key;
using console::NamedKey;

using support::padded;

const std::string box_edge =
    "          *************************************************************";
const std::string box_empty =
    "          *                                                           *";
const std::string sair_edge =
    "                                  *************************************";

// The picture the key loop shows: text and, per row, the attribute of
// columns 1 to 71 (the printed line) and of columns 72 to 80.
struct MenuRow {
  std::string text;
  std::uint8_t printed, rest;
};
const std::vector<MenuRow> menu_rows = {
    {"", 0x21, 0x21},
    {box_edge, 0x21, 0x21},
    {box_empty, 0x21, 0x21},
    {"          *                PROGRAMAS DE TOPOGRAFIA                    *", 0x21, 0x21},
    {"          *            Producao de Ficheiros de Entrada               *", 0x21, 0x21},
    {box_empty, 0x21, 0x21},
    {"          *    1.  ORIENTACAO DE GIRO                  ( Prima 1 )    *", 0x21, 0x21},
    {"          *    2.  POLIGONAL S/RED.PLANO CARTOGRAFICO  ( Prima 2 )    *", 0x21, 0x21},
    {"          *    3.  POLIGONAL C/RED.PLANO CARTOGRAFICO  ( Prima 3 )    *", 0x21, 0x21},
    {"          *    4.  IRRADIACAO S/RED.PLANO CARTOGRAFICO ( Prima 4 )    *", 0x21, 0x21},
    {"          *    5.  IRRADIACAO C/RED.PLANO CARTOGRAFICO ( Prima 5 )    *", 0x21, 0x21},
    {"          *    6.  CLASSICO                            ( Prima 6 )    *", 0x21, 0x21},
    {box_empty, 0x21, 0x21},
    {box_edge, 0x21, 0x21},
    {"", 0x21, 0x21},
    {"", 0x21, 0x21},
    {"", 0x21, 0x21},
    {"", 0x21, 0x21},
    {"", 0x21, 0x21},
    {sair_edge, 0x24, 0x21},  // red on green, printed over the blue-on-green clear
    {"                                  *       SAIR        ( Prima 0)      *", 0x24, 0x21},
    {sair_edge, 0x24, 0x21},
    // black on green, printed over the red-on-green row of the first scroll
    {" CONSULTE      PROG.TXT PARA SABER OS FORMATOS DOS FICHEIROS DE ENTRADA", 0x20, 0x24},
    {"", 0x20, 0x20},  // the second scroll's row
    {"", 0x21, 0x21},  // row 25, from the clear; never scrolled
};

void expect_menu_picture(const harness::RoutineRun& run) {
  for (int row = 1; row <= 25; ++row) {
    const MenuRow& expected = menu_rows[static_cast<std::size_t>(row - 1)];
    EXPECT_EQ(run.row_text(row), padded(expected.text)) << "row " << row;
    for (int column = 1; column <= 80; ++column) {
      EXPECT_EQ(run.attribute(row, column), column <= 71 ? expected.printed : expected.rest)
          << "row " << row << " column " << column;
    }
  }
  EXPECT_EQ(console::cursor_row(), 24);
  EXPECT_EQ(console::cursor_column(), 1);
  EXPECT_FALSE(console::cursor_visible());
}

TEST(Menu, PictureCellByCellAndIgnoredKeys) {
  harness::RoutineRun run;
  run.settle();
  expect_menu_picture(run);

  const std::vector<Key> ignored = {Key::byte('7'),        Key::byte('a'), Key::byte(27),
                                    Key::byte(13),         Key::byte(' '), Key::of(NamedKey::f1),
                                    Key::of(NamedKey::up), Key::byte('9')};
  for (const Key key : ignored) {
    run.press(key);
    run.settle();
    ASSERT_FALSE(run.exited());
    expect_menu_picture(run);
  }
  EXPECT_TRUE(std::filesystem::is_empty(run.folder()));
}

// Key "0": a blank black-on-green screen, the end prompt on row 25, no file;
// the keys typed ahead (here before the menu was drawn) are discarded and
// any later key, an extended one too, ends the run with exit code 0.
TEST(Menu, KeyZeroGoesToTheEndPrompt) {
  harness::Gate go;
  harness::RoutineRun run([&] {
    go.wait();
    survey_entry::survey_entry_main();
  });
  run.type("0x");  // "0" waits for the menu; "x" is typed ahead of the end prompt
  go.open();
  run.settle();
  ASSERT_FALSE(run.exited());
  for (int row = 1; row <= 24; ++row) EXPECT_EQ(run.row_text(row), padded("")) << row;
  EXPECT_EQ(run.row_text(25), padded("Press any key to continue"));
  for (int row = 1; row <= 25; ++row) {
    for (int column = 1; column <= 80; ++column) ASSERT_EQ(run.attribute(row, column), 0x20);
  }
  EXPECT_FALSE(console::cursor_visible());
  run.press(Key::of(NamedKey::f1));
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(run.folder()));
}

TEST(Menu, ClosingTheWindowAtTheMenuEndsTheRun) {
  harness::RoutineRun run;
  run.settle();
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(run.folder()));
}

// A pause during the menu key wait holds the key read; the press that ends
// the pause is not delivered, so it chooses nothing.
TEST(Menu, KeyThatEndsAPauseChoosesNothing) {
  harness::RoutineRun run;
  run.settle();
  run.press(Key::of(NamedKey::pause));
  run.press(Key::byte('4'));
  run.settle();
  EXPECT_FALSE(console::pause_flag.load());
  ASSERT_FALSE(run.exited());
  expect_menu_picture(run);
  run.press(Key::byte('0'));
  run.settle();
  EXPECT_EQ(run.row_text(25), padded("Press any key to continue"));
}

// A stop request at the end prompt ends the run at the next pass of its
// wait, with no key typed.
TEST(Menu, StopAtTheEndPromptEndsTheRun) {
  harness::RoutineRun run;
  run.press(Key::byte('0'));
  run.settle();
  ASSERT_EQ(run.row_text(25), padded("Press any key to continue"));
  ASSERT_FALSE(run.exited());
  run.close_window();
  ASSERT_TRUE(run.wait_for_exit());
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_TRUE(run.halted());
  EXPECT_TRUE(std::filesystem::is_empty(run.folder()));
}

TEST(Menu, DrawingLeavesTheLoopCounterAtSix) {
  survey_entry::ProgramValues values;
  harness::RoutineRun run([&] { survey_entry::draw_menu(values); });
  run.settle();
  ASSERT_TRUE(run.halted());
  EXPECT_EQ(values.inner_counter, 6.0f);
  expect_menu_picture(run);
}

// Each of "1" to "6" starts its dialogue at once: a blue-on-cyan screen with
// the heading on row 1, row 2 empty and the file name question on row 3.
struct Successor {
  char key;
  std::string heading;
};

class MenuSuccessorTest : public ::testing::TestWithParam<Successor> {};

TEST_P(MenuSuccessorTest, FirstScreenOfTheDialogue) {
  harness::RoutineRun run;
  run.press(Key::byte(static_cast<std::uint8_t>(GetParam().key)));
  run.settle();
  EXPECT_EQ(run.row_text(1), padded(GetParam().heading));
  EXPECT_EQ(run.row_text(2), padded(""));
  EXPECT_EQ(run.row_text(3), padded("Nome do Ficheiro :"));
  for (int row = 4; row <= 25; ++row) EXPECT_EQ(run.row_text(row), padded("")) << row;
  for (int row = 1; row <= 25; ++row) {
    for (int column = 1; column <= 80; ++column) ASSERT_EQ(run.attribute(row, column), 0x31);
  }
  EXPECT_EQ(console::cursor_row(), 3);
  EXPECT_EQ(console::cursor_column(), 19);
  EXPECT_TRUE(console::cursor_visible());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MenuSuccessorTest,
    ::testing::Values(Successor{'1', "            ORIENTACAO DE GIRO"},
                      Successor{'2', "            POLIGONAL SEM REDUCAO AO PLANO CARTOGRAFICO"},
                      Successor{'3', "            POLIGONAL COM REDUCAO AO PLANO CARTOGRAFICO"},
                      Successor{'4', "            IRRADIACAO SEM REDUCAO AO PLANO CARTOGRAFICO"},
                      Successor{'5', "            IRRADIACAO COM REDUCAO AO PLANO CARTOGRAFICO"},
                      Successor{'6', "                         CLASSICO                     "}));

// Every wait of the routine sleeps until what it waits for happens: idle,
// it does not wake at all, and the one event it waits for ends the sleep.
struct IdleWait {
  const char* name;
  std::vector<Key> to_reach;  // keys that bring the run to the wait
  std::function<void(harness::RoutineRun&)> event;
  std::function<bool(harness::RoutineRun&)> done;  // the event's effect
};

class IdleWaitTest : public ::testing::TestWithParam<IdleWait> {};

TEST_P(IdleWaitTest, SleepsUntilItsEventAndNoLonger) {
  const IdleWait& c = GetParam();
  harness::RoutineRun run;
  for (const Key key : c.to_reach) run.press(key);
  run.settle();
  ASSERT_FALSE(run.exited());
  ASSERT_TRUE(console::program_waits_for_user());
  const std::uint64_t sleeps = console::user_wait_sleeps();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(console::user_wait_sleeps(), sleeps) << "the wait woke with nothing to do";
  EXPECT_TRUE(console::program_waits_for_user());
  c.event(run);
  EXPECT_TRUE(run.wait_for([&] { return c.done(run); }));
}

const auto press_key = [](std::uint8_t byte) {
  return [byte](harness::RoutineRun& run) { run.press(Key::byte(byte)); };
};
const auto close_window = [](harness::RoutineRun& run) { run.close_window(); };
const auto exited_with_0 = [](harness::RoutineRun& run) {
  return run.exited() && run.exit_code() == 0;
};

INSTANTIATE_TEST_SUITE_P(
    Waits, IdleWaitTest,
    ::testing::Values(
        IdleWait{"MenuKeyRead", {}, press_key('0'),
                 [](harness::RoutineRun& run) {
                   return run.row_text(25) == padded("Press any key to continue");
                 }},
        IdleWait{"LineInput", {Key::byte('1')}, press_key('a'),
                 [](harness::RoutineRun&) { return console::screen_cell(3, 19).character == 'a'; }},
        IdleWait{"EndPrompt", {Key::byte('0')}, press_key('x'), exited_with_0},
        IdleWait{"PauseAtTheMenu", {Key::of(NamedKey::pause)}, press_key('x'),
                 [](harness::RoutineRun&) { return !console::pause_flag.load(); }},
        IdleWait{"StopDuringAPause", {Key::of(NamedKey::pause)}, close_window, exited_with_0},
        IdleWait{"StopInAQuestion", {Key::byte('1')}, close_window, exited_with_0}),
    [](const ::testing::TestParamInfo<IdleWait>& param) { return std::string(param.param.name); });

}  // namespace
