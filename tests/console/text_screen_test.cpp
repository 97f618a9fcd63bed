// The text screen: cells and attributes, printing with the deferred wrap and
// the fit check, scrolling of the text window, tabs, control bytes, colours,
// errors, and the screen copies of the line input.

#include "survey_entry/console/text_screen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/screen.h"
#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/run_control.h"

namespace {

using console::Text;
using support::padded;
using support::row_text;

int listener_calls = 0;

// Counts the screen's change notifications; ends a test with an exception
// instead of ending the test process when the run control wants the
// process to end.
class TestHost : public console::RunHost {
 public:
  void screen_changed() override { ++listener_calls; }
  bool show_error_box(const std::string&, const std::string&) override { return false; }
  void show_critical_box(const std::string& title, const std::string&) override {
    critical_titles.push_back(title);
  }
  [[noreturn]] void exit_process(int code) override {
    throw std::runtime_error("the process would end with exit code " + std::to_string(code));
  }
  [[noreturn]] void park_program_thread() override {
    throw std::runtime_error("the program thread would be parked");
  }
  std::vector<std::string> critical_titles;
};


class TextScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console::set_run_host(&host_);
    console::set_sleep_divisor(1000);
    reset();
  }
  void TearDown() override {
    console::set_run_host(nullptr);
    console::set_sleep_divisor(1);
    reset();
  }

  static void reset() {
    console::run_control_reset();
    console::text_screen_reset();
  }

  static std::uint8_t attribute(int row, int column) {
    return console::screen_cell(row, column).attribute;
  }
  // True when the cells from..to of the row all have this attribute.
  static bool attributes_are(int row, int from, int to, std::uint8_t value) {
    for (int column = from; column <= to; ++column) {
      if (attribute(row, column) != value) return false;
    }
    return true;
  }
  static void expect_cursor(int row, int column, bool wrap) {
    EXPECT_EQ(console::cursor_row(), row);
    EXPECT_EQ(console::cursor_column(), column);
    EXPECT_EQ(console::wrap_pending(), wrap);
  }
  // Brings the cursor to (row, column) with no wrap pending, by line ends and
  // dots, from a cleared screen.
  static void move_to(int row, int column) {
    console::clear_screen();
    for (int r = 1; r < row; ++r) console::print_text("", 1);
    console::print_text(std::string(static_cast<std::size_t>(column - 1), '.'), 0);
  }
  // One print item as the routine prints it: the fit check, then the text.
  static void print_item(const Text& item) {
    console::wrap_before_item(item);
    console::print_text(item, 0);
  }

  TestHost host_;
};

TEST_F(TextScreenTest, StartsBlankInLightGreyOnBlack) {
  for (int row = 1; row <= console::screen_rows; ++row) {
    EXPECT_EQ(row_text(row), padded("")) << "row " << row;
    EXPECT_TRUE(attributes_are(row, 1, 80, 7)) << "row " << row;
  }
  expect_cursor(1, 1, false);
  EXPECT_FALSE(console::cursor_visible());
  EXPECT_EQ(console::foreground_colour(), 7u);
  EXPECT_EQ(console::background_colour(), 0u);
  EXPECT_EQ(console::text_window_top(), 1);
  EXPECT_EQ(console::text_window_bottom(), 24);
}

TEST_F(TextScreenTest, PaletteIsTheVgaTextPalette) {
  struct Case {
    int index;
    console::Rgb rgb;
  };
  const Case cases[] = {{0, {0x00, 0x00, 0x00}},  {1, {0x00, 0x00, 0xAA}}, {6, {0xAA, 0x55, 0x00}},
                        {7, {0xAA, 0xAA, 0xAA}},  {8, {0x55, 0x55, 0x55}}, {9, {0x55, 0x55, 0xFF}},
                        {14, {0xFF, 0xFF, 0x55}}, {15, {0xFF, 0xFF, 0xFF}}};
  for (const auto& c : cases) {
    const auto& entry = console::palette[static_cast<std::size_t>(c.index)];
    EXPECT_EQ(entry.red, c.rgb.red) << c.index;
    EXPECT_EQ(entry.green, c.rgb.green) << c.index;
    EXPECT_EQ(entry.blue, c.rgb.blue) << c.index;
  }
}

