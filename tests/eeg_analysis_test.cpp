// The EEG analysis settings and commands without their window: the epoch
// list, applying the settings with their fallbacks, "qeeg.ini", band limits
// and filtering, the montage operations, the dispatcher and the period
// analysis command.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"
#include "eeg/band_table.h"
#include "eeg/eeg_analysis.h"
#include "eeg/eeg_analysis_texts.h"
#include "eeg/period_command.h"
#include "eeg/period_texts.h"
#include "eeg/spectral.h"
#include "eeg/spectral_texts.h"
#include "shell/file_dispatch.h"
#include "test_support.h"

namespace {

using namespace velor;
using velor::test::readBytes;
using velor::test::TempDir;
using velor::test::writeBytes;
constexpr double kPi = std::numbers::pi;

struct Fixture {
  TempDir dir;
  StudyState s;
  SpectralEngine engine;
  ScriptedInteraction ui;
  EegAnalysis eeg{s, engine, ui};

  Fixture(int channels, int length, int rate) {
    s.programDir = dir.path() + "/";
    s.dataDir = dir.path() + "/";
    s.channelCount = s.shownChannelCount = channels;
    s.recordLength = length;
    s.sampleRate = rate;
    for (int c = 0; c < channels; ++c) {
      s.zeroLevel[c] = 2048;
      s.calibUnits[c] = 2048;
      s.calibValue[c] = 100;
      for (int i = 0; i < length; ++i) s.channel(c)[i] = 2048;
    }
  }
  void sine(int c, double hz, double amplitude, int from = 0, int to = -1) {
    if (to < 0) to = s.recordLength;
    for (int i = from; i < to; ++i)
      s.channel(c)[i] = static_cast<std::int16_t>(std::lround(s.zeroLevel[c] + amplitude * std::sin(2 * kPi * hz * i / s.sampleRate)));
  }
  void bands() {
    s.bandTable = {};
    const auto d = defaultBands();
    for (std::size_t i = 0; i < d.size(); ++i) s.bandTable[i] = d[i];
    updateBandCount(s);
  }
  void setBand(int row, const char* name, const char* low, const char* high) {
    s.bandTable[static_cast<std::size_t>(row)] = BandRow{name, low, high};
    updateBandCount(s);
  }
};

TEST(EegEpochList, OffersThePowersOfTwoTheRecordHolds) {
  struct Case {
    int length, rate;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {3000, 250, {"0.128", "0.256", "0.512", "1.024", "2.048", "4.096", "8.192"}},
      {31, 100, {}},
      {32, 100, {"0.32"}},
      {32767, 256, {"0.125", "0.25", "0.5", "1", "2", "4", "8", "16", "32", "64"}},
  };
  for (const Case& c : cases) EXPECT_EQ(epochItems(c.length, c.rate), c.items) << c.length << " at " << c.rate;
  // the longest item, 32768 samples, needs a record that long, which no record is
  EXPECT_EQ(epochItemSamples(10), 32768);
  EXPECT_EQ(epochItemSamples(-1), 32);
}

TEST(EegEpochList, ChoosingAnItemFillsTheShiftAndTheEpochCount) {
  Fixture f(2, 3000, 250);
  f.eeg.prepare();  // no qeeg.ini: the first item is chosen
  EXPECT_EQ(f.eeg.epochList.size(), 7u);
  EXPECT_EQ(f.eeg.settings.epochIndex, 0);
  EXPECT_EQ(f.eeg.settings.shiftText, "0.128");
  f.eeg.chooseEpoch(3);  // 1.024 s
  EXPECT_EQ(f.eeg.settings.shiftText, "1.024");
  EXPECT_EQ(f.s.epochLength, 256);
  EXPECT_EQ(f.s.epochStep, 256);
  EXPECT_EQ(f.eeg.countText(), "N=" + std::to_string((3000 - 256) / 256 + 1));
  f.eeg.editShift("0,5");  // comma as decimal point
  EXPECT_EQ(f.s.epochStep, 125);
  f.eeg.editShift("abc");  // not a number: the grid stays
  EXPECT_EQ(f.s.epochStep, 125);
  f.eeg.editShift("100");  // at most one epoch
  EXPECT_EQ(f.s.epochStep, 256);
}

TEST(EegApply, EpochGridAveragingAndMeasureFallbacks) {
  struct Case {
    const char* what;
    int length, rate, epochIndex;
    const char* shift;
    const char* average;
    int measure, pairs, dialogResult;
    std::vector<bool> answers;
    int epochLength, epochStep, epochCount, averaged, kind, resultAfter;
    std::vector<std::string> messages;
    int questions;
  };
  const std::string coh = eeg_text::kCoherenceFallback, pair = eeg_text::kPairFallback;
  const Case cases[] = {
      {"shift 0 gives step 1", 3000, 250, 3, "0", "0", 0, 0, 0, {}, 256, 1, 200, 0, 0, 0, {}, 0},
      {"shift beyond the epoch", 3000, 250, 3, "100", "0", 0, 0, 0, {}, 256, 256, 11, 0, 0, 0, {}, 0},
      {"300 epochs are cut to 200", 9600, 100, 0, "0.32", "0", 1, 0, 0, {}, 32, 32, 200, 0, 1, 0, {}, 0},
      {"averaging: value − 1", 3000, 250, 3, "1.024", "3", 0, 0, 0, {}, 256, 256, 11, 2, 0, 0, {}, 0},
      {"averaging at most count − 1", 1024, 250, 3, "1.024", "50", 0, 0, 0, {}, 256, 256, 4, 3, 0, 0, {}, 0},
      {"coherence with 3 averaged falls back", 3000, 250, 3, "1.024", "3", 4, 2, 0, {}, 256, 256, 11, 2, 2, 0, {coh}, 0},
      {"coherence with 5 averaged stays", 3000, 250, 3, "1.024", "5", 4, 2, 0, {}, 256, 256, 11, 4, 4, 0, {}, 0},
      {"pair measure without pairs: amplitude", 3000, 250, 3, "1.024", "0", 2, 0, 0, {}, 256, 256, 11, 0, 0, 0, {pair}, 0},
      {"coherence without pairs: both messages", 3000, 250, 3, "1.024", "0", 4, 0, 0, {}, 256, 256, 11, 0, 0, 0, {coh, pair}, 0},
      {"envelope needs no pairs", 3000, 250, 3, "1.024", "0", 7, 0, 0, {}, 256, 256, 11, 0, 10, 0, {}, 0},
      {"pair epochs above 4096 are cut", 20000, 1000, 8, "8.192", "0", 2, 1, 0, {}, 4096, 4096, 4, 0, 2, 0, {}, 0},
      {"synchrony keeps a long epoch", 20000, 1000, 8, "8.192", "0", 8, 1, 0, {}, 8192, 8192, 2, 0, 7, 0, {}, 0},
      {"short epoch asked, No cancels", 3000, 250, 2, "0.512", "0", 0, 0, 1, {false}, 128, 128, 23, 0, 0, 0, {}, 1},
      {"short epoch asked, Yes goes on", 3000, 250, 2, "0.512", "0", 0, 0, 1, {true}, 128, 128, 23, 0, 0, 1, {}, 1},
      {"short epoch not asked without a choice", 3000, 250, 2, "0.512", "0", 0, 0, 0, {}, 128, 128, 23, 0, 0, 0, {}, 0},
      {"correlation not asked", 3000, 250, 2, "0.512", "0", 6, 1, 1, {}, 128, 128, 23, 0, 6, 1, {}, 0},
      {"unreadable shift keeps epochs apart", 3000, 250, 3, "x", "0", 0, 0, 0, {}, 256, 256, 11, 0, 0, 0, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f(3, c.length, c.rate);
    f.s.leadPairCount = c.pairs;
    for (int p = 0; p < c.pairs; ++p) f.s.leadPairs[static_cast<std::size_t>(p)] = {1, 2};
    f.s.dialogResult = c.dialogResult;
    f.ui.yesNoScript = c.answers;
    f.eeg.settings.epochIndex = c.epochIndex;
    f.eeg.settings.shiftText = c.shift;
    f.eeg.settings.averageText = c.average;
    f.eeg.settings.measureIndex = c.measure;
    f.eeg.apply();
    EXPECT_EQ(f.s.epochLength, c.epochLength);
    EXPECT_EQ(f.s.epochStep, c.epochStep);
    EXPECT_EQ(f.s.epochCount, c.epochCount);
    EXPECT_EQ(f.engine.averagedEpochs, c.averaged);
    EXPECT_EQ(f.s.transformKind, transformKindFromNumber(c.kind));
    EXPECT_EQ(f.s.dialogResult, c.resultAfter);
    EXPECT_EQ(f.ui.messages, c.messages);
    EXPECT_EQ(static_cast<int>(f.ui.questions.size()), c.questions);
    if (c.questions > 0) {
      EXPECT_EQ(f.ui.questions[0], eeg_text::kShortEpochQuestion);
    }
    // every apply writes the settings file
    EXPECT_FALSE(readBytes(f.eeg.settingsPath()).empty());
  }
}

TEST(EegApply, TransformViewCountsTheSignalLength) {
  Fixture f(2, 3000, 250);
  f.s.viewMode = ViewMode::Transform;
  f.s.savedRecordLength = 3000;
  f.s.recordLength = 128;  // the spectrum's length
  f.eeg.settings.epochIndex = 3;
  f.eeg.settings.shiftText = "1.024";
  f.eeg.apply();
  EXPECT_EQ(f.s.epochCount, 11);
  EXPECT_EQ(f.s.recordLength, 128);
}

TEST(EegSettingsFile, RoundTripAndDamagedFiles) {
  TempDir dir;
  const std::string path = dir.file("qeeg.ini");
  EegSettings out;
  out.shiftText = "2,5";
  out.epochIndex = 4;
  out.bandIndex = 2;
  ASSERT_TRUE(writeEegSettingsFile(path, out));
  EXPECT_EQ(readBytes(path), "2,5\r\n4\r\n2\r\n");
  EegSettings in;
  ASSERT_TRUE(readEegSettingsFile(path, in));
  EXPECT_EQ(in.shiftText, "2,5");
  EXPECT_EQ(in.epochIndex, 4);
  EXPECT_EQ(in.bandIndex, 2);

  const std::pair<const char*, std::string> damaged[] = {
      {"short", "100\r\n3\r\n"},
      {"empty", ""},
      {"shift not a number", "abc\r\n3\r\n1\r\n"},
      {"negative shift", "-1\r\n3\r\n1\r\n"},
      {"epoch item beyond the list", "1\r\n11\r\n1\r\n"},
      {"fractional item", "1\r\n2.5\r\n1\r\n"},
      {"band item not a number", "1\r\n3\r\nx\r\n"},
      {"band item beyond the table", "1\r\n3\r\n30\r\n"},
      {"binary garbage", std::string("\x00\xff\x01\r\n\x80", 6)},
  };
  for (const auto& [what, bytes] : damaged) {
    writeBytes(path, bytes);
    EegSettings kept;
    kept.shiftText = "7";
    kept.epochIndex = 1;
    kept.bandIndex = 0;
    EXPECT_FALSE(readEegSettingsFile(path, kept)) << what;
    EXPECT_EQ(kept.shiftText, "7") << what;
    EXPECT_EQ(kept.epochIndex, 1) << what;
  }
  EegSettings none;
  EXPECT_FALSE(readEegSettingsFile(dir.file("missing.ini"), none));
}

TEST(EegSettingsFile, ShowingTheWindowTakesTheFileAndKeepsAnItemThatFits) {
  Fixture f(2, 3000, 250);
  f.bands();
  writeBytes(f.s.programDir + "qeeg.ini", "0.5\r\n4\r\n2\r\n");
  f.engine.averagedEpochs = 2;
  EXPECT_TRUE(f.eeg.prepare());
  EXPECT_EQ(f.eeg.settings.averageText, "3");
  EXPECT_EQ(f.eeg.settings.epochIndex, 4);
  EXPECT_EQ(f.eeg.settings.shiftText, "0.5");
  EXPECT_EQ(f.eeg.settings.bandIndex, 2);
  EXPECT_EQ(f.eeg.bandList.size(), 5u);
  // the grid is the item's epoch and the remembered shift, so "N=" counts
  // the epochs the window shows
  const auto item = parseNumber(f.eeg.epochList[4]);
  ASSERT_TRUE(item);
  EXPECT_EQ(f.s.epochLength, static_cast<int>(*item * 250 + 0.5));
  EXPECT_EQ(f.s.epochStep, 125);
  EXPECT_EQ(f.eeg.countText(), "N=" + std::to_string((3000 - f.s.epochLength) / 125 + 1));

  // an item the shorter record no longer offers: the first one is chosen
  Fixture g(2, 100, 250);
  writeBytes(g.s.programDir + "qeeg.ini", "0.5\r\n6\r\n0\r\n");
  g.eeg.prepare();
  EXPECT_EQ(g.eeg.settings.epochIndex, 0);
  EXPECT_EQ(g.eeg.settings.shiftText, "0.128");
  EXPECT_EQ(g.s.epochLength, 32);

  Fixture h(2, 3000, 250);
  writeBytes(h.s.programDir + "qeeg.ini", "garbage\r\n");
  EXPECT_FALSE(h.eeg.prepare());  // the window beeps; its defaults stay
  EXPECT_EQ(h.eeg.settings.epochIndex, 0);
}

TEST(EegBands, LimitsInHundredthsAndTheFilterTheyChoose) {
  struct Case {
    const char* low;
    const char* high;
    bool ok;
    int lo, hi;
  };
  const Case cases[] = {
      {"8", "13", true, 800, 1300},
      {"7,5", "12.49", true, 750, 1249},
      {"0", "30", true, 0, 3000},
      {"0", "0", false, 0, 0},
      {"13", "8", false, 0, 0},
      {"abc", "4", false, 0, 0},
      {"1", "1000", false, 0, 0},
  };
  for (const Case& c : cases) {
    Fixture f(1, 1000, 250);
    f.setBand(0, "b", c.low, c.high);
    std::string reason;
    const auto b = bandLimitsOf(f.s, 0, reason);
    ASSERT_EQ(b.has_value(), c.ok) << c.low << ".." << c.high;
    if (c.ok) {
      EXPECT_EQ(b->low, c.lo);
      EXPECT_EQ(b->high, c.hi);
    } else {
      EXPECT_EQ(reason, eeg_text::kBadBand);
    }
  }
  Fixture f(1, 1000, 250);
  std::string reason;
  EXPECT_FALSE(bandLimitsOf(f.s, 0, reason));  // no band table
  EXPECT_EQ(reason, spectral_text::kNoBands);

  using K = BandFilterPlan::Kind;
  struct Plan {
    int lo, hi, rate;
    K kind;
    double high, low;
  };
  const Plan plans[] = {
      {0, 3000, 250, K::LowPass, 0.5, 0.12},
      {800, 1300, 128, K::BandPass, 13.0 / 128, 8.0 / 128},
      {100, 20000, 250, K::HighPass, 1.0 / 250, 0},
      {0, 20000, 250, K::None, 0, 0},
  };
  for (const Plan& p : plans) {
    const BandFilterPlan plan = bandFilterPlan({p.lo, p.hi}, p.rate);
    EXPECT_EQ(plan.kind, p.kind) << p.lo << ".." << p.hi;
    EXPECT_NEAR(plan.high, p.high, 1e-12);
    EXPECT_NEAR(plan.low, p.low, 1e-12);
  }
}

double bandAmplitude(const std::int16_t* x, int n, double hz, int rate) {
  double re = 0, im = 0;
  for (int i = 0; i < n; ++i) {
    re += (x[i] - 2048) * std::cos(2 * kPi * hz * i / rate);
    im += (x[i] - 2048) * std::sin(2 * kPi * hz * i / rate);
  }
  return 2 * std::hypot(re, im) / n;
}

TEST(EegBands, FilteringLowPassesTheRecord) {
  Fixture f(2, 2000, 250);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 2000; ++i)
      f.s.channel(c)[i] = static_cast<std::int16_t>(std::lround(2048 + 300 * std::sin(2 * kPi * 5 * i / 250.0) +
                                                                 300 * std::sin(2 * kPi * 50 * i / 250.0)));
  f.setBand(0, "low", "0", "30");
  f.eeg.settings.bandIndex = 0;
  f.eeg.settings.epochIndex = 3;
  ASSERT_TRUE(f.eeg.bandFiltering());
  EXPECT_EQ(f.s.recordModified, 1);
  EXPECT_EQ(f.eeg.chosenBandLow, 0);
  EXPECT_EQ(f.eeg.chosenBandHigh, 3000);
  for (int c = 0; c < 2; ++c) {
    EXPECT_NEAR(bandAmplitude(f.s.channel(c), 2000, 5, 250), 300, 30) << c;
    EXPECT_LT(bandAmplitude(f.s.channel(c), 2000, 50, 250), 15) << c;
  }

  // a band with a high edge of 0: a message and the record as it was
  Fixture g(1, 500, 250);
  g.sine(0, 10, 200);
  const std::vector<std::int16_t> before(g.s.channel(0), g.s.channel(0) + 500);
  g.setBand(0, "bad", "0", "0");
  g.eeg.settings.bandIndex = 0;
  EXPECT_FALSE(g.eeg.bandFiltering());
  EXPECT_EQ(g.ui.messages.back(), eeg_text::kBadBand);
  EXPECT_EQ(std::vector<std::int16_t>(g.s.channel(0), g.s.channel(0) + 500), before);
  EXPECT_EQ(g.s.recordModified, 0);
}

TEST(EegMontage, BipolarPairsReadTheOriginalChannels) {
  Fixture f(3, 4, 100);
  const std::int16_t x[3][4] = {{2100, 2000, 3000, 4000}, {2048, 1900, 1000, 100}, {2000, 2048, 2500, 2048}};
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 4; ++i) f.s.channel(c)[i] = x[c][i];
  f.s.zeroLevel[1] = 2000;
  f.s.calibValue[2] = 50;
  // pair 3 reads channel 1, which pair 1 replaces, and channel 3, which pair 2 does not
  f.s.leadPairCount = 3;
  f.s.leadPairs[0] = {1, 2};
  f.s.leadPairs[1] = {2, 3};
  f.s.leadPairs[2] = {3, 1};
  std::string reason;
  ASSERT_TRUE(bipolarMontage(f.s, reason)) << reason;
  const int pairs[3][2] = {{0, 1}, {1, 2}, {2, 0}};
  const int zero[3] = {2048, 2000, 2048};
  const double step[3] = {100.0 / 2048, 100.0 / 2048, 50.0 / 2048};
  for (int p = 0; p < 3; ++p)
    for (int i = 0; i < 4; ++i) {
      // the difference in microvolts, on the first lead's step, unclipped
      const int a = pairs[p][0], b = pairs[p][1];
      const double microvolts = (x[a][i] - zero[a]) * step[a] - (x[b][i] - zero[b]) * step[b];
      const long want = std::lround(microvolts / step[a]) + 2048;
      EXPECT_EQ(f.s.channel(p)[i], want) << "pair " << p << " sample " << i;
    }
  EXPECT_GT(f.s.channel(0)[3], 4095);  // 12 bits would have clipped it
  EXPECT_EQ(f.s.channelCount, 3);
  EXPECT_EQ(f.s.referenceKind, 6);
  EXPECT_EQ(f.s.calibValue[2], 50);  // pair 3 takes its first lead's calibration
  EXPECT_EQ(f.s.calibValue[0], 100);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(f.s.zeroLevel[c], 2048);

