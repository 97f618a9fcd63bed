// Key latency as a user sees it: the time from a key press injected on the X
// server (XTest) to the window's first frame that shows its echo, read from
// the XDamage notifications of the window and checked against its pixels.
//
// The program is taken to its first question ("1" at the menu, then the
// answer to "Nome do Ficheiro :"), where "a" is typed and taken back with
// Backspace, N times each; the cell the echo lands in is found once from
// the window's pixels. The baseline (baseline_glut) echoes any key by
// redrawing its window in the other of two colours. Presses come at random
// intervals of 20 to 70 ms, so that they fall at every phase of the key
// polls. Nothing is typed into the file name's line but "a" and Backspace,
// so no file is made.
//
//   key_latency [--presses N] PROGRAM BASELINE [OTHER_PROGRAM...]
//
// Other programs (another build of the program, say the one before a
// change) are measured after the baseline in the same way as PROGRAM.
//
// Prints the median, 90th percentile, minimum and maximum of each set in
// milliseconds. Needs an X server with DAMAGE and XTEST in $DISPLAY.
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/x11_watch.h"
#include "survey_entry/console/window/frame.h"

namespace {

using bench::Clock;
using console::window::cursor_pixel_row;
using console::window::frame_height;
using console::window::frame_width;
using console::window::glyph_height;
using console::window::glyph_width;
using namespace std::chrono_literals;

// How long one frame may take before the press counts as missed.
constexpr auto frame_timeout = 1000ms;

struct Figures {
  std::vector<double> milliseconds;
  int missed = 0;
};

struct CellPlace {
  int left = 0;
  int top = 0;
};

// The glyph rows of a cell, without the cursor's pixel row (the cursor
// blinks on its own, whatever was typed).
bool same_glyph(const bench::Picture& a, const bench::Picture& b) {
  if (a.empty() || b.empty()) return false;
  for (int y = 0; y < glyph_height; ++y) {
    if (y == cursor_pixel_row) continue;
    for (int x = 0; x < glyph_width; ++x) {
      if (a.at(x, y) != b.at(x, y)) return false;
    }
  }
  return true;
}

bench::Picture cell_picture(bench::WindowWatch& watch, CellPlace cell) {
  return watch.picture(cell.left, cell.top, glyph_width, glyph_height);
}

// The cells whose glyph rows differ between two pictures of the window.
std::vector<CellPlace> changed_cells(const bench::Picture& before, const bench::Picture& after) {
  std::vector<CellPlace> cells;
  for (int top = 0; top < frame_height; top += glyph_height) {
    for (int left = 0; left < frame_width; left += glyph_width) {
      bool changed = false;
      for (int y = 0; y < glyph_height && !changed; ++y) {
        if (y == cursor_pixel_row) continue;
        for (int x = 0; x < glyph_width && !changed; ++x) {
          changed = before.at(left + x, top + y) != after.at(left + x, top + y);
        }
      }
      if (changed) cells.push_back({left, top});
    }
  }
  return cells;
}

// Presses key, waits for the first frame after which shown() holds, and
// adds the time to figures (or counts a miss); then releases the key.
void time_press(bench::WindowWatch& watch, KeySym key, const std::function<bool()>& shown,
                Figures& figures) {
  watch.forget_damage();
  const Clock::time_point pressed = Clock::now();
  watch.press(key);
  const auto shown_at = watch.frame_showing(shown, pressed + frame_timeout);
  if (shown_at) {
    figures.milliseconds.push_back(bench::milliseconds_between(pressed, *shown_at));
  } else {
    ++figures.missed;
  }
  watch.release(key);
}

void pause_between(std::mt19937& random) {
  std::uniform_int_distribution<int> gap(20, 70);
  std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
}

[[noreturn]] void give_up(const std::string& what) {
  std::fprintf(stderr, "key_latency: %s\n", what.c_str());
  std::exit(1);
}

void measure_program(const std::string& path, int presses, std::mt19937& random, Figures& echo,
                     Figures& backspace) {
  bench::WindowWatch watch;
  watch.start_and_show(path, 4, 4, bench::colour_green);
  std::this_thread::sleep_for(300ms);
  watch.open_first_dialogue();
  std::this_thread::sleep_for(500ms);

  // Where the echo lands: the one cell whose glyph changes with "a".
  const bench::Picture before = watch.picture(0, 0, frame_width, frame_height);
  watch.tap(XK_a);
  std::this_thread::sleep_for(300ms);
  const bench::Picture after = watch.picture(0, 0, frame_width, frame_height);
  if (before.empty() || after.empty()) give_up("the window cannot be read");
  const std::vector<CellPlace> cells = changed_cells(before, after);
  if (cells.size() != 1) {
    give_up("typing \"a\" changed " + std::to_string(cells.size()) + " cells, not one");
  }
  const CellPlace cell = cells.front();
  const bench::Picture typed = cell_picture(watch, cell);
  watch.tap(XK_BackSpace);
  std::this_thread::sleep_for(300ms);
  const bench::Picture erased = cell_picture(watch, cell);
  if (same_glyph(erased, typed)) give_up("Backspace did not take the \"a\" back");

  for (int i = 0; i < presses; ++i) {
    pause_between(random);
    time_press(
        watch, XK_a, [&] { return same_glyph(cell_picture(watch, cell), typed); }, echo);
    pause_between(random);
    time_press(
        watch, XK_BackSpace, [&] { return same_glyph(cell_picture(watch, cell), erased); },
        backspace);
  }
  watch.stop();
}

void measure_baseline(const std::string& path, int presses, std::mt19937& random, Figures& echo) {
  bench::WindowWatch watch;
  watch.start_and_show(path, 320, 200, bench::colour_green);
  std::this_thread::sleep_for(300ms);
  int echoed = 0;
  for (int i = 0; i < 2 * presses; ++i) {
    pause_between(random);
    const std::uint32_t expected = (echoed + 1) % 2 == 1 ? bench::colour_blue : bench::colour_green;
    const std::size_t before = echo.milliseconds.size();
    time_press(
        watch, i % 2 == 0 ? XK_a : XK_BackSpace, [&] { return watch.pixel(320, 200) == expected; },
        echo);
    if (echo.milliseconds.size() > before) {
      ++echoed;
    } else if (watch.wait_for_pixel(320, 200, expected, Clock::now() + 1s)) {
      // Late but not lost: keep the colours in step.
      ++echoed;
    }
  }
  watch.stop();
}

void print_row(const char* target, const char* what, const Figures& figures) {
  const bench::Spread s = bench::spread_of(figures.milliseconds);
  std::printf("%-40s %-16s %6zu %8.2f %8.2f %8.2f %8.2f %7d\n", target, what,
              figures.milliseconds.size(), s.median, s.p90, s.minimum, s.maximum, figures.missed);
}

}  // namespace

