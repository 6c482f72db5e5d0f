#include "physio/ui/evoked_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "core/formula.h"
#include "core/numtext.h"
#include "core/text.h"
#include "physio/evoked_texts.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }
QString q(const std::string& t) { return QString::fromStdString(t); }
std::string text(const QLineEdit* e) { return e->text().toStdString(); }

double numberIn(const QLineEdit* e, double fallback) {
  const auto v = parseNumber(text(e));
  return v && std::isfinite(*v) ? *v : fallback;
}

constexpr const char* kReferenceEntries[] = {"Ti [i=сек]",   "Si [i=0-16]",  "Ii [i=00-FF]", "Oi [i=00-FF]",
                                             "Mi [i=1-32]", "Ei [i=1-32]", "Ci [i=1-32]",  "Pi [i=1-32]"};
constexpr const char* kPeakColumns[] = {"Обозначен", "+", "t min", "t max"};

}  // namespace

EvokedWindow::EvokedWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), actions_(std::move(actions)) {
  setWindowTitle(q(kEpCaption));
  auto* top = new QHBoxLayout(this);

  auto* avg = new QGroupBox(q("Усреднение"), this);
  auto* g = new QGridLayout(avg);
  int row = 0;
  auto label = [&](const char* caption, int r, int c) { g->addWidget(new QLabel(q(caption), avg), r, c); };
  auto lineEdit = [&](int k, int r, int c, int span = 1) {
    edits_[k] = new QLineEdit(avg);
    g->addWidget(edits_[k], r, c, 1, span);
  };
  label("Опорная точка=", row, 0);
  reference_ = new QComboBox(avg);
  reference_->setEditable(true);
  for (const char* e : kReferenceEntries) reference_->addItem(q(e));
  g->addWidget(reference_, row++, 1, 1, 3);
  label("Эпоха [сек]: нач=", row, 0);
  lineEdit(0, row, 1);
  label("кон=", row, 2);
  lineEdit(1, row++, 3);
  label("Фильтр: НЧ[Гц]=", row, 0);
  lineEdit(2, row, 1);
  label("ВЧ=", row, 2);
  lineEdit(3, row++, 3);
  label("Условие отбора записей:", row, 0);
  editor_ = new QPushButton(q("Редактор"), avg);
  editor_->setAutoDefault(false);
  g->addWidget(editor_, row++, 3);
  lineEdit(4, row++, 0, 4);
  label("Усилить", row, 0);
  gain_ = new QComboBox(avg);
  for (int k = 1; k <= 15; ++k) gain_->addItem(QString::number(k));
  g->addWidget(gain_, row, 1);
  steps_ = new QCheckBox(q("По шагам"), avg);
  g->addWidget(steps_, row++, 2, 1, 2);
  label("Артефакты:  ампл [мкВ]=", row, 0);
  lineEdit(5, row, 1);
  label("длит[с]=", row, 2);
  lineEdit(6, row++, 3);
  label("Сглаж:", row, 0);
  smoothing_ = new QComboBox(avg);
  for (int k = 0; k <= 10; ++k) smoothing_->addItem(QString::number(k));
  g->addWidget(smoothing_, row, 1);
  zero_ = new QCheckBox(q("Коррекция нуля"), avg);
  g->addWidget(zero_, row++, 2, 1, 2);
  type_ = new QComboBox(avg);
  type_->addItem(q("ERP"));
  type_->addItem(q("ERD/S"));
  g->addWidget(type_, row++, 0);

  auto* left = new QVBoxLayout;
  left->addWidget(avg);
  auto* buttons = new QGridLayout;
  auto button = [this](const char* caption) {
    auto* b = new QPushButton(q(caption), this);
    b->setAutoDefault(false);
    return b;
  };
  run_ = button("Выполнить");
  cancel_ = button("Отменить");
  // The archive buttons' captions are our own; their hints are the file window's captions.
  readArchive_ = button("Читать");
  readArchive_->setToolTip(q(kEpArchiveRead));
  writeArchive_ = button("Записать");
  writeArchive_->setToolTip(q(kEpArchiveWrite));
  buttons->addWidget(run_, 0, 0);
  buttons->addWidget(cancel_, 0, 1);
  buttons->addWidget(readArchive_, 1, 0);
  buttons->addWidget(writeArchive_, 1, 1);
  left->addLayout(buttons);
  top->addLayout(left);

  auto* peakBox = new QGroupBox(q("Параметры пиков"), this);
  auto* pv = new QVBoxLayout(peakBox);
  grid_ = new QTableWidget(kPeakRows, 4, peakBox);
  QStringList heads;
  for (const char* h : kPeakColumns) heads << q(h);
  grid_->setHorizontalHeaderLabels(heads);
  for (int r = 0; r < kPeakRows; ++r)
    for (int c = 0; c < 4; ++c) grid_->setItem(r, c, new QTableWidgetItem);
  pv->addWidget(grid_);
  peaks_ = new QPushButton(q("Выделить"), peakBox);
  peaks_->setAutoDefault(false);
  pv->addWidget(peaks_);
  top->addWidget(peakBox);

  QObject::connect(run_, &QPushButton::clicked, this, [this] { run(); });
  QObject::connect(cancel_, &QPushButton::clicked, this, [this] {
    s_.dialogResult = 0;
    reject();
  });
  QObject::connect(peaks_, &QPushButton::clicked, this, [this] { measure(); });
  QObject::connect(readArchive_, &QPushButton::clicked, this, [this] { readArchive(); });
  QObject::connect(writeArchive_, &QPushButton::clicked, this, [this] { writeArchive(); });
  QObject::connect(editor_, &QPushButton::clicked, this, [this] {
    if (!actions_.editCondition) return;
    if (const auto f = actions_.editCondition(text(edits_[4]))) edits_[4]->setText(q(*f));
  });
  showSettings(EvokedSettings{});
}

