#include "eeg/ui/ers_erd_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>

#include "core/numtext.h"
#include "core/settings.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }

constexpr const char* kDefaults[8] = {"8", "10", "10", "12", "13", "18", "0", "0.5"};

double valueOf(const QLineEdit* e, double fallback) {
  const auto v = parseNumber(e->text().toStdString());
  return v && std::isfinite(*v) ? *v : fallback;
}

}  // namespace

int ErsErdChoice::baselineStartSamples(int rate) const { return static_cast<int>(std::trunc(rate * baselineFrom)); }
int ErsErdChoice::baselineEndSamples(int rate) const { return static_cast<int>(std::trunc(rate * baselineTo)); }

ErsErdDialog::ErsErdDialog(StudyState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setWindowTitle(q("Фильтрация ERS/ERD"));
  auto* top = new QVBoxLayout(this);
  auto* bandBox = new QGroupBox(q("Частотная полоса Гц"), this);
  auto* grid = new QGridLayout(bandBox);
  auto* group = new QButtonGroup(this);
  for (int b = 0; b < 3; ++b) {
    bands_[static_cast<std::size_t>(b)] = new QRadioButton(bandBox);
    group->addButton(bands_[static_cast<std::size_t>(b)], b);
    grid->addWidget(bands_[static_cast<std::size_t>(b)], b, 0);
    for (int k = 0; k < 2; ++k) {
      auto* e = new QLineEdit(bandBox);
      edits_[static_cast<std::size_t>(b * 2 + k)] = e;
      grid->addWidget(new QLabel(q(k == 0 ? "от=" : "до="), bandBox), b, 1 + 2 * k);
      grid->addWidget(e, b, 2 + 2 * k);
    }
  }
  top->addWidget(bandBox);
  auto* refBox = new QGroupBox(q("Референтный участок, сек"), this);
  auto* row = new QHBoxLayout(refBox);
  for (int k = 0; k < 2; ++k) {
    auto* e = new QLineEdit(refBox);
    edits_[static_cast<std::size_t>(6 + k)] = e;
    row->addWidget(new QLabel(q(k == 0 ? "от=" : "до="), refBox));
    row->addWidget(e);
  }
  top->addWidget(refBox);
  set_ = new QPushButton(q("Установить"), this);
  top->addWidget(set_);
  QObject::connect(set_, &QPushButton::clicked, this, [this] { confirm(); });
  for (int k = 0; k < 8; ++k) edits_[static_cast<std::size_t>(k)]->setText(q(kDefaults[k]));
  bands_[0]->setChecked(true);
  readFile();
}

void ErsErdDialog::readFile() {
  const auto lines = readTextLines(s_.programDir + kErsErdSettingsFile);
  if (!lines || lines->size() < 9) {
    QApplication::beep();  // the defaults stay
    return;
  }
  for (int k = 0; k < 8; ++k)
    edits_[static_cast<std::size_t>(k)]->setText(QString::fromStdString((*lines)[static_cast<std::size_t>(k)]));
  const auto band = parseNumber((*lines)[8]);
  const int b = band && *band >= 0 && *band <= 2 ? static_cast<int>(*band) : 0;
  bands_[static_cast<std::size_t>(b)]->setChecked(true);
}

void ErsErdDialog::writeFile() const {
  std::vector<std::string> lines;
  for (const QLineEdit* e : edits_) lines.push_back(e->text().toStdString());
  int b = 0;
  for (int k = 0; k < 3; ++k)
    if (bands_[static_cast<std::size_t>(k)]->isChecked()) b = k;
  lines.push_back(std::to_string(b));
  writeTextLines(s_.programDir + kErsErdSettingsFile, lines);
}

void ErsErdDialog::confirm() {
  int b = 0;
  for (int k = 0; k < 3; ++k)
    if (bands_[static_cast<std::size_t>(k)]->isChecked()) b = k;
  const double low = valueOf(edits_[static_cast<std::size_t>(2 * b)], std::atof(kDefaults[2 * b]));
  const double high = valueOf(edits_[static_cast<std::size_t>(2 * b + 1)], std::atof(kDefaults[2 * b + 1]));
  choice_.bandLow = static_cast<int>(std::trunc(low));
  choice_.bandHigh = static_cast<int>(std::trunc(high));
  choice_.baselineFrom = valueOf(edits_[6], 0);
  choice_.baselineTo = valueOf(edits_[7], 0.5);
  s_.dialogResult = 1;
  accept();
}

void ErsErdDialog::done(int r) {
  writeFile();
  if (r != QDialog::Accepted) s_.dialogResult = 0;
  QDialog::done(r);
}

}  // namespace velor
