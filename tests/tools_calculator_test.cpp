// The calculator's memory, its evaluation text and "&1=chan".
#include <gtest/gtest.h>

#include "core/study_state.h"
#include "test_support.h"
#include "tools/calculator.h"
#include "tools/calculator_texts.h"

namespace velor {
namespace {

TEST(Calculator, MemoryRoundTrip) {
  test::TempDir dir;
  CalculatorMemory m;
  m.entries[0] = "2^3^2";
  m.entries[9] = "sqrt(2)";
  m.shown = "1<2=1";
  ASSERT_TRUE(writeCalculatorMemory(dir.path() + "/", m));
  CalculatorMemory r;
  ASSERT_TRUE(readCalculatorMemory(dir.path() + "/", r));
  EXPECT_EQ(r.entries, m.entries);
  EXPECT_EQ(r.shown, "1<2=1");
  CalculatorMemory untouched;
  untouched.shown = "keep";
  EXPECT_FALSE(readCalculatorMemory(dir.path() + "/none/", untouched));
  EXPECT_EQ(untouched.shown, "keep");
}

TEST(Calculator, ResultTextOrMessage) {
  FormulaContext ctx;
  std::string result, message;
  ASSERT_TRUE(calculate("7 MOD 3+1", FunctionNames::defaults(), ctx, result, message));
  EXPECT_EQ(result, "2");
  EXPECT_FALSE(calculate("7 MOD 0", FunctionNames::defaults(), ctx, result, message));
  EXPECT_EQ(message, "Деление на ноль");
  EXPECT_FALSE(calculate("(1", FunctionNames::defaults(), ctx, result, message));
  EXPECT_EQ(message, "Нет закрывающей скобки: (1");
}

TEST(Calculator, ChannelsFollowTheLeadList) {
  StudyState s;
  s.channelCount = 4;
  s.recordLength = 3;
  s.recordFileName = "rec.cad";
  const char* names[] = {"O1 ", "Fp1", "ECG", "C3"};
  for (int c = 0; c < 4; ++c) {
    s.channelNames[c] = names[c];
    s.zeroLevel[c] = static_cast<std::uint16_t>(2000 + c);
    s.calibValue[c] = static_cast<std::uint16_t>(10 * c);
    s.channelPosX[c] = static_cast<std::uint8_t>(c);
    for (int n = 0; n < 3; ++n) s.channelData[c][n] = static_cast<std::int16_t>(100 * c + n);
  }
  std::string reason;
  ASSERT_TRUE(reorderChannelsByLeads(s, {"Fp1", "Fp2", " C3", "O1", "C3"}, reason));
  const int expected[] = {1, 3, 0, 2};  // Fp1, C3, O1, then the unnamed ECG
  for (int k = 0; k < 4; ++k) {
    const int from = expected[k];
    EXPECT_EQ(s.channelNames[k], names[from]) << k;
    EXPECT_EQ(s.zeroLevel[k], 2000 + from);
    EXPECT_EQ(s.calibValue[k], 10 * from);
    EXPECT_EQ(s.channelPosX[k], from);
    EXPECT_EQ(s.channelData[k][2], 100 * from + 2);
  }
  EXPECT_EQ(s.recordFileName, "1 rec.cad");
  // the same list again finds them in order: "???" and nothing changes
  const test::StudySnapshot before(s);
  EXPECT_FALSE(reorderChannelsByLeads(s, {"Fp1", "C3", "O1"}, reason));
  EXPECT_EQ(reason, calculator_texts::kAlreadyInOrder);
  EXPECT_TRUE(test::StudySnapshot(s) == before);
}

}  // namespace
}  // namespace velor
