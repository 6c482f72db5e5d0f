// Passive EMG: epoch measures, band amplitudes, swing histograms, the
// interval spectra and "qemg.ini", on constructed signals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "core/record_file.h"
#include "core/record_source.h"
#include "core/settings.h"
#include "core/numtext.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "interchange/edf.h"
#include "physio/emg_passive.h"
#include "physio/emg_texts.h"
#include "test_support.h"

namespace velor {
namespace {

struct EmgStudy : ::testing::Test {
  StudyState s;
  SpectralEngine engine;
  std::string message;
  test::TempDir dir;
  void SetUp() override { shape(1000, 4096, 2); }
  void shape(int fs, int length, int microvoltsPerCode) {
    s.channelCount = 1;
    s.sampleRate = fs;
    s.recordLength = length;
    s.zeroLevel[0] = 2048;
    s.calibValue[0] = static_cast<std::uint16_t>(microvoltsPerCode);
    s.calibUnits[0] = 1;
    for (int i = 0; i < length; ++i) s.channel(0)[i] = 2048;
  }
  void sine(double hz, double amplitude) {
    for (int i = 0; i < s.recordLength; ++i)
      s.channel(0)[i] = static_cast<std::int16_t>(
          std::lround(2048 + amplitude * std::sin(2 * std::numbers::pi * hz * i / s.sampleRate)));
  }
};

TEST(EmgEpochChoices, ListsFollowTheMeasureAndTheRate) {
  EXPECT_EQ(emgEpochChoicesMs(EmgMeasure::MeanAmplitude, 1000), (std::array<int, 4>{50, 100, 250, 500}));
  EXPECT_EQ(emgEpochChoicesMs(EmgMeasure::MaxAmplitude, 1000), (std::array<int, 4>{128, 256, 512, 1024}));
  EXPECT_EQ(emgEpochChoicesMs(EmgMeasure::MaxAmplitude, 250), (std::array<int, 4>{512, 1024, 2048, 4096}));
  for (int fs : {250, 500, 1000, 2000})
    for (int k = 0; k < 4; ++k)
      EXPECT_EQ(emgEpochSamples(emgEpochChoicesMs(EmgMeasure::MaxAmplitude, fs)[static_cast<std::size_t>(k)], fs),
                128 << k)
          << fs;
}

TEST_F(EmgStudy, MeanRectifiedAmplitudeOfASquareWave) {
  // ±300 codes about the zero line, 2 µV per code: every epoch 600 µV
  for (int i = 0; i < s.recordLength; ++i) s.channel(0)[i] = static_cast<std::int16_t>((i / 7) % 2 ? 2348 : 1748);
  EmgEpochAnalysis a;
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MeanAmplitude, 100, a, message)) << message;
  ASSERT_EQ(a.amplitude.size(), 40u);  // 4096 / 100 whole epochs
  for (const auto& [t, v] : a.amplitude) EXPECT_DOUBLE_EQ(v, 600);
  EXPECT_DOUBLE_EQ(a.amplitude[3].first, 0.35);  // centre of epoch 3
  EXPECT_DOUBLE_EQ(a.meanAmplitude, 600);
  EXPECT_DOUBLE_EQ(a.sdAmplitude, 0);
  ASSERT_EQ(a.lines.size(), 1u);
  EXPECT_EQ(a.lines[0], std::string(kEmgMean) + "600" + kEmgSd + "0");
}

