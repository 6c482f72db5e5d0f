#include "shell/ui/acquisition_wiring.h"

#include <QPointer>
#include <QTimer>
#include <future>

#include "acquisition/amplifier_settings.h"
#include "acquisition/calibration.h"
#include "acquisition/device_registry.h"
#include "acquisition/device_texts.h"
#include "acquisition/ui/amplifier_dialog.h"
#include "acquisition/ui/impedance_window.h"
#include "core/settings.h"
#include "shell/ui/main_window.h"

namespace velor::shell {

namespace {

constexpr const char* kObjectName = "acquisitionDevice";

class AcquisitionHost final : public QObject {
 public:
  explicit AcquisitionHost(MainWindow& w) : QObject(&w), w_(w) { setObjectName(QString::fromLatin1(kObjectName)); }
  // A running examination uses the device: it is ended before the device goes.
  ~AcquisitionHost() override {
    if (beforeDeviceGoes) beforeDeviceGoes();
  }

  DeviceFactory factory;
  std::function<void()> beforeDeviceGoes;
  std::function<void()> afterDeviceOpened;
  std::function<void(AmplifierDialog&)> runDialog;

  void start() {
    if (device_) return;
    StudyState& s = w_.study();
    kind_ = s.deviceKind;
    device_ = factory ? factory(kind_) : makeDeviceForSetting(kind_, clock_, readDeviceOptions(s.programDir));
    if (!device_) return;
    opening_ = openDeviceInBackground(*device_);
    poll_ = new QTimer(this);
    poll_->setInterval(20);
    connect(poll_, &QTimer::timeout, this, [this] { collect(); });
    poll_->start();
  }

  AcquisitionDevice* device() const { return ready_ && device_ && device_->isOpen() ? device_.get() : nullptr; }

  void close() {
    if (beforeDeviceGoes) beforeDeviceGoes();
    if (poll_) poll_->stop();
    if (opening_.valid()) opening_.wait();
    if (impedance_) impedance_->close();
    if (device_) device_->close();
    ready_ = false;
  }

  const AmplifierLists& lists() {
    if (!listsLoaded_) {
      listsLoaded_ = true;
      if (auto failure = loadAmplifierLists(w_.study().programDir, kind_, lists_))
        w_.interaction().message(std::string(kInterruptPrefix) + *failure);
    }
    return lists_;
  }
  AmplifierTable& table() { return table_; }

  void showDialog() {
    StudyState& s = w_.study();
    Interaction& ui = w_.interaction();
    AcquisitionDevice* dev = device();
    if (!dev) {
      ui.message(device_texts::kNotOpen);
      return;
    }
    lists();
    const bool leads = deviceKindFromSetting(kind_) == DeviceKind::Nvx;
    const int recordRows = leads ? nvxRecordChannels(dev->describe().deviceChannelCount) : s.channelCount;
    AmplifierDialog d(s, ui, leads ? AmplifierDialog::Mode::Leads : AmplifierDialog::Mode::Amplifier, lists_, table_,
                      s.channelCount, recordRows, [this, &s, dev, leads](AmplifierTable& t) {
                        if (leads) return applyLeads(s, *dev, lists_, t);
                        return applyAmplifier(s, *dev, kind_, lists_, t, s.channelCount, false).result;
                      }, &w_);
    connect(&d, &AmplifierDialog::montageRequested, this, [this] { w_.runCommand(Cmd::Leads); });
    connect(&d, &AmplifierDialog::impedanceRequested, this, [this, &d, dev, &ui, &s] {
      if (impedance_) {
        impedance_->raise();
        return;
      }
      if (const DeviceResult r = dev->startImpedance(); !r) {
        ui.message(r.message);
        return;
      }
      impedance_ = new ImpedanceWindow(
          s, ui, dev->describe().deviceChannelCount, [dev](std::vector<std::int32_t>& v) { return dev->readImpedance(v); },
          [dev] { dev->stopImpedance(); }, &d);
      impedance_->setAttribute(Qt::WA_DeleteOnClose);
      impedance_->show();
      impedance_->refresh();
    });
    s.dialogResult = 0;
    if (runDialog)
      runDialog(d);
    else
      d.exec();
    if (impedance_) impedance_->close();
    if (s.dialogResult == 1) table_ = d.table();
    w_.refreshMonitor();
  }

 private:
  void collect() {
    if (!opening_.valid() || opening_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    poll_->stop();
    const DeviceResult r = opening_.get();
    if (!r) {
      // The device is absent: said once, the program goes on without it.
      w_.interaction().message(r.message);
      return;
    }
    ready_ = true;
    applyOpenedDevice(w_.study(), kind_, device_->describe());
    if (afterDeviceOpened) afterDeviceOpened();
    w_.refreshMonitor();
  }

  MainWindow& w_;
  SteadyClock clock_;
  std::unique_ptr<AcquisitionDevice> device_;
  std::future<DeviceResult> opening_;
  QTimer* poll_ = nullptr;
  bool ready_ = false;
  int kind_ = 0;
  bool listsLoaded_ = false;
  AmplifierLists lists_;
  AmplifierTable table_;
  QPointer<ImpedanceWindow> impedance_;
};

AcquisitionHost* hostOf(MainWindow& w, bool create) {
  auto* h = w.findChild<AcquisitionHost*>(QString::fromLatin1(kObjectName), Qt::FindDirectChildrenOnly);
  if (!h && create) h = new AcquisitionHost(w);
  return h;
}

}  // namespace

void setAcquisitionDeviceFactory(MainWindow& w, DeviceFactory factory) { hostOf(w, true)->factory = std::move(factory); }

void setAmplifierDialogRunner(MainWindow& w, std::function<void(AmplifierDialog&)> run) {
  hostOf(w, true)->runDialog = std::move(run);
}

void startAcquisitionDevice(MainWindow& w) {
  AcquisitionHost* h = hostOf(w, true);
  w.commands().setHandler(Cmd::Amplifier, [&w] {
    showAmplifierDialog(w);
    return CommandResult::done(ViewChange::Relayout);
  });
  h->start();
}

void setBeforeDeviceGoes(MainWindow& w, std::function<void()> hook) {
  hostOf(w, true)->beforeDeviceGoes = std::move(hook);
}

void setAfterDeviceOpened(MainWindow& w, std::function<void()> hook) {
  hostOf(w, true)->afterDeviceOpened = std::move(hook);
}

AcquisitionDevice* acquisitionDevice(MainWindow& w) {
  AcquisitionHost* h = hostOf(w, false);
  return h ? h->device() : nullptr;
}

void closeAcquisitionDevice(MainWindow& w) {
  if (AcquisitionHost* h = hostOf(w, false)) h->close();
}

const AmplifierLists& amplifierLists(MainWindow& w) { return hostOf(w, true)->lists(); }
AmplifierTable& amplifierTable(MainWindow& w) { return hostOf(w, true)->table(); }

void showAmplifierDialog(MainWindow& w) { hostOf(w, true)->showDialog(); }

}  // namespace velor::shell
