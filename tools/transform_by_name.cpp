// The transformations that need no interaction, by name (velor-cli transform).
#include <cmath>

#include "core/formula.h"
#include "core/formula_files.h"
#include "tools/transformations.h"

namespace velor {

const std::vector<std::pair<std::string, std::string>>& transformOperations() {
  static const std::vector<std::pair<std::string, std::string>> ops = {
      {"decimate", "every --step-th sample; the rate must divide by the step"},
      {"standardise", "all channels to a common amplitude level (zero level 2048, calibration 100)"},
      {"iir", "IIR filter (--type butterworth|chebyshev1|chebyshev2, --order, --ripple, --low, --high, --remove, --two-way)"},
      {"fourier", "FFT filter keeping (or with --remove removing) the band --low..--high"},
      {"wavelet", "Gaussian FFT weighting around the band --low..--high"},
      {"moving-average", "moving-average band filter from --low and --high"},
      {"smooth", "centred means over --window samples (at least 3)"},
      {"window-smooth", "centred truncated means over --window samples"},
      {"smooth121", "weighted three-point smoothing"},
      {"spikes", "spike suppression"},
      {"reverse", "time reversal"},
      {"derivative", "derivative, smoothed"},
      {"peak-envelope", "straight lines between the peaks of the rectified signal"},
      {"hilbert-envelope", "magnitude of the analytic signal (after a band-pass when --low or --high is given)"},
      {"zscore", "z-scores at 512 codes per standard deviation around 2048"},
      {"formula", "the --formula value (physical units) at every sample; i = channel, j = sample, from 1"},
      {"common-average", "common average reference"},
      {"channel-from-file", "channel(s) replaced by channel --other-channel of the first record of --other"},
      {"average-with-file", "weighted mean with the first record of --other"},
  };
  return ops;
}

bool runTransform(StudyState& s, const TransformRequest& r, SpectralEngine& engine, Interaction& ui) {
  const TransformSettings& t = r.settings;
  const ChannelRange all = transformChannels(s, t.allChannels);
  const double rate = s.sampleRate > 0 ? s.sampleRate : 1;
  // The current-channel commands run once per channel of the range.
  const auto perChannel = [&](auto&& f) {
    const int savedFirst = s.firstShownChannel, savedRow = s.currentChannelRow, savedShown = s.shownChannelCount;
    bool ok = true;
    for (int ch = all.first; ch <= all.last && ok; ++ch) {
      s.firstShownChannel = ch;
      s.currentChannelRow = 0;
      s.shownChannelCount = 1;
      ok = f(ch);
    }
    s.firstShownChannel = savedFirst, s.currentChannelRow = savedRow, s.shownChannelCount = savedShown;
    return ok;
  };
  const std::string& op = r.op;
  RecordSnapshot before;
  before.capture(s);
  bool ok = false;
  if (op == "decimate") {
    ok = decimateRecord(s, t.decimationStep, ui);
  } else if (op == "standardise") {
    ok = standardiseAmplitudes(s, ui);
  } else if (op == "iir" || op == "fourier" || op == "wavelet") {
    TransformSettings f = t;
    if (op == "fourier") f.filterType = static_cast<int>(TransformFilterType::Fourier);
    if (op == "wavelet") f.filterType = static_cast<int>(TransformFilterType::Wavelet);
    ok = filterRecord(s, f, r.keep, engine, ui);
  } else if (op == "moving-average") {
    ok = perChannel([&](int ch) { return movingAverageFilter(s, ch, t.lowHz / rate, t.highHz / rate, ui); });
  } else if (op == "smooth") {
    ok = smoothChannels(s, t.smoothWindow, all.first, all.last, ui);
  } else if (op == "window-smooth") {
    ok = perChannel([&](int) { return windowSmoothing(s, t.smoothWindow); });
  } else if (op == "smooth121") {
    ok = smoothChannels121(s, all.first, all.last);
  } else if (op == "spikes") {
    ok = perChannel([&](int ch) { return suppressSpikes(s, ch); });
  } else if (op == "reverse") {
    ok = perChannel([&](int ch) { return reverseTime(s, ch); });
  } else if (op == "derivative") {
    ok = derivative(s, all.first, all.last);
  } else if (op == "peak-envelope") {
    ok = peakEnvelope(s, all.first, all.last);
  } else if (op == "hilbert-envelope") {
    ok = hilbertEnvelope(s, all.first, all.last, t.lowHz / rate, t.highHz / rate, engine);
  } else if (op == "zscore") {
    ok = zScores(s, all.first, all.last, ui);
  } else if (op == "formula") {
    CompiledFormula f;
    ok = compileFormula(r.formula, FunctionNames::defaults(), f, ui) && applyFormula(s, f, ui);
  } else if (op == "common-average") {
    ok = commonAverageReference(s);
  } else if (op == "channel-from-file") {
    ok = perChannel([&](int) { return channelFromFile(s, r.otherFile, t.otherChannel, ui); });
  } else if (op == "average-with-file") {
    ok = averageWithFile(s, r.otherFile, ui);
  } else {
    ui.message("unknown transformation \"" + op + "\"");
  }
  if (!ok) before.restore(s);
  return ok;
}

}  // namespace velor
