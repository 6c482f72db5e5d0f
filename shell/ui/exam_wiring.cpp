#include "shell/ui/exam_wiring.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <array>
#include <atomic>
#include <memory>

#include "acquisition/device_texts.h"
#include "acquisition/exam_texts.h"
#include "acquisition/ui/express_dialog.h"
#include "acquisition/ui/express_window.h"
#include "acquisition/ui/plan_dialog.h"
#include "acquisition/ui/record_file_dialog.h"
#include "acquisition/ui/sport_dialog.h"
#include "results/text_results.h"
#include "results/ui/text_results_window.h"
#include "core/binio.h"
#include "core/numtext.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "shell/main_commands.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/main_window.h"
#include "shell/ui/map_wiring.h"
#include "viewer/ui/monitor_widget.h"

namespace velor::shell {

namespace {

constexpr const char* kObjectName = "examination";
constexpr int kDrawMilliseconds = 33;  // the live sweep at 30 frames a second
constexpr int kSideWidth = 320;        // the express side window beside the monitor
constexpr int kSportSideWidth = 600;   // "RR-диаграммы" of the sports diagnostics

QString q(const char* s) { return QString::fromUtf8(s); }

// A change of the amplifier settings sent to the acquisition side: the table
// it applies, and the outcome once it ran there.
struct AmplifierChange {
  AmplifierTable table;
  DeviceResult result;
  std::atomic<bool> done{false};
};

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
  std::function<void(RecordFileDialog&)> runFileDialog;
  std::function<void(ExpressDialog&)> runExpress;

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
    // Start-up reads the device's plan file (written with the defaults
    // when missing) as soon as the device is there.
    setAfterDeviceOpened(w_, [this] { loadDevicePlanFile(); });
    if (acquisitionDevice(w_)) loadDevicePlanFile();
    buildPanel();
  }

