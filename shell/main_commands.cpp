#include "shell/main_commands.h"

#include <filesystem>
#include <system_error>

#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/record_file_texts.h"
#include "core/text.h"
#include "interchange/file_browser.h"
#include "shell/file_dispatch.h"
#include "shell/main_window_texts.h"
#include "shell/session.h"
#include "viewer/monitor.h"

namespace velor::shell {

using namespace velor::shell_text;

namespace {

// Runs the file window for a kind with the directory rules of settings kinds
// and the help topic of the dispatch; the previous topic comes back after.
bool runChooser(StudyState& s, FileKind kind, bool writeMode, FileChooser& chooser) {
  const int helpBefore = s.helpContext;
  s.helpContext = writeMode ? kSaveHelpContext : kOpenHelpContext;
  const bool settings = fileKindIsSettings(kind);
  const std::string dataDirBefore = s.dataDir;
  if (settings) s.dataDir = s.programDir;
  s.dialogResult = 0;
  const std::optional<std::filesystem::path> chosen =
      chooser.choose(s, kind, writeMode, writeMode ? s.recordFileName : std::string());
  if (settings) s.dataDir = dataDirBefore;
  s.helpContext = helpBefore;
  if (!chosen || chosen->empty()) return false;
  s.chosenFilePath = chosen->string();
  s.dialogResult = 1;
  return true;
}

// The record reader stays silent about a file that does not start like a
// record file at all (an empty file, another program's ".cad"), leaving it
// to its caller; in the workstation a person must still learn why nothing
// opened. Every other refusal has already been told by the reader.
void explainUnopenedRecordFile(const std::string& path, Interaction& ui) {
  std::error_code ec;
  if (extensionLower(path) != ".cad" || !std::filesystem::is_regular_file(path, ec)) return;
  RecordFileHeader header;
  std::string why;
  if (!readRecordFileHeader(path, header, why) && why.empty())
    ui.message(record_file_text::kFilePrefix + baseName(path) + record_file_text::kNotARecordFile);
}

bool openRecordKind(StudyState& s, const std::string& path, Interaction& ui) {
  // The open record's changes are settled first, as when stepping to another
  // record: another file (or the same one read again) replaces them.
  if (!confirmWriteBack(s, ui)) return false;
  if (openFile(s, FileKind::Records, path, ui)) return true;
  explainUnopenedRecordFile(path, ui);
  return false;
}

}  // namespace

bool openByKind(StudyState& s, FileKind kind, FileChooser& chooser, Interaction& ui) {
  if (!runChooser(s, kind, false, chooser)) return false;
  return openFile(s, kind, s.chosenFilePath, ui);
}

std::optional<std::string> chooseByKind(StudyState& s, FileKind kind, bool writeMode, FileChooser& chooser) {
  if (!runChooser(s, kind, writeMode, chooser)) return std::nullopt;
  return s.chosenFilePath;
}

bool saveByKind(StudyState& s, FileKind kind, FileChooser& chooser, Interaction& ui) {
  if (!runChooser(s, kind, true, chooser)) return false;
  return saveFile(s, kind, s.chosenFilePath, ui);
}

void showAllChannels(StudyState& s) {
  s.firstShownChannel = 0;
  s.currentChannelRow = 0;
  s.shownChannelCount = s.channelCount;
  pickReadableGain(s);
}

bool openRecordCommand(StudyState& s, FileChooser& chooser, Interaction& ui) {
  if (!runChooser(s, FileKind::Records, false, chooser)) return false;
  if (!openRecordKind(s, s.chosenFilePath, ui)) return false;
  showAllChannels(s);
  return true;
}

bool openRecordPath(StudyState& s, const std::string& path, Interaction& ui) {
  s.chosenFilePath = path;
  if (!openRecordKind(s, path, ui)) return false;
  showAllChannels(s);
  return true;
}

bool saveCommand(StudyState& s, bool sideWindowActive, FileChooser& chooser, Interaction& ui) {
  const FileKind kind = sideWindowActive && s.sideWindow != nullptr ? FileKind::SideWindow : FileKind::Records;
  return saveByKind(s, kind, chooser, ui);
}

bool saveSettingsCommand(StudyState& s, FileChooser& chooser, Interaction& ui) {
  const std::string header = s.examHeader;
  s.examHeader = utf8Fit(kSetComment, kHeaderChars);
  const bool chosen = runChooser(s, FileKind::ChannelSettings, true, chooser);
  s.examHeader = header;
  if (!chosen) return false;
  return saveFile(s, FileKind::ChannelSettings, s.chosenFilePath, ui);
}

bool backToSignals(StudyState& s) {
  if (s.viewMode != ViewMode::Transform) return false;
  s.leaveTransformView();
  return true;
}

bool sampleRateCommand(StudyState& s, Interaction& ui) {
  // a record in memory offers its own rate; "100" is the default without one
  const bool recordShown = s.recordLength > 0 && s.sampleRate > 0;
  const auto text = ui.input(kRateTitle, kRatePrompt, recordShown ? std::to_string(s.sampleRate) : kRateDefault);
  if (!text) return false;
  const auto v = parseNumber(*text);
  if (!v || *v < 1 || *v >= 65536) {
    ui.message("Частота дискретизации должна быть числом от 1 до 65535 Гц");
    return false;
  }
  s.sampleRate = static_cast<int>(*v);
  return true;
}

int nextTimeAxes(int displayFlags) { return (displayFlags + 16) & 0x33; }
int nextAmplitudeAxes(int displayFlags) { return (displayFlags + 1) & 0x33; }

void chooseDevice(StudyState& s, int kind, Interaction& ui) {
  if (kind < 0 || kind > 2) return;
  s.deviceKind = kind;
  if (kind == 1 || kind == 2) ui.message(kRestartNotice);
}

void setMonitorPlacement(StudyState& s, int placement) {
  if (placement >= 1 && placement <= 4) s.monitorPlacement = placement;
}

std::string placementCaption(const char* caption, bool chosen) {
  return chosen ? std::string(kPlacementMark) + caption : std::string(caption);
}

}  // namespace velor::shell
