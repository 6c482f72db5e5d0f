// The engine of the file window: every file of the system is chosen through
// it. It lists a directory by a filter, shows a chosen examination header
// field of each record file beside its name, searches the headers, deletes
// files, keeps its last choices in "fmn.ini" and maintains the patient card
// index ("base0.ctg", "base1.ctg", "ctg.ctg") built from the headers of the
// record files of a directory. The Qt window (interchange/ui/file_window.h)
// is a thin layer over FileBrowser.
//
// Every file read here (record headers, the card index, "fmn.ini") may be
// damaged or hostile: what cannot be read shows as blank and never stops the
// window.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// --- filters -----------------------------------------------------------------------

// One item of a filter text "caption|mask|caption|mask...": the caption shown
// in the filter list and its masks (a mask may hold several, split at ';').
struct FilterItem {
  std::string caption;
  std::vector<std::string> masks;
};

// Splits a filter text into its items; a trailing "|" and empty pairs are
// ignored, a caption without a mask takes "*.*".
std::vector<FilterItem> parseFilter(std::string_view filter);
// The record kind is any filter that mentions "cad".
bool isRecordFilter(std::string_view filter);
// Wildcard match of a file name against one mask ('*' any run, '?' one
// character), ignoring the case of Latin letters as the masks are written
// in lower case while files come from everywhere.
bool maskMatches(std::string_view mask, std::string_view fileName);
// The extension a mask gives to a name typed without one (".cad" for
// "*.cad"); empty for masks that name no single extension ("*.*").
std::string maskExtension(std::string_view mask);

// The filter of each file kind and whether it is settings: fileKindFilter
// and fileKindIsSettings (core/file_kinds.h).

// --- directory listing ---------------------------------------------------------------

struct DirEntry {
  std::string fileName;  // name in the directory
  std::string shown;     // name as listed (without extension unless the mask is "*.*")
};
// Regular files of `dir` matching any of `masks`, sorted by name. An
// unreadable directory lists nothing.
std::vector<DirEntry> listFiles(const std::string& dir, const std::vector<std::string>& masks);

// "dd.mm.yyyy" of a day count since 30 December 1899 ("" for 0 or less, or
// a count no calendar holds).
std::string dayCountText(int days);
// Name and modification time of a file: "name  dd.mm.yyyy hh:mm" ("" when
// the file is gone).
std::string fileDateText(const std::string& dir, const std::string& fileName);

// --- drives ----------------------------------------------------------------------------

struct Drive {
  enum Kind { Root, Home, Fixed, Removable, Network };
  std::string label;
  std::string path;  // ends with '/'
  Kind kind = Fixed;
};
// The volumes of a mount table in the text form of /proc/self/mounts, without
// pseudo file systems and system mount points.
std::vector<Drive> parseMountTable(std::string_view mounts);
// The file system root, the user's home and the mounted volumes.
std::vector<Drive> listDrives();
// Index of the drive that holds `dir` (longest matching path), or −1.
int driveOf(const std::vector<Drive>& drives, const std::string& dir);

// --- "fmn.ini" -----------------------------------------------------------------------------

inline constexpr int kSearchItems = 20;
inline constexpr int kFileWindowSettingsLines = 25;

struct FileWindowSettings {
  std::array<std::string, kSearchItems> searchItems{};
  std::string searchText;
  int selectionField = 0;  // 0..7
  int cardMode = 0;        // 0 or 1
  int writeFilterItem = 0;  // filter item of the record kind in write mode
  int readFilterItem = 0;   // ... in read mode
};
// A missing or short file keeps the defaults for the lines it lacks; a
// number that does not read, or is out of range, keeps its default too.
FileWindowSettings readFileWindowSettings(const std::string& path);
bool writeFileWindowSettings(const std::string& path, const FileWindowSettings& f);

// --- examination header of a file --------------------------------------------------------

// Header of a record file as the window needs it; ok is false when the file
// is not a sound record file (it then shows blank).
struct FileHeaderInfo {
  bool ok = false;
  std::string signature;
  std::string examHeader;  // UTF-8, 162 characters
  int fileDate = 0;        // days since 30 December 1899
  int channelCount = 0;
};
FileHeaderInfo readFileHeaderInfo(const std::string& path);
// The trimmed first 162 characters of any file (the comment of files that
// are not record files); control characters read as blanks.
std::string leadingComment(const std::string& path);

// Captions of the "Выборка:" list for the header layout.
std::vector<std::string> selectionCaptions(bool groupLayout);
// The header column text for selection index `field` (1..7): the header
// field (in the standard layout "Диагн" is field 7), or for "Дата" the file
// date; "" when the file has no sound header.
std::string selectionValue(const FileHeaderInfo& h, bool groupLayout, int field);

// --- card index ---------------------------------------------------------------------------------

inline constexpr int kCardFileLimit = 850;       // record files in the standard layout
inline constexpr int kCardGroupFileLimit = 170;  // ... in the group layout
inline constexpr int kCardLineLimit = 999;       // the line and patient numbers have 3 columns

struct CardRecord {
  std::string test;
  std::string diagnosis;
  std::string fileName;  // without ".cad"
  int dateNumber = 0;    // days since 30 December 1899
  int patient = 0;       // 1-based patient number
};
struct CardPatient {
  std::string name;
  std::string group;
  std::string birth;
  std::string recordCountText;  // as stored (columns 83..85), trimmed
  int firstLine = 0;            // 1-based line of "base1.ctg"
};
struct CardIndex {
  std::vector<CardPatient> patients;
  std::vector<CardRecord> records;
  // Records of patient p (0-based), in their order in "base1.ctg".
  std::vector<int> recordsOf(int p) const;
};

