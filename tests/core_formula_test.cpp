// The formula language: its documented examples, its errors with their
// messages, the arrays over a record and the notebook, and the faults that a
// per-sample evaluation must report instead of crashing.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "core/formula.h"
#include "core/formula_texts.h"
#include "core/statistics.h"
#include "core/study_state.h"

namespace velor {
namespace {

namespace T = formula_texts;

struct Evaluated {
  bool compiled = false;
  std::string message;
  FormulaValue value;
};

Evaluated run(std::string_view text, FormulaContext ctx = {}) {
  Evaluated e;
  CompiledFormula f;
  e.compiled = compileFormula(text, FunctionNames::defaults(), f, e.message);
  if (e.compiled) e.value = evaluateFormula(f, ctx);
  return e;
}

struct ValueCase {
  const char* formula;
  double expected;
};

TEST(Formula, DocumentedExamplesAndArithmetic) {
  const ValueCase cases[] = {
      {"2-3", -1},         {"-3", -3},          {"7 MOD 3+1", 2},     {"2^3^2", 64},      {"1<2=1", 1},
      {"5<>4", 1},         {"5~4", 1},          {"0^0", 0},           {"(-8)^(1/3)", 0},  {"(-2)^3", -8},
      {"(-2)^2", 4},       {"fact(0.5)", 0},     {"fact(-1E40)", 0},    {"fact(3.9)", 6},     {"$1F", 31},        {"$ff", 255},
      {"-7 MOD 3", -1},    {"7 MOD -3", 1},     {"7.9 MOD 3.2", 1},   {"1+2*3", 7},       {"(1+2)*3", 9},
      {"2*-3", -6},        {"1.5E+1", 15},      {"2,5 ", 0},          {"3>=3", 1},        {"3<=2", 0},
      {"1|0", 1},          {"0&1", 0},          {"2&3", 1},           {"1+1=2&2>1", 1},   {"abs(-2)", 2},
      {"sqrt(16)", 4},     {"ln(1)", 0},        {"lg(1000)", 3},      {"exp(0)", 1},      {"int(-2.7)", -2},
      {"frac(-2.5)", -0.5}, {"sign(-0.1)", -1}, {"sign(0)", 0},       {"sin(0)", 0},      {"cos(0)", 1},
      {"tg(0)", 0},        {"arccos(1)", 0},    {"arccos(0)", M_PI / 2}, {"arcsin(1)", M_PI / 2},
      {"arctg(1)", M_PI / 4}, {"fact(170)>1E306", 1}, {"i+j", 0},   {"4/2/2", 1},       {"2 ^ 0.5", std::sqrt(2.0)},
  };
  for (const ValueCase& c : cases) {
    const Evaluated e = run(c.formula);
    if (std::string(c.formula) == "2,5 ") {
      // the comma separates arguments only; a decimal comma outside a call is refused
      EXPECT_FALSE(e.compiled);
      EXPECT_EQ(e.message, std::string(T::kNoSuchSeparator) + ": ,5");
      continue;
    }
    ASSERT_TRUE(e.compiled) << c.formula << ": " << e.message;
    ASSERT_TRUE(e.value.ok()) << c.formula << ": " << formulaFaultText(e.value.fault);
    EXPECT_NEAR(e.value.value, c.expected, 1e-12) << c.formula;
  }
}

struct ErrorCase {
  const char* formula;
  const char* message;
};

TEST(Formula, CompilationErrorsNameTheCauseAndThePlace) {
  const ErrorCase cases[] = {
      {"-x(1)", "!ОШИБКА КОНСТАНТЫ!: -x(1)"},
      {"1+2x", "!ОШИБКА КОНСТАНТЫ!: 2x"},
      {"$1G", "!ОШИБКА КОНСТАНТЫ!: $1G"},
      {"1.2.3", "!ОШИБКА КОНСТАНТЫ!: 1.2.3"},
      {"1E999", "!ОШИБКА КОНСТАНТЫ!: 1E999"},
      {"foo(1)", "Нет такой функции: foo(1)"},
      {"Sin(1)", "Нет такой функции: Sin(1)"},
      {"i+y", "Нет такой переменной: y"},
      {"I", "Нет такой переменной: I"},
      {"(1+2", "Нет закрывающей скобки: (1+2"},
      {"abs(1", "Нет закрывающей скобки: (1"},
      {"1+*2", "Ошибка операции: *2"},
      {"", "Ошибка операции: "},
      {"1+", "Ошибка операции: "},
      {"()", "Ошибка операции: )"},
      {"1)", "Нет такого разделителя: )"},
      {"1!2", "Нет такого разделителя: !2"},
      {"(1,2)", "Нет такого разделителя: ,2)"},
      {"x(1,2)", "Ошибка операции: x(1,2)"},
      {"amax(1,2)", "Ошибка операции: amax(1,2)"},
      {"1>=x", "Нет такой переменной: x"},
      {"2<>+", "!ОШИБКА КОНСТАНТЫ!: +"},
  };
  for (const ErrorCase& c : cases) {
    const Evaluated e = run(c.formula);
    EXPECT_FALSE(e.compiled) << c.formula;
    EXPECT_EQ(e.message, c.message) << c.formula;
  }
}

TEST(Formula, HostileTextsCompileOrFailWithAMessage) {
  EXPECT_EQ(run(std::string(150, '(') + "1" + std::string(150, ')')).message,
            std::string(T::kTooComplex) + ": " + std::string(50, '(') + "1" + std::string(150, ')'));
  EXPECT_TRUE(run(std::string(90, '(') + "1" + std::string(90, ')')).compiled);
  std::string longSum = "1";
  for (int k = 0; k < 10000; ++k) longSum += "+1";
  const Evaluated e = run(longSum);
  ASSERT_TRUE(e.compiled);
  EXPECT_EQ(e.value.value, 10001);
  EXPECT_FALSE(run("\xff\xfe").compiled);
}

TEST(Formula, NamesTakeCyrillicLettersAndCaseMatters) {
  FunctionNames names = FunctionNames::defaults();
  names.names[1] = "корень";  // line 2 of "StFn.ini" renamed
  names.names[15] = "ЁжЇ";
  CompiledFormula f;
  std::string message;
  ASSERT_TRUE(compileFormula("корень(9)+ЁжЇ(0)", names, f, message)) << message;
  FormulaContext ctx;
  EXPECT_EQ(evaluateFormula(f, ctx).value, 3);
  EXPECT_FALSE(compileFormula("Корень(9)", names, f, message));
  EXPECT_EQ(message, "Нет такой функции: Корень(9)");
  EXPECT_FALSE(compileFormula("sqrt(9)", names, f, message));  // the renamed line no longer names it
  EXPECT_FALSE(compileFormula("ѐ(1)", names, f, message));      // not a letter of the code page
  EXPECT_EQ(message, "Ошибка операции: ѐ(1)");
}

TEST(Formula, FunctionNamesComeFromTheLinesBeforeTheirBracket) {
  const FunctionNames f = FunctionNames::fromLines({" abs (?)", "", "ln(?)"});
  ASSERT_EQ(f.names.size(), 3u);
  EXPECT_EQ(f.names[0], "abs");
  EXPECT_EQ(f.names[1], "");
  CompiledFormula c;
  std::string message;
  EXPECT_TRUE(compileFormula("abs(-1)+ln(1)", f, c, message));
  EXPECT_FALSE(compileFormula("sqrt(1)", FunctionNames{}, c, message));  // no "StFn.ini": no functions
}

TEST(Formula, FaultsInsteadOfCrashes) {
  const std::pair<const char*, FormulaFault> cases[] = {
      {"1/0", FormulaFault::DivisionByZero},    {"7 MOD 0", FormulaFault::DivisionByZero},
      {"7 MOD 0.5", FormulaFault::DivisionByZero}, {"1/(2-2)", FormulaFault::DivisionByZero},
      {"fact(171)", FormulaFault::Overflow},    {"fact(1E300)", FormulaFault::Overflow},
      {"10^400", FormulaFault::Overflow},       {"exp(1000)", FormulaFault::Overflow},
      {"sqrt(-1)", FormulaFault::Domain},       {"ln(0)", FormulaFault::Domain},
      {"lg(-1)", FormulaFault::Domain},         {"arcsin(1.5)", FormulaFault::Domain},
      {"arccos(-2)", FormulaFault::Domain},     {"x(1)", FormulaFault::NoStudy},
      {"b(1,1)", FormulaFault::IndexOutside},
  };
  for (const auto& [formula, fault] : cases) {
    const Evaluated e = run(formula);
    ASSERT_TRUE(e.compiled) << formula;
    EXPECT_EQ(e.value.fault, fault) << formula;
  }
  EXPECT_STREQ(formulaFaultText(FormulaFault::DivisionByZero), T::kDivisionByZero);
}

TEST(Formula, RandomFunctionFollowsItsSeed) {
  CompiledFormula f;
  std::string message;
  ASSERT_TRUE(compileFormula("rnd(10)", FunctionNames::defaults(), f, message));
  FormulaContext a, b;
  a.seedRandom(42);
  b.seedRandom(42);
  double lo = 10, hi = 0;
  for (int k = 0; k < 1000; ++k) {
    const double va = evaluateFormula(f, a).value;
    EXPECT_EQ(va, evaluateFormula(f, b).value);
    lo = std::min(lo, va);
    hi = std::max(hi, va);
  }
  EXPECT_GE(lo, 0);
  EXPECT_LT(hi, 10);
  EXPECT_GT(hi - lo, 9);
  b.seedRandom(43);
  EXPECT_NE(evaluateFormula(f, a).value, evaluateFormula(f, b).value);
}

// A small record: 3 channels at 100 Hz, 10 samples, zero level 2048, 1 code = 0.5 units.
class FormulaRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    s.channelCount = 3;
    s.sampleRate = 100;
    s.recordLength = 10;
    s.currentRecord = 7;
    for (int c = 0; c < 3; ++c) {
      s.zeroLevel[c] = 2048;
      s.calibUnits[c] = 2;
      s.calibValue[c] = 1;
      for (int n = 0; n < 10; ++n) s.channelData[c][n] = static_cast<std::int16_t>(2048 + (c + 1) * n);
    }
    // channel 2: a one-sample pulse at sample 4 and a mark at sample 6
    for (int n = 0; n < 10; ++n) s.channelData[1][n] = 2048;
    s.channelData[1][4] = 2100;
    s.channelData[1][6] = kMarkCode;
    ctx.study = &s;
  }
  FormulaValue eval(std::string_view text, int j) {
    CompiledFormula f;
    std::string message;
    EXPECT_TRUE(compileFormula(text, FunctionNames::defaults(), f, message)) << message;
    ctx.j = j;
    return evaluateFormula(f, ctx);
  }
  StudyState s;
  FormulaContext ctx;
};

