#include <gtest/gtest.h>

#include <cmath>

#include "core/study_state.h"
#include "test_support.h"

namespace velor {
namespace {

// A fresh study (nothing open) reads every channel on the default scale:
// ±2047 codes around 2048 are ±100 µV, and 1024 samples make four epochs.
TEST(StudyState, PhysicalValueOfDefaultTable) {
  StudyState s;
  EXPECT_LT(s.recordFileHandle, 0);
  EXPECT_EQ(s.computeEpochCount(), 4);
  for (int c = 0; c < kMaxChannels; ++c) {
    s.channelData[c][0] = 4095;
    s.channelData[c][1] = 2048;
    s.channelData[c][2] = 1;
    EXPECT_DOUBLE_EQ(s.physicalValue(0, c), 100.0) << c;
    EXPECT_DOUBLE_EQ(s.physicalValue(1, c), 0.0) << c;
    EXPECT_NEAR(s.physicalValue(2, c), -100.0, 1e-9) << c;
  }
  s.sumMode = 5;  // raw codes
  EXPECT_DOUBLE_EQ(s.physicalValue(0, 0), 4095);
  // calibUnits 0 never divides by zero
  s.sumMode = 0;
  s.calibUnits[0] = 0;
  EXPECT_TRUE(std::isfinite(s.physicalValue(0, 0)));
  // out of range reads are harmless
  EXPECT_EQ(s.physicalValue(-1, 0), 0);
  EXPECT_EQ(s.physicalValue(0, 64), 0);
}

TEST(StudyState, PhysicalValueInTransformViewByKind) {
  StudyState s;
  s.viewMode = ViewMode::Transform;
  s.calibUnits[0] = 2000;
  s.calibValue[0] = 100;
  s.channelData[0][0] = 4095;
  struct Case {
    TransformKind kind;
    double expected;
  } cases[] = {
      {TransformKind::Power, 4095.0 / 2000 * 100 / 2000 * 100},
      {TransformKind::CrossSpectrum, 4095.0 / 2000 * 100},
      {TransformKind::CrossPhase, (4095 - 2048) / 2047.0 * 180},
      {TransformKind::Coherence, 1.0},
      {TransformKind::Correlation, 1.0},
  };
  for (const auto& c : cases) {
    s.transformKind = c.kind;
    EXPECT_NEAR(s.physicalValue(0, 0), c.expected, 1e-9) << "kind " << c.kind;
  }
}

TEST(StudyState, IntervalSumModes) {
  StudyState s;
  // values -2, -1, 0, 1, 2 in units of 100/2047 µV
  for (int i = 0; i < 5; ++i) s.channelData[0][i] = static_cast<std::int16_t>(2046 + i);
  s.recordLength = 100;
  s.cursorPos = 4;
  s.selectionAnchor = 0;  // either order selects [0, 4]
  const double u = 100.0 / 2047;
  struct Case {
    int mode;
    double expected;
  } cases[] = {{0, 6 * u}, {1, 0}, {2, 3 * u}, {3, -3 * u}, {4, 0}, {5, 0}};
  for (const auto& c : cases) {
    s.sumMode = c.mode;
    EXPECT_NEAR(s.intervalSum(0), c.expected, 1e-9) << "mode " << c.mode;
  }
  // no selection: the single cursor sample
  s.sumMode = 1;
  s.selectionAnchor = -1;
  s.cursorPos = 4;
  EXPECT_NEAR(s.intervalSum(0), 2 * u, 1e-9);
}

TEST(StudyState, ResultStoreAddressingAndLimits) {
  StudyState s;
  s.bandCount = 5;
  s.channelCount = 28;  // counts as 20
  EXPECT_EQ(s.resultChannels(), 20);
  s.resultPut(2, 3, 1, 1234);
  EXPECT_EQ(s.resultStore[(1 * 5 + 2) * 20 + 3], 1234);
  EXPECT_EQ(s.resultGet(2, 3, 1), 1234);
  s.channelCount = 44;
  EXPECT_EQ(s.resultChannels(), 36);
  s.channelCount = 19;
  EXPECT_EQ(s.resultChannels(), 19);
  // pair transforms address by lead pairs
  s.viewMode = ViewMode::Transform;
  s.transformKind = TransformKind::Coherence;
  s.leadPairCount = 8;
  EXPECT_EQ(s.resultChannels(), 8);
  s.transformKind = TransformKind::Envelope;
  EXPECT_EQ(s.resultChannels(), 19);
  s.viewMode = ViewMode::Signals;
  // beyond the cube: writes dropped, reads 0
  s.resultPut(0, 0, 100000, 7);
  EXPECT_EQ(s.resultGet(0, 0, 100000), 0);
  s.resultPut(0, -1, 0, 7);  // negative index
  EXPECT_EQ(s.resultGet(0, -1, 0), 0);
}

TEST(StudyState, ResultValueByBandTable) {
  StudyState s;
  s.bandCount = 2;
  s.bandTable[1] = {"alpha", "8", "13,5"};
  s.resultPut(1, 0, 0, 128);
  s.bandMode = 2;
  EXPECT_NEAR(s.resultValue(1, 0, 0), 8 + 5.5 * 0.5, 1e-12);
  s.bandMode = 0;
  s.viewMode = ViewMode::Transform;
  s.transformKind = TransformKind::Coherence;
  EXPECT_NEAR(s.resultValue(1, 0, 0), 128 / 4095.0, 1e-12);
}

TEST(StudyState, EpochGridRules) {
  StudyState s;
  s.recordLength = 1000;
  s.epochLength = 256;
  s.epochStep = 0;  // reads as the epoch length
  s.normaliseEpochGrid();
  EXPECT_EQ(s.epochStep, 256);
  EXPECT_EQ(s.epochCount, 3);
  s.epochLength = s.epochStep = 0;  // both read as the record length
  s.normaliseEpochGrid();
  EXPECT_EQ(s.epochLength, 1000);
  EXPECT_EQ(s.epochCount, 1);
  s.epochLength = 2048;  // longer than the record: no epoch
  s.epochStep = 2048;
  EXPECT_LE(s.computeEpochCount(), 0);
}

TEST(StudyState, TransformViewSwapsPointersAndRestores) {
  StudyState s;
  s.channelCount = 2;
  s.recordLength = 5000;
  s.epochLength = 512;
  s.cursorPos = 300;
  s.viewStart = 40;
  s.channelData[0][0] = 111;
  auto* signal0 = s.channelData[0];
  auto* parked0 = s.parkedChannelData[0];
  for (int i = 0; i < 256; ++i) {
    s.parkedChannelData[0][i] = static_cast<std::int16_t>(i);
    s.parkedChannelData[1][i] = 0;
  }
  s.enterTransformView(TransformKind::CrossSpectrum, s.epochLength / 2, 800);
  EXPECT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.channelData[0], parked0);
  EXPECT_EQ(s.parkedChannelData[0], signal0);
  EXPECT_EQ(s.recordLength, 256);
  EXPECT_EQ(s.savedRecordLength, 5000);
  EXPECT_EQ(s.viewStart, 0);
  EXPECT_EQ(s.cursorPos, 12);  // the transform cursor
  EXPECT_EQ(s.selectionAnchor, -1);
  EXPECT_EQ(s.gainStep, static_cast<int>(std::trunc(std::log(5120.0 / 255) / std::log(1.2))));
  // zoom fills the width: 800/2 > 256 << 0, but not > 256 << 1
  EXPECT_EQ(s.timeZoom, 1);
  s.cursorPos = 20;
  s.leaveTransformView();
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
  EXPECT_EQ(s.channelData[0], signal0);
  EXPECT_EQ(s.channelData[0][0], 111);
  EXPECT_EQ(s.recordLength, 5000);
  EXPECT_EQ(s.epochLength, 512);
  EXPECT_EQ(s.cursorPos, 300);
  EXPECT_EQ(s.viewStart, 40);
  EXPECT_EQ(s.transformCursorPos, 20);
  EXPECT_EQ(s.timeZoom, 0);
  EXPECT_EQ(s.gainStep, 0);
}

TEST(StudyState, PowerSpectrumIsSquaredAndShiftedToTwelveBits) {
  StudyState s;
  s.channelCount = 1;
  s.recordLength = 512;
  s.epochLength = 512;
  for (int i = 0; i < 256; ++i) s.parkedChannelData[0][i] = 0;
  s.parkedChannelData[0][10] = 1000;  // 1e6 needs a shift of 8 to fit 4095
  s.enterTransformView(TransformKind::Power, 256, 800);
  EXPECT_EQ(s.powerShift, 8);
  EXPECT_EQ(s.channelData[0][10], (1000 * 1000) >> 8);
  EXPECT_LE(s.channelData[0][10], 4095);
}

TEST(StudyState, CorrelationKeepsRecordLengthAndRestoresIt) {
  StudyState s;
  s.recordLength = 3000;
  s.enterTransformView(TransformKind::Correlation, 1500, 800);
  EXPECT_EQ(s.recordLength, 3000);
  s.recordLength = 1500;  // an analysis may change it meanwhile
  s.leaveTransformView();
  EXPECT_EQ(s.recordLength, 3000);
}

TEST(StudyState, TimeOfDayAndDates) {
  EXPECT_EQ(encodeTimeOfDay(0.5), 5000000);
  EXPECT_DOUBLE_EQ(decodeTimeOfDay(5000000), 0.5);
  EXPECT_EQ(decodeTimeOfDay(-4), 0.0);
  EXPECT_EQ(daysFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(daysFromCivil(1900, 1, 1), 2);
  EXPECT_EQ(daysFromCivil(2011, 1, 1), 40544);
  int y, m, d;
  civilFromDays(40544, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20110101);
  civilFromDays(daysFromCivil(2024, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
}

}  // namespace
}  // namespace velor
