#include "shell/ui/exam_wiring.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <array>

#include "acquisition/device_texts.h"
#include "acquisition/exam_texts.h"
#include "acquisition/ui/plan_dialog.h"
#include "acquisition/ui/sport_dialog.h"
#include "core/binio.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "shell/main_commands.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/main_window.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {

namespace {

constexpr const char* kObjectName = "examination";
constexpr int kDrawMilliseconds = 33;  // the live sweep at 30 frames a second

QString q(const char* s) { return QString::fromUtf8(s); }

class ExamHost final : public QObject {
 public:
  explicit ExamHost(MainWindow& w) : QObject(&w), w_(w) {
    setObjectName(QString::fromLatin1(kObjectName));
    draw_ = new QTimer(this);
    draw_->setInterval(kDrawMilliseconds);
    connect(draw_, &QTimer::timeout, this, [this] { drain(); });
  }
  ~ExamHost() override { endNow(); }

  std::function<void(PlanDialog&)> runDialog;
  std::function<void(SportDialog&)> runSport;

  void wire() {
    if (wired_) return;
    wired_ = true;
    w_.commands().setHandler(Cmd::Examination, [this] {
      startExamination();
      return CommandResult::done(ViewChange::None);
    });
    if (MonitorWidget* m = w_.monitor())
      connect(m, &MonitorWidget::acquisitionKey, this, [this](int code) { key(code); });
    w_.installEventFilter(this);
    setBeforeDeviceGoes(w_, [this] { endNow(); });
    buildPanel();
  }

  std::optional<ExamStatus> status() const {
    if (!engine_) return std::nullopt;
    return engine_->status();
  }
  QToolBar* panel() const { return panel_; }

