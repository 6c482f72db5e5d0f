#include "results/ui/print_host.h"

#include <QCoreApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <memory>
#include <optional>

#include "results/ui/print_settings_dialog.h"

namespace velor {

namespace {

class PrintHost final : public QObject {
 public:
  explicit PrintHost(QObject* owner) : QObject(owner) { setObjectName("velorPrintHost"); }
  std::unique_ptr<QPrinter> printer;
  std::optional<PrintSettings> settings;
};

PrintHost& hostOf(QWidget* mainWindow) {
  // Printing without a main window (tools) keeps its state with the application.
  QObject* owner = mainWindow ? static_cast<QObject*>(mainWindow) : QCoreApplication::instance();
  auto* h = owner->findChild<PrintHost*>("velorPrintHost", Qt::FindDirectChildrenOnly);
  if (!h) h = new PrintHost(owner);
  return *h;
}

}  // namespace

QPrinter& printerOf(QWidget* mainWindow) {
  PrintHost& h = hostOf(mainWindow);
  if (!h.printer) h.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *h.printer;
}

bool printerSetup(QWidget* mainWindow) {
  QPrintDialog d(&printerOf(mainWindow), mainWindow);
  return d.exec() == QDialog::Accepted;
}

PrintSettings& printSettingsOf(QWidget* mainWindow, const StudyState& s) {
  PrintHost& h = hostOf(mainWindow);
  if (!h.settings) h.settings = savedPrintSettings(s.programDir, s.monitorWidth, s.monitorHeight);
  return *h.settings;
}

bool askPrintSettings(QWidget* mainWindow, StudyState& s, Interaction& ui) {
  return askPrintSettings(s, ui, printSettingsOf(mainWindow, s), &printerOf(mainWindow), mainWindow);
}

}  // namespace velor
