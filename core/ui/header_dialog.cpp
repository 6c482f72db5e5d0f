#include "core/record_file.h"
#include "core/ui/header_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/header_dialog_texts.h"
#include "core/binio.h"
#include "core/text.h"
#include "core/ui/dialog_look.h"

namespace velor {

using namespace velor::header_text;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr std::size_t kListCapacity = 50;
constexpr std::size_t kGroupTestCapacity = 20;
constexpr int kStandardWidth = 30;
constexpr int kGroupPatientWidth = 20;
constexpr int kGroupTestWidth = 40;

// "ФИО.1=" and "Пациент на 1 канале" with the channel number put in place of the 1.
QString numbered(const char* pattern, int n) {
  QString t = QString::fromUtf8(pattern);
  const int at = static_cast<int>(t.indexOf(QLatin1Char('1')));
  if (at >= 0) t.replace(at, 1, QString::number(n));
  return t;
}

QString widgetText(const QWidget* w) {
  if (auto* c = qobject_cast<const QComboBox*>(w)) return c->currentText();
  if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
  return {};
}

}  // namespace

HeaderDialog::HeaderDialog(StudyState& s, Interaction& ui, HeaderFilePicker pick, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), s_(s), ui_(ui), pick_(std::move(pick)) {
  setWindowTitle(QString::fromUtf8(kHeaderTitle));
  setModal(true);
  group_ = s_.groupMode != 0;
  helpBefore_ = s_.helpContext;
  s_.helpContext = kHeaderDialogHelpContext;

  // History lists: the built-in placeholders stay when the files are missing.
  history_ = defaultHeaderHistory();
  if (!readHeaderHistory(s_.programDir, history_)) QApplication::beep();

  auto* outer = new QVBoxLayout(this);
  if (!group_) {
    auto* box = new QGroupBox(QString::fromUtf8(kHeaderTitle), this);
    box->setObjectName("standardBox");
    auto* form = new QFormLayout(box);
    auto* test = makeHistoryBox(&history_.lists[0], kListCapacity, kStandardWidth);
    auto* grp = makeHistoryBox(&history_.lists[1], kListCapacity, kStandardWidth);
    auto* name = makeHistoryBox(&history_.lists[3], kListCapacity, kStandardWidth);
    auto* code = new QLineEdit(box);
    code->setMaxLength(headerFieldSpan(false, 4).width);
    auto* birth = new QLineEdit(box);
    birth->setMaxLength(headerFieldSpan(false, 5).width);
    auto* sex = new QComboBox(box);
    sex->setEditable(true);
    sex->setInsertPolicy(QComboBox::NoInsert);
    sex->addItems({QString::fromUtf8(kSexMale), QString::fromUtf8(kSexFemale)});
    sex->lineEdit()->setMaxLength(1);
    auto* diag = makeHistoryBox(&history_.lists[2], kListCapacity, kStandardWidth);
    fields_ = {test, grp, name, code, birth, sex, diag};
    form->addRow(QString::fromUtf8(kLabelTest), test);
    form->addRow(QString::fromUtf8(kLabelGroup), grp);
    form->addRow(QString::fromUtf8(kLabelName), name);
    auto* row = new QHBoxLayout;
    row->addWidget(code);
    row->addWidget(new QLabel(QString::fromUtf8(kLabelBirth), box));
    row->addWidget(birth);
    row->addWidget(sex);
    form->addRow(QString::fromUtf8(kLabelCode), row);
    form->addRow(QString::fromUtf8(kLabelDiagnosis), diag);
    outer->addWidget(box);
  } else {
    auto* box = new QGroupBox(QString::fromUtf8(kHeaderTitle), this);
    box->setObjectName("groupBox");
    auto* form = new QFormLayout(box);
    for (int i = 1; i <= kGroupPatientFields; ++i) {
      auto* e = new QLineEdit(box);
      e->setMaxLength(kGroupPatientWidth);
      e->setToolTip(numbered(kHintPatient1, i));
      e->installEventFilter(this);
      const int index = i - 1;
      connect(e, &QLineEdit::textEdited, this, [this, index] { target_ = index; });
      fields_.push_back(e);
      form->addRow(numbered(kLabelPatient1, i), e);
    }
    auto* test = makeHistoryBox(&history_.groupTests, kGroupTestCapacity, kGroupTestWidth);
    test->setToolTip(QString::fromUtf8(kHintGroupTest));
    fields_.push_back(test);
    form->addRow(QString::fromUtf8(kLabelTest), test);
    patientList_ = makeHistoryBox(&history_.groupPatients, kListCapacity, kGroupPatientWidth);
    patientList_->setObjectName("patientList");
    connect(patientList_, QOverload<int>::of(&QComboBox::activated), this, &HeaderDialog::choosePatient);
    form->addRow(QString::fromUtf8(kLabelPatientList), patientList_);
    outer->addWidget(box);
  }
  for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i]->setObjectName(QString("field%1").arg(i + 1));

  auto* place = new QFormLayout;
  institution_ = new QLineEdit(this);
  institution_->setObjectName("institution");
  institution_->setMaxLength(kInstitutionChars);
  department_ = new QLineEdit(this);
  department_->setObjectName("department");
  department_->setMaxLength(kInstitutionChars);
  place->addRow(QString::fromUtf8(kLabelInstitution), institution_);
  place->addRow(QString::fromUtf8(kLabelDepartment), department_);
  outer->addLayout(place);

  auto* buttons = new QHBoxLayout;
  auto* read = new QPushButton(QString::fromUtf8(kReadFromFile), this);
  read->setObjectName("readFromFile");
  read->setAutoDefault(false);
  auto* ok = new QPushButton(QString::fromUtf8(kAccept), this);
  ok->setObjectName("accept");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8(kCancel), this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  buttons->addWidget(read);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  outer->addLayout(buttons);
  connect(read, &QPushButton::clicked, this, &HeaderDialog::readHeaderFromFile);
  connect(ok, &QPushButton::clicked, this, &HeaderDialog::acceptHeader);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  showForm(headerFormFrom(s_));
  applyDialogLook(this);
}

