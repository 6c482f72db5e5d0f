#include "shell/ui/edit_wiring.h"

#include <QStatusBar>

#include "shell/ui/main_window.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

namespace {
constexpr int kStatusMilliseconds = 5000;
constexpr int kRecordsForCallerKind = 8;  // a record file the caller writes
}  // namespace

RecordEditCommands* createEditCommands(MainWindow& window, StudyState& s, Interaction& ui, MonitorWidget* monitor,
                                       std::function<FileChooser&()> chooser) {
  auto* edit = new RecordEditCommands(s, ui, monitor, &window);
  QObject::connect(edit, &RecordEditCommands::changed, &window,
                   [&window](bool relayout) { window.refreshMonitor(relayout); });
  QObject::connect(edit, &RecordEditCommands::status, &window,
                   [&window](const QString& text) { window.statusBar()->showMessage(text, kStatusMilliseconds); });
  edit->setOutputPicker([&s, chooser]() -> std::optional<std::string> {
    s.dialogResult = 0;
    if (!chooser().choose(s, kRecordsForCallerKind, true, std::string()) || s.dialogResult <= 0) return std::nullopt;
    return s.chosenFilePath;
  });
  return edit;
}

bool runEditCommand(RecordEditCommands& edit, Cmd cmd) {
  switch (cmd) {
    case Cmd::NextRecord: edit.nextRecord(); return true;
    case Cmd::PrevRecord: edit.previousRecord(); return true;
    case Cmd::RecordByNumber: edit.recordByNumber(); return true;
    case Cmd::RestoreRecord: edit.restoreRecord(); return true;
    case Cmd::MergeRecords: edit.mergeRecords(); return true;
    case Cmd::NextEpoch: edit.nextEpoch(); return true;
    case Cmd::PrevEpoch: edit.previousEpoch(); return true;
    case Cmd::MarkInsert: edit.insertMark(); return true;
    case Cmd::MarkRemove: edit.removeMark(); return true;
    case Cmd::MarkRemoveAll: edit.removeAllMarks(); return true;
    case Cmd::MarkPrev: edit.previousMark(); return true;
    case Cmd::MarkNext: edit.nextMark(); return true;
    case Cmd::ChannelInsert: edit.insertChannel(); return true;
    case Cmd::ChannelDelete: edit.deleteChannel(); return true;
    case Cmd::ZeroAll: edit.zeroCorrection(true); return true;
    case Cmd::ZeroCurrent: edit.zeroCorrection(false); return true;
    case Cmd::Calibration: edit.calibration(); return true;
    case Cmd::Cut: edit.cut(); return true;
    case Cmd::Copy: edit.copy(); return true;
    case Cmd::Paste: edit.paste(); return true;
    default: return false;
  }
}

}  // namespace velor::shell
