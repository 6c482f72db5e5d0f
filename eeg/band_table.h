// The frequency band table: up to 30 rows of name, low and high frequency
// (Hz, as text with a point or a comma), kept in the study state and edited
// in the window "Частотные диапазоны"; band tables are stored as ".dia" text
// files, three lines per band (name, low, high), code page 1251 with CR LF.
#pragma once

#include <array>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// The table the band window starts with: delta, theta, alpha, beta 1 and 2.
inline constexpr int kDefaultBandCount = 5;
std::array<BandRow, kDefaultBandCount> defaultBands();

// Number of rows before the first row whose trimmed name is empty; all 30
// when no row is empty (never more rows than the grid has).
int countBands(const std::array<BandRow, kBandRows>& table);
// bandCount from the table; currentBand returns to 0 when it is no longer
// below bandCount.
void updateBandCount(StudyState& s);
// Puts the default table in place when every row of the table is empty
// (a fresh installation); otherwise nothing changes. True when it did.
bool installDefaultBands(StudyState& s);

// Reads a ".dia" file into a cleared table: three lines per row, row after
// row while the line after a triple is not empty. A file of more than 30
// bands gives the first 30 and a message saying so. A file that cannot be
// read gives a message ("Прерывание: " + reason) and leaves the table as it
// was. bandCount is recomputed.
bool readBandFile(const std::string& path, StudyState& s, Interaction& ui);
// Writes the first bandCount rows (at most 30), atomically.
bool writeBandFile(const std::string& path, const StudyState& s);

}  // namespace velor