TEST_F(EmgStudy, LargestBandFindsTheSineAndItsFrequency) {
  // bin 20 of a 256-point spectrum at 1000 Hz: 78.125 Hz, amplitude 600
  // codes; the narrowest 25 Hz band holding it has 6 bins, its mean 2·600/6
  sine(20 * 1000.0 / 256, 600);
  EmgEpochAnalysis a;
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 256, a, message)) << message;
  ASSERT_EQ(a.amplitude.size(), 31u);  // trunc(2 × 4096 / 256) − 1 half-overlapping epochs
  ASSERT_EQ(a.frequency.size(), 31u);
  for (std::size_t m = 0; m < a.amplitude.size(); ++m) {
    EXPECT_DOUBLE_EQ(a.amplitude[m].first, m * 0.128);
    EXPECT_NEAR(a.amplitude[m].second, 200 * 2, 2 * 2) << m;
    EXPECT_DOUBLE_EQ(a.frequency[m].second, 78.125) << m;
  }
  EXPECT_DOUBLE_EQ(a.meanFrequency, 78.125);
  EXPECT_DOUBLE_EQ(a.sdFrequency, 0);
  EXPECT_EQ(a.skippedBands, 0);
  ASSERT_EQ(a.lines.size(), 2u);
  EXPECT_EQ(a.lines[1], std::string(kEmgMeanFrequency) + "78.13" + kEmgMeanFrequencySd + "0");
}

// A record of this system, read back from its ".cad" file, is measured about
// the channel's zero line exactly as a record in memory; a page of another
// system's file is measured about each epoch's own baseline.
TEST_F(EmgStudy, OwnRecordsAboutTheZeroLineForeignPagesAboutTheEpochBaseline) {
  // a square wave of 2448 and 2248 codes, both above the zero line 2048:
  // 300 codes from the zero line on average, 100 from the epoch's mean
  for (int i = 0; i < s.recordLength; ++i) s.channel(0)[i] = static_cast<std::int16_t>((i / 10) % 2 ? 2448 : 2248);
  s.programDir = dir.path() + "/";
  ScriptedInteraction ui;
  ASSERT_TRUE(saveRecords(s, dir.file("own.cad"), ui));
  StudyState own;
  own.programDir = s.programDir;
  ASSERT_TRUE(openRecordFile(own, dir.file("own.cad"), ui));
  ASSERT_EQ(own.recordLength, s.recordLength);
  EmgEpochAnalysis a;
  ASSERT_TRUE(emgEpochAnalysis(own, engine, 0, EmgMeasure::MeanAmplitude, 100, a, message)) << message;
  ASSERT_EQ(a.amplitude.size(), 40u);
  for (const auto& [t, v] : a.amplitude) EXPECT_DOUBLE_EQ(v, 600);

  s.recordSource = std::make_unique<SingleRecordSource>("text");
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MeanAmplitude, 100, a, message)) << message;
  ASSERT_EQ(a.amplitude.size(), 40u);
  for (const auto& [t, v] : a.amplitude) EXPECT_DOUBLE_EQ(v, 200);
  EXPECT_DOUBLE_EQ(a.meanAmplitude, 200);
}

// The spectra of a ".cad" record are those of the samples as they are; a
// foreign page's epochs lose their straight-line trend first, so a steep
// drift no longer wins the lowest band over the signal.
TEST_F(EmgStudy, ForeignPagesTakeTheDriftOffBeforeTheSpectra) {
  // 100 codes at 78.125 Hz on a drift of 16000 codes over the record
  for (int i = 0; i < s.recordLength; ++i)
    s.channel(0)[i] = static_cast<std::int16_t>(std::lround(
        -6000 + 16000.0 * i / s.recordLength + 100 * std::sin(2 * std::numbers::pi * 20 * i / 256.0)));
  s.programDir = dir.path() + "/";
  ScriptedInteraction ui;
  ASSERT_TRUE(saveRecords(s, dir.file("drift.cad"), ui));
  StudyState own;
  own.programDir = s.programDir;
  ASSERT_TRUE(openRecordFile(own, dir.file("drift.cad"), ui));
  EmgEpochAnalysis inMemory, fromFile, foreign;
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 256, inMemory, message)) << message;
  ASSERT_TRUE(emgEpochAnalysis(own, engine, 0, EmgMeasure::MaxAmplitude, 256, fromFile, message)) << message;
  EXPECT_EQ(fromFile.amplitude, inMemory.amplitude);
  EXPECT_EQ(fromFile.frequency, inMemory.frequency);
  EXPECT_LT(fromFile.meanFrequency, 25);  // the drift's band

  s.recordSource = std::make_unique<SingleRecordSource>("edf");
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 256, foreign, message)) << message;
  for (std::size_t m = 0; m < foreign.frequency.size(); ++m) {
    EXPECT_DOUBLE_EQ(foreign.frequency[m].second, 78.125) << m;
    EXPECT_NEAR(foreign.amplitude[m].second, 2 * 2 * 100 / 6.0, 2 * 3) << m;
  }
  EmgBandAmplitudes bands;
  ASSERT_TRUE(emgBandAmplitudes(s, engine, 0, 1000, 256, bands, message)) << message;
  const auto top = std::max_element(bands.points.begin(), bands.points.end(),
                                    [](const auto& a, const auto& b) { return a.second < b.second; });
  EXPECT_GE(top->first, 55);  // a band holding 78 Hz
  EXPECT_LE(top->first, 75);
}

