// The heaviest record transformations over a full record: 64 channels of
// 32767 samples. bench/compare_transform_scipy.py runs this and scipy on the
// same shape in one go and prints the ratios.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "core/record_snapshot.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "tools/transformations.h"

namespace velor {
namespace {

struct FullRecord {
  FullRecord() {
    s.channelCount = kMaxChannels;
    s.recordLength = kMaxSamples;
    s.sampleRate = 500;
    s.shownChannelCount = kMaxChannels;
    std::mt19937 g(7);
    std::normal_distribution<double> d(0, 200);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
      s.zeroLevel[ch] = 2048;
      s.calibUnits[ch] = 100;
      s.calibValue[ch] = 100;
      for (int i = 0; i < kMaxSamples; ++i) s.channel(ch)[i] = static_cast<std::int16_t>(2048 + d(g));
    }
    original.capture(s);
  }
  StudyState s;
  RecordSnapshot original;
  SpectralEngine engine;
  ScriptedInteraction ui;
};

FullRecord& record() {
  static auto* r = new FullRecord;
  return *r;
}

template <class Op>
void run(benchmark::State& state, Op op) {
  FullRecord& r = record();
  for (auto _ : state) {
    state.PauseTiming();
    r.original.restore(r.s);
    state.ResumeTiming();
    benchmark::DoNotOptimize(op(r));
  }
  state.SetItemsProcessed(state.iterations() * kMaxChannels * kMaxSamples);
}

void BM_IirButterworthBandPass(benchmark::State& st) {
  run(st, [](FullRecord& r) { return iirFilter(r.s, true, 0, 4, 0, 0, 63, 1.0 / 500, 30.0 / 500, false, r.ui); });
}
void BM_IirButterworthBandPassTwoWay(benchmark::State& st) {
  run(st, [](FullRecord& r) { return iirFilter(r.s, true, 0, 4, 0, 0, 63, 1.0 / 500, 30.0 / 500, true, r.ui); });
}
void BM_HilbertEnvelope(benchmark::State& st) {
  run(st, [](FullRecord& r) { return hilbertEnvelope(r.s, 0, 63, 0, 0, r.engine); });
}
void BM_MovingAverage9(benchmark::State& st) {
  run(st, [](FullRecord& r) { return smoothChannels(r.s, 9, 0, 63, r.ui); });
}
void BM_ZScores(benchmark::State& st) {
  run(st, [](FullRecord& r) { return zScores(r.s, 0, 63, r.ui); });
}
void BM_CommonAverage(benchmark::State& st) {
  run(st, [](FullRecord& r) { return commonAverageReference(r.s); });
}

BENCHMARK(BM_IirButterworthBandPass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IirButterworthBandPassTwoWay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HilbertEnvelope)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MovingAverage9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZScores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CommonAverage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velor

BENCHMARK_MAIN();
