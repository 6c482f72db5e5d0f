// The clinical EEG report on recordings whose rhythms are built here: the
// coded features, the rule found, and the lines of the report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "core/study_state.h"
#include "eeg/band_table.h"
#include "eeg/eeg_report.h"
#include "eeg/eeg_report_rules.h"
#include "eeg/eeg_report_texts.h"
#include "eeg/spectral.h"
#include "tools/demo_study.h"

namespace velor {
namespace {

namespace txt = eeg_report_text;
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr int kRate = 250;
constexpr std::uint16_t kCalib = 200;  // µV at 2047 codes

// One rhythm in one lead: frequency, amplitude in µV, and how deep its
// amplitude waxes and wanes (0 steady, 1 down to nothing) at `wax` Hz.
struct Rhythm {
  double hz = 10;
  double microvolts = 0;
  double depth = 0;
  double wax = 0.4;
  double spread = 0;  // each cycle takes a frequency drawn from hz ± spread
};

struct LeadSignal {
  std::vector<Rhythm> rhythms;
};

// Recording of the eight standard leads (F3 F4 C3 C4 P3 P4 O1 O2, in that
// order, unless `names` says otherwise) at 250 Hz with seeded white noise
// of `noise` µV (standard deviation), calibrated 200 µV per 2047 codes.
void buildRecord(StudyState& s, const std::array<LeadSignal, 8>& leads, double noise, int samples,
                 std::uint32_t seed, std::array<const char*, 8> names = {"F3", "F4", "C3", "C4", "P3", "P4", "O1", "O2"},
                 double jitter = 0) {
  s.initMonitorDefaults();
  s.sampleRate = kRate;
  s.channelCount = s.shownChannelCount = 8;
  s.recordLength = s.savedRecordLength = s.plannedRecordLength = samples;
  s.viewMode = ViewMode::Signals;
  for (int c = 0; c < 8; ++c) {
    s.channelNames[static_cast<std::size_t>(c)] = names[static_cast<std::size_t>(c)];
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 2047;
    s.calibValue[c] = kCalib;
  }
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  for (int c = 0; c < 8; ++c) {
    // Each rhythm's phase drifts by a small random walk when jitter is set,
    // which makes its periods irregular.
    const auto& rhythms = leads[static_cast<std::size_t>(c)].rhythms;
    std::vector<double> phase(rhythms.size()), hz(rhythms.size());
    for (auto& p : phase) p = std::uniform_real_distribution<double>(0, kTwoPi)(rng);
    for (std::size_t k = 0; k < rhythms.size(); ++k) hz[k] = rhythms[k].hz;
    for (int i = 0; i < samples; ++i) {
      const double t = static_cast<double>(i) / kRate;
      double v = noise * gauss(rng);
      std::size_t k = 0;
      for (const Rhythm& r : leads[static_cast<std::size_t>(c)].rhythms) {
        phase[k] += kTwoPi * hz[k] / kRate + jitter * gauss(rng);
        if (phase[k] >= kTwoPi) {
          phase[k] -= kTwoPi;
          if (r.spread > 0) hz[k] = std::uniform_real_distribution<double>(r.hz - r.spread, r.hz + r.spread)(rng);
        }
        const double envelope = 1 - r.depth * (0.5 + 0.5 * std::cos(kTwoPi * r.wax * t));
        v += r.microvolts * envelope * std::sin(phase[k]);
        ++k;
      }
      const double code = std::round(2048 + v * 2047 / kCalib);
      s.channel(c)[i] = static_cast<std::int16_t>(std::clamp(code, 0.0, 4095.0));
    }
  }
  installDefaultBands(s);
  updateBandCount(s);
}

std::array<LeadSignal, 8> normalLeads() {
  // Posterior alpha waxing and waning, weak frontally; a little beta and theta.
  const double alpha[8] = {6, 6, 12, 12, 25, 25, 45, 45};
  std::array<LeadSignal, 8> l;
  for (int c = 0; c < 8; ++c)
    l[static_cast<std::size_t>(c)].rhythms = {{10, alpha[c], 0.6, 1.2}, {17, 2}, {6, 3}};
  return l;
}

// Measures with the same band values {delta, theta, alpha, beta1} in every
// lead and an occipital rhythm as given (Tmin 18, Tmax 31 at 250 Hz).
ReportMeasures measures(std::array<double, 4> bands, double rhythm = 50, double modulation = 25,
                        double instability = 0) {
  ReportMeasures m;
  for (auto& lead : m.band) lead = bands;
  m.bandNames = {"Дельта", "Тета", "Альфа", "Бета1"};
  m.alphaLimits = {18, 31};
  for (auto& o : m.occipital) {
    o.rhythmPercent = static_cast<int>(rhythm);
    o.rhythmWaves = rhythm > 0 ? 10 : 0;
    o.modulationPercent = static_cast<int>(modulation);
    o.instabilitySamples = instability;
  }
  return m;
}

// Measures whose bands take the given shares (percent) of the power: band
// amplitudes are heights, so their squares are what adds up.
ReportMeasures shares(std::array<double, 4> percent) {
  for (double& p : percent) p = std::sqrt(p);
  return measures(percent);
}

struct CodeCase {
  const char* what;
  ReportMeasures m;
  int feature;
  int code;
};

TEST(EegReportCoding, EveryCodeOfEveryFeature) {
  auto zonal = [](double posterior, double anterior) {
    ReportMeasures m = measures({1, 1, 10, 1});
    for (int l : {0, 1}) m.band[static_cast<std::size_t>(l)][2] = anterior;
    for (int l : {6, 7}) m.band[static_cast<std::size_t>(l)][2] = posterior;
    return m;
  };
  // The alpha maximum at the back of the head sets the zonal difference,
  // also when it lies on one side only.
  ReportMeasures oneSided = zonal(30, 10);
  oneSided.band[6][2] = 10;  // O1 as low as the front
  // Half the scatter of random periods over 18..31 samples: 13 / 6.
  const double scatter = 13.0 / 6;
  const std::vector<CodeCase> cases{
      {"beta leads", measures({1, 1, 1, 10}), kMain, 1},
      {"alpha leads", measures({1, 1, 10, 1}), kMain, 2},
      {"theta leads", measures({1, 10, 1, 1}), kMain, 3},
      {"delta leads", measures({10, 1, 1, 1}), kMain, 4},
      {"delta and theta alike", measures({5, 5, 1, 1}), kMain, 5},
      {"runner-up at 80 %", shares({40, 5, 50, 5}), kMain, 5},
      {"runner-up below 80 %", shares({39, 5, 50, 5}), kMain, 2},
      {"5 µV", measures({0, 0, 5, 0}), kAmplitudeFeature, 1},
      {"10 µV", measures({0, 0, 10, 0}), kAmplitudeFeature, 2},
      {"30 µV", measures({0, 0, 30, 0}), kAmplitudeFeature, 3},
      {"45 µV", measures({0, 0, 45, 0}), kAmplitudeFeature, 4},
      {"100 µV", measures({0, 0, 100, 0}), kAmplitudeFeature, 5},
      {"rhythm 3 %", measures({1, 1, 10, 1}, 3), kAlphaFeature, 1},
      {"rhythm 7 %", measures({1, 1, 10, 1}, 7), kAlphaFeature, 2},
      {"modulated", measures({1, 1, 10, 1}, 60, 20), kAlphaFeature, 3},
      {"not modulated", measures({1, 1, 10, 1}, 60, 9), kAlphaFeature, 4},
      {"half modulated", measures({1, 1, 10, 1}, 60, 15), kAlphaFeature, 5},
      {"unsteady", measures({1, 1, 10, 1}, 60, 25, 0.7 * scatter), kAlphaFeature, 6},
      {"random periods", measures({1, 1, 10, 1}, 60, 25, 0.95 * scatter), kAlphaFeature, 7},
      {"no rhythm", measures({1, 1, 10, 1}, 3), kZonal, 1},
      {"posterior ×4", zonal(40, 10), kZonal, 2},
      {"no frontal alpha", zonal(40, 0), kZonal, 2},
      {"posterior ×2", zonal(20, 10), kZonal, 3},
      {"flat over the head", zonal(10, 10), kZonal, 4},
      {"beta1 3 %", shares({0, 0, 97, 3}), kBeta1, 1},
      {"beta1 8 %", shares({0, 0, 92, 8}), kBeta1, 2},
      {"beta1 20 %", shares({0, 0, 80, 20}), kBeta1, 3},
      {"beta1 40 %", shares({0, 0, 60, 40}), kBeta1, 4},
      {"little slow activity", shares({10, 10, 75, 5}), kSlow, 1},
      {"delta 28 %, usual when awake", shares({28, 10, 57, 5}), kSlow, 1},
      {"theta 18 %", shares({10, 18, 67, 5}), kSlow, 2},
      {"delta 33 %", shares({33, 10, 52, 5}), kSlow, 3},
      {"theta 30 %", shares({10, 30, 55, 5}), kSlow, 4},
      {"delta 40 %", shares({40, 10, 45, 5}), kSlow, 5},
      {"theta 45 %", shares({10, 45, 40, 5}), kSlow, 6},
      {"delta 55 %", shares({55, 10, 30, 5}), kSlow, 7},
      {"theta and delta both weak", shares({33, 18, 44, 5}), kSlow, 3},
      {"heights add as powers: 3 × 20 µV", measures({20, 20, 20, 0}), kAmplitudeFeature, 3},
      {"alpha larger on one side", oneSided, kZonal, 2},
  };
  for (const CodeCase& c : cases)
    EXPECT_EQ(codeFeatures(c.m).code[static_cast<std::size_t>(c.feature)], c.code) << c.what;
}

TEST(EegReportRules, SoundRangesAndTheFirstMatchingRuleGivesTheDegree) {
  using eeg_report_rules::kRules;
  ASSERT_EQ(eeg_report_rules::kRuleCount, 131);
  for (const auto& r : kRules)
    for (int k = 0; k < 6; ++k) EXPECT_LE(r.low[k], r.high[k]);

  struct Case {
    std::array<int, 6> codes;
    int rule;
    int degree;
  };
  const Case cases[] = {
      {{2, 3, 3, 2, 1, 1}, 1, 2},  // rule 1 (the organised normal EEG) also fits rule 2's ranges: the first wins
      {{2, 3, 4, 2, 1, 1}, 2, 2},
      {{2, 3, 3, 2, 1, 4}, 4, 3},
      {{4, 5, 1, 1, 1, 7}, 33, 6},
      {{3, 2, 1, 1, 1, 5}, 11, 4},
      {{5, 4, 2, 1, 1, 6}, 32, 5},  // rule 131 lies inside rule 32 and is never reached
  };
  for (const Case& c : cases) {
    ReportFeatures f;
    f.code = c.codes;
    int degree = -1;
    EXPECT_EQ(matchRule(f, &degree), c.rule);
    EXPECT_EQ(degree, c.degree);
  }
}

TEST(EegReportRules, NoMatchGivesDegreeOneAndStillTheFeatureLines) {
  // Find a combination no rule covers.
  ReportFeatures f;
  bool found = false;
  for (int a = 1; a <= 5 && !found; ++a)
    for (int b = 1; b <= 5 && !found; ++b)
      for (int c = 1; c <= 7 && !found; ++c)
        for (int z = 1; z <= 4 && !found; ++z)
          for (int be = 1; be <= 4 && !found; ++be)
            for (int sl = 1; sl <= 7 && !found; ++sl) {
              f.code = {a, b, c, z, be, sl};
              found = matchRule(f) == 0;
            }
  ASSERT_TRUE(found);
  int degree = -1;
  EXPECT_EQ(matchRule(f, &degree), 0);
  EXPECT_EQ(degree, 1);
  const auto lines = reportLines(f, degree, measures({1, 1, 1, 1}));
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], std::string(txt::kDegreeCategory) + txt::kDegreePhrases[0]);
  EXPECT_EQ(lines[0], "Степень нарушения ЭЭГ: не определена.");
}

