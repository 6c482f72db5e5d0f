// Spectra of every 256-point epoch of every channel of a full record (64
// channels of 32767 samples, 127 epochs each): the fixed-point engine beside
// the same power spectra from FFTW in single precision. Both count one item
// per spectrum; compare their items per second (the fixed-point engine should
// not be slower).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "core/study_state.h"
#include "eeg/spectral.h"

namespace {

constexpr int kChannels = 64;
constexpr int kLength = 32767;
constexpr int kEpoch = 256;
constexpr int kEpochs = kLength / kEpoch;  // 127 whole epochs

// An EEG-like record: a rhythm per channel, a slower wave and noise around mid-scale.
std::unique_ptr<velor::StudyState> makeRecord() {
  auto s = std::make_unique<velor::StudyState>();
  s->channelCount = kChannels;
  s->recordLength = kLength;
  s->sampleRate = 250;
  s->epochLength = s->epochStep = kEpoch;
  s->bandCount = 0;
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 40);
  for (int c = 0; c < kChannels; ++c)
    for (int i = 0; i < kLength; ++i) {
      const double t = i / 250.0;
      const double v = 2048 + 300 * std::sin(2 * 3.14159265 * (8 + c % 6) * t) + 150 * std::sin(2 * 3.14159265 * 1.3 * t) +
                       noise(rng);
      s->channelData[static_cast<std::size_t>(c)][i] = static_cast<std::int16_t>(std::lround(v));
    }
  return s;
}

void BM_FixedPointPowerSpectra(benchmark::State& state) {
  auto s = makeRecord();
  s->transformKind = velor::kPower;
  velor::SpectralEngine engine;
  // The power the transform view shows: the amplitudes squared.
  std::vector<std::int32_t> power(static_cast<std::size_t>(kChannels) * (kEpoch / 2 + 1));
  long long checksum = 0;
  for (auto _ : state) {
    for (int e = 0; e < kEpochs; ++e) {
      engine.epochSpectra(*s, e * kEpoch, e);
      for (int c = 0; c < kChannels; ++c) {
        const std::int16_t* a = s->parkedChannelData[static_cast<std::size_t>(c)];
        std::int32_t* p = &power[static_cast<std::size_t>(c) * (kEpoch / 2 + 1)];
        for (int i = 1; i <= kEpoch / 2; ++i) p[i] = a[i] * a[i];
      }
      checksum += power[10];
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * kEpochs * kChannels);
}
BENCHMARK(BM_FixedPointPowerSpectra)->Unit(benchmark::kMillisecond);

// The same through the single transform, one channel at a time, for
// comparison with the many-lane kernels the engine uses above.
void BM_FixedPointSingleTransform(benchmark::State& state) {
  auto s = makeRecord();
  velor::SpectralEngine engine;
  std::vector<std::int32_t> power(kEpoch / 2 + 1);
  long long checksum = 0;
  for (auto _ : state) {
    for (int e = 0; e < kEpochs; ++e)
      for (int c = 0; c < kChannels; ++c) {
        std::copy_n(s->channelData[static_cast<std::size_t>(c)] + e * kEpoch, kEpoch, engine.fhtWork());
        engine.fhtTransform(kEpoch);
        engine.amplitudeSpectrum();
        const std::int16_t* a = engine.amplitudeOut();
        for (int i = 1; i <= kEpoch / 2; ++i) power[static_cast<std::size_t>(i)] = a[i] * a[i];
        checksum += power[10];
      }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * kEpochs * kChannels);
}
BENCHMARK(BM_FixedPointSingleTransform)->Unit(benchmark::kMillisecond);

void BM_FftwPowerSpectra(benchmark::State& state) {
  auto s = makeRecord();
  float* in = fftwf_alloc_real(kEpoch);
  fftwf_complex* out = fftwf_alloc_complex(kEpoch / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(kEpoch, in, out, FFTW_MEASURE);
  std::vector<float> power(static_cast<std::size_t>(kChannels) * (kEpoch / 2 + 1));
  double checksum = 0;
  for (auto _ : state) {
    for (int e = 0; e < kEpochs; ++e) {
      for (int c = 0; c < kChannels; ++c) {
        const std::int16_t* x = s->channelData[static_cast<std::size_t>(c)] + e * kEpoch;
        for (int i = 0; i < kEpoch; ++i) in[i] = x[i];
        fftwf_execute(plan);
        float* p = &power[static_cast<std::size_t>(c) * (kEpoch / 2 + 1)];
        for (int i = 1; i <= kEpoch / 2; ++i) p[i] = out[i][0] * out[i][0] + out[i][1] * out[i][1];
      }
      checksum += power[10];
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * kEpochs * kChannels);
  fftwf_destroy_plan(plan);
  fftwf_free(out);
  fftwf_free(in);
}
BENCHMARK(BM_FftwPowerSpectra)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
