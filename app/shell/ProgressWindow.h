#pragma once

#include <QDialog>
#include <QTimer>

class ProgressView;
class QPushButton;

// The window shown while a scan runs. Its arc timer ticks only while the window is shown.
class ProgressWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTickMilliseconds = 3;

  explicit ProgressWindow(QWidget* parent = nullptr);
  ProgressView* animationView() const { return animationView_; }
  bool timerRunning() const { return timer_.isActive(); }
  // Whether the work it stands for can be stopped: a Cancel button (and Escape) then says so.
  void setCancellable(bool cancellable);
  QPushButton* cancelButton() const { return cancelButton_; }

 signals:
  void tick();
  // Cancel (or Escape) was pressed while the work can be stopped.
  void cancelled();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // Escape does not close it: the work ends it, or asks to stop when it can.
  void reject() override;

 private:
  ProgressView* animationView_;
  QPushButton* cancelButton_;
  QTimer timer_;
};
