// The picture of the text screen: 80 x 25 cells of 8 x 16 pixels, 640 x 400
// pixels in all, built from a copy of the cells, the cursor and the blink
// phase. Nothing here touches the window system, so it is tested alone.
#pragma once

#include <cstdint>
#include <span>

#include "survey_entry/console/text_screen.h"
#include "survey_entry/console/window/font.h"

namespace console::window {

constexpr int frame_width = screen_columns * glyph_width;  // 640
constexpr int frame_height = screen_rows * glyph_height;   // 400
constexpr std::size_t frame_pixels = static_cast<std::size_t>(frame_width) * frame_height;
// Pixel row of the cell that the cursor covers.
constexpr int cursor_pixel_row = 14;
// Length of one frame period and the bit of the frame counter that gives
// the blink phase: 8 periods on, 8 off.
constexpr int frame_period_ms = 32;
constexpr std::uint64_t blink_phase_bit = 8;

// What one frame shows: the cells of a ScreenCopy and the cursor, with its
// visibility (which a copy does not restore) instead of the pending wrap
// (which a frame does not show).
struct ScreenSnapshot {
  ScreenCells cells{};
  int cursor_row = 1;
  int cursor_column = 1;
  bool cursor_visible = false;

  bool operator==(const ScreenSnapshot&) const = default;
};

// Reads the text screen as the program thread leaves it (any thread).
ScreenSnapshot take_screen_snapshot();

// True when the blink phase changes what the snapshot looks like: a cell
// with the blink bit, or a visible cursor.
bool snapshot_blinks(const ScreenSnapshot& snapshot);

constexpr bool blink_phase_of(std::uint64_t frame_counter) {
  return (frame_counter & blink_phase_bit) != 0;
}

// One pixel as 0xAARRGGBB (alpha FF), the form the texture upload takes.
constexpr std::uint32_t pixel_of(Rgb colour) {
  return 0xFF000000u | (std::uint32_t{colour.red} << 16) | (std::uint32_t{colour.green} << 8) |
         colour.blue;
}

// Draws the frame into pixels (frame_pixels entries, row by row from the
// top). During the blink phase a blinking cell shows only its background and
// a visible cursor is drawn over its cell.
void compose_frame(const ScreenSnapshot& snapshot, const Font& font, bool blink_phase,
                   std::span<std::uint32_t> pixels);

// Text rows [first, end) (1 to 25); empty when first >= end.
struct RowSpan {
  int first = 0;
  int end = 0;
  bool empty() const { return first >= end; }
};

// Turns pixels that show `shown` in shown_phase into the frame of `next` in
// next_phase, redrawing only the text rows that look different, and returns
// the span of the rows redrawn: for a cursor blink or one echoed key that is
// one row of 25.
RowSpan update_frame(const ScreenSnapshot& shown, bool shown_phase, const ScreenSnapshot& next,
                     bool next_phase, const Font& font, std::span<std::uint32_t> pixels);

}  // namespace console::window