TEST_F(FormulaRecord, ArraysReadTheRecord) {
  EXPECT_EQ(eval("x(1)", 4).value, 1.5);  // sample 3 of channel 1: 3 codes
  EXPECT_EQ(eval("x(3)", 4).value, 4.5);
  EXPECT_EQ(eval("x(0)", 4).value, 1.5);  // clamped to channel 1
  EXPECT_EQ(eval("x(99)", 4).value, 4.5);  // clamped to the last channel
  EXPECT_EQ(eval("x(i+1)", 4).value, 1.5);
  {  // a context reused after the calibration changed reads the new one
    CompiledFormula f;
    std::string message;
    ASSERT_TRUE(compileFormula("x(1)+x(i+1)", FunctionNames::defaults(), f, message));
    ctx.j = 4;
    EXPECT_EQ(evaluateFormula(f, ctx).value, 3);
    s.calibValue[0] = 4;
    EXPECT_EQ(evaluateFormula(f, ctx).value, 12);
    s.calibUnits[0] = 1;
    EXPECT_EQ(evaluateFormula(f, ctx).value, 24);
    s.calibValue[0] = 1;
    s.calibUnits[0] = 2;
  }
  s.channelData[0][0] = 2040;
  EXPECT_EQ(eval("abs(x(1))+x(1)*2", 1).value, -4);
  s.viewMode = ViewMode::Transform;  // the transform view's conversion (no zero level)
  EXPECT_EQ(eval("abs(x(1))", 1).value, 1020);
  s.viewMode = ViewMode::Signals;
  EXPECT_EQ(eval("e(2)", 5).value, 1);  // samples 3, 5 at zero, 4 not
  EXPECT_EQ(eval("e(2)", 6).value, 0);
  EXPECT_EQ(eval("m(2)", 7).value, 1);
  EXPECT_EQ(eval("m(2)", 6).value, 0);
  EXPECT_EQ(eval("amax(1,0,0.095)", 1).value, 4.5);
  EXPECT_EQ(eval("amin(3,0.025,0.055)", 1).value, 3);
  EXPECT_EQ(eval("a(3,0.055)", 1).value, 7.5);
  EXPECT_EQ(eval("irec+tmax", 1).value, 17);
  EXPECT_NEAR(eval("tm(2)", 1).value, 0.06, 1e-12);
  EXPECT_NEAR(eval("te(2)", 1).value, 0.04, 1e-12);
  EXPECT_NEAR(eval("te(2)", 6).value, 0.06, 1e-12);  // the mark stands alone too
  EXPECT_EQ(eval("te(2)", 7).value, 0);  // nothing after sample 6
  EXPECT_EQ(eval("in+out", 1).value, 0);  // no mark channel
}

