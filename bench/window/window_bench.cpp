// Figures of the window layer:
//  - ComposeFrame: building one 640 x 400 frame from the cells (no X needed);
//  - StartToMenuFrame: from the start of the process to the moment the
//    finished menu is on the X screen (needs $DISPLAY, e.g. under Xvfb);
//  - IdleCpuAtMenu: processor time of the whole process over 10 s while it
//    waits at the menu, in percent of one core (needs $DISPLAY).
// Run: xvfb-run -s "-screen 0 1024x768x24" build/window_bench
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "survey_entry/console/window/font.h"
#include "survey_entry/console/window/frame.h"

namespace {

using console::window::Font;
using Clock = std::chrono::steady_clock;

const Font& screen_font() {
  static const Font font = [] {
    std::string error;
    auto loaded = console::window::load_psf_font(console::window::screen_font_path(), error);
    if (!loaded) {
      std::fprintf(stderr, "font: %s\n", error.c_str());
      std::abort();
    }
    return *loaded;
  }();
  return font;
}

void ComposeFrame(benchmark::State& state) {
  console::window::ScreenSnapshot snapshot;
  for (std::size_t i = 0; i < snapshot.cells.size(); ++i) {
    snapshot.cells[i] = console::Cell{static_cast<std::uint8_t>(32 + i % 95), 0x21};
  }
  snapshot.cursor_visible = true;
  std::vector<std::uint32_t> pixels(console::window::frame_pixels);
  bool phase = false;
  for (auto _ : state) {
    console::window::compose_frame(snapshot, screen_font(), phase, pixels);
    benchmark::DoNotOptimize(pixels.data());
    phase = !phase;
  }
}
BENCHMARK(ComposeFrame);

// A child process of the program, killed when done with.
struct Program {
  pid_t pid = -1;
  Program() {
    pid = fork();
    if (pid == 0) {
      execl(SURVEY_PROGRAM_PATH, SURVEY_PROGRAM_PATH, static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

// True when the cell (row, column) of the window placed at (left, top) on
// the screen shows glyph in foreground on background.
bool cell_shows(Display* display, int left, int top, int row, int column, std::uint8_t glyph,
                int foreground, int background) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), left + (column - 1) * 8,
                            top + (row - 1) * 16, 8, 16, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  const auto rgb = [](int index) {
    const console::Rgb c = console::palette[static_cast<std::size_t>(index)];
    return (static_cast<unsigned long>(c.red) << 16) | (static_cast<unsigned long>(c.green) << 8) |
           c.blue;
  };
  bool same = true;
  for (int y = 0; y < 16 && same; ++y) {
    const std::uint8_t bits = screen_font().glyphs[glyph][static_cast<std::size_t>(y)];
    for (int x = 0; x < 8 && same; ++x) {
      const unsigned long want = (bits & (0x80 >> x)) != 0 ? rgb(foreground) : rgb(background);
      same = (XGetPixel(image, x, y) & 0xFFFFFF) == want;
    }
  }
  XDestroyImage(image);
  return same;
}

// Waits until the finished menu is on the screen: the box's first star
// (row 2) and the hint line (row 23, drawn last after two scrolls).
bool wait_for_menu(Display* display, std::chrono::milliseconds limit) {
  const int screen = DefaultScreen(display);
  const int left = (DisplayWidth(display, screen) - 640) / 2;
  const int top = (DisplayHeight(display, screen) - 400) / 2;
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (cell_shows(display, left, top, 23, 2, 'C', 0, 2) &&
        cell_shows(display, left, top, 2, 11, '*', 1, 2)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  return false;
}

bool wait_until_gone(Display* display) {
  const int screen = DefaultScreen(display);
  const int left = (DisplayWidth(display, screen) - 640) / 2;
  const int top = (DisplayHeight(display, screen) - 400) / 2;
  for (int i = 0; i < 2000; ++i) {
    if (!cell_shows(display, left, top, 2, 11, '*', 1, 2)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

Display* open_display(benchmark::State& state) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) state.SkipWithError("no X display ($DISPLAY)");
  return display;
}

void StartToMenuFrame(benchmark::State& state) {
  Display* display = open_display(state);
  if (display == nullptr) return;
  for (auto _ : state) {
    const auto start = Clock::now();
    Program program;
    if (!wait_for_menu(display, std::chrono::seconds(10))) {
      state.SkipWithError("the menu did not appear");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    kill(program.pid, SIGKILL);
    waitpid(program.pid, nullptr, 0);
    program.pid = -1;
    XSync(display, False);
    wait_until_gone(display);
  }
  XCloseDisplay(display);
}
BENCHMARK(StartToMenuFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

std::optional<double> cpu_seconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return std::nullopt;
  // Fields after the command name (which ends at the last ')'): state is
  // field 3, utime 14 and stime 15.
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int index = 3; index <= 15 && rest >> field; ++index) {
    if (index == 14) utime = std::stoull(field);
    if (index == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void IdleCpuAtMenu(benchmark::State& state) {
  Display* display = open_display(state);
  if (display == nullptr) return;
  constexpr auto window = std::chrono::seconds(10);
  for (auto _ : state) {
    Program program;
    if (!wait_for_menu(display, std::chrono::seconds(10))) {
      state.SkipWithError("the menu did not appear");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto before = cpu_seconds(program.pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(window);
    const auto after = cpu_seconds(program.pid);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(elapsed);
    if (!before || !after) {
      state.SkipWithError("cannot read /proc/<pid>/stat");
      break;
    }
    state.counters["cpu_seconds"] = *after - *before;
    state.counters["cpu_percent"] = 100.0 * (*after - *before) / elapsed;
  }
  XCloseDisplay(display);
}
BENCHMARK(IdleCpuAtMenu)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
