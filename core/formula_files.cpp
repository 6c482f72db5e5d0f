#include "core/formula_files.h"

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"

namespace velor {

namespace {

// The editor offers what the compiler knows: the protocol's record length is
// "tmax" (the compiler has no "len").
const FormulaUse kUses[kFormulaUses] = {
    {"Преобразования записей", "StFt.ini", {"i", "x(?)"}},
    {"Вычисления блокнота", "StFbc.ini", {"b(?,?)", "i", "j"}},
    {"Преобразования блокнота", "StFbp.ini", {"bk(?)", "i"}},
    {"Условие усреднения", "StFep.ini",
     {"i", "irec", "a(?,?)", "ts(?)", "tm(?)", "te(?)", "tp(?)", "tin(?)", "tout(?)", "amax(?,?,?)", "amin(?,?,?)"}},
    {"Условие поиска", "StFp.ini", {"i", "x(?)", "e(?)", "c(?,?)", "m(?)", "p(?)", "in", "out"}},
    {"Условие протокола", "StFpt.ini",
     {"x(?)", "in", "out", "sig", "tmax", "ts(?)", "amax(?,?,?)", "amin(?,?,?)", "anal(?,?)"}},
};

}  // namespace

const FormulaUse* formulaUse(int use) { return use >= 1 && use <= kFormulaUses ? &kUses[use - 1] : nullptr; }

std::optional<std::vector<std::string>> readFunctionList(const std::string& dir) {
  return readTextLines(dir + "StFn.ini");
}

std::vector<std::string> functionListOrDefault(const std::string& dir) {
  if (auto lines = readFunctionList(dir)) return *lines;
  return FunctionNames::defaultLines();
}

std::optional<FormulaSet> readFormulaSet(const std::string& path) {
  const auto lines = readTextLines(path);
  if (!lines) return std::nullopt;
  FormulaSet set;
  if (!lines->empty()) set.header = trimSpaces((*lines)[0]);
  for (int k = 0; k < kFormulasPerSet && k + 1 < static_cast<int>(lines->size()); ++k)
    set.formulas[static_cast<std::size_t>(k)] = (*lines)[static_cast<std::size_t>(k) + 1];
  return set;
}

bool writeFormulaSet(const std::string& path, const FormulaSet& set) {
  std::vector<std::string> lines;
  lines.push_back(padLeft(set.header, 162));
  for (const std::string& f : set.formulas) lines.push_back(f);
  return writeTextLines(path, lines);
}

}  // namespace velor
