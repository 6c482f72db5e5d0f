#include <gtest/gtest.h>

#include "core/text.h"
#include "results/print_settings.h"
#include "test_support.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

struct AcceptCase {
  const char* name;
  PrintForm form;
  int monitorWidth, monitorHeight;
  double left, top, width, height, paperWidth;
  bool maxSize;
};

PrintForm form(const char* l, const char* t, const char* w, const char* h, bool along, bool max) {
  return PrintForm{l, t, w, h, along, max};
}

TEST(PrintSettings, AcceptComputesSheetAndPictureWithinLimits) {
  const AcceptCase cases[] = {
      // both boxes on a 1000 x 600 monitor: 28.5 / 1000 × 600 − 0.5
      {"maximal landscape", form("2.5", "1", "10", "7", true, true), 1000, 600, 1.0, 0.5, 27.5, 16.6, 28.5, true},
      // maximal on a portrait sheet: 20 / 800 × 600 − 0.5
      {"maximal portrait", form("", "", "", "", false, true), 800, 600, 1.0, 0.5, 19.0, 14.5, 20.0, true},
      // a square monitor runs off the 20 cm side: top to 1, then the height is cut
      {"maximal square monitor", form("", "", "", "", true, true), 500, 500, 1.0, 1.0, 27.5, 19.0, 28.5, true},
      {"as typed", form("2.5", "1", "10", "7", true, false), 800, 600, 2.5, 1.0, 10, 7, 28.5, false},
      {"decimal comma", form(" 3,25", "1,5 ", "10,5", "7", true, false), 800, 600, 3.25, 1.5, 10.5, 7, 28.5, false},
      {"left moves to 1 cm", form("25", "1", "10", "7", true, false), 800, 600, 1.0, 1.0, 10, 7, 28.5, false},
      {"width cut after moving", form("5", "1", "40", "7", true, false), 800, 600, 1.0, 1.0, 27.5, 7, 28.5, false},
      {"negative offsets become 0", form("-3", "-1", "10", "7", true, false), 800, 600, 0, 0, 10, 7, 28.5, false},
      {"portrait limits height by 28.5", form("2", "25", "10", "30", false, false), 800, 600, 2, 1.0, 10, 27.5, 20.0,
       false},
      {"monitor without a size", form("", "", "", "", true, true), 0, 0, 1.0, 1.0, 27.5, 19.0, 28.5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto p = acceptPrintForm(c.form, c.monitorWidth, c.monitorHeight, &error);
    ASSERT_TRUE(p.has_value()) << error;
    EXPECT_NEAR(p->printLeftCm, c.left, 1e-9);
    EXPECT_NEAR(p->printTopCm, c.top, 1e-9);
    EXPECT_NEAR(p->printWidthCm, c.width, 1e-9);
    EXPECT_NEAR(p->printHeightCm, c.height, 1e-9);
    EXPECT_EQ(p->paperWidthCm, c.paperWidth);
    EXPECT_EQ(p->pageHeightCm, c.paperWidth == 28.5 ? 20.0 : 28.5);
    EXPECT_EQ(p->printMaxSize, c.maxSize);
    EXPECT_EQ(p->landscape(), c.paperWidth == 28.5);
    // whatever was typed, the picture stays on the sheet
    EXPECT_GE(p->printLeftCm, 0);
    EXPECT_GE(p->printTopCm, 0);
    EXPECT_LE(p->printLeftCm + p->printWidthCm, p->paperWidthCm + 1e-9);
    EXPECT_LE(p->printTopCm + p->printHeightCm, p->pageHeightCm + 1e-9);
  }
}

TEST(PrintSettings, AcceptRefusesFieldsThatAreNoUsableNumber) {
  const PrintForm bad[] = {form("abc", "1", "10", "7", true, false), form("2", "", "10", "7", true, false),
                           form("2", "1", "0", "7", true, false), form("2", "1", "10", "-7", true, false),
                           form("2", "1", "1e999", "7", true, false)};
  for (const auto& f : bad) {
    std::string error;
    EXPECT_FALSE(acceptPrintForm(f, 800, 600, &error).has_value()) << f.left << "|" << f.top << "|" << f.width;
    EXPECT_EQ(error.rfind(kPrintBadValue, 0), 0u) << error;
  }
  // with the maximal size the fields are not used, so they need not parse
  EXPECT_TRUE(acceptPrintForm(form("abc", "", "x", "y", true, true), 800, 600).has_value());
}

TEST(PrintSettings, FileKeepsFieldsAsTypedInCodePageWithCrLf) {
  TempDir d;
  const std::string path = d.file(kPrintSettingsFile);
  // a left offset the limits correct is stored as typed
  const PrintForm typed = form("25", "1,5", "10", "7", false, false);
  ASSERT_TRUE(acceptPrintForm(typed, 800, 600).has_value());
  ASSERT_TRUE(writePrintForm(path, typed));
  EXPECT_EQ(readBytes(path), "25\r\n1,5\r\n10\r\n7\r\n0\r\n0\r\n");
  PrintForm back;
  EXPECT_TRUE(readPrintForm(path, back));
  EXPECT_EQ(back, typed);
}

TEST(PrintSettings, ReadAppliesWhatTheFileHoldsAndReportsMissingOrShort) {
  TempDir d;
  const std::string path = d.file(kPrintSettingsFile);
  PrintForm f;
  EXPECT_FALSE(readPrintForm(path, f));  // missing: the form stays
  EXPECT_EQ(f, PrintForm{});

  writeBytes(path, "3\n2\n");  // short: lines 1 and 2 apply, the rest stays
  EXPECT_FALSE(readPrintForm(path, f));
  EXPECT_EQ(f, form("3", "2", "10", "7", true, true));

  // line 6 other than "0" sets the maximal size; line 5 only "0" clears the sheet length
  writeBytes(path, "1\r\n1\r\n5\r\n5\r\nx\r\n2\r\n");
  EXPECT_TRUE(readPrintForm(path, f));
  EXPECT_TRUE(f.alongLength);
  EXPECT_TRUE(f.maxSize);

  // binary junk never breaks the reader
  std::string junk(300, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 37);
  writeBytes(path, junk);
  PrintForm g;
  readPrintForm(path, g);
  (void)acceptPrintForm(g, 800, 600);
}

TEST(PrintSettings, SavedSettingsAreTheAcceptedFileOrTheDefaults) {
  TempDir d;
  const std::string dir = d.path() + "/";
  // no file: the form's defaults, both boxes checked
  const PrintSettings def = savedPrintSettings(dir, 1000, 600);
  EXPECT_TRUE(def.printMaxSize);
  EXPECT_NEAR(def.printHeightCm, 16.6, 1e-9);

  ASSERT_TRUE(writePrintForm(dir + kPrintSettingsFile, form("3", "2", "12", "8", false, false)));
  const PrintSettings p = savedPrintSettings(dir, 1000, 600);
  EXPECT_FALSE(p.printMaxSize);
  EXPECT_FALSE(p.landscape());
  EXPECT_EQ(p.printLeftCm, 3);
  EXPECT_EQ(p.printHeightCm, 8);

  // unusable saved fields fall back to the defaults rather than failing
  ASSERT_TRUE(writePrintForm(dir + kPrintSettingsFile, form("x", "2", "12", "8", false, false)));
  EXPECT_TRUE(savedPrintSettings(dir, 1000, 600).printMaxSize);
}

}  // namespace
}  // namespace velor
