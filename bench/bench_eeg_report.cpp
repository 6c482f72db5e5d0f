// The clinical EEG report of a demo record (19 leads and ECG, 250 Hz) of
// 20 s and of the longest record (32767 samples): band measures of every
// 512-sample epoch, two filtered period analyses, the rules.
#include <benchmark/benchmark.h>

#include <memory>

#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/eeg_report.h"
#include "eeg/period_analysis.h"
#include "eeg/spectral.h"
#include "tools/demo_study.h"

namespace {

std::unique_ptr<velor::StudyState> demoRecord(double seconds) {
  auto s = std::make_unique<velor::StudyState>();
  velor::DemoStudyOptions o;
  o.seconds = seconds;
  velor::setupDemoStudy(*s, o);
  velor::synthesizeDemoRecord(*s, o, 0);
  velor::installDefaultBands(*s);
  return s;
}

void BM_EegReport(benchmark::State& state) {
  auto s = demoRecord(static_cast<double>(state.range(0)) / 250.0);
  velor::SpectralEngine engine;
  for (auto _ : state) {
    const velor::EegReport r = velor::eegReport(engine, *s);
    benchmark::DoNotOptimize(r.degree);
    if (!r.ok()) state.SkipWithError(r.problem.c_str());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_EegReport)->Arg(5000)->Arg(32767)->Unit(benchmark::kMillisecond);

void BM_PeriodAnalysis(benchmark::State& state) {
  auto s = demoRecord(32767 / 250.0);
  velor::PeriodLimits limits;
  velor::periodLimits(250, 800, 1400, limits);
  for (auto _ : state) {
    const velor::PeriodSummary r = velor::periodAnalysis(s->channel(17), s->recordLength, limits, 250, 0.1);
    benchmark::DoNotOptimize(r.rhythmPercent);
  }
  state.SetItemsProcessed(state.iterations() * s->recordLength);
}
BENCHMARK(BM_PeriodAnalysis)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
