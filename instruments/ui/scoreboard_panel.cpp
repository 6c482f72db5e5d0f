#include "instruments/ui/scoreboard_panel.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "instruments/scoreboard_texts.h"

namespace velor {

namespace {

using namespace scoreboard_text;

constexpr int kHelpContext = 23;
constexpr int kFieldChars = 10;

QString qs(const char* s) { return QString::fromUtf8(s); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

ScoreboardPanel::ScoreboardPanel(StudyState& s, QWidget* parent) : QWidget(parent, Qt::Tool), s_(s) {
  setWindowTitle(qs(kScoreboardTitle));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setSpacing(2);

  auto field = [this](Field f, const char* hint) {
    auto* e = new QLineEdit(this);
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setToolTip(qs(hint));
    e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('0')) * kFieldChars);
    fields_[f] = e;
    return e;
  };
  auto row = [&](int r, Field f, const char* caption, const char* hint) {
    auto* l = new QLabel(qs(caption), this);
    l->setToolTip(qs(hint));
    captions_[f] = l;
    grid->addWidget(l, r, 0);
    grid->addWidget(field(f, hint), r, 1);
  };
  row(0, Y, kCaptionY, kHintY);
  row(1, T, kCaptionT, kHintT);
  row(2, DY, kCaptionDY, kHintDY);
  row(3, DT, kCaptionDT, kHintDT);

  integralButton_ = new QToolButton(this);
  integralButton_->setText(qs(kInitialIntegralButton));
  integralButton_->setToolTip(qs(kHintIntegralButton));
  list_ = new QListWidget(this);
  list_->setToolTip(qs(kListTitle));
  for (int m = 0; m < kSumModeCount; ++m) list_->addItem(qs(sumModeItem(m)));
  list_->setFixedHeight(list_->sizeHintForRow(0) * kSumModeCount + 2 * list_->frameWidth());
  list_->hide();
  grid->addWidget(integralButton_, 4, 0);
  grid->addWidget(list_, 5, 0, 1, 2);
  grid->addWidget(field(Integral, kHintIntegral), 4, 1);
  connect(integralButton_, &QToolButton::clicked, this, [this] {
    integralButton_->hide();
    list_->setCurrentRow(s_.sumMode >= 0 && s_.sumMode < kSumModeCount ? s_.sumMode : -1);
    list_->show();
    list_->setFocus();
  });
  connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { chooseMeasure(list_->row(item)); });
  connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { chooseMeasure(list_->row(item)); });

  row(6, In, kCaptionIn, kHintIn);
  row(7, Out, kCaptionOut, kHintOut);

  notebook_ = new QPushButton(qs(kNotebookButton), this);
  notebook_->setToolTip(qs(kHintNotebook));
  notebook_->setFocusPolicy(Qt::NoFocus);
  grid->addWidget(notebook_, 8, 0, 1, 2);
  connect(notebook_, &QPushButton::clicked, this, [this] {
    Q_EMIT notebookRequested();
    Q_EMIT monitorRefreshRequested();
  });
}

void ScoreboardPanel::chooseMeasure(int mode) {
  if (mode < 0 || mode >= kSumModeCount) return;
  list_->hide();
  integralButton_->setText(qs(sumModeButton(mode)));
  integralButton_->show();
  s_.sumMode = mode;
  refreshReadouts();
  Q_EMIT monitorRefreshRequested();
}

void ScoreboardPanel::setFrequencyLabels(bool frequency) {
  frequencyLabels_ = frequency;
  showLabels();
}

void ScoreboardPanel::showLabels() {
  captions_[T]->setText(qs(frequencyLabels_ ? kCaptionF : kCaptionT));
  captions_[DT]->setText(qs(frequencyLabels_ ? kCaptionDF : kCaptionDT));
}

void ScoreboardPanel::setNotebookAvailable(bool available, const QString& hint) {
  notebook_->setEnabled(available);
  notebook_->setToolTip(hint.isEmpty() ? qs(kHintNotebook) : hint);
  notebook_->setStatusTip(notebook_->toolTip());
}

void ScoreboardPanel::refreshReadouts() {
  const ScoreboardTexts t = velor::scoreboardReadouts(s_, mapChannel_);
  if (s_.viewMode == ViewMode::Signals && frequencyLabels_) setFrequencyLabels(false);
  const std::string* values[FieldCount] = {&t.y, &t.t, &t.dy, &t.dt, &t.integral, &t.in, &t.out};
  for (int f = 0; f < FieldCount; ++f) fields_[f]->setText(qs(*values[f]));
}

QString ScoreboardPanel::text(Field f) const { return f >= 0 && f < FieldCount ? fields_[f]->text() : QString(); }

QString ScoreboardPanel::caption(Field f) const {
  if (f == Integral) return integralButton_->text();
  return f >= 0 && f < FieldCount && captions_[f] ? captions_[f]->text() : QString();
}

void ScoreboardPanel::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (e->spontaneous()) return;  // restored from the task bar: not shown anew
  // Each showing starts with the mean amplitude as the integral measure.
  chooseMeasure(kSumMean);
}

void ScoreboardPanel::closeEvent(QCloseEvent* e) {
  // Closing only hides: the window lives for the whole run.
  e->accept();
  Q_EMIT closedByUser();
}

void ScoreboardPanel::keyPressEvent(QKeyEvent* e) {
  // Esc cancels: like closing, it only hides the window. Esc over the open
  // list just folds it back into the button.
  if (e->key() == Qt::Key_Escape) {
    if (list_->isVisible()) {
      list_->hide();
      integralButton_->show();
    } else {
      close();
    }
    return;
  }
  QWidget::keyPressEvent(e);
}

void ScoreboardPanel::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) s_.helpContext = kHelpContext;
  QWidget::changeEvent(e);
}

}  // namespace velor