  // fewer pairs than channels
  Fixture g(4, 3, 100);
  g.s.leadPairCount = 2;
  g.s.leadPairs[0] = {4, 1};
  g.s.leadPairs[1] = {1, 4};
  g.s.channel(0)[0] = 2148;
  ASSERT_TRUE(bipolarMontage(g.s, reason));
  EXPECT_EQ(g.s.channelCount, 2);
  EXPECT_EQ(g.s.shownChannelCount, 2);
  EXPECT_EQ(g.s.channel(0)[0], 1948);
  EXPECT_EQ(g.s.channel(1)[0], 2148);
}

TEST(EegMontage, RefusalsLeaveTheRecordAlone) {
  const std::pair<const char*, std::array<std::uint8_t, 2>> bad[] = {
      {"channel 0", {0, 1}}, {"beyond the channels", {1, 5}}, {"a lead with itself", {2, 2}}};
  for (const auto& [what, pair] : bad) {
    Fixture f(3, 10, 100);
    f.sine(0, 5, 100);
    f.s.leadPairCount = 2;
    f.s.leadPairs[0] = {1, 2};
    f.s.leadPairs[1] = pair;
    std::string reason;
    EXPECT_FALSE(bipolarMontage(f.s, reason)) << what;
    EXPECT_EQ(reason, eeg_text::kBadPair);
    EXPECT_EQ(f.s.channelCount, 3);
    EXPECT_EQ(f.s.channel(0)[3], std::lround(2048 + 100 * std::sin(2 * kPi * 5 * 3 / 100.0)));
  }
  Fixture v(2, 10, 100);
  v.s.viewMode = ViewMode::Transform;
  std::string reason;
  EXPECT_FALSE(bipolarMontage(v.s, reason));
  EXPECT_FALSE(commonAverageReference(v.s, reason));
  EXPECT_EQ(reason, eeg_text::kInTransformView);
  Fixture e(2, 0, 100);
  EXPECT_FALSE(commonAverageReference(e.s, reason));
  EXPECT_EQ(reason, eeg_text::kNoSignal);
}

