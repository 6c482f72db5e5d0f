// The plain-text column format for records and analysis tables: a head line
// of column names, a scale line of full-scale values and one line per sample
// (or frequency bin, band or epoch), tokens separated by one space, lines
// ended by CR LF, code page 1251. What is written depends on what the monitor
// shows (viewMode): signals, the transform view, the band table of the
// current epoch or the current band per epoch.
//
// The reader takes any such table, also one written by another program with
// commas or tabs between the values: every named column becomes a channel.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"
#include "interchange/foreign_formats.h"

namespace velor {

inline constexpr int kTextMaxColumns = 64;
inline constexpr std::size_t kTextRecordFileLimit = 256u << 20;  // larger text files are refused

// Lines of a text: CR LF, CR or LF end a line (the last line needs none).
std::vector<std::string_view> splitTextLines(std::string_view text);
// Tokens of one line: a space, comma or tab ends a token; blanks after a
// separator are skipped; a comma or tab right after another separator gives
// an empty token; leading blanks are skipped.
std::vector<std::string> splitTextTokens(std::string_view line);
// A line the reader skips: its first non-blank character is ';'.
bool isTextComment(std::string_view line);
// The mark of a token "LL-HH" (hexadecimal bytes, low first); a token
// without "-" gives its first two digits.
std::int16_t parseMarkToken(std::string_view token);

// Decodes a text record. False with a reason (Russian) when there is no
// named column or no data line.
bool decodeTextRecord(std::string_view bytes, ForeignRecord& out, std::string& reason);
// readTextRecord: every record-kind file that is not one of the binary formats.
bool readTextRecord(StudyState& s, const std::string& path, Interaction& ui);

// What the band-per-epoch table (epoch maps) takes from the map window: the
// measure text it shows and, with asymmetry on, its asymmetry step, which
// turns the result codes of all rows into map values 0..255 (127 = none).
struct TextTableExtras {
  std::string measureText;
  bool asymmetry = false;
  std::function<void(std::vector<int>& codes)> asymmetryStep;
};

// The table for the current viewMode (signals, transform view, band
// diagrams, epoch maps) as written to a file, code page 1251 with CR LF; empty
// for the examination displays.
std::string textRecordBody(const StudyState& s, const TextTableExtras& extras = {});
// Writes the table, asking "Файл существует: Да=перезаписать, Нет=дополнить"
// when the file exists (Yes replaces it, No appends, Cancel writes nothing).
// The file is replaced as a whole, so a failed write leaves the old one.
bool writeTextRecord(StudyState& s, const std::string& path, Interaction& ui, const TextTableExtras& extras = {});
// The record-kind text save: with more records after the current one of the
// open file, asks "Сохранить все записи, начиная с текущей"; Yes writes each
// of them under a line "Запись №" + number and returns to the record that was
// current; otherwise the current record through writeTextRecord.
bool saveRecordsAsText(StudyState& s, const std::string& path, Interaction& ui);

// Values of a spectral-parameter table into the result store: the first line
// and the first token of each line are names; the value of line i, column j
// goes to cell 4 × (i × channelCount + j) + bandMode as a code of channel j.
// Cells beyond the first 32768 and columns beyond 64 are not stored. False
// when the file cannot be read.
bool readSpectralParameters(StudyState& s, const std::string& path);
// Up to 200 numbers from `text` at `pos` into floatStore cells 0..199; stops
// at the end of the text. A token that is not a number stores 0. Returns how
// many were read and leaves `pos` after the last token read.
int readNumberList(StudyState& s, std::string_view text, std::size_t& pos);

}  // namespace velor