TEST(EegReportLines, PhrasesAndTheLinesLeftOutWithoutAlpha) {
  ReportFeatures f;
  f.code = {2, 3, 3, 2, 2, 2};
  const auto alpha = reportLines(f, 2, measures({1, 1, 1, 1}));
  const std::vector<std::string> expected{
      "Степень нарушения ЭЭГ: норма.",
      "Главные компоненты ЭЭГ: альфа-активность",
      " с амплитудой: средняя",
      " характеристика: регулярная частота, модулированая",
      " зональные различия: хорошие",
      "Бета1-активность: мало.",
      "Медленноволновая активность: тета-активность выражена слабо.",
      "Очаговые изменения ЭЭГ: отсутствуют.",
  };
  EXPECT_EQ(alpha, expected);
  f.code = {3, 2, 1, 1, 1, 6};
  const auto theta = reportLines(f, 4, measures({1, 1, 1, 1}));
  const std::vector<std::string> expectedTheta{
      "Степень нарушения ЭЭГ: умеренная.",
      "Главные компоненты ЭЭГ: тета-активность.",
      " с амплитудой: низкая",
      "Бета1-активность: нет.",
      "Медленноволновая активность: тета-активность выражена сильно.",
      "Очаговые изменения ЭЭГ: отсутствуют.",
  };
  EXPECT_EQ(theta, expectedTheta);
}