TEST(EegMontage, WithoutPairsTheLongitudinalChainsOfTheElectrodesPresent) {
  // named electrodes (old and new names), an ECG and an unknown channel
  Fixture f(6, 2, 100);
  const char* names[6] = {"Fp1", "F3", "C3", "ECG", "T7", "F7"};
  for (int c = 0; c < 6; ++c) {
    f.s.channelNames[static_cast<std::size_t>(c)] = names[c];
    for (int i = 0; i < 2; ++i) f.s.channel(c)[i] = static_cast<std::int16_t>(2048 + 10 * c + i);
  }
  f.s.channelPosX[3] = kKindEcg;
  std::string reason;
  ASSERT_TRUE(bipolarMontage(f.s, reason)) << reason;
  // Fp1-F7, F7-T3 (the record's T7), Fp1-F3, F3-C3
  ASSERT_EQ(f.s.leadPairCount, 4);
  const int want[4][2] = {{1, 6}, {6, 5}, {1, 2}, {2, 3}};
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(f.s.leadPairs[static_cast<std::size_t>(p)][0], want[p][0]);
    EXPECT_EQ(f.s.leadPairs[static_cast<std::size_t>(p)][1], want[p][1]);
    EXPECT_EQ(f.s.channel(p)[1], 2048 + 10 * (want[p][0] - want[p][1])) << p;
  }
  EXPECT_EQ(f.s.channelCount, 4);
  EXPECT_EQ(f.s.referenceKind, 6);

  // no pairs and no electrode names: a message and the record as it was
  Fixture g(3, 2, 100);
  for (int c = 0; c < 3; ++c) g.s.channelNames[static_cast<std::size_t>(c)] = "K" + std::to_string(c + 1);
  const std::int16_t before = g.s.channel(2)[1];
  EXPECT_FALSE(bipolarMontage(g.s, reason));
  EXPECT_EQ(reason, eeg_text::kNoPairs);
  EXPECT_EQ(g.s.channelCount, 3);
  EXPECT_EQ(g.s.referenceKind, 0);
  EXPECT_EQ(g.s.channel(2)[1], before);
}

