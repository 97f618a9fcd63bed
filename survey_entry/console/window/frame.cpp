#include "survey_entry/console/window/frame.h"

#include <algorithm>
#include <cassert>

namespace console::window {

namespace {

constexpr std::uint8_t blink_bit = 0x80;

std::size_t cell_index(int row, int column) {
  return static_cast<std::size_t>((row - 1) * screen_columns + (column - 1));
}

}  // namespace

bool ScreenSnapshot::operator==(const ScreenSnapshot& other) const {
  return cursor_row == other.cursor_row && cursor_column == other.cursor_column &&
         cursor_visible == other.cursor_visible &&
         std::equal(cells.begin(), cells.end(), other.cells.begin(),
                    [](const Cell& a, const Cell& b) {
                      return a.character == b.character && a.attribute == b.attribute;
                    });
}

ScreenSnapshot take_screen_snapshot() {
  ScreenSnapshot snapshot;
  for (int row = 1; row <= screen_rows; ++row) {
    for (int column = 1; column <= screen_columns; ++column) {
      snapshot.cells[cell_index(row, column)] = screen_cell(row, column);
    }
  }
  snapshot.cursor_row = cursor_row();
  snapshot.cursor_column = cursor_column();
  snapshot.cursor_visible = cursor_visible();
  return snapshot;
}

bool snapshot_blinks(const ScreenSnapshot& snapshot) {
  return snapshot.cursor_visible ||
         std::any_of(snapshot.cells.begin(), snapshot.cells.end(),
                     [](const Cell& cell) { return (cell.attribute & blink_bit) != 0; });
}

void compose_frame(const ScreenSnapshot& snapshot, const Font& font, bool blink_phase,
                   std::span<std::uint32_t> pixels) {
  assert(pixels.size() >= frame_pixels);
  for (int row = 1; row <= screen_rows; ++row) {
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
  }
  const int row = snapshot.cursor_row;
  const int column = snapshot.cursor_column;
  if (snapshot.cursor_visible && blink_phase && row >= 1 && row <= screen_rows && column >= 1 &&
      column <= screen_columns) {
    // The cursor takes the foreground of the cell it stands on.
    const Cell cell = snapshot.cells[cell_index(row, column)];
    const std::uint32_t colour = pixel_of(palette[cell.attribute & 15u]);
    std::uint32_t* out =
        pixels.data() +
        static_cast<std::size_t>((row - 1) * glyph_height + cursor_pixel_row) * frame_width +
        static_cast<std::size_t>((column - 1) * glyph_width);
    std::fill(out, out + glyph_width, colour);
  }
}

}  // namespace console::window
