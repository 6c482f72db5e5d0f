// The record transformations and the artefact handling: undo from the
// in-memory copy, all-or-nothing refusals, the edge cases of each command
// and blink removal on a recording with constructed blinks.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "core/filter_design.h"
#include "core/formula.h"
#include "core/record_file.h"
#include "core/record_snapshot.h"
#include "core/study_state.h"
#include "core/trace_ops.h"
#include "eeg/spectral.h"
#include "interchange/edf.h"
#include "test_support.h"
#include "tools/artefact_texts.h"
#include "tools/artefacts.h"
#include "tools/demo_study.h"
#include "tools/transformation_texts.h"
#include "tools/transformations.h"

namespace velor {
namespace {

using test::StudySnapshot;

// A fresh record of `channels` × `n` samples on zero level 2048, 1 µV a code.
void plainRecord(StudyState& s, int channels, int n, int rate = 250) {
  s.channelCount = channels;
  s.recordLength = n;
  s.sampleRate = rate;
  s.shownChannelCount = channels;
  s.firstShownChannel = 0;
  s.currentChannelRow = 0;
  s.cursorPos = 0;
  s.selectionAnchor = -1;
  s.timeZoom = 0;
  for (int ch = 0; ch < channels; ++ch) {
    s.zeroLevel[ch] = 2048;
    s.calibUnits[ch] = 100;
    s.calibValue[ch] = 100;
    s.channelNames[static_cast<std::size_t>(ch)] = "C" + std::to_string(ch + 1);
    s.channelPosX[static_cast<std::size_t>(ch)] = 10;
    for (int i = 0; i < n; ++i) s.channel(ch)[i] = 2048;
  }
}

void noise(StudyState& s, int ch, double sd, unsigned seed) {
  std::mt19937 g(seed);
  std::normal_distribution<double> d(0, sd);
  for (int i = 0; i < s.recordLength; ++i) s.channel(ch)[i] = static_cast<std::int16_t>(2048 + std::lround(d(g)));
}

// --- undo -------------------------------------------------------------------------------

// The copy taken before a transformation gives back every sample, whatever
// the record came from.
void expectUndoRestores(StudyState& s) {
  const StudySnapshot before(s);
  RecordSnapshot undo;
  undo.capture(s);
  ScriptedInteraction ui;
  ASSERT_TRUE(derivative(s, 0, s.channelCount - 1));
  ASSERT_TRUE(decimateRecord(s, 2, ui) || true);
  EXPECT_FALSE(StudySnapshot(s) == before);
  ASSERT_TRUE(undo.restore(s));
  EXPECT_TRUE(StudySnapshot(s) == before);
}

TEST(TransformUndo, RestoresARecordOfACadFile) {
  test::TempDir dir;
  StudyState s;
  DemoStudyOptions o;
  o.records = 2;
  o.seconds = 4;
  NoProgress p;
  std::string reason;
  ASSERT_TRUE(writeDemoStudy(s, dir.file("d.cad"), o, p, reason)) << reason;
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(s, dir.file("d.cad"), ui));
  expectUndoRestores(s);
}

TEST(TransformUndo, RestoresAnEdfPage) {
  const std::string path = test::sharedData("eegmat/Subject00_1.edf");
  if (path.empty()) GTEST_SKIP() << "no shared recordings";
  StudyState s;
  s.programDir = "./";
  ScriptedInteraction ui;
  ASSERT_TRUE(openEdf(s, path, edfSampleWidthFor(path), ui));
  expectUndoRestores(s);
}

TEST(TransformUndo, RestoresAnUnsavedRecordAndRefusesAnotherOne) {
  StudyState s;
  plainRecord(s, 3, 1000);
  noise(s, 0, 50, 1);
  expectUndoRestores(s);
  RecordSnapshot undo;
  undo.capture(s);
  s.currentRecord += 1;  // another record now in memory
  EXPECT_FALSE(undo.restore(s));
}

// --- all or nothing ------------------------------------------------------------------------

TEST(TransformRefusals, LeaveTheRecordAsItWas) {
  StudyState s;
  plainRecord(s, 3, 500);
  noise(s, 0, 40, 2);
  noise(s, 2, 40, 3);  // channel 2 (index 1) stays flat
  SpectralEngine engine;
  struct Case {
    const char* what;
    std::function<bool(StudyState&, Interaction&)> run;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"z-scores of a flat channel", [](StudyState& st, Interaction& ui) { return zScores(st, 0, 2, ui); },
       kTrnFlatChannel},
      {"formula dividing by zero", [](StudyState& st, Interaction& ui) {
         CompiledFormula f;
         std::string m;
         EXPECT_TRUE(compileFormula("1/(j-250)", FunctionNames::defaults(), f, m)) << m;
         return applyFormula(st, f, ui);
       }, kTrnFormulaFault},
      {"equal filter limits", [&](StudyState& st, Interaction& ui) {
         TransformSettings t;
         t.lowHz = t.highHz = 10;
         return filterRecord(st, t, true, engine, ui);
       }, kTrnRangeError},
      {"decimation by a step the rate does not divide", [](StudyState& st, Interaction& ui) {
         return decimateRecord(st, 3, ui);
       }, ""},
      {"comparison with itself", [](StudyState& st, Interaction& ui) {
         ChannelComparison c;
         return compareChannels(st, 1, c, ui);
       }, kTrnChannelError},
      {"copy to a channel that does not exist", [](StudyState& st, Interaction& ui) { return copyChannel(st, 4, ui); },
       kTrnChannelError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const StudySnapshot before(s);
    ScriptedInteraction ui;
    EXPECT_FALSE(c.run(s, ui));
    EXPECT_TRUE(StudySnapshot(s) == before);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind(c.message, 0), 0u) << ui.messages[0];
  }
}