TEST(EegReportLines, FocalChangesAndAsymmetry) {
  ReportMeasures m = measures({10, 10, 10, 10});
  m.band[2][0] = 30;  // delta at C3 three times the others
  m.band[7][2] = 6;   // alpha at O2 lower than elsewhere
  const std::vector<std::string> expected{
      "Очаговые изменения ЭЭГ:",
      " депрессия: Альфа:O2",
      " активность: Дельта:C3",
      " асимметpия: Дельта:C3-C4 Альфа:O1-O2",
  };
  EXPECT_EQ(focalLines(m), expected);
  // A band that only one lead carries: no ratio to the others, but active;
  // a band empty everywhere lists nothing.
  ReportMeasures lone = measures({0, 10, 10, 10});
  lone.band[4][0] = 5;
  const std::vector<std::string> expectedLone{
      "Очаговые изменения ЭЭГ:",
      " депрессия: Дельта:F3,F4,C3,C4,P4,O1,O2",
      " активность: Дельта:P3",
      " асимметpия: Дельта:P3-P4",
  };
  EXPECT_EQ(focalLines(lone), expectedLone);
  ReportMeasures alone = measures({0, 10, 10, 10});
  EXPECT_EQ(focalLines(alone), (std::vector<std::string>{"Очаговые изменения ЭЭГ: отсутствуют."}));
}