TEST_F(FormulaRecord, EveryIndexIsCheckedAgainstItsBuffer) {
  const std::pair<const char*, int> outside[] = {
      {"x(1)", 0},  {"x(1)", 11},    {"x(i)", 0},    {"e(1)", 1},        {"e(1)", 10},     {"m(1)", 11},
      {"a(1,0.1)", 1}, {"a(1,-0.01)", 1}, {"amax(1,0,0.1)", 1}, {"amin(1,-1,0)", 1}, {"tm(1)", 10},
      {"ts(0)", 1}, {"ts(17)", 1},  {"tin(256)", 1}, {"x(0/0+1)", 4},
  };
  for (const auto& [formula, j] : outside) {
    const FormulaValue v = eval(formula, j);
    EXPECT_FALSE(v.ok()) << formula << " at j=" << j;
  }
  EXPECT_EQ(eval("x(0/0+1)", 4).fault, FormulaFault::DivisionByZero);
  EXPECT_EQ(eval("x(1)", 11).fault, FormulaFault::IndexOutside);
}

TEST_F(FormulaRecord, MarkChannelBytesAndStimulusTimes) {
  s.markChannelCount = 1;
  for (int n = 0; n < 10; ++n) s.markChannel[n] = 0;
  s.markChannel[3] = 0x0205;
  EXPECT_EQ(eval("in", 3).value, 5);
  EXPECT_EQ(eval("out", 3).value, 2);
  EXPECT_NEAR(eval("ts(3)", 1).value, 0.03, 1e-12);  // bit 3 (value 4) is set in 5
  EXPECT_EQ(eval("ts(2)", 1).value, 0);
  EXPECT_NEAR(eval("tin(5)", 0).value, 0.03, 1e-12);
  EXPECT_NEAR(eval("tout(2)", 2).value, 0.03, 1e-12);
  EXPECT_EQ(eval("tout(2)", 4).value, 0);
}

