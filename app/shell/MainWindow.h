#pragma once

#include <QMainWindow>

// The main window. Tells its owner when it closes.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  using QMainWindow::QMainWindow;

 signals:
  void closing();

 protected:
  void closeEvent(QCloseEvent* event) override;
};
