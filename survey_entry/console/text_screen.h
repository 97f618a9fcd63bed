// The text screen: 80 columns by 25 rows of cells (a character byte and an
// attribute byte each), the colours, the cursor, the text window (rows 1 to
// 24), and the print operations the routine uses.
//
// Written only on the program thread. The window thread reads the cells and
// the cursor without a lock, so every shared field is a relaxed atomic, and
// the change count is bumped (release) after each change.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "survey_entry/console/text.h"

namespace console {

constexpr int screen_columns = 80;
constexpr int screen_rows = 25;

struct Rgb {
  std::uint8_t red, green, blue;
};
extern const std::array<Rgb, 16> palette;

struct Cell {
  std::uint8_t character;
  std::uint8_t attribute;

  bool operator==(const Cell&) const = default;
};

// All cells of the screen, row by row from the top left; cell_index gives
// the place of row 1..25, column 1..80.
using ScreenCells = std::array<Cell, static_cast<std::size_t>(screen_columns * screen_rows)>;
constexpr std::size_t cell_index(int row, int column) {
  return static_cast<std::size_t>((row - 1) * screen_columns + (column - 1));
}

// Attribute byte of a colour pair: foreground 0..31 (16..31 blink), background 0..7.
constexpr std::uint8_t attribute_of(std::uint32_t foreground, std::uint32_t background) {
  return static_cast<std::uint8_t>((foreground & 15u) + 16u * (background & 7u) + 8u * (foreground & 16u));
}

// Reading the screen (any thread).
Cell screen_cell(int row, int column);  // row 1..25, column 1..80
int cursor_row();
int cursor_column();
bool cursor_visible();
bool wrap_pending();
std::uint32_t foreground_colour();
std::uint32_t background_colour();
std::uint64_t screen_change_count();
// The text window (program thread): rows 1..24 during the routine.
int text_window_top();
int text_window_bottom();

// Operations of the routine (program thread).
void clear_screen();
void set_text_colours(std::uint32_t foreground, std::uint32_t background, std::uint32_t border,
                      std::uint32_t presence_flags);
void set_screen_mode(std::uint32_t mode, std::uint32_t presence_flags);
void wrap_before_item(const Text& item);
void print_text(const Text& text, int line_end_flag);
void line_end();
void print_zone_tab();
Text tab_to_column(std::int32_t column);

// Used by the line input and the end prompt.
void set_cursor_visible(bool visible);
void set_text_window(int top, int bottom);  // moves the cursor to (top, 1), drops a pending wrap
// (rows outside 1..25 or top below bottom: error 5, nothing changes)

// A whole copy of the screen state, for the line input's entry and work
// copies (restoring a copy undoes prints exactly, a scroll included).
struct ScreenCopy {
  ScreenCells cells;
  int cursor_row, cursor_column;
  bool wrap_pending;

  bool operator==(const ScreenCopy&) const = default;
};
ScreenCopy copy_screen();
void restore_screen(const ScreenCopy& copy);
// Prints glyph bytes into a copy as print_text(glyphs, 0) prints them on the
// screen, by the same rules: a pending wrap first ends the row, a glyph in
// column 80 ends it or, as the last byte, leaves the wrap pending, and a row
// end below the text window scrolls the window, whose bottom row comes back
// blank; in the colours and the text window in force. Control bytes are
// not treated as such: the line input, which builds its redraw so, has none
// in an answer. The copy is one that copy_screen made.
void print_into(ScreenCopy& copy, const Text& glyphs);

}  // namespace console
