#include "results/ui/print_target.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <filesystem>
#include <system_error>

namespace velor {

namespace {

constexpr int kPdfResolution = 300;
constexpr double kPdfMarginMm = 5.0;

}  // namespace

DialogPrintTarget::DialogPrintTarget(QPrinter& printer, QWidget* parent) : printer_(printer), parent_(parent) {}

DialogPrintTarget::~DialogPrintTarget() = default;

QPaintDevice* DialogPrintTarget::begin(bool portrait) {
  printer_.setPageOrientation(portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  QPrintDialog dialog(&printer_, parent_);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  // The orientation follows the sheet the print settings chose, whatever the
  // dialog left.
  printer_.setPageOrientation(portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  open_ = true;
  return &printer_;
}

bool DialogPrintTarget::finish() {
  const bool ok = open_ && printer_.printerState() != QPrinter::Error;
  open_ = false;
  return ok;
}

PdfPrintTarget::PdfPrintTarget(QString path) : path_(std::move(path)) {}

PdfPrintTarget::~PdfPrintTarget() {
  writer_.reset();
  if (!partial_.isEmpty()) QFile::remove(partial_);
}

QPaintDevice* PdfPrintTarget::begin(bool portrait) {
  // A half-written PDF never takes the name: the page goes to a file beside it.
  const QFileInfo info(path_);
  partial_ = info.absoluteDir().filePath(QStringLiteral(".") + info.fileName() + QStringLiteral(".part"));
  QFile::remove(partial_);
  writer_ = std::make_unique<QPdfWriter>(partial_);
  writer_->setResolution(kPdfResolution);
  writer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     portrait ? QPageLayout::Portrait : QPageLayout::Landscape,
                                     QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                                     QPageLayout::Millimeter));
  writer_->setCreator(QStringLiteral("Velor"));
  return writer_.get();
}

bool PdfPrintTarget::finish() {
  if (!writer_) return false;
  writer_.reset();  // the file is complete once the writer is gone
  const QFileInfo written(partial_);
  if (!written.exists() || written.size() == 0) {
    QFile::remove(partial_);
    partial_.clear();
    return false;
  }
  // rename(2) replaces an old file of that name in one step
  std::error_code ec;
  std::filesystem::rename(QFile::encodeName(partial_).toStdString(), QFile::encodeName(path_).toStdString(), ec);
  const bool ok = !ec;
  if (!ok) QFile::remove(partial_);
  partial_.clear();
  return ok;
}

}  // namespace velor
