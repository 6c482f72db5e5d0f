#include "results/notebook.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/text.h"
#include "results/notebook_texts.h"

namespace velor {

namespace T = notebook_texts;

namespace {

const std::string kNoText;
constexpr const char* kColumnNames[kNotebookColumns] = {"X", "Y", "dX", "dY", "S"};
constexpr std::size_t kHeaderBlock = 166;
constexpr std::size_t kRowBytes = kNotebookColumns * kNotebookFieldWidth;

bool inside(int column, int row) {
  return column >= 1 && column <= kNotebookColumns && row >= 1 && row <= kNotebookRows;
}

}  // namespace

Notebook::Notebook() = default;

void Notebook::setRowCount(int n) { rows_ = std::clamp(n, 0, kNotebookRows); }

const std::string& Notebook::cell(int column, int row) const {
  if (!inside(column, row)) return kNoText;
  return cells_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)];
}

void Notebook::setCell(int column, int row, std::string text) {
  if (inside(column, row)) cells_[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(column - 1)] = std::move(text);
}

double Notebook::value(int column, int row) const { return parseNumber(cell(column, row)).value_or(0); }

bool Notebook::cellValue(int column, int row, double& v) const {
  if (!inside(column, row)) return false;
  v = value(column, row);
  return true;
}

bool Notebook::appendRow(const std::array<std::string, kNotebookColumns>& texts) {
  if (rows_ >= kNotebookRows) return false;
  ++rows_;
  cells_[static_cast<std::size_t>(rows_ - 1)] = texts;
  return true;
}

void Notebook::clear() {
  for (int r = 0; r < rows_; ++r) cells_[static_cast<std::size_t>(r)] = {};
  rows_ = 0;
}

bool Notebook::insertRow(int r) {
  if (r < 1 || r > rows_) return false;
  const int last = std::min(rows_ + 1, kNotebookRows);  // the row that receives the old last one
  for (int k = last; k > r; --k) cells_[static_cast<std::size_t>(k - 1)] = cells_[static_cast<std::size_t>(k - 2)];
  cells_[static_cast<std::size_t>(r - 1)] = {};
  rows_ = last;
  return true;
}

bool Notebook::deleteRow(int r) {
  if (r < 1 || r >= rows_) return false;
  for (int k = r; k < rows_; ++k) cells_[static_cast<std::size_t>(k - 1)] = cells_[static_cast<std::size_t>(k)];
  cells_[static_cast<std::size_t>(rows_ - 1)] = {};
  --rows_;
  return true;
}

void Notebook::sortByColumn(int column) {
  if (rows_ < 2 || column < 1 || column > kNotebookColumns) return;
  std::vector<std::pair<double, std::array<std::string, kNotebookColumns>>> rows;
  rows.reserve(static_cast<std::size_t>(rows_));
  for (int r = 1; r <= rows_; ++r) rows.emplace_back(value(column, r), cells_[static_cast<std::size_t>(r - 1)]);
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (int r = 0; r < rows_; ++r) cells_[static_cast<std::size_t>(r)] = std::move(rows[static_cast<std::size_t>(r)].second);
}

NotebookGraph notebookGraph(const Notebook& nb, int column, int xChoice) {
  NotebookGraph g;
  column = std::clamp(column, 1, kNotebookColumns);
  xChoice = std::clamp(xChoice, 0, kNotebookColumns);
  for (int r = 1; r <= nb.rowCount(); ++r)
    g.points.emplace_back(xChoice == kNotebookColumns ? r : nb.value(xChoice + 1, r), nb.value(column, r));
  g.caption = std::string(T::kGraphCaption) + kColumnNames[column - 1] + "=f(";
  if (xChoice < kNotebookColumns) g.caption += std::string(kColumnNames[xChoice]) + ")";
  return g;
}

