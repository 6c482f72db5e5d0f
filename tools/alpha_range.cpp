#include "tools/alpha_range.h"

#include <algorithm>
#include <cmath>

#include "core/numtext.h"
#include "core/study_state.h"
#include "core/text.h"
#include "eeg/spectral.h"

namespace velor {

namespace {

int channelNamed(const StudyState& s, const char* name) {
  for (int c = 0; c < std::min(s.channelCount, kMaxChannels); ++c)
    if (trimSpaces(s.channelNames[static_cast<std::size_t>(c)]) == name) return c;
  return -1;
}

}  // namespace

bool measurePeakRange(SpectralEngine& engine, StudyState& s, int usableWidth, PeakRange& out, std::string& reason) {
  const int o1 = channelNamed(s, "O1");
  const int o2 = channelNamed(s, "O2");
  if (o1 < 0 || o2 < 0) {
    reason = "Нет отведений O1 и O2";
    return false;
  }
  if (s.sampleRate <= 0 || s.recordLength < 64) {
    reason = "Запись слишком коротка для спектра";
    return false;
  }
  // the spectra of several channels are made up to 8192 points
  const int n = std::min(1 << static_cast<int>(std::log2(s.recordLength)), kFhtMaxSize);
  const double fs = s.sampleRate;
  // at low rates 15 Hz lies above the spectrum's last bin
  const int half = n / 2;
  const int k15 = std::min(static_cast<int>(std::trunc(n * 15.0 / fs)), half - 1);
  const int k6 = std::min(static_cast<int>(std::trunc(n * 6.0 / fs)), k15);

  SpectralSettingsGuard saved(s, engine);
  s.epochLength = s.epochStep = n;
  s.epochCount = 1;
  s.currentEpoch = 0;
  s.leadPairCount = 0;
  engine.averagedEpochs = 0;
  engine.buildWindow(0);
  std::string problem;
  if (!showEpochSpectra(engine, s, usableWidth, problem)) {
    reason = problem;
    return false;
  }
  s.lockedZoom = s.timeZoom != 0;

  std::int16_t* a = s.channelData[static_cast<std::size_t>(o1)];
  std::int16_t* b = s.channelData[static_cast<std::size_t>(o2)];
  for (int k = 0; k < half; ++k) a[k] = static_cast<std::int16_t>(std::trunc((a[k] + b[k]) / 2.0));
  std::copy(a, a + half, b);
  for (int k = 1; k <= k15; ++k) a[k] = static_cast<std::int16_t>(std::trunc(0.1 * a[k] + 0.9 * a[k - 1] + 0.5));

  int v = 0, p = 0;
  for (int k = k6; k <= k15; ++k)
    if (a[k] > v) {
      v = a[k];
      p = k;
    }
  int low = -1;
  for (int k = p; k >= k6 && low < 0; --k)
    if (a[k] < static_cast<int>(0.4 * v)) low = k;
  if (low < 0) {
    int smallest = v;
    for (int k = k6; k <= p; ++k)
      if (a[k] < smallest) {
        smallest = a[k];
        low = k;
      }
    if (low < 0) low = 0;
  }
  int high = -1;
  for (int k = p; k <= k15 && high < 0; ++k)
    if (a[k] < static_cast<int>(0.5 * v)) high = k;
  if (high < 0) high = static_cast<int>(std::trunc(n * 13.0 / fs));

  // a lower side much wider than the upper one: look for where the spectrum
  // stops falling towards the peak, in blocks of ten bins kept inside it
  if (p - low > 2 * (high - p)) {
    int k = 2 * p - high;
    while (k - 10 >= 0 && k + 9 < half) {
      long lower = 0, upper = 0;
      for (int t = k - 10; t < k; ++t) lower += a[t];
      for (int t = k; t < k + 10; ++t) upper += a[t];
      if (lower / 10.0 > 1.02 * (upper / 10.0)) {
        if (k - 10 > low) low = k + 10;
        break;
      }
      if (k - 10 < low) break;
      k -= 10;
    }
  }

  double amplitude = 0;
  if (low > 0 && low < high && high < half) {
    double sum = 0;
    for (int k = low; k <= high; ++k) sum += a[k];
    amplitude = sum / (high - low + 1) * s.calibValue[o1] / std::max<std::uint16_t>(1, s.calibUnits[o1]);
  }
  const double hz = fs / n;
  out.n = n;
  out.low = low;
  out.peak = p;
  out.high = high;
  out.amplitude = amplitude;
  out.line = utf8Substr(s.recordFileName, 0, 8);
  for (double x : {low * hz, p * hz, high * hz, (high - low + 1) * hz, amplitude}) out.line += " " + formatNumber(x);
  out.line += " " + (p == low ? std::string("-") : formatNumber(static_cast<double>(high - p) / (p - low)));
  engine.firstBandBins = {low, high};
  saved.keep();  // the spectra stay on view with the grid they were made on
  return true;
}

}  // namespace velor
