// Where printed pictures land: the record at the set size or across the
// page, the ECG record in the clinical scale, a graph window's picture.
#include <gtest/gtest.h>

#include <cmath>

#include "core/study_state.h"
#include "results/print_place.h"

namespace velor {
namespace {

PrintSettings portrait(double left, double top, double width, double height) {
  PrintSettings p;
  p.printLeftCm = left;
  p.printTopCm = top;
  p.printWidthCm = width;
  p.printHeightCm = height;
  p.paperWidthCm = 20;
  p.pageHeightCm = 28.5;
  return p;
}

TEST(RecordPrintPlace, SetSizeAndPlaceInPrinterUnits) {
  // the dialog's defaults on a 20 cm sheet, 2400 units across: 120 units a centimetre
  EXPECT_EQ(recordPrintRect(portrait(2.5, 1, 10, 7), 2400, 800, 500), (PageRect{300, 120, 1500, 960}));
  EXPECT_TRUE(printsPortrait(portrait(2.5, 1, 10, 7)));
  PrintSettings across = portrait(1, 0.5, 27.5, 16.6);
  across.paperWidthCm = 28.5;
  EXPECT_FALSE(printsPortrait(across));
  // 3420 units across 28.5 cm: 120 a centimetre again
  EXPECT_EQ(recordPrintRect(across, 3420, 1000, 600), (PageRect{120, 60, 3420, 2052}));
}

TEST(RecordPrintPlace, MaximalSizeSpansThePageAtTheDrawingsAspect) {
  PrintSettings p = portrait(1, 0.5, 19, 11);
  p.printMaxSize = true;
  EXPECT_EQ(recordPrintRect(p, 2400, 800, 500), (PageRect{0, 0, 2400, 1500}));
  EXPECT_EQ(recordPrintRect(p, 2400, 0, 500), (PageRect{0, 0, 2400, 0}));  // no drawing, no picture
}

TEST(RecordPrintPlace, ClinicalEcgScale) {
  StudyState s;
  s.calibUnits[0] = 2048;
  s.calibValue[0] = 100;  // 100 µV per 2048 codes: a row of 4096 codes spans 200 µV
  // 1.2^g = 0.1 → g = −12.6, rounded as trunc(x + 0.5)
  EXPECT_EQ(ecgGainStep(s), -12);
  s.channelCount = 3;
  // rows of 200 µV at 1.2^−12 ≈ 0.1122 give 3 × 1782.6 µV = 5.35 cm of 28.5
  const double f = 4096.0 / 2048 * 100 * 3 / std::pow(1.2, -12) / 1000 / 28.5;
  EXPECT_NEAR(ecgHeightFraction(s, -12), f, 1e-12);
  EXPECT_EQ(ecgPrintRect(s, -12, 2400, 3400), (PageRect{0, 0, 2400, static_cast<int>(3400 * f)}));
  // 1 mV over 1024 codes: one row spans 4000 µV, halve it twice → about +4
  s.calibUnits[0] = 1024;
  s.calibValue[0] = 1000;
  EXPECT_EQ(ecgGainStep(s), 4);
  // a zero calibration value leaves the gain as it is; zero units count as one
  s.gainStep = 7;
  s.calibValue[0] = 0;
  EXPECT_EQ(ecgGainStep(s), 7);
  s.calibUnits[0] = 0;
  s.calibValue[0] = 1;
  EXPECT_EQ(ecgGainStep(s), static_cast<int>(std::trunc(std::log10(4096.0 / 2000) / std::log10(1.2) + 0.5)));
}

TEST(RecordPrintPlace, EcgPrintTakesFourSecondsOrTheWholeDrawing) {
  StudyState s;
  s.monitorWidth = 1500;
  s.sampleRate = 250;
  EXPECT_EQ(ecgPrintColumns(s), 1000);
  s.sampleRate = 500;  // 2000 columns would reach past the drawing
  EXPECT_EQ(ecgPrintColumns(s), 1500);
  s.sampleRate = 0;
  EXPECT_EQ(ecgPrintColumns(s), 1);
}

TEST(RecordPrintPlace, EcgRecordIsOneWithAPendingChannelCount) {
  StudyState s;
  EXPECT_FALSE(isEcgRecord(s));
  s.pendingChannelCount = 12;
  EXPECT_TRUE(isEcgRecord(s));
}

TEST(GraphPrintPlace, TheShownPartPrintsAtTheSetSize) {
  // 2000 units across 20 cm: 100 a centimetre; the window shows 521 × 339 of
  // the 1680 × 1120 picture, so the whole picture stretches past the set size
  const PageRect r = graphPrintRect(portrait(2, 1, 10, 7), 2000, 1680, 1120, 521, 339);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 100);
  const double shownWidth = r.width() * 521.0 / 1680, shownHeight = r.height() * 339.0 / 1120;
  EXPECT_NEAR(shownWidth, 1000, 1.0);
  EXPECT_NEAR(shownHeight, 700, 1.0);
  EXPECT_EQ(graphPrintRect(portrait(2, 1, 10, 7), 2000, 1680, 1120, 0, 339), PageRect{});
}

}  // namespace
}  // namespace velor