std::array<LeadSignal, 8> uniform(std::vector<Rhythm> rhythms) {
  std::array<LeadSignal, 8> l;
  for (auto& lead : l) lead.rhythms = rhythms;
  return l;
}

bool hasLine(const EegReport& r, const std::string& line) {
  return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
}

std::string degreeLine(int degree) {
  return std::string(txt::kDegreeCategory) + txt::kDegreePhrases[degree - 1];
}

struct RecordCase {
  const char* what;
  std::array<LeadSignal, 8> leads;
  std::array<int, 6> codes;  // 0: not checked
  int degree;
  std::vector<std::string> lines;  // among the report's lines
};

TEST(EegReport, ConstructedRecordings) {
  auto normal = normalLeads();
  for (auto& l : normal) l.rhythms[2].microvolts = 5;  // theta a little stronger, still far below the alpha
  auto slowed = normalLeads();
  for (auto& l : slowed) l.rhythms[0].hz = 7.5;
  auto asymmetric = normalLeads();
  asymmetric[5].rhythms[0].microvolts = 12;  // P4
  asymmetric[7].rhythms[0].microvolts = 20;  // O2
  auto focal = normalLeads();
  focal[2].rhythms.push_back({2, 40, 0.3, 0.5});  // a slow wave focus at C3
  const std::vector<RecordCase> cases{
      {"normal alpha",
       normal,
       {2, 3, 3, 2, 1, 1},
       2,
       {"Главные компоненты ЭЭГ: альфа-активность", " характеристика: регулярная частота, модулированая",
        " зональные различия: хорошие", "Бета1-активность: нет.", "Медленноволновая активность: практически отсутствует.",
        " депрессия: Альфа:F3,F4,C3,C4", " активность: Альфа:O1,O2"}},
      {"slowed alpha",
       slowed,
       {3, 3, 1, 1, 0, 6},
       4,
       {"Главные компоненты ЭЭГ: тета-активность.", "Медленноволновая активность: тета-активность выражена сильно."}},
      {"excess theta",
       uniform({{6, 30, 0.3, 0.7}, {10, 6, 0.5, 1}, {17, 2}}),
       {3, 4, 1, 1, 1, 6},  // a 30 µV theta is about 50 µV high: "высокая"
       4,
       {"Главные компоненты ЭЭГ: тета-активность.", "Очаговые изменения ЭЭГ: отсутствуют."}},
      {"excess delta",
       uniform({{2, 70, 0.3, 0.3}, {6, 10}, {10, 5, 0.5, 1}, {17, 2}}),
       {4, 5, 1, 1, 1, 7},
       6,
       {"Главные компоненты ЭЭГ: дельта-активность.", " с амплитудой: очень высокая",
        "Медленноволновая активность: дельта-активность выражена сильно."}},
      {"asymmetric alpha", asymmetric, {2, 0, 3, 2, 0, 0}, 0, {" асимметpия: Альфа:P3-P4,O1-O2"}},
      {"focal slow wave", focal, {2, 0, 0, 0, 0, 0}, 0, {" активность: Дельта:C3 Альфа:O1,O2", " асимметpия: Дельта:C3-C4"}},
  };
  SpectralEngine engine;
  for (const RecordCase& c : cases) {
    StudyState s;
    buildRecord(s, c.leads, 1.5, 5000, 3);
    const EegReport r = eegReport(engine, s);
    ASSERT_TRUE(r.ok()) << c.what << ": " << r.problem;
    for (int k = 0; k < 6; ++k) {
      if (c.codes[static_cast<std::size_t>(k)]) {
        EXPECT_EQ(r.features.code[static_cast<std::size_t>(k)], c.codes[static_cast<std::size_t>(k)])
            << c.what << ", feature " << k;
      }
    }
    if (c.degree) {
      EXPECT_EQ(r.degree, c.degree) << c.what;
      EXPECT_EQ(r.lines.front(), degreeLine(c.degree)) << c.what;
    }
    int degree = 0;
    EXPECT_EQ(matchRule(r.features, &degree), r.rule);
    EXPECT_EQ(degree, r.degree);
    for (const auto& line : c.lines) EXPECT_TRUE(hasLine(r, line)) << c.what << ": " << line;
    // Without alpha as the main component its two lines are left out.
    const bool alphaLines = hasLine(r, std::string(txt::kZonalCategory) + txt::kZonalPhrases[r.features.code[kZonal] - 1]);
    EXPECT_EQ(alphaLines, r.features.code[kMain] == 2) << c.what;
  }
}