TEST(EegMontage, CommonReferenceAveragesTheEegChannelsInMicrovolts) {
  const std::int16_t x[4][2] = {{2100, 2000}, {2000, 2001}, {2003, 1000}, {3000, 100}};
  // one scale: deviations from each zero level against their rounded mean;
  // the ECG channel neither counts nor changes
  Fixture g(4, 2, 100);
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 2; ++i) g.s.channel(c)[i] = x[c][i];
  g.s.zeroLevel[2] = 1000;
  g.s.channelPosX[3] = kKindEcg;
  std::string reason;
  ASSERT_TRUE(commonAverageReference(g.s, reason));
  const int zero[3] = {2048, 2048, 1000};
  for (int i = 0; i < 2; ++i) {
    double sum = 0;
    for (int c = 0; c < 3; ++c) sum += x[c][i] - zero[c];
    const int a = static_cast<int>(std::trunc(sum / 3 + 0.5));
    for (int c = 0; c < 3; ++c) EXPECT_EQ(g.s.channel(c)[i] - zero[c], x[c][i] - zero[c] - a) << c << "," << i;
    EXPECT_EQ(g.s.channel(3)[i], x[3][i]);
  }
  for (int c = 0; c < 3; ++c) EXPECT_EQ(g.s.zeroLevel[c], zero[c]);

  // two scales: the same microvolts give the same result
  Fixture h(2, 1, 100);
  h.s.zeroLevel[0] = h.s.zeroLevel[1] = 0;
  h.s.calibUnits[0] = 1000;  // 0.1 µV per code
  h.s.calibUnits[1] = 250;   // 0.4 µV per code
  h.s.calibValue[0] = h.s.calibValue[1] = 100;
  h.s.channel(0)[0] = 400;  // 40 µV
  h.s.channel(1)[0] = 25;   // 10 µV
  ASSERT_TRUE(commonAverageReference(h.s, reason));
  EXPECT_EQ(h.s.channel(0)[0], 150);  // 40 − 25 µV
  EXPECT_EQ(h.s.channel(1)[0], -38);  // 10 − 25 µV = −15 µV, rounded half up in codes

  // no EEG channel: a message, nothing changed
  Fixture e(2, 2, 100);
  e.s.channelPosX[0] = e.s.channelPosX[1] = kKindEcg;
  const std::int16_t kept = e.s.channel(1)[1];
  EXPECT_FALSE(commonAverageReference(e.s, reason));
  EXPECT_EQ(reason, eeg_text::kNoEegChannels);
  EXPECT_EQ(e.s.channel(1)[1], kept);
}

