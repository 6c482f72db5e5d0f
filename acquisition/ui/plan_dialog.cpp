#include "acquisition/ui/plan_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <unistd.h>

#include "acquisition/exam_engine.h"
#include "acquisition/exam_texts.h"
#include "core/numtext.h"
#include "core/ui/dialog_look.h"

namespace velor {

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }
QString q(const std::string& s) { return QString::fromStdString(s); }

std::optional<int> numberOf(const QLineEdit* e) { return parseInteger(e->text().toStdString()); }

}  // namespace

PlanDialog::PlanDialog(StudyState& s, ExaminationPlan& plan, Interaction& ui, const DeviceDescription* device,
                       ChoosePlanFile choosePlanFile, QWidget* parent)
    : QDialog(parent), s_(s), plan_(plan), ui_(ui), device_(device), choose_(std::move(choosePlanFile)) {
  setWindowTitle(q(exam_texts::kStudy));
  setObjectName("planDialog");
  const bool nvx = s_.deviceKind == 3;
  auto* grid = new QGridLayout;
  int row = 0;
  auto addRow = [&](const char* caption, QWidget* w) {
    grid->addWidget(new QLabel(q(caption)), row, 0);
    grid->addWidget(w, row, 1);
    ++row;
  };
  channels_ = new QLineEdit(q("4"));
  addRow(exam_texts::kChannels, channels_);
  rateEdit_ = new QLineEdit(q("100"));
  rateList_ = new QComboBox;
  auto* rateBox = new QWidget;
  auto* rateLayout = new QHBoxLayout(rateBox);
  rateLayout->setContentsMargins(0, 0, 0, 0);
  rateLayout->addWidget(rateEdit_);
  rateLayout->addWidget(rateList_);
  addRow(exam_texts::kRate, rateBox);
  interval_ = new QComboBox;
  addRow(exam_texts::kInterval, interval_);
  compress_ = new QComboBox;
  for (int i = 1; i <= 9; ++i) compress_->addItem(QString::number(i));
  addRow(exam_texts::kCompress, compress_);
  shown_ = new QLineEdit;
  addRow(exam_texts::kShownMax, shown_);
  file_ = new QComboBox;
  file_->setEditable(true);
  file_->setInsertPolicy(QComboBox::NoInsert);
  addRow(exam_texts::kFile, file_);
  reference_ = new QComboBox;
  for (const char* r : {exam_texts::kAbsent, exam_texts::kA1, exam_texts::kA2, exam_texts::kA1A2, exam_texts::kSymmetr})
    reference_->addItem(q(r));
  addRow(exam_texts::kReference, reference_);
  discrete_ = new QCheckBox(q(exam_texts::kDiscrete));
  discrete_->setEnabled(false);  // display only
  grid->addWidget(discrete_, row++, 0, 1, 2);
  interrupts_ = new QCheckBox(q(exam_texts::kInterrupts));
  grid->addWidget(interrupts_, row++, 0, 1, 2);

  auto* monitorBox = new QGroupBox(q(exam_texts::kMonitor));
  auto* monitorLayout = new QHBoxLayout(monitorBox);
  monitor_ = new QButtonGroup(this);
  int id = 0;
  for (const char* caption : {exam_texts::kPresent, exam_texts::kDeferred, exam_texts::kAbsent}) {
    auto* b = new QRadioButton(q(caption));
    monitor_->addButton(b, id++);
    monitorLayout->addWidget(b);
  }

  auto button = [this](const char* caption) {
    auto* b = new QPushButton(q(caption), this);
    b->setAutoDefault(false);
    return b;
  };
  header_ = button(exam_texts::kHeader);
  names_ = button(nvx ? exam_texts::kLeads : exam_texts::kNames);
  if (nvx) names_->setToolTip(q(exam_texts::kLeadsHint));
  amplifier_ = button(exam_texts::kAmplifier);
  protocol_ = button(exam_texts::kProtocol);
  express_ = button(exam_texts::kExpress);
  constructor_ = button(exam_texts::kConstructor);
  read_ = button(exam_texts::kRead);
  save_ = button(exam_texts::kSave);
  start_ = button(exam_texts::kStart);
  start_->setDefault(true);
  cancel_ = button(exam_texts::kCancel);
  // Protocols and instruments arrive with their windows.
  protocol_->setEnabled(false);
  protocol_->setToolTip(q(exam_texts::kProtocolLater));
  constructor_->setEnabled(false);
  constructor_->setToolTip(q(exam_texts::kInstrumentsLater));
  protocolLabel_ = new QLabel;
  expressLabel_ = new QLabel;
  instrumentsLabel_ = new QLabel;

  auto* side = new QGridLayout;
  side->addWidget(header_, 0, 0, 1, 2);
  side->addWidget(names_, 1, 0, 1, 2);
  side->addWidget(amplifier_, 2, 0, 1, 2);
  side->addWidget(protocol_, 3, 0);
  side->addWidget(protocolLabel_, 3, 1);
  side->addWidget(express_, 4, 0);
  side->addWidget(expressLabel_, 4, 1);
  side->addWidget(constructor_, 5, 0);
  side->addWidget(instrumentsLabel_, 5, 1);
  side->addWidget(read_, 6, 0);
  side->addWidget(save_, 6, 1);
  auto* top = new QHBoxLayout;
  top->addLayout(grid);
  top->addLayout(side);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(start_);
  bottom->addWidget(cancel_);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addWidget(monitorBox);
  all->addLayout(bottom);
  applyDialogLook(this);

  // Amplifiers offer their rates as a list and have no interrupt mode.
  rateEdit_->setVisible(board());
  rateList_->setVisible(!board());
  interrupts_->setVisible(board());
  discrete_->setVisible(board());
  reference_->setEnabled(nvx);
  amplifier_->setVisible(!nvx);
  if (!board() && device_)
    for (int r : device_->rates) rateList_->addItem(QString::number(r));

  connect(start_, &QPushButton::clicked, this, &PlanDialog::startClicked);
  connect(cancel_, &QPushButton::clicked, this, &PlanDialog::cancelClicked);
  connect(read_, &QPushButton::clicked, this, &PlanDialog::readClicked);
  connect(save_, &QPushButton::clicked, this, &PlanDialog::saveClicked);
  connect(header_, &QPushButton::clicked, this, &PlanDialog::headerRequested);
  connect(names_, &QPushButton::clicked, this, &PlanDialog::namesRequested);
  connect(amplifier_, &QPushButton::clicked, this, &PlanDialog::amplifierRequested);
  connect(express_, &QPushButton::clicked, this, [this] {
    Q_EMIT expressRequested();
    refreshLabels();
  });
  connect(rateEdit_, &QLineEdit::editingFinished, this, &PlanDialog::rateEdited);
  connect(rateList_, &QComboBox::currentIndexChanged, this, &PlanDialog::rateEdited);
  connect(channels_, &QLineEdit::editingFinished, this, [this] {
    const auto n = numberOf(channels_);
    const int most = s_.groupMode != 0 ? 6 : board() ? 32 : kMaxChannels;
    if (!n || *n < 1) return;
    s_.channelCount = std::min(*n, most);
    s_.shownChannelCount = s_.channelCount;
    shown_->setText(QString::number(s_.shownChannelCount));
  });

  readPlanSettings(s_.programDir, plan_);
  if (!interrupts_->isVisible()) plan_.interruptMode = false;
  fillFromState();
}