QComboBox* HeaderDialog::makeHistoryBox(std::vector<std::string>* list, std::size_t capacity, int maxLength) {
  auto* c = new QComboBox(this);
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);
  c->setMaxVisibleItems(20);
  for (const auto& item : *list) c->addItem(qs(item));
  c->lineEdit()->setMaxLength(maxLength);
  // Typing edits the chosen item of the list in place.
  connect(c->lineEdit(), &QLineEdit::textEdited, this, [c, list, capacity](const QString& text) {
    const int cursor = c->lineEdit()->cursorPosition();
    const int index = c->currentIndex();
    const std::size_t before = list->size();
    editHistoryItem(*list, index, text.toStdString(), capacity);
    if (index >= 0 && index < c->count()) {
      c->setItemText(index, text);
    } else if (list->size() > before) {
      c->addItem(text);
      c->setCurrentIndex(c->count() - 1);
    }
    if (c->lineEdit()->text() != text) c->lineEdit()->setText(text);
    c->lineEdit()->setCursorPosition(cursor);
  });
  return c;
}

void HeaderDialog::showForm(const HeaderForm& f) {
  for (std::size_t i = 0; i < fields_.size(); ++i)
    setFieldText(static_cast<int>(i) + 1, i < f.fields.size() ? qs(f.fields[i]) : QString());
  institution_->setText(qs(f.institution));
  department_->setText(qs(f.department));
}

QWidget* HeaderDialog::fieldWidget(int field) const {
  if (field < 1 || static_cast<std::size_t>(field) > fields_.size()) return nullptr;
  return fields_[static_cast<std::size_t>(field - 1)];
}

QString HeaderDialog::fieldText(int field) const { return widgetText(fieldWidget(field)); }

void HeaderDialog::setFieldText(int field, const QString& text) {
  QWidget* w = fieldWidget(field);
  if (auto* c = qobject_cast<QComboBox*>(w)) {
    // The item that matches becomes the remembered one; other text leaves
    // no item chosen, so typing then adds to the list instead of replacing.
    c->setCurrentIndex(c->findText(text));
    c->setEditText(text);
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setText(text);
  }
}

HeaderForm HeaderDialog::form() const {
  HeaderForm f;
  f.groupLayout = group_;
  for (std::size_t i = 0; i < fields_.size(); ++i) f.fields.push_back(widgetText(fields_[i]).toStdString());
  f.institution = institution_->text().toStdString();
  f.department = department_->text().toStdString();
  return f;
}

void HeaderDialog::readHeaderFromFile() {
  if (!pick_) return;
  const auto path = pick_();
  if (!path) return;
  RecordFileHeader h;
  std::string reason;
  if (!readRecordFileHeader(*path, h, reason)) {
    ui_.message(reason.empty() ? "Файл " + baseName(*path) + " не является файлом записей" : reason);
    return;
  }
  HeaderForm f = headerFormFrom(utf8Fit(h.examHeader, kHeaderChars), group_);
  f.institution = institution_->text().toStdString();
  f.department = department_->text().toStdString();
  showForm(f);
}

void HeaderDialog::acceptHeader() {
  acceptHeaderForm(s_, form());
  s_.dialogResult = 1;
  accept();
}

void HeaderDialog::choosePatient(int index) {
  if (!patientList_ || index < 0) return;
  if (auto* e = qobject_cast<QLineEdit*>(fieldWidget(target_ + 1))) e->setText(patientList_->itemText(index));
}

bool HeaderDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress) {
    for (int i = 0; i < kGroupPatientFields && static_cast<std::size_t>(i) < fields_.size(); ++i)
      if (fields_[static_cast<std::size_t>(i)] == watched) target_ = i;
  }
  return QDialog::eventFilter(watched, event);
}

void HeaderDialog::done(int r) {
  if (!closedOnce_) {
    closedOnce_ = true;
    if (r == QDialog::Rejected) s_.dialogResult = 0;
    writeHeaderHistory(s_.programDir, history_);
    s_.helpContext = helpBefore_;
  }
  QDialog::done(r);
}

}  // namespace velor
