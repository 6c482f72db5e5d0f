#include "eeg/eeg_report.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/numtext.h"
#include "eeg/eeg_report_rules.h"
#include "eeg/eeg_report_texts.h"
#include "eeg/fft_filter.h"

namespace velor {

namespace txt = eeg_report_text;

namespace {

enum Band : int { kDelta = 0, kTheta = 1, kAlpha = 2, kBetaOne = 3 };
enum Lead : int { kF3 = 0, kF4, kC3, kC4, kP3, kP4, kO1, kO2 };

// The occipital alpha band of the period analysis, in hundredths of a hertz.
constexpr int kAlphaLowHundredths = 800;
constexpr int kAlphaHighHundredths = 1400;

// The Hann window: a sine's squared bin amplitudes then sum to the same
// power wherever it falls between bins, and little leaks into the next band.
constexpr int kReportWindow = 1;

// A lead's own value against the mean of the other seven leads, and one lead
// of a pair against the other: beyond these factors it is listed.
constexpr double kFocalLow = 0.75;
constexpr double kFocalHigh = 1.25;
constexpr double kAsymmetry = 1.25;

std::string trimmed(const std::string& s) { return trimSpaces(s); }

// Channel of each standard lead, or −1.
std::array<int, kReportLeads> findLeads(const StudyState& s) {
  std::array<int, kReportLeads> at;
  at.fill(-1);
  const int channels = std::clamp(s.channelCount, 0, kMaxChannels);
  for (int l = 0; l < kReportLeads; ++l)
    for (int c = 0; c < channels; ++c)
      if (trimmed(s.channelNames[static_cast<std::size_t>(c)]) == txt::kLeads[l]) {
        at[static_cast<std::size_t>(l)] = c;
        break;
      }
  return at;
}

int codeAmong(double v, std::initializer_list<double> thresholds) {
  int code = 1;
  for (double t : thresholds)
    if (v >= t) ++code;
  return code;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += separator;
    out += items[i];
  }
  return out;
}

}  // namespace

// The coding of the six features.
//
// Band values: for every lead and each of the four bands the band amplitude
// in µV peak to peak, as a clinician reads the height of a wave: the sine
// that carries the band's power P (µV², see eegReport) has the height
// 2√2 √P. Amplitudes of different bands add as powers, never as heights (a
// sum of bin or band amplitudes grows with the band's width), so:
//  - bandMean: the band amplitude averaged over the eight leads;
//  - sharePercent: the band's part of the power of the four bands
//    (relative power), the mean of the eight leads' squared amplitudes.
//
//  - Main component: the band with the largest share of the power (beta1 1,
//    alpha 2, theta 3, delta 4); 5 (mixed) when the runner-up's share
//    reaches kMixedRunnerUp of it, i.e. no band clearly leads.
//  - Amplitude: the mean over the eight leads of the lead amplitude, the
//    height of the sine carrying the lead's power in the four bands,
//    2√2 √(Σ P) = √(Σ band amplitude²); codes 1..5 from 10, 25, 45 and
//    80 µV peak to peak (very low below 10 µV, medium 25..45 µV, as the
//    usual 30..50 µV alpha of a waking adult).
//  - Alpha characteristic, from the period analysis of O1 and O2 in 8..14 Hz
//    (rhythm share, modulation and instability averaged over the two leads):
//    rhythm share below 5 % → 1 (absent), below 10 % → 2 (single waves, rare
//    groups); a wave counts only when it stands out of the lead's other
//    activity (see eegReport). Otherwise the instability is set against
//    half the mean absolute difference that periods scattered at random
//    over the band would show, (Tmax − Tmin) / 6 (the filter and the
//    smoothing before the scan keep even a random rhythm well below the
//    full figure): from 0.9 of it → 7 (sharply disorganised), from 0.63 → 6
//    (markedly disorganised). A steadier rhythm is judged by its
//    modulation: at least 20 % → 3 (regular, modulated), below 10 % → 4
//    (regular, not modulated), in between → 5 (slightly disorganised).
//  - Zonal differences: 1 when the alpha characteristic is below 3; else the
//    alpha amplitude where the alpha is largest at the back of the head (the
//    larger of O1 and O2; a one-sided difference is the asymmetry line's
//    business) over the mean of F3 and F4: ≥ 3 → 2 (good), ≥ 1.5 → 3
//    (slightly smoothed), lower → 4; no frontal alpha at all counts as good.
//  - Beta1 activity: the beta1 share of the power, ≥ 6 % → 2, ≥ 15 % → 3,
//    ≥ 31 % → 4, else 1. A waking adult at rest keeps about a tenth of the
//    four bands' power in beta1 (the healthy resting recordings of eegmat
//    11..13 %), which a clinician reads as little beta, not much.
//  - Slow-wave activity: theta and delta are graded apart by their power
//    shares, delta from higher shares since eye movements and the 1/f
//    background put a fifth to a quarter of a waking adult's power into
//    0.5..4 Hz: theta weak from 15 %, moderate from 25 %, strong from 40 %;
//    delta weak from 30 %, moderate from 40 %, strong from 55 %. The band
//    with the higher grade names the code (delta on a tie, the graver
//    finding): grade 0 → 1 (practically absent), theta 2, 4, 6, delta 3, 5, 7.
namespace {
constexpr double kMixedRunnerUp = 0.8;

}  // namespace

