#include "eeg/eeg_analysis.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/electrode_sites.h"
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

namespace {


// A code for a value in units of `step` around `zero`, never the mark code
// (4096 in a signal channel is a person's mark, not a value).
std::int16_t codeOf(double value, double step, long zero) {
  long r = std::lround(value / step) + zero;
  r = std::clamp<long>(r, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
  if (r == kMarkCode) r = value / step + zero >= kMarkCode ? kMarkCode + 1 : kMarkCode - 1;
  return static_cast<std::int16_t>(r);
}

// calibUnits and calibValue for a step of at least `microvolts` per code.
std::pair<std::uint16_t, std::uint16_t> calibrationAtLeast(double microvolts) {
  for (long units = 65535; units >= 1; units = units > 64 ? units / 2 : units - 1) {
    const double value = std::ceil(microvolts * static_cast<double>(units));
    if (value >= 1 && value <= 65535) return {static_cast<std::uint16_t>(units), static_cast<std::uint16_t>(value)};
  }
  return {1, 65535};
}

// The longitudinal bipolar chains ("double banana"), front to back, then the midline.
constexpr std::array<std::array<const char*, 2>, 18> kLongitudinalPairs = {{
    {"Fp1", "F7"}, {"F7", "T3"}, {"T3", "T5"}, {"T5", "O1"},
    {"Fp2", "F8"}, {"F8", "T4"}, {"T4", "T6"}, {"T6", "O2"},
    {"Fp1", "F3"}, {"F3", "C3"}, {"C3", "P3"}, {"P3", "O1"},
    {"Fp2", "F4"}, {"F4", "C4"}, {"C4", "P4"}, {"P4", "O2"},
    {"Fz", "Cz"},  {"Cz", "Pz"},
}};

}  // namespace

int standardBipolarPairs(const StudyState& s, std::vector<std::array<std::uint8_t, 2>>& pairs) {
  pairs.clear();
  auto channelOf = [&](const char* name) {
    const auto site = electrodeSiteNamed(name);
    for (int c = 0; site && c < std::clamp(s.channelCount, 0, kMaxChannels); ++c) {
      if (!s.isEegChannel(c)) continue;
      const auto own = electrodeSiteOfLabel(s.channelNames[static_cast<std::size_t>(c)]);
      if (own && own->x == site->x && own->y == site->y) return c + 1;
    }
    return 0;
  };
  for (const auto& [first, second] : kLongitudinalPairs) {
    const int a = channelOf(first), b = channelOf(second);
    if (a > 0 && b > 0 && static_cast<int>(pairs.size()) < kMaxLeadPairs)
      pairs.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  }
  return static_cast<int>(pairs.size());
}

bool bipolarMontage(StudyState& s, std::string& reason) {
  if (!haveSignals(s, reason)) return false;
  const int n = recordLengthOf(s);
  int pairs = std::min(s.leadPairCount, kMaxLeadPairs);
  std::vector<std::array<std::uint8_t, 2>> chosen;
  if (pairs > 0) {
    for (int p = 0; p < pairs; ++p) chosen.push_back(s.leadPairs[static_cast<std::size_t>(p)]);
  } else if (standardBipolarPairs(s, chosen) == 0) {
    reason = eeg_text::kNoPairs;
    return false;
  }
  pairs = static_cast<int>(chosen.size());
  for (const auto& pair : chosen) {
    const int a = pair[0] - 1, b = pair[1] - 1;
    if (a < 0 || b < 0 || a >= s.channelCount || b >= s.channelCount || a == b) {
      reason = eeg_text::kBadPair;
      return false;
    }
  }
  // Differences in microvolts: the two leads may carry different scales.
  // Each pair keeps the step of its first lead unless its differences would
  // not fit the codes; then the step grows until they do.
  const auto un = static_cast<std::size_t>(n);
  std::vector<double> diff(static_cast<std::size_t>(pairs) * un);
  std::vector<std::uint16_t> units(static_cast<std::size_t>(pairs)), values(static_cast<std::size_t>(pairs));
  constexpr long kZero = 2048;
  for (int p = 0; p < pairs; ++p) {
    const int a = chosen[static_cast<std::size_t>(p)][0] - 1, b = chosen[static_cast<std::size_t>(p)][1] - 1;
    const double ka = s.microvoltsPerCode(a), kb = s.microvoltsPerCode(b);
    const long za = s.zeroLevel[a], zb = s.zeroLevel[b];
    const std::int16_t* xa = s.channelData[static_cast<std::size_t>(a)];
    const std::int16_t* xb = s.channelData[static_cast<std::size_t>(b)];
    double* d = diff.data() + static_cast<std::size_t>(p) * un;
    double peak = 0;
    for (int i = 0; i < n; ++i) {
      d[i] = ka == kb ? static_cast<double>((xa[i] - za) - (xb[i] - zb)) * ka
                      : static_cast<double>(xa[i] - za) * ka - static_cast<double>(xb[i] - zb) * kb;
      peak = std::max(peak, std::fabs(d[i]));
    }
    units[static_cast<std::size_t>(p)] = s.calibUnits[a];
    values[static_cast<std::size_t>(p)] = s.calibValue[a];
    constexpr double kRoom = 32767 - kZero - 1;
    if (peak / ka > kRoom) std::tie(units[static_cast<std::size_t>(p)], values[static_cast<std::size_t>(p)]) = calibrationAtLeast(peak / kRoom);
  }
  for (int p = 0; p < pairs; ++p) {
    const auto up = static_cast<std::size_t>(p);
    const int a = chosen[up][0] - 1;
    const bool ownStep = units[up] == s.calibUnits[a] && values[up] == s.calibValue[a];
    const double step = static_cast<double>(values[up]) / std::max<std::uint16_t>(1, units[up]);
    const double ka = s.microvoltsPerCode(a);
    std::int16_t* out = s.channelData[up];
    const double* d = diff.data() + up * un;
    for (int i = 0; i < n; ++i) out[i] = ownStep ? codeOf(d[i] / ka, 1.0, kZero) : codeOf(d[i], step, kZero);
    s.calibUnits[p] = units[up];
    s.calibValue[p] = values[up];
    s.zeroLevel[p] = static_cast<std::uint16_t>(kZero);
    s.channelPosX[up] = 0;  // a pair of EEG leads is EEG
  }
  for (auto& lp : s.leadPairs) lp = {0, 0};
  for (int p = 0; p < pairs; ++p) s.leadPairs[static_cast<std::size_t>(p)] = chosen[static_cast<std::size_t>(p)];
  s.leadPairCount = pairs;
  s.channelCount = pairs;
  s.shownChannelCount = pairs;
  s.firstShownChannel = 0;
  s.currentChannelRow = std::min(s.currentChannelRow, pairs - 1);
  s.referenceKind = 6;
  return true;
}

bool commonAverageReference(StudyState& s, std::string& reason) {
  if (!haveSignals(s, reason)) return false;
  const int n = recordLengthOf(s), c = s.channelCount;
  std::vector<int> eeg;
  for (int k = 0; k < c; ++k)
    if (s.isEegChannel(k)) eeg.push_back(k);
  if (eeg.empty()) {
    reason = eeg_text::kNoEegChannels;
    return false;
  }
  std::vector<double> step;
  bool common = true;
  for (int k : eeg) {
    step.push_back(s.microvoltsPerCode(k));
    common = common && step.back() == step.front();
  }
  const double count = static_cast<double>(eeg.size());
  for (int i = 0; i < n; ++i) {
    // The mean in microvolts; on one common scale it is the mean of the codes.
    double sum = 0;
    for (std::size_t j = 0; j < eeg.size(); ++j) {
      const int k = eeg[j];
      const double v = s.channelData[static_cast<std::size_t>(k)][i] - static_cast<double>(s.zeroLevel[k]);
      sum += common ? v : v * step[j];
    }
    const double mean = sum / count;
    for (std::size_t j = 0; j < eeg.size(); ++j) {
      const int k = eeg[j];
      std::int16_t& x = s.channelData[static_cast<std::size_t>(k)][i];
      const long a = static_cast<long>(std::trunc((common ? mean : mean / step[j]) + 0.5));
      // Each channel keeps its own zero: a page whose codes fill 16 bits
      // around 0 would lose its top if it were moved to 2048.
      x = clampSample(x - a);
    }
  }
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
  } else {
    // the remembered epoch item and shift become the grid, so that "N=" counts
    // the epochs the window shows rather than whatever grid was left before
    const std::string shift = settings.shiftText;
    chooseEpoch(settings.epochIndex);
    editShift(shift);
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