  void endNow() {
    if (!engine_) return;
    engine_->post(kCmdStop);
    if (runner_) runner_->join();
    finish();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // While an examination runs, closing the window only ends it.
    if (watched == &w_ && event->type() == QEvent::Close && engine_) {
      event->ignore();
      endNow();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void startExamination() {
    if (engine_) {
      engine_->post(kCmdStop);
      return;
    }
    StudyState& s = w_.study();
    Interaction& ui = w_.interaction();
    if (w_.height() > 1200 || w_.width() > 1920) {
      ui.message(exam_texts::kWindowTooLarge);
      return;
    }
    AcquisitionDevice* device = acquisitionDevice(w_);
    if (!device) {
      ui.message(device_texts::kNotOpen);
      return;
    }
    if (s.viewMode != ViewMode::Signals) s.leaveTransformView();
    s.recordFileVersion = kVersionCA40;
    if (s.deviceKind >= 1) s.gainStep = 1;
    if (!planRead_) {
      // The device's own plan file, when the settings folder has one.
      planRead_ = true;
      const std::string name = devicePlanFileName(s.deviceKind, device->describe().deviceChannelCount);
      if (!name.empty() && fileExists(s.programDir + name)) {
        std::string reason;
        if (!readPlanFile(s.programDir + name, s, plan_, reason)) ui.message(std::string(kInterruptPrefix) + reason);
      }
    }
    if (skippedByRate_ > 5 || skippedByInterrupt_ > 5)
      ui.message(std::string(exam_texts::kSkippedByRate) + std::to_string(skippedByRate_) +
                 exam_texts::kSkippedByInterrupt + std::to_string(skippedByInterrupt_));
    skippedByRate_ = skippedByInterrupt_ = 0;
    int fd = -1;
    std::string path;
    bool planDialog = true;
    // In sports diagnostics (work mode 2) the diagnostics dialog comes first;
    // its "Меню планирования" leads on to the ordinary plan.
    if (s.groupMode == 2) {
      SportDialog sd(s, plan_, ui, &w_);
      connect(&sd, &SportDialog::headerRequested, this, [this] { w_.runCommand(Cmd::Header); });
      s.dialogResult = 0;
      if (runSport)
        runSport(sd);
      else
        sd.exec();
      if (s.dialogResult == 1) {
        fd = sd.examFd();
        path = sd.examPath();
        planDialog = false;
      } else if (s.dialogResult != 10) {
        w_.refreshMonitor();
        return;
      }
    }
    if (planDialog) {
      PlanDialog d(s, plan_, ui, &device->describe(), [this](bool save) -> std::optional<std::string> {
        const auto chosen = w_.fileChooser().choose(w_.study(), FileKind::ExamPlans, save, std::string());
        if (!chosen) return std::nullopt;
        return chosen->string();
      }, &w_);
      connect(&d, &PlanDialog::headerRequested, this, [this] { w_.runCommand(Cmd::Header); });
      connect(&d, &PlanDialog::namesRequested, this, [this] {
        w_.runCommand(w_.study().deviceKind == 3 ? Cmd::Amplifier : Cmd::Leads);
      });
      connect(&d, &PlanDialog::amplifierRequested, this, [this] { w_.runCommand(Cmd::Amplifier); });
      s.dialogResult = 0;
      if (runDialog)
        runDialog(d);
      else
        d.exec();
      if (s.dialogResult != 1) {
        w_.refreshMonitor();
        return;
      }
      fd = d.examFd();
      path = d.examPath();
    }
    // Rows and axes for the plan, laid out while the record is still ours.
    w_.refreshMonitor();
    rate_ = s.sampleRate;
    length_ = s.recordLength;
    fileName_ = s.recordFileName;
    recordDate_ = s.recordDate;
    engine_ = std::make_unique<ExaminationEngine>(s, plan_, *device, clock_, fd, path);
    engine_->setMonitorWidth(s.monitorWidth);
    std::string reason;
    if (!engine_->begin(reason)) {
      engine_.reset();
      s.acquisitionActive = 0;
      ui.message(reason);
      w_.refreshMonitor();
      return;
    }
    // A plan that names what this build does not have yet runs without it.
    const ExamStatus first = engine_->status();
    if (first.protocolSkipped) ui.message(exam_texts::kProtocolLater);
    if (first.expressSkipped) ui.message(exam_texts::kExpressLater);
    enterScreen();
    runner_ = std::make_unique<ExaminationRunner>(*engine_, clock_);
    runner_->start();
    draw_->start();
  }

  void enterScreen() {
    StudyState& s = w_.study();
    hiddenBars_.clear();
    if (w_.menuBar()->isVisible()) {
      w_.menuBar()->hide();
      hiddenBars_.push_back(w_.menuBar());
    }
    for (QToolBar* t : w_.toolPanels())
      if (t->isVisible()) {
        t->hide();
        hiddenBars_.push_back(t);
      }
    channelList_->clear();
    for (int ch = 0; ch < s.channelCount; ++ch) channelList_->addItem(QString::fromStdString(s.channelNames[ch]));
    recordButton_->setText(q(exam_texts::kRecordOn));
    recordButton_->setEnabled(!engine_->examPath().empty() && plan_.protocolLineCount() == 0);
    panel_->show();
    decimation_ = plan_.displayDecimation;
    previous_.fill(0);
    for (int ch = 0; ch < kMaxChannels; ++ch) previous_[ch] = static_cast<std::int16_t>(s.zeroLevel[ch]);
    if (MonitorWidget* m = w_.monitor()) {
      m->timeAxis(static_cast<double>(rate_) / (1 << decimation_));
      m->drawSweepAxes();
      m->drawSweepNames();
      m->setFocus();
    }
  }

  void leaveScreen() {
    panel_->hide();
    for (QWidget* b : hiddenBars_) b->show();
    hiddenBars_.clear();
  }

  void drain() {
    if (!engine_) return;
    MonitorWidget* m = w_.monitor();
    SweepColumn c;
    while (engine_->sweep().pop(c)) {
      if (!m) continue;
      if (c.sweepStart) m->drawSweepNames();
      m->drawSweepValues(c.x, previous_.data(), c.values, c.channels);
      std::copy(c.values, c.values + kMaxChannels, previous_.begin());
    }
    const ExamStatus st = engine_->status();
    if (st.displayDecimation != decimation_ && m) {
      decimation_ = st.displayDecimation;
      m->timeAxis(static_cast<double>(rate_) / (1 << decimation_));
      m->drawSweepAxes();
      m->drawSweepNames();
    }
    recordButton_->setText(q(st.recordingOn ? exam_texts::kRecordOff : exam_texts::kRecordOn));
    if (QLabel* caption = w_.monitorCaption())
      caption->setText(QString::fromStdString(
          examStatusLine(plan_.lastPlanName, fileName_, recordDate_, length_, rate_, st)));
    if (st.ended) {
      finish();
      // As after every examination the plan comes back (the monitor's F12);
      // cancelling it leaves the recording open in the viewer.
      QTimer::singleShot(0, this, [this] {
        if (!engine_ && !w_.study().acquisitionActive) startExamination();
      });
    }
  }

  void finish() {
    if (!engine_) return;
    draw_->stop();
    if (runner_) runner_->join();
    const ExamStatus st = engine_->status();
    const std::string path = engine_->examPath();
    skippedByRate_ = st.skippedByRate;
    skippedByInterrupt_ = st.skippedByInterrupt;
    runner_.reset();
    engine_.reset();
    StudyState& s = w_.study();
    s.acquisitionActive = 0;
    leaveScreen();
    Interaction& ui = w_.interaction();
    if (!st.endMessage.empty()) ui.message(st.endMessage);
    if (!path.empty() && fileExists(path)) openRecordPath(s, path, ui);
    w_.refreshMonitor();
  }

  // The monitor's keys during an examination. The rows and the first shown
  // channel are the interface's own business; everything goes to the engine
  // too, which logs it and carries out its own commands.
  void key(int code) {
    if (!engine_) return;
    StudyState& s = w_.study();
    const bool noExpress = plan_.expressAnalysisKind == 0;
    bool rows = false;
    if (code == kCmdMoreRows && noExpress && s.shownChannelCount < s.channelCount) {
      s.shownChannelCount = 2 * s.shownChannelCount <= s.channelCount / 2 ? 2 * s.shownChannelCount : s.channelCount;
      if (s.firstShownChannel + s.shownChannelCount > s.channelCount) s.firstShownChannel = s.channelCount - s.shownChannelCount;
      rows = true;
    } else if (code == kCmdFewerRows && noExpress && s.shownChannelCount >= 2) {
      s.shownChannelCount /= 2;
      rows = true;
    } else if (code == kCmdHome && s.firstShownChannel >= 1) {
      --s.firstShownChannel;
      rows = true;
    } else if (code == kCmdEnd && s.firstShownChannel + s.shownChannelCount < s.channelCount) {
      ++s.firstShownChannel;
      rows = true;
    }
    if (rows && s.shownChannelCount > 0) {
      const double band = static_cast<double>(s.monitorHeight - 15) / s.shownChannelCount;
      s.rowHeight = static_cast<int>(band);
      for (int i = 0; i <= kMaxChannels; ++i) s.rowBaseY[static_cast<std::size_t>(i)] = static_cast<int>(band * (i + 0.5)) + 15;
      if (MonitorWidget* m = w_.monitor()) {
        m->drawSweepAxes();
        m->drawSweepNames();
      }
    }
    engine_->post(code);
  }

  void buildPanel() {
    panel_ = new QToolBar(&w_);
    panel_->setObjectName("recordingPanel");
    w_.addToolBar(Qt::TopToolBarArea, panel_);
    auto button = [this](const char* caption, const char* hint, int command) {
      auto* b = new QToolButton(panel_);
      b->setText(q(caption));
      if (hint) b->setToolTip(q(hint));
      if (command != 0) connect(b, &QToolButton::clicked, this, [this, command] { key(command); });
      panel_->addWidget(b);
      return b;
    };
    button(exam_texts::kStopButton, exam_texts::kStopHint, kCmdStop);
    recordButton_ = button(exam_texts::kRecordOn, exam_texts::kRecordHint, kCmdRecord);
    recordButton_->setObjectName("recordButton");
    panel_->addWidget(new QLabel(q(exam_texts::kChannel), panel_));
    channelList_ = new QComboBox(panel_);
    panel_->addWidget(channelList_);
    // Filter and gain changes reach the device, which the engine's thread
    // owns while it runs: they wait for a command path of their own.
    for (const char* caption : {exam_texts::kHighPass, exam_texts::kLowPass}) {
      panel_->addWidget(new QLabel(q(caption), panel_));
      auto* list = new QComboBox(panel_);
      list->setEnabled(false);
      panel_->addWidget(list);
    }
    for (const char* caption : {exam_texts::kGainDown, exam_texts::kGainUp}) button(caption, nullptr, 0)->setEnabled(false);
    button(exam_texts::kCompressT, nullptr, kCmdCompress);
    button(exam_texts::kStretchT, nullptr, kCmdStretch);
    button(exam_texts::kFewerChannels, nullptr, kCmdFewerRows);
    button(exam_texts::kMoreChannels, nullptr, kCmdMoreRows);
    panel_->addWidget(new QLabel(q(exam_texts::kOutputs), panel_));
    for (int i = 1; i <= 8; ++i) {
      const std::string hint = std::string(exam_texts::kOutputHint) + std::to_string(i);
      auto* b = new QToolButton(panel_);
      b->setText(QString::number(i));
      b->setToolTip(QString::fromStdString(hint));
      connect(b, &QToolButton::clicked, this, [this, i] { key(kCmdOutput1 + i - 1); });
      panel_->addWidget(b);
    }
    panel_->hide();
  }

  MainWindow& w_;
  bool wired_ = false;
  bool planRead_ = false;
  SteadyClock clock_;
  ExaminationPlan plan_;
  std::unique_ptr<ExaminationEngine> engine_;
  std::unique_ptr<ExaminationRunner> runner_;
  QTimer* draw_ = nullptr;
  QToolBar* panel_ = nullptr;
  QToolButton* recordButton_ = nullptr;
  QComboBox* channelList_ = nullptr;
  std::vector<QWidget*> hiddenBars_;
  std::array<std::int16_t, kMaxChannels> previous_{};
  int decimation_ = 0;
  long long skippedByRate_ = 0, skippedByInterrupt_ = 0;
  int rate_ = 0, length_ = 0;
  std::string fileName_;
  double recordDate_ = 0;
};

ExamHost* hostOf(MainWindow& w, bool create) {
  auto* h = w.findChild<ExamHost*>(QString::fromLatin1(kObjectName), Qt::FindDirectChildrenOnly);
  if (!h && create) h = new ExamHost(w);
  return h;
}

}  // namespace

void startExaminationWiring(MainWindow& w) { hostOf(w, true)->wire(); }

void setPlanDialogRunner(MainWindow& w, std::function<void(PlanDialog&)> run) {
  hostOf(w, true)->runDialog = std::move(run);
}

void setSportDialogRunner(MainWindow& w, std::function<void(SportDialog&)> run) {
  hostOf(w, true)->runSport = std::move(run);
}

std::optional<ExamStatus> examinationStatus(MainWindow& w) {
  ExamHost* h = hostOf(w, false);
  return h ? h->status() : std::nullopt;
}

QToolBar* recordingPanel(MainWindow& w) {
  ExamHost* h = hostOf(w, false);
  return h ? h->panel() : nullptr;
}

void stopExamination(MainWindow& w) {
  if (ExamHost* h = hostOf(w, false)) h->endNow();
}

}  // namespace velor::shell
