// The picture of the text screen (cells, colours, blink, cursor) and the
// screen font, without any X server.
#include "survey_entry/console/window/frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "survey_entry/console/window/font.h"

namespace console::window {
namespace {

// A font whose glyph g has row y = g XOR y (every glyph differs, row by row).
Font pattern_font() {
  Font font;
  for (int g = 0; g < 256; ++g) {
    for (int y = 0; y < glyph_height; ++y) {
      font.glyphs[static_cast<std::size_t>(g)][static_cast<std::size_t>(y)] =
          static_cast<std::uint8_t>(g ^ y);
    }
  }
  return font;
}

ScreenSnapshot blank_snapshot(std::uint8_t attribute) {
  ScreenSnapshot s;
  s.cells.fill(Cell{32, attribute});
  return s;
}

Cell& cell_at(ScreenSnapshot& s, int row, int column) { return s.cells[cell_index(row, column)]; }

std::uint32_t pixel(const std::vector<std::uint32_t>& p, int x, int y) {
  return p[static_cast<std::size_t>(y) * frame_width + static_cast<std::size_t>(x)];
}

// Checks every pixel of one cell against the glyph bits given, in fg on bg.
void expect_cell(const std::vector<std::uint32_t>& p, int row, int column,
                 const std::array<std::uint8_t, glyph_height>& rows, std::uint32_t fg,
                 std::uint32_t bg) {
  for (int y = 0; y < glyph_height; ++y) {
    for (int x = 0; x < glyph_width; ++x) {
      const bool set = (rows[static_cast<std::size_t>(y)] & (0x80 >> x)) != 0;
      ASSERT_EQ(pixel(p, (column - 1) * glyph_width + x, (row - 1) * glyph_height + y),
                set ? fg : bg)
          << "row " << row << " column " << column << " pixel " << x << "," << y;
    }
  }
}

const std::array<std::uint8_t, glyph_height> no_bits{};

TEST(Frame, CellsTakeTheirGlyphInForegroundOnBackground) {
  const Font font = pattern_font();
  ScreenSnapshot s = blank_snapshot(0x07);
  struct Case {
    int row, column;
    std::uint8_t character, attribute;
  };
  // Menu colours (blue, red, black on green), a dialogue's blue on cyan, the
  // start's grey on black, bright foregrounds and the last cell of the screen.
  const Case cases[] = {{2, 11, '*', 0x21}, {21, 43, 'S', 0x24},  {23, 2, 'C', 0x20},
                        {1, 1, 0xA6, 0x31}, {12, 40, 0xA7, 0x7F}, {25, 80, 'x', 0x0E},
                        {25, 1, 0, 0x70}};
  for (const Case& c : cases) cell_at(s, c.row, c.column) = Cell{c.character, c.attribute};
  std::vector<std::uint32_t> p(frame_pixels);
  compose_frame(s, font, false, p);
  for (const Case& c : cases) {
    expect_cell(p, c.row, c.column, font.glyphs[c.character], pixel_of(palette[c.attribute & 15]),
                pixel_of(palette[(c.attribute >> 4) & 7]));
  }
  // A neighbour of a written cell keeps the start colours.
  expect_cell(p, 2, 12, font.glyphs[32], pixel_of(palette[7]), pixel_of(palette[0]));
}

TEST(Frame, BlinkingCellShowsOnlyItsBackgroundDuringTheBlinkPhase) {
  const Font font = pattern_font();
  ScreenSnapshot s = blank_snapshot(0x31);
  cell_at(s, 5, 10) = Cell{'B', 0x80 | 0x31};  // blinking blue on cyan
  std::vector<std::uint32_t> p(frame_pixels);
  compose_frame(s, font, false, p);
  expect_cell(p, 5, 10, font.glyphs['B'], pixel_of(palette[1]), pixel_of(palette[3]));
  compose_frame(s, font, true, p);
  expect_cell(p, 5, 10, no_bits, pixel_of(palette[1]), pixel_of(palette[3]));
  // A cell without the blink bit is not touched by the phase.
  expect_cell(p, 5, 11, font.glyphs[32], pixel_of(palette[1]), pixel_of(palette[3]));
}

TEST(Frame, CursorIsPixelRow14InItsCellsForegroundDuringTheBlinkPhaseOnly) {
  const Font font = pattern_font();
  struct Case {
    bool visible, phase;
    int row, column;
    bool drawn;
  };
  const Case cases[] = {{true, true, 3, 5, true},
                        {true, false, 3, 5, false},
                        {false, true, 3, 5, false},
                        {true, true, 24, 80, true},
                        {true, true, 25, 1, true}};
  for (const Case& c : cases) {
    ScreenSnapshot s = blank_snapshot(0x31);
    // The cell's own foreground (light red) differs from the screen's.
    cell_at(s, c.row, c.column) = Cell{0, 0x3C};
    s.cursor_row = c.row;
    s.cursor_column = c.column;
    s.cursor_visible = c.visible;
    std::vector<std::uint32_t> p(frame_pixels);
    compose_frame(s, font, c.phase, p);
    auto rows = font.glyphs[0];
    if (c.drawn) rows[cursor_pixel_row] = 0xFF;
    SCOPED_TRACE(testing::Message() << "row " << c.row << " column " << c.column);
    expect_cell(p, c.row, c.column, rows, pixel_of(palette[12]), pixel_of(palette[3]));
  }
}

TEST(Frame, BlinkPhaseIsBit3OfTheFrameCounter) {
  for (std::uint64_t counter = 0; counter < 40; ++counter) {
    EXPECT_EQ(blink_phase_of(counter), (counter / 8) % 2 == 1) << counter;
  }
}

TEST(Frame, OnlyBlinkingCellsOrAVisibleCursorNeedTheBlinkTimer) {
  ScreenSnapshot s = blank_snapshot(0x21);
  EXPECT_FALSE(snapshot_blinks(s));
  s.cursor_visible = true;
  EXPECT_TRUE(snapshot_blinks(s));
  s.cursor_visible = false;
  cell_at(s, 25, 80).attribute = 0xA1;
  EXPECT_TRUE(snapshot_blinks(s));
}

TEST(Frame, SnapshotsDifferInAnyCellOrCursorField) {
  const ScreenSnapshot base = blank_snapshot(0x07);
  EXPECT_TRUE(base == blank_snapshot(0x07));
  ScreenSnapshot changed = base;
  cell_at(changed, 25, 80).character = 'x';
  EXPECT_FALSE(changed == base);
  changed = base;
  cell_at(changed, 1, 1).attribute = 0x17;
  EXPECT_FALSE(changed == base);
  changed = base;
  changed.cursor_column = 2;
  EXPECT_FALSE(changed == base);
  changed = base;
  changed.cursor_visible = true;
  EXPECT_FALSE(changed == base);
}

// Each step changes the screen as the routine or the blink timer does; the
// updated pixels must equal a whole new frame, and only the rows reported
// may have changed.
TEST(Frame, UpdateRedrawsExactlyTheRowsThatLookDifferent) {
  const Font font = pattern_font();
  ScreenSnapshot shown = blank_snapshot(0x31);
  shown.cursor_row = 3;
  shown.cursor_column = 20;
  bool shown_phase = false;
  std::vector<std::uint32_t> pixels(frame_pixels);
  compose_frame(shown, font, shown_phase, pixels);

  struct Step {
    const char* what;
    void (*change)(ScreenSnapshot&, bool&);
    int first, end;  // rows expected redrawn
  };
  const Step steps[] = {
      {"nothing", [](ScreenSnapshot&, bool&) {}, 0, 0},
      {"phase without blink or cursor", [](ScreenSnapshot&, bool& p) { p = !p; }, 0, 0},
      {"cursor shown", [](ScreenSnapshot& s, bool&) { s.cursor_visible = true; }, 3, 4},
      {"cursor blinks off", [](ScreenSnapshot&, bool& p) { p = !p; }, 3, 4},
      {"cursor blinks on", [](ScreenSnapshot&, bool& p) { p = !p; }, 3, 4},
      {"key echoed, cursor moves on",
       [](ScreenSnapshot& s, bool&) {
         cell_at(s, 3, 20).character = 'a';
         s.cursor_column = 21;
       },
       3, 4},
      {"cursor to the next row", [](ScreenSnapshot& s, bool&) { s.cursor_row = 4; }, 3, 5},
      {"blinking cell far away",
       [](ScreenSnapshot& s, bool&) { cell_at(s, 20, 1) = Cell{'B', 0xB1}; }, 20, 21},
      {"phase with blinking cell and cursor", [](ScreenSnapshot&, bool& p) { p = !p; }, 4, 21},
      {"cursor hidden in the off phase",
       [](ScreenSnapshot& s, bool&) {
         s.cursor_visible = false;
         s.cursor_row = 10;
       },
       0, 0},
      {"last cell", [](ScreenSnapshot& s, bool&) { cell_at(s, 25, 80).character = 'z'; }, 25, 26},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    ScreenSnapshot next = shown;
    bool next_phase = shown_phase;
    step.change(next, next_phase);
    const std::vector<std::uint32_t> before = pixels;
    const RowSpan rows = update_frame(shown, shown_phase, next, next_phase, font, pixels);
    std::vector<std::uint32_t> whole(frame_pixels);
    compose_frame(next, font, next_phase, whole);
    ASSERT_EQ(pixels, whole);
    if (step.first == 0) {
      EXPECT_TRUE(rows.empty());
    } else {
      EXPECT_EQ(rows.first, step.first);
      EXPECT_EQ(rows.end, step.end);
    }
    // Outside the span reported, not one pixel was touched.
    const std::size_t span_first = rows.empty() ? 0 : static_cast<std::size_t>(rows.first - 1) *
                                                          glyph_height * frame_width;
    const std::size_t span_end = rows.empty() ? 0 : static_cast<std::size_t>(rows.end - 1) *
                                                        glyph_height * frame_width;
    for (std::size_t i = 0; i < frame_pixels; ++i) {
      if (i < span_first || i >= span_end) {
        ASSERT_EQ(pixels[i], before[i]) << "pixel " << i;
      }
    }
    shown = next;
    shown_phase = next_phase;
  }
}

TEST(Font, TheScreenFontHoldsTheCodePage437Glyphs) {
  std::string error;
  const auto font = load_psf_font(screen_font_path(), error);
  ASSERT_TRUE(font.has_value()) << error;
  // Space and byte 0 are empty, the full block (219) is all set, the left
  // and right half blocks (221, 222) split each row, the lower and upper half
  // blocks (220, 223) are each other's complement, and the letters differ.
  for (int y = 0; y < glyph_height; ++y) {
    const auto row = static_cast<std::size_t>(y);
    EXPECT_EQ(font->glyphs[32][row], 0);
    EXPECT_EQ(font->glyphs[0][row], 0);
    EXPECT_EQ(font->glyphs[219][row], 0xFF);
    EXPECT_EQ(font->glyphs[221][row], 0xF0);
    EXPECT_EQ(font->glyphs[222][row], 0x0F);
    EXPECT_EQ(font->glyphs[220][row] ^ font->glyphs[223][row], 0xFF) << y;
  }
  EXPECT_NE(font->glyphs['A'], font->glyphs['B']);
  EXPECT_NE(font->glyphs[0xA6], font->glyphs[0xA7]);
}

TEST(Font, BadFontFilesAreRefused) {
  std::vector<std::uint8_t> good(4 + 256 * 16, 0);
  good[0] = 0x36;
  good[1] = 0x04;
  good[3] = 16;
  good[4 + 65 * 16 + 3] = 0x18;
  std::string error;
  const auto font = parse_psf_font(good.data(), good.size(), error);
  ASSERT_TRUE(font.has_value()) << error;
  EXPECT_EQ(font->glyphs[65][3], 0x18);

  struct Case {
    const char* what;
    std::size_t at;
    std::uint8_t value;
    std::size_t size;
  };
  const Case cases[] = {{"bad magic", 0, 0x72, good.size()},
                        {"height 14", 3, 14, good.size()},
                        {"truncated", 0, 0x36, good.size() - 1},
                        {"header only", 0, 0x36, 4},
                        {"empty", 0, 0x36, 0}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = good;
    bytes[c.at] = c.value;
    error.clear();
    EXPECT_FALSE(parse_psf_font(bytes.data(), c.size, error).has_value()) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  error.clear();
  EXPECT_FALSE(load_psf_font("/nonexistent/font.psf.gz", error).has_value());
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace console::window
