// The notebook engine: 999 rows, ".cab" files both ways, a stable sort,
// statistics against hand-computed values, formulas over cells and columns,
// copy and print texts, row insert and delete.
#include <gtest/gtest.h>

#include <cmath>

#include "core/formula.h"
#include "core/numtext.h"
#include "results/notebook.h"
#include "results/notebook_texts.h"
#include "test_support.h"

namespace velor {
namespace {

namespace T = notebook_texts;

Notebook column1(const std::vector<std::string>& values) {
  Notebook nb;
  for (const std::string& v : values) EXPECT_TRUE(nb.appendRow({v, "", "", "", ""}));
  return nb;
}

TEST(Notebook, HoldsAll999RowsAndStopsThere) {
  Notebook nb;
  for (int r = 1; r <= 999; ++r) ASSERT_TRUE(nb.appendRow({std::to_string(r), "", "", "", ""})) << r;
  EXPECT_EQ(nb.rowCount(), 999);  // beyond the 255 a byte would hold
  EXPECT_FALSE(nb.appendRow({"x", "", "", "", ""}));
  EXPECT_EQ(nb.rowCount(), 999);
  EXPECT_EQ(nb.cell(1, 256), "256");
  EXPECT_EQ(nb.cell(1, 999), "999");
}

TEST(Notebook, FileRoundTripOf999Rows) {
  Notebook nb;
  nb.header = "Иванов И.И. 12.03.2026";
  for (int r = 1; r <= 999; ++r)
    nb.appendRow({std::to_string(r), formatNumber(r * 0.25), "-1.5E-7", "", "Ж" + std::to_string(r % 10)});
  const std::string bytes = encodeNotebookFile(nb);
  ASSERT_EQ(bytes.size(), 168u + 999u * 52u);
  EXPECT_EQ(bytes.substr(162, 6), "    \r\n");
  EXPECT_EQ(bytes.substr(168, 52), "         1      0.25   -1.5E-7                  \xC6" "1\r\n");
  test::TempDir dir;
  ASSERT_TRUE(writeNotebookFile(dir.file("n.cab"), nb));
  Notebook back;
  std::string notice, reason;
  ASSERT_TRUE(readNotebookFile(dir.file("n.cab"), back, notice, reason)) << reason;
  EXPECT_EQ(notice, "");
  EXPECT_EQ(back.header, nb.header);
  ASSERT_EQ(back.rowCount(), 999);
  for (int r = 1; r <= 999; ++r)
    for (int c = 1; c <= 5; ++c) ASSERT_EQ(back.cell(c, r), nb.cell(c, r)) << c << "," << r;
}

TEST(Notebook, HostileAndOddFiles) {
  Notebook nb = column1({"1", "2"});
  std::string notice, reason;
  // shorter than the header block: refused, the notebook unchanged
  EXPECT_FALSE(decodeNotebookFile(std::string(100, ' '), nb, notice, reason));
  EXPECT_EQ(nb.rowCount(), 2);
  // a partial last row is read up to the end of the file
  std::string bytes = std::string(162, ' ') + "    \r\n" + std::string(9, ' ') + "5" + std::string(40, ' ') + "\r\n" +
                      std::string(8, ' ') + "12" + "       3";
  ASSERT_TRUE(decodeNotebookFile(bytes, nb, notice, reason));
  ASSERT_EQ(nb.rowCount(), 2);
  EXPECT_EQ(nb.cell(1, 1), "5");
  EXPECT_EQ(nb.cell(1, 2), "12");
  EXPECT_EQ(nb.cell(2, 2), "3");
  // a header block with nothing after it: no rows
  ASSERT_TRUE(decodeNotebookFile(std::string(166, ' '), nb, notice, reason));
  EXPECT_EQ(nb.rowCount(), 0);
  // more than 999 rows: the first 999 and a notice
  std::string big = std::string(166, ' ') + "\r\n";
  for (int r = 1; r <= 1005; ++r) big += padLeft(std::to_string(r), 10) + std::string(40, ' ') + "\r\n";
  ASSERT_TRUE(decodeNotebookFile(big, nb, notice, reason));
  EXPECT_EQ(nb.rowCount(), 999);
  EXPECT_EQ(nb.cell(1, 999), "999");
  EXPECT_EQ(notice, T::kFileCut);
  // cells too long for their field are cut, keeping the layout
  Notebook longCell = column1({"12345678901234"});
  EXPECT_EQ(encodeNotebookFile(longCell).substr(168, 12), "1234567890  ");
}

TEST(Notebook, SortKeepsEqualValuesInTheirOrder) {
  Notebook nb;
  nb.appendRow({"1", "a", "", "", ""});
  nb.appendRow({"3", "b", "", "", ""});
  nb.appendRow({"1", "c", "", "", ""});
  nb.appendRow({"2,5", "d", "", "", ""});
  nb.appendRow({"1", "e", "", "", ""});
  nb.sortByColumn(1);
  std::string order;
  for (int r = 1; r <= 5; ++r) order += nb.cell(2, r);
  EXPECT_EQ(order, "acedb");
}

TEST(Notebook, StatisticsEqualHandComputedValues) {
  // 2, 4, 4, 4, 5, 5, 7, 9: mean 5, D = 4, sample deviation √(32/7),
  // third central moment sum 42 → skewness 42/8/8 = 0.65625,
  // fourth central moment sum 356 → kurtosis 356/8/16 = 2.78125
  Notebook nb = column1({"2", "4", "4", "4", "5", "5", "7", "9"});
  std::string reason;
  const auto st = notebookStatistics(nb, 1, reason);
  ASSERT_TRUE(st) << reason;
  EXPECT_DOUBLE_EQ(st->mean, 5);
  EXPECT_DOUBLE_EQ(st->range, 7);
  EXPECT_NEAR(st->deviation, std::sqrt(32.0 / 7), 1e-12);
  EXPECT_NEAR(st->skewness, 0.65625, 1e-12);
  EXPECT_NEAR(st->kurtosis, 2.78125, 1e-12);
  EXPECT_TRUE(st->histogram.empty());  // 8 rows: no histogram
  ASSERT_EQ(st->lines.size(), 3u);
  EXPECT_EQ(st->lines[0], "Размер=8   Среднее=5");
  EXPECT_EQ(st->lines[1], "Размах=7   Ст.отклонение=2.138");
  EXPECT_EQ(st->lines[2], "Асиметрия=0.6563   Эксцесс=2.781");
}

TEST(Notebook, HistogramOfElevenRowsAndMore) {
  // 0..10: k = trunc(3.3 × log10 11 + 1.5) = 4 classes of width 2.5
  std::vector<std::string> v;
  for (int k = 0; k <= 10; ++k) v.push_back(std::to_string(k));
  Notebook nb = column1(v);
  std::string reason;
  auto st = notebookStatistics(nb, 1, reason);
  ASSERT_TRUE(st);
  ASSERT_EQ(st->histogram.size(), 4u);
  // classes by trunc(v / 2.5 + 0.1): 0, 1, 2 → 0; 3, 4 → 1; 5, 6, 7 → 2;
  // 8, 9 → 3; 10 → 4, one past the last class, folded into 3
  EXPECT_DOUBLE_EQ(st->histogram[0].first, 1.25);
  EXPECT_NEAR(st->histogram[0].second, 300.0 / 11, 1e-12);
  EXPECT_NEAR(st->histogram[1].second, 200.0 / 11, 1e-12);
  EXPECT_NEAR(st->histogram[2].second, 300.0 / 11, 1e-12);
  EXPECT_NEAR(st->histogram[3].second, 300.0 / 11, 1e-12);
  double total = 0;
  for (const auto& p : st->histogram) total += p.second;
  EXPECT_NEAR(total, 100, 1e-9);
  nb.deleteRow(1);  // 10 rows are not enough
  st = notebookStatistics(nb, 1, reason);
  ASSERT_TRUE(st);
  EXPECT_TRUE(st->histogram.empty());
}

TEST(Notebook, DegenerateStatisticsGiveMessages) {
  std::string reason;
  Notebook empty;
  EXPECT_FALSE(notebookStatistics(empty, 1, reason));
  EXPECT_EQ(reason, T::kEmpty);
  Notebook one = column1({"3"});
  EXPECT_FALSE(notebookStatistics(one, 1, reason));
  EXPECT_EQ(reason, T::kOneRow);
  Notebook equal = column1(std::vector<std::string>(12, "4.5"));
  const auto st = notebookStatistics(equal, 1, reason);
  ASSERT_TRUE(st);
  EXPECT_EQ(st->notice, T::kEqualValues);
  EXPECT_TRUE(st->histogram.empty());
  EXPECT_EQ(st->lines[1], "Размах=0   Ст.отклонение=0");
  EXPECT_EQ(st->lines[2], "Асиметрия=-   Эксцесс=-");
}

TEST(Notebook, FormulasOverCellsAndColumns) {
  Notebook nb;
  nb.appendRow({"1", "10", "", "", ""});
  nb.appendRow({"2", "20", "", "", ""});
  nb.appendRow({"3", "0", "", "", ""});
  CompiledFormula f;
  std::string message;
  ASSERT_TRUE(compileFormula("b(1,j)*b(2,2)+i", FunctionNames::defaults(), f, message));
  EXPECT_EQ(evaluateNotebookFormula(nb, f, 4, 3, {}).value, 64);
  ASSERT_TRUE(compileFormula("bk(1)+bk(2)/4", FunctionNames::defaults(), f, message));
  EXPECT_EQ(computeNotebookColumn(nb, f, 3, {}), FormulaFault::None);
  EXPECT_EQ(nb.cell(3, 1), "3.5");
  EXPECT_EQ(nb.cell(3, 2), "7");
  EXPECT_EQ(nb.cell(3, 3), "3");
  // a fault on row 3 leaves the column as it was
  ASSERT_TRUE(compileFormula("bk(1)/bk(2)", FunctionNames::defaults(), f, message));
  int row = 0;
  EXPECT_EQ(computeNotebookColumn(nb, f, 3, {}, &row), FormulaFault::DivisionByZero);
  EXPECT_EQ(row, 3);
  EXPECT_EQ(nb.cell(3, 1), "3.5");
  ASSERT_TRUE(compileFormula("b(1,j+1)", FunctionNames::defaults(), f, message));
  EXPECT_EQ(evaluateNotebookFormula(nb, f, 1, 999, {}).fault, FormulaFault::IndexOutside);
}

TEST(Notebook, InsertDeleteClear) {
  Notebook nb = column1({"1", "2", "3"});
  EXPECT_TRUE(nb.insertRow(2));
  EXPECT_EQ(nb.rowCount(), 4);
  EXPECT_EQ(nb.cell(1, 2), "");
  EXPECT_EQ(nb.cell(1, 3), "2");
  EXPECT_FALSE(nb.insertRow(5));  // only at a row in use
  EXPECT_TRUE(nb.deleteRow(2));
  EXPECT_EQ(nb.rowCount(), 3);
  EXPECT_EQ(nb.cell(1, 2), "2");
  EXPECT_FALSE(nb.deleteRow(3));  // not the last row in use
  nb.clear();
  EXPECT_EQ(nb.rowCount(), 0);
  EXPECT_EQ(nb.cell(1, 1), "");
}

TEST(Notebook, CopyGraphAndPrintTexts) {
  Notebook nb;
  nb.appendRow({"1", "", "3", "4", "5"});
  nb.appendRow({"6", "7", "8", "9", "10"});
  EXPECT_EQ(notebookCopyText(nb, 0, 5, 1, 2), "1\t1\t?\t3\t4\t5\r\n2\t6\t7\t8\t9\t10\r\n");
  EXPECT_EQ(notebookCopyText(nb, 2, 1, 2, 2), "6\t7\r\n");
  const NotebookGraph g = notebookGraph(nb, 2, 0);
  EXPECT_EQ(g.caption, "График блокнота: Y=f(X)");
  ASSERT_EQ(g.points.size(), 2u);
  EXPECT_EQ(g.points[1], std::make_pair(6.0, 7.0));
  const NotebookGraph byRow = notebookGraph(nb, 5, 5);
  EXPECT_EQ(byRow.caption, "График блокнота: S=f(");
  EXPECT_EQ(byRow.points[1], std::make_pair(2.0, 10.0));
  const auto lines = notebookPrintLines(nb);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "         1                   3         4         5");
}

}  // namespace
}  // namespace velor
