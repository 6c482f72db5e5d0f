#include "shell/ui/edit_wiring.h"

#include <QStatusBar>

#include "shell/ui/main_window.h"
#include "viewer/ui/record_edit_commands.h"

namespace velor::shell {

namespace {
constexpr int kStatusMilliseconds = 5000;
}  // namespace

RecordEditCommands* createEditCommands(MainWindow& window, StudyState& s, Interaction& ui, MonitorWidget* monitor,
                                       std::function<FileChooser&()> chooser) {
  auto* edit = new RecordEditCommands(s, ui, monitor, &window);
  QObject::connect(edit, &RecordEditCommands::changed, &window,
                   [&window](bool relayout) { window.refreshMonitor(relayout); });
  QObject::connect(edit, &RecordEditCommands::status, &window,
                   [&window](const QString& text) { window.statusBar()->showMessage(text, kStatusMilliseconds); });
  edit->setOutputPicker([&s, chooser]() -> std::optional<std::string> {
    if (auto path = chooser().choose(s, FileKind::RecordsForCaller, true, std::string())) return path->string();
    return std::nullopt;
  });
  return edit;
}

}  // namespace velor::shell
