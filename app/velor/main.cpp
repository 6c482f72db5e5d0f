// velor: the workstation. `velor` starts it; `velor FILE` starts it and opens
// FILE (a record file) once the main window is shown.
#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

#include "core/study_state.h"
#include "core/ui/qt_interaction.h"
#include "shell/main_window_texts.h"
#include "shell/ui/splash.h"
#include "shell/ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // Qt has taken its own options out of the arguments; one file may remain.
  const QStringList args = QApplication::arguments();
  if (args.size() > 2 || (args.size() == 2 && args[1].startsWith(QLatin1Char('-')))) {
    std::fprintf(stderr, "usage: velor [FILE]\n");
    return 2;
  }

  auto* splash = new velor::shell::SplashScreen;  // releases itself when its timer closes it
  splash->show();
  QApplication::processEvents();

  QApplication::setApplicationName(QString::fromUtf8(velor::shell_text::kAppTitle));

  // The one study state lives as long as the main window.
  velor::StudyState state;
  velor::QtInteraction ui;
  velor::shell::MainWindow window(state, ui);
  ui.setParent(&window);
  if (args.size() == 2) window.openAtStart(QFileInfo(args[1]).absoluteFilePath().toStdString());
  window.show();
  return QApplication::exec();
}
