// Cost of one number text against a plain snprintf("%.15E") of the same
// values, for a mix of survey-like values, small and large magnitudes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "survey_entry/console/number_text.h"

namespace {

std::vector<double> sample_values() {
  std::vector<double> values;
  // Distances, angles, coordinates, heights and counts as typed in the field,
  // plus values that take the exponent form or the 16th-digit-9 rounding.
  const double base[] = {123.456,
                         -0.25,
                         299792.458,
                         1.0 / 3.0,
                         1.0 / 7.0,
                         1.5e-16,
                         12345678.9,
                         1e100,
                         0.7999999999999999,
                         1.6,
                         -45.1234,
                         5,
                         1e-17,
                         359.999,
                         0.01234567890123456,
                         1234567890123456.0};
  for (int i = 0; i < 64; ++i) {
    for (double b : base) {
      values.push_back(b * (1.0 + i * 0.001));
    }
  }
  return values;
}

const std::vector<double> kValues = sample_values();

void BM_DoubleToText(benchmark::State& state) {
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(console::double_to_text(kValues[i]));
    i = (i + 1) % kValues.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DoubleToText);

void BM_SingleToText(benchmark::State& state) {
  std::vector<float> singles(kValues.begin(), kValues.end());
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(console::single_to_text(singles[i]));
    i = (i + 1) % singles.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SingleToText);

void BM_Snprintf15E(benchmark::State& state) {
  std::size_t i = 0;
  char buffer[32];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%.15E", kValues[i]));
    benchmark::DoNotOptimize(buffer);
    i = (i + 1) % kValues.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Snprintf15E);

}  // namespace

BENCHMARK_MAIN();