TEST_F(FormulaRecord, CorrelationOfTheSelection) {
  // channel 1 is a ramp: its selection correlates with any later ramp piece
  s.cursorPos = 0;
  s.selectionAnchor = 3;
  EXPECT_NEAR(eval("c(1,1)", 5).value, 1, 1e-12);
  EXPECT_NEAR(eval("c(1,3)", 2).value, 1, 1e-12);
  s.channelData[2][3] = 2048;  // a dent in channel 3's ramp lowers the match
  const double dented = eval("c(1,3)", 2).value;
  EXPECT_LT(dented, 0.99);
  EXPECT_GT(dented, 0.5);
  EXPECT_EQ(eval("c(1,1)", 7).fault, FormulaFault::IndexOutside);  // 7..10 leaves the record
  EXPECT_EQ(eval("c(2,2)", 0).fault, FormulaFault::DivisionByZero);  // channel 2 is flat there
  s.selectionAnchor = -1;
  EXPECT_EQ(eval("c(1,1)", 1).fault, FormulaFault::DivisionByZero);  // no selection
}

class Cells : public FormulaCells {
 public:
  std::map<std::pair<int, int>, double> v;
  bool cellValue(int column, int row, double& value) const override {
    if (column < 1 || column > 5 || row < 1 || row > 999) return false;
    const auto it = v.find({column, row});
    value = it == v.end() ? 0 : it->second;
    return true;
  }
};

TEST(Formula, NotebookCells) {
  Cells cells;
  cells.v[{2, 3}] = 7;
  cells.v[{1, 3}] = 5;
  FormulaContext ctx;
  ctx.cells = &cells;
  ctx.j = 3;
  EXPECT_EQ(run("b(2,3)*bk(1)", ctx).value.value, 35);
  EXPECT_EQ(run("b(6,3)", ctx).value.fault, FormulaFault::IndexOutside);
  EXPECT_EQ(run("b(1,1000)", ctx).value.fault, FormulaFault::IndexOutside);
  ctx.j = 0;
  EXPECT_EQ(run("bk(1)", ctx).value.fault, FormulaFault::IndexOutside);
}

