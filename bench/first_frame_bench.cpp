// Start of the program to its first frames, as the X server shows them:
// the time from the start of the process (posix_spawn) to the window's
// first XDamage notification, and to the first frame that shows the menu
// (its green background at the top-left cell). The baseline, a minimal
// freeglut program (baseline_glut), starts green, so both of its figures
// are its first frame. Each repetition is one start; read the median.
//
// Needs an X server with DAMAGE and XTEST in $DISPLAY (bench/run_all.sh
// starts a private Xvfb); without one the benchmarks are skipped.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "bench/x11_watch.h"

namespace {

using bench::Clock;
using namespace std::chrono_literals;

void start_to_first_frames(benchmark::State& state, const std::string& path, int x, int y) {
  std::unique_ptr<bench::WindowWatch> watch;
  try {
    watch = std::make_unique<bench::WindowWatch>();
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  double first_frame_ms = 0;
  for (auto _ : state) {
    const auto started = watch->start(path);
    if (!started) {
      state.SkipWithError(("cannot start " + path).c_str());
      break;
    }
    const Clock::time_point deadline = *started + 10s;
    if (!watch->wait_for_window(deadline)) {
      state.SkipWithError("no window");
      break;
    }
    const auto first = watch->next_damage(deadline);
    const auto menu_shown = [&] { return watch->pixel(x, y) == bench::colour_green; };
    std::optional<Clock::time_point> shown;
    if (first && menu_shown()) {
      // Already there after the first frame (or after one drawn meanwhile).
      shown = watch->damage_arrived() ? watch->next_damage(deadline) : first;
    } else if (first) {
      shown = watch->frame_showing(menu_shown, deadline);
    }
    watch->stop();
    if (!first || !shown) {
      state.SkipWithError("the first frame never came");
      break;
    }
    first_frame_ms = bench::milliseconds_between(*started, *first);
    state.SetIterationTime(std::chrono::duration<double>(*shown - *started).count());
  }
  state.counters["first_frame_ms"] = first_frame_ms;
}

void BM_StartToMenuFrame(benchmark::State& state) {
  start_to_first_frames(state, SURVEY_PROGRAM_PATH, 4, 4);
}

void BM_BaselineStartToFirstFrame(benchmark::State& state) {
  start_to_first_frames(state, SURVEY_BASELINE_PATH, 4, 4);
}

BENCHMARK(BM_StartToMenuFrame)
    ->Iterations(1)
    ->Repetitions(15)
    ->DisplayAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineStartToFirstFrame)
    ->Iterations(1)
    ->Repetitions(15)
    ->DisplayAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