  void loadDevicePlanFile() {
    AcquisitionDevice* device = acquisitionDevice(w_);
    if (planRead_ || !device) return;
    planRead_ = true;
    std::string name, reason;
    if (!loadDevicePlan(w_.study(), plan_, device->describe(), name, reason))
      w_.interaction().message(std::string(kInterruptPrefix) + reason);
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
    if (side_ && watched == side_->parentWidget() && event->type() == QEvent::Resize) placeSide();
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
    // As the monitor's F12 does before the plan: the last examination's side
    // window goes.
    closeSide();
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
    if (!planRead_) loadDevicePlanFile();
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
      sd.ecgDrawn = [this](std::shared_ptr<const ExpressPicture> p) {
        ExpressWindow* side = openSide(kSportSideWidth, exam_texts::kRrDiagramsTitle);
        if (side) side->setPicture(std::move(p));
      };
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
        if (sd.ecgAnalysed()) keepSportEcg(sd.recordName());
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
      connect(&d, &PlanDialog::expressRequested, this, [this, &d] {
        StudyState& st = w_.study();
        const int result = st.dialogResult;
        ExpressDialog e(st, plan_, &d);
        if (runExpress)
          runExpress(e);
        else
          e.exec();
        st.dialogResult = result;  // the plan's outcome is still to come
      });
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
    // The express analysis draws in the side window beside the monitor,
    // emptied and as tall as the monitor; without one the monitor has the
    // whole width.
    const int expressKind = plan_.expressAnalysisKind;
    if (expressKind >= 1 && expressKind <= 19 && ExpressAnalysis::available(expressKind)) {
      if (ExpressWindow* side = openSide(kSideWidth, expressWindowTitle(expressKind))) side->clearFor(expressKind);
    } else {
      closeSide();
      // A map window left from the viewer would follow a record the engine
      // now owns.
      if (mapWindowOf(w_)) closeMapWindow(w_, s);
    }
    // Rows and axes for the plan, laid out while the record is still ours.
    w_.refreshMonitor(true);
    rate_ = s.sampleRate;
    length_ = s.recordLength;
    fileName_ = s.recordFileName;
    recordDate_ = s.recordDate;
    ExamOptions options;
    if (s.deviceKind == 2 || s.deviceKind == 3) {
      // The amplifier's gain steps the record channels are shifted by.
      const AmplifierTable& table = amplifierTable(w_);
      for (int ch = 0; ch < s.channelCount; ++ch) options.gainCodes.push_back(table.channelGainCode[ch]);
    }
    engine_ = std::make_unique<ExaminationEngine>(s, plan_, *device, clock_, fd, path, options);
    engine_->setMonitorWidth(s.monitorWidth);
    std::string reason;
    if (!engine_->begin(reason)) {
      closeSide();
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
    {
      QSignalBlocker block(channelList_);
      channelList_->clear();
      for (int ch = 0; ch < s.channelCount; ++ch) channelList_->addItem(QString::fromStdString(s.channelNames[ch]));
      channelList_->setCurrentIndex(s.channelCount > 0 ? 0 : -1);
    }
    showChannelFilters();
    recordButton_->setText(q(exam_texts::kRecordOn));
    recordButton_->setEnabled(!engine_->examPath().empty() && plan_.protocolLineCount() == 0);
    {
      // The amplifier's test signal starts off.
      QSignalBlocker block(testBox_);
      testBox_->setChecked(false);
    }
    testAction_->setVisible(s.deviceKind == 3);
    pending_.clear();
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
    if (side_ && st.expressPicture && st.expressPicture.get() != side_->shown()) side_->setPicture(st.expressPicture);
    if (st.displayDecimation != decimation_ && m) {
      decimation_ = st.displayDecimation;
      m->timeAxis(static_cast<double>(rate_) / (1 << decimation_));
      m->drawSweepAxes();
      m->drawSweepNames();
    }
    recordButton_->setText(q(st.recordingOn ? exam_texts::kRecordOff : exam_texts::kRecordOn));
    recordButton_->setEnabled(!st.examPath.empty() && plan_.protocolLineCount() == 0);
    collectAmplifierChanges();
    if (st.requestMessage != requestMessage_) {
      requestMessage_ = st.requestMessage;
      if (!requestMessage_.empty()) w_.interaction().message(requestMessage_);
    }
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
    pending_.clear();
    requestMessage_.clear();
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

  // The side window at the right of the monitor's area, `width` wide and as
  // tall as the area; a map window there gives way to it.
  ExpressWindow* openSide(int width, const char* title) {
    MonitorWidget* m = w_.monitor();
    if (!m || !m->parentWidget()) return nullptr;
    StudyState& s = w_.study();
    if (mapWindowOf(w_)) closeMapWindow(w_, s);
    QWidget* area = m->parentWidget();
    if (!side_) {
      side_ = new ExpressWindow(area);
      area->installEventFilter(this);
    }
    if (title && *title) side_->setWindowTitle(q(title));
    s.sidePanelWidth = width;
    placeSide();
    side_->show();
    side_->raise();
    w_.refreshMonitor(true);
    return side_;
  }

  void placeSide() {
    if (!side_ || !side_->parentWidget()) return;
    QWidget* area = side_->parentWidget();
    const int width = w_.study().sidePanelWidth;
    side_->setGeometry(area->width() - width, 0, width, area->height());
  }

  void closeSide() {
    if (!side_) return;
    side_->hide();
    side_->deleteLater();
    side_ = nullptr;
    w_.study().sidePanelWidth = 0;
    w_.refreshMonitor(true);
  }

  // "<Esc>=Отменить" after "Анализ ЭКГ": the heart-rate picture is kept as
  // name + ".bmp", the heart rates show in the text window and the post-load
  // recording opens.
  void keepSportEcg(const std::string& name) {
    StudyState& s = w_.study();
    Interaction& ui = w_.interaction();
    if (side_ && !name.empty()) {
      const std::string bmp = s.dataDir + name + ".bmp";
      if (!side_->picture().save(QString::fromStdString(bmp), "BMP"))
        ui.message(std::string(kInterruptPrefix) + exam_texts::kPictureNotSaved + bmp);
    }
    // The heart rates as text, in the result window, not yet saved.
    const std::string rates = s.programDir + kSportHeartRateFile;
    if (fileExists(rates)) {
      MainWindowTextOpener opener(&w_, ui);
      TextResults& text = opener.beginTextResults(s, kWithoutHeader);
      if (text.appendFile(rates, ui)) text.setModified(true);
    }
    const std::string after = s.dataDir + name + "s.cad";
    if (!name.empty() && fileExists(after)) openRecordPath(s, after, ui);
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
    channelList_->setObjectName("channelList");
    connect(channelList_, &QComboBox::currentIndexChanged, this, [this] { showChannelFilters(); });
    // Filter and gain changes reach the device on the acquisition side, which
    // owns it while the examination runs.
    int listIndex = 0;
    for (const char* caption : {exam_texts::kHighPass, exam_texts::kLowPass}) {
      panel_->addWidget(new QLabel(q(caption), panel_));
      auto* list = new QComboBox(panel_);
      const AmplifierList which = listIndex++ == 0 ? AmplifierList::HighPass : AmplifierList::LowPass;
      list->setObjectName(which == AmplifierList::HighPass ? "highPassList" : "lowPassList");
      connect(list, &QComboBox::activated, this, [this, which](int item) {
        const int row = channelList_->currentIndex();
        const int channels = w_.study().channelCount;
        changeAmplifier([=](AmplifierTable& t) {
          if (row < 0 || t.item(row, which) == item) return false;
          chooseItem(t, which, item, row, false, channels);
          return true;
        });
      });
      panel_->addWidget(list);
      (which == AmplifierList::HighPass ? highPass_ : lowPass_) = list;
    }
    for (int direction : {-1, 1}) {
      auto* b = button(direction < 0 ? exam_texts::kGainDown : exam_texts::kGainUp, nullptr, 0);
      b->setObjectName(direction < 0 ? "gainDownButton" : "gainUpButton");
      connect(b, &QToolButton::clicked, this, [this, direction] {
        const int row = channelList_->currentIndex();
        const AmplifierLists& lists = amplifierLists(w_);
        changeAmplifier([row, direction, &lists](AmplifierTable& t) {
          return row >= 0 && stepGain(t, lists, row, direction);
        });
      });
    }
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
    testBox_ = new QCheckBox(q(exam_texts::kTest), panel_);
    testBox_->setObjectName("testBox");
    testBox_->setToolTip(q(exam_texts::kTestHint));
    connect(testBox_, &QCheckBox::toggled, this, [this](bool on) {
      if (engine_) engine_->request([on](ExamSideAccess& a) { return a.device.setTestSignal(on); });
    });
    testAction_ = panel_->addWidget(testBox_);
    // "Файл" is hidden on the panel (the instruments' file element uses it);
    // kept out of the tool bar's layout, whose hidden actions are disabled.
    fileButton_ = new QToolButton(panel_);
    fileButton_->setText(q(exam_texts::kFile));
    fileButton_->setObjectName("fileButton");
    fileButton_->hide();
    connect(fileButton_, &QToolButton::clicked, this, [this] { chooseRecordFile(); });
    panel_->hide();
  }

  // The current channel's filters as the amplifier table has them.
  void showChannelFilters() {
    const int row = channelList_->currentIndex();
    const AmplifierLists& lists = amplifierLists(w_);
    const AmplifierTable& table = amplifierTable(w_);
    for (QComboBox* list : {highPass_, lowPass_}) {
      const AmplifierList which = list == highPass_ ? AmplifierList::HighPass : AmplifierList::LowPass;
      QSignalBlocker block(list);
      list->clear();
      for (const AmplifierOption& o : lists[which]) list->addItem(QString::fromStdString(o.text));
      list->setCurrentIndex(row >= 0 && row < kMaxChannels ? table.item(row, which) : -1);
    }
  }

  // Sends a changed amplifier table to the acquisition side; the table here
  // takes it once it was applied there (a refused one changes nothing).
  void changeAmplifier(const std::function<bool(AmplifierTable&)>& change) {
    if (!engine_) return;
    auto out = std::make_shared<AmplifierChange>();
    out->table = amplifierTable(w_);
    if (!change(out->table)) return;
    const int kind = w_.study().deviceKind;
    engine_->request([out, lists = amplifierLists(w_), kind](ExamSideAccess& a) {
      const bool nvx = deviceKindFromSetting(kind) == DeviceKind::Nvx;
      const DeviceResult r = nvx ? applyLeads(a.study, a.device, lists, out->table)
                                 : applyAmplifier(a.study, a.device, kind, lists, out->table, a.study.channelCount, false).result;
      if (r && (nvx || kind == 2)) {
        a.gainCodes.assign(static_cast<std::size_t>(a.study.channelCount), 0);
        for (int ch = 0; ch < a.study.channelCount; ++ch) a.gainCodes[ch] = out->table.channelGainCode[ch];
      }
      out->result = r;
      out->done.store(true, std::memory_order_release);
      return r;
    });
    pending_.push_back(std::move(out));
  }

  void collectAmplifierChanges() {
    std::vector<std::shared_ptr<AmplifierChange>> finished;
    for (auto it = pending_.begin(); it != pending_.end();)
      if ((*it)->done.load(std::memory_order_acquire)) {
        finished.push_back(*it);
        it = pending_.erase(it);
      } else {
        ++it;
      }
    // A refusal reaches the person through the status's request message.
    for (const auto& c : finished)
      if (c->result) amplifierTable(w_) = c->table;
    if (!finished.empty()) showChannelFilters();
  }

  // "Файл": another record file for the running examination.
  void chooseRecordFile() {
    if (!engine_) return;
    StudyState& s = w_.study();
    const ExamStatus st = engine_->status();
    s.chosenFilePath = st.examPath.empty() ? std::string() : fileName_;
    s.dialogResult = 0;
    RecordFileDialog d(s, &w_);
    if (runFileDialog)
      runFileDialog(d);
    else
      d.exec();
    if (s.dialogResult != 1) return;
    const std::string name = trimSpaces(s.chosenFilePath);
    if (name.empty()) return;
    const std::string path = s.dataDir + name + ".cad";
    // The same question as at Start: an earlier recording is not lost unasked.
    if (fileExists(path) && !w_.interaction().ask(exam_texts::kOverwriteQuestion)) return;
    engine_->requestNewFile(path);
    fileName_ = name;
    recordButton_->setText(q(exam_texts::kRecordOn));
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
  QComboBox* highPass_ = nullptr;
  QComboBox* lowPass_ = nullptr;
  QCheckBox* testBox_ = nullptr;
  QAction* testAction_ = nullptr;
  QToolButton* fileButton_ = nullptr;
  QPointer<ExpressWindow> side_;
  std::vector<std::shared_ptr<AmplifierChange>> pending_;
  std::string requestMessage_;
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

void setExpressDialogRunner(MainWindow& w, std::function<void(ExpressDialog&)> run) {
  hostOf(w, true)->runExpress = std::move(run);
}

void setRecordFileDialogRunner(MainWindow& w, std::function<void(RecordFileDialog&)> run) {
  hostOf(w, true)->runFileDialog = std::move(run);
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
