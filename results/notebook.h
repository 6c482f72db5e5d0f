// The notebook of measured values "Блокнот" without its window: 5 columns of
// cell texts (X, Y, dX, dY, S) over 999 rows, the count of rows in use, the
// header line, and what its commands do: sort, graph points, statistics with
// histogram, formulas over cells and columns, copy and print texts, row
// insert and delete, and the ".cab" file.
//
// Cells hold texts (typed, pasted or written by formatNumber); they are read
// as numbers when used, an unreadable cell reading as 0. Formulas read the
// cells through FormulaCells (b, bk).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/formula.h"

namespace velor {

class Interaction;

inline constexpr int kNotebookRows = 999;    // grid rows 1..999 below the header row
inline constexpr int kNotebookColumns = 5;   // columns 1..5: X, Y, dX, dY, S
inline constexpr int kNotebookFieldWidth = 10;
inline constexpr int kNotebookHeaderChars = 162;

class Notebook final : public FormulaCells {
 public:
  Notebook();

  // Rows in use: rows 1 .. rowCount(). Holds the grid's 999 (a byte would
  // lose every row above 255).
  int rowCount() const { return rows_; }
  // Sets the count, clamped to 0..999 (the grid may hold texts beyond it).
  void setRowCount(int n);

  // Cell texts, column 1..5, row 1..999; "" outside.
  const std::string& cell(int column, int row) const;
  void setCell(int column, int row, std::string text);
  // The cell read as a number (0 when unreadable or outside).
  double value(int column, int row) const;
  bool cellValue(int column, int row, double& value) const override;

  std::string header;  // the header line kept with the table

  // A new row with these texts (writers advance the count, then fill the
  // row): false, nothing changed, when all 999 rows are in use.
  bool appendRow(const std::array<std::string, kNotebookColumns>& texts);
  // Empties columns 1..5 of the rows in use and sets the count to 0.
  void clear();
  // Insert at row r ≤ rowCount(): rows r.. move one down (the last grid row
  // drops off when all are in use) and the count grows (up to 999). Delete at
  // r < rowCount(): rows r + 1.. move one up, the last row is emptied and the
  // count shrinks. False, nothing changed, otherwise.
  bool insertRow(int r);
  bool deleteRow(int r);

  // Rows 1..rowCount() in ascending order of column c; equal values keep
  // their order. Nothing happens with fewer than 2 rows.
  void sortByColumn(int column);

 private:
  std::array<std::array<std::string, kNotebookColumns>, kNotebookRows> cells_{};
  int rows_ = 0;
};

// --- graph -------------------------------------------------------------------
// xChoice 0..4: column xChoice + 1; 5: the row number ("№").
struct NotebookGraph {
  std::vector<std::pair<double, double>> points;  // (x, y) per row in use
  std::string caption;                            // "График блокнота: Y=f(X)"
};
NotebookGraph notebookGraph(const Notebook& nb, int column, int xChoice);

// --- statistics --------------------------------------------------------------
struct NotebookStatistics {
  int n = 0;
  double mean = 0, range = 0, deviation = 0, skewness = 0, kurtosis = 0;
  bool shapeDefined = false;  // skewness and kurtosis (not for equal values)
  std::vector<std::pair<double, double>> histogram;  // (class centre, per cent); empty when none
  std::vector<std::string> lines;  // the three lines of "Статистика блокнота"
  std::string notice;              // what to tell besides the lines ("" when nothing)
};
// Statistics of column `column` over the rows in use; nothing (with `reason`)
// for an empty notebook or a single row.
std::optional<NotebookStatistics> notebookStatistics(const Notebook& nb, int column, std::string& reason);

// --- formulas ----------------------------------------------------------------
// "&4=Вычислить": the formula once with i = column, j = row.
FormulaValue evaluateNotebookFormula(const Notebook& nb, const CompiledFormula& f, int column, int row,
                                     FormulaContext context);
// "&5=Преобразовать": column `column` of rows 1..rowCount() computed with
// i = column, j = row, each written by formatNumber as soon as computed (later
// rows see earlier results through b). A fault restores the column and
// returns it (None on success).
FormulaFault computeNotebookColumn(Notebook& nb, const CompiledFormula& f, int column, FormulaContext context,
                                   int* faultRow = nullptr);

// --- texts -------------------------------------------------------------------
// The selected cells (grid columns 0..5, column 0 the row numbers; rows 1..999)
// as clipboard text: one line per row, cells joined by tabs, an empty cell "?".
std::string notebookCopyText(const Notebook& nb, int columnFrom, int columnTo, int rowFrom, int rowTo);
// One printed line per row in use: columns 1..5 padded on the left to 10.
std::vector<std::string> notebookPrintLines(const Notebook& nb);

// --- ".cab" files ------------------------------------------------------------
// Layout: a header block of 166 bytes (the header padded on the left with
// blanks to 162 characters, then 4 blanks), CR LF, then per row 5 fields of 10
// characters padded on the left, CR LF; code page 1251. Writer and reader both
// take the header from the first 162 bytes, so files of either origin read.
std::string encodeNotebookFile(const Notebook& nb);
bool writeNotebookFile(const std::string& path, const Notebook& nb);
// Reads rows up to the end of the file (a last partial row included). A file
// shorter than its header block is refused with `reason` and `nb` unchanged; a
// file of more than 999 rows keeps the first 999 and says so in `notice`.
bool decodeNotebookFile(std::string_view bytes, Notebook& nb, std::string& notice, std::string& reason);
bool readNotebookFile(const std::string& path, Notebook& nb, std::string& notice, std::string& reason);

}  // namespace velor