// The real resting EEG, whose channels each carry their own scale, against
// MNE's set_bipolar_reference (Fp1 − F3) and set_eeg_reference("average")
// over its EEG channels (all but the ECG), in microvolts; the values were
// taken once from MNE 1.3 on this file.
TEST(EegMontage, RealRecordingAgreesWithMne) {
  const std::string path = test::sharedData("eegmat/Subject00_1.edf");
  const int at[] = {0, 1, 2, 100, 1000, 5000, 12345, 20000};
  const double bipolar[] = {0.4333, 0.5297, 0.8292, -2.3958, 1.6715, 5.5147, -3.8998, -5.1435};
  struct Referenced {
    int channel;
    double value[8];
  };
  const Referenced average[] = {
      {0, {-4.7763, -6.195, -7.9572, 11.4349, -0.5645, -3.3366, -9.6449, -7.9466}},
      {14, {3.1855, 4.2791, 5.7639, -10.1433, 6.2588, 1.3998, 10.9806, 11.6231}},
      {15, {9.0404, 10.3164, 11.8327, -22.3215, 14.0744, 9.3917, 4.7368, 23.3685}},
      {19, {0.1632, -0.9853, -2.424, 1.623, 10.7003, -0.371, -7.7237, -13.0181}},
  };
  auto step = [](const StudyState& s, int c) { return static_cast<double>(s.calibValue[c]) / s.calibUnits[c]; };
  {
    StudyState s;
    ScriptedInteraction ui;
    ASSERT_TRUE(openFile(s, FileKind::Records, path, ui));
    ASSERT_GT(s.recordLength, 20000);
    // the file's own step of a lead: its physical range over 65536 codes
    const double fileStep = (59.35658 + 45.1698) / 65535;
    s.leadPairCount = 1;
    s.leadPairs[0] = {1, 3};
    std::string reason;
    ASSERT_TRUE(bipolarMontage(s, reason)) << reason;
    for (int k = 0; k < 8; ++k)
      EXPECT_NEAR(s.physicalValue(at[k], 0), bipolar[k], step(s, 0) + fileStep) << at[k];
    closeRecordFile(s);
  }
  StudyState s;
  ScriptedInteraction ui;
  ASSERT_TRUE(openFile(s, FileKind::Records, path, ui));
  ASSERT_EQ(s.channelPosX[20], kKindEcg);  // "ECG ECG" by its label
  std::string reason;
  ASSERT_TRUE(commonAverageReference(s, reason)) << reason;
  for (const Referenced& r : average)
    for (int k = 0; k < 8; ++k)
      EXPECT_NEAR(s.physicalValue(at[k], r.channel), r.value[k], 2 * step(s, r.channel)) << r.channel << " at " << at[k];
  closeRecordFile(s);
}