// The EMG channel of a DC-coupled BioSemi recording starts about 600 µV off
// zero; its mean rectified amplitude is that of the muscle signal about its
// own baseline, tens of µV at most, and adding a constant to the page does
// not change it.
TEST(EmgForeignRecording, MeanAmplitudeOfADcCoupledBdfChannelIsTheSignals) {
  const std::string path = test::sharedData("mne-testing-data/multiple_annotation_chans.bdf");
  if (path.empty()) GTEST_SKIP() << "no shared recordings";
  StudyState s;
  s.programDir = "./";
  ScriptedInteraction ui;
  ASSERT_TRUE(openEdf(s, path, edfSampleWidthFor(path), ui));
  ASSERT_EQ(trimSpaces(s.channelNames[0]), "EMG");
  ASSERT_EQ(s.sampleRate, 125);
  SpectralEngine engine;
  std::string message;
  // the first second's level about the zero line: the DC part, about 600 µV
  double level = 0;
  for (int i = 0; i < s.sampleRate; ++i) level += s.channel(0)[i] - s.zeroLevel[0];
  level = level / s.sampleRate * s.microvoltsPerCode(0);
  EXPECT_GT(level, 500);
  // "Аср" of 250 ms epochs: a few µV of muscle signal (about 3), not the
  // level (the first epoch alone read 612 about the zero line)
  EmgEpochAnalysis mean;
  const int e = emgEpochSamples(250, s.sampleRate);
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MeanAmplitude, e, mean, message)) << message;
  EXPECT_GT(mean.meanAmplitude, 0.5);
  EXPECT_LT(mean.meanAmplitude, 20);
  ASSERT_FALSE(mean.amplitude.empty());
  EXPECT_LT(mean.amplitude[0].second, 50);
  // "Amax" of 128-sample epochs and the band amplitudes of the first epoch:
  // µV-sized, and the lowest band no longer towers over the others as the
  // drift's 1/f spectrum made it (4.1 µV against a mean of 1.6)
  EmgEpochAnalysis largest;
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 128, largest, message)) << message;
  EXPECT_GT(largest.meanAmplitude, 0.1);
  EXPECT_LT(largest.meanAmplitude, 20);
  EmgBandAmplitudes bands;
  ASSERT_TRUE(emgBandAmplitudes(s, engine, 0, 0, kEmgMeanBandEpoch, bands, message)) << message;
  ASSERT_FALSE(bands.points.empty());
  EXPECT_LT(bands.points[0].second, 1.5 * bands.mean);
  // a constant added to every sample: the same measures
  for (int i = 0; i < s.recordLength; ++i) s.channel(0)[i] = static_cast<std::int16_t>(s.channel(0)[i] - 1000);
  EmgEpochAnalysis shifted;
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MeanAmplitude, e, shifted, message)) << message;
  ASSERT_EQ(shifted.amplitude.size(), mean.amplitude.size());
  for (std::size_t k = 0; k < mean.amplitude.size(); ++k) EXPECT_NEAR(shifted.amplitude[k].second, mean.amplitude[k].second, 1e-9);
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 128, shifted, message)) << message;
  EXPECT_EQ(shifted.amplitude, largest.amplitude);
}

