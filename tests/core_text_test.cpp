#include <gtest/gtest.h>

#include "core/text.h"

namespace velor {
namespace {

TEST(Cp1251, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(all)), all);
}

TEST(Cp1251, KnownLetters) {
  EXPECT_EQ(cp1251ToUtf8("\xC0\xE1\xFF\xA8\xB8\xB9"), "АбяЁё№");
  EXPECT_EQ(utf8ToCp1251("Ваня №1"), "\xC2\xE0\xED\xFF \xB9" "1");
  // characters the code page lacks and broken UTF-8 become '?'
  EXPECT_EQ(utf8ToCp1251("a\xE4\xB8\xAD" "b\xFF" "c"), "a?b?c");
}

TEST(Utf8Width, FitsAndPutsByCharacters) {
  EXPECT_EQ(utf8Length("ЭЭГ x"), 5u);
  EXPECT_EQ(utf8Fit("Привет", 3), "При");
  EXPECT_EQ(utf8Fit("Fp1", 5), "Fp1  ");
  std::string line = "ab";
  utf8PutField(line, 4, 3, "Жук-жук");
  EXPECT_EQ(line, "ab  Жук");
  utf8PutField(line, 0, 2, "Ё");
  EXPECT_EQ(line, "Ё   Жук");
}

}  // namespace
}  // namespace velor
