// Cost of one key in the line input on answers of the full 255 bytes. The
// console's sleeps are shortened to nothing, so the figures are the work per
// key (echo, check, and for a refused key the redraw), not the 10 ms poll.
// A feeder thread keeps the key queue full, as a fast typist would.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "survey_entry/console/console_testing.h"

namespace {

using console::Key;

void press(Key key) {
  while (console::queued_key_count() >= 15) std::this_thread::yield();
  console::key_pressed(key);
  console::key_released(key);
}

// Types the keys and Enter into one line input after a prompt, per iteration.
void run_lines(benchmark::State& state, console::InputTarget target, const std::string& keys) {
  console::console_reset();
  console::set_sleep_divisor(1000000);
  for (auto _ : state) {
    state.PauseTiming();
    console::clear_screen();
    console::print_text("Nome do Trabalho :", 0);
    state.ResumeTiming();
    std::thread feeder([&keys] {
      for (const char byte : keys) press(Key::byte(static_cast<std::uint8_t>(byte)));
      press(Key::byte(13));
    });
    console::input_values_from_keyboard(target);
    feeder.join();
  }
  const auto keys_per_line = static_cast<double>(keys.size() + 1);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(keys.size() + 1));
  state.counters["time_per_key"] = benchmark::Counter(
      keys_per_line, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  console::set_sleep_divisor(1);
  console::console_reset();
}

// 255 accepted keys into a text answer.
void BM_TextAnswer255(benchmark::State& state) {
  console::Text value;
  run_lines(state, &value, std::string(255, 'a'));
}
BENCHMARK(BM_TextAnswer255)->UseRealTime();

// 255 accepted keys into a Double answer: the point and 253 zeros after 0.
void BM_DoubleAnswer255(benchmark::State& state) {
  double value = 0;
  run_lines(state, &value, "0." + std::string(253, '0'));
}
BENCHMARK(BM_DoubleAnswer255)->UseRealTime();

// A Single answer of 46 accepted keys (the longest fraction of zeros and
// digits it takes), then refused keys: each costs an echo and a redraw.
void BM_SingleAnswerRefusedKeys(benchmark::State& state) {
  float value = 0;
  run_lines(state, &value, "0." + std::string(43, '0') + "1" + std::string(209, 'x'));
}
BENCHMARK(BM_SingleAnswerRefusedKeys)->UseRealTime();

// 254 bytes standing (a closed quote), then refused keys: the worst redraw.
void BM_TextRefusedAfter254(benchmark::State& state) {
  console::Text value;
  run_lines(state, &value, "\"" + std::string(252, 'a') + "\"" + std::string(256, 'x'));
}
BENCHMARK(BM_TextRefusedAfter254)->UseRealTime();

// 254 bytes of a Double answer, then refused keys.
void BM_DoubleRefusedAfter254(benchmark::State& state) {
  double value = 0;
  run_lines(state, &value, "0." + std::string(252, '0') + std::string(256, 'x'));
}
BENCHMARK(BM_DoubleRefusedAfter254)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