ReportFeatures codeFeatures(const ReportMeasures& m, ReportDerived* derivedOut) {
  ReportDerived d;
  ReportFeatures f;
  // Squared amplitudes stand for the powers (the factor 8 between them cancels).
  std::array<double, kReportBands> power{};
  double total = 0;
  for (int b = 0; b < kReportBands; ++b) {
    double sum = 0, squares = 0;
    for (int l = 0; l < kReportLeads; ++l) {
      const double a = m.band[static_cast<std::size_t>(l)][static_cast<std::size_t>(b)];
      sum += a;
      squares += a * a;
    }
    d.bandMean[static_cast<std::size_t>(b)] = sum / kReportLeads;
    power[static_cast<std::size_t>(b)] = squares / kReportLeads;
    total += power[static_cast<std::size_t>(b)];
  }
  for (int b = 0; b < kReportBands; ++b)
    d.sharePercent[static_cast<std::size_t>(b)] = total > 0 ? power[static_cast<std::size_t>(b)] / total * 100 : 0;

  // Main component.
  {
    std::array<int, kReportBands> order{kDelta, kTheta, kAlpha, kBetaOne};
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
      return d.sharePercent[static_cast<std::size_t>(a)] > d.sharePercent[static_cast<std::size_t>(b)];
    });
    static constexpr int kCodeOfBand[kReportBands] = {4, 3, 2, 1};
    const double first = d.sharePercent[static_cast<std::size_t>(order[0])];
    const double second = d.sharePercent[static_cast<std::size_t>(order[1])];
    f.code[kMain] = first > 0 && second < kMixedRunnerUp * first ? kCodeOfBand[order[0]] : 5;
  }

  // Amplitude.
  {
    // The heights of the bands add as powers.
    double sum = 0;
    for (int l = 0; l < kReportLeads; ++l) {
      double squares = 0;
      for (int b = 0; b < kReportBands; ++b) {
        const double a = m.band[static_cast<std::size_t>(l)][static_cast<std::size_t>(b)];
        squares += a * a;
      }
      sum += std::sqrt(squares);
    }
    d.meanAmplitude = sum / kReportLeads;
    f.code[kAmplitudeFeature] = codeAmong(d.meanAmplitude, {10, 25, 45, 80});
  }

  // Alpha characteristic.
  {
    d.rhythmPercent = (m.occipital[0].rhythmPercent + m.occipital[1].rhythmPercent) / 2.0;
    d.modulationPercent = (m.occipital[0].modulationPercent + m.occipital[1].modulationPercent) / 2.0;
    const double instability = (m.occipital[0].instabilitySamples + m.occipital[1].instabilitySamples) / 2.0;
    const double scatter = (m.alphaLimits.tMax - m.alphaLimits.tMin) / 6.0;
    d.instabilityRatio = scatter > 0 ? instability / scatter : 0;
    int code;
    if (d.rhythmPercent < 5)
      code = 1;
    else if (d.rhythmPercent < 10)
      code = 2;
    else if (d.instabilityRatio >= 0.9)
      code = 7;
    else if (d.instabilityRatio >= 0.63)
      code = 6;
    else if (d.modulationPercent >= 20)
      code = 3;
    else if (d.modulationPercent < 10)
      code = 4;
    else
      code = 5;
    f.code[kAlphaFeature] = code;
  }

  // Zonal differences.
  {
    const double posterior = std::max(m.band[kO1][kAlpha], m.band[kO2][kAlpha]);
    const double anterior = (m.band[kF3][kAlpha] + m.band[kF4][kAlpha]) / 2;
    d.zonalRatio = anterior > 0 ? posterior / anterior : 0;
    if (f.code[kAlphaFeature] < 3)
      f.code[kZonal] = 1;
    else if (anterior <= 0 || d.zonalRatio >= 3)
      f.code[kZonal] = 2;
    else if (d.zonalRatio >= 1.5)
      f.code[kZonal] = 3;
    else
      f.code[kZonal] = 4;
  }

  f.code[kBeta1] = codeAmong(d.sharePercent[kBetaOne], {6, 15, 31});

  // Slow-wave activity.
  {
    const int theta = codeAmong(d.sharePercent[kTheta], {15, 25, 40}) - 1;  // 0..3
    const int delta = codeAmong(d.sharePercent[kDelta], {30, 40, 55}) - 1;
    if (theta == 0 && delta == 0)
      f.code[kSlow] = 1;
    else if (delta >= theta)
      f.code[kSlow] = 2 * delta + 1;
    else
      f.code[kSlow] = 2 * theta;
  }

  if (derivedOut) *derivedOut = d;
  return f;
}

