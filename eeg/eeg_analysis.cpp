#include "eeg/eeg_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/numtext.h"
#include "core/settings.h"
#include "eeg/eeg_analysis_texts.h"
#include "eeg/spectral_texts.h"

namespace velor {

namespace {

int rateOf(const StudyState& s) { return std::max(1, s.sampleRate); }

// The state's recordLength is the signal length while the transform view
// is on (the view holds the spectrum's length there).
class SignalLength {
 public:
  explicit SignalLength(StudyState& s) : s_(s), saved_(s.recordLength) {
    if (s_.viewMode == ViewMode::Transform) s_.recordLength = s_.savedRecordLength;
  }
  ~SignalLength() { s_.recordLength = saved_; }
  SignalLength(const SignalLength&) = delete;
  SignalLength& operator=(const SignalLength&) = delete;

 private:
  StudyState& s_;
  int saved_;
};

std::int16_t clampSample(long v) {
  return static_cast<std::int16_t>(std::clamp<long>(v, std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max()));
}

bool haveSignals(const StudyState& s, std::string& reason) {
  if (s.viewMode == ViewMode::Transform) {
    reason = eeg_text::kInTransformView;
    return false;
  }
  if (s.channelCount < 1 || s.channelCount > kMaxChannels || s.recordLength < 1) {
    reason = eeg_text::kNoSignal;
    return false;
  }
  return true;
}

int recordLengthOf(const StudyState& s) { return std::min(s.recordLength, kMaxSamples); }

}  // namespace

TransformKind measureTransformKind(int measureIndex) {
  using enum TransformKind;
  // in the order of the "Характеристика:" list
  static constexpr TransformKind kKinds[kMeasureCount] = {
      Amplitude, Power, CrossSpectrum, CrossPhase, Coherence, CoherentPower, Correlation, Envelope, Synchrony};
  if (measureIndex < 0 || measureIndex >= kMeasureCount) return Amplitude;
  return kKinds[measureIndex];
}

int epochItemSamples(int index) { return 1 << (std::clamp(index, 0, kEpochItemCount - 1) + 5); }

std::string epochSecondsText(int samples, int sampleRate) {
  return formatNumber(static_cast<double>(samples) / std::max(1, sampleRate));
}

std::vector<std::string> epochItems(int recordLength, int sampleRate) {
  std::vector<std::string> items;
  for (int i = 0; i < kEpochItemCount; ++i) {
    const int n = epochItemSamples(i);
    if (n > recordLength) break;
    items.push_back(epochSecondsText(n, sampleRate));
  }
  return items;
}

int epochsInRecord(int recordLength, int epochLength, int epochStep) {
  if (epochStep <= 0) return 0;
  return static_cast<int>(std::trunc(static_cast<double>(recordLength - epochLength) / epochStep + 1.0));
}

std::optional<int> secondsToSamples(double seconds, int sampleRate) {
  const double v = seconds * std::max(1, sampleRate) + 0.5;
  if (!std::isfinite(v) || v < 0) return std::nullopt;
  return static_cast<int>(std::min(std::trunc(v), static_cast<double>(kMaxSamples)));
}

// --- qeeg.ini ---------------------------------------------------------------------------------

bool readEegSettingsFile(const std::string& path, EegSettings& out) {
  const auto lines = readTextLines(path);
  if (!lines || lines->size() < 3) return false;
  const std::string shift = trimSpaces((*lines)[0]);
  const auto seconds = parseNumber(shift);
  const auto epoch = parseInteger((*lines)[1]);
  const auto band = parseInteger((*lines)[2]);
  if (!seconds || *seconds < 0 || !epoch || !band) return false;
  // a fractional index would be a damaged file, not a choice
  if (trimSpaces((*lines)[1]).find_first_of(".,eE") != std::string::npos ||
      trimSpaces((*lines)[2]).find_first_of(".,eE") != std::string::npos)
    return false;
  if (*epoch < -1 || *epoch >= kEpochItemCount || *band < -1 || *band >= kBandRows) return false;
  out.shiftText = shift;
  out.epochIndex = *epoch;
  out.bandIndex = *band;
  return true;
}

bool writeEegSettingsFile(const std::string& path, const EegSettings& in) {
  return writeTextLines(path, {in.shiftText, std::to_string(in.epochIndex), std::to_string(in.bandIndex)});
}

// --- band limits and filtering ----------------------------------------------------------------

std::optional<BandLimits> bandLimitsOf(const StudyState& s, int row, std::string& reason) {
  reason = eeg_text::kBadBand;
  if (row < 0 || row >= std::min(s.bandCount, kBandRows)) {
    reason = spectral_text::kNoBands;
    return std::nullopt;
  }
  const BandRow& r = s.bandTable[static_cast<std::size_t>(row)];
  const auto lo = parseNumber(r.low), hi = parseNumber(r.high);
  // hundredths of a hertz are kept in 16 bits
  if (!lo || !hi || *lo < 0 || *hi <= 0 || *lo > 327 || *hi > 327) return std::nullopt;
  BandLimits b;
  b.low = static_cast<int>(std::trunc(100 * *lo + 0.5));
  b.high = static_cast<int>(std::trunc(100 * *hi + 0.5));
  if (b.high <= b.low) return std::nullopt;
  reason.clear();
  return b;
}

BandFilterPlan bandFilterPlan(BandLimits limits, int sampleRate) {
  const double rate = std::max(1, sampleRate);
  const double fl = limits.low / rate / 100.0;
  const double fh = limits.high / rate / 100.0;
  BandFilterPlan p;
  // A high edge at or above half the rate leaves nothing to cut above the
  // band (the filters take fractions up to 0.5).
  const bool topOpen = fh >= 0.5;
  if (fl > 0 && fl < 0.5 && !topOpen) {
    p.kind = BandFilterPlan::Kind::BandPass;
    p.high = fh;
    p.low = fl;
  } else if (fl > 0 && fl < 0.5 && topOpen) {
    p.kind = BandFilterPlan::Kind::HighPass;
    p.high = fl;
    p.low = 0;
  } else if (fl <= 0 && fh > 0 && !topOpen) {
    p.kind = BandFilterPlan::Kind::LowPass;
    p.high = 0.5;
    p.low = fh;
  }
  return p;
}

// --- montages ----------------------------------------------------------------------------------

bool bipolarMontage(StudyState& s, std::string& reason) {
  if (!haveSignals(s, reason)) return false;
  const int n = recordLengthOf(s);
  const int pairs = std::min(s.leadPairCount, kMaxLeadPairs);
  if (pairs > 0) {
    for (int p = 0; p < pairs; ++p) {
      const int a = s.leadPairs[static_cast<std::size_t>(p)][0] - 1;
      const int b = s.leadPairs[static_cast<std::size_t>(p)][1] - 1;
      if (a < 0 || b < 0 || a >= s.channelCount || b >= s.channelCount || a == b) {
        reason = eeg_text::kBadPair;
        return false;
      }
    }
    // Every pair reads the channels as they were: pair p is written into
    // channel p, which a later pair may still need.
    std::vector<std::int16_t> out(static_cast<std::size_t>(pairs) * static_cast<std::size_t>(n));
    std::vector<std::uint16_t> units(static_cast<std::size_t>(pairs)), values(static_cast<std::size_t>(pairs));
    for (int p = 0; p < pairs; ++p) {
      const int a = s.leadPairs[static_cast<std::size_t>(p)][0] - 1;
      const int b = s.leadPairs[static_cast<std::size_t>(p)][1] - 1;
      const long za = s.zeroLevel[a], zb = s.zeroLevel[b];
      const std::int16_t* xa = s.channelData[static_cast<std::size_t>(a)];
      const std::int16_t* xb = s.channelData[static_cast<std::size_t>(b)];
      std::int16_t* o = out.data() + static_cast<std::size_t>(p) * static_cast<std::size_t>(n);
      for (int i = 0; i < n; ++i) o[i] = static_cast<std::int16_t>(std::clamp<long>(xa[i] - za - (xb[i] - zb) + 2048, 0, 4095));
      units[static_cast<std::size_t>(p)] = s.calibUnits[a];
      values[static_cast<std::size_t>(p)] = s.calibValue[a];
    }
    for (int p = 0; p < pairs; ++p) {
      std::copy_n(out.data() + static_cast<std::size_t>(p) * static_cast<std::size_t>(n), n,
                  s.channelData[static_cast<std::size_t>(p)]);
      s.calibUnits[p] = units[static_cast<std::size_t>(p)];
      s.calibValue[p] = values[static_cast<std::size_t>(p)];
    }
    s.channelCount = pairs;
    s.shownChannelCount = pairs;
    s.firstShownChannel = 0;
    s.currentChannelRow = std::min(s.currentChannelRow, pairs - 1);
    s.referenceKind = 6;
  } else {
    const int c = s.channelCount;
    for (int i = 0; i < n; ++i) {
      long sum = 0;
      for (int k = 0; k < c; ++k) sum += s.channelData[static_cast<std::size_t>(k)][i];
      const long mean = static_cast<long>(std::trunc(static_cast<double>(sum) / c));
      for (int k = 0; k < c; ++k) {
        std::int16_t& x = s.channelData[static_cast<std::size_t>(k)][i];
        x = clampSample(x - mean + 2048);
      }
    }
  }
  for (int k = 0; k < s.channelCount; ++k) s.zeroLevel[k] = 2048;
  return true;
}

bool commonAverageReference(StudyState& s, std::string& reason) {
  if (!haveSignals(s, reason)) return false;
  const int n = recordLengthOf(s), c = s.channelCount;
  for (int i = 0; i < n; ++i) {
    long sum = 0;
    for (int k = 0; k < c; ++k) sum += s.channelData[static_cast<std::size_t>(k)][i] - long{s.zeroLevel[k]};
    const long a = static_cast<long>(std::trunc(static_cast<double>(sum) / c + 0.5));
    for (int k = 0; k < c; ++k) {
      std::int16_t& x = s.channelData[static_cast<std::size_t>(k)][i];
      x = clampSample(x - long{s.zeroLevel[k]} - a + 2048);
    }
  }
  for (int k = 0; k < c; ++k) s.zeroLevel[k] = 2048;
  return true;
}

bool normaliseAmplitudes(StudyState& s) {
  std::string reason;
  if (!haveSignals(s, reason)) return false;
  const int n = recordLengthOf(s), c = s.channelCount;
  double a = 0;
  for (int k = 0; k < c; ++k) {
    double sum = 0;
    const std::int16_t* x = s.channelData[static_cast<std::size_t>(k)];
    for (int i = 0; i < n; ++i) sum += std::abs(x[i] - static_cast<double>(s.zeroLevel[k]));
    a = std::max(a, sum / n);
  }
  if (!(a >= 4)) return false;
  for (int k = 0; k < c; ++k) {
    std::int16_t* x = s.channelData[static_cast<std::size_t>(k)];
    // deviations from the channel's own zero line, so that an offset zero
    // level is not scaled into the signal
    const double z = s.zeroLevel[k];
    for (int i = 0; i < n; ++i) x[i] = clampSample(2048 + static_cast<long>(std::trunc((x[i] - z) / a * 511)));
    s.calibValue[k] = 100;
    s.zeroLevel[k] = 2048;
  }
  return true;
}

// --- settings ------------------------------------------------------------------------------------

EegAnalysis::EegAnalysis(StudyState& s, SpectralEngine& engine, Interaction& ui) : s_(s), engine_(engine), ui_(ui) {}

std::string EegAnalysis::settingsPath() const { return s_.programDir + eeg_text::kSettingsFile; }

void EegAnalysis::rebuildEpochList() {
  SignalLength signal(s_);
  epochList = epochItems(s_.recordLength, s_.sampleRate);
}

void EegAnalysis::rebuildBandList() {
  bandList.clear();
  for (int i = 0; i < std::min(s_.bandCount, kBandRows); ++i)
    bandList.push_back(s_.bandTable[static_cast<std::size_t>(i)].name);
  if (settings.bandIndex >= static_cast<int>(bandList.size())) settings.bandIndex = bandList.empty() ? -1 : 0;
  if (settings.bandIndex < 0 && !bandList.empty()) settings.bandIndex = 0;
}

bool EegAnalysis::prepare() {
  settings.averageText = std::to_string(engine_.averagedEpochs + 1);
  const bool read = readEegSettingsFile(settingsPath(), settings);
  rebuildEpochList();
  rebuildBandList();
  if (settings.epochIndex < 0 || settings.epochIndex >= static_cast<int>(epochList.size())) {
    if (!epochList.empty()) {
      chooseEpoch(0);
    } else {
      settings.epochIndex = -1;
    }
  }
  return read;
}

std::string EegAnalysis::countText() const {
  std::string t = "N=";
  if (s_.epochStep != 0) {
    const int rl = s_.viewMode == ViewMode::Transform ? s_.savedRecordLength : s_.recordLength;
    t += std::to_string(epochsInRecord(rl, s_.epochLength, s_.epochStep));
  }
  return t;
}

void EegAnalysis::chooseEpoch(int index) {
  if (index < 0 || index >= static_cast<int>(epochList.size())) return;
  settings.epochIndex = index;
  settings.shiftText = epochList[static_cast<std::size_t>(index)];
  const auto seconds = parseNumber(settings.shiftText);
  if (!seconds || *seconds <= 0) return;
  const auto n = secondsToSamples(*seconds, s_.sampleRate);
  if (!n || *n < 1) return;
  s_.epochLength = s_.epochStep = *n;
}

void EegAnalysis::editShift(const std::string& text) {
  settings.shiftText = text;
  const auto seconds = parseNumber(text);
  if (!seconds || *seconds <= 0) return;
  const auto n = secondsToSamples(*seconds, s_.sampleRate);
  if (!n) return;
  s_.epochStep = std::clamp(*n, 1, std::max(1, s_.epochLength));
}

void EegAnalysis::apply() {
  {
    SignalLength signal(s_);
    const int rate = rateOf(s_);
    engine_.buildWindow(std::clamp(settings.windowIndex, 0, kWindowKinds - 1));
    s_.epochLength = epochItemSamples(settings.epochIndex);
    // A shift that is not a number keeps the epochs apart, as choosing an
    // epoch item does.
    const auto seconds = parseNumber(settings.shiftText);
    int step = s_.epochLength;
    if (seconds) {
      const double v = *seconds * rate + 0.5;
      step = !std::isfinite(v) || v >= s_.epochLength ? s_.epochLength : std::max(1, static_cast<int>(std::trunc(std::max(v, 0.0))));
    }
    s_.epochStep = std::clamp(step, 1, s_.epochLength);
    s_.epochCount = std::min(epochsInRecord(s_.recordLength, s_.epochLength, s_.epochStep), kMaxAnalysedEpochs);
    const auto avg = parseInteger(settings.averageText);
    int averaged = avg.value_or(0);
    if (averaged > 0) averaged -= 1;
    engine_.averagedEpochs = std::max(0, std::min(averaged, s_.epochCount - 1));

    TransformKind kind = measureTransformKind(settings.measureIndex);
    s_.transformKind = kind;
    if (isPairMeasure(kind)) {
      s_.firstShownChannel = 0;
      s_.shownChannelCount = s_.channelCount;
    }
    if (isPairMeasure(kind) && !isBandOnlyMeasure(kind) && s_.epochLength > kPairEpochMax) {
      s_.epochLength = s_.epochStep = kPairEpochMax;
      s_.epochCount = epochsInRecord(s_.recordLength, kPairEpochMax, kPairEpochMax);
      // the averaging cannot reach past the epochs there are now
      engine_.averagedEpochs = std::max(0, std::min(engine_.averagedEpochs, s_.epochCount - 1));
    }
    if ((kind == TransformKind::Coherence || kind == TransformKind::CoherentPower) && engine_.averagedEpochs < 4) {
      ui_.message(eeg_text::kCoherenceFallback);
      kind = TransformKind::CrossSpectrum;
    }
    if (keepsPairRows(kind) && s_.leadPairCount <= 0) {
      ui_.message(eeg_text::kPairFallback);
      kind = TransformKind::Amplitude;
    }
    s_.transformKind = kind;
    if (s_.dialogResult > 0 && !isExamDisplay(s_.viewMode) && kind != TransformKind::Correlation &&
        static_cast<double>(s_.epochLength) / rate < 1.0) {
      if (!ui_.ask(eeg_text::kShortEpochQuestion)) s_.dialogResult = 0;
    }
  }
  writeEegSettingsFile(settingsPath(), settings);
}

bool EegAnalysis::takeBandLimits() {
  std::string reason;
  const auto b = bandLimitsOf(s_, settings.bandIndex, reason);
  if (!b) {
    ui_.message(reason);
    return false;
  }
  chosenBandLow = b->low;
  chosenBandHigh = b->high;
  return true;
}

// --- the dispatcher -------------------------------------------------------------------------------

void runEegAnalysisWindow(EegAnalysis& eeg, const EegDispatchHooks& hooks) {
  StudyState& s = eeg.state();
  // while an examination records, the acquisition side owns the record
  if (s.acquisitionActive != 0) return;
  if (s.viewMode == ViewMode::Transform) {
    s.leaveTransformView();
    if (hooks.redraw) hooks.redraw();
  }
  s.dialogResult = kEegNoChoice;
  s.currentBand = 0;
  s.bandMode = 0;
  if (hooks.showWindow) hooks.showWindow(eeg);
  if (s.transformKind == TransformKind::Correlation && s.dialogResult > 1) s.dialogResult = kEegSpectra;

  const int signalLength = s.viewMode == ViewMode::Transform ? s.savedRecordLength : s.recordLength;
  if (s.epochLength > signalLength && signalLength >= 1) {
    int p = 1;
    while (p * 2 <= signalLength) p *= 2;
    s.epochLength = s.epochStep = p;
    s.epochCount = 1;
  }
  if (hooks.scoreboardLabels)
    hooks.scoreboardLabels(s.dialogResult == kEegSpectra && hasFrequencyAxis(s.transformKind));

  if (s.transformKind == TransformKind::Envelope && s.dialogResult <= 0) return;
  s.lockedZoom = false;
  switch (s.dialogResult) {
    case kEegSpectra: {
      if (isBandOnlyMeasure(s.transformKind)) break;
      std::string problem;
      bool shown = false;
      if (hooks.showSpectra) {
        shown = hooks.showSpectra(problem);
      } else {
        shown = showEpochSpectra(eeg.engine(), s, hooks.usableWidth ? hooks.usableWidth() : s.monitorWidth, problem);
      }
      if (!shown) {
        if (!problem.empty()) eeg.interaction().message(problem);
        if (hooks.redraw) hooks.redraw();
        return;
      }
      s.lockedZoom = true;
      if (hooks.redraw) hooks.redraw();
      break;
    }
    case kEegBandDiagrams:
    case kEegEpochMaps:
      if (s.bandCount <= 0) {
        eeg.interaction().message(spectral_text::kNoBands);
        s.viewMode = ViewMode::Signals;
        return;
      }
      if (!hooks.bandDiagrams) {
        eeg.interaction().message(eeg_text::kNotYet);
        return;
      }
      hooks.bandDiagrams(s.dialogResult == kEegEpochMaps ? ViewMode::EpochMaps : ViewMode::BandDiagrams);
      break;
    case kEegBackToSignals:
      if (s.viewMode == ViewMode::Transform) {
        s.leaveTransformView();
        if (hooks.redraw) hooks.redraw();
      }
      break;
    case kEegNoChoice:
      if (hooks.redraw) hooks.redraw();
      break;
    default:
      // the pair analyses and localisation come with their own windows
      eeg.interaction().message(eeg_text::kNotYet);
      return;
  }
  if (hooks.click) hooks.click();
}

}  // namespace velor