TEST_F(TextScreenTest, AttributeOfColourPairs) {
  struct Case {
    std::uint32_t foreground, background;
    std::uint8_t attribute;
  };
  const Case cases[] = {{7, 0, 7},    {1, 2, 0x21},  {4, 2, 0x24},  {0, 2, 0x20},
                        {1, 3, 0x31}, {31, 7, 0xFF}, {16, 0, 0x80}, {15, 9, 0x1F}};
  for (const auto& c : cases) {
    EXPECT_EQ(console::attribute_of(c.foreground, c.background), c.attribute)
        << c.foreground << " on " << c.background;
  }
}

TEST_F(TextScreenTest, PrintTextWrapsAtColumn80AndDefersTheLastWrap) {
  struct Case {
    const char* name;
    int start_column;
    Text text;
    int line_end_flag;
    std::string row1, row2;
    int end_row, end_column;
    bool wrap;
  };
  const std::string eighty(80, 'x');
  const Case cases[] = {
      {"short text", 1, "abc", 0, "abc", "", 1, 4, false},
      {"short text with line end", 1, "abc", 1, "abc", "", 2, 1, false},
      {"80 bytes leave the wrap pending", 1, eighty, 0, eighty, "", 1, 80, true},
      {"80 bytes with line end give one line end", 1, eighty, 1, eighty, "", 2, 1, false},
      {"81 bytes wrap at once", 1, eighty + "y", 0, eighty, "y", 2, 2, false},
      {"100 bytes put 20 on the next row", 1, std::string(100, 'z'), 0, std::string(80, 'z'),
       std::string(20, 'z'), 2, 21, false},
      {"last byte in column 80", 79, "ab", 0, std::string(78, '.') + "ab", "", 1, 80, true},
      {"byte after column 80", 79, "abc", 0, std::string(78, '.') + "ab", "c", 2, 2, false},
      {"CR with line end gives two line ends", 1, "ab\r", 1, "ab", "", 3, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    move_to(1, c.start_column);
    console::print_text(c.text, c.line_end_flag);
    EXPECT_EQ(row_text(1), padded(c.row1));
    EXPECT_EQ(row_text(2), padded(c.row2));
    EXPECT_EQ(row_text(3), padded(""));
    expect_cursor(c.end_row, c.end_column, c.wrap);
  }
}

TEST_F(TextScreenTest, WhatFollowsAPendingWrap) {
  struct Case {
    const char* name;
    std::function<void()> action;
    std::string row2;
    int end_row, end_column;
    bool wrap;
  };
  const Case cases[] = {
      {"empty text without line end changes nothing", [] { console::print_text("", 0); }, "", 1, 80,
       true},
      {"empty text with line end gives exactly one line end", [] { console::print_text("", 1); },
       "", 2, 1, false},
      {"a text starts on the next row", [] { console::print_text("z", 0); }, "z", 2, 2, false},
      {"the fit check keeps still", [] { console::wrap_before_item(std::string(30, 'q')); }, "", 1,
       80, true},
      {"the zone tab gives only a line end", [] { console::print_zone_tab(); }, "", 2, 1, false},
      {"a colour change keeps the wrap", [] { console::set_text_colours(4, 0, 0, 1); }, "", 1, 80,
       true},
      {"mode 0 keeps the wrap", [] { console::set_screen_mode(0, 1); }, "", 1, 80, true},
      {"clear screen drops it", [] { console::clear_screen(); }, "", 1, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    console::print_text(std::string(80, 'x'), 0);
    ASSERT_TRUE(console::wrap_pending());
    c.action();
    EXPECT_EQ(row_text(2), padded(c.row2));
    expect_cursor(c.end_row, c.end_column, c.wrap);
  }
}

TEST_F(TextScreenTest, FitCheckMovesAnItemThatWouldRunPastColumn80) {
  struct Case {
    const char* name;
    int start_column;
    std::size_t length;
    bool moves;
  };
  const Case cases[] = {
      {"number item from column 75 moves", 75, 7, true},
      {"number item from column 74 ends in column 80", 74, 7, false},
      {"42-byte name after the sub-heading stays", 39, 42, false},
      {"43-byte name after the sub-heading moves", 39, 43, true},
      {"100 bytes in column 1 are not moved", 1, 100, false},
      {"an empty item never moves", 80, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    move_to(1, c.start_column);
    const Text item(c.length, 'n');
    console::wrap_before_item(item);
    expect_cursor(c.moves ? 2 : 1, c.moves ? 1 : c.start_column, false);
  }
  // Control bytes count: four CRs from column 78 would run to column 81.
  reset();
  move_to(1, 78);
  console::wrap_before_item("\r\r\r\r");
  expect_cursor(2, 1, false);
}

TEST_F(TextScreenTest, TwentyFourthLineEndScrollsTheTextWindowOnly) {
  console::set_text_colours(1, 2, 1, 7);
  console::clear_screen();
  for (int line = 1; line <= 24; ++line) console::print_text("L" + std::to_string(line), 1);
  for (int row = 1; row <= 23; ++row) {
    EXPECT_EQ(row_text(row), padded("L" + std::to_string(row + 1))) << "row " << row;
  }
  EXPECT_EQ(row_text(24), padded(""));
  EXPECT_EQ(row_text(25), padded(""));
  EXPECT_TRUE(attributes_are(25, 1, 80, 0x21));
  expect_cursor(24, 1, false);
}

TEST_F(TextScreenTest, ScrolledInRowTakesTheColoursInForce) {
  console::set_text_colours(1, 2, 1, 7);
  console::clear_screen();
  for (int line = 1; line <= 23; ++line) console::print_text("blue", 1);
  console::set_text_colours(0, 0, 0, 1);
  console::print_text("black", 1);  // its line end scrolls
  EXPECT_EQ(row_text(23), padded("black"));
  EXPECT_TRUE(attributes_are(23, 1, 5, 0x20));
  EXPECT_TRUE(attributes_are(23, 6, 80, 0x21));  // blanks of the clear, scrolled up
  EXPECT_TRUE(attributes_are(22, 1, 80, 0x21));
  EXPECT_TRUE(attributes_are(24, 1, 80, 0x20));
  EXPECT_TRUE(attributes_are(25, 1, 80, 0x21));
}

TEST_F(TextScreenTest, MenuPictureAfterItsTwoScrolls) {
  // The menu's order of prints: three empty lines, the 13-line box in blue on
  // green, five empty lines, mode 0, the 3-line exit box in red, the hint
  // line in black.
  const auto line = [](const Text& text) {
    print_item(text);
    console::print_text("", 1);
  };
  console::clear_screen();
  console::set_text_colours(1, 2, 1, 7);
  console::clear_screen();
  for (int i = 0; i < 3; ++i) console::print_text("", 1);
  for (int i = 0; i < 13; ++i) line("          *box*");
  for (int i = 0; i < 5; ++i) console::print_text("", 1);
  console::set_screen_mode(0, 1);
  console::set_text_colours(4, 0, 0, 1);
  for (int i = 0; i < 3; ++i) line("                                  *exit*");
  console::set_text_colours(0, 0, 0, 1);
  line(" CONSULTE");

  EXPECT_EQ(row_text(1), padded(""));
  EXPECT_TRUE(attributes_are(1, 1, 80, 0x21));
  for (int row = 2; row <= 14; ++row) EXPECT_TRUE(attributes_are(row, 11, 15, 0x21)) << row;
  EXPECT_EQ(row_text(15), padded(""));
  for (int row = 20; row <= 22; ++row) {
    EXPECT_EQ(row_text(row), padded("                                  *exit*")) << row;
    EXPECT_TRUE(attributes_are(row, 1, 40, 0x24)) << row;
  }
  EXPECT_EQ(row_text(23), padded(" CONSULTE"));
  EXPECT_TRUE(attributes_are(23, 1, 9, 0x20));
  EXPECT_EQ(row_text(24), padded(""));
  EXPECT_TRUE(attributes_are(24, 1, 80, 0x20));
  EXPECT_TRUE(attributes_are(25, 1, 80, 0x21));
  expect_cursor(24, 1, false);
}

TEST_F(TextScreenTest, RowTwentyFiveIsOnlyReachedThroughItsOwnWindow) {
  console::clear_screen();
  console::print_text("top", 1);
  console::set_text_colours(0, 2, 0, 3);
  console::set_text_window(25, 25);
  expect_cursor(25, 1, false);
  console::print_text("old", 0);
  console::line_end();  // the one-row window scrolls onto itself
  EXPECT_EQ(row_text(25), padded(""));
  EXPECT_TRUE(attributes_are(25, 1, 80, 0x20));
  expect_cursor(25, 1, false);
  console::print_text("Press any key to continue", 0);
  EXPECT_EQ(row_text(25), padded("Press any key to continue"));
  expect_cursor(25, 26, false);
  EXPECT_EQ(row_text(1), padded("top"));

  // Back in the routine's window, scrolls never touch row 25.
  console::set_text_window(1, 24);
  for (int line = 0; line < 30; ++line) console::print_text("scroll", 1);
  EXPECT_EQ(row_text(25), padded("Press any key to continue"));
  EXPECT_TRUE(attributes_are(25, 1, 80, 0x20));
}

TEST_F(TextScreenTest, TextWindowRefusesRowsOffTheScreen) {
  const std::pair<int, int> bad[] = {{0, 24}, {1, 26}, {20, 19}};
  for (const auto& [top, bottom] : bad) {
    SCOPED_TRACE(std::to_string(top) + ".." + std::to_string(bottom));
    reset();
    move_to(3, 5);
    console::set_text_window(top, bottom);
    EXPECT_EQ(console::pending_error(), 5u);
    EXPECT_EQ(console::text_window_top(), 1);
    EXPECT_EQ(console::text_window_bottom(), 24);
    expect_cursor(3, 5, false);
  }
}

TEST_F(TextScreenTest, ZoneTabStopsAtTheNextZoneOrColumn80) {
  struct Case {
    int start_column;
    int end_column;
    bool wrap;
  };
  const Case cases[] = {{1, 15, false},  {14, 15, false}, {15, 29, false}, {24, 29, false},
                        {29, 43, false}, {43, 57, false}, {56, 57, false}, {57, 80, false},
                        {79, 80, false}, {80, 80, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE("from column " + std::to_string(c.start_column));
    reset();
    move_to(1, c.start_column);
    console::set_text_colours(4, 1, 0, 3);  // the tab's spaces show as 0x14
    console::print_zone_tab();
    expect_cursor(1, c.end_column, c.wrap);
    const int last_space = c.wrap ? 80 : c.end_column - 1;
    EXPECT_TRUE(attributes_are(1, c.start_column, last_space, 0x14));
    if (last_space < 80) {
      EXPECT_TRUE(attributes_are(1, last_space + 1, 80, 7));
    }
    EXPECT_EQ(row_text(1), padded(std::string(static_cast<std::size_t>(c.start_column - 1), '.')));
    EXPECT_TRUE(attributes_are(2, 1, 80, 7));
  }
}

TEST_F(TextScreenTest, TabToColumnText) {
  struct Case {
    int cursor_column;
    std::int32_t n;
    Text text;
  };
  const Case cases[] = {
      {1, 30, Text(29, ' ')},
      {30, 30, ""},
      {35, 30, "\r" + Text(29, ' ')},
      {35, 34, "\r" + Text(33, ' ')},
      {44, 34, "\r" + Text(33, ' ')},
      {1, 0, ""},
      {5, 0, "\r"},
      {1, -5, ""},
      {1, 81, ""},
      {1, 100, Text(19, ' ')},
      {1, 160, ""},
      {1, 80, Text(79, ' ')},
      {1, 32767, Text(46, ' ')},
      {3, -32768, "\r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("column " + std::to_string(c.cursor_column) + ", tab " + std::to_string(c.n));
    reset();
    move_to(1, c.cursor_column);
    EXPECT_EQ(console::tab_to_column(c.n), c.text);
    EXPECT_EQ(console::pending_error(), 0u);
  }
}

TEST_F(TextScreenTest, TabItemBackwardsContinuesOnTheNextRow) {
  move_to(1, 35);
  print_item(console::tab_to_column(30));
  expect_cursor(2, 30, false);
  print_item("next");
  EXPECT_EQ(row_text(2), padded(Text(29, ' ') + "next"));
}

TEST_F(TextScreenTest, TabToColumnOutsideSixteenBitsRaisesError7) {
  const std::int32_t bad[] = {32768, -32769, std::numeric_limits<std::int32_t>::max(),
                              std::numeric_limits<std::int32_t>::min()};
  for (const auto n : bad) {
    SCOPED_TRACE(n);
    reset();
    EXPECT_EQ(console::tab_to_column(n), "");
    EXPECT_EQ(console::pending_error(), 7u);
    EXPECT_TRUE(console::event_pending.load());
  }
  EXPECT_TRUE(host_.critical_titles.empty());
}

TEST_F(TextScreenTest, ControlBytesMoveTheCursor) {
  struct Case {
    const char* name;
    int row, column;
    Text text;
    int end_row, end_column;
  };
  const Case cases[] = {
      {"LF ends the line", 1, 5, "\n", 2, 1},
      {"CR ends the line", 3, 5, "\r", 4, 1},
      {"VT goes to the window top", 3, 5, "\v", 1, 1},
      {"right", 1, 5, "\x1c", 1, 6},
      {"right from column 80 goes to the next row", 1, 80, "\x1c", 2, 1},
      {"right on the bottom row stops at column 80", 24, 80, "\x1c", 24, 80},
      {"right on the bottom row", 24, 5, "\x1c", 24, 6},
      {"left", 1, 5, "\x1d", 1, 4},
      {"left in column 1 of the top row", 1, 1, "\x1d", 1, 1},
      {"left from column 1 goes to the row above", 2, 1, "\x1d", 1, 80},
      {"left from column 1 of the bottom row", 24, 1, "\x1d", 23, 80},
      {"up", 3, 5, "\x1e", 2, 5},
      {"up on the top row", 1, 5, "\x1e", 1, 5},
      {"down", 3, 5, "\x1f", 4, 5},
      {"down on the bottom row", 24, 5, "\x1f", 24, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    move_to(c.row, c.column);
    const auto before = console::copy_screen();
    console::print_text(c.text, 0);
    expect_cursor(c.end_row, c.end_column, false);
    auto after = console::copy_screen();
    after.cursor_row = before.cursor_row;
    after.cursor_column = before.cursor_column;
    EXPECT_EQ(before, after) << "a control byte wrote a cell";
  }
}

TEST_F(TextScreenTest, BackwardCursorMovesDoNotLeaveTheWindow) {
  // One-row window of row 25: left in column 1 and up do nothing.
  console::set_text_window(25, 25);
  console::print_text("\x1d\x1e\x1f", 0);
  expect_cursor(25, 1, false);
  console::print_text("ab\x1d\x1d", 0);
  expect_cursor(25, 1, false);
}

TEST_F(TextScreenTest, FormFeedClearsTheScreen) {
  console::set_text_colours(1, 3, 0, 3);
  console::print_text("before", 1);
  console::print_text("more\fnew", 0);
  EXPECT_EQ(row_text(1), padded("new"));
  EXPECT_EQ(row_text(2), padded(""));
  EXPECT_TRUE(attributes_are(25, 1, 80, 0x31));
  expect_cursor(1, 4, false);
}

TEST_F(TextScreenTest, TabByteRunsToTheNextColumnOfEight) {
  struct Case {
    int start_column;
    int line_end_flag;
    int last_space;
    int end_row, end_column;
    bool wrap;
  };
  const Case cases[] = {
      {1, 0, 8, 1, 9, false},   {8, 0, 8, 1, 9, false},   {9, 0, 16, 1, 17, false},
      {73, 0, 80, 1, 80, true}, {75, 0, 80, 1, 80, true}, {80, 0, 80, 1, 80, true},
      {73, 1, 80, 2, 1, false}, {80, 1, 80, 2, 1, false}, {5, 1, 8, 2, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE("column " + std::to_string(c.start_column) + " flag " +
                 std::to_string(c.line_end_flag));
    reset();
    move_to(1, c.start_column);
    console::set_text_colours(4, 1, 0, 3);  // the tab's spaces show as 0x14
    console::print_text("\t", c.line_end_flag);
    expect_cursor(c.end_row, c.end_column, c.wrap);
    EXPECT_TRUE(attributes_are(1, c.start_column, c.last_space, 0x14));
    if (c.last_space < 80) {
      EXPECT_TRUE(attributes_are(1, c.last_space + 1, 80, 7));
    }
    EXPECT_TRUE(attributes_are(2, 1, 80, 7)) << "a space landed on the next row";
  }
}

TEST_F(TextScreenTest, EveryOtherByteIsAGlyphStoredUnchanged) {
  Text glyphs;
  for (int b = 0; b < 256; ++b) {
    if (b == 7 || (b >= 9 && b <= 13) || (b >= 28 && b <= 31)) continue;
    glyphs += static_cast<char>(b);
  }
  ASSERT_EQ(glyphs.size(), 246u);
  console::set_text_colours(1, 3, 0, 3);
  console::print_text(glyphs, 0);
  // 246 glyphs: three full rows and 6 more.
  expect_cursor(4, 7, false);
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    const int row = static_cast<int>(i / 80) + 1;
    const int column = static_cast<int>(i % 80) + 1;
    const auto cell = console::screen_cell(row, column);
    EXPECT_EQ(cell.character, static_cast<std::uint8_t>(glyphs[i])) << i;
    EXPECT_EQ(cell.attribute, 0x31) << i;
  }
}

TEST_F(TextScreenTest, BellShowsNothingAndHoldsTheRoutine) {
  console::set_sleep_divisor(1);
  move_to(2, 7);
  const auto before = console::copy_screen();
  const auto changes = console::screen_change_count();
  const auto start = std::chrono::steady_clock::now();
  console::print_text("\a", 0);
  const auto held = std::chrono::steady_clock::now() - start;
  EXPECT_GE(held, std::chrono::milliseconds(250));
  EXPECT_EQ(before, console::copy_screen());
  EXPECT_EQ(console::screen_change_count(), changes);
}

TEST_F(TextScreenTest, SetTextColours) {
  struct Case {
    const char* name;
    std::uint32_t foreground, background, border, flags;
    std::uint32_t error;
    std::uint32_t end_foreground, end_background;
  };
  const Case cases[] = {
      {"both colours", 4, 3, 1, 7, 0, 4, 3},
      {"foreground 32 is refused and nothing is stored", 32, 3, 0, 3, 5, 1, 2},
      {"a negative foreground counts as large", 0xFFFFFFFFu, 3, 0, 3, 5, 1, 2},
      {"background 16 is refused", 5, 16, 0, 3, 5, 1, 2},
      {"blinking white; background 15 gives 7; border ignored", 31, 15, 99, 7, 0, 31, 7},
      {"flags 0 change nothing", 9, 5, 0, 0, 0, 1, 2},
      {"foreground alone keeps the background", 4, 0, 0, 1, 0, 4, 2},
      {"background alone keeps the foreground", 0, 11, 0, 2, 0, 1, 3},
      {"a foreground that is not given is not checked", 40, 3, 0, 2, 0, 1, 3},
      {"the border is never checked", 0, 0, 0xFFFFFFFFu, 4, 0, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    console::set_text_colours(1, 2, 1, 7);
    console::print_text("a", 0);
    console::set_text_colours(c.foreground, c.background, c.border, c.flags);
    EXPECT_EQ(console::pending_error(), c.error);
    EXPECT_EQ(console::foreground_colour(), c.end_foreground);
    EXPECT_EQ(console::background_colour(), c.end_background);
    EXPECT_EQ(attribute(1, 1), 0x21) << "a cell already written changed colour";
  }
  EXPECT_TRUE(host_.critical_titles.empty());
}

TEST_F(TextScreenTest, ScreenModeZeroChangesNothing) {
  console::set_text_colours(1, 2, 1, 7);
  console::clear_screen();
  console::print_text("box", 1);
  console::print_text(std::string(80, '*'), 0);
  console::set_cursor_visible(true);
  const auto before = console::copy_screen();
  const auto changes = console::screen_change_count();
  console::set_screen_mode(0, 1);
  EXPECT_EQ(before, console::copy_screen());
  EXPECT_EQ(console::screen_change_count(), changes);
  EXPECT_EQ(console::foreground_colour(), 1u);
  EXPECT_EQ(console::background_colour(), 2u);
  EXPECT_TRUE(console::cursor_visible());
  EXPECT_EQ(console::pending_error(), 0u);

  console::set_screen_mode(1, 1);  // there is no other mode
  EXPECT_EQ(console::pending_error(), 5u);
  EXPECT_EQ(before, console::copy_screen());
}

TEST_F(TextScreenTest, OperationsDoNothingWhileAnErrorIsPending) {
  struct Case {
    const char* name;
    std::function<void()> action;
  };
  const Case cases[] = {
      {"clear_screen", [] { console::clear_screen(); }},
      {"set_text_colours", [] { console::set_text_colours(4, 3, 0, 7); }},
      {"set_text_colours with bad colours", [] { console::set_text_colours(99, 99, 0, 3); }},
      {"set_screen_mode", [] { console::set_screen_mode(1, 1); }},
      {"print_text", [] { console::print_text("text\r\n\t\f", 1); }},
      {"print_text of the empty text", [] { console::print_text("", 1); }},
      {"wrap_before_item", [] { console::wrap_before_item(std::string(60, 'w')); }},
      {"print_zone_tab", [] { console::print_zone_tab(); }},
      {"tab_to_column", [] { EXPECT_EQ(console::tab_to_column(70), ""); }},
      {"tab_to_column out of range", [] { EXPECT_EQ(console::tab_to_column(40000), ""); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    console::set_text_colours(1, 2, 1, 7);
    move_to(3, 40);
    console::raise_runtime_error(console::error_code::bad_file_name_or_number);
    const auto before = console::copy_screen();
    const auto changes = console::screen_change_count();
    c.action();
    EXPECT_EQ(before, console::copy_screen());
    EXPECT_EQ(console::screen_change_count(), changes);
    EXPECT_EQ(console::foreground_colour(), 1u);
    EXPECT_EQ(console::background_colour(), 2u);
    EXPECT_EQ(console::pending_error(), console::error_code::bad_file_name_or_number);
  }
}

TEST_F(TextScreenTest, RestoringACopyUndoesAScroll) {
  console::set_text_colours(1, 3, 0, 3);
  console::clear_screen();
  for (int line = 1; line <= 23; ++line) console::print_text("line " + std::to_string(line), 1);
  console::print_text("Nome :", 0);
  console::print_text(std::string(74, 'a'), 0);  // ends in column 80, wrap pending
  const auto entry = console::copy_screen();
  ASSERT_TRUE(entry.wrap_pending);

  console::set_text_colours(4, 3, 0, 1);
  console::print_text("b", 0);  // goes to the next row: the window scrolls
  ASSERT_EQ(row_text(1), padded("line 2"));
  console::restore_screen(entry);
  EXPECT_EQ(entry, console::copy_screen());
  EXPECT_EQ(row_text(1), padded("line 1"));
  EXPECT_TRUE(attributes_are(24, 1, 80, 0x31));
  expect_cursor(24, 80, true);
  // The next print after the restore wraps again from the pending wrap.
  console::print_text("c", 0);
  EXPECT_EQ(row_text(24), padded("c"));
  expect_cursor(24, 2, false);
}

// A copy printed into ends as the screen ends after the same print: the
// wrap at column 80, a pending wrap, the scroll of the window in the colours
// in force, and a window other than rows 1 to 24.
TEST_F(TextScreenTest, PrintIntoACopyEndsAsPrintingOnTheScreenEnds) {
  struct Case {
    const char* name;
    int window_top, window_bottom;
    int row, column;  // the cursor at the start, before `before`
    Text before;      // printed on the screen first, copied with it
    Text glyphs;
  };
  const Case cases[] = {
      {"within a row", 1, 24, 3, 10, "", "abc"},
      {"up to column 80", 1, 24, 3, 78, "", "abc"},
      {"past column 80", 1, 24, 3, 78, "", "abcdef"},
      {"after a pending wrap", 1, 24, 5, 1, Text(80, 'w'), "xy"},
      {"empty text after a pending wrap", 1, 24, 5, 1, Text(80, 'w'), ""},
      {"through the bottom row", 1, 24, 23, 70, "", Text(200, 'b')},
      {"through the bottom row of a small window", 5, 10, 9, 1, "", Text(300, 's')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    for (int row = 1; row <= 24; ++row) console::print_text("row " + std::to_string(row), 1);
    console::set_text_colours(14, 1, 0, 3);
    console::set_text_window(c.window_top, c.window_bottom);
    while (console::cursor_row() < c.row) console::line_end();
    console::print_text(Text(static_cast<std::size_t>(c.column - 1), '.') + c.before, 0);
    const console::ScreenCopy start = console::copy_screen();
    console::ScreenCopy copy = start;
    console::print_into(copy, c.glyphs);
    console::print_text(c.glyphs, 0);
    EXPECT_EQ(copy, console::copy_screen());
    if (!c.glyphs.empty()) {
      EXPECT_NE(copy, start);
    }
  }
}

TEST_F(TextScreenTest, OneChangeNotificationPerOperation) {
  listener_calls = 0;
  struct Case {
    const char* name;
    std::function<void()> action;
    int notifications;
  };
  const Case cases[] = {
      {"a long print that scrolls", [] { console::print_text(std::string(2000, 'x'), 1); }, 1},
      {"a zone tab of many spaces", [] { console::print_zone_tab(); }, 1},
      {"clear_screen", [] { console::clear_screen(); }, 1},
      {"cursor shown", [] { console::set_cursor_visible(true); }, 1},
      {"cursor shown again", [] { console::set_cursor_visible(true); }, 0},
      {"a colour change shows nothing", [] { console::set_text_colours(4, 1, 0, 3); }, 0},
      {"empty print without line end", [] { console::print_text("", 0); }, 0},
      {"restore_screen", [] { console::restore_screen(console::copy_screen()); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto changes = console::screen_change_count();
    listener_calls = 0;
    c.action();
    EXPECT_EQ(console::screen_change_count() - changes,
              static_cast<std::uint64_t>(c.notifications));
    EXPECT_EQ(listener_calls, c.notifications);
  }
}

TEST_F(TextScreenTest, WindowThreadReadsWhileTheProgramPrints) {
  // The window thread reads without a lock: every cursor it sees is on the
  // screen, and the change count never goes back.
  std::atomic<bool> done{false};
  bool cursor_off_screen = false;
  bool count_went_back = false;
  std::thread display([&] {
    std::uint64_t last_count = 0;
    while (!done.load()) {
      const int row = console::cursor_row();
      const int column = console::cursor_column();
      if (row < 1 || row > console::screen_rows || column < 1 || column > console::screen_columns) {
        cursor_off_screen = true;
      }
      const std::uint64_t count = console::screen_change_count();
      if (count < last_count) count_went_back = true;
      last_count = count;
      static_cast<void>(console::screen_cell(row, column));
    }
  });
  for (int i = 0; i < 300; ++i) {
    console::print_text(std::string(static_cast<std::size_t>(i % 97), 'x'), i % 2);
    console::print_zone_tab();
    if (i % 50 == 0) console::clear_screen();
  }
  done.store(true);
  display.join();
  EXPECT_FALSE(cursor_off_screen);
  EXPECT_FALSE(count_went_back);
}

}  // namespace
