#pragma once

#include <QDialog>
#include <QTimer>

class ProgressView;

// The window shown while a scan runs. Its arc timer ticks only while the window is shown.
class ProgressWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTickMilliseconds = 3;

  explicit ProgressWindow(QWidget* parent = nullptr);
  ProgressView* animationView() const { return animationView_; }
  bool timerRunning() const { return timer_.isActive(); }

 signals:
  void tick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void reject() override {}  // Escape does not close it: the scan ends it.

 private:
  ProgressView* animationView_;
  QTimer timer_;
};
