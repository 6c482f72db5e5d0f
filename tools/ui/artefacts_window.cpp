#include "tools/ui/artefacts_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/numtext.h"
#include "core/ui/dialog_look.h"
#include "tools/artefact_texts.h"

namespace velor {

namespace {
QString u(const char* t) { return QString::fromUtf8(t); }
}  // namespace

ArtefactsWindow::ArtefactsWindow(StudyState& s, QWidget* parent) : QDialog(parent), s_(s) {
  setWindowTitle(u(kAfCaption));
  setObjectName(QStringLiteral("qqaf"));
  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(u(kAfGroup), this);
  outer->addWidget(group);
  auto* g = new QGridLayout(group);
  const auto field = [&](const char* caption, const char* hint, int row) {
    g->addWidget(new QLabel(u(caption), group), row, 0);
    auto* e = new QLineEdit(group);
    e->setToolTip(u(hint));
    g->addWidget(e, row, 1);
    return e;
  };
  seconds_ = field(kAfMinInterval, kAfMinIntervalHint, 0);
  microvolts_ = field(kAfMinAmplitude, kAfMinAmplitudeHint, 1);
  all_ = new QCheckBox(u(kAfAllChannels), group);
  all_->setToolTip(u(kAfAllChannelsHint));
  g->addWidget(all_, 2, 0, 1, 2);
  g->addWidget(new QLabel(u(kAfInductor), group), 3, 0);
  inductor_ = new QComboBox(group);
  inductor_->setToolTip(u(kAfInductorHint));
  for (int ch = 0; ch < std::min(s_.channelCount, kMaxChannels); ++ch)
    inductor_->addItem(QString::fromStdString(trimSpaces(s_.channelNames[static_cast<std::size_t>(ch)])));
  g->addWidget(inductor_, 3, 1);
  const auto button = [&](const char* caption, const char* hint, int result) {
    auto* b = new QPushButton(u(caption), this);
    b->setToolTip(u(hint));
    b->setAutoDefault(false);
    outer->addWidget(b);
    connect(b, &QPushButton::clicked, this, [this, result] {
      choice_ = result == 1 && all_->isChecked() ? 2 : result;
      s_.dialogResult = choice_ == 1 || choice_ == 2 ? choice_ : 0;
      done(choice_ ? Accepted : Rejected);
    });
    return b;
  };
  cut_ = button(kAfCut, kAfCutHint, 1);
  correction_ = button(kAfCorrection, kAfCorrectionHint, 3);
  blinks_ = button(kAfBlinks, kAfBlinksHint, 4);
  button(kAfStop, kAfCancelHint, 0);

  ArtefactSettings a;
  if (!readArtefactSettings(s_.programDir, a)) QApplication::beep();
  seconds_->setText(QString::fromStdString(a.minSeconds));
  microvolts_->setText(QString::fromStdString(a.minMicrovolts));
  all_->setChecked(a.allChannels);
  if (a.inductor < inductor_->count()) inductor_->setCurrentIndex(a.inductor);
  setProperty("helpContext", kArtefactsHelpContext);
  applyDialogLook(this);
}

ArtefactSettings ArtefactsWindow::settings() const {
  ArtefactSettings a;
  a.minSeconds = seconds_->text().toStdString();
  a.minMicrovolts = microvolts_->text().toStdString();
  a.inductor = std::max(0, inductor_->currentIndex());
  a.allChannels = all_->isChecked();
  return a;
}

void ArtefactsWindow::done(int result) {
  if (!saved_) {
    saved_ = true;
    writeArtefactSettings(s_.programDir, settings());
  }
  QDialog::done(result);
}

ArtefactSearchWindow::ArtefactSearchWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(u(kAfSearchCaption));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  auto* outer = new QVBoxLayout(this);
  auto* group = new QGroupBox(u(kAfSearchGroup), this);
  outer->addWidget(group);
  auto* g = new QVBoxLayout(group);
  const struct {
    const char* caption;
    const char* hint;
    ArtefactAnswer answer;
  } items[] = {{kAfCutOne, kAfCutOneHint, ArtefactAnswer::Cut},
               {kAfSkip, kAfSkipHint, ArtefactAnswer::Skip},
               {kAfCutAll, kAfCutAllHint, ArtefactAnswer::CutAll},
               {kAfStop, kAfStopHint, ArtefactAnswer::Stop}};
  for (const auto& it : items) {
    auto* b = new QPushButton(u(it.caption), group);
    b->setToolTip(u(it.hint));
    b->setAutoDefault(false);
    g->addWidget(b);
    buttons_[static_cast<int>(it.answer)] = b;
    const ArtefactAnswer a = it.answer;
    connect(b, &QPushButton::clicked, this, [this, a] {
      answer_ = a;
      done(a == ArtefactAnswer::Stop ? Rejected : Accepted);
    });
  }
  setProperty("helpContext", kArtefactsHelpContext);
  applyDialogLook(this);
}

QPushButton* ArtefactSearchWindow::button(ArtefactAnswer a) const { return buttons_[static_cast<int>(a)]; }

ArtefactAnswer ArtefactSearchConfirm::confirm(StudyState& s, int, int) {
  const int x = redraw_ ? redraw_(s) : 0;
  ArtefactSearchWindow w(parent_);
  w.move(x + 50, w.y());
  w.exec();
  s.dialogResult = static_cast<int>(w.answer());
  return w.answer();
}

}  // namespace velor
