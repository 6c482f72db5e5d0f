// velor-cli calc and generate.
#include <gtest/gtest.h>

#include "cli_support.h"

namespace velor::test {
namespace {

TEST(CliCalc, ExamplesPrintAsTheCalculatorShows) {
  const std::pair<const char*, const char*> cases[] = {
      {"'7 MOD 3+1'", "2\n"}, {"'2^3^2'", "64\n"}, {"'1<2=1'", "1\n"}, {"'$1F'", "31\n"},
      {"'2-3'", "-1\n"},     {"-- -3", "-3\n"},    {"'0^0'", "0\n"},  {"'(-2)^3'", "-8\n"},
      {"'fact(3.9)'", "6\n"}, {"'sqrt(2)'", "1.414\n"}, {"'5<>4'", "1\n"},
  };
  for (const auto& [args, out] : cases) {
    const CliRun r = runCli("calc " + std::string(args));
    EXPECT_EQ(r.status, 0) << args << r.err;
    EXPECT_EQ(r.out, out) << args;
  }
}

TEST(CliCalc, HostileFormulasGiveTheirMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"-- '-x(1)'", "!ОШИБКА КОНСТАНТЫ!: -x(1)"},
      {"'(1+2'", "Нет закрывающей скобки: (1+2"},
      {"'y+1'", "Нет такой переменной: y+1"},
      {"'foo(2)'", "Нет такой функции: foo(2)"},
      {"'1+*2'", "Ошибка операции: *2"},
      {"'1!2'", "Нет такого разделителя: !2"},
      {"'7 MOD 0'", "Деление на ноль"},
      {"'1/0'", "Деление на ноль"},
      {"'fact(1E9)'", "Переполнение"},
      {"'x(1)' --sample 0", "Индекс вне массива"},
  };
  for (const auto& [args, message] : cases) {
    const CliRun r = runCli("calc " + std::string(args));
    expectOneLineFailure(r, 1);
    EXPECT_EQ(r.err, "velor-cli: " + std::string(message) + "\n") << args;
    EXPECT_EQ(r.out, "");
  }
}

TEST(CliGenerate, RecordReadBackThroughTheFormula) {
  TempDir dir;
  const std::string out = dir.file("g.cad");
  CliRun r = runCli("generate '" + out + "' --wave sine --frequency 10 --amplitude 50 --calib 100");
  ASSERT_EQ(r.status, 0) << r.err;
  // sample 25 is a crest: 50 % of the full scale of 100
  r = runCli("calc 'x(1)' --file '" + out + "' --sample 26");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "50.02\n");  // 1024 codes of 2047 for 100
  r = runCli("calc 'x(1)+i' --file '" + out + "' --channel 3 --sample 1");
  EXPECT_EQ(r.out, "3\n");
  // an option value out of range is a wrong command line, as map's --frequency
  r = runCli("generate '" + out + "' --wave sine --frequency 101");
  expectOneLineFailure(r, 2);
  EXPECT_NE(r.err.find("Частота сигнала не может превышать"), std::string::npos);
  r = runCli("generate '" + out + "' --wave formula --formula '1/(j-2)'");
  expectOneLineFailure(r, 1);
  r = runCli("generate '" + out + "' --wave zigzag");
  expectOneLineFailure(r, 2);
}

}  // namespace
}  // namespace velor::test
