// File kinds: what the file window offers for each (filters, whether the
// kind is settings), what a missing reader or writer is called, and the table
// of readers and writers the open and save dispatch (shell/file_dispatch.h)
// chooses from.
//
// Each subsystem fills the table with its own kinds through an explicit
// register function (registerCoreFileKinds, registerInterchangeFileKinds,
// ...); the shell calls them all. Kinds whose data live in a window (a graph
// window's picture, the map window's values) are registered by the window
// for as long as it exists (FileKindRegistration); such a registration
// answers before the table.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// The numbers are the ones stored in settings and shown by the file window.
enum class FileKind : int {
  Records = 0,             // ".cad", EDF family, foreign recordings, text
  ExamPlans = 1,           // ".cap"
  ChannelSettings = 2,     // ".cai"
  Maps = 3,                // ".cam"
  Notebook = 4,            // ".cab"
  Formulas = 5,            // ".caf"
  Picture = 6,             // ".bmp" of a graph window
  Text = 7,                // ".txt", ".cac" of the text window
  RecordsForCaller = 8,    // ".cad" a command writes itself
  Averages = 9,            // ".cav"
  SideWindow = 10,         // the side window's table or picture
  ChannelOrder = 11,       // ".chn"
  GraphText = 12,          // a graph as text
  NewChannelOrder = 13,    // ".nch"
  ExamHeader = 15,         // the examination header of a ".cad"
  Constructs = 16,         // ".cas"
  Sortings = 17,           // ".car"
  Protocols = 18,          // ".prt"
  Macros = 19,             // ".cmc"
  SpectralParameters = 20,  // ".txt" read into the result store
  FrequencyBands = 21,     // ".dia"
  PairGrid = 22,           // ".csg"
};

constexpr int fileKindNumber(FileKind kind) { return static_cast<int>(kind); }

// The filter the file window shows for a kind; empty for a kind that cannot
// be opened (or saved). The save filter of the record kind differs in the
// transform view.
std::string fileKindFilter(FileKind kind, bool save, bool transformView = false);
// Kinds whose files are settings: their window starts in programDir and
// dataDir returns to its previous value afterwards.
bool fileKindIsSettings(FileKind kind);
// What the "not available" message calls files of a kind with this extension
// (lower case, with the dot): "EDF", "графический файл", ... or "файлы этого
// вида".
std::string fileKindCaption(FileKind kind, std::string_view extension);

using FileKindHandler = std::function<bool(StudyState& s, const std::string& path, Interaction& ui)>;

// One reader (saving false) or writer of a kind. `extensions` (lower case,
// with the dot) are the files it takes; with none it takes every extension
// not in `except` that no entry names.
struct FileKindEntry {
  FileKind kind = FileKind::Records;
  bool saving = false;
  std::vector<std::string> extensions;
  std::vector<std::string> except;
  FileKindHandler handler;
};

class FileKindTable {
 public:
  void add(FileKindEntry entry);
  // The handler for a file of the kind with this extension, or nullptr.
  const FileKindHandler* find(FileKind kind, bool saving, std::string_view extension) const;

 private:
  std::vector<FileKindEntry> entries_;
};

// The readers and writers of core: ".cad" records, the examination header of
// a record file, channel settings.
void registerCoreFileKinds(FileKindTable& table);

// Registers a window's handler for opening (saving == false) or saving a
// kind; it is removed when the registration goes away. A later registration
// of the same kind takes precedence over an earlier one while both exist.
class FileKindRegistration {
 public:
  FileKindRegistration(FileKind kind, bool saving, FileKindHandler handler);
  ~FileKindRegistration();
  FileKindRegistration(const FileKindRegistration&) = delete;
  FileKindRegistration& operator=(const FileKindRegistration&) = delete;

 private:
  long id_;
};

// The window handler in force for a kind, or nullptr.
const FileKindHandler* findFileKindHandler(FileKind kind, bool saving);

}  // namespace velor