struct CardStatus {
  bool present = false;  // "ctg.ctg" read
  bool stale = true;     // line 0 "1"
  int fileCount = -1;    // line 1
};
CardStatus readCardStatus(const std::string& dir);
bool writeCardStatus(const std::string& dir, bool stale, int fileCount);
bool cardIndexNeedsRebuild(const std::string& dir, int fileCount);

// Builds the card index of `dir` from the record files `fileNames` (names
// with ".cad") and saves "base0.ctg" and "base1.ctg". Over the file limit
// the message "Файлов в архиве > 850!" (group layout: "> 170!") is shown and
// the rest is left out; "CA15" files and files without a sound header are
// left out. Fewer than two record files make no card index (false).
bool buildCardIndex(const std::string& dir, const std::vector<std::string>& fileNames, bool groupLayout,
                    Interaction& ui, CardIndex& out);
// Reads "base0.ctg" and "base1.ctg" of `dir`; false when either is missing.
bool loadCardIndex(const std::string& dir, bool groupLayout, CardIndex& out);

// --- the window's state ---------------------------------------------------------------------------

struct BrowserRow {
  enum Kind { File, Patient, Record, Up };
  Kind kind = File;
  std::vector<std::string> cells;  // the columns shown
  std::string fileName;            // File: name in the directory; Record: name with ".cad"
  int index = -1;                  // Patient: patient index; Record: record index
};

inline constexpr int kCardOff = 0;
inline constexpr int kCardPatients = 1;
inline constexpr int kCardRecords = 3;

class FileBrowser {
 public:
  FileBrowser(StudyState& s, Interaction& ui);

  // Prepares a showing: mode 0 read, 1 write; the filter text of the caller;
  // the default name in write mode (its part before the first '.' goes into
  // the name field). dialogResult := 0.
  void ini(int mode, const std::string& filter, const std::string& defaultName);

  int mode() const { return mode_; }
  const char* caption() const;
  bool recordKind() const { return recordKind_; }
  // The current mask is "*.cad": the menu, the header column, the search and
  // the card index are available.
  bool cadMask() const;
  // The files of the current mask carry an examination header: record files
  // and the EDF family (".edf", ".udf", ".e32", ".bdf"). The header column
  // and the search work for them; the card index stays with record files.
  bool headerMask() const;

  const std::vector<FilterItem>& filterItems() const { return filterItems_; }
  int filterItem() const { return filterItem_; }
  void setFilterItem(int item);
  std::string mask() const;

  const std::string& directory() const { return dir_; }
  // Changes the listed directory; false (nothing changes) when it cannot be read.
  bool setDirectory(const std::string& dir);

  bool groupLayout() const { return s_.groupMode != 0; }
  int selectionField() const { return selectionField_; }
  void setSelectionField(int field);
  const std::string& searchPattern() const { return searchPattern_; }
  // The text of the search list becomes the pattern (trimmed); `item` ≥ 0
  // stores the text in that item of the list.
  void setSearch(const std::string& text, int item = -1);
  const std::array<std::string, kSearchItems>& searchItems() const { return settings_.searchItems; }

  int cardMode() const { return cardMode_; }
  // "Картотека": toggles between the plain list and the patient list.
  void toggleCardIndex();
  // "Обновить": rebuilds the card index of the directory.
  void rebuildCardIndex();
  // Row of the patient list to show again after ".." (scroll position).
  int patientRowToRestore() const { return patientRow_; }

  void refresh();
  const std::vector<BrowserRow>& rows() const { return rows_; }
  // Captions of the list columns.
  std::vector<std::string> columnCaptions() const;

  // A single click: in read mode the comment and the file panel show the
  // file; in write mode nothing changes.
  void clickRow(int row);
  // Double click, Enter, "R", F3: in read mode chooses the file (true: the
  // window closes); in write mode copies the name into the name field. On a
  // patient it opens the patient's records, on ".." it returns.
  bool activateRow(int row);
  // "OK" (read mode: the selected row), "Запись" or "W" (write mode: the
  // name field). True when the window closes.
  bool accept(int selectedRow);
  // "Удалить файл" / Delete with its question. True when a file was deleted.
  bool deleteRow(int row);
  // Esc / "CancelBtn". The window closes.
  void cancel();
  // Always called when the window closes: dataDir, "fmn.ini", the kept values.
  void close();

  // Fields the window shows and edits.
  std::string comment;
  bool commentEdited = false;
  std::string nameField;
  std::string filePanel;

  const CardIndex& cardIndex() const { return card_; }

 private:
  void listPlain();
  void listPatients();
  void listRecords(int patient);
  bool choosePath(const std::string& path);
  bool chooseNothing();
  void showHeaderOf(const std::string& fileName);
  void markCardStale();
  bool switchCardOn();
  int countRecordFiles() const;

  StudyState& s_;
  Interaction& ui_;
  int mode_ = 0;
  std::string filter_;
  bool recordKind_ = false;
  std::vector<FilterItem> filterItems_;
  int filterItem_ = 0;
  std::string dir_;
  int selectionField_ = 0;
  std::string searchPattern_;
  int cardMode_ = kCardOff;
  int currentPatient_ = -1;
  int patientRow_ = 0;
  bool deletedRecordFile_ = false;
  FileWindowSettings settings_;
  CardIndex card_;
  std::vector<BrowserRow> rows_;
  // Kept from one showing of the record kind to the next.
  bool remembered_ = false;
  int rememberedField_ = 0;
  std::string rememberedPattern_;
};

}  // namespace velor
