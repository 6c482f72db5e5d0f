#include "viewer/ui/record_edit_commands.h"

#include <QClipboard>
#include <QGuiApplication>

#include "core/settings.h"
#include "core/ui/qt_interaction.h"
#include "viewer/record_reorganise.h"
#include "viewer/ui/edit_dialogs.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {

RecordEditCommands::RecordEditCommands(StudyState& s, Interaction& ui, MonitorWidget* monitor, QWidget* dialogParent)
    : QObject(dialogParent),
      s_(s),
      ui_(ui),
      monitor_(monitor),
      editor_(s, ui),
      windows_(std::make_unique<QtEditDialogs>(s, dialogParent)),
      ownProgress_(std::make_unique<QtProgress>(dialogParent)) {
  dialogs_ = windows_.get();
  progress_ = ownProgress_.get();
}

RecordEditCommands::~RecordEditCommands() = default;

void RecordEditCommands::setDialogs(EditDialogs* dialogs) { dialogs_ = dialogs ? dialogs : windows_.get(); }

void RecordEditCommands::setProgress(Progress* progress) { progress_ = progress ? progress : ownProgress_.get(); }

bool RecordEditCommands::mayNavigate() {
  const char* why = navigationRefusal(s_);
  if (!why) return true;
  Q_EMIT status(QString::fromUtf8(why));
  return false;
}

bool RecordEditCommands::mayEdit() {
  const char* why = editingRefusal(s_);
  if (!why) return true;
  Q_EMIT status(QString::fromUtf8(why));
  return false;
}

// --- intervals ------------------------------------------------------------------------------

void RecordEditCommands::deleteInterval() {
  if (!mayEdit()) return;
  RecordSnapshot before;
  before.capture(s_);
  const int records = s_.recordCount;
  const bool done = deleteCommand(s_, ui_, *dialogs_);
  // A deleted segment can be taken back; a record deleted from the file cannot.
  if (done && records == s_.recordCount && before.matches(s_)) editor_.undo().changed(std::move(before), s_);
  if (done) Q_EMIT changed(true);
}

void RecordEditCommands::reorganise() {
  if (!mayEdit()) return;
  if (reorganisationCommand(editor_, s_, ui_, *dialogs_, pickOutput_, *progress_) > 0) Q_EMIT changed(true);
}

// --- clipboard ---------------------------------------------------------------------------------

void RecordEditCommands::cut() {
  if (monitor_) monitor_->Cut();
}

void RecordEditCommands::copy() {
  if (monitor_) monitor_->copyPicture();
}

void RecordEditCommands::paste() {
  if (!monitor_) return;
  QString failure;
  if (!monitor_->Paste(&failure)) ui_.message(std::string(kInterruptPrefix) + failure.toStdString());
}

void RecordEditCommands::signalsToClipboard() {
  if (!mayNavigate()) return;
  QGuiApplication::clipboard()->setText(QString::fromStdString(signalsAsText(s_)));
}

bool RecordEditCommands::runMonitorCommand(MonitorCommand command) {
  switch (command) {
    case MonitorCommand::ScreenToClipboard: copy(); return true;
    case MonitorCommand::SignalsToClipboard: signalsToClipboard(); return true;
    case MonitorCommand::Delete: deleteInterval(); return true;
    default: return false;
  }
}

}  // namespace velor
