// The spectral engine from arbitrary bytes: the many-lane transform must end
// every lane exactly as the single transform does (values, block exponent,
// amplitude spectrum), whatever the samples; and a band table read from the
// same bytes as a ".dia" file must give band measures without reaching
// outside any buffer. The bytes reach the band reader through an in-memory
// file opened by its /proc/self/fd path.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/fht_batch.h"
#include "eeg/spectral.h"

namespace {

struct Harness {
  velor::StudyState state;
  velor::SpectralEngine batch, single;
  int memfd = -1;
  std::string path;
  Harness() {
    memfd = ::memfd_create("fuzz_spectral", 0);
    if (memfd < 0) __builtin_trap();
    path = "/proc/self/fd/" + std::to_string(memfd);
  }
};

Harness& harness() {
  static Harness* h = new Harness;  // large buffers: one for the whole run
  return *h;
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  Harness& h = harness();
  // Up to 1024 points: a transform of 8192 points in every lane takes seconds
  // under the sanitizers, which kept the corpus from growing past a few
  // bytes; the larger orders are checked lane by lane in the unit tests.
  const int order = 1 + data[0] % std::min(velor::kFhtMaxOrder, 10);
  const int n = 1 << order;
  const int lanes = velor::SpectralEngine::batchLanes();
  const std::uint8_t* body = data + 2;
  const std::size_t bodySize = size - 2;

  // Samples: the bytes as little-endian 16-bit values, over and over.
  std::int16_t* lanesWork = h.batch.batchWork();
  std::vector<std::int16_t> lane(static_cast<std::size_t>(n));
  for (int l = 0; l < lanes; ++l)
    for (int i = 0; i < n; ++i) {
      const std::size_t k = static_cast<std::size_t>(l) * n + i;
      const std::uint8_t lo = body[2 * k % bodySize], hi = body[(2 * k + 1) % bodySize];
      lanesWork[static_cast<std::size_t>(i) * lanes + l] = static_cast<std::int16_t>(lo | (hi << 8));
    }
  std::vector<std::int16_t> inputs(lanesWork, lanesWork + static_cast<std::size_t>(n) * lanes);
  h.batch.fhtTransformBatch(n);
  for (int l = 0; l < lanes; ++l) {
    for (int i = 0; i < n; ++i) h.single.fhtWork()[i] = inputs[static_cast<std::size_t>(i) * lanes + l];
    h.single.fhtTransform(n);
    check(h.batch.batchExponent(l) == h.single.fhtExponent());
    for (int i = 0; i < n; ++i) check(lanesWork[static_cast<std::size_t>(i) * lanes + l] == h.single.fhtWork()[i]);
  }
  // The vector amplitudes, where they apply, against the single ones.
  if (velor::fht_batch::vectorised()) {
    std::vector<std::vector<std::int16_t>> spectra(static_cast<std::size_t>(lanes),
                                                   std::vector<std::int16_t>(static_cast<std::size_t>(n / 2 + 1)));
    std::vector<std::int16_t*> outs;
    for (auto& s : spectra) outs.push_back(s.data());
    int exponents[velor::fht_batch::kMaxLanes], peaks[velor::fht_batch::kMaxLanes];
    for (int l = 0; l < lanes; ++l) exponents[l] = h.batch.batchExponent(l);
    if (velor::fht_batch::amplitudes(lanesWork, n, order, exponents, outs.data(), peaks)) {
      for (int l = 0; l < lanes; ++l) {
        check(h.batch.batchAmplitudeSpectrum(l) == peaks[l]);
        for (int i = 1; i <= n / 2; ++i) check(h.batch.amplitudeOut()[i] == spectra[static_cast<std::size_t>(l)][static_cast<std::size_t>(i)]);
      }
    }
  }

  // The same bytes as a band table, and band measures over a spectrum of them.
  if (::ftruncate(h.memfd, 0) != 0) return 0;
  if (::pwrite(h.memfd, body, bodySize, 0) != static_cast<ssize_t>(bodySize)) return 0;
  velor::ScriptedInteraction ui;
  velor::StudyState& s = h.state;
  if (!velor::readBandFile(h.path, s, ui)) return 0;
  check(s.bandCount >= 0 && s.bandCount <= velor::kBandRows);
  s.channelCount = 1 + data[1] % velor::kMaxChannels;
  s.epochLength = n;
  s.sampleRate = 1 + data[1];
  s.transformKind = velor::transformKindFromNumber(data[1] % 2);
  s.bandMode = data[1] % 5;
  for (int c = 0; c < s.channelCount; ++c)
    std::copy_n(inputs.begin(), std::min<std::size_t>(inputs.size(), n / 2 + 1), s.parkedChannelData[static_cast<std::size_t>(c)]);
  h.single.bandMeasures(s, data[0]);
  h.single.powerLines.clear();
  return 0;
}