TEST_F(EmgStudy, EpochLongerThanTheRecordGivesAMessage) {
  shape(1000, 200, 1);
  for (EmgMeasure m : {EmgMeasure::MeanAmplitude, EmgMeasure::MaxAmplitude}) {
    EmgEpochAnalysis a;
    message.clear();
    EXPECT_FALSE(emgEpochAnalysis(s, engine, 0, m, 256, a, message));
    EXPECT_EQ(message, kEmgEpochTooLong);
    EXPECT_TRUE(a.amplitude.empty());
  }
  EmgBandAmplitudes b;
  EXPECT_FALSE(emgBandAmplitudes(s, engine, 0, 0, 256, b, message));
  EXPECT_EQ(message, kEmgEpochTooLong);
}

TEST_F(EmgStudy, BandAmplitudesOfTheEpochAtTheCursor) {
  // only epoch 5 (128 samples) holds a sine at bin 10 = 78.125 Hz
  for (int i = 5 * 128; i < 6 * 128; ++i)
    s.channel(0)[i] = static_cast<std::int16_t>(std::lround(2048 + 600 * std::sin(2 * std::numbers::pi * 10 * i / 128)));
  EmgBandAmplitudes b;
  ASSERT_TRUE(emgBandAmplitudes(s, engine, 0, 5 * 128 + 77, 128, b, message)) << message;
  EXPECT_EQ(b.epoch, 5);
  // bands F = 0, 5, ..., 475 (F + 25 ≤ 500)
  ASSERT_EQ(b.points.size(), 96u);
  const auto top = std::max_element(b.points.begin(), b.points.end(),
                                    [](const auto& l, const auto& r) { return l.second < r.second; });
  // bins 8..10 (62.5 .. 78.1 Hz): the band from 55 Hz, mean 2·600/3 in µV
  EXPECT_DOUBLE_EQ(top->first, 55);
  EXPECT_NEAR(top->second, 400 * 2, 2 * 2);
  double sum = 0;
  for (const auto& p : b.points) sum += p.second;
  EXPECT_DOUBLE_EQ(b.mean, sum / 96);
  // a cursor in the last, incomplete epoch takes the last whole one
  ASSERT_TRUE(emgBandAmplitudes(s, engine, 0, 4095, 128, b, message));
  EXPECT_EQ(b.epoch, 31);
  ASSERT_TRUE(emgBandAmplitudes(s, engine, 0, 4095, 100, b, message));
  EXPECT_EQ(b.epoch, 39);
}

TEST_F(EmgStudy, BandsWithoutABinAreSkippedOrRefused) {
  // 20 kHz, 128 points: bins 156 Hz apart, most 25 Hz bands hold none
  shape(20000, 4096, 1);
  sine(1000, 500);
  EmgBandAmplitudes b;
  ASSERT_TRUE(emgBandAmplitudes(s, engine, 0, 0, 128, b, message)) << message;
  EXPECT_GT(b.skippedBands, 0);
  EXPECT_EQ(static_cast<int>(b.points.size()) + b.skippedBands, 1996);
  for (const auto& p : b.points) EXPECT_TRUE(std::isfinite(p.second));
  EmgEpochAnalysis a;
  ASSERT_TRUE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 128, a, message));
  EXPECT_EQ(a.skippedBands, b.skippedBands);
  EXPECT_NEAR(a.frequency[0].second, 1000, 20000.0 / 128);
  // below 50 Hz no 25 Hz band fits under half the rate
  shape(40, 4096, 1);
  EXPECT_FALSE(emgBandAmplitudes(s, engine, 0, 0, 128, b, message));
  EXPECT_EQ(message, kEmgNoBandBins);
  EXPECT_FALSE(emgEpochAnalysis(s, engine, 0, EmgMeasure::MaxAmplitude, 128, a, message));
  EXPECT_EQ(message, kEmgNoBandBins);
}

