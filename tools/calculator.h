// The calculator "Калькулятор" without its window: its remembered
// expressions ("qcalc.ini"), one evaluation as the result box shows it, and
// "&1=chan", which reorders the record's channels by the lead list "10-20.txt".
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/formula.h"

namespace velor {

struct StudyState;

inline constexpr int kCalculatorEntries = 10;

struct CalculatorMemory {
  std::array<std::string, kCalculatorEntries> entries;
  std::string shown;
};
// "qcalc.ini" in dir: the ten entries and the shown expression (11 lines).
// False when missing (the memory stays as it was; missing lines stay empty).
bool readCalculatorMemory(const std::string& dir, CalculatorMemory& m);
bool writeCalculatorMemory(const std::string& dir, const CalculatorMemory& m);

// "Вычислить": the result box's text, or false with the message (a compile
// error or an evaluation fault).
bool calculate(const std::string& expression, const FunctionNames& names, FormulaContext& context,
               std::string& result, std::string& message);

// "&1=chan": channel k of the new order is the channel named on the k-th
// matched line of `leads` (names compared with blanks trimmed; a line naming
// no channel, or one already taken, is skipped); channels the list does not
// name follow in their old order. Samples, names, positions, zero level and
// calibration move together. False with "???" and nothing changed when the
// matched channels already stand in that order; otherwise the record file
// name gets the prefix "1 ".
bool reorderChannelsByLeads(StudyState& s, const std::vector<std::string>& leads, std::string& reason);

}  // namespace velor
