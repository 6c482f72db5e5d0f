// Files of the formula language: the function list "StFn.ini", the formula
// sets of each use ("StFt.ini" and its siblings, and ".caf" archives of the
// same layout), and the six uses with their titles and offered variables.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/formula.h"

namespace velor {

inline constexpr int kFormulaUses = 6;
inline constexpr int kFormulasPerSet = 8;

struct FormulaUse {
  const char* title;     // caption of the formula window
  const char* fileName;  // formula set in programDir
  std::vector<std::string> variables;  // what the editor offers
};
// Use 1..6; nullptr outside.
const FormulaUse* formulaUse(int use);

// The lines of "StFn.ini" in dir (name and argument template per line);
// nothing when the file is missing or unreadable.
std::optional<std::vector<std::string>> readFunctionList(const std::string& dir);
// The lines of "StFn.ini", or the list a fresh installation ships when the
// file is missing (an empty list would leave every function unknown).
std::vector<std::string> functionListOrDefault(const std::string& dir);

// A formula set: the header line and formulas 1..8.
struct FormulaSet {
  std::string header;
  std::array<std::string, kFormulasPerSet> formulas;
};
// Reads a set (9 lines; missing lines stay empty, the header is trimmed);
// nothing when the file cannot be read.
std::optional<FormulaSet> readFormulaSet(const std::string& path);
// Writes a set: the header padded on the left with blanks to 162 characters.
bool writeFormulaSet(const std::string& path, const FormulaSet& set);

// The file kind of formula archives.
inline constexpr const char* kFormulaArchiveFilter = "Формулы (*.caf)|*.caf";

}  // namespace velor
