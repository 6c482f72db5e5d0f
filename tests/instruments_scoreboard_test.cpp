// The scoreboard's readouts: which fields are filled for cursor, anchor and
// measure, the registers of the mark channel, and the frequency, power and
// map readouts of the transform and map views.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/study_state.h"
#include "instruments/scoreboard.h"

namespace velor {
namespace {

// Two channels at 250 Hz where one code is one microvolt: samples 100..150 of
// channel 0 hold i − 125 µV, everything else 0 µV; the mark channel holds
// 0x0305 at sample 100.
void fill(StudyState& s) {
  s.channelCount = 2;
  s.shownChannelCount = 2;
  s.recordLength = 1000;
  s.sampleRate = 250;
  s.markChannelCount = 1;
  for (int c = 0; c < 2; ++c) {
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 100;
    s.calibValue[c] = 100;
    for (int i = 0; i < s.recordLength; ++i) s.channel(c)[i] = 2048;
  }
  for (int i = 100; i <= 150; ++i) s.channel(0)[i] = static_cast<std::int16_t>(2048 + i - 125);
  for (int i = 0; i < s.recordLength; ++i) s.markChannel[i] = 0;
  s.markChannel[100] = 0x0305;
  s.cursorPos = 100;
  s.selectionAnchor = -1;
}

struct Case {
  const char* name;
  int sumMode;
  int anchor;
  ScoreboardTexts want;
};

TEST(Scoreboard, FieldsFollowCursorAnchorAndMeasure) {
  const Case cases[] = {
      // No anchor: the value and time only, and the registers.
      {"no anchor", kSumMean, -1, {"-25", "0.4", "", "", "", "05", "03"}},
      // An anchor on the cursor: zero differences, no interval to integrate.
      {"anchor on cursor", kSumMean, 100, {"-25", "0.4", "0", "0", "", "05", "03"}},
      // Samples 100..150 hold −25..25 µV.
      {"absolute area", kSumAbsolute, 150, {"-25", "0.4", "-50", "-0.2", "650", "05", "03"}},
      {"signed area", kSumSigned, 150, {"-25", "0.4", "-50", "-0.2", "0", "05", "03"}},
      {"positive area", kSumPositive, 150, {"-25", "0.4", "-50", "-0.2", "325", "05", "03"}},
      {"negative area", kSumNegative, 150, {"-25", "0.4", "-50", "-0.2", "-325", "05", "03"}},
      {"mean", kSumMean, 140, {"-25", "0.4", "-40", "-0.16", "-5", "05", "03"}},
      // Raw codes: samples and codes, the integral a whole number; no registers.
      {"hex without anchor", kSumRawCodes, -1, {"2023", "100", "", "", "", "", ""}},
      {"hex", kSumRawCodes, 140, {"2023", "100", "-40", "40", "-205", "", ""}},
      {"hex anchor on cursor", kSumRawCodes, 100, {"2023", "100", "0", "0", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StudyState s;
    fill(s);
    s.sumMode = c.sumMode;
    s.selectionAnchor = c.anchor;
    const ScoreboardTexts t = scoreboardReadouts(s);
    EXPECT_EQ(t.y, c.want.y);
    EXPECT_EQ(t.t, c.want.t);
    EXPECT_EQ(t.dy, c.want.dy);
    EXPECT_EQ(t.dt, c.want.dt);
    EXPECT_EQ(t.integral, c.want.integral);
    EXPECT_EQ(t.in, c.want.in);
    EXPECT_EQ(t.out, c.want.out);
    EXPECT_FALSE(t.frequency);
  }
}

TEST(Scoreboard, RowsAndFoldedView) {
  StudyState s;
  fill(s);
  s.sumMode = kSumMean;
  s.channel(1)[100] = 2048 + 9;
  s.currentChannelRow = -3;  // taken as row 0
  EXPECT_EQ(scoreboardReadouts(s).y, "-25");
  EXPECT_EQ(s.currentChannelRow, 0);
  s.currentChannelRow = 1;
  EXPECT_EQ(scoreboardReadouts(s).y, "9");

  // Folded: channel 0 in three rows of 800 samples; row 1 starts 800 later.
  s.shownChannelCount = -1;
  s.monitorWidth = 800;
  s.timeZoom = 0;
  s.channel(0)[900] = 2048 + 7;
  s.markChannel[900] = 0x0A0B;
  const ScoreboardTexts t = scoreboardReadouts(s);
  EXPECT_EQ(t.y, "7");
  EXPECT_EQ(t.t, "3.6");
  EXPECT_EQ(t.in, "0B");
  EXPECT_EQ(t.out, "0A");
}

TEST(Scoreboard, SpectraReadFrequencies) {
  StudyState s;
  fill(s);
  s.sumMode = kSumMean;
  // The view as a spectrum of a 256-sample epoch at 128 Hz leaves it:
  // bin k is k × 0.5 Hz.
  s.sampleRate = 128;
  s.epochLength = 256;
  s.viewMode = ViewMode::Transform;
  s.transformKind = TransformKind::Amplitude;
  s.recordLength = 128;
  s.channel(0)[20] = 500;
  s.channel(0)[30] = 100;
  s.cursorPos = 20;
  ScoreboardTexts t = scoreboardReadouts(s);
  EXPECT_TRUE(t.frequency);
  EXPECT_EQ(t.t, "10");
  EXPECT_EQ(t.y, "500");
  EXPECT_EQ(t.in, "");  // a frequency has no registers
  s.selectionAnchor = 30;
  t = scoreboardReadouts(s);
  EXPECT_EQ(t.dt, "-5");
  EXPECT_EQ(t.dy, "400");

  // A power spectrum entered the view shifted right by 3: the readouts give
  // the power before the shift (code / units × value, twice).
  s.transformKind = TransformKind::Power;
  s.powerShift = 3;
  s.selectionAnchor = -1;
  EXPECT_EQ(scoreboardReadouts(s).y, "4000");
  s.selectionAnchor = 30;
  EXPECT_EQ(scoreboardReadouts(s).dy, "3200");

  // Correlation keeps times.
  s.transformKind = TransformKind::Correlation;
  t = scoreboardReadouts(s);
  EXPECT_FALSE(t.frequency);
  EXPECT_EQ(t.t, "0.1563");
}

TEST(Scoreboard, MapsReadTheBandMeasureOfTheMapChannel) {
  StudyState s;
  fill(s);
  s.sumMode = kSumMean;
  s.viewMode = ViewMode::BandDiagrams;
  s.transformKind = TransformKind::Amplitude;
  s.bandCount = 3;
  s.bandTable[1] = {"alpha", "8", "13"};
  s.currentBand = 1;
  s.currentEpoch = 2;
  s.epochStep = 256;
  s.sampleRate = 128;
  s.resultPut(1, 1, 2, 77);
  s.selectionAnchor = 50;  // no differences on a map

  ScoreboardTexts t = scoreboardReadouts(s);
  EXPECT_EQ(t.y, "0");  // the monitor's current channel 0 by default
  EXPECT_EQ(t.t, "4");
  EXPECT_EQ(t.dt, "8-13");
  EXPECT_EQ(t.dy, "");
  EXPECT_EQ(t.integral, "");
  t = scoreboardReadouts(s, [] { return 1; });
  EXPECT_EQ(t.y, "77");
}

TEST(Scoreboard, DegenerateStatesLeaveReadoutsEmpty) {
  StudyState s;
  fill(s);
  s.sumMode = kSumMean;
  s.sampleRate = 0;
  s.selectionAnchor = 150;
  ScoreboardTexts t = scoreboardReadouts(s);
  EXPECT_EQ(t.t, "");
  EXPECT_EQ(t.dt, "");
  EXPECT_EQ(t.y, "-25");

  // A cursor beyond the record (an empty record) reads nothing.
  s.sampleRate = 250;
  s.recordLength = 0;
  s.selectionAnchor = -1;
  t = scoreboardReadouts(s);
  EXPECT_EQ(t.y, "");
  EXPECT_EQ(t.in, "");

  // No epoch length in the spectrum view: no frequency.
  StudyState f;
  fill(f);
  f.viewMode = ViewMode::Transform;
  f.transformKind = TransformKind::Amplitude;
  f.epochLength = 0;
  EXPECT_EQ(scoreboardReadouts(f).t, "");
}

TEST(Scoreboard, MeasureItemsAndButtons) {
  const std::pair<int, const char*> buttons[] = {{kSumAbsolute, "Sa="}, {kSumSigned, "Sз="},   {kSumPositive, "S+="},
                                                 {kSumNegative, "S-="}, {kSumMean, "A ="}, {kSumRawCodes, "He="}};
  for (const auto& [mode, button] : buttons) EXPECT_EQ(sumModeButton(mode), button) << mode;
  EXPECT_STREQ(sumModeItem(kSumMean), "A  средн.ампл.");
  EXPECT_STREQ(sumModeItem(6), "");
}

}  // namespace
}  // namespace velor
