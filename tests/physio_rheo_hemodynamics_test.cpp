// The hemodynamic estimates of the constructed pulse train: the averaged
// wave's landmarks where the pulse shape puts them, then every printed
// number against the same quantities worked out here from the formulas
// (base impedance, blood resistivity, stroke and minute volume, body
// surface, due volume, resistances, power), for both methods, both sexes,
// erythrocytes and haematocrit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/numtext.h"
#include "physio/rheo.h"
#include "physio/rheo_texts.h"
#include "pulse_train.h"

namespace velor::test {
namespace {

constexpr int kBaseCode = 3000;  // first sample of channel 1: the base impedance

// The number at the end of a line after its caption.
double valueAfter(const std::string& line, const std::string& caption) {
  EXPECT_EQ(line.rfind(caption, 0), 0u) << line;
  const auto v = parseNumber(trimSpaces(line.substr(caption.size())));
  EXPECT_TRUE(v.has_value()) << line;
  return v.value_or(NAN);
}

// formatNumber keeps four significant digits.
void expectPrinted(double printed, double expected, const std::string& what) {
  EXPECT_NEAR(printed, expected, 6e-4 * std::fabs(expected) + 1e-9) << what;
}

class RegHemodynamics : public ::testing::Test {
 protected:
  void SetUp() override {
    fillPulseTrain(s, kBaseCode);
    std::string problem;
    const auto r = regRPositions(s, BeatDetectorSettings{}, problem);
    ASSERT_EQ(r.size(), 13u) << problem;
    search = findRegWaves(s, 0, r);
    ASSERT_EQ(search.waves.size(), 12u);
    std::string m;
    ASSERT_TRUE(averageRegWave(s, 0, search, avg, m)) << m;
  }
  StudyState s;
  RegWaveSearch search;
  RegAverage avg;
};

TEST_F(RegHemodynamics, LandmarksOfTheAveragedTrain) {
  // Every wave is 200 samples: none is stretched, the mean wave is the
  // pulse itself from two samples before its onset (index 10 = onset = foot + 2).
  EXPECT_EQ(avg.Tm, kTrainPeriod);
  EXPECT_EQ(avg.end, kTrainPeriod + 13);
  const int foot = 8;  // index of the pulse's foot
  EXPECT_NEAR(avg.peak, foot + 20, 1);
  // the steepest rise lies on the 40-a-sample stretch, the slope there 40 codes
  EXPECT_GE(avg.dMax1, foot + 10);
  EXPECT_LE(avg.dMax1, foot + 20);
  EXPECT_NEAR(avg.D[static_cast<std::size_t>(avg.dMax1)] - 2048, 40, 1);
  // acceleration: up at the bend to the steep rise, down at the peak, up at
  // the incisura, down at the dicrotic top. Nine smoothing passes spread
  // each bend over several samples, the forward differences move it a
  // sample earlier and the mean acceleration there is a few codes, so the
  // first of equal values lies up to three samples before the bend.
  EXPECT_NEAR(avg.aMax1, foot + 10, 3);
  EXPECT_NEAR(avg.aMin1, foot + 20, 3);
  EXPECT_NEAR(avg.aMax2, foot + 70, 3);
  EXPECT_NEAR(avg.aMin2, foot + 80, 3);
  EXPECT_EQ(avg.incisura, avg.aMin2);
  EXPECT_EQ(avg.dicroticPoint, avg.aMax3);
}

TEST_F(RegHemodynamics, EstimatesEqualTheFormulasWorkedByHand) {
  const double fs = kTrainRate, g0 = 500.0 / 100 / 5000;  // 0.001 ohm a code
  const double T = (avg.end - 10) / fs;                         // s
  const double tE = T - (avg.peak - 10) / fs;                   // s
  const double dZ = (avg.D[static_cast<std::size_t>(avg.dMax1)] - 2048) * g0 * fs;  // ohm/s
  const double tX = (avg.aMin2 - 10) / fs;                      // s
  const double Z0 = ((kBaseCode - 2048) * 5.0 / 2048 - 0.17) / 1.43 * 80 + 10;
  ASSERT_NEAR(Z0, 130.5157, 1e-4);  // 952 codes above the zero line
  const struct Case {
    int method;
    int sex;
    double E;  // negative: haematocrit
    int age;
  } cases[] = {{0, 0, 14, 20}, {1, 0, 14, 20}, {0, 1, -45, 40}, {1, 1, -45, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE("method " + std::to_string(c.method) + " sex " + std::to_string(c.sex));
    RegPatient p;
    p.erythrocytes = c.E;
    p.sex = c.sex;
    p.pressure = 100;
    p.distance = 30;
    p.weight = 70;
    p.height = 180;
    std::vector<std::string> lines;
    std::string m;
    ASSERT_TRUE(computeHemodynamics(s, search, c.method, c.age, p, lines, m)) << m;
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "Показатель     Значение");
    EXPECT_EQ(lines[1], c.method == 0 ? "Метод Кубичека" : "Метод Тищенко");
    EXPECT_EQ(lines[2], "Баз.сопр=130");
    const double rho = c.E > 0 ? 0.65 * 14 * 14 * 14 + 81.5 : 45 * 150.0 / 47;  // ohm·cm
    const double L = 30;
    const double SV = c.method == 0 ? rho * L * L / (Z0 * Z0) * dZ * tX : 1.3 * rho * L * L * T / 95 / Z0 / tE;
    expectPrinted(valueAfter(lines[3], "Ударный объем    "), std::trunc(SV * 100) / 100, "SV");
    const double MV = std::trunc(SV * 60 / T / 1000 * 100) / 100;  // the wave lasts (end − 10) samples
    expectPrinted(valueAfter(lines[4], "Минутный объем   "), MV, "MV");
    const double BSA = 0.007184 * std::pow(70, 0.425) * std::pow(180, 0.725);
    ASSERT_NEAR(BSA, 1.8863, 1e-3);  // DuBois for 70 kg, 180 cm
    expectPrinted(valueAfter(lines[5], "Сердечный индекс "), MV / BSA, "CI");
    // Harris–Benedict, men's or women's form
    const double DO = c.sex == 0 ? 66.47 + 13.75 * 70 + 5 * 180 - 6.75 * c.age
                                 : 655.1 + 9.56 * 70 + 1.85 * 180 - 4.67 * c.age;
    expectPrinted(valueAfter(lines[6], "Должный  объем   "), DO / 281, "DO");
    expectPrinted(valueAfter(lines[7], "МO/ДО%           "), std::trunc(MV / DO * 281 * 100), "MV/DO");
    expectPrinted(valueAfter(lines[8], "Общ.периф.сопр.  "), 100 / MV / 1.333 * 60, "TPR");
    expectPrinted(valueAfter(lines[9], "Удель.периф.сопр."), 100 / MV * BSA, "SPR");
    expectPrinted(valueAfter(lines[10], "Мощн.сокращ.СМ.  "), 100 / tX * SV * 13.6 * 9.8 * 1e-6, "power");
  }
}

TEST_F(RegHemodynamics, TishchenkoByHandForTheTrain) {
  // Worked out on paper: T = 203 / 250 = 0.812 s; the smoothed mean wave
  // peaks a sample after the pulse (index 29), so tE = T − 19 / 250 = 0.736 s;
  // Z0 = 130.5157 ohm, ρ = 0.65 · 14³ + 81.5 = 1865.1 ohm·cm, L = 50 cm:
  // SV = 1.3 · 1865.1 · 2500 · 0.812 / 95 / 130.5157 / 0.736 = 539.36 ml;
  // MV = trunc(539.36 · 60 / 0.812 / 1000 · 100) / 100 = 39.85 l/min.
  ASSERT_EQ(avg.peak, 29);
  RegPatient p;  // the dialog's defaults
  std::vector<std::string> lines;
  std::string m;
  ASSERT_TRUE(computeHemodynamics(s, search, 1, 20, p, lines, m)) << m;
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[3], "Ударный объем    539.4");
  EXPECT_EQ(lines[4], "Минутный объем   39.85");
}

TEST_F(RegHemodynamics, BaseImpedanceAtOrBelowZeroIsRefused) {
  s.channel(1)[0] = 1000;  // ((1000 − 2048) · 5 / 2048 − 0.17) / 1.43 · 80 + 10 < 0
  std::vector<std::string> lines;
  std::string m;
  EXPECT_FALSE(computeHemodynamics(s, search, 0, 20, RegPatient{}, lines, m));
  EXPECT_EQ(m, kRegNoHemodynamics);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace velor::test
