#pragma once

// What the benchmark's window figures share: the application (offscreen unless told otherwise) and
// a meter of how long the window's event loop stood still.
#ifdef ROLVANE_BENCH_WINDOW

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

inline QApplication& benchApplication() {
  static int argc = 1;
  static char name[] = "rolvane-bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);  // left to the end of the process
  return *app;
}

// Measures the longest gap between two turns of the event loop while it runs.
class StallMeter {
 public:
  StallMeter() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, clock_.restart()); });
  }
  void start() {
    longest_ = 0;
    clock_.start();
    timer_.start();
  }
  double stop() {
    timer_.stop();
    return std::max(longest_, clock_.elapsed()) / 1000.0;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};

#endif
