// Where a printed page goes. A person chooses a printer, or a PDF file, in
// Qt's print dialog; velor-cli and the tests name a PDF file instead. Every
// picture print (record, graph) opens one page, paints it and finishes.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "results/print_settings.h"

class QBuffer;
class QPaintDevice;
class QPrinter;
class QPdfWriter;
class QWidget;

namespace velor {

class PrintTarget {
 public:
  virtual ~PrintTarget() = default;
  // Opens the page in the orientation; nullptr when the person cancelled or
  // the output cannot be opened. The painting origin is the top-left corner
  // of the printable area; width() and height() of the device are its size.
  virtual QPaintDevice* begin(bool portrait) = 0;
  // Ends the page; false when the output could not be completed.
  virtual bool finish() = 0;
};

// Qt's print dialog over a printer that lives longer than one print (the
// main window's, so a choice made once stays).
class DialogPrintTarget final : public PrintTarget {
 public:
  DialogPrintTarget(QPrinter& printer, QWidget* parent);
  ~DialogPrintTarget() override;
  QPaintDevice* begin(bool portrait) override;
  bool finish() override;

 private:
  QPrinter& printer_;
  QWidget* parent_;
  bool open_ = false;
};

// A PDF file on an A4 sheet at 300 dots per inch with 5 mm margins, so the
// printable area is the 20 × 28.7 cm the print settings count with. The
// page is built in memory and written through a fresh temporary name that
// is renamed into place when finished, every write checked.
class PdfPrintTarget final : public PrintTarget {
 public:
  explicit PdfPrintTarget(QString path);
  ~PdfPrintTarget() override;
  QPaintDevice* begin(bool portrait) override;
  bool finish() override;
  const QString& path() const { return path_; }
  // Why the last finish() failed ("No space left on device", ...); empty otherwise.
  const std::string& error() const { return error_; }

 private:
  QString path_;
  std::string error_;
  std::unique_ptr<QBuffer> page_;
  std::unique_ptr<QPdfWriter> writer_;
};

// What the printing windows ask before they print: the print settings
// dialog (nothing when cancelled) and the target. The main window installs
// the real dialogs; tests install fixed answers.
struct PrintHooks {
  std::function<std::optional<PrintSettings>()> askSettings;
  std::function<std::unique_ptr<PrintTarget>()> makeTarget;
};

}  // namespace velor
