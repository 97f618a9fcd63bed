// Cost of the number answer check on the longest answers, as the line input
// runs it after each key on the whole field.
#include <benchmark/benchmark.h>

#include <string>

#include "survey_entry/console/number_answer.h"

namespace {

// 255 bytes each: a fraction with its 16 digits after 237 leading zeros,
// a 255-digit whole number, and a text a Single answer refuses only at its
// end (its exponent takes it out of range).
const std::string kLongFraction = "0." + std::string(237, '0') + "1234567890123456";
const std::string kLongWhole = "1" + std::string(254, '0');
const std::string kSingleRefusedAtEnd =
    "." + std::string(40, '0') + "12345678E-" + std::string(203, '1') + "9";

void BM_DoubleCheck255Fraction(benchmark::State& state) {
  double value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(console::check_double_answer(kLongFraction, value));
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLongFraction.size()));
}
BENCHMARK(BM_DoubleCheck255Fraction);

void BM_DoubleCheck255Whole(benchmark::State& state) {
  double value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(console::check_double_answer(kLongWhole, value));
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kLongWhole.size()));
}
BENCHMARK(BM_DoubleCheck255Whole);

void BM_SingleCheck255Refused(benchmark::State& state) {
  float value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(console::check_single_answer(kSingleRefusedAtEnd, value));
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSingleRefusedAtEnd.size()));
}
BENCHMARK(BM_SingleCheck255Refused);

void BM_DoubleCheckShort(benchmark::State& state) {
  const std::string text = "-12.5E-3";
  double value = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(console::check_double_answer(text, value));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_DoubleCheckShort);

}  // namespace

BENCHMARK_MAIN();