TEST(EegMontage, AmplitudeNormalisation) {
  Fixture f(2, 4, 100);
  const std::int16_t x[2][4] = {{2148, 1948, 2148, 1948}, {2068, 2028, 2068, 2028}};
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < 4; ++i) f.s.channel(c)[i] = x[c][i];
  f.s.zeroLevel[1] = 2048;
  f.s.calibValue[1] = 30;
  ASSERT_TRUE(normaliseAmplitudes(f.s));  // A = 100
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(f.s.channel(c)[i], 2048 + static_cast<int>(std::trunc((x[c][i] - 2048) / 100.0 * 511)));
    EXPECT_EQ(f.s.calibValue[c], 100);
  }
  // a zero level away from 2048 is taken off before scaling
  Fixture z(1, 2, 100);
  z.s.zeroLevel[0] = 1000;
  z.s.channel(0)[0] = 1100;
  z.s.channel(0)[1] = 900;
  ASSERT_TRUE(normaliseAmplitudes(z.s));
  EXPECT_EQ(z.s.channel(0)[0], 2048 + 511);
  EXPECT_EQ(z.s.channel(0)[1], 2048 - 511);
  EXPECT_EQ(z.s.zeroLevel[0], 2048);
  // below 4 codes of deviation (a flat record) nothing changes
  Fixture flat(2, 50, 100);
  flat.s.channel(0)[3] = 2051;
  EXPECT_FALSE(normaliseAmplitudes(flat.s));
  EXPECT_EQ(flat.s.channel(0)[3], 2051);
  EXPECT_EQ(flat.s.calibValue[0], 100);
}

