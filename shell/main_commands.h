// The work behind the main window's commands that needs no widgets: the
// open and save dispatch around the file window, record steps, the sample
// rate question, the axis buttons, the device and monitor placement choices.
// Each leaves the study state unchanged when it is cancelled or refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"

namespace velor::shell {

// The file window as the dispatch sees it. choose() shows it for a file kind
// in read or write mode and gives back the chosen path, or nothing when the
// person cancelled (or only deleted a record file). The dispatch below keeps
// the chosen path in `chosenFilePath` for the readers and writers.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual std::optional<std::filesystem::path> choose(StudyState& s, FileKind kind, bool writeMode,
                                                      const std::string& defaultName) = 0;
};

// Open and save by file kind: help topic, the file window (for settings kinds
// it starts in programDir and dataDir is given back afterwards), then the
// reader or writer of the kind. False when cancelled or when the reader/writer refused.
bool openByKind(StudyState& s, FileKind kind, FileChooser& chooser, Interaction& ui);
bool saveByKind(StudyState& s, FileKind kind, FileChooser& chooser, Interaction& ui);
// Only the file window of a kind, with the same rules, for windows that read
// and write their files themselves: the chosen path, or nothing when cancelled.
std::optional<std::string> chooseByKind(StudyState& s, FileKind kind, bool writeMode, FileChooser& chooser);

// "Читать...": opens a file of the record kind and shows all its channels
// from the first one.
bool openRecordCommand(StudyState& s, FileChooser& chooser, Interaction& ui);
// The same for a path given at start (no file window).
bool openRecordPath(StudyState& s, const std::string& path, Interaction& ui);
// "Сохранить": the side window's kind when it is open and active, else records.
bool saveCommand(StudyState& s, bool sideWindowActive, FileChooser& chooser, Interaction& ui);
// Settings "Сохранить": the header shows "Комментарий?" while the file
// window is open and is given back afterwards.
bool saveSettingsCommand(StudyState& s, FileChooser& chooser, Interaction& ui);

// View after a record was opened: all channels from the first, first row
// current, and a readable gain (pickReadableGain).
void showAllChannels(StudyState& s);

// "&0=Записи": back from the transform view to the signals.
bool backToSignals(StudyState& s);

// "&F=Частота": asks for the rate; a text that is not a whole number in
// 1..65535 is refused with a message and the rate stays.
bool sampleRateCommand(StudyState& s, Interaction& ui);

// "Оси времени" and "Оси амплитуды": the next state of `displayFlags`.
int nextTimeAxes(int displayFlags);
int nextAmplitudeAxes(int displayFlags);

// "Ampl" → "class", "K2", "K3": device kinds 0, 1, 2; the libraries of 1 and
// 2 are bound at start, so the user is told to restart.
void chooseDevice(StudyState& s, int kind, Interaction& ui);

// "Монитор" → placement 1..4; the chosen caption gets a leading "+".
void setMonitorPlacement(StudyState& s, int placement);
std::string placementCaption(const char* caption, bool chosen);

}  // namespace velor::shell