TEST(EegReport, DemoStudyReadsAsNormal) {
  StudyState s;
  DemoStudyOptions o;
  setupDemoStudy(s, o);
  synthesizeDemoRecord(s, o, 0);
  installDefaultBands(s);
  SpectralEngine engine;
  const EegReport r = eegReport(engine, s);
  ASSERT_TRUE(r.ok()) << r.problem;
  EXPECT_EQ(r.features.code[kMain], 2);
  EXPECT_EQ(r.degree, 2);
  EXPECT_EQ(r.lines.front(), "Степень нарушения ЭЭГ: норма.");
  EXPECT_TRUE(hasLine(r, " зональные различия: хорошие"));
}

TEST(EegReport, LeavesTheRecordAndTheSettingsAsTheyWere) {
  StudyState s;
  buildRecord(s, normalLeads(), 1.5, 5000, 3);
  s.viewMode = ViewMode::BandDiagrams;  // band diagrams of a pair measure shown: the signals stay where they are
  s.leadPairCount = 2;
  s.leadPairs[0] = {1, 2};
  s.leadPairs[1] = {7, 8};
  s.epochLength = 256;
  s.epochStep = 128;
  s.epochCount = 37;
  s.currentEpoch = 5;
  s.bandMode = 3;
  s.transformKind = TransformKind::Coherence;
  std::vector<std::int16_t> before;
  for (int c = 0; c < 8; ++c) before.insert(before.end(), s.channel(c), s.channel(c) + 5000);
  SpectralEngine engine;
  engine.averagedEpochs = 2;
  engine.buildWindow(3);
  engine.firstBandBins = {4, 9};
  const EegReport r = eegReport(engine, s);
  ASSERT_TRUE(r.ok()) << r.problem;
  std::vector<std::int16_t> after;
  for (int c = 0; c < 8; ++c) after.insert(after.end(), s.channel(c), s.channel(c) + 5000);
  EXPECT_EQ(before, after);
  EXPECT_EQ(s.epochLength, 256);
  EXPECT_EQ(s.epochStep, 128);
  EXPECT_EQ(s.epochCount, 37);
  EXPECT_EQ(s.currentEpoch, 5);
  EXPECT_EQ(s.bandMode, 3);
  EXPECT_EQ(s.transformKind, TransformKind::Coherence);
  EXPECT_EQ(s.recordLength, 5000);
  EXPECT_EQ(s.viewMode, ViewMode::BandDiagrams);
  EXPECT_EQ(engine.averagedEpochs, 2);
  EXPECT_EQ(engine.windowKind(), 3);
  EXPECT_EQ(engine.firstBandBins[0], 4);
  EXPECT_EQ(engine.firstBandBins[1], 9);
  // The same report again: nothing it depends on was left changed.
  const EegReport again = eegReport(engine, s);
  EXPECT_EQ(again.lines, r.lines);
}

