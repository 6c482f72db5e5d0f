// Spectra of every 256-point epoch of every channel of a full record (64
// channels of 32767 samples, 127 epochs each): the fixed-point engine beside
// FFTW in single precision. Like is compared with like: the engine's
// amplitude spectra (what the transform view shows, one buffer per channel)
// against FFTW amplitude spectra √(re² + im²) per bin into a row per
// channel; FFTW's bare power spectra (no root) are listed as well. Each
// counts one item per spectrum; compare their items per second (the
// fixed-point engine should not be slower).
#include <benchmark/benchmark.h>
#include <fftw3.h>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

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

void BM_FixedPointAmplitudeSpectra(benchmark::State& state) {
  auto s = makeRecord();
  s->transformKind = velor::TransformKind::Amplitude;
  velor::SpectralEngine engine;
  long long checksum = 0;
  for (auto _ : state) {
    for (int e = 0; e < kEpochs; ++e) {
      engine.epochSpectra(*s, e * kEpoch, e);
      checksum += s->parkedChannelData[static_cast<std::size_t>(e % kChannels)][10];
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * kEpochs * kChannels);
}
BENCHMARK(BM_FixedPointAmplitudeSpectra)->Unit(benchmark::kMillisecond);

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

// Roots of a row of powers, four at a time where SSE is there (std::sqrt
// keeps errno for a negative argument and goes one by one): FFTW's side
// should have them as fast as they come.
void rootsInPlace(float* p, int n) {
  int i = 0;
#if defined(__SSE__)
  for (; i + 4 <= n; i += 4) _mm_storeu_ps(p + i, _mm_sqrt_ps(_mm_loadu_ps(p + i)));
#endif
  for (; i < n; ++i) p[i] = std::sqrt(p[i]);
}

// FFTW r2c transforms of every epoch; `amplitude` takes the root per bin as
// the engine's amplitude spectra do, otherwise the power is kept.
void fftwSpectra(benchmark::State& state, bool amplitude) {
  auto s = makeRecord();
  float* in = fftwf_alloc_real(kEpoch);
  fftwf_complex* out = fftwf_alloc_complex(kEpoch / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(kEpoch, in, out, FFTW_MEASURE);
  std::vector<float> spectra(static_cast<std::size_t>(kChannels) * (kEpoch / 2 + 1));
  double checksum = 0;
  for (auto _ : state) {
    for (int e = 0; e < kEpochs; ++e) {
      for (int c = 0; c < kChannels; ++c) {
        const std::int16_t* x = s->channelData[static_cast<std::size_t>(c)] + e * kEpoch;
        for (int i = 0; i < kEpoch; ++i) in[i] = x[i];
        fftwf_execute(plan);
        float* p = &spectra[static_cast<std::size_t>(c) * (kEpoch / 2 + 1)];
        for (int i = 1; i <= kEpoch / 2; ++i) p[i] = out[i][0] * out[i][0] + out[i][1] * out[i][1];
        if (amplitude) rootsInPlace(p + 1, kEpoch / 2);
      }
      checksum += spectra[10];
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * kEpochs * kChannels);
  fftwf_destroy_plan(plan);
  fftwf_free(out);
  fftwf_free(in);
}

void BM_FftwAmplitudeSpectra(benchmark::State& state) { fftwSpectra(state, true); }
BENCHMARK(BM_FftwAmplitudeSpectra)->Unit(benchmark::kMillisecond);

void BM_FftwPowerSpectra(benchmark::State& state) { fftwSpectra(state, false); }
BENCHMARK(BM_FftwPowerSpectra)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