TEST(EegDispatcher, CarriesOutTheWindowsChoice) {
  // spectra: the transform view with the current epoch's spectra, zoom locked
  {
    Fixture f(2, 2048, 256);
    f.sine(0, 10, 500);
    f.sine(1, 20, 300);
    EegDispatchHooks h;
    bool labelsFrequency = false;
    int clicks = 0;
    h.showWindow = [](EegAnalysis& e) {
      e.settings.epochIndex = 3;
      e.settings.shiftText = "1";
      e.state().dialogResult = kEegSpectra;
      e.apply();
    };
    h.scoreboardLabels = [&](bool freq) { labelsFrequency = freq; };
    h.click = [&] { ++clicks; };
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_TRUE(f.ui.messages.empty());
    EXPECT_EQ(f.s.viewMode, ViewMode::Transform);
    EXPECT_EQ(f.s.recordLength, 128);
    EXPECT_TRUE(f.s.lockedZoom);
    EXPECT_TRUE(labelsFrequency);
    EXPECT_EQ(clicks, 1);
    // the peak of channel 0 at 10 Hz: bin 10 of a 1 s epoch
    int peak = 1;
    for (int i = 1; i < 128; ++i)
      if (f.s.channel(0)[i] > f.s.channel(0)[peak]) peak = i;
    EXPECT_EQ(peak, 10);

    // the next EEG command leaves the view first; cancelling shows the signals
    h.showWindow = [](EegAnalysis&) {};
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_EQ(f.s.viewMode, ViewMode::Signals);
    EXPECT_EQ(f.s.recordLength, 2048);
    EXPECT_FALSE(labelsFrequency);
  }
  // band diagrams without a band table
  {
    Fixture f(2, 1024, 256);
    EegDispatchHooks h;
    int diagrams = 0;
    h.showWindow = [](EegAnalysis& e) { e.state().dialogResult = kEegBandDiagrams; };
    h.bandDiagrams = [&](ViewMode) { ++diagrams; };
    f.s.viewMode = ViewMode::BandDiagrams;
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_EQ(f.ui.messages, std::vector<std::string>{spectral_text::kNoBands});
    EXPECT_EQ(f.s.viewMode, ViewMode::Signals);
    EXPECT_EQ(diagrams, 0);
    f.bands();
    f.ui.messages.clear();
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_EQ(diagrams, 1);
    EXPECT_TRUE(f.ui.messages.empty());
  }
  // correlation turns every analysis into the spectra; an epoch beyond the record shrinks
  {
    Fixture f(2, 600, 100);
    EegDispatchHooks h;
    int mode = -1;
    h.showWindow = [](EegAnalysis& e) {
      e.state().transformKind = TransformKind::Correlation;
      e.state().dialogResult = kEegEpochMaps;
      e.state().epochLength = 4096;
    };
    h.showSpectra = [&](std::string&) {
      mode = f.s.dialogResult;
      return true;
    };
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_EQ(mode, kEegSpectra);
    EXPECT_EQ(f.s.epochLength, 512);
    EXPECT_EQ(f.s.epochStep, 512);
    EXPECT_EQ(f.s.epochCount, 1);
  }
  // during an examination the window is not even shown
  {
    Fixture f(2, 600, 100);
    EegDispatchHooks h;
    bool shown = false;
    h.showWindow = [&](EegAnalysis&) { shown = true; };
    f.s.acquisitionActive = 1;
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_FALSE(shown);
  }
  // the envelope measure with nothing chosen does nothing more
  {
    Fixture f(2, 600, 100);
    EegDispatchHooks h;
    int clicks = 0;
    h.showWindow = [](EegAnalysis& e) { e.state().transformKind = TransformKind::Envelope; };
    h.click = [&] { ++clicks; };
    f.s.lockedZoom = true;
    runEegAnalysisWindow(f.eeg, h);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(f.s.lockedZoom);
  }
}