void EvokedWindow::showSettings(const EvokedSettings& p) {
  header_ = p.header;
  erd_ = p;
  reference_->setEditText(q(p.reference));
  edits_[0]->setText(q(formatNumber(p.epochStart)));
  edits_[1]->setText(q(formatNumber(p.epochEnd)));
  edits_[2]->setText(q(formatNumber(p.filterLow)));
  edits_[3]->setText(q(formatNumber(p.filterHigh)));
  edits_[4]->setText(q(p.condition));
  edits_[5]->setText(q(formatNumber(p.artefactMicroVolts)));
  edits_[6]->setText(q(formatNumber(p.artefactSeconds)));
  gain_->setCurrentIndex(std::clamp(p.gain, 1, 15) - 1);
  smoothing_->setCurrentIndex(std::clamp(p.smoothing, 0, 10));
  steps_->setChecked(p.stepByStep);
  zero_->setChecked(p.zeroCorrection);
  type_->setCurrentIndex(p.potentialType == 1 ? 1 : 0);
  for (int r = 0; r < kPeakRows; ++r) {
    const PeakRow& pr = p.peaks[static_cast<std::size_t>(r)];
    const std::string* cells[4] = {&pr.label, &pr.sign, &pr.tMin, &pr.tMax};
    for (int c = 0; c < 4; ++c) grid_->item(r, c)->setText(q(*cells[c]));
  }
}

EvokedSettings EvokedWindow::settings() const {
  EvokedSettings p = erd_;  // the ERS/ERD values are not on this window
  p.header = header_;
  p.reference = trimSpaces(reference_->currentText().toStdString());
  p.epochStart = numberIn(edits_[0], 0);
  p.epochEnd = numberIn(edits_[1], 0);
  p.filterLow = numberIn(edits_[2], 0);
  p.filterHigh = numberIn(edits_[3], 0);
  p.condition = trimSpaces(text(edits_[4]));
  p.artefactMicroVolts = numberIn(edits_[5], 0);
  p.artefactSeconds = numberIn(edits_[6], 0);
  p.gain = gain_->currentIndex() + 1;
  p.smoothing = std::max(0, smoothing_->currentIndex());
  p.stepByStep = steps_->isChecked();
  p.zeroCorrection = zero_->isChecked();
  p.potentialType = type_->currentIndex() == 1 ? 1 : 0;
  for (int r = 0; r < kPeakRows; ++r) {
    PeakRow& pr = p.peaks[static_cast<std::size_t>(r)];
    std::string* cells[4] = {&pr.label, &pr.sign, &pr.tMin, &pr.tMax};
    for (int c = 0; c < 4; ++c) {
      const QTableWidgetItem* it = grid_->item(r, c);
      *cells[c] = it ? it->text().toStdString() : std::string();
    }
  }
  return p;
}

void EvokedWindow::showEvent(QShowEvent* e) {
  EvokedSettings p = settings();
  if (readEvokedSettings(s_.programDir + kEvokedSettingsFile, p)) showSettings(p);
  else QApplication::beep();  // a missing or short file: the window's values stay
  QDialog::showEvent(e);
}

void EvokedWindow::done(int r) {
  writeEvokedSettings(s_.programDir + kEvokedSettingsFile, settings());
  QDialog::done(r);
}

void EvokedWindow::run() {
  EvokedSettings p = settings();
  // A condition that does not compile is shown with its message and the
  // window stays, rather than averaging every record without it.
  if (!p.condition.empty()) {
    CompiledFormula f;
    if (!compileFormula(p.condition, FunctionNames::defaults(), f, ui_)) return;
  }
  if (p.potentialType == 1) {
    if (!actions_.erdSettings || !actions_.erdSettings(p)) return;
    erd_ = p;
  }
  s_.dialogResult = p.condition.empty() ? 1 : 2;
  accept();
}

void EvokedWindow::measure() {
  const PeakTable t = measurePeaks(s_, settings());
  hide();
  if (actions_.peaks) actions_.peaks(t);
  s_.dialogResult = kPeaksMeasured;
  accept();
}

void EvokedWindow::readArchive() {
  if (!actions_.chooseArchive) return;
  const auto path = actions_.chooseArchive(false);
  if (!path) return;
  EvokedSettings p = settings();
  if (!readEvokedArchive(*path, p, s_)) {
    ui_.message("Прерывание: " + *path);
    return;
  }
  showSettings(p);
}

void EvokedWindow::writeArchive() {
  if (!actions_.chooseArchive) return;
  const auto path = actions_.chooseArchive(true);
  if (!path) return;
  if (!writeEvokedSettings(*path, settings())) ui_.message("Прерывание: " + *path);
}

}  // namespace velor