TEST(TransformRefusals, StandardisationOfFlatChannelsAndAveragingWithAnotherShape) {
  test::TempDir dir;
  StudyState other;
  DemoStudyOptions o;
  o.records = 1;
  o.seconds = 2;
  NoProgress p;
  std::string reason;
  ASSERT_TRUE(writeDemoStudy(other, dir.file("o.cad"), o, p, reason)) << reason;

  StudyState s;
  plainRecord(s, 3, 500);
  const StudySnapshot before(s);
  ScriptedInteraction ui;
  EXPECT_FALSE(standardiseAmplitudes(s, ui));
  EXPECT_FALSE(averageWithFile(s, dir.file("o.cad"), ui));
  EXPECT_TRUE(StudySnapshot(s) == before);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0], kTrnFlatChannel);
  EXPECT_EQ(ui.messages[1], kTrnOtherFileMismatch);
}

// --- edge cases of the commands --------------------------------------------------------------

TEST(Transformations, AmplitudeZeroPutsTheZeroLevel) {
  StudyState s;
  plainRecord(s, 2, 100);
  s.channel(0)[10] = 3000;
  s.cursorPos = 10;
  ScriptedInteraction ui;
  ASSERT_TRUE(setAmplitudeAtCursor(s, 0, ui));
  EXPECT_EQ(s.channel(0)[10], 2048);
  ASSERT_TRUE(setAmplitudeAtCursor(s, 1e9, ui));
  EXPECT_EQ(s.channel(0)[10], 32767);  // stops at the code range, no wrap
}

TEST(Transformations, DecimationKeepsTimesAndMarks) {
  StudyState s;
  plainRecord(s, 1, 1000, 250);
  ScriptedInteraction ui;
  for (int i = 0; i < 1000; ++i) s.channel(0)[i] = static_cast<std::int16_t>(i);
  s.channel(0)[301] = kMarkCode;
  EXPECT_FALSE(decimateRecord(s, 1, ui));
  ASSERT_TRUE(decimateRecord(s, 2, ui));
  EXPECT_EQ(s.sampleRate, 125);
  EXPECT_EQ(s.recordLength, 500);
  EXPECT_EQ(s.channel(0)[10], 20);         // sample i is at the time of old sample 2i
  EXPECT_EQ(s.channel(0)[150], kMarkCode);  // the mark moved with its block
}

TEST(Transformations, ZScoresNeverWriteTheMarkCode) {
  // 16 samples at 1000 ± 10 and one at the mean: sd = 10 × sqrt(16 / 16) = 10.
  ScriptedInteraction ui;
  StudyState t;
  plainRecord(t, 1, 17);
  for (int i = 0; i < 16; ++i) t.channel(0)[i] = static_cast<std::int16_t>(i % 2 ? 1010 : 990);
  t.channel(0)[16] = 1000;
  ASSERT_TRUE(zScores(t, 0, 0, ui));
  EXPECT_EQ(t.channel(0)[16], 2048);  // the mean
  for (int i = 0; i < 17; ++i) EXPECT_NE(t.channel(0)[i], kMarkCode);
  // A sample 4 sd above the mean lands on 4096: it is written one code above the mark.
  EXPECT_EQ(clampSignalCode(4096.2), 4097);
}

