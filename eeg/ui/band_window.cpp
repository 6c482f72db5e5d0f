#include "core/record_file.h"
#include "eeg/ui/band_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/binio.h"
#include "core/ui/dialog_look.h"
#include "eeg/band_table.h"
#include "eeg/spectral_texts.h"
#include "interchange/ui/file_window.h"

namespace velor {

using namespace velor::spectral_text;

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

BandTableDialog::BandTableDialog(StudyState& s, Interaction& ui, BandFilePicker pick, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), pick_(std::move(pick)) {
  setWindowTitle(QString::fromUtf8(kBandWindowTitle));
  setModal(true);
  installDefaultBands(s_);

  grid_ = new QTableWidget(kBandRows, 4, this);
  grid_->setObjectName("bandGrid");
  grid_->setHorizontalHeaderLabels({QString::fromUtf8(kHeadNumber), QString::fromUtf8(kHeadName),
                                    QString::fromUtf8(kHeadLow), QString::fromUtf8(kHeadHigh)});
  grid_->verticalHeader()->setVisible(false);
  grid_->horizontalHeader()->setStretchLastSection(true);
  grid_->setColumnWidth(0, 40);
  grid_->setColumnWidth(1, 120);
  grid_->setColumnWidth(2, 70);
  connect(grid_, &QTableWidget::cellChanged, this, &BandTableDialog::cellEdited);

  write_ = new QPushButton(QString::fromUtf8(kWriteBands), this);
  write_->setObjectName("writeBands");
  write_->setAutoDefault(false);
  read_ = new QPushButton(QString::fromUtf8(kReadBands), this);
  read_->setObjectName("readBands");
  read_->setAutoDefault(false);
  connect(write_, &QPushButton::clicked, this, &BandTableDialog::writeBands);
  connect(read_, &QPushButton::clicked, this, &BandTableDialog::readBands);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(write_);
  buttons->addWidget(read_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(grid_);
  layout->addLayout(buttons);
  resize(420, 560);

  showTable();
  applyDialogLook(this);
}

void BandTableDialog::showTable() {
  filling_ = true;
  for (int r = 0; r < kBandRows; ++r) {
    const BandRow& row = s_.bandTable[static_cast<std::size_t>(r)];
    auto* number = new QTableWidgetItem(QString::number(r + 1));
    number->setFlags(number->flags() & ~Qt::ItemIsEditable);
    grid_->setItem(r, 0, number);
    grid_->setItem(r, 1, new QTableWidgetItem(qs(row.name)));
    grid_->setItem(r, 2, new QTableWidgetItem(qs(row.low)));
    grid_->setItem(r, 3, new QTableWidgetItem(qs(row.high)));
  }
  filling_ = false;
}

void BandTableDialog::cellEdited(int row, int column) {
  if (filling_ || row < 0 || row >= kBandRows || column < 1 || column > 3) return;
  const QTableWidgetItem* item = grid_->item(row, column);
  const std::string text = item ? item->text().toStdString() : std::string();
  BandRow& b = s_.bandTable[static_cast<std::size_t>(row)];
  (column == 1 ? b.name : column == 2 ? b.low : b.high) = text;
  updateBandCount(s_);
}

void BandTableDialog::writeBands() {
  updateBandCount(s_);
  if (!pick_) return;
  const auto path = pick_(true);
  if (!path) return;
  if (!writeBandFile(*path, s_)) ui_.message("Файл " + baseName(*path) + " не записан.");
}

void BandTableDialog::readBands() {
  if (!pick_) return;
  const auto path = pick_(false);
  if (!path) return;
  if (readBandFile(*path, s_, ui_)) showTable();
}

void BandTableDialog::done(int r) {
  updateBandCount(s_);
  QDialog::done(r);
}

BandTableDialog::BandFilePicker bandFilePicker(FileWindow& fileWindow) {
  return [&fileWindow](bool save) { return chooseFileForKind(fileWindow, FileKind::FrequencyBands, save); };
}

}  // namespace velor
