#include "results/ui/print_target.h"

#include <QBuffer>
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

#include "core/checked_write.h"

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

PdfPrintTarget::~PdfPrintTarget() = default;

QPaintDevice* PdfPrintTarget::begin(bool portrait) {
  error_.clear();
  writer_.reset();
  page_ = std::make_unique<QBuffer>();
  page_->open(QIODevice::WriteOnly);
  writer_ = std::make_unique<QPdfWriter>(page_.get());
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
  writer_.reset();  // the document is complete once the writer is gone
  const QByteArray bytes = page_->data();
  page_.reset();
  if (bytes.isEmpty()) {
    error_ = "no page was painted";
    return false;
  }
  return writeFileAtomically(QFile::encodeName(path_).toStdString(),
                             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), error_);
}

}  // namespace velor
