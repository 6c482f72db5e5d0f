// The commands that move through and change the record in memory: record and
// epoch steps (the transform view follows each step), marks in the signal
// channels, inserting and deleting channels, interval edits, zero correction,
// calibration, the values as clipboard text and merging all records of the
// file into one. Record reorganisation is in viewer/record_reorganise.h.
//
// Every edit either completes or leaves the record as it was, and none reads
// or writes a sample outside 0..recordLength − 1. A change sets
// recordModified, so that leaving the record asks whether to write it back
// (core/record_file.h confirmWriteBack).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/interaction.h"
#include "core/record_snapshot.h"
#include "core/study_state.h"

namespace velor {

// --- when the commands run -------------------------------------------------------

// Record and epoch steps and the clipboard: not while an examination records.
bool navigationAllowed(const StudyState& s);
// Edits: also only while the monitor shows signals.
bool editingAllowed(const StudyState& s);
// The status-line reason why a record step (navigationRefusal) or an edit
// (editingRefusal) may not run now, or nullptr when it may.
const char* navigationRefusal(const StudyState& s);
const char* editingRefusal(const StudyState& s);

// Marks the record in memory as changed. A record that lost a channel keeps
// its negative mark: it cannot be written back in place, and leaving it gives
// the file's channel count back without a question.
void markRecordModified(StudyState& s);

// --- the interval ----------------------------------------------------------------

// The selection: s = min(cursor, anchor), w = |cursor − anchor|, both ends
// shifted by the current row's segment in the folded view. `selected` is
// false when no anchor is set.
struct EditInterval {
  long start = 0;
  long width = 0;
  bool selected = false;
};
EditInterval selectedInterval(const StudyState& s);
// The cursor's sample in the current channel (segment offset in the folded view).
long cursorSample(const StudyState& s);

// --- marks ("Метки") -------------------------------------------------------------

// "Вставить": the cursor's sample of the current channel becomes the mark code.
bool insertMark(StudyState& s);
// "Убрать": a mark at the cursor takes its neighbour's value (the sample after
// it, before it at the end of the record; the other neighbour when that one is
// a mark too; the zero level when the record has no other sample).
bool removeMark(StudyState& s);
// "Убрать все": every mark of the current channel is replaced from its
// neighbours that are not marks: the mean of the two, the one there is at
// either end. Returns the number replaced.
int removeAllMarks(StudyState& s);
// "Предыдущая" / "Следующая": the nearest mark before / after the cursor
// becomes the cursor and the first shown sample; false when there is none.
bool previousMark(StudyState& s);
bool nextMark(StudyState& s);
// An annotation chosen in the file's list: its page becomes the record in
// memory (a changed page is settled first, as for any step) and the cursor
// and the view start go to its sample. False when it cannot be reached.
bool goToAnnotation(StudyState& s, int page, int sample, Interaction& ui);

// --- interval edits ("Удаление") ------------------------------------------------

enum DeleteChoice : int {
  kDeleteCancel = 0,
  kDeleteInside = 1,
  kDeleteOutside = 2,
  kDeleteZero = 3,
  kDeleteStraighten = 4,
  kDeleteMean = 5,
};
// Applies a choice of the delete window to the selection (all channels and
// the mark channel, or the current channel only). Without a selection, or
// with the anchor on the cursor, the interval is the whole record. False,
// with nothing changed, for an unknown choice or an empty record.
bool editInterval(StudyState& s, int choice, bool allChannels);
// "Удалить запись?" answered Yes: recordLength := 0 (a deleted record once written back).
bool deleteWholeRecord(StudyState& s);

// --- zero correction and calibration ----------------------------------------------

// "Коррекция нуля": every sample of the affected channels moves by
// zeroLevel − (mean of the first at most 256 samples of the selection). Marks
// stay marks. Without a selection of width > 0: "Не выделен участок коррекции
// нуля!" and nothing changes.
bool zeroCorrection(StudyState& s, bool allChannels, Interaction& ui);

inline constexpr int kZeroKindNone = 0;
inline constexpr int kZeroKindMaxMin = 1;
inline constexpr int kZeroKindMean = 2;

// What the calibration window holds ("qprt2.ini").
struct CalibrationSettings {
  std::string amplitude = "1";  // physical amplitude of the calibration step
  int zeroKind = kZeroKindNone;
  bool allChannels = false;
};
// "Калибровка" confirmed: calibValue := trunc(A / f × calibUnits) with f the
// codes of the calibration step at the cursor, then the chosen zero
// correction over the reference interval. Refused with a message, nothing
// changed, when the amplitude is not a positive number, a channel has no step
// at the cursor, or a value does not fit its field.
bool calibrate(StudyState& s, const CalibrationSettings& c, Interaction& ui);

// --- clipboard text -----------------------------------------------------------------

// "Сигналы в буфер обмена": one line per sample from s to s + w (with a
// selection) or of the whole record, each holding for every channel a blank
// and its physical value with 4 significant digits.
std::string signalsAsText(const StudyState& s);

// --- dialog settings files ----------------------------------------------------------

struct DeleteSettings {
  bool allChannels = true;
};
struct ReorganisationSettings {
  std::string epochStart = "0";
  std::string epochEnd = "1";
  std::string condition;
  std::string referencePoint = "S1";
};
// Each reads its file in `programDir` into `out`; false (and `out` keeps its
// defaults for the lines it did not get) when the file is missing, short or
// holds a value the window cannot show. Writes are atomic.
bool readDeleteSettings(const std::string& programDir, DeleteSettings& out);
bool writeDeleteSettings(const std::string& programDir, const DeleteSettings& in);
bool readCalibrationSettings(const std::string& programDir, CalibrationSettings& out);
bool writeCalibrationSettings(const std::string& programDir, const CalibrationSettings& in);
bool readReorganisationSettings(const std::string& programDir, ReorganisationSettings& out);
bool writeReorganisationSettings(const std::string& programDir, const ReorganisationSettings& in);

// --- the dialogs as the commands see them -----------------------------------------

// The GUI answers with windows, tests and tools with scripts. Each gets the
// values read from its settings file and leaves the chosen ones in place.
class EditDialogs {
 public:
  virtual ~EditDialogs() = default;
  // "Удаление": a DeleteChoice (0 cancelled).
  virtual int deleteDialog(DeleteSettings& settings) = 0;
  // "Калибровка": 0 cancelled, 1 current channel, 2 all channels.
  virtual int calibrationDialog(CalibrationSettings& settings) = 0;
  // "Реорганизация записей": true for "Выполнить".
  virtual bool reorganisationDialog(ReorganisationSettings& settings) = 0;
  // A settings file was missing or short; the window keeps its defaults.
  virtual void settingsNotRead() {}
};

// Del: without a selection "Удалить запись?", with one the delete window
// ("qdel.ini" read before and written after), then the edit.
bool deleteCommand(StudyState& s, Interaction& ui, EditDialogs& dialogs);
// "Калибровка": the window ("qprt2.ini" read before and written after), then calibrate.
bool calibrationCommand(StudyState& s, Interaction& ui, EditDialogs& dialogs);

// --- record navigation, channels and merging ----------------------------------------

// Computes the transform result of `kind` for the current epoch into
// parkedChannelData and returns the values per channel (≤ 0 when it cannot).
// Record and epoch steps use it to show the same kind again after moving.
using TransformComputer = std::function<int(StudyState&, TransformKind kind)>;

// The stateful part of editing: steps that leave and re-enter the transform
// view, channel insertion and deletion (whose channel-table changes are
// undone when the record is left, so that the table matches the file's
// records again), and the merged record, which is not one record of the file.
class RecordEditor {
 public:
  RecordEditor(StudyState& s, Interaction& ui);

