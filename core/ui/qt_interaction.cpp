#include "core/ui/qt_interaction.h"

#include <QApplication>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ui/dialog_look.h"

namespace velor {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString appTitle() {
  const QString t = QApplication::applicationName();
  return t.isEmpty() ? QStringLiteral("VELOR") : t;
}

// "&0" style choice captions end with "Отменить"-like texts for code 0; Esc
// must always mean code 0 whatever the captions are.
constexpr int kCancelCode = 0;

}  // namespace

void QtInteraction::message(std::string_view text) {
  QMessageBox::information(parent_.data(), appTitle(), qs(text), QMessageBox::Ok);
}

bool QtInteraction::ask(std::string_view question) {
  // Russian captions whether or not Qt's own translations are installed.
  QMessageBox box(QMessageBox::Question, appTitle(), qs(question), QMessageBox::Yes | QMessageBox::No,
                  parent_.data());
  box.button(QMessageBox::Yes)->setText(QStringLiteral("&Да"));
  box.button(QMessageBox::No)->setText(QStringLiteral("&Нет"));
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtInteraction::input(std::string_view title, std::string_view prompt,
                                                std::string_view defaultText) {
  QInputDialog d(parent_.data());
  d.setWindowTitle(qs(title));
  d.setLabelText(qs(prompt));
  d.setTextValue(qs(defaultText));
  d.setOkButtonText(QStringLiteral("OK"));
  d.setCancelButtonText(QStringLiteral("Отменить"));
  if (d.exec() != QDialog::Accepted) return std::nullopt;
  return d.textValue().toStdString();
}

int QtInteraction::choose(std::string_view title, std::string_view caption, std::string_view label,
                          const std::vector<Choice>& choices) {
  ChoiceDialog d(parent_.data(), qs(title), qs(caption), qs(label), choices);
  d.exec();
  return d.chosenCode();
}

ChoiceDialog::ChoiceDialog(QWidget* parent, const QString& title, const QString& caption, const QString& label,
                           const std::vector<Interaction::Choice>& choices)
    : QDialog(parent) {
  setWindowTitle(title);
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* box = new QGroupBox(caption, this);
  outer->addWidget(box);
  auto* lay = new QVBoxLayout(box);
  if (!label.isEmpty()) lay->addWidget(new QLabel(label, box));
  for (const auto& c : choices) {
    auto* b = new QPushButton(QString::fromStdString(c.caption), box);
    b->setAutoDefault(false);
    b->setProperty("choiceCode", c.code);
    const int code = c.code;
    connect(b, &QPushButton::clicked, this, [this, code] { pick(code); });
    lay->addWidget(b);
  }
  applyDialogLook(this);
}

void ChoiceDialog::pick(int code) {
  code_ = code;
  if (code == kCancelCode)
    reject();
  else
    accept();
}

QtProgress::~QtProgress() { delete dialog_; }

void QtProgress::begin(std::string_view what, long total) {
  delete dialog_;
  total_ = total > 0 ? total : 0;
  const int max = total_ > 0x7fffffffL ? 0x7fffffff : static_cast<int>(total_);
  dialog_ = new QProgressDialog(qs(what), QStringLiteral("Отменить"), 0, max, parent_.data());
  dialog_->setWindowTitle(appTitle());
  dialog_->setWindowModality(Qt::WindowModal);
  dialog_->setMinimumDuration(500);
  dialog_->setValue(0);
}

bool QtProgress::step(long done) {
  if (!dialog_) return true;
  if (total_ > 0) {
    const long v = done < 0 ? 0 : (done > total_ ? total_ : done);
    dialog_->setValue(v > 0x7fffffffL ? 0x7fffffff : static_cast<int>(v));
  }
  QApplication::processEvents();
  return !dialog_->wasCanceled();
}

void QtProgress::end() {
  if (!dialog_) return;
  dialog_->reset();
  delete dialog_;
  dialog_ = nullptr;
}

}  // namespace velor