// A piecewise linear signal through the given turning points.
std::vector<std::int16_t> through(const std::vector<std::pair<int, int>>& corners) {
  std::vector<std::int16_t> x;
  for (std::size_t k = 0; k + 1 < corners.size(); ++k) {
    const auto [p0, v0] = corners[k];
    const auto [p1, v1] = corners[k + 1];
    for (int i = p0; i < p1; ++i) x.push_back(static_cast<std::int16_t>(v0 + (v1 - v0) * (i - p0) / (p1 - p0)));
  }
  x.push_back(static_cast<std::int16_t>(corners.back().second));
  return x;
}

TEST(EmgSwings, TurningPointsBeyondTheThreshold) {
  // 2000 → 2300 → 2250 → 2280 (a reversal within 100 codes of the last
  // turning point, ignored) → 1900 → 2000 (never turns: no swing)
  const auto x = through({{0, 2000}, {30, 2300}, {35, 2250}, {40, 2280}, {80, 1900}, {100, 2000}});
  std::vector<int> a, d;
  emgSwings(x.data(), static_cast<int>(x.size()), a, d);
  EXPECT_EQ(a, (std::vector<int>{300, 400}));
  EXPECT_EQ(d, (std::vector<int>{30, 50}));
  // swings that never exceed 100 codes: none
  const auto small = through({{0, 2000}, {10, 2090}, {20, 2000}, {30, 2090}, {40, 2000}});
  emgSwings(small.data(), static_cast<int>(small.size()), a, d);
  EXPECT_TRUE(a.empty());
}

TEST_F(EmgStudy, SwingHistogramsHideTheTopClass) {
  // 40 swings, alternately up and down, of amplitudes 200 + 10·k codes and
  // durations 20 + k samples; a last rise that never turns
  std::vector<std::pair<int, int>> corners{{0, 2048}};
  for (int k = 0; k < 40; ++k)
    corners.emplace_back(corners.back().first + 20 + k, corners.back().second + (k % 2 ? -1 : 1) * (200 + 10 * k));
  corners.emplace_back(corners.back().first + 30, corners.back().second + 150);
  const auto x = through(corners);
  shape(1000, static_cast<int>(x.size()), 2);
  std::copy(x.begin(), x.end(), s.channel(0));
  EmgSwingHistograms h;
  ASSERT_TRUE(emgSwingHistograms(s, 0, h, message)) << message;
  ASSERT_EQ(h.amplitudes.size(), 40u);
  EXPECT_EQ(h.amplitudes[39], 590);
  EXPECT_EQ(h.durations[39], 59);
  EXPECT_EQ(h.classes, 6);  // trunc(3.3 log10 40 + 1.5)
  ASSERT_EQ(h.amplitudePoints.size(), 6u);
  ASSERT_EQ(h.durationPoints.size(), 6u);
  EXPECT_DOUBLE_EQ(h.amplitudeWidth, 65);
  EXPECT_DOUBLE_EQ(h.durationWidth, 6.5);
  // the largest value alone falls in the hidden class 6: the shown classes
  // hold 39 swings and their per cents sum to 100
  double pa = 0, pd = 0;
  for (const auto& p : h.amplitudePoints) pa += p.second;
  for (const auto& p : h.durationPoints) pd += p.second;
  EXPECT_NEAR(pa, 100, 1e-9);
  EXPECT_NEAR(pd, 100, 1e-9);
  // amplitudes 200..260 (7 of them) in class 0; centres in µV and ms
  EXPECT_DOUBLE_EQ(h.amplitudePoints[0].second, 7 / 39.0 * 100);
  EXPECT_DOUBLE_EQ(h.amplitudePoints[0].first, std::trunc((65 * 0.5 + 200) * 2));
  EXPECT_DOUBLE_EQ(h.durationPoints[2].first, std::trunc((6.5 * 2.5 + 20) / 1000 * 1000));
}