std::optional<NotebookStatistics> notebookStatistics(const Notebook& nb, int column, std::string& reason) {
  const int n = nb.rowCount();
  if (n == 0) {
    reason = T::kEmpty;
    return std::nullopt;
  }
  if (n == 1) {
    reason = T::kOneRow;
    return std::nullopt;
  }
  NotebookStatistics st;
  st.n = n;
  double s1 = 0, s2 = 0, s3 = 0, s4 = 0;
  double lo = nb.value(column, 1), hi = lo;
  for (int r = 1; r <= n; ++r) {
    const double v = nb.value(column, r);
    s1 += v;
    s2 += v * v;
    s3 += v * v * v;
    s4 += v * v * v * v;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  const double mean = s1 / n;
  const double d = s2 / n - mean * mean;
  st.mean = mean;
  st.range = hi - lo;
  st.deviation = std::sqrt(std::max(0.0, (s2 - n * mean * mean) / (n - 1)));
  st.shapeDefined = st.range > 0 && d > 0;
  if (st.shapeDefined) {
    st.skewness = (s3 - 3 * mean * s2 + 2 * n * mean * mean * mean) / n / std::pow(d, 1.5);
    st.kurtosis = (s4 - 4 * mean * s3 + 6 * mean * mean * s2 - 3 * n * mean * mean * mean * mean) / n / (d * d);
  } else {
    st.notice = T::kEqualValues;
  }
  if (n > 10 && st.range > 0 && std::isfinite(st.range)) {
    const int k = static_cast<int>(std::trunc(3.3 * std::log10(n) + 1.5));
    const double w = st.range / k;
    std::vector<int> counts(static_cast<std::size_t>(k), 0);
    for (int r = 1; r <= n; ++r) {
      // the largest value lands one past the last class: fold it into that class
      const int c = std::clamp(static_cast<int>(std::trunc((nb.value(column, r) - lo) / w + 0.1)), 0, k - 1);
      ++counts[static_cast<std::size_t>(c)];
    }
    for (int c = 0; c < k; ++c)
      st.histogram.emplace_back(lo + c * w + w / 2, counts[static_cast<std::size_t>(c)] * 100.0 / n);
  }
  const auto shape = [&](double v) { return st.shapeDefined ? formatNumber(v) : std::string("-"); };
  st.lines = {
      std::string(T::kSize) + formatNumber(n) + T::kMean + formatNumber(st.mean),
      std::string(T::kRange) + formatNumber(st.range) + T::kDeviation + formatNumber(st.deviation),
      std::string(T::kSkewness) + shape(st.skewness) + T::kKurtosis + shape(st.kurtosis),
  };
  return st;
}

FormulaValue evaluateNotebookFormula(const Notebook& nb, const CompiledFormula& f, int column, int row,
                                     FormulaContext context) {
  context.cells = &nb;
  context.i = column;
  context.j = row;
  return evaluateFormula(f, context);
}

FormulaFault computeNotebookColumn(Notebook& nb, const CompiledFormula& f, int column, FormulaContext context,
                                   int* faultRow) {
  if (column < 1 || column > kNotebookColumns) return FormulaFault::IndexOutside;
  std::vector<std::string> before;
  for (int r = 1; r <= nb.rowCount(); ++r) before.push_back(nb.cell(column, r));
  context.cells = &nb;
  context.i = column;
  for (int r = 1; r <= nb.rowCount(); ++r) {
    context.j = r;
    const FormulaValue v = evaluateFormula(f, context);
    if (!v.ok()) {
      for (int k = 1; k <= nb.rowCount(); ++k) nb.setCell(column, k, before[static_cast<std::size_t>(k - 1)]);
      if (faultRow) *faultRow = r;
      return v.fault;
    }
    nb.setCell(column, r, formatNumber(v.value));
  }
  return FormulaFault::None;
}

std::string notebookCopyText(const Notebook& nb, int columnFrom, int columnTo, int rowFrom, int rowTo) {
  columnFrom = std::clamp(columnFrom, 0, kNotebookColumns);
  columnTo = std::clamp(columnTo, 0, kNotebookColumns);
  rowFrom = std::clamp(rowFrom, 1, kNotebookRows);
  rowTo = std::clamp(rowTo, 1, kNotebookRows);
  if (columnFrom > columnTo) std::swap(columnFrom, columnTo);
  if (rowFrom > rowTo) std::swap(rowFrom, rowTo);
  std::string out;
  for (int r = rowFrom; r <= rowTo; ++r) {
    for (int c = columnFrom; c <= columnTo; ++c) {
      if (c > columnFrom) out += '\t';
      const std::string text = c == 0 ? std::to_string(r) : trimSpaces(nb.cell(c, r));
      out += text.empty() ? "?" : text;
    }
    out += "\r\n";
  }
  return out;
}

namespace {

// A cell as its 10-byte field (code page 1251): padded on the left, a longer
// text cut to its first 10 characters so that the fixed layout holds.
std::string field(const std::string& text) {
  std::string bytes = utf8ToCp1251(trimSpaces(text));
  if (bytes.size() > kNotebookFieldWidth) bytes.resize(kNotebookFieldWidth);
  return std::string(kNotebookFieldWidth - bytes.size(), ' ') + bytes;
}

}  // namespace

std::vector<std::string> notebookPrintLines(const Notebook& nb) {
  std::vector<std::string> lines;
  for (int r = 1; r <= nb.rowCount(); ++r) {
    std::string line;
    for (int c = 1; c <= kNotebookColumns; ++c) line += cp1251ToUtf8(field(nb.cell(c, r)));
    lines.push_back(line);
  }
  return lines;
}

std::string encodeNotebookFile(const Notebook& nb) {
  std::string header = utf8ToCp1251(nb.header);
  if (header.size() > kNotebookHeaderChars) header.resize(kNotebookHeaderChars);
  std::string out(kNotebookHeaderChars - header.size(), ' ');
  out += header;
  out += "    \r\n";
  for (int r = 1; r <= nb.rowCount(); ++r) {
    for (int c = 1; c <= kNotebookColumns; ++c) out += field(nb.cell(c, r));
    out += "\r\n";
  }
  return out;
}

bool writeNotebookFile(const std::string& path, const Notebook& nb) {
  return writeFileAtomically(path, encodeNotebookFile(nb));
}

bool decodeNotebookFile(std::string_view bytes, Notebook& nb, std::string& notice, std::string& reason) {
  notice.clear();
  if (bytes.size() < kHeaderBlock) {
    reason = T::kNotNotebook + std::string("shorter than its header block");
    return false;
  }
  Notebook read;
  read.header = trimSpaces(cp1251ToUtf8(bytes.substr(0, kNotebookHeaderChars)));
  std::size_t pos = kHeaderBlock + 2;  // the header block and its CR LF
  int rows = 0;
  while (pos < bytes.size()) {
    const std::string_view row = bytes.substr(pos, kRowBytes);
    std::array<std::string, kNotebookColumns> texts;
    bool any = false;
    for (std::size_t c = 0; c < kNotebookColumns && c * kNotebookFieldWidth < row.size(); ++c) {
      texts[c] = trimSpaces(cp1251ToUtf8(row.substr(c * kNotebookFieldWidth, kNotebookFieldWidth)));
      any = any || !texts[c].empty();
    }
    pos += kRowBytes + 2;
    if (row.size() < kRowBytes && !any) break;  // a blank tail, not a row
    if (rows == kNotebookRows) {
      notice = T::kFileCut;
      break;
    }
    ++rows;
    for (int c = 1; c <= kNotebookColumns; ++c) read.setCell(c, rows, texts[static_cast<std::size_t>(c - 1)]);
  }
  read.setRowCount(rows);
  nb = std::move(read);
  return true;
}

bool readNotebookFile(const std::string& path, Notebook& nb, std::string& notice, std::string& reason) {
  std::string bytes;
  if (!readWholeFile(path, bytes, 8u << 20)) {
    reason = "cannot read " + path;
    return false;
  }
  return decodeNotebookFile(bytes, nb, notice, reason);
}

}  // namespace velor
