// The formula language per sample: a compiled band-ratio formula over all 64
// channels of a full record (64 × 32767 evaluations per iteration). Target:
// at least 50 million evaluations per second on one core; the counter
// "evals/s" reports the rate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "core/formula.h"
#include "core/study_state.h"

namespace {

using namespace velor;

StudyState& fullRecord() {
  static StudyState* s = [] {
    auto* st = new StudyState;
    st->channelCount = kMaxChannels;
    st->recordLength = kMaxSamples;
    st->sampleRate = 1000;
    for (int c = 0; c < kMaxChannels; ++c) {
      st->zeroLevel[c] = 2048;
      st->calibUnits[c] = 2047;
      st->calibValue[c] = 100;
      for (int n = 0; n < kMaxSamples; ++n)
        st->channelData[c][n] = static_cast<std::int16_t>(2048 + 1000 * std::sin(0.01 * n * (c + 1)));
    }
    return st;
  }();
  return *s;
}

void evaluateOverRecord(benchmark::State& state, const char* text) {
  StudyState& s = fullRecord();
  CompiledFormula f;
  std::string message;
  if (!compileFormula(text, FunctionNames::defaults(), f, message)) {
    state.SkipWithError(message.c_str());
    return;
  }
  FormulaContext ctx;
  ctx.study = &s;
  double sink = 0;
  for (auto _ : state) {
    for (int c = 1; c <= kMaxChannels; ++c) {
      ctx.i = c;
      for (int j = 1; j <= kMaxSamples; ++j) {
        ctx.j = j;
        sink += evaluateFormula(f, ctx).value;
      }
    }
  }
  benchmark::DoNotOptimize(sink);
  state.counters["evals/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kMaxChannels * kMaxSamples,
                                                 benchmark::Counter::kIsRate);
}

// A ratio of two channel sums, guarded against a zero denominator.
void BM_BandRatio(benchmark::State& state) {
  evaluateOverRecord(state, "(abs(x(1))+abs(x(2)))/(abs(x(3))+abs(x(4))+0.001)");
}
BENCHMARK(BM_BandRatio)->Unit(benchmark::kMillisecond);

// The channel chosen by the context: x(i) per channel.
void BM_ChannelOfContext(benchmark::State& state) { evaluateOverRecord(state, "x(i)*2-x(1)>0.5"); }
BENCHMARK(BM_ChannelOfContext)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