int matchRule(const ReportFeatures& f, int* degreeOut) {
  for (int r = 0; r < eeg_report_rules::kRuleCount; ++r) {
    const auto& rule = eeg_report_rules::kRules[static_cast<std::size_t>(r)];
    bool holds = true;
    for (int k = 0; k < kFeatureCount && holds; ++k)
      holds = f.code[static_cast<std::size_t>(k)] >= rule.low[k] && f.code[static_cast<std::size_t>(k)] <= rule.high[k];
    if (holds) {
      if (degreeOut) *degreeOut = rule.degree;
      return r + 1;
    }
  }
  if (degreeOut) *degreeOut = 1;
  return 0;
}

std::vector<std::string> focalLines(const ReportMeasures& m) {
  std::vector<std::string> depression, activity, asymmetry;
  for (int b = 0; b < kReportBands; ++b) {
    std::vector<std::string> low, high;
    for (int l = 0; l < kReportLeads; ++l) {
      const double own = m.band[static_cast<std::size_t>(l)][static_cast<std::size_t>(b)];
      double others = 0;
      for (int k = 0; k < kReportLeads; ++k)
        if (k != l) others += m.band[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)];
      others /= kReportLeads - 1;
      // Without activity in the other seven leads there is no ratio: a
      // lead that alone carries the band is active, and a band empty
      // everywhere shows nothing.
      if (others <= 0) {
        if (own > 0) high.push_back(txt::kLeads[l]);
        continue;
      }
      const double ratio = own / others;
      if (ratio < kFocalLow) low.push_back(txt::kLeads[l]);
      if (ratio > kFocalHigh) high.push_back(txt::kLeads[l]);
    }
    const std::string& name = m.bandNames[static_cast<std::size_t>(b)];
    if (!low.empty()) depression.push_back(name + ":" + joined(low, ","));
    if (!high.empty()) activity.push_back(name + ":" + joined(high, ","));

    std::vector<std::string> pairs;
    for (int p = 0; p < kReportLeads; p += 2) {
      const double a = m.band[static_cast<std::size_t>(p)][static_cast<std::size_t>(b)];
      const double c = m.band[static_cast<std::size_t>(p + 1)][static_cast<std::size_t>(b)];
      // a / c above 1.25 or below 1 / 1.25, without dividing by nothing.
      const bool uneven = a > kAsymmetry * c || c > kAsymmetry * a;
      if (uneven) pairs.push_back(std::string(txt::kLeads[p]) + "-" + txt::kLeads[p + 1]);
    }
    if (!pairs.empty()) asymmetry.push_back(name + ":" + joined(pairs, ","));
  }
  if (depression.empty() && activity.empty() && asymmetry.empty())
    return {std::string(txt::kFocal) + txt::kNoFocal};
  std::vector<std::string> out{txt::kFocal};
  if (!depression.empty()) out.push_back(std::string(txt::kDepression) + " " + joined(depression, " "));
  if (!activity.empty()) out.push_back(std::string(txt::kActivity) + " " + joined(activity, " "));
  if (!asymmetry.empty()) out.push_back(std::string(txt::kAsymmetry) + joined(asymmetry, " "));
  return out;
}