TEST(Transformations, CopyOfASelectionLeavesOneMarkAfterIt) {
  StudyState s;
  plainRecord(s, 2, 100);
  for (int i = 0; i < 100; ++i) s.channel(0)[i] = static_cast<std::int16_t>(1000 + i);
  s.selectionAnchor = 20;
  s.cursorPos = 30;
  ScriptedInteraction ui;
  ASSERT_TRUE(copyChannel(s, 2, ui));
  EXPECT_EQ(s.channel(1)[0], 1020);
  EXPECT_EQ(s.channel(1)[9], 1029);
  EXPECT_EQ(s.channel(1)[10], kMarkCode);
  EXPECT_EQ(s.channel(1)[11], 2048);
}

TEST(Transformations, TwoWayButterworthKeepsASymmetricPulseSymmetric) {
  StudyState s;
  plainRecord(s, 1, 401);
  for (int i = -20; i <= 20; ++i) s.channel(0)[200 + i] = static_cast<std::int16_t>(2048 + 800 - 40 * std::abs(i));
  ScriptedInteraction ui;
  ASSERT_TRUE(iirFilter(s, true, 0, 4, 0, 0, 0, 0, 0.05, true, ui));
  for (int i = 1; i < 100; ++i) EXPECT_NEAR(s.channel(0)[200 - i], s.channel(0)[200 + i], 1) << i;
}

// Channels filtered side by side give what one channel through filterSample gives.
TEST(Transformations, IirOfManyChannelsMatchesTheSampleFilter) {
  StudyState s;
  plainRecord(s, 5, 3000);
  for (int ch = 0; ch < 5; ++ch) noise(s, ch, 300, 20 + ch);
  std::vector<std::vector<std::int16_t>> want;
  FilterDesign d;
  ASSERT_TRUE(designFilter(d, 3, kButterworthBandPass, 0, 0.1, 0.01));
  for (int ch = 0; ch < 5; ++ch) {
    std::vector<std::int16_t> y(s.channel(ch), s.channel(ch) + 3000);
    FilterState st;
    settleFilter(d, st, y[0]);
    for (auto& v : y) v = clampSignalCode(filterSample(d, st, v) + 2048.0);
    want.push_back(y);
  }
  ScriptedInteraction ui;
  ASSERT_TRUE(iirFilter(s, true, 0, 3, 0, 0, 4, 0.01, 0.1, false, ui));
  for (int ch = 0; ch < 5; ++ch)
    EXPECT_EQ(std::vector<std::int16_t>(s.channel(ch), s.channel(ch) + 3000), want[static_cast<std::size_t>(ch)]) << ch;
}

TEST(Transformations, FourierKeepingZeroToF2IsALowPass) {
  StudyState s;
  plainRecord(s, 1, 2048, 256);
  for (int i = 0; i < 2048; ++i)
    s.channel(0)[i] = static_cast<std::int16_t>(2048 + std::lround(300 * std::sin(2 * M_PI * 4 * i / 256.0) +
                                                                   300 * std::sin(2 * M_PI * 60 * i / 256.0)));
  SpectralEngine engine;
  TransformSettings t;
  t.filterType = static_cast<int>(TransformFilterType::Fourier);
  t.lowHz = 0;
  t.highHz = 20;
  ScriptedInteraction ui;
  ASSERT_TRUE(filterRecord(s, t, true, engine, ui));
  double worst = 0;
  for (int i = 100; i < 1948; ++i)
    worst = std::max(worst, std::fabs(s.channel(0)[i] - 2048 - 300 * std::sin(2 * M_PI * 4 * i / 256.0)));
  EXPECT_LT(worst, 12);
}

TEST(Transformations, DerivativeStopsAtTheCodeRange) {
  StudyState s;
  plainRecord(s, 1, 50);
  for (int i = 25; i < 50; ++i) s.channel(0)[i] = 30000;
  ASSERT_TRUE(derivative(s, 0, 0));
  int high = 0;
  for (int i = 0; i < 50; ++i) high = std::max<int>(high, s.channel(0)[i]);
  EXPECT_GT(high, 10000);  // a jump of 28000 × 5 stops at 32767 (then smoothed) instead of wrapping negative
  for (int i = 0; i < 50; ++i) EXPECT_GE(s.channel(0)[i], 0) << i;
}

