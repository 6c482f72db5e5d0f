#include "shell/ui/splash.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "shell/main_window_texts.h"

namespace velor::shell {

using namespace velor::shell_text;

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(kSplashWidth, kSplashHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect r = screen->availableGeometry();
    move(r.center() - QPoint(kSplashWidth / 2, kSplashHeight / 2));
  }
  timer_.setSingleShot(true);
  timer_.setInterval(kSplashMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &QWidget::close);
}

void SplashScreen::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  // Armed when shown rather than when activated: a window manager that never
  // activates a splash must not leave it on the screen for good.
  if (!timer_.isActive()) timer_.start();
}

void SplashScreen::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0, 0, 128));
  p.setPen(QColor(255, 255, 255));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  QFont big = font();
  big.setPointSize(18);
  big.setBold(true);
  p.setFont(big);
  const char* lines[] = {kSplash1, kSplash2, kSplash3, kSplash4};
  int y = 40;
  for (const char* l : lines) {
    p.drawText(QRect(0, y, width(), 36), Qt::AlignHCenter | Qt::AlignVCenter, QString::fromUtf8(l));
    y += 40;
  }
  QFont small = font();
  small.setPointSize(11);
  p.setFont(small);
  p.drawText(QRect(0, height() - 40, width(), 24), Qt::AlignHCenter | Qt::AlignVCenter,
             QString::fromUtf8(kSplashVersionLabel) + QLatin1Char(' ') + QString::fromUtf8(kSplashVersion));
}

}  // namespace velor::shell