std::vector<std::string> reportLines(const ReportFeatures& f, int degree, const ReportMeasures& m) {
  auto phrase = [](const char* const* table, int size, int code) {
    return table[std::clamp(code, 1, size) - 1];
  };
  std::vector<std::string> lines;
  lines.push_back(std::string(txt::kDegreeCategory) + phrase(txt::kDegreePhrases, 7, degree));
  lines.push_back(std::string(txt::kMainCategory) + phrase(txt::kMainPhrases, 5, f.code[kMain]));
  lines.push_back(std::string(txt::kAmplitudeCategory) + phrase(txt::kAmplitudePhrases, 5, f.code[kAmplitudeFeature]));
  if (f.code[kMain] == 2) {
    lines.push_back(std::string(txt::kAlphaCategory) + phrase(txt::kAlphaPhrases, 7, f.code[kAlphaFeature]));
    lines.push_back(std::string(txt::kZonalCategory) + phrase(txt::kZonalPhrases, 4, f.code[kZonal]));
  }
  lines.push_back(std::string(txt::kBeta1Category) + phrase(txt::kBeta1Phrases, 4, f.code[kBeta1]));
  lines.push_back(std::string(txt::kSlowCategory) + phrase(txt::kSlowPhrases, 7, f.code[kSlow]));
  for (auto& l : focalLines(m)) lines.push_back(std::move(l));
  return lines;
}