TEST(EegPeriodAnalysis, CurrentChannelRhythmShareAndPeriods) {
  // 10 Hz at 100 Hz for the first 6 s of 10, flat afterwards
  Fixture f(2, 1000, 100);
  f.sine(1, 10, 400, 0, 600);
  f.s.currentChannelRow = 1;
  f.s.recordFileName = "alpha.cad";
  f.setBand(0, "Альфа", "8", "13");
  f.eeg.settings.bandIndex = 0;
  const std::vector<std::int16_t> before(f.s.channel(1), f.s.channel(1) + 1000);
  ASSERT_TRUE(f.eeg.takeBandLimits());
  PeriodCommandResult r;
  ASSERT_TRUE(periodAnalysisCommand(f.eeg, false, r));
  EXPECT_EQ(r.channel, 1);
  ASSERT_TRUE(r.summary.rhythmFound());
  // the band filter rings on for a few waves after the rhythm stops
  EXPECT_GE(r.summary.rhythmPercent, 58);
  EXPECT_LE(r.summary.rhythmPercent, 80);
  EXPECT_NEAR(r.summary.periods.mean, 0.1, 0.005);
  EXPECT_EQ(r.summaryLine.rfind(period_text::kRhythmFound, 0), 0u);
  EXPECT_EQ(r.periodLine.rfind(period_text::kMeanPeriod, 0), 0u);
  // the list: a head line, then one line per accepted wave, also on disk
  ASSERT_GE(r.waveList.size(), 50u);
  EXPECT_EQ(r.waveList[0], period_text::kWaveListHead);
  EXPECT_EQ(r.docPath, f.s.dataDir + "alpha.doc");
  const std::string doc = readBytes(r.docPath);
  EXPECT_EQ(doc.substr(0, doc.find("\r\n")), utf8ToCp1251(period_text::kWaveListHead));
  EXPECT_NEAR(std::stod(r.waveList[5].substr(9)), 0.1, 0.011);
  // the record is not changed by the filtering done for the analysis
  EXPECT_EQ(std::vector<std::int16_t>(f.s.channel(1), f.s.channel(1) + 1000), before);

  // the rhythm over the whole record
  f.sine(1, 10, 400);
  ASSERT_TRUE(periodAnalysisCommand(f.eeg, false, r));
  EXPECT_GE(r.summary.rhythmPercent, 95);

  // histograms as two bar series of one point count
  GraphTable t;
  periodHistogramSeries(f.s, t, r.summary);
  EXPECT_EQ(t.series[0].style, kStyleHistogram);
  EXPECT_EQ(t.lastIndex[0], 31);
  EXPECT_EQ(t.lastIndex[1], 31);
  double share = 0;
  for (int i = 0; i < 32; ++i) share += floatAt(f.s, 3, i);
  EXPECT_NEAR(share, 100, 0.01);
  share = 0;
  for (int i = 0; i < 32; ++i) share += floatAt(f.s, 1, i);
  EXPECT_NEAR(share, 100, 0.01);
}

TEST(EegPeriodAnalysis, AllChannelsAndDegenerateInput) {
  Fixture f(3, 1000, 100);
  f.sine(0, 10, 400);
  f.sine(2, 9, 300);
  f.s.channelNames[0] = "O1";
  f.s.channelNames[1] = "F3";
  f.s.channelNames[2] = "O2";
  f.setBand(0, "Альфа", "8", "13");
  ASSERT_TRUE(f.eeg.takeBandLimits());
  PeriodCommandResult r;
  ASSERT_TRUE(periodAnalysisCommand(f.eeg, true, r));
  ASSERT_EQ(r.tableLines.size(), 4u);
  EXPECT_EQ(r.measuredChannels, 2);  // F3 is flat
  EXPECT_EQ(r.tableLines[0], period_text::kAllChannelsHeadLine);
  EXPECT_EQ(r.tableLines[1].rfind("O1 ", 0), 0u);
  EXPECT_EQ(r.tableLines[3].rfind("O2 ", 0), 0u);
  // f of O1 is 10 Hz: the fourth field
  std::vector<std::string> fields;
  std::string field;
  for (char ch : r.tableLines[1] + " ")
    if (ch == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += ch;
    }
  ASSERT_GE(fields.size(), 4u);
  EXPECT_NEAR(std::stod(fields[3]), 10.0, 0.3);

  // a flat record: no rhythm, no list written
  Fixture flat(1, 1000, 100);
  flat.s.recordFileName = "flat.cad";
  flat.setBand(0, "Альфа", "8", "13");
  ASSERT_TRUE(flat.eeg.takeBandLimits());
  ASSERT_TRUE(periodAnalysisCommand(flat.eeg, false, r));
  EXPECT_FALSE(r.summary.rhythmFound());
  EXPECT_EQ(r.summaryLine, period_text::kNoRhythm);
  EXPECT_TRUE(r.docPath.empty());
  ASSERT_TRUE(periodAnalysisCommand(flat.eeg, true, r));
  EXPECT_EQ(r.tableLines.size(), 2u);
  EXPECT_EQ(r.measuredChannels, 0);

  // no usable band limits
  Fixture bad(1, 1000, 100);
  bad.eeg.chosenBandLow = 0;
  bad.eeg.chosenBandHigh = 0;
  EXPECT_FALSE(periodAnalysisCommand(bad.eeg, false, r));
  EXPECT_EQ(bad.ui.messages.back(), eeg_text::kBadBand);
}

}  // namespace