  void setTransformComputer(TransformComputer compute) { compute_ = std::move(compute); }

  // "&]=Следующая", "&[=Предыдущая", "&R=Заданного номера", "&I=Восстановить".
  // Each asks about a changed record first (record file rules); true when
  // another record, or the same one again, was read.
  bool nextRecord();
  bool previousRecord();
  bool recordByNumber();
  // "Восстановить" gives back the record as it was before its unsaved
  // changes from the copy in memory when the changes all came through
  // undo(), so it works for EDF pages and records never saved; otherwise it
  // reads the record again from its file.
  bool restoreRecord();
  // The record's own undo: every command that rewrites the record hands it
  // the copy it took first.
  RecordUndo& undo() { return undo_; }
  // "След.эпоха", "Пред.эпоха": true when the view changed.
  bool nextEpoch();
  bool previousEpoch();

  // "Канал" → "Вставить": the current channel is doubled, the channels above
  // it move up with their table entries. At 64 channels a message.
  bool insertChannel();
  // "Канал" → "Удалить": the current channel goes, those above move down.
  // Unsaved changes of the record are offered for writing first, since the
  // record cannot be written back in place without the channel.
  bool deleteChannel();

  // "&U=Слить": all records of the open file one after another, as far as
  // 32767 samples per channel hold them; records deleted (length 0) add
  // nothing. The samples are staged first, so a failure or cancel changes
  // nothing.
  // Pages of an EDF-family file are merged the same way, read one after
  // another through the file's own reader.
  bool mergeRecords(Progress& progress);
  // A merged record is shown; "Восстановить" then opens the file again (an
  // EDF-family file: its first page).
  bool mergedRecordShown() const;

  // Before work that replaces the record in memory from the file: the
  // question about a changed record, and the channel table back in the
  // file's layout. False when the record must stay (write-back refused).
  bool leaveRecord();

 private:
  struct ChannelEntry {
    std::string name;
    std::uint16_t zeroLevel = 0, calibUnits = 0, calibValue = 0;
    std::uint8_t posX = 0, posY = 0;
  };
  ChannelEntry entry(int channel) const;
  void setEntry(int channel, const ChannelEntry& e);
  bool layoutChangedHere() const;
  void armLayoutUndo();
  void undoLayout();
  template <typename Move>
  bool navigate(bool rereadsSameRecord, Move&& move);
  bool stepEpoch(int direction);
  void reenterTransform(bool wasOn, TransformKind kind, int zoom);

  StudyState& s_;
  Interaction& ui_;
  TransformComputer compute_;

  // Channel layout changes of the record in memory: the table as the file
  // has it, and where each channel now shown came from (−1: an inserted copy).
  bool layoutArmed_ = false;
  int layoutFd_ = -1;
  std::string layoutPath_;
  int layoutRecord_ = 0;
  int layoutCount_ = 0;      // channelCount after the last change
  int layoutFileCount_ = 0;  // channelCount before the first change
  std::vector<ChannelEntry> layoutSaved_;
  std::vector<int> layoutOrigin_;

  bool mergePages(Progress& progress);

  int mergedFd_ = -1;
  std::string mergedPath_;
  int mergedPages_ = 0;  // pages of a merged EDF-family file, 0 for a record file
  int mergedLength_ = 0;
  RecordUndo undo_;
};

}  // namespace velor
