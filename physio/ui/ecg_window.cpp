#include "physio/ui/ecg_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/numtext.h"
#include "core/record_file.h"
#include "physio/ecg_settings.h"
#include "physio/ecg_texts.h"

namespace velor {

namespace {

QString q(const char* t) { return QString::fromUtf8(t); }

std::string numberText(double v) { return formatNumber(v); }

}  // namespace

EcgWindow::EcgWindow(StudyState& s, Interaction& ui, Actions actions, QWidget* parent)
    : QDialog(parent), s_(s), ui_(ui), actions_(std::move(actions)) {
  setWindowTitle(q(kEcgWindowCaption));
  auto* top = new QVBoxLayout(this);

  auto* dyn = new QGroupBox(q("Динамика"), this);
  auto* dynGrid = new QGridLayout(dyn);
  static const char* const kDynamics[10][2] = {
      {"&1=RR", "Интервалограмма"},        {"&2=PQ", "Изменение PQ во времени"},
      {"&3=QRS", "Изменение QRS во времени"}, {"&4=QT", "Изменение QT во времени"},
      {"&5=ST", "Изменение ST во времени"}, {"&6=T-зубец", "Изменение T во времени"},
      {"&7=P-зубец", "Изменение P во времени"}, {"&8=Q-зубец", "Изменение Q во времени"},
      {"&9=R-зубец", "Изменение R во времени"}, {"&A=S-зубец", "Изменение S во времени"}};
  for (int b = 0; b < 10; ++b) {
    QPushButton* p = makeButton(kDynamics[b][0], kDynamics[b][1]);
    dynamics_.push_back(p);
    dynGrid->addWidget(p, b / 5, b % 5);
    QObject::connect(p, &QPushButton::clicked, this, [this, b] { runDynamics(b); });
  }
  top->addWidget(dyn);

  auto* cmds = new QGridLayout;
  struct Cmd {
    Button b;
    const char* caption;
    const char* hint;
  } const kCmds[] = {
      {Button::Diagnosis, "&B=Диагноз", "Отклонение от нормы"},
      {Button::Statistics, "&C=статистика", "Вариационная пульсометрия"},
      {Button::Scatter, "&D=скаттерграмма", "Диаграмма рассеяния RR"},
      {Button::Spectrum, "&E=спектр", "Спектр RR-интервалов"},
      {Button::StabilityLine, "&F=ПСС+ПСА", "Спектр RR-интервалов"},
      {Button::Convert, "Преобразовать", "Преобразовать в систему 12 отведений"},
      {Button::FilterTrial, "Проба фильтрации", "Преобразование к системе стандартных отведений"},
      {Button::Settings, "Настройка", "Параметры алгоритма выделения R-зубцов"},
  };
  int k = 0;
  for (const Cmd& c : kCmds) {
    QPushButton* p = makeButton(c.caption, c.hint);
    buttons_[c.b] = p;
    cmds->addWidget(p, k / 4, k % 4);
    ++k;
  }
  top->addLayout(cmds);
  QObject::connect(buttons_[Button::Diagnosis], &QPushButton::clicked, this, [this] { runDiagnosis(); });
  QObject::connect(buttons_[Button::Statistics], &QPushButton::clicked, this, [this] { runStatistics(); });
  QObject::connect(buttons_[Button::Scatter], &QPushButton::clicked, this, [this] { runScatter(); });
  QObject::connect(buttons_[Button::Spectrum], &QPushButton::clicked, this, [this] { runSpectrum(); });
  QObject::connect(buttons_[Button::Convert], &QPushButton::clicked, this, [this] { runConvert(); });
  QObject::connect(buttons_[Button::FilterTrial], &QPushButton::clicked, this, [this] { runFilterTrial(); });
  QObject::connect(buttons_[Button::Settings], &QPushButton::clicked, this, [this] {
    settingsBox_->setVisible(!settingsBox_->isVisible());
    resize(width(), settingsBox_->isVisible() ? 440 : 281);
  });
  QObject::connect(buttons_[Button::StabilityLine], &QPushButton::clicked, this, [this] { runStabilityLine(); });
  // the hidden button of the window: there, but not shown
  QPushButton* list = makeButton("", "");
  list->setVisible(false);
  buttons_[Button::IntervalList] = list;
  QObject::connect(list, &QPushButton::clicked, this, [this] { runIntervalList(); });

  settingsBox_ = new QGroupBox(q("Алгоритм выделения RR-зубцов"), this);
  auto* form = new QFormLayout(settingsBox_);
  static const char* const kLabels[4] = {"Полуширина R-зубца [мс]=", "Макс.частота СС в мин. =",
                                         "Вариабельность R-зубцов =", "Вариабельность RS ="};
  for (int i = 0; i < 4; ++i) {
    edits_[i] = new QLineEdit(settingsBox_);
    form->addRow(q(kLabels[i]), edits_[i]);
  }
  smoothing_ = new QComboBox(settingsBox_);
  for (int i = 0; i <= 5; ++i) smoothing_->addItem(QString::number(i));
  form->addRow(q("Сгладить="), smoothing_);
  allChannels_ = new QCheckBox(q("Все каналы"), settingsBox_);
  form->addRow(allChannels_);
  top->addWidget(settingsBox_);
  settingsBox_->setVisible(false);
  readSettings();
}

QPushButton* EcgWindow::makeButton(const char* caption, const char* hint) {
  auto* p = new QPushButton(q(caption), this);
  p->setToolTip(q(hint));
  p->setAutoDefault(false);
  return p;
}

void EcgWindow::showEvent(QShowEvent* e) {
  readSettings();
  QDialog::showEvent(e);
}

void EcgWindow::done(int r) {
  saveSettings();
  QDialog::done(r);
}

void EcgWindow::readSettings() {
  bool unreadable = false;
  const EcgSettings st = readEcgSettings(s_.programDir, &unreadable);
  if (unreadable) QApplication::beep();
  edits_[0]->setText(QString::fromStdString(numberText(st.detector.halfWidthMs)));
  edits_[1]->setText(QString::fromStdString(numberText(st.detector.maxHeartRate)));
  edits_[2]->setText(QString::fromStdString(numberText(st.detector.rVariability)));
  edits_[3]->setText(QString::fromStdString(numberText(st.detector.rsVariability)));
  smoothing_->setCurrentIndex(std::clamp(st.smoothingPasses, 0, 5));
  allChannels_->setChecked(st.allChannels);
  // a choice only for the group layout, where every channel is a subject
  allChannels_->setVisible(s_.groupMode > 0);
}

EcgSettings EcgWindow::settings() const {
  EcgSettings st;
  double* fields[4] = {&st.detector.halfWidthMs, &st.detector.maxHeartRate, &st.detector.rVariability,
                       &st.detector.rsVariability};
  for (int i = 0; i < 4; ++i) {
    const auto v = parseNumber(edits_[i]->text().toStdString());
    *fields[i] = v ? *v : 0;  // unreadable: the replacement below
  }
  st.detector = sanitizeBeatSettings(st.detector, s_.sampleRate);
  st.smoothingPasses = std::max(0, smoothing_->currentIndex());
  st.allChannels = allChannels_->isChecked();
  return st;
}

void EcgWindow::saveSettings() {
  const EcgSettings st = settings();
  writeEcgSettings(s_.programDir, st);
  edits_[0]->setText(QString::fromStdString(numberText(st.detector.halfWidthMs)));
  edits_[1]->setText(QString::fromStdString(numberText(st.detector.maxHeartRate)));
  edits_[2]->setText(QString::fromStdString(numberText(st.detector.rVariability)));
  edits_[3]->setText(QString::fromStdString(numberText(st.detector.rsVariability)));
}

int EcgWindow::currentChannel() const {
  return std::clamp(s_.firstShownChannel + s_.currentChannelRow, 0, std::max(0, s_.channelCount - 1));
}

bool EcgWindow::intervals(std::vector<int>& rr, int& rate) {
  saveSettings();
  std::string problem;
  const int n = collectIntervals(s_, currentChannel(), settings().detector, rr, rate, problem);
  if (n < 0) {
    ui_.message(problem);
    return false;
  }
  if (n < 3) {
    ui_.message(kEcgTooFewIntervals);
    return false;
  }
  return true;
}

std::vector<int> EcgWindow::commandChannels(bool statisticsKind) const {
  // the box counts only where it is shown: a hidden tick left in "qecg.ini"
  // must not change what a command does
  const bool every = s_.groupMode > 0 && allChannels_->isChecked() && (!statisticsKind || s_.groupMode == 2);
  if (!every) return {currentChannel()};
  std::vector<int> all;
  for (int c = 0; c < s_.channelCount; ++c) all.push_back(c);
  return all;
}

bool EcgWindow::forChannels(bool statisticsKind, const std::function<bool()>& one) {
  const std::vector<int> channels = commandChannels(statisticsKind);
  if (channels.size() == 1 && channels[0] == currentChannel()) return one();
  struct Restore {
    StudyState& s;
    int first, row;
    ~Restore() {
      s.firstShownChannel = first;
      s.currentChannelRow = row;
    }
  } restore{s_, s_.firstShownChannel, s_.currentChannelRow};
  bool any = false;
  for (int c : channels) {
    // the text window's header names the subject of the current channel
    s_.firstShownChannel = 0;
    s_.currentChannelRow = c;
    any = one() || any;
  }
  return any;
}

void EcgWindow::runDynamics(int block) {
  const bool any = forChannels(false, [&] {
    std::vector<int> rr;
    int rate = 0;
    if (!intervals(rr, rate)) return false;
    BeatDynamics d;
    std::string msg;
    if (!computeBeatDynamics(s_, currentChannel(), s_.resultStore, static_cast<int>(rr.size()), block, rate, d,
                             msg)) {
      ui_.message(msg);
      return false;
    }
    hide();
    if (actions_.dynamics) actions_.dynamics(d);
    return true;
  });
  if (any) done(QDialog::Accepted);
}

bool EcgWindow::statisticsOfCurrent(RrStatistics& st) {
  std::vector<int> rr;
  int rate = 0;
  if (!intervals(rr, rate)) return false;
  std::string msg;
  if (!computeRrStatistics(rr, rate, st, msg)) {
    ui_.message(msg);
    return false;
  }
  return true;
}

void EcgWindow::runStatistics() {
  const bool any = forChannels(true, [&] {
    RrStatistics st;
    if (!statisticsOfCurrent(st)) return false;
    hide();
    if (actions_.statistics) actions_.statistics(st);
    return true;
  });
  if (any) done(QDialog::Accepted);
}

void EcgWindow::runStabilityLine() {
  const std::string path = (s_.dataDir.empty() ? s_.programDir : s_.dataDir) + kEcgBatchFile;
  bool failed = false;
  const bool any = forChannels(true, [&] {
    if (failed) return false;
    RrStatistics st;
    if (!statisticsOfCurrent(st)) return false;
    hide();
    if (actions_.statistics) actions_.statistics(st);
    std::string why;
    if (!appendBatchLine(path, stabilityLine(st), why)) {
      // the statistics stay in the text window: the line is not kept anywhere else
      ui_.message(why);
      failed = true;
    } else if (actions_.clearText) {
      // emptied for the next recording of a batch
      actions_.clearText();
    }
    return true;
  });
  if (any) done(QDialog::Accepted);
}

void EcgWindow::runIntervalList() {
  std::vector<std::string> lines;
  for (int k = 0; k < 3; ++k) {
    // the monitor's next-record step, with its question about a changed record
    if (k > 0 && !stepRecord(s_, +1, ui_)) break;
    std::vector<int> rr;
    int rate = 0;
    if (!intervals(rr, rate)) break;
    for (std::string& l : intervalListLines(rr, rate)) lines.push_back(std::move(l));
  }
  if (lines.empty()) return;
  hide();
  if (actions_.intervalList) actions_.intervalList(lines);
  done(QDialog::Accepted);
}

void EcgWindow::runScatter() {
  const bool every = s_.groupMode > 0 && allChannels_->isChecked();
  bool asked = false, standard = every;
  const bool any = forChannels(true, [&] {
    std::vector<int> rr;
    int rate = 0;
    if (!intervals(rr, rate)) return false;
    if (!every && !asked) {
      standard = ui_.ask(kEcgScaleQuestion);
      asked = true;
    }
    hide();
    if (actions_.scatter) actions_.scatter(rrScatterPoints(rr, rate), standard);
    return true;
  });
  if (any) done(QDialog::Accepted);
}

void EcgWindow::runSpectrum() {
  if (actions_.bands && !actions_.bands()) return;
  const EcgBands bands = readEcgBands(s_.programDir);
  const bool any = forChannels(true, [&] {
    std::vector<int> rr;
    int rate = 0;
    if (!intervals(rr, rate)) return false;
    RrSpectrum sp;
    std::string msg;
    if (!computeRrSpectrum(rr, rate, bands, settings().smoothingPasses, sp, msg)) {
      ui_.message(msg);
      return false;
    }
    hide();
    if (actions_.spectrum) actions_.spectrum(sp);
    return true;
  });
  if (any) done(QDialog::Accepted);
}

void EcgWindow::runDiagnosis() {
  saveSettings();
  hide();  // the window closes before the diagnosis runs
  EcgDiagnosis d;
  std::string msg;
  if (!diagnoseEcg(s_, currentChannel(), settings().detector, d, msg)) {
    ui_.message(msg);
  } else if (actions_.diagnosis) {
    actions_.diagnosis(d);
  }
  done(QDialog::Accepted);
}

void EcgWindow::runConvert() {
  saveSettings();
  if (convertTo12Leads(s_) && actions_.redraw) actions_.redraw();
  done(QDialog::Accepted);
}

void EcgWindow::runFilterTrial() {
  saveSettings();
  const int c = currentChannel();
  const BeatDetectorSettings st = settings().detector;
  const std::string problem = beatSettingsProblem(st, s_.sampleRate);
  if (!problem.empty()) {
    ui_.message(problem);
    return;
  }
  const int h = static_cast<int>(st.halfWidthMs * s_.sampleRate / 1000.0 + 0.5);
  std::int16_t* x = s_.channelData[static_cast<std::size_t>(c)];
  beatDetectionFilter({x, s_.recordLength, s_.zeroLevel[c], s_.sampleRate}, h, s_.spareTrace[0]);
  std::copy_n(s_.spareTrace[0], s_.recordLength, x);
  for (int i = 0; i < s_.recordLength; ++i) x[i] = sampleCode(x[i]);
  s_.recordModified = 1;
  if (actions_.redraw) actions_.redraw();
  done(QDialog::Accepted);
}

}  // namespace velor
