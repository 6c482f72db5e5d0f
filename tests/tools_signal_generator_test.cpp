// The signal generator: shapes, amplitudes and frequencies as a spectrum
// sees them, the refusals that leave the record unchanged, "qgen.ini".
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "core/formula.h"
#include "core/study_state.h"
#include "test_support.h"
#include "tools/signal_generator.h"
#include "tools/signal_generator_texts.h"

namespace velor {
namespace {

class Generator : public ::testing::Test {
 protected:
  void SetUp() override {
    s.sampleRate = 1000;
    s.recordLength = 1000;
    s.channelCount = 2;
    s.firstShownChannel = 0;
    for (int n = 0; n < 1000; ++n) s.channelData[1][n] = 1000;
    s.zeroLevel[1] = 1000;
    s.calibUnits[1] = 100;
    s.calibValue[1] = 50;
  }
  bool gen(Waveform w, const std::string& amplitude, const std::string& frequency, std::string* why = nullptr) {
    GeneratorSettings g;
    g.amplitudeText = amplitude;
    g.frequencyText = frequency;
    g.seed = 7;
    std::string reason;
    const bool ok = generateSignal(s, 1, w, g, nullptr, nullptr, reason);
    if (why) *why = reason;
    return ok;
  }
  const std::int16_t* y() const { return s.channelData[1]; }
  // Amplitude of the component at `hz` (codes, about the mean).
  double amplitudeAt(double hz) const {
    std::complex<double> sum = 0;
    for (int n = 0; n < s.recordLength; ++n)
      sum += (y()[n] - 2048.0) * std::polar(1.0, -2 * M_PI * hz * n / s.sampleRate);
    return 2 * std::abs(sum) / s.recordLength;
  }
  StudyState s;
};

TEST_F(Generator, SineHasItsFrequencyAndAmplitude) {
  ASSERT_TRUE(gen(Waveform::Sine, "100", "10"));
  int lo = 4096, hi = -1;
  for (int n = 0; n < 1000; ++n) {
    lo = std::min<int>(lo, y()[n]);
    hi = std::max<int>(hi, y()[n]);
  }
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 4095);
  EXPECT_EQ(y()[0], 2048);
  EXPECT_EQ(y()[25], 4095);
  EXPECT_EQ(y()[100], y()[0]);  // a period of 100 samples
  EXPECT_NEAR(amplitudeAt(10), 2047, 1);
  EXPECT_LT(amplitudeAt(20), 1);
  EXPECT_EQ(s.zeroLevel[1], 2048);
  EXPECT_EQ(s.calibUnits[1], 2047);
  EXPECT_EQ(s.calibValue[1], 50);
  ASSERT_TRUE(gen(Waveform::Sine, "50", "37.5"));
  EXPECT_NEAR(amplitudeAt(37.5), 1023.5, 2);
}

TEST_F(Generator, PeriodicShapesHaveTheirFundamental) {
  // Fourier amplitudes of the fundamental: square 4/π, saw 2/π, triangle 8/π² of the peak
  struct Case {
    Waveform w;
    double fundamental;
  };
  for (const Case c : {Case{Waveform::Square, 4 / M_PI}, Case{Waveform::Saw, 2 / M_PI},
                       Case{Waveform::Triangle, 8 / (M_PI * M_PI)}}) {
    ASSERT_TRUE(gen(c.w, "50", "20"));
    EXPECT_NEAR(amplitudeAt(20), c.fundamental * 1023.5, 20) << static_cast<int>(c.w);
    EXPECT_LT(amplitudeAt(30), 20) << static_cast<int>(c.w);
  }
  ASSERT_TRUE(gen(Waveform::Square, "100", "10"));
  EXPECT_EQ(y()[0], 4095);  // starts high for the first half period
  EXPECT_EQ(y()[49], 4095);
  EXPECT_EQ(y()[50], 1);
  ASSERT_TRUE(gen(Waveform::Saw, "100", "10"));
  EXPECT_EQ(y()[0], 4095);  // falls from +G to −G over each period
  EXPECT_GT(y()[10], y()[11]);
  EXPECT_EQ(y()[100], 4095);
  ASSERT_TRUE(gen(Waveform::Triangle, "100", "10"));
  EXPECT_EQ(y()[50], 4095);
  EXPECT_EQ(y()[0], 1);
}

TEST_F(Generator, NoisesStayInTheirRangeAndFollowTheSeed) {
  ASSERT_TRUE(gen(Waveform::Uniform, "10", "10"));
  double mean = 0;
  for (int n = 0; n < 1000; ++n) {
    EXPECT_GE(y()[n], 2048 - 205);
    EXPECT_LE(y()[n], 2048 + 205);
    mean += y()[n];
  }
  EXPECT_NEAR(mean / 1000, 2048, 10);
  std::vector<std::int16_t> first(y(), y() + 1000);
  ASSERT_TRUE(gen(Waveform::Uniform, "10", "10"));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), y()));
  ASSERT_TRUE(gen(Waveform::Gauss, "10", "10"));
  double sum = 0, sq = 0;
  for (int n = 0; n < 1000; ++n) {
    sum += y()[n] - 2048;
    sq += (y()[n] - 2048.0) * (y()[n] - 2048.0);
  }
  const double sd = std::sqrt(sq / 1000 - (sum / 1000) * (sum / 1000));
  EXPECT_NEAR(sd, 204.7, 15);
}

