#include "physio/ui/ecg_bands_dialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "core/numtext.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }

QString cellText(double v) { return v == 0 ? QString() : QString::fromStdString(formatNumber(v)); }

}  // namespace

EcgBandsDialog::EcgBandsDialog(StudyState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setWindowTitle(q("Пики ЭКГ-спектра"));
  auto* top = new QVBoxLayout(this);
  grid_ = new QTableWidget(kEcgBandRows, 3, this);
  grid_->setHorizontalHeaderLabels({q(" N"), q("  НЧ"), q("  ВЧ")});
  grid_->verticalHeader()->setVisible(false);
  bool unreadable = false;
  const EcgBands b = readEcgBands(s_.programDir, &unreadable);
  if (unreadable) QApplication::beep();
  for (int r = 0; r < kEcgBandRows; ++r) {
    auto* n = new QTableWidgetItem(QString::number(r + 1));
    n->setFlags(Qt::ItemIsEnabled);
    grid_->setItem(r, 0, n);
    grid_->setItem(r, 1, new QTableWidgetItem(cellText(b.low[static_cast<std::size_t>(r)])));
    grid_->setItem(r, 2, new QTableWidgetItem(cellText(b.high[static_cast<std::size_t>(r)])));
  }
  top->addWidget(grid_);
  auto* row = new QHBoxLayout;
  accept_ = new QPushButton(q("Утвердить"), this);
  cancel_ = new QPushButton(q("<Esc>=Отменить"), this);
  row->addWidget(accept_);
  row->addWidget(cancel_);
  top->addLayout(row);
  QObject::connect(accept_, &QPushButton::clicked, this, [this] { onAccept(); });
  QObject::connect(cancel_, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 0;
    reject();
  });
}

EcgBands EcgBandsDialog::bands() const {
  EcgBands b;
  for (int r = 0; r < kEcgBandRows; ++r) {
    for (int c = 1; c <= 2; ++c) {
      const QTableWidgetItem* it = grid_->item(r, c);
      const auto v = it ? parseNumber(it->text().toStdString()) : std::nullopt;
      (c == 1 ? b.low : b.high)[static_cast<std::size_t>(r)] = v && std::isfinite(*v) ? *v : 0;
    }
  }
  return b;
}

void EcgBandsDialog::onAccept() {
  writeEcgBands(s_.programDir, bands());
  s_.dialogResult = 1;
  accept();
}

}  // namespace velor