EegReport eegReport(SpectralEngine& engine, StudyState& s) {
  EegReport r;
  const auto leads = findLeads(s);
  for (int c : leads)
    if (c < 0) {
      r.problem = txt::kBadLeads;
      return r;
    }
  if (s.sampleRate <= 0) {
    r.problem = txt::kBadRate;
    return r;
  }
  if (s.recordLength < kReportMinSamples) {
    r.problem = std::string(txt::kShortRecord) + std::to_string(kReportMinSamples / s.sampleRate) + txt::kShortRecordEnd;
    return r;
  }
  if (s.bandCount <= 0) {
    r.problem = txt::kNoBands;
    return r;
  }
  // Only the transform view parks the signals; the map states keep them.
  if (s.viewMode == ViewMode::Transform) {
    r.problem = txt::kTransformViewOn;
    return r;
  }
  if (s.bandCount < kReportBands) {
    r.problem = txt::kTooFewBands;
    return r;
  }
  // The band measures are kept for every channel row of the result store;
  // a lead beyond those rows (28 channels count as 20) would read nothing.
  // (The report's measures are of single channels, whatever kind was shown.)
  const int rows = s.channelCount == 28 ? 20 : s.channelCount == 44 ? 36 : s.channelCount;
  for (int c : leads)
    if (c >= rows) {
      r.problem = txt::kBadLeads;
      return r;
    }
  // A lead without any change over the record (electrode off, amplifier
  // saturated) gives no picture of the EEG.
  for (int l = 0; l < kReportLeads; ++l) {
    const std::int16_t* x = s.channel(leads[static_cast<std::size_t>(l)]);
    const auto [lo, hi] = std::minmax_element(x, x + s.recordLength);
    if (*lo == *hi) {
      r.problem = std::string(txt::kFlatLead) + txt::kLeads[l] + txt::kFlatLeadEnd;
      return r;
    }
  }
  // Band widths in bins of a 512-sample epoch, as the band measures take them.
  std::array<int, kReportBands> bins{};
  for (int b = 0; b < kReportBands; ++b) {
    int lo = 0, hi = 0;
    const double rate = s.sampleRate;
    bool usable = bandLimitsHundredths(s, b, lo, hi) && hi > lo;
    if (usable) {
      const int half = kReportEpochLength / 2;
      int first = static_cast<int>(std::min<double>(half, std::trunc(kReportEpochLength * lo / 100.0 / rate + 0.5)));
      const int last = static_cast<int>(std::min<double>(half, std::trunc(kReportEpochLength * hi / 100.0 / rate + 0.5)));
      if (first == 0) first = 1;
      bins[static_cast<std::size_t>(b)] = last - first + 1;
      usable = last > first;
    }
    if (!usable) {
      r.problem = std::string(txt::kBadBand) + trimmed(s.bandTable[static_cast<std::size_t>(b)].name) + txt::kBadBandEnd;
      return r;
    }
    r.measures.bandNames[static_cast<std::size_t>(b)] = trimmed(s.bandTable[static_cast<std::size_t>(b)].name);
  }

  // Band measures of every epoch.
  {
    SpectralSettingsGuard saved(s, engine);
    const std::size_t powerLines = engine.powerLines.size();
    s.epochLength = s.epochStep = kReportEpochLength;
    s.epochCount = s.recordLength / kReportEpochLength;
    s.bandMode = 0;
    s.transformKind = TransformKind::Power;
    engine.averagedEpochs = 0;
    engine.firstBandBins = {0, 0};
    engine.buildWindow(kReportWindow);
    for (int e = 0; e < s.epochCount; ++e) {
      if (engine.epochSpectra(s, e * kReportEpochLength, e) < 0) {
        r.problem = txt::kNoSpectra;
        engine.powerLines.resize(powerLines);
        return r;
      }
    }
    // the report's own power lines are no band analysis of the person's
    engine.powerLines.resize(powerLines);
    for (int l = 0; l < kReportLeads; ++l)
      for (int b = 0; b < kReportBands; ++b) {
        // The power band measure is the band's mean squared bin amplitude
        // in µV² (a sine of amplitude A shows 2A in its bin without a
        // window). Over the band's bins the squares of a Hann-windowed
        // epoch sum to 8 × 3/8 (the window's mean square) = 3 times the
        // band's power; the sine carrying that power is 2√2 √P high.
        double sum = 0;
        for (int e = 0; e < s.epochCount; ++e) sum += s.resultValue(b, leads[static_cast<std::size_t>(l)], e);
        const double power = sum / s.epochCount * bins[static_cast<std::size_t>(b)] / 3.0;
        r.measures.band[static_cast<std::size_t>(l)][static_cast<std::size_t>(b)] =
            2.0 * std::sqrt(2.0) * std::sqrt(std::max(0.0, power));
      }
  }
  for (int l = 0; l < kReportLeads; ++l) {
    double lead = 0;
    for (double v : r.measures.band[static_cast<std::size_t>(l)]) lead += v;
    if (!(lead > 0)) {
      r.problem = std::string(txt::kFlatLead) + txt::kLeads[l] + txt::kFlatLeadEnd;
      return r;
    }
  }

  // The occipital alpha, on filtered copies of O1 and O2.
  if (!periodLimits(s.sampleRate, kAlphaLowHundredths, kAlphaHighHundredths, r.measures.alphaLimits)) {
    r.problem = txt::kBadRate;
    return r;
  }
  std::vector<std::int16_t> copy(static_cast<std::size_t>(s.recordLength));
  for (int k = 0; k < 2; ++k) {
    const int c = leads[static_cast<std::size_t>(kO1 + k)];
    std::copy(s.channel(c), s.channel(c) + s.recordLength, copy.begin());
    fftFilterTrace(engine, FftFilterKind::kBandPass, copy.data(), s.recordLength, s.zeroLevel[c],
                   kAlphaLowHundredths / 100.0 / s.sampleRate, kAlphaHighHundredths / 100.0 / s.sampleRate);
    const double microvolts = s.microvoltsPerCode(c);
    std::vector<PeriodWave> waves;
    periodAnalysis(copy.data(), s.recordLength, r.measures.alphaLimits, s.sampleRate, microvolts, &waves);
    // The band-pass turns any activity into regular waves of the band; a
    // wave counts as alpha rhythm only when it stands out of the lead's
    // other activity: its height (peak to trough) at least the height of
    // the lead's delta, theta and beta1 together (their powers added).
    const auto& band = r.measures.band[static_cast<std::size_t>(kO1 + k)];
    const double other = std::sqrt(band[kDelta] * band[kDelta] + band[kTheta] * band[kTheta] +
                                   band[kBetaOne] * band[kBetaOne]);
    for (PeriodWave& w : waves)
      if (w.amplitude * microvolts < other) w.accepted = false;
    markRhythmRuns(waves);
    r.measures.occipital[static_cast<std::size_t>(k)] =
        summarisePeriods(waves, s.recordLength, r.measures.alphaLimits, s.sampleRate, microvolts);
  }

  r.features = codeFeatures(r.measures, &r.derived);
  r.rule = matchRule(r.features, &r.degree);
  r.lines = reportLines(r.features, r.degree, r.measures);
  return r;
}

}  // namespace velor
