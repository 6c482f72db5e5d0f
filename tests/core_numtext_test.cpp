#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "core/numtext.h"

namespace velor {
namespace {

TEST(FormatNumber, GeneralFormatWithFourSignificantDigits) {
  const struct {
    double v;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {5, "5"},  // whole numbers have no point
      {-12, "-12"},
      {100, "100"},
      {9999, "9999"},
      {3.14159, "3.142"},
      {0.5, "0.5"},
      {-0.25, "-0.25"},
      {2.50, "2.5"},  // trailing zeros dropped
      {1234.4, "1234"},
      {1234.5, "1235"},  // half away from zero on the decimal value
      {-1234.5, "-1235"},
      {1.0625, "1.063"},
      {0.1, "0.1"},  // the binary neighbour of 0.1 does not leak digits
      {1.0 / 3, "0.3333"},
      {2.0 / 3, "0.6667"},
      {0.0001234, "0.0001234"},
      {0.00001, "0.00001"},  // the smallest fixed magnitude
      {0.000012345, "0.00001235"},
      {0.0000099999, "0.00001"},  // rounds up into fixed notation
      {0.000009999, "9.999E-6"},
      {0.0000015, "1.5E-6"},
      {-0.000001, "-1E-6"},
      {12345, "1.235E4"},  // five integer digits
      {99999, "1E5"},
      {9999.5, "1E4"},  // rounding makes a fifth integer digit
      {9999.4, "9999"},
      {-123456789, "-1.235E8"},
      {1e20, "1E20"},
      {6.02214e23, "6.022E23"},
      {1.5e-300, "1.5E-300"},
      {std::numeric_limits<double>::max(), "1.798E308"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatNumber(c.v), c.text) << c.v;
}

TEST(FormatNumber, OtherDigitCounts) {
  EXPECT_EQ(formatNumber(3.14159, 2), "3.1");
  EXPECT_EQ(formatNumber(123, 2), "1.2E2");
  EXPECT_EQ(formatNumber(123456, 6), "123456");
  EXPECT_EQ(formatNumber(0.96, 1), "1");
  EXPECT_EQ(formatNumber(3.14159, 0), "3");  // fewer than one digit is one digit
}

TEST(FormatNumber, WhatItWritesParsesBack) {
  for (double v : {3.14159, -0.000012345, 98765.4, 1e-9, -2.5e15, 0.1, 7.0}) {
    const auto back = parseNumber(formatNumber(v));
    ASSERT_TRUE(back.has_value()) << formatNumber(v);
    EXPECT_NEAR(*back, v, std::fabs(v) * 5e-4) << formatNumber(v);
  }
}

TEST(ParseNumber, PointCommaExponentAndBlanks) {
  const struct {
    const char* text;
    double v;
  } good[] = {
      {"12,5", 12.5}, {" 12.5 ", 12.5}, {"\t-0,25\r\n", -0.25}, {"+3", 3},    {"7", 7},
      {",5", 0.5},    {"5.", 5},         {"1.5E-7", 1.5e-7},    {"1E20", 1e20}, {"2,5e3", 2500},
      {"-0", 0},
  };
  for (const auto& c : good) {
    const auto v = parseNumber(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*v, c.v) << c.text;
  }
  const char* bad[] = {"", "   ", "12a", "nan", "inf", "-inf", "0x10", "1,2,3", "1.234,5", "--5",
                       "+-5", "++5", "1e", "e5", "-", ".", "1e999", "1 2", "５"};
  for (const char* t : bad) EXPECT_FALSE(parseNumber(t).has_value()) << t;
  EXPECT_FALSE(parseNumber(std::string(100, '1')).has_value());
}

TEST(ParseNumber, IntegerVariantTruncatesTowardsZero) {
  const struct {
    const char* text;
    int v;
  } good[] = {{"7,9", 7}, {"-7.9", -7}, {"0,99", 0}, {"-0,99", 0}, {"2147483647", 2147483647}, {"1E3", 1000}};
  for (const auto& c : good) {
    const auto v = parseInteger(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_EQ(*v, c.v) << c.text;
  }
  for (const char* t : {"1e20", "2147483648", "-2147483649", "x"}) EXPECT_FALSE(parseInteger(t).has_value()) << t;
}

// The GUI runs with the desktop's locale; a comma locale must not change the text.
TEST(NumberText, IndependentOfTheProcessLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
    GTEST_SKIP() << "no comma locale installed";
  EXPECT_EQ(formatNumber(3.14159), "3.142");
  EXPECT_EQ(formatNumber(1.5e-7), "1.5E-7");
  EXPECT_DOUBLE_EQ(*parseNumber("12.5"), 12.5);
  EXPECT_DOUBLE_EQ(*parseNumber("12,5"), 12.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(PadAndTrim, PadNeverCutsAndCountsCharacters) {
  const struct {
    const char* text;
    int width;
    const char* padded;
  } cases[] = {{"ab", 4, "  ab"}, {"abcdef", 4, "abcdef"}, {"", 3, "   "}, {"Жук", 5, "  Жук"},
               {"Жук", 3, "Жук"},  {"x", 0, "x"},           {"x", -5, "x"}};
  for (const auto& c : cases) EXPECT_EQ(padLeft(c.text, c.width), c.padded) << c.text << " " << c.width;
  EXPECT_EQ(padLeft(formatNumber(-1.5), 10) + padLeft(formatNumber(12345), 10), "      -1.5   1.235E4");

  EXPECT_EQ(trimSpaces("  x y \r\n"), "x y");
  EXPECT_EQ(trimSpaces("\t\t"), "");
  EXPECT_EQ(trimSpaces(""), "");
  EXPECT_EQ(trimSpaces("Жук "), "Жук");
}

}  // namespace
}  // namespace velor
