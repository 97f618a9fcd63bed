#include "survey_entry/console/window/frame.h"

#include <algorithm>
#include <cassert>

namespace console::window {

namespace {

constexpr std::uint8_t blink_bit = 0x80;

}  // namespace

ScreenSnapshot take_screen_snapshot() {
  const ScreenCopy copy = copy_screen();
  return ScreenSnapshot{copy.cells, copy.cursor_row, copy.cursor_column, cursor_visible()};
}

bool snapshot_blinks(const ScreenSnapshot& snapshot) {
  return snapshot.cursor_visible ||
         std::any_of(snapshot.cells.begin(), snapshot.cells.end(),
                     [](const Cell& cell) { return (cell.attribute & blink_bit) != 0; });
}

namespace {

bool cursor_drawn(const ScreenSnapshot& snapshot, bool blink_phase) {
  return snapshot.cursor_visible && blink_phase && snapshot.cursor_row >= 1 &&
         snapshot.cursor_row <= screen_rows && snapshot.cursor_column >= 1 &&
         snapshot.cursor_column <= screen_columns;
}

// Draws the 80 cells of one text row, and the cursor when it stands there.
void compose_row(const ScreenSnapshot& snapshot, const Font& font, bool blink_phase, int row,
                 std::span<std::uint32_t> pixels) {
  for (int column = 1; column <= screen_columns; ++column) {
    const Cell cell = snapshot.cells[cell_index(row, column)];
    const std::uint32_t foreground = pixel_of(palette[cell.attribute & 15u]);
    const std::uint32_t background = pixel_of(palette[(cell.attribute >> 4) & 7u]);
    const bool hidden = blink_phase && (cell.attribute & blink_bit) != 0;
    const auto& glyph = font.glyphs[cell.character];
    const std::size_t left = static_cast<std::size_t>((column - 1) * glyph_width);
    for (int y = 0; y < glyph_height; ++y) {
      const std::uint8_t bits = hidden ? 0 : glyph[static_cast<std::size_t>(y)];
      std::uint32_t* out = pixels.data() +
                           static_cast<std::size_t>((row - 1) * glyph_height + y) * frame_width +
                           left;
      for (int x = 0; x < glyph_width; ++x) {
        out[x] = (bits & (0x80u >> x)) != 0 ? foreground : background;
      }
    }
  }
  if (cursor_drawn(snapshot, blink_phase) && snapshot.cursor_row == row) {
    // The cursor takes the foreground of the cell it stands on.
    const Cell cell = snapshot.cells[cell_index(row, snapshot.cursor_column)];
    const std::uint32_t colour = pixel_of(palette[cell.attribute & 15u]);
    std::uint32_t* out =
        pixels.data() +
        static_cast<std::size_t>((row - 1) * glyph_height + cursor_pixel_row) * frame_width +
        static_cast<std::size_t>((snapshot.cursor_column - 1) * glyph_width);
    std::fill(out, out + glyph_width, colour);
  }
}

// True when text row `row` looks different in the two frames.
bool row_differs(const ScreenSnapshot& shown, bool shown_phase, const ScreenSnapshot& next,
                 bool next_phase, int row) {
  const auto first = next.cells.begin() + static_cast<std::ptrdiff_t>(cell_index(row, 1));
  const auto last = first + screen_columns;
  const auto shown_first =
      shown.cells.begin() + static_cast<std::ptrdiff_t>(cell_index(row, 1));
  if (!std::equal(first, last, shown_first)) return true;
  if (shown_phase != next_phase &&
      std::any_of(first, last, [](const Cell& cell) { return (cell.attribute & blink_bit) != 0; })) {
    return true;
  }
  const bool cursor_was_here = cursor_drawn(shown, shown_phase) && shown.cursor_row == row;
  const bool cursor_is_here = cursor_drawn(next, next_phase) && next.cursor_row == row;
  return cursor_was_here != cursor_is_here ||
         (cursor_is_here && shown.cursor_column != next.cursor_column);
}

}  // namespace

void compose_frame(const ScreenSnapshot& snapshot, const Font& font, bool blink_phase,
                   std::span<std::uint32_t> pixels) {
  assert(pixels.size() >= frame_pixels);
  for (int row = 1; row <= screen_rows; ++row) compose_row(snapshot, font, blink_phase, row, pixels);
}

RowSpan update_frame(const ScreenSnapshot& shown, bool shown_phase, const ScreenSnapshot& next,
                     bool next_phase, const Font& font, std::span<std::uint32_t> pixels) {
  assert(pixels.size() >= frame_pixels);
  RowSpan changed;
  for (int row = 1; row <= screen_rows; ++row) {
    if (!row_differs(shown, shown_phase, next, next_phase, row)) continue;
    compose_row(next, font, next_phase, row, pixels);
    if (changed.empty()) changed.first = row;
    changed.end = row + 1;
  }
  return changed;
}

}  // namespace console::window
