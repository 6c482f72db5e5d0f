// Beat detection over 24 hours of one ECG channel at 360 Hz: MIT-BIH record
// 100 (../shared/data) looped to that length, or constructed beats when the
// recordings are not there. bench/compare_ecg_mne.py times MNE's detector on
// the same signal.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "interchange/wfdb.h"
#include "physio/ecg_beats.h"

namespace {

constexpr int kRate = 360;

int hours() {
  const char* h = std::getenv("VELOR_BENCH_ECG_HOURS");
  return h ? std::max(1, std::atoi(h)) : 24;
}

struct Signal {
  std::vector<std::int16_t> codes;
  int zero = 2048;
};

const Signal& signal24h() {
  static const Signal s = [] {
    Signal out;
    const long long total = static_cast<long long>(hours()) * 3600 * kRate;
    velor::WfdbRecordData r;
    std::string reason;
    std::vector<std::int16_t> one;
    if (velor::readWfdbRecord(VELOR_SOURCE_DIR "/../shared/data/mitdb/100.hea", r, reason)) {
      const velor::WfdbCodeScale sc = velor::wfdbCodeScale(r.header.signals[0]);
      out.zero = sc.zeroLevel;
      for (int v : r.adu[0]) one.push_back(static_cast<std::int16_t>(v + sc.codeOffset));
    } else {
      // a beat every 0.8 s: a narrow R wave and a broad T wave
      one.assign(kRate * 60, 2048);
      for (int b = 100; b + 200 < static_cast<int>(one.size()); b += 288) {
        for (int k = -6; k <= 6; ++k) one[static_cast<std::size_t>(b + k)] += static_cast<std::int16_t>(150 * (6 - std::abs(k)));
        for (int k = 0; k < 80; ++k) one[static_cast<std::size_t>(b + 90 + k)] += static_cast<std::int16_t>(60 * std::sin(M_PI * k / 80));
      }
    }
    out.codes.reserve(static_cast<std::size_t>(total));
    while (static_cast<long long>(out.codes.size()) < total) {
      const long long n = std::min<long long>(static_cast<long long>(one.size()), total - static_cast<long long>(out.codes.size()));
      out.codes.insert(out.codes.end(), one.begin(), one.begin() + n);
    }
    // for the comparison script: the same signal as raw int16
    if (const char* path = std::getenv("VELOR_BENCH_ECG_DUMP")) {
      if (FILE* f = std::fopen(path, "wb")) {
        std::fwrite(out.codes.data(), 2, out.codes.size(), f);
        std::fclose(f);
      }
    }
    return out;
  }();
  return s;
}

void BM_DetectBeats24h(benchmark::State& state) {
  const Signal& s = signal24h();
  std::size_t beats = 0;
  for (auto _ : state) {
    const auto r = velor::detectBeatsInRecording(s.codes, s.zero, kRate, {});
    beats = r.size();
    benchmark::DoNotOptimize(r.data());
  }
  state.counters["beats"] = static_cast<double>(beats);
  state.counters["samples"] = static_cast<double>(s.codes.size());
  state.SetItemsProcessed(static_cast<long long>(state.iterations()) * static_cast<long long>(s.codes.size()));
}
BENCHMARK(BM_DetectBeats24h)->Unit(benchmark::kMillisecond)->UseRealTime();

// One record-sized call as the acquisition engine makes it (32000 samples).
void BM_DetectBeatsOneRecord(benchmark::State& state) {
  const Signal& s = signal24h();
  std::vector<std::int16_t> trace(32000), table(velor::kBeatTableSize);
  for (auto _ : state) {
    const int n = velor::detectBeats({s.codes.data(), 32000, s.zero, kRate}, {}, trace.data(), table.data());
    benchmark::DoNotOptimize(n);
  }
}
BENCHMARK(BM_DetectBeatsOneRecord)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
