// Cost of one frame of the 80 x 25 screen as the window thread builds it,
// with the window layer's own functions and no OpenGL context: the copy of
// the cells (take_screen_snapshot), the comparison that skips an unchanged
// screen, and the drawing of the 640 x 400 pixels (compose_frame), for a
// blank screen, a full screen of text and the blink phase of a question.
// The screen is the menu-like page set up below with the console's own
// print operations, so the cells are what the program shows.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "survey_entry/console/console_testing.h"
#include "survey_entry/console/text_screen.h"
#include "survey_entry/console/window/font.h"
#include "survey_entry/console/window/frame.h"

namespace {

using console::window::compose_frame;
using console::window::frame_pixels;
using console::window::ScreenSnapshot;
using console::window::take_screen_snapshot;

const console::window::Font& screen_font() {
  static const console::window::Font font = [] {
    std::string error;
    const auto loaded = console::window::load_psf_font(console::window::screen_font_path(), error);
    if (!loaded) {
      std::fprintf(stderr, "frame_draw_bench: cannot read %s: %s\n",
                   console::window::screen_font_path(), error.c_str());
      std::exit(1);
    }
    return *loaded;
  }();
  return font;
}

// 24 printed rows of 79 characters in blue on cyan, as a dialogue screen
// full of answers looks, plus a cell that blinks and the cursor shown.
void fill_screen() {
  console::text_screen_reset();
  console::set_text_colours(1, 3, 0, 3);
  console::clear_screen();
  for (int row = 1; row <= 23; ++row) {
    std::string line;
    for (int column = 1; column < console::screen_columns; ++column) {
      line.push_back(static_cast<char>(33 + (row * 7 + column) % 94));
    }
    console::print_text(line, 1);
  }
  console::set_text_colours(17, 3, 0, 3);
  console::print_text("Nome do Ficheiro :", 0);
  console::set_cursor_visible(true);
}

void blank_screen() { console::text_screen_reset(); }

// Drawing the pixels of one frame.
void compose(benchmark::State& state, void (*setup)(), bool blink_phase) {
  setup();
  const ScreenSnapshot snapshot = take_screen_snapshot();
  const console::window::Font& font = screen_font();
  std::vector<std::uint32_t> pixels(frame_pixels);
  for (auto _ : state) {
    compose_frame(snapshot, font, blink_phase, pixels);
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frame_pixels));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(frame_pixels * sizeof(std::uint32_t)));
}

void BM_ComposeFrame_Blank(benchmark::State& state) { compose(state, blank_screen, false); }
void BM_ComposeFrame_FullText(benchmark::State& state) { compose(state, fill_screen, false); }
void BM_ComposeFrame_FullTextBlinkPhase(benchmark::State& state) {
  compose(state, fill_screen, true);
}

// Reading the cells, the cursor and its flag from the shared screen.
void BM_TakeScreenSnapshot(benchmark::State& state) {
  fill_screen();
  for (auto _ : state) {
    ScreenSnapshot snapshot = take_screen_snapshot();
    benchmark::DoNotOptimize(snapshot);
  }
}

// What a wake-up with nothing changed costs: a copy of the cells and a
// comparison with the frame shown.
void BM_UnchangedScreenCheck(benchmark::State& state) {
  fill_screen();
  const ScreenSnapshot shown = take_screen_snapshot();
  for (auto _ : state) {
    const ScreenSnapshot snapshot = take_screen_snapshot();
    bool same = snapshot == shown;
    benchmark::DoNotOptimize(same);
  }
}

// The whole of one changed frame: copy, comparison and drawing.
void BM_SnapshotAndCompose(benchmark::State& state) {
  fill_screen();
  const console::window::Font& font = screen_font();
  std::vector<std::uint32_t> pixels(frame_pixels);
  ScreenSnapshot shown;
  for (auto _ : state) {
    const ScreenSnapshot snapshot = take_screen_snapshot();
    if (!(snapshot == shown)) {
      compose_frame(snapshot, font, false, pixels);
      // Draw every round: forget what was shown.
      shown = ScreenSnapshot{};
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_ComposeFrame_Blank)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeFrame_FullText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeFrame_FullTextBlinkPhase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TakeScreenSnapshot)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnchangedScreenCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SnapshotAndCompose)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