TEST_F(Generator, RefusalsLeaveTheRecord) {
  const test::StudySnapshot before(s);
  for (const char* f : {"101", "0", "-5", "abc"}) {
    std::string why;
    EXPECT_FALSE(gen(Waveform::Sine, "100", f, &why)) << f;
    EXPECT_EQ(why, std::string(f) == "101" ? generator_texts::kFrequencyTooHigh
                                           : generator_texts::kFrequencyNotPositive)
        << f;
    EXPECT_TRUE(test::StudySnapshot(s) == before) << f;
  }
  EXPECT_TRUE(gen(Waveform::Sine, "100", "100"));  // fs / 10 itself is allowed
}

TEST_F(Generator, FormulaSignals) {
  CompiledFormula f;
  std::string message;
  ASSERT_TRUE(compileFormula("0", FunctionNames::defaults(), f, message));
  FormulaContext ctx;
  ctx.study = &s;
  GeneratorSettings g;
  std::string reason;
  ASSERT_TRUE(generateSignal(s, 1, Waveform::Formula, g, &f, &ctx, reason)) << reason;
  EXPECT_EQ(y()[0], 1000);  // the previous zero level
  EXPECT_EQ(y()[999], 1000);
  EXPECT_EQ(s.zeroLevel[1], 2048);
  // j counts samples from 1 and i is the channel number
  ASSERT_TRUE(compileFormula("j/50+i", FunctionNames::defaults(), f, message));
  s.calibUnits[1] = 100;
  s.calibValue[1] = 50;
  ASSERT_TRUE(generateSignal(s, 1, Waveform::Formula, g, &f, &ctx, reason)) << reason;
  EXPECT_EQ(y()[0], 2048 + 2 * 2 + 0);    // (1/50 + 2) × 2 codes per unit = 4.04
  EXPECT_EQ(y()[99], 2048 + 4 + 4);       // (100/50 + 2) × 2 = 8
  // a fault stops the generation and keeps the record
  ASSERT_TRUE(compileFormula("1/(j-500)", FunctionNames::defaults(), f, message));
  const test::StudySnapshot before(s);
  EXPECT_FALSE(generateSignal(s, 1, Waveform::Formula, g, &f, &ctx, reason));
  EXPECT_EQ(reason, formulaFaultText(FormulaFault::DivisionByZero));
  EXPECT_TRUE(test::StudySnapshot(s) == before);
}

TEST_F(Generator, MorletKeepsAWindowAroundTheCentre) {
  GeneratorSettings g;
  g.frequencyText = "10";
  std::string reason;
  ASSERT_TRUE(generateSignal(s, 1, Waveform::Morlet, g, nullptr, nullptr, reason));
  // centre: q = trunc(500 × 10 / 1000) = 5 → C = 500 + 25 = 525, a crest
  EXPECT_EQ(y()[525], 4095);
  EXPECT_EQ(y()[525 - 251], 2048);  // beyond 2.5 periods
  EXPECT_EQ(y()[525 + 251], 2048);
  EXPECT_NE(y()[525 - 200], 2048);
  EXPECT_EQ(y()[125], 2048);
  g.morletScale = 2;
  ASSERT_TRUE(generateSignal(s, 1, Waveform::Morlet, g, nullptr, nullptr, reason));
  EXPECT_EQ(y()[125], 2048 + 37);  // the crest 4 periods off, e^(−(4/2)²) × 2047
  EXPECT_EQ(y()[525], 4095);
  g.morletScale = 0;
  EXPECT_FALSE(generateSignal(s, 1, Waveform::Morlet, g, nullptr, nullptr, reason));
  EXPECT_EQ(reason, generator_texts::kScaleBad);
}

TEST(GeneratorSettingsFile, RoundTripAndShortFile) {
  test::TempDir dir;
  GeneratorSettings g;
  g.amplitudeText = "20";
  g.frequencyText = "12.5";
  ASSERT_TRUE(writeGeneratorSettings(dir.path() + "/", g));
  EXPECT_EQ(test::readBytes(dir.file("qgen.ini")), "20\r\n12.5\r\n");
  GeneratorSettings r;
  ASSERT_TRUE(readGeneratorSettings(dir.path() + "/", r));
  EXPECT_EQ(r.amplitudeText, "20");
  EXPECT_EQ(r.frequencyText, "12.5");
  test::writeBytes(dir.file("qgen.ini"), "50\r\n");
  GeneratorSettings d;
  EXPECT_FALSE(readGeneratorSettings(dir.path() + "/", d));
  EXPECT_EQ(d.amplitudeText, "100");
  EXPECT_EQ(d.frequencyText, "10");
}

}  // namespace
}  // namespace velor
