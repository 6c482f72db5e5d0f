// The editing commands that need the monitor, its windows or the system
// clipboard, as the monitor's popup menu and the tool panel run them: each
// checks that it may run now (a status text says why not), calls the editing
// engine and announces what the monitor must redraw. It owns the record
// editor, its editing windows and progress, which the record steps and edits
// run by the main window's command dispatcher use too.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/interaction.h"
#include "core/study_state.h"
#include "viewer/record_edit.h"

namespace velor {

class MonitorWidget;
class QtEditDialogs;
class QtProgress;
enum class MonitorCommand;

class RecordEditCommands final : public QObject {
  Q_OBJECT
 public:
  RecordEditCommands(StudyState& s, Interaction& ui, MonitorWidget* monitor, QWidget* dialogParent);
  ~RecordEditCommands() override;

  RecordEditor& editor() { return editor_; }
  // Replaces the editing windows or the progress (nullptr gives the real ones back).
  void setDialogs(EditDialogs* dialogs);
  void setProgress(Progress* progress);
  // The editing windows and progress in force.
  EditDialogs& dialogs() { return *dialogs_; }
  Progress& progress() { return *progress_; }
  // Where reorganised records go (a record file chosen to be written).
  void setOutputPicker(std::function<std::optional<std::string>()> pick) { pickOutput_ = std::move(pick); }

  // Del and the monitor's "Удалить"
  void deleteInterval();
  // The monitor picture ("Вырезать", "Копировать", "Вставить") and the values as text.
  void cut();
  void copy();
  void paste();
  void signalsToClipboard();
  // "Реорганизация записей"
  void reorganise();

  // The monitor popup's editing commands; false for one that is not editing.
  bool runMonitorCommand(MonitorCommand command);

 Q_SIGNALS:
  // The record or the view changed; relayout when lengths or channel counts may have.
  void changed(bool relayout);
  // Why a command did nothing.
  void status(const QString& text);

 private:
  bool mayNavigate();
  bool mayEdit();

  StudyState& s_;
  Interaction& ui_;
  MonitorWidget* monitor_;
  RecordEditor editor_;
  std::unique_ptr<QtEditDialogs> windows_;
  std::unique_ptr<QtProgress> ownProgress_;
  EditDialogs* dialogs_ = nullptr;
  Progress* progress_ = nullptr;
  std::function<std::optional<std::string>()> pickOutput_;
};

}  // namespace velor
