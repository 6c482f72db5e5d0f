// velor-cli reg / reg-average on a constructed pulse train driven by a
// constructed ECG, and the rheography engine's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli_support.h"
#include "core/interaction.h"
#include "core/record_file.h"
#include "interchange/wfdb.h"
#include "physio/rheo.h"
#include "physio/rheo_texts.h"
#include "pulse_train.h"

namespace velor::test {
namespace {

constexpr int kRate = kTrainRate, kPeriod = kTrainPeriod, kFirstR = kTrainFirstR, kFootAfterR = kTrainFootAfterR;

void writeTrain(const std::string& path) {
  StudyState s;
  ScriptedInteraction ui;
  fillPulseTrain(s);
  ASSERT_TRUE(saveRecords(s, path, ui));
}

// Two age limits (30, 60), then fourteen rows of five numbers: the pair for
// ages below 30, the pair for 30..59, one spare number.
std::string normText(double lowModulus) {
  std::string t = "30 60 0\n";
  for (int row = 0; row < 14; ++row) {
    std::string lo = "0", hi = "0";
    if (row == 0) lo = std::to_string(lowModulus), hi = "100";  // modulus 9: "мН" when the low limit is above
    if (row == 1) hi = "20";                                    // dicrotic index 28.571: "бН"
    if (row == 13) hi = "0.05";                                 // asymmetry limit
    t += lo + " " + hi + " " + lo + " " + hi + " 0\n";
  }
  return t;
}

std::string q(const std::string& p) { return "'" + p + "'"; }

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t a = 0;
  for (std::size_t b; (b = text.find('\n', a)) != std::string::npos; a = b + 1) out.push_back(text.substr(a, b - a));
  return out;
}

class CliReg : public ::testing::Test {
 protected:
  void SetUp() override {
    cad = dir.file("train.cad");
    writeTrain(cad);
    nrm = dir.file("reo.nrm");
    writeBytes(nrm, normText(5));
  }
  TempDir dir;
  std::string cad, nrm;
};

TEST_F(CliReg, ConstructedTrainGivesItsLandmarksAndIndices) {
  const CliRun ecg = runCli("ecg " + q(cad) + " --channel 3 --json");
  ASSERT_EQ(ecg.status, 0) << ecg.err;
  const auto e = nlohmann::json::parse(ecg.out);
  ASSERT_GE(e["beats"].size(), 12u);
  const int r0 = e["beats"][0]["sample"];
  EXPECT_NEAR(r0, kFirstR, 1);

  const CliRun r = runCli("reg " + q(cad) + " --leads 1 --age 20 --propagation 140 --norms " + q(nrm) + " --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j["leads"].size(), 1u);
  const auto& waves = j["leads"][0]["waves"];
  ASSERT_EQ(waves.size(), 12u);  // thirteen R waves, thirteen onsets
  for (std::size_t k = 0; k < waves.size(); ++k) {
    const auto& w = waves[k];
    // The onset is taken two samples into the rise (the middle of the first
    // five rising steps); every landmark follows from the pulse's shape.
    const int foot = kFirstR + kFootAfterR + static_cast<int>(k) * kPeriod;
    EXPECT_NEAR(w["onset"].get<int>(), foot + 2, 1) << k;
    EXPECT_NEAR(w["peak"].get<int>(), foot + 20, 1) << k;
    EXPECT_NEAR(w["steepest"].get<int>(), foot + 14, 1) << k;
    EXPECT_NEAR(w["incisura"].get<int>(), foot + 70, 1) << k;
    EXPECT_NEAR(w["dicroticTop"].get<int>(), foot + 75, 1) << k;
    EXPECT_EQ(w["T"], kPeriod);
    EXPECT_EQ(w["A0"], 1024);           // levelled: every onset at 1024
    EXPECT_EQ(w["AS"], 1024 + 560);     // 1600 − 1040
    EXPECT_EQ(w["AI"], 1024 + 160);
    EXPECT_EQ(w["AD"], 1024 + 210);
  }
  // By hand: tS 18, T 200, tF 6, AS−A0 560, AI−A0 160, AD−A0 210, tD 127.
  const int pr = static_cast<int>(std::trunc(0.02344 * kRate)) + (kFirstR + kFootAfterR + 2 - r0);
  const double expected[12] = {9, 100.0 * 160 / 560, 100.0 * 370 / 560, 0.56, 0.8, pr / 250.0,
                               0.072, 2, 0.024, 0.048, 0.21, 127 / 250.0};
  for (int k = 0; k < 12; ++k) {
    EXPECT_NEAR(waves[0]["indices"][k].get<double>(), expected[k], 1e-9) << "index " << k + 1;
    EXPECT_NEAR(j["leads"][0]["mean"][k].get<double>(), expected[k], 0.001) << "index " << k + 1;
    EXPECT_NEAR(j["leads"][0]["sd"][k].get<double>(), 0, 0.001) << "index " << k + 1;
  }
  const auto& L = j["lines"];
  ASSERT_EQ(L.size(), 1u + 12u + 2u);
  EXPECT_EQ(L[0], kRegHeader);
  EXPECT_EQ(L[1], std::string(kRegIndexCaptions[0]) + "      9      0" + "      ");
  EXPECT_EQ(L[2], std::string(kRegIndexCaptions[1]) + "  28.57      0" + kRegHigh);
  EXPECT_EQ(L[13], "ИПС=—");  // equal intervals: no variation, no Kaplan index
  EXPECT_EQ(L[14], "Реоволн=12");
}

TEST_F(CliReg, LayoutForTwoAndFourLeadsWithAsymmetry) {
  const CliRun two = runCli("reg " + q(cad) + " --leads 2 --age 70 --norms " + q(nrm));
  ASSERT_EQ(two.status, 0) << two.err;
  const auto a = lines(two.out);
  ASSERT_EQ(a.size(), 1u + 1u + 12u + 2u);
  EXPECT_EQ(a[0], kRegPair12);
  EXPECT_EQ(a[1], kRegHeader);
  // amplitude 0.56 against 0.42: asymmetry trunc(0.14 / 0.98 × 100) / 100 = 0.14 above 0.05
  EXPECT_EQ(a[5], std::string(kRegIndexCaptions[3]) + "   0.56      0      " + "   0.42      0      " + "   0.14" +
                      kRegHigh);
  // equal times: asymmetry 0 within the limit
  EXPECT_EQ(a[6], std::string(kRegIndexCaptions[4]) + "    0.8      0      " + "    0.8      0      " + "      0" +
                      kRegNoMark);
  EXPECT_EQ(a[15], "Реоволн=12");

  const CliRun four = runCli("reg " + q(cad) + " --leads 4 --norms " + q(nrm));
  ASSERT_EQ(four.status, 0) << four.err;
  const auto b = lines(four.out);
  ASSERT_EQ(b.size(), 2u + 12u + 3u + 12u + 2u);
  EXPECT_EQ(b[0], kRegPair12);
  EXPECT_EQ(b[14], " ");
  EXPECT_EQ(b[15], kRegPair45);
  EXPECT_EQ(b[16], kRegHeader);
  EXPECT_EQ(b[17], a[2]);
}

TEST_F(CliReg, HostileNormsAndMissingNormsAreSaidAndTheStatisticsRun) {
  const struct {
    const char* text;
    const char* needle;
  } cases[] = {
      {"", "REO.NRM"},                  // nothing
      {"30 60", "REO.NRM"},             // limits never closed by 0
      {"30 60 0 1 2 3", "REO.NRM"},     // rows shorter than they must be
      {"1 2 3 4 5 6 7 0 1", "REO.NRM"}, // seven limits need more than 200 numbers
  };
  for (const auto& c : cases) {
    writeBytes(nrm, c.text);
    const CliRun r = runCli("reg " + q(cad) + " --leads 1 --age 99 --norms " + q(nrm));
    EXPECT_EQ(r.status, 0) << c.text << r.err;
    EXPECT_NE(r.err.find(c.needle), std::string::npos) << c.text << r.err;
    EXPECT_EQ(lines(r.out).size(), 15u) << c.text;
  }
  const CliRun missing = runCli("reg " + q(cad) + " --leads 1 --norms " + q(dir.file("none.nrm")));
  EXPECT_EQ(missing.status, 0);
  EXPECT_NE(missing.err.find(kRegNoNorms), std::string::npos) << missing.err;
}

TEST_F(CliReg, DynamicsOfTheWaveTimeAndTheAmplitude) {
  StudyState s;
  ScriptedInteraction ui;
  ASSERT_TRUE(openRecordFile(s, cad, ui));
  RegDynamics d;
  std::string m;
  ASSERT_TRUE(computeRegDynamics(s, 0, 5, BeatDetectorSettings{}, d, m)) << m;
  ASSERT_EQ(d.points.size(), 12u);
  EXPECT_NEAR(d.mean, 0.8, 1e-9);
  EXPECT_NEAR(d.sd, 0, 1e-6);
  EXPECT_EQ(d.caption, kRegDynamicsCaptions[4]);
  EXPECT_EQ(d.yTitle, kRegTimeTitle);
  ASSERT_TRUE(computeRegDynamics(s, 1, 4, BeatDetectorSettings{}, d, m)) << m;
  EXPECT_NEAR(d.mean, 0.42, 1e-9);  // the second lead, three quarters of the swing
  EXPECT_EQ(d.yTitle, kRegAmplitudeTitle);
  closeRecordFile(s);
}

TEST(RegNorms, AgeAtOrPastTheLastLimitTakesTheLastPair) {
  std::string t = "30 60 0\n";
  for (int row = 0; row < 14; ++row) t += std::to_string(row) + " 1 " + std::to_string(row + 100) + " 2 999\n";
  const struct { int age; double low, high; } cases[] = {{10, 5, 1}, {30, 105, 2}, {60, 105, 2}, {200, 105, 2}};
  for (const auto& c : cases) {
    RegNorms n;
    std::string m;
    ASSERT_TRUE(parseRegNorms(t, c.age, n, m)) << m;
    EXPECT_EQ(n.low[5], c.low) << c.age;
    EXPECT_EQ(n.high[5], c.high) << c.age;
  }
}

TEST(RegWaves, DegenerateWavesGiveNoValueInsteadOfADivision) {
  RegWave w;
  w.T = 200;
  w.tS = 10;
  w.tF = 0;
  w.A0 = w.AS = 1024;
  EXPECT_FALSE(regMeasure(w, 2));
  EXPECT_FALSE(regMeasure(w, 3));
  EXPECT_FALSE(regMeasure(w, 8));
  EXPECT_FALSE(regMeasure(w, 13));
  ASSERT_TRUE(regMeasure(w, 1));
  EXPECT_DOUBLE_EQ(*regMeasure(w, 1), 0.05);
  EXPECT_EQ(sanitizeRestingPropagation(49), 140);
  EXPECT_EQ(sanitizeRestingPropagation(300), 300);
  EXPECT_FALSE(kaplanIndex({200, 200, 200}, 250));
}

TEST_F(CliReg, FlatRecordIsRefusedWithTheMessage) {
  StudyState s;
  ScriptedInteraction ui;
  s.channelCount = 3;
  s.recordLength = 1000;
  s.sampleRate = kRate;
  for (int t = 0; t < 1000; ++t) s.channel(0)[t] = s.channel(1)[t] = s.channel(2)[t] = 2048;
  const std::string flat = dir.file("flat.cad");
  ASSERT_TRUE(saveRecords(s, flat, ui));
  const CliRun f = runCli("reg " + q(flat) + " --leads 1 --norms " + q(nrm));
  expectOneLineFailure(f, 1);
  EXPECT_NE(f.err.find(kRegTooFewWaves), std::string::npos) << f.err;
}

TEST_F(CliReg, AveragedWaveOfTheTrain) {
  const CliRun r = runCli("reg-average " + q(cad) + " --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["Tm"], 200);
  EXPECT_EQ(j["points"], 222);
  // index 10 is the onset: the peak 18 samples later, the incisura near 68
  EXPECT_NEAR(j["peak"].get<int>(), 28, 1);
  EXPECT_EQ(j["lines"].size(), 8u);
  EXPECT_TRUE(j["hemodynamics"].empty());
  // channel 2 of the train holds pulses, not a base impedance: below zero ohms
  const CliRun h = runCli("reg-average " + q(cad) + " --method kubicek");
  expectOneLineFailure(h, 1);
  EXPECT_NE(h.err.find(kRegNoHemodynamics), std::string::npos) << h.err;
}

}  // namespace
}  // namespace velor::test

namespace velor::test {
namespace {

// A real ICU recording: lead II as the ECG, the finger plethysmogram as the
// pulse (moved to channels 2 and 0, where the rheography expects them).
TEST(RegReal, PlethysmogramOfV102sAgainstLeadII) {
  const std::string hea = sharedData("challenge2015/v102s.hea");
  if (hea.empty()) GTEST_SKIP() << "no shared recordings";
  StudyState s;
  s.programDir = "./";
  ScriptedInteraction ui;
  ASSERT_TRUE(openWfdb(s, hea, ui));
  ASSERT_EQ(s.channelCount, 4);
  ASSERT_EQ(s.channelNames[2], "PLETH");
  std::swap(s.channelData[0], s.channelData[2]);
  std::swap(s.zeroLevel[0], s.zeroLevel[2]);
  std::swap(s.calibUnits[0], s.calibUnits[2]);
  std::swap(s.calibValue[0], s.calibValue[2]);
  std::string problem;
  const auto r = regRPositions(s, BeatDetectorSettings{}, problem);
  const RegWaveSearch w = findRegWaves(s, 0, r);
  // The only pulse-like channel among the shared recordings: its samples
  // wrap around the 12-bit range at the pulse tops and the ECG is a
  // ventricular-tachycardia alarm, so only the timing is held to plausible
  // ranges; every landmark must lie inside its wave and the record.
  ASSERT_GE(w.waves.size(), 20u);
  double T = 0, pr = 0;
  for (const RegWave& x : w.waves) {
    EXPECT_LT(x.onset, x.peak);
    EXPECT_LE(x.peak, x.incisura);
    EXPECT_LE(x.incisura, x.dicroticTop);
    EXPECT_LT(x.dicroticTop, s.recordLength);
    EXPECT_EQ(x.A0, kRegLevel);
    T += x.T / 250.0;
    pr += x.Pr / 250.0;
  }
  T /= w.waves.size();
  pr /= w.waves.size();
  EXPECT_GT(T, 0.3);
  EXPECT_LT(T, 2.0);
  EXPECT_GT(pr, 0.0);
  EXPECT_LT(pr, 0.4);
}

}  // namespace
}  // namespace velor::test