int main(int argc, char** argv) {
  int presses = 100;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--presses") == 0 && i + 1 < argc) {
      presses = std::atoi(argv[++i]);
    } else {
      paths.emplace_back(argv[i]);
    }
  }
  if (paths.size() < 2 || presses < 1) {
    std::fprintf(stderr, "usage: key_latency [--presses N] PROGRAM BASELINE [OTHER_PROGRAM...]\n");
    return 2;
  }

  std::mt19937 random(20261210);
  Figures echo;
  Figures backspace;
  Figures baseline;
  std::vector<Figures> other_echo(paths.size() - 2);
  std::vector<Figures> other_backspace(paths.size() - 2);
  try {
    measure_program(paths[0], presses, random, echo, backspace);
    measure_baseline(paths[1], presses, random, baseline);
    for (std::size_t i = 2; i < paths.size(); ++i) {
      measure_program(paths[i], presses, random, other_echo[i - 2], other_backspace[i - 2]);
    }
  } catch (const std::exception& error) {
    give_up(error.what());
  }

  std::printf("Key press on the X server to the window's frame that shows it (ms)\n");
  std::printf("%-40s %-16s %6s %8s %8s %8s %8s %7s\n", "target", "key", "frames", "median",
              "p90", "min", "max", "missed");
  print_row("survey_entry", "\"a\" echoed", echo);
  print_row("survey_entry", "Backspace", backspace);
  print_row("baseline_glut", "any key", baseline);
  for (std::size_t i = 2; i < paths.size(); ++i) {
    print_row(paths[i].c_str(), "\"a\" echoed", other_echo[i - 2]);
    print_row(paths[i].c_str(), "Backspace", other_backspace[i - 2]);
  }
  std::printf("goal: median at most 2 ms, p90 at most 4 ms\n");
  return 0;
}
