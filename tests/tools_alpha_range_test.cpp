// "&2=A-range": the dominant 6–15 Hz peak of the occipital leads.
#include <gtest/gtest.h>

#include <cmath>

#include "core/numtext.h"
#include "core/study_state.h"
#include "eeg/spectral.h"
#include "test_support.h"
#include "tools/alpha_range.h"

namespace velor {
namespace {

void occipitalRecord(StudyState& s, double hz) {
  s.channelCount = 3;
  s.sampleRate = 256;
  s.recordLength = 1500;  // the first 1024 samples are measured
  s.recordFileName = "alpha-record.cad";
  const char* names[] = {"Fz", "O1", "O2"};
  for (int c = 0; c < 3; ++c) {
    s.channelNames[c] = names[c];
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 2;
    s.calibValue[c] = 1;
    for (int n = 0; n < s.recordLength; ++n)
      s.channelData[c][n] = static_cast<std::int16_t>(2048 + (c ? 400 : 50) * std::sin(2 * M_PI * hz * n / 256));
  }
}

TEST(PeakRange, FindsTheAlphaPeakOfTheOccipitalLeads) {
  StudyState s;
  occipitalRecord(s, 10);
  SpectralEngine engine;
  PeakRange r;
  std::string reason;
  ASSERT_TRUE(measurePeakRange(engine, s, 800, r, reason)) << reason;
  EXPECT_EQ(r.n, 1024);
  const double hz = 256.0 / 1024;
  // the one-sided smoothing lags the peak by a few bins above 10 Hz
  EXPECT_GE(r.peak * hz, 10);
  EXPECT_LE(r.peak * hz, 11.5);
  EXPECT_LT(r.low, r.peak);
  EXPECT_GT(r.high, r.peak);
  EXPECT_GT(r.amplitude, 0);
  EXPECT_EQ(s.viewMode, ViewMode::Transform);
  EXPECT_EQ(s.recordLength, 512);
  EXPECT_EQ(engine.firstBandBins[0], r.low);
  EXPECT_EQ(engine.firstBandBins[1], r.high);
  EXPECT_EQ(r.line.rfind("alpha-re " + formatNumber(r.low * hz) + " " + formatNumber(r.peak * hz), 0), 0u) << r.line;
}

TEST(PeakRange, WithoutOccipitalLeadsNothingChanges) {
  StudyState s;
  occipitalRecord(s, 10);
  s.channelNames[2] = "Pz";
  const test::StudySnapshot before(s);
  SpectralEngine engine;
  PeakRange r;
  std::string reason;
  EXPECT_FALSE(measurePeakRange(engine, s, 800, r, reason));
  EXPECT_EQ(reason, "Нет отведений O1 и O2");
  EXPECT_TRUE(test::StudySnapshot(s) == before);
  EXPECT_EQ(s.viewMode, ViewMode::Signals);
}

}  // namespace
}  // namespace velor