TEST(EegReport, InputItCannotJudge) {
  struct Case {
    const char* what;
    std::function<void(StudyState&)> change;
    std::string message;
  };
  const std::vector<Case> cases{
      {"no O1", [](StudyState& s) { s.channelNames[6] = "T5"; }, txt::kBadLeads},
      {"O2 beyond the channels", [](StudyState& s) { s.channelCount = 7; }, txt::kBadLeads},
      {"O2 beyond the 20 rows 28 channels keep",
       [](StudyState& s) {
         s.channelCount = 28;
         s.channelNames[7] = "X";
         s.channelNames[25] = "O2";
         std::copy(s.channel(7), s.channel(7) + s.recordLength, s.channel(25));
       },
       txt::kBadLeads},
      {"2095 samples at 250 Hz", [](StudyState& s) { s.recordLength = 2095; }, "Мала длина записи <8c!"},
      {"no bands", [](StudyState& s) { s.bandCount = 0; }, txt::kNoBands},
      {"three bands", [](StudyState& s) { s.bandCount = 3; }, txt::kTooFewBands},
      {"a band with high 0", [](StudyState& s) { s.bandTable[1].high = "0"; },
       std::string(txt::kBadBand) + "Тета" + txt::kBadBandEnd},
      {"flat record",
       [](StudyState& s) {
         for (int c = 0; c < 8; ++c) std::fill(s.channel(c), s.channel(c) + s.recordLength, std::int16_t{2048});
       },
       std::string(txt::kFlatLead) + "F3" + txt::kFlatLeadEnd},
      {"one flat lead",
       [](StudyState& s) { std::fill(s.channel(5), s.channel(5) + s.recordLength, std::int16_t{1000}); },
       std::string(txt::kFlatLead) + "P4" + txt::kFlatLeadEnd},
      {"rate 0", [](StudyState& s) { s.sampleRate = 0; }, txt::kBadRate},
      {"transform view on", [](StudyState& s) { s.viewMode = ViewMode::Transform; }, txt::kTransformViewOn},
  };
  SpectralEngine engine;
  for (const Case& c : cases) {
    StudyState s;
    buildRecord(s, normalLeads(), 1.5, 5000, 3);
    c.change(s);
    std::vector<std::int16_t> before(s.channel(0), s.channel(0) + 5000);
    const int resultBefore = s.resultStore[100];
    s.epochLength = 128;
    const EegReport r = eegReport(engine, s);
    EXPECT_FALSE(r.ok()) << c.what;
    EXPECT_EQ(r.problem, c.message) << c.what;
    EXPECT_TRUE(r.lines.empty()) << c.what;
    EXPECT_EQ(s.epochLength, 128) << c.what;
    EXPECT_EQ(std::vector<std::int16_t>(s.channel(0), s.channel(0) + 5000), before) << c.what;
    EXPECT_EQ(s.resultStore[100], resultBefore) << c.what;
  }
}

TEST(EegReport, AnyRateAndLengthGivesAReportOrAMessage) {
  // Rates far from the bands' frequencies leave bands empty or beyond half
  // the rate; nothing may divide by zero or read outside the record.
  SpectralEngine engine;
  for (int rate : {1, 20, 33, 50, 128, 1000, 2000})
    for (int samples : {2095, 2096, 4097, 32767}) {
      StudyState s;
      buildRecord(s, normalLeads(), 1.5, samples, 5);
      s.sampleRate = rate;
      const EegReport r = eegReport(engine, s);
      EXPECT_NE(r.ok(), r.lines.empty()) << rate << " Hz, " << samples;
      if (r.ok()) {
        EXPECT_GE(r.degree, 1);
        EXPECT_LE(r.degree, 7);
        for (int c : r.features.code) EXPECT_GE(c, 1);
      } else {
        EXPECT_FALSE(r.problem.empty());
      }
      if (samples < kReportMinSamples) {
        EXPECT_EQ(r.problem, std::string(txt::kShortRecord) + std::to_string(2096 / rate) + txt::kShortRecordEnd);
      }
    }
}

}  // namespace
}  // namespace velor
