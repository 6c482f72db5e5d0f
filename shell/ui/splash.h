// The start-up splash: a borderless window on top of the others in the middle
// of the screen, closed by its own 2000 ms timer and released then.
#pragma once

#include <QTimer>
#include <QWidget>

namespace velor::shell {

inline constexpr int kSplashMilliseconds = 2000;
inline constexpr int kSplashWidth = 345;
inline constexpr int kSplashHeight = 262;

class SplashScreen final : public QWidget {
  Q_OBJECT
 public:
  explicit SplashScreen(QWidget* parent = nullptr);
  bool timerArmed() const { return timer_.isActive(); }

 protected:
  void showEvent(QShowEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  QTimer timer_;
};

}  // namespace velor::shell