TEST(Transformations, HeaderLinesGoToZagolovok) {
  test::TempDir dir;
  StudyState s;
  plainRecord(s, 1, 10);
  s.recordFileName = "a b.cad";
  std::vector<std::string> list;
  ScriptedInteraction ui;
  ASSERT_TRUE(appendHeaderSummary(s, list, dir.path() + "/", ui));
  ASSERT_TRUE(appendHeaderSummary(s, list, dir.path() + "/", ui));
  const std::string text = test::readBytes(dir.file(kTrnHeaderFile));
  EXPECT_EQ(text.rfind("a_b.cad 250 ", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(Transformations, SettingsFileRoundTrip) {
  test::TempDir dir;
  TransformSettings t;
  t.lowHz = 0.5;
  t.highHz = 35;
  t.order = 4;
  t.filterType = 2;
  t.twoWay = true;
  t.allChannels = true;
  ASSERT_TRUE(writeTransformSettings(dir.path() + "/", t));
  TransformSettings r;
  ASSERT_TRUE(readTransformSettings(dir.path() + "/", r));
  EXPECT_EQ(r.lowHz, 0.5);
  EXPECT_EQ(r.highHz, 35);
  EXPECT_EQ(r.order, 4);
  EXPECT_EQ(r.filterType, 2);
  EXPECT_TRUE(r.twoWay);
  EXPECT_TRUE(r.allChannels);
  TransformSettings missing;
  EXPECT_FALSE(readTransformSettings(dir.path() + "/none/", missing));
}

// --- artefacts ----------------------------------------------------------------------------------

class ScriptedConfirm : public ArtefactConfirm {
 public:
  std::vector<ArtefactAnswer> answers;
  std::vector<std::pair<int, int>> shown;
  ArtefactAnswer confirm(StudyState&, int first, int last) override {
    shown.push_back({first, last});
    if (answers.empty()) return ArtefactAnswer::Cut;
    const ArtefactAnswer a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};

TEST(Artefacts, ARunOfExactlyRSamplesStaysAndOneMoreIsCut) {
  StudyState s;
  plainRecord(s, 2, 200, 100);  // R = trunc(100 × 0.1) = 10
  for (int i = 20; i < 30; ++i) s.channel(0)[i] = 2048 + 500;  // 10 samples
  for (int i = 60; i < 71; ++i) s.channel(0)[i] = 2048 + 500;  // 11 samples
  ScriptedInteraction ui;
  EXPECT_EQ(cutArtefacts(s, 0.1, 100, false, nullptr, ui), 1);
  EXPECT_EQ(s.channel(0)[20], 2548);
  EXPECT_EQ(s.channel(0)[60], 2048);
  EXPECT_EQ(s.recordLength, 200);
}

TEST(Artefacts, ASignChangeMakesTwoStretchesAndCutAllStopsAsking) {
  StudyState s;
  plainRecord(s, 2, 300, 100);
  for (int i = 20; i < 28; ++i) s.channel(0)[i] = 2048 + 500;  // 8 above, then 8 below: two short stretches
  for (int i = 28; i < 36; ++i) s.channel(0)[i] = 2048 - 500;
  for (int i = 100; i < 120; ++i) s.channel(0)[i] = 2048 + 500;
  for (int i = 120; i < 140; ++i) s.channel(0)[i] = 2048 - 500;  // directly following another
  for (int i = 200; i < 220; ++i) s.channel(0)[i] = 2048 + 500;
  ScriptedConfirm confirm;
  confirm.answers = {ArtefactAnswer::CutAll};
  ScriptedInteraction ui;
  EXPECT_EQ(cutArtefacts(s, 0.1, 100, true, &confirm, ui), 3);
  EXPECT_EQ(confirm.shown.size(), 1u);
  for (int i = 36; i < 300; ++i) EXPECT_EQ(s.channel(0)[i], 2048) << i;
  EXPECT_EQ(s.selectionAnchor, -1);
}

TEST(Artefacts, RegressionRemovesTheInductorsShare) {
  StudyState s;
  plainRecord(s, 2, 1000);
  noise(s, 1, 100, 7);
  for (int i = 0; i < 1000; ++i) s.channel(0)[i] = static_cast<std::int16_t>(2048 + (s.channel(1)[i] - 2048) / 2);
  s.firstShownChannel = 0;
  ScriptedInteraction ui;
  ASSERT_TRUE(regressionCorrection(s, 1, false, ui));
  for (int i = 0; i < 1000; ++i) EXPECT_NEAR(s.channel(0)[i], 2048, 2) << i;
  StudyState flat;
  plainRecord(flat, 2, 100);
  const StudySnapshot before(flat);
  EXPECT_FALSE(regressionCorrection(flat, 1, true, ui));
  EXPECT_TRUE(StudySnapshot(flat) == before);
  EXPECT_EQ(ui.messages.back(), kAfFlatInductor);
}

// Blinks: a positive lobe of 0.3 s and a small negative rebound on the
// frontal lead, fading towards the back; alpha and noise everywhere.
TEST(Artefacts, BlinkRemovalCutsTheFrontalBlinksTenfold) {
  const int fs = 250, n = 5000;
  StudyState s;
  plainRecord(s, 3, n, fs);
  s.channelNames[0] = "F3 ";  // no Fp1: F3 is taken
  s.channelNames[1] = "O1";
  s.channelNames[2] = "ECG";
  s.channelPosX[2] = kKindEcg;
  std::mt19937 g(11);
  std::normal_distribution<double> d(0, 3);
  std::vector<double> blink(n, 0);
  for (int start : {800, 2300, 3900}) {
    for (int i = 0; i < 75; ++i) blink[static_cast<std::size_t>(start + i)] = 400 * std::sin(M_PI * i / 75.0);
    for (int i = 0; i < 50; ++i) blink[static_cast<std::size_t>(start + 75 + i)] = -60 * std::sin(M_PI * i / 50.0);
  }
  std::vector<std::vector<double>> noiseOf(3, std::vector<double>(n));
  for (int ch = 0; ch < 3; ++ch)
    for (int i = 0; i < n; ++i) {
      noiseOf[static_cast<std::size_t>(ch)][static_cast<std::size_t>(i)] = d(g);
      const double alpha = 30 * std::sin(2 * M_PI * 10 * i / fs + ch);
      const double share = ch == 0 ? 1.0 : 0.0;
      s.channel(ch)[i] = static_cast<std::int16_t>(
          std::lround(2048 + alpha + noiseOf[static_cast<std::size_t>(ch)][static_cast<std::size_t>(i)] +
                      share * blink[static_cast<std::size_t>(i)]));
    }
  const StudySnapshot before(s);
  std::vector<std::int16_t> o1Before(s.channel(1), s.channel(1) + n), ecgBefore(s.channel(2), s.channel(2) + n);
  SpectralEngine engine;
  ScriptedInteraction ui;
  std::vector<std::pair<int, int>> found;
  ASSERT_TRUE(removeBlinks(s, engine, ui, &found));
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(found.size(), 3u);
  // The blink amplitude left on the frontal lead: its low-frequency part in each stretch.
  double leftPeak = 0;
  for (auto [a, b] : found)
    for (int i = a; i < b; ++i) {
      const double alpha = 30 * std::sin(2 * M_PI * 10 * i / fs);
      leftPeak = std::max(leftPeak, std::fabs(s.channel(0)[i] - 2048 - alpha - noiseOf[0][static_cast<std::size_t>(i)]));
    }
  EXPECT_LT(leftPeak, 400 / 10.0);
  // The other channels change by less than their noise (sd 3).
  double o1Change = 0;
  for (int i = 0; i < n; ++i) o1Change += std::pow(s.channel(1)[i] - o1Before[static_cast<std::size_t>(i)], 2);
  EXPECT_LT(std::sqrt(o1Change / n), 3.0);
  for (int i = 0; i < n; ++i) EXPECT_EQ(s.channel(2)[i], ecgBefore[static_cast<std::size_t>(i)]);
}

TEST(Artefacts, NoFrontalLeadSaysSoAndChangesNothing) {
  StudyState s;
  plainRecord(s, 2, 500);
  noise(s, 0, 50, 1);
  const StudySnapshot before(s);
  SpectralEngine engine;
  ScriptedInteraction ui;
  EXPECT_FALSE(removeBlinks(s, engine, ui));
  EXPECT_TRUE(StudySnapshot(s) == before);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kAfNoFrontal);
}

}  // namespace
}  // namespace velor
