#pragma once

#include <gtest/gtest.h>
#include <QApplication>

// One QApplication for the whole test program, on the offscreen platform.
inline QApplication& testApplication() {
  static int argc = 1;
  static char name[] = "shell_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}
