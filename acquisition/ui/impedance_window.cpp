#include "acquisition/ui/impedance_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include "acquisition/calibration.h"
#include "acquisition/impedance_layout.h"
#include "core/ui/dialog_look.h"

namespace velor {

namespace {
constexpr int kButtonWidth = 34;
constexpr int kButtonHeight = 20;
}  // namespace

ImpedanceWindow::ImpedanceWindow(const StudyState& s, Interaction& ui, int deviceChannels, Reader read,
                                 std::function<void()> onClose, QWidget* parent)
    : QWidget(parent, Qt::Window),
      s_(s),
      ui_(ui),
      deviceChannels_(deviceChannels),
      read_(std::move(read)),
      onClose_(std::move(onClose)) {
  setWindowTitle(QStringLiteral("Отведения"));
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    auto* b = new QPushButton(QString::fromStdString(s.channelNames[static_cast<std::size_t>(ch)]).left(3), this);
    b->setFixedSize(kButtonWidth, kButtonHeight);
    b->setVisible(ch < s.channelCount && s.channelPosX[static_cast<std::size_t>(ch)] <= 239);
    buttons_.push_back(b);
  }
  const int electrodes = nvxImpedanceElectrodes(deviceChannels);
  for (int e = 1; e <= electrodes; ++e) {
    auto* l = new QLabel(this);
    l->setObjectName(QStringLiteral("impedance%1").arg(e));
    l->setAutoFillBackground(true);  // each text over a blank field
    l->hide();
    values_.push_back(l);
  }
  applyDialogLook(this);
  resize(420, 420);
  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, &ImpedanceWindow::refresh);
  timer_->start();
}

QRect ImpedanceWindow::picture() const { return rect().adjusted(10, 10, -10, -10); }

QLabel* ImpedanceWindow::valueLabel(int electrode) const {
  if (electrode < 1 || electrode > static_cast<int>(values_.size())) return nullptr;
  QLabel* l = values_[static_cast<std::size_t>(electrode - 1)];
  return l->isVisibleTo(this) ? l : nullptr;
}

void ImpedanceWindow::refresh() {
  if (closed_ || failed_) return;
  std::vector<std::int32_t> ohms;
  const DeviceResult r = read_(ohms);
  if (!r) {
    failed_ = true;
    timer_->stop();
    ui_.message(r.message);
    return;
  }
  ohms_ = std::move(ohms);
  ++refreshes_;
  place();
}

void ImpedanceWindow::place() {
  const QRect p = picture();
  std::vector<ImpedancePoint> eeg;
  for (int ch = 0; ch < std::min(s_.channelCount, kMaxChannels); ++ch) {
    const auto x = s_.channelPosX[static_cast<std::size_t>(ch)], y = s_.channelPosY[static_cast<std::size_t>(ch)];
    const ImpedancePoint c = electrodeCentre(x, y, p.left(), p.top(), p.width(), p.height());
    buttons_[static_cast<std::size_t>(ch)]->move(c.x - kButtonWidth / 2, c.y - kButtonHeight / 2);
    if (x <= 239) eeg.push_back({c.x - kButtonWidth / 2 - p.left(), c.y + kButtonHeight / 2 - p.top()});
  }
  for (QLabel* l : values_) l->hide();
  for (const ImpedanceLabel& l : impedanceLabels(ohms_, deviceChannels_, eeg, p.width(), p.height())) {
    QLabel* label = values_[static_cast<std::size_t>(l.electrode - 1)];
    label->setText(QString::fromStdString(l.text));
    label->adjustSize();
    label->move(p.left() + l.x, p.top() + l.y);
    label->show();
  }
}

void ImpedanceWindow::paintEvent(QPaintEvent*) {
  QPainter g(this);
  const QRect p = picture();
  const int cx = p.center().x(), cy = p.top() + (p.height() - 20) / 2;
  const int rx = p.width() * 2 / 5, ry = (p.height() - 20) * 9 / 20;
  g.setPen(QPen(Qt::black, 2));
  g.setBrush(Qt::white);
  g.drawEllipse(QPoint(cx, cy), rx, ry);
  g.drawLine(cx - 8, cy, cx + 8, cy);  // centre cross
  g.drawLine(cx, cy - 8, cx, cy + 8);
  g.setBrush(Qt::NoBrush);
  g.drawArc(QRect(cx - 15, cy - ry - 15, 30, 30), 0, 180 * 16);                // nose
  g.drawArc(QRect(cx - rx - 12, cy - 20, 24, 40), 90 * 16, 180 * 16);          // ears
  g.drawArc(QRect(cx + rx - 12, cy - 20, 24, 40), -90 * 16, 180 * 16);
}

void ImpedanceWindow::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  place();
}

void ImpedanceWindow::closeEvent(QCloseEvent* e) {
  if (!closed_) {
    closed_ = true;
    timer_->stop();
    if (onClose_) onClose_();
  }
  QWidget::closeEvent(e);
}

}  // namespace velor