void PlanDialog::fillFromState() {
  channels_->setText(QString::number(s_.channelCount));
  rateEdit_->setText(QString::number(s_.sampleRate));
  const int rateItem = rateList_->findText(QString::number(s_.sampleRate));
  if (rateItem >= 0) {
    QSignalBlocker block(rateList_);
    rateList_->setCurrentIndex(rateItem);
  }
  rebuildIntervals();
  const int item = intervalItemFor(s_.recordLength);
  interval_->setCurrentIndex(item >= 0 ? item : 5);
  compress_->setCurrentIndex(std::clamp(plan_.displayDecimation, 0, 8));
  shown_->setText(QString::number(s_.shownChannelCount));
  reference_->setCurrentIndex(std::clamp(plan_.nvxReference, 0, 4));
  if (QAbstractButton* b = monitor_->button(static_cast<int>(plan_.monitorMode))) b->setChecked(true);
  discrete_->setChecked(s_.markChannelCount != 0 && s_.deviceKind != 3);
  interrupts_->setChecked(plan_.interruptMode);
  file_->clear();
  for (const auto& n : plan_.fileNames)
    if (!n.empty()) file_->addItem(q(n));
  // A file that already holds records is not offered for overwriting.
  const std::string name = s_.recordFileName.empty() || s_.recordCount > 0 ? plan_.fileNames[0] : s_.recordFileName;
  file_->setEditText(q(name));
  refreshLabels();
}

void PlanDialog::refreshLabels() {
  const int k = plan_.expressAnalysisKind;
  protocolLabel_->setText(q(plan_.protocolLineCount() > 0 ? exam_texts::kPresent : exam_texts::kAbsent));
  expressLabel_->setText(q((k >= 1 && k <= 19) || (k >= 21 && k <= 39) ? exam_texts::kPresent : exam_texts::kAbsent));
  instrumentsLabel_->setText(q(k >= 20 ? exam_texts::kPresent : exam_texts::kAbsent));
}

