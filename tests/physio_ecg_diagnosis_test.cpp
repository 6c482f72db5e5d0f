// The 12-lead conversion on constructed electrode signals, the rule table on
// constructed measures, and the diagnosis report's layout.
#include <gtest/gtest.h>

#include <cmath>

#include "physio/ecg_diagnosis.h"
#include "physio/ecg_texts.h"
#include "test_support.h"

namespace velor {
namespace {

void setChannels(StudyState& s, std::initializer_list<const char*> names, int length) {
  s.channelCount = static_cast<int>(names.size());
  s.recordLength = length;
  int c = 0;
  for (const char* n : names) {
    s.channelNames[static_cast<std::size_t>(c)] = n;
    s.zeroLevel[c] = 2048;
    s.calibUnits[c] = 1;
    s.calibValue[c] = 1;
    ++c;
  }
}

TEST(EcgConversion, ElectrodesGiveExactLimbLeads) {
  StudyState s;
  s.deviceKind = 3;  // the amplifier: R, L, F alone
  setChannels(s, {"R", "L", "F"}, 200);
  for (int i = 0; i < 200; ++i) {
    s.channel(0)[i] = static_cast<std::int16_t>(2048 + (i * 7) % 101 - 50);
    s.channel(1)[i] = static_cast<std::int16_t>(2048 + (i * 13) % 97 - 48);
    s.channel(2)[i] = static_cast<std::int16_t>(2048 + (i * 3) % 89 - 44);
  }
  std::vector<int> R(200), Lh(200), F(200);
  for (int i = 0; i < 200; ++i) {
    R[i] = s.channel(0)[i];
    Lh[i] = s.channel(1)[i];
    F[i] = s.channel(2)[i];
  }
  ASSERT_TRUE(convertTo12Leads(s));
  ASSERT_EQ(s.channelCount, 6);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(s.channelNames[static_cast<std::size_t>(c)], kEcgLeadNames[c]);
  for (int i = 0; i < 200; ++i) {
    const int I = Lh[i] - R[i], III = F[i] - Lh[i], II = F[i] - R[i];  // relative to zero
    EXPECT_EQ(s.channel(0)[i] - 2048, I);
    EXPECT_EQ(s.channel(1)[i] - 2048, II);  // Einthoven: II = I + III
    EXPECT_EQ(s.channel(2)[i] - 2048, III);
    // augmented leads: −(I + II)/2, (I − III)/2, (II + III)/2, truncated in codes
    EXPECT_EQ(s.channel(3)[i], static_cast<int>(std::trunc(2.5 * 2048 - (I + 2048) - (III + 2048) / 2.0)));
    EXPECT_EQ(s.channel(4)[i], static_cast<int>(std::trunc((I + 2048) / 2.0 - (III + 2048) / 2.0 + 2048)));
    EXPECT_EQ(s.channel(5)[i], static_cast<int>(std::trunc((I + 2048) / 2.0 + (III + 2048) - 1024)));
    EXPECT_NEAR((s.channel(3)[i] - 2048.0) + (s.channel(4)[i] - 2048.0) + (s.channel(5)[i] - 2048.0), 0, 1.0);
  }
}

TEST(EcgConversion, LimbLeadsWithChestLeads) {
  StudyState s;
  setChannels(s, {"I", "III", "V1", "V2"}, 50);
  for (int i = 0; i < 50; ++i) {
    s.channel(0)[i] = static_cast<std::int16_t>(2048 + i);
    s.channel(1)[i] = static_cast<std::int16_t>(2048 - 2 * i);
    s.channel(2)[i] = static_cast<std::int16_t>(100 + i);
    s.channel(3)[i] = static_cast<std::int16_t>(200 + i);
  }
  ASSERT_TRUE(convertTo12Leads(s));
  EXPECT_EQ(s.channelCount, 8);
  EXPECT_EQ(s.pendingChannelCount, 4);
  EXPECT_EQ(s.channelNames[6], "V1");
  EXPECT_EQ(s.channelNames[7], "V2");
  EXPECT_EQ(s.channel(6)[10], 110);
  EXPECT_EQ(s.channel(7)[10], 210);
  EXPECT_EQ(s.channel(1)[10], 2048 + 10 - 20);  // II = I + III
  EXPECT_EQ(s.channel(2)[10], 2048 - 20);
}

TEST(EcgConversion, OtherLayoutsAreLeftUnchanged) {
  StudyState s;
  setChannels(s, {"Fp1", "Fp2", "C3"}, 10);
  s.channel(0)[0] = 5;
  EXPECT_FALSE(convertTo12Leads(s));
  EXPECT_EQ(s.channelCount, 3);
  EXPECT_EQ(s.channelNames[0], "Fp1");
  EXPECT_EQ(s.channel(0)[0], 5);
  s.deviceKind = 0;  // R, L, F from a device that does not record electrodes
  setChannels(s, {"R", "L", "F"}, 10);
  EXPECT_FALSE(convertTo12Leads(s));
}

// Measures set directly: one code per µV, zero 0.
EcgDiagnosis measures(StudyState& s, std::initializer_list<std::pair<int, std::array<int, 6>>> leads) {
  s.channelCount = 12;
  EcgDiagnosis d;
  for (int c = 0; c < 12; ++c) {
    s.zeroLevel[c] = 0;
    s.calibUnits[c] = 1;
    s.calibValue[c] = 1;
  }
  for (const auto& [lead, v] : leads) {
    LeadMeasures& m = d.leads[static_cast<std::size_t>(lead)];
    m.present = true;
    m.channel = lead;
    m.lo = v;
    m.hi = v;
  }
  return d;
}

TEST(EcgRules, AxisBoundariesAndRhythm) {
  StudyState s;
  struct Case {
    int axis;
    int rule;
  } cases[] = {{-30, 10}, {90, 11}, {-31, 9}, {0, 11}, {100, 12}, {110, 13}, {-90, 14}, {-180, 14}};
  for (const Case& c : cases) {
    EcgDiagnosis d = measures(s, {{0, {0, 10, 30, 0, 1000, -100}}});
    d.axisKnown = true;
    d.axis = c.axis;
    d.heartRate = 70;
    d.drr = 5;
    d.qrs = 0.08;
    d.pq = 0.16;
    applyEcgRules(d, s);
    EXPECT_NE(std::find(d.rules.begin(), d.rules.end(), c.rule), d.rules.end()) << c.axis;
    // P = 30 µV, 60 < HR ≤ 80, dRR ≤ 10: sinus rhythm
    EXPECT_EQ(d.rules.front(), 4);
    EXPECT_EQ(d.lines.front(), "Синусовый ритм: P>0.02mV, ЧСС=60-80, dRR<10%");
  }
  // no axis: no axis rule
  EcgDiagnosis d = measures(s, {{0, {0, 10, 30, 0, 1000, -100}}});
  d.heartRate = 70;
  applyEcgRules(d, s);
  for (int r : d.rules) EXPECT_TRUE(r < 9 || r > 14) << r;
}

TEST(EcgRules, IschemiaAndTransitionZone) {
  StudyState s;
  // V1 and V4 with ST −150 µV, V2 with R / |S| = 4, S of V5 zero (no ratio)
  EcgDiagnosis d = measures(s, {{0, {0, 10, 30, 0, 1000, -100}},
                                {6, {-150, 0, 0, 0, 100, -100}},
                                {7, {0, 0, 0, 0, 400, -100}},
                                {9, {-150, 0, 0, 0, 100, -100}},
                                {10, {0, 0, 0, 0, 100, 0}}});
  d.heartRate = 70;
  applyEcgRules(d, s);
  auto has = [&](int r) { return std::find(d.rules.begin(), d.rules.end(), r) != d.rules.end(); };
  EXPECT_TRUE(has(17));
  EXPECT_TRUE(has(18));
  EXPECT_FALSE(has(15));
  EXPECT_TRUE(has(25));
  EXPECT_FALSE(has(26));
  EXPECT_TRUE(has(23) == false);
  EXPECT_EQ(d.lines.back().empty(), false);
}

TEST(EcgDiagnosisReport, TooFewBeatsGiveTheMessage) {
  StudyState s;
  setChannels(s, {"I"}, 2000);
  std::fill(s.channel(0), s.channel(0) + 2000, std::int16_t{2048});
  s.sampleRate = 500;
  EcgDiagnosis d;
  std::string msg;
  EXPECT_FALSE(diagnoseEcg(s, 0, {}, d, msg));
  EXPECT_EQ(msg, kEcgTooFewIntervals);
}

TEST(EcgDiagnosisReport, LayoutWithoutLeadIAndAbsentLeads) {
  StudyState s;
  setChannels(s, {"X", "aVf"}, 5000);
  s.sampleRate = 500;
  for (int c = 0; c < 2; ++c) std::fill(s.channel(c), s.channel(c) + 5000, std::int16_t{2048});
  for (int beat = 100; beat < 4900; beat += 400)
    for (int k = -4; k <= 4; ++k) {
      s.channel(0)[beat + k] = static_cast<std::int16_t>(2048 + 100 * (5 - std::abs(k)));
      s.channel(1)[beat + k] = static_cast<std::int16_t>(2048 + 100 * (5 - std::abs(k)));
    }
  EcgDiagnosis d;
  std::string msg;
  ASSERT_TRUE(diagnoseEcg(s, 0, {}, d, msg)) << msg;
  EXPECT_EQ(d.leads[0].channel, 0);  // the reference lead stands for I
  EXPECT_TRUE(d.axisKnown);
  EXPECT_EQ(d.axis, 45);  // equal R in I and aVf
  ASSERT_GE(d.lines.size(), 13u);
  EXPECT_EQ(d.lines[0], "     Среднее    Min    Max");
  EXPECT_EQ(d.lines[1], "RR     800    800    800      ЧСС=75    ЭОС=45");
  EXPECT_EQ(d.lines[6], "        I     II    III    aVr    aVl    aVf     V1     V2     V3     V4     V5     V6");
  // R row: I and aVf hold 500 µV, every other lead 7 blanks
  EXPECT_EQ(d.lines[11], "R " + std::string("    500") + std::string(28, ' ') + "    500" + std::string(42, ' '));
  EXPECT_NE(std::find(d.lines.begin(), d.lines.end(), "Нормальная ЭОС: 0-90 град."), d.lines.end());
}

}  // namespace
}  // namespace velor
