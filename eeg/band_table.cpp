#include "eeg/band_table.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <vector>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "eeg/spectral_texts.h"

namespace velor {

namespace {

// A cell as the grid shows it: control characters (a damaged or foreign
// file) become blanks, surrounding blanks go.
std::string cleanCell(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return trimSpaces(text);
}

}  // namespace

std::array<BandRow, kDefaultBandCount> defaultBands() {
  static constexpr const char* kEdges[kDefaultBandCount][2] = {
      {"0.5", "4"}, {"4", "8"}, {"8", "13"}, {"13", "20"}, {"20", "30"}};
  std::array<BandRow, kDefaultBandCount> rows{};
  std::istringstream names(spectral_text::kDefaultBandNames);
  for (int i = 0; i < kDefaultBandCount; ++i) {
    names >> rows[static_cast<std::size_t>(i)].name;
    rows[static_cast<std::size_t>(i)].low = kEdges[i][0];
    rows[static_cast<std::size_t>(i)].high = kEdges[i][1];
  }
  return rows;
}

int countBands(const std::array<BandRow, kBandRows>& table) {
  for (int r = 0; r < kBandRows; ++r)
    if (trimSpaces(table[static_cast<std::size_t>(r)].name).empty()) return r;
  return kBandRows;
}

void updateBandCount(StudyState& s) {
  s.bandCount = countBands(s.bandTable);
  if (s.currentBand < 0 || s.currentBand >= std::max(1, s.bandCount)) s.currentBand = 0;
}

bool installDefaultBands(StudyState& s) {
  for (const BandRow& row : s.bandTable)
    if (!trimSpaces(row.name).empty() || !trimSpaces(row.low).empty() || !trimSpaces(row.high).empty()) return false;
  const auto rows = defaultBands();
  std::copy(rows.begin(), rows.end(), s.bandTable.begin());
  updateBandCount(s);
  return true;
}

bool readBandFile(const std::string& path, StudyState& s, Interaction& ui) {
  const std::optional<std::vector<std::string>> lines = readTextLines(path);
  if (!lines) {
    ui.message(std::string(kInterruptPrefix) + "файл " + baseName(path) + " не читается");
    return false;
  }
  std::array<BandRow, kBandRows> table{};
  const auto line = [&](std::size_t i) { return i < lines->size() ? cleanCell((*lines)[i]) : std::string(); };
  std::size_t i = 0;
  bool cut = false;
  for (int r = 0;; ++r) {
    if (r == kBandRows) {
      cut = true;
      break;
    }
    table[static_cast<std::size_t>(r)] = {line(i), line(i + 1), line(i + 2)};
    i += 3;
    if (line(i).empty()) break;
  }
  s.bandTable = table;
  updateBandCount(s);
  if (cut)
    ui.message("В файле " + baseName(path) + " больше " + std::to_string(kBandRows) +
               " диапазонов; прочитаны первые " + std::to_string(kBandRows) + ".");
  return true;
}

bool writeBandFile(const std::string& path, const StudyState& s) {
  std::vector<std::string> lines;
  const int rows = std::clamp(s.bandCount, 0, kBandRows);
  for (int r = 0; r < rows; ++r) {
    const BandRow& b = s.bandTable[static_cast<std::size_t>(r)];
    lines.push_back(b.name);
    lines.push_back(b.low);
    lines.push_back(b.high);
  }
  return writeTextLines(path, lines);
}

}  // namespace velor