void PlanDialog::rebuildIntervals() {
  const int keep = interval_->currentIndex();
  QSignalBlocker block(interval_);
  interval_->clear();
  for (const auto& label : intervalLabels(s_.sampleRate)) interval_->addItem(q(label));
  if (keep >= 0 && keep < interval_->count()) interval_->setCurrentIndex(keep);
}

void PlanDialog::rateEdited() {
  const std::optional<int> rate =
      board() ? numberOf(rateEdit_) : parseInteger(rateList_->currentText().toStdString());
  // The rate is stored in 16 bits in plan files: keep it there.
  if (!rate || !planRateAcceptable(*rate) || *rate == s_.sampleRate) return;
  s_.sampleRate = *rate;
  rebuildIntervals();
}

void PlanDialog::startClicked() {
  s_.dialogResult = 0;
  if (const auto n = numberOf(channels_); n && *n >= 1) {
    const int most = s_.groupMode != 0 ? 6 : board() ? 32 : std::min(kMaxChannels, device_ ? std::max(1, device_->recordChannelCount) : kMaxChannels);
    if (*n <= most) s_.channelCount = *n;
  }
  if (board()) {
    if (const auto r = numberOf(rateEdit_); r && *r >= 20 && *r <= 10000) s_.sampleRate = *r;
  } else if (const auto r = parseInteger(rateList_->currentText().toStdString()); r && planRateAcceptable(*r)) {
    s_.sampleRate = *r;
  }
  if (s_.deviceKind == 3) plan_.nvxReference = std::max(0, reference_->currentIndex());
  s_.markChannelCount = 1;
  const int length = intervalSamples(interval_->currentIndex());
  if (length < 0) return;  // no interval chosen: nothing to record
  s_.recordLength = length > 32000 ? kMaxRecordSamples : length;
  s_.plannedRecordLength = s_.recordLength;
  s_.storedLength = s_.recordLength;
  plan_.displayDecimation = std::max(0, compress_->currentIndex());
  plan_.monitorMode = static_cast<MonitorMode>(std::max(0, monitor_->checkedId()));
  plan_.interruptMode = interrupts_->isVisible() && interrupts_->isChecked();
  plan_.recordName = trimSpaces(file_->currentText().toStdString());
  if (s_.firstShownChannel == 0) {
    const auto nmax = numberOf(shown_);
    s_.shownChannelCount = nmax && *nmax > 0 && *nmax < s_.channelCount ? *nmax : s_.channelCount;
  }
  if (examFd_ >= 0) {
    ::close(examFd_);
    examFd_ = -1;
  }
  const int fd = createExamFile(s_, plan_, ui_, false, examPath_);
  if (fd == -1 || fd == -2) return;  // could not create, or the person kept the old file
  examFd_ = fd >= 0 ? fd : -1;
  s_.dialogResult = 1;
  accept();
}

void PlanDialog::cancelClicked() {
  s_.dialogResult = 0;
  plan_.interruptMode = false;
  reject();
}

void PlanDialog::readClicked() {
  if (!choose_) return;
  const auto path = choose_(false);
  if (!path) return;
  const int keptRate = s_.sampleRate;
  std::string reason;
  if (!readPlanFile(*path, s_, plan_, reason)) {
    ui_.message(reason);
    return;
  }
  if (!board() && rateList_->findText(QString::number(s_.sampleRate)) < 0) s_.sampleRate = keptRate;
  s_.dialogResult = 0;
  s_.recordFileName.clear();
  fillFromState();
}

void PlanDialog::saveClicked() {
  if (!choose_) return;
  s_.markChannelCount = 1;
  plan_.monitorMode = static_cast<MonitorMode>(std::max(0, monitor_->checkedId()));
  const auto path = choose_(true);
  if (!path) return;
  std::string reason;
  if (!writePlanFile(*path, s_, plan_, s_.deviceKind, reason)) ui_.message(reason);
  s_.dialogResult = 0;
}

void PlanDialog::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F3) {
    readClicked();
    return;
  }
  if (e->key() == Qt::Key_F4) {
    saveClicked();
    return;
  }
  if (e->key() == Qt::Key_Escape) {
    cancelClicked();
    return;
  }
  QDialog::keyPressEvent(e);
}

void PlanDialog::done(int r) {
  writePlanSettings(s_.programDir, plan_);
  QDialog::done(r);
}

}  // namespace velor
