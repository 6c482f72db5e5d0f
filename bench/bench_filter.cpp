// The online mains filters of a converter-board examination: every channel
// runs through the 50, 100 and 150 Hz band-stops (order 4) and the extra
// order-1 band-stop, one sample at a time, in the order the acquisition
// thread does it. One iteration is one second of a 64-channel recording at
// 10000 samples per second, so "core_fraction" is the share of one core the
// filters take, measured in processor time (the budget is 0.05).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "acquisition/filter_design.h"

namespace {

constexpr int kChannels = 64;
constexpr int kRate = 10000;
constexpr int kFilters = 4;

void BM_MainsFilters64Channels10kHz(benchmark::State& state) {
  using namespace velor;
  const double r = kRate;
  FilterDesign designs[kFilters];
  designFilter(designs[0], 4, kButterworthBandStop, 0, 54 / r, 46 / r);
  designFilter(designs[1], 4, kButterworthBandStop, 0, 104 / r, 96 / r);
  designFilter(designs[2], 4, kButterworthBandStop, 0, 154 / r, 146 / r);
  designFilter(designs[3], 1, kButterworthBandStop, 0, 30 / r, 30 / r);

  std::vector<FilterState> states(kChannels * kFilters);
  for (int ch = 0; ch < kChannels; ++ch)
    for (int k = 0; k < kFilters; ++k) settleFilter(designs[k], states[ch * kFilters + k], 2048);

  // A second of input cycles through this block: mid-scale, an EEG-like
  // tone per channel and a mains hum.
  constexpr int kBlock = 1000;
  std::vector<int> input(kBlock * kChannels);
  for (int i = 0; i < kBlock; ++i)
    for (int ch = 0; ch < kChannels; ++ch)
      input[i * kChannels + ch] = 2048 + static_cast<int>(300 * std::sin(0.013 * (ch + 1) * i) +
                                                          200 * std::sin(2 * 3.14159265 * 50 * i / r));

  long long checksum = 0;
  for (auto _ : state) {
    for (int n = 0; n < kRate; ++n) {
      const int* frame = &input[(n % kBlock) * kChannels];
      for (int ch = 0; ch < kChannels; ++ch) {
        FilterState* st = &states[ch * kFilters];
        int v = frame[ch];
        v = filterSample(designs[0], st[0], v);
        v = filterSample(designs[1], st[1], v);
        v = filterSample(designs[2], st[2], v);
        v = filterSample(designs[3], st[3], v);
        checksum += v;
      }
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * kRate * kChannels);
  state.counters["core_fraction"] =
      benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MainsFilters64Channels10kHz)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
