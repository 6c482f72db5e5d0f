// Settings kept in small files in programDir: the main settings "Vlr.ini"
// (21 text lines), the channel settings "cai.ini" and any ".cai" file
// (binary), the examination header with its two layouts, and the history
// lists of the header dialog ("qhead.ini", "head-sp.ini"). All texts on disk
// are code page 1251 with CR LF line ends; in memory they are UTF-8.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

inline constexpr int kMainSettingsLines = 21;
inline constexpr const char* kMainSettingsFile = "Vlr.ini";
inline constexpr const char* kChannelSettingsFile = "cai.ini";
// Put in front of the failure text of a step that reads a settings file.
inline constexpr const char* kInterruptPrefix = "Прерывание: ";

// Values of "Vlr.ini" that belong to windows rather than to the study state.
struct WindowSettings {
  int left = 0, top = 0, width = 1024, height = 700;
  bool macroSwitch = false;
};

// Lines of a small text settings file (code page 1251 on disk; CR LF, LF or
// CR line ends; a final line end does not start another line), UTF-8 in
// memory. Nothing when the file cannot be read or is larger than 1 MiB.
std::optional<std::vector<std::string>> readTextLines(const std::string& path);
// Writes lines in code page 1251, each ended by CR LF, atomically. A line
// break inside a value would shift every later line, so CR and LF inside a
// line are written as blanks.
bool writeTextLines(const std::string& path, const std::vector<std::string>& lines);

// "Vlr.ini": applies the lines to the state and window values in the order of
// program start (11..14, 15, 16, 19, 20, then 1..10). Any failure (missing
// file, missing line, a number that does not parse or lies outside what its
// field can hold) stops applying and returns the failure text (the caller
// shows kInterruptPrefix + text); values applied before the failure stay.
// Institution and department are cut to 40 characters; an empty font name
// keeps the current one.
std::optional<std::string> readMainSettings(const std::string& path, StudyState& s, WindowSettings& w);
// Rewrites lines 1..20 of the existing file; line 0 is kept as read. The file
// is written only when it holds exactly 21 lines, so a damaged file is never
// rewritten shortened; a fresh installation with no file gets a complete one
// (line 0 empty). Returns false when nothing was written.
bool writeMainSettings(const std::string& path, const StudyState& s, const WindowSettings& w);

// "cai.ini" / ".cai": slot count from the size (above 810 bytes: 64, else 32).
// A file shorter than its layout is refused with a message (kInterruptPrefix +
// reason) and changes nothing. A missing file returns false without a message
// (a fresh installation has no "cai.ini" yet). A path is "cai.ini" when its
// base name is "cai.ini" in any letter case.
//
// Band rows 1..16 of the file are bandTable[0..15] (bandTable[0] is the grid's
// first data row); rows 16..29 are left as they are. Values the state cannot
// hold are limited: bandCount to the table's 30 rows (currentBand returns to 0
// when it is no longer below bandCount), leadPairCount to the file's slots,
// epochLength and epochStep to 32767. A dataDir that is not an accessible
// directory falls back to the current directory; dataDir ends with '/'.
bool readChannelSettings(const std::string& path, StudyState& s, Interaction& ui);
// "cai.ini" is rewritten after its two reserved bytes, which stay as they
// were (a missing "cai.ini" is created with zero reserved bytes so that
// settings survive from the first run); any other path is created with the
// reserved bytes of programDir's "cai.ini" (zeros when there is none). Always
// 64 slots, 1058 bytes, written atomically. A dataDir that does not fit the
// 53 characters a reader takes is stored blank, so it never reads back as a
// different (cut) directory.
bool writeChannelSettings(const std::string& path, const StudyState& s);

// --- examination header ----------------------------------------------------------

// Field layout: {first character (1-based), width} of field i (1-based) in the
// standard (groupLayout == false) or group layout; {0, 0} for a field the
// layout does not have.
struct HeaderFieldSpan {
  int first;
  int width;
};
inline constexpr int kHeaderFieldCount = 7;
int headerFieldCount(bool groupLayout);
HeaderFieldSpan headerFieldSpan(bool groupLayout, int field);

// Field i of the layout of groupMode (0 standard, otherwise group), trimmed
// (the standard patient name ends before a character of code 0). "" for a
// field the layout does not have.
std::string headerField(const StudyState& s, int field);
std::string headerField(const std::string& header, bool groupLayout, int field);
// Sets field i, cut or padded to its width; the header is first brought to
// exactly 162 characters, and control characters in the value become blanks
// (a code 0 would end the patient name early). An unknown field changes nothing.
void setHeaderField(std::string& header, bool groupLayout, int field, const std::string& value);
// The header cut or padded with blanks to exactly 162 characters.
std::string fitHeader(const std::string& header);

// History lists of the header dialog.
inline constexpr int kHistoryItems = 50;    // per list of "qhead.ini"
inline constexpr int kGroupTestItems = 20;  // group tests of "qhead.ini"
inline constexpr int kQheadLines = 4 * kHistoryItems + kGroupTestItems;
inline constexpr int kGroupPatientItems = 50;  // "head-sp.ini"

struct HeaderHistory {
  std::array<std::vector<std::string>, 4> lists;  // tests, groups, diagnoses, patient names (50 each)
  std::vector<std::string> groupTests;            // 20
  std::vector<std::string> groupPatients;         // up to 50
};
// Reads "qhead.ini" and "head-sp.ini" from dir. The lines a file holds are
// applied (a short "qhead.ini" fills what it has, the rest keeps what h held);
// returns false when a file is missing, unreadable or short (the dialog beeps).
bool readHeaderHistory(const std::string& dir, HeaderHistory& h);
// Writes both files: "qhead.ini" always 220 lines (lists padded with empty
// items), "head-sp.ini" at most 50 lines.
bool writeHeaderHistory(const std::string& dir, const HeaderHistory& h);
HeaderHistory defaultHeaderHistory();

}  // namespace velor