TEST(Formula, ExpressAnalysisResults) {
  StudyState s;
  s.channelCount = 2;
  s.sampleRate = 100;
  s.recordLength = 512;
  s.calibUnits[1] = 4;
  s.calibValue[1] = 2;
  FormulaContext ctx;
  ctx.study = &s;
  s.parkedChannelData[1][51] = 10;  // 10 Hz of a 512-point spectrum at 100 Hz: bin trunc(51.2 + 0.5)
  ctx.expressAnalysisKind = 1;
  EXPECT_EQ(run("anal(2,10)", ctx).value.value, 5);
  EXPECT_EQ(run("anal(0,2,10)", ctx).value.value, 5);  // a leading place is accepted and ignored
  EXPECT_EQ(run("anal(2,1E9)", ctx).value.fault, FormulaFault::IndexOutside);
  s.resultStore[(1 + 2 * 2) * 4] = 8;
  ctx.expressAnalysisKind = 2;
  EXPECT_EQ(run("anal(2,3)", ctx).value.value, 4);
  EXPECT_EQ(run("anal(2,-1E6)", ctx).value.fault, FormulaFault::IndexOutside);
  ctx.expressAnalysisKind = 3;
  EXPECT_EQ(run("anal(2,3)", ctx).value.value, 0);
}

TEST(Formula, CalculatorShowsFourSignificantDigits) {
  EXPECT_EQ(formatCalculatorValue(2), "2");
  EXPECT_EQ(formatCalculatorValue(M_PI), "3.142");
  EXPECT_EQ(formatCalculatorValue(123456), "1.235e+05");
}

// Reference values: scipy 1.10 (stats.f.sf, stats.f.isf, stats.norm.sf).
// The cube-root approximation of the F tail is good to about 0.005 absolute
// (at 2 degrees of freedom, where its correction term works hardest) and the
// result is truncated to 4 decimals; the normal tail's polynomial with its
// 6-digit coefficients to 2e-5.
TEST(Statistics, FTailAgreesWithScipy) {
  struct Case {
    double df1, df2, x, scipy;
  };
  const Case cases[] = {
      {2, 10, 3.0, 0.095367},  {5, 20, 2.5, 0.064927}, {3, 3, 5.0, 0.109551},  {10, 30, 0.5, 0.876361},
      {4, 60, 1.0, 0.414740},  {1, 20, 2.086, 0.049996}, {1, 10, -2.228, 0.050012}, {2, 2, 19.0, 0.050000},
      {8, 12, 0.3, 0.951979},
  };
  for (const Case& c : cases) {
    const double p = fTailProbability(c.df2, c.df1, c.x);
    EXPECT_NEAR(p, c.scipy, 0.005) << c.df1 << "," << c.df2 << " x=" << c.x;
    EXPECT_EQ(p, std::trunc(p * 10000) / 10000);
  }
  EXPECT_EQ(fTailProbability(5, 3, 0), 1);
  EXPECT_TRUE(std::isnan(fTailProbability(0, 3, 2)));
}

TEST(Statistics, FCriticalValueAgreesWithScipy) {
  struct Case {
    double df1, df2, p, scipy;
  };
  const Case cases[] = {{2, 10, 0.05, 4.10282}, {5, 20, 0.05, 2.71089}, {3, 30, 0.01, 4.50974},
                      {1, 20, 0.05, 2.08596}};  // df1 = 1: a Student t, √4.35124
  for (const Case& c : cases) {
    const double x = fCriticalValue(c.df1, c.df2, c.p);
    // 3 % relative: the tail's own error divided by the density's slope there
    EXPECT_NEAR(x, c.scipy, 0.03 * c.scipy) << c.df1 << "," << c.df2;
    EXPECT_NEAR(fTailProbability(c.df2, c.df1, x), c.p, 0.0002);
  }
  EXPECT_TRUE(std::isnan(fCriticalValue(2, 10, 0)));
  EXPECT_TRUE(std::isnan(fCriticalValue(2, 10, 1)));
}

TEST(Statistics, NormalTailAgreesWithScipy) {
  const std::pair<double, double> cases[] = {{0, 0.5},          {0.5, 0.3085375},  {1, 0.1586553},  {1.96, 0.0249979},
                                             {2.5, 0.0062097}, {-1, 0.8413447}, {-2.33, 0.9900969}, {3.5, 0.0002326}};
  for (const auto& [z, scipy] : cases) {
    EXPECT_NEAR(normalTailProbability(1, 0, z), scipy, 2e-5) << z;
    EXPECT_NEAR(normalTailProbability(2, 10, 10 + 2 * z), scipy, 2e-5) << z;
  }
  EXPECT_EQ(normalTailProbability(0, 1, 2), 0);
  EXPECT_EQ(normalTailProbability(0, 1, 0), 1);
}

}  // namespace
}  // namespace velor