TEST_F(EmgStudy, DegenerateSwingsGiveMessages) {
  EmgSwingHistograms h;
  // flat: no swing
  EXPECT_FALSE(emgSwingHistograms(s, 0, h, message));
  EXPECT_EQ(message, kEmgTooFewSwings);
  // a perfect triangle wave: every swing equal, no class width
  std::vector<std::pair<int, int>> corners;
  for (int k = 0; k <= 20; ++k) corners.emplace_back(k * 25, k % 2 ? 2400 : 2000);
  const auto x = through(corners);
  shape(1000, static_cast<int>(x.size()), 1);
  std::copy(x.begin(), x.end(), s.channel(0));
  EXPECT_FALSE(emgSwingHistograms(s, 0, h, message));
  EXPECT_EQ(message, kEmgEqualSwings);
}

TEST_F(EmgStudy, IntervalSpectraTakeTheSelectionOrTheRecord) {
  sine(125, 400);
  struct Case {
    int cursor, anchor;
    int wantCursor, wantLength;
  } const cases[] = {
      {900, 644, 644, 256},   // anchor before the cursor: exchanged
      {100, 356, 100, 256},   //
      {100, 110, 0, 4096},    // shorter than 16: the whole record, at most 4096
      {100, -1, 0, 4096},     // no selection
  };
  for (const Case& c : cases) {
    s.cursorPos = c.cursor;
    s.selectionAnchor = c.anchor;
    s.bandMode = 0;
    const int values = emgIntervalSpectra(s, engine, message);
    EXPECT_EQ(values, c.wantLength / 2) << c.cursor << "/" << c.anchor;
    EXPECT_EQ(s.cursorPos, c.wantCursor);
    EXPECT_EQ(s.selectionAnchor, c.wantCursor + c.wantLength);
    EXPECT_EQ(s.epochLength, c.wantLength);
    EXPECT_EQ(s.bandMode, 1);
    // 125 Hz: bin 32 of 256 points, 2 × 400 in the amplitude spectrum
    if (c.wantLength == 256) EXPECT_NEAR(s.parkedChannelData[0][32], 800, 8);
  }
  // the transform view already on: refused, nothing moves
  s.enterTransformView(TransformKind::Amplitude, 128, 800);
  s.cursorPos = 10;
  s.selectionAnchor = 300;
  s.bandMode = 0;
  EXPECT_EQ(emgIntervalSpectra(s, engine, message), -1);
  EXPECT_EQ(s.cursorPos, 10);
  EXPECT_EQ(s.selectionAnchor, 300);
  EXPECT_EQ(s.bandMode, 0);
}

TEST(EmgSettingsFile, PositionsAreRangeChecked) {
  test::TempDir dir;
  const std::string d = dir.path() + "/";
  bool unreadable = false;
  EmgSettings st = readEmgSettings(d, &unreadable);
  EXPECT_TRUE(unreadable);  // missing: defaults
  EXPECT_EQ(st.stimulus, 0);
  ASSERT_TRUE(writeEmgSettings(d, {15, 1, 3}));
  st = readEmgSettings(d, &unreadable);
  EXPECT_FALSE(unreadable);
  EXPECT_EQ(st.stimulus, 15);
  EXPECT_EQ(st.measureKind(), EmgMeasure::MaxAmplitude);
  EXPECT_EQ(st.epoch, 3);
  struct Case {
    std::vector<std::string> lines;
    int stimulus, measure, epoch;
  } const cases[] = {
      {{"16", "2", "4"}, 0, 0, 0},
      {{"-1", "x", "99999999999"}, 0, 0, 0},
      {{" 7 ", "1"}, 7, 1, 0},  // short: what is there is taken
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeTextLines(d + kEmgSettingsFile, c.lines));
    st = readEmgSettings(d, &unreadable);
    EXPECT_TRUE(unreadable);
    EXPECT_EQ(st.stimulus, c.stimulus);
    EXPECT_EQ(st.measure, c.measure);
    EXPECT_EQ(st.epoch, c.epoch);
  }
}

}  // namespace
}  // namespace velor
