#include "physio/ui/reg_patient_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/numtext.h"
#include "core/ui/dialog_look.h"
#include "physio/rheo_texts.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }
QString num(double v) { return QString::fromStdString(formatNumber(v)); }

}  // namespace

RegPatientDialog::RegPatientDialog(StudyState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setWindowFlag(Qt::FramelessWindowHint);
  auto* top = new QVBoxLayout(this);
  auto* box = new QGroupBox(q("Пациент"), this);
  auto* form = new QFormLayout(box);
  struct Row {
    Field field;
    const char* label;
    const char* hint;
    const char* value;
  } const rows[] = {
      {Field::Erythrocytes, "Эритроциты=", "Число эритроцитов в крови", "14"},
      {Field::Pressure, "Давление=", "Среднединамическое давление мм рт.ст", "140"},
      {Field::Distance, "Расстояние=", "Расстояние между электродами (см)", "50"},
      {Field::Weight, "Вес=", "Вес пациента", "69"},
      {Field::Height, "Рост=", "Рост пациента (см)", "175"},
      {Field::Chest, "Охват=", "", "90"},
  };
  for (const Row& r : rows) {
    auto* e = new QLineEdit(q(r.value), box);
    e->setToolTip(q(r.hint));
    edits_[static_cast<int>(r.field)] = e;
    auto* label = new QLabel(q(r.label), box);
    if (r.field == Field::Erythrocytes) {
      erythrocytesLabel_ = label;
      haematocrit_ = new QCheckBox(q("гематокрит"), box);
      haematocrit_->setToolTip(q("Измерение плотности крови по гематоркиту"));
      form->addRow(haematocrit_);
    }
    form->addRow(label, e);
  }
  sex_ = new QComboBox(box);
  sex_->addItems({"m", "f"});
  sex_->setEditable(true);
  sex_->setToolTip(q("Пол пациента"));
  form->addRow(q("Пол="), sex_);
  top->addWidget(box);
  auto* buttons = new QHBoxLayout;
  accept_ = new QPushButton(q("Утвердить"), this);
  cancel_ = new QPushButton(q("<Esc>=Отменить"), this);
  buttons->addWidget(accept_);
  buttons->addWidget(cancel_);
  top->addLayout(buttons);
  QObject::connect(haematocrit_, &QCheckBox::toggled, this, [this] { relabel(); });
  QObject::connect(accept_, &QPushButton::clicked, this, [this] {
    const RegPatient p = patient();
    writeRegPatient(s_.programDir, p, haematocrit_->isChecked());
    s_.dialogResult = p.sex;
    accept();
  });
  QObject::connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  QObject::connect(this, &QDialog::rejected, this, [this] { s_.dialogResult = -1; });
  applyDialogLook(this);
}

void RegPatientDialog::showEvent(QShowEvent* e) {
  readSettings();
  QDialog::showEvent(e);
}

void RegPatientDialog::relabel() {
  erythrocytesLabel_->setText(q(haematocrit_->isChecked() ? "Гематокрит=" : "Эритроциты="));
}

void RegPatientDialog::readSettings() {
  RegPatient p;
  if (!readRegPatient(s_.programDir, p)) {
    QApplication::beep();
    return;
  }
  edit(Field::Erythrocytes)->setText(num(std::fabs(p.erythrocytes)));
  edit(Field::Distance)->setText(num(p.distance));
  edit(Field::Weight)->setText(num(p.weight));
  edit(Field::Height)->setText(num(p.height));
  edit(Field::Chest)->setText(num(p.chest));
  edit(Field::Pressure)->setText(QString::number(p.pressure));
  sex_->setCurrentText(q(p.sex == 0 ? "m" : "f"));
  haematocrit_->setChecked(std::signbit(p.erythrocytes));
  relabel();
}

RegPatient RegPatientDialog::patient() const {
  RegPatient p;
  auto real = [this](Field f, double d) {
    const auto v = parseNumber(edit(f)->text().toStdString());
    return v && std::isfinite(*v) ? *v : d;
  };
  p.erythrocytes = real(Field::Erythrocytes, p.erythrocytes) * (haematocrit_->isChecked() ? -1 : 1);
  p.distance = real(Field::Distance, p.distance);
  p.weight = real(Field::Weight, p.weight);
  p.height = real(Field::Height, p.height);
  p.chest = real(Field::Chest, p.chest);
  p.pressure = parseInteger(edit(Field::Pressure)->text().toStdString()).value_or(p.pressure);
  p.sex = trimSpaces(sex_->currentText().toStdString()) == "m" ? 0 : 1;
  return p;
}

}  // namespace velor
