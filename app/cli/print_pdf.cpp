// velor-cli print FILE [--record N] --pdf OUT.pdf: record N of FILE printed
// into a PDF page exactly as F2 on the monitor prints it, with the print
// settings saved in "qprs.ini" of the current directory (the dialog's
// defaults without it). The monitor is the workstation's own, drawn off the
// screen at the given size, after "Vlr.ini" and "cai.ini" of the current
// directory when they are there, as at program start.
#include "app/cli/print_pdf.h"

#include <memory>
#include <string>

#include "app/cli/commands.h"

#ifdef VELOR_CLI_PRINT
#include <QApplication>
#include <cstdio>

#include "core/binio.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "results/print_settings.h"
#include "results/ui/print_target.h"
#include "shell/file_dispatch.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"
#include "viewer/ui/record_print.h"
#endif

namespace velor::cli {

namespace {

struct PrintOptions {
  std::string file;
  std::string pdf;
  int record = 1;
  int width = 1000;  // the monitor window, scroll bars included
  int height = 600;
};

#ifdef VELOR_CLI_PRINT
int runPrint(const PrintOptions& o) {
  std::string reason;
  if (!checkInputFile(o.file, reason)) {
    reportFailure(reason);
    return kExitFile;
  }
  if (o.width < 100 || o.width > kSurfaceWidth || o.height < 100 || o.height > kSurfaceHeight) {
    reportFailure("the monitor size must lie within 100x100 .. " + std::to_string(kSurfaceWidth) + "x" +
                  std::to_string(kSurfaceHeight));
    return kExitUsage;
  }
  // No display is needed: the page is painted off the screen. Qt's own
  // notices (a missing runtime directory and the like) would break the rule
  // that stderr carries one line, and only on failure.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  int argc = 1;
  char name[] = "velor-cli";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);

  StudyState s;
  EngineInteraction ui;
  WindowSettings window;
  if (fileExists(s.programDir + kMainSettingsFile)) readMainSettings(s.programDir + kMainSettingsFile, s, window);
  MonitorWidget monitor(s);
  monitor.resize(o.width, o.height);
  monitor.initialise();
  if (fileExists(s.programDir + kChannelSettingsFile)) readChannelSettings(s.programDir + kChannelSettingsFile, s, ui);
  s.leadPairCount = 0;

  if (!openFile(s, FileKind::Records, o.file, ui)) {
    reportFailure(ui.reason(o.file + ": not a record file"));
    return kExitFile;
  }
  const int count = s.recordCount < 0 ? 1 : s.recordCount;
  if (o.record < 1 || o.record > count) {
    closeRecordFile(s);
    reportFailure(o.file + " has " + std::to_string(count) + " record(s); there is no record " +
                  std::to_string(o.record));
    return kExitUsage;
  }
  if (o.record != s.currentRecord && !gotoRecord(s, o.record, ui)) {
    closeRecordFile(s);
    reportFailure(ui.reason("record " + std::to_string(o.record) + " cannot be read"));
    return kExitFile;
  }
  s.firstShownChannel = 0;
  s.currentChannelRow = 0;
  s.shownChannelCount = s.channelCount;
  monitor.relayout();
  pickReadableGain(s);
  monitor.redraw();

  const PrintSettings settings = savedPrintSettings(s.programDir, s.monitorWidth, s.monitorHeight);
  PdfPrintTarget target(QString::fromStdString(o.pdf));
  const bool printed = printRecord(monitor, s, ui, [&] { return std::optional<PrintSettings>(settings); }, target);
  closeRecordFile(s);
  if (!printed) {
    // the file's own reason (a missing folder, a full disk) rather than the printing message
    reportFailure(target.error().empty() ? ui.reason("cannot write " + o.pdf) : "cannot write " + o.pdf + ": " + target.error());
    return kExitFile;
  }
  return kExitOk;
}

#endif  // VELOR_CLI_PRINT

}  // namespace

void addPrintCommand(CLI::App& app, int& status) {
  auto o = std::make_shared<PrintOptions>();
  CLI::App* cmd = app.add_subcommand("print", "Print a record into a PDF page as F2 on the monitor prints it");
  cmd->add_option("FILE", o->file, "Record file (.cad)")->required();
  cmd->add_option("--record", o->record, "Record number, from 1")->capture_default_str();
  cmd->add_option("--pdf", o->pdf, "The PDF file to write")->required();
  cmd->add_option("--width", o->width, "Width of the monitor window in pixels")->capture_default_str();
  cmd->add_option("--height", o->height, "Height of the monitor window in pixels")->capture_default_str();
#ifdef VELOR_CLI_PRINT
  cmd->callback([o, &status] { status = runPrint(*o); });
#else
  // the options write into *o as they are parsed: it lives as long as the callback
  cmd->callback([o, &status] {
    (void)o;
    status = runPictureProgram();
  });
#endif
}

}  // namespace velor::cli
