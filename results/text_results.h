// The journal behind the text result window: analyses append their report
// lines to it, each run headed by the examination header of its record, and
// the person saves it, prints it, or turns it into a table with one row per
// run. No widgets here; the window is a view over one TextResults, and the
// study state's textWindow points at that TextResults while the window is open.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor {

// Captions, lines and texts of the text result window.
inline constexpr const char* kTextWindowCaption = "Окно выдачи результатов";
inline constexpr const char* kTextFontName = "Courier Cyr";
inline constexpr const char* kRunSeparator = "********************************************************************";
inline constexpr const char* kHeaderEndLine = "----------------------------------------------------------";
inline constexpr const char* kOverflowFile = "REZ.TXT";
inline constexpr const char* kOverflowCaption = "ВНИМАНИЕ!";
inline constexpr const char* kOverflowLine1 = "Переполнение окна диагноза!";
inline constexpr const char* kOverflowLine2 = "Накопленные результаты";
inline constexpr const char* kOverflowLine3 = "сохранены в файле REZ.TXT";
inline constexpr const char* kOverflowCloseCaption = "Закрыть";
inline constexpr const char* kDiagnosesExtension = ".cac";
inline constexpr const char* kInstitutionSeparator = " - ";
inline constexpr const char* kDatePrefix = "Дата: ";
inline constexpr const char* kTimePrefix = ",  время: ";
inline constexpr const char* kPatientPrefix = "Пациент: ";
inline constexpr const char* kBirthPrefix = ", г.р.: ";
inline constexpr const char* kGroupPrefix = "Группа: ";
inline constexpr const char* kTestPrefix = ", Проба: ";
inline constexpr const char* kDiagnosisPrefix = "Диагноз: ";
inline constexpr const char* kFilePrefix = "Файл: ";
inline constexpr const char* kFileDatePrefix = ", дата=";
inline constexpr const char* kFileRecordPrefix = ", запись=";
inline constexpr const char* kMenuRead = "Чтение";
inline constexpr const char* kMenuWrite = "Запись";
inline constexpr const char* kMenuPrint = "Печать";
inline constexpr const char* kMenuTable = "В таблицу";
inline constexpr const char* kMenuClear = "Очистить";
inline constexpr const char* kMenuCut = "Вырезать";
inline constexpr const char* kMenuCopy = "Копировать";
inline constexpr const char* kMenuPaste = "Вставить";
inline constexpr const char* kMenuExit = "Выход";

// Modes of an initialisation (textWindowMode).
enum TextWindowMode : int {
  kWithHeader = 0,     // separator (when the window existed), then the examination header
  kWithoutHeader = 1,  // a further part of the same run: separator only
  kDiagnoses = 2,      // the record's diagnoses file replaces the text
};

// Characters (bytes of UTF-8) the text holds before it counts as full.
inline constexpr std::size_t kTextCapacity = 4u << 20;

class TextResults {
 public:
  // `overflowDir` is where "REZ.TXT" goes (ends with '/').
  explicit TextResults(std::string overflowDir, std::size_t capacity = kTextCapacity);

  // What the window shows is told through these; each may be empty.
  struct Events {
    std::function<void(const std::string&)> appended;  // one line added at the end
    std::function<void()> reset;                        // the whole text was replaced
    std::function<void()> overflow;                     // show the overflow notice
    std::function<void(const std::string&)> failure;    // a message for the person
    // Called before any operation reads the lines, so that a view can hand
    // over the person's edits first (through setText).
    std::function<void()> pull;
  };
  void setEvents(Events e) { events_ = std::move(e); }

  // EditCr: the run separator unless this is the journal's first run, then initialise.
  void beginTextResults(const StudyState& s, int mode);
  // initialise: sets the mode; mode 2 loads the record's diagnoses file
  // (dataDir + file name up to its first '.' + ".cac") when it can be read,
  // mode 0 writes the header; then the text counts as not modified.
  void ini(const StudyState& s, int mode);
  // The examination header of the current record, as Hd writes it.
  void hd(const StudyState& s);

  // The analyses' one output operation. When the text is full, everything
  // is saved to "REZ.TXT", the text is cleared and the line starts the empty
  // text. If "REZ.TXT" cannot be written the text is kept (and grows past
  // the capacity) rather than lost.
  void addResultLine(std::string_view text);

  // "Чтение": appends the lines of a text file (code page 1251). False with a
  // message when it cannot be read.
  bool appendFile(const std::string& path, Interaction& ui);
  // "Запись": every line, code page 1251, each ended by CR LF, atomically.
  bool saveFile(const std::string& path) const;
  // "В таблицу": the journal becomes one line per run.
  void toTable();
  // "Очистить": empty and not modified.
  void clear();

  // The person's edits in the window replace the text.
  void setText(std::string_view text);
  std::string text() const;  // lines joined by '\n'
  const std::vector<std::string>& lines() const {
    pull();
    return lines_;
  }
  int mode() const { return mode_; }
  bool modified() const { return modified_; }
  void setModified(bool m) { modified_ = m; }
  std::string overflowPath() const { return overflowDir_ + kOverflowFile; }

 private:
  void replaceLines(std::vector<std::string> lines);
  void pull() const {
    if (events_.pull) events_.pull();
  }
  std::size_t size_ = 0;  // bytes of the text, line ends counted as one
  std::vector<std::string> lines_;
  std::string overflowDir_;
  std::size_t capacity_;
  int mode_ = kWithHeader;
  bool modified_ = false;
  bool started_ = false;  // a first run was begun
  Events events_;
};

// EditCr as an analysis without widgets sees it: the main window opens (or
// reuses) the text window and hands over its journal; tools and tests keep a
// journal of their own.
class TextWindowOpener {
 public:
  virtual ~TextWindowOpener() = default;
  virtual TextResults& beginTextResults(StudyState& s, int mode) = 0;
};

class OwnTextResults final : public TextWindowOpener {
 public:
  explicit OwnTextResults(std::string overflowDir) : journal_(std::move(overflowDir)) {}
  TextResults& beginTextResults(StudyState& s, int mode) override {
    journal_.beginTextResults(s, mode);
    return journal_;
  }
  TextResults& journal() { return journal_; }

 private:
  TextResults journal_;
};

// The journal of the open text window (the study state's textWindow), or nullptr.
TextResults* textResultsOf(const StudyState& s);
// File kind Text of the open/save dispatch: a text file appended to the open
// text window, and the window's text saved. Without an open window both
// refuse with a message.
bool openTextFile(StudyState& s, const std::string& path, Interaction& ui);
bool saveTextFile(StudyState& s, const std::string& path, Interaction& ui);
// Those two into the open and save dispatch.
void registerResultsFileKinds(FileKindTable& table);

// The lines Hd writes for the current record (without the separator).
std::vector<std::string> examHeaderLines(const StudyState& s);
// Date and time of a record as the header shows them ("31.12.2024", "9:05:00").
std::string headerDateText(double days);
std::string headerTimeText(double fraction);

// The conversion behind "В таблицу": one line per run, the patient's name,
// the first number of the file line and every number of the run's result lines.
std::vector<std::string> journalToTable(const std::vector<std::string>& lines);

// Lines of text read from a file in code page 1251 (CR LF, LF or CR ends;
// code 0 becomes a blank). Nothing when it cannot be read or exceeds `limit` bytes.
std::optional<std::vector<std::string>> readTextFileLines(const std::string& path, std::size_t limit);

}  // namespace velor
