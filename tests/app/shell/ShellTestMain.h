#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>

// One QApplication for the whole test program, on the offscreen platform.
inline QApplication& testApplication() {
  static int argc = 1;
  static char name[] = "shell_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// A cache folder of the test's own for as long as it lives ($XDG_CACHE_HOME points at it): other
// programs running at the same time (other test programs, other checkouts) copy the help there too.
class OwnCacheFolder {
 public:
  OwnCacheFolder() : before_(qgetenv("XDG_CACHE_HOME")) { qputenv("XDG_CACHE_HOME", folder_.path().toUtf8()); }
  ~OwnCacheFolder() { before_.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", before_); }
  OwnCacheFolder(const OwnCacheFolder&) = delete;
  OwnCacheFolder& operator=(const OwnCacheFolder&) = delete;

  QString path() const { return folder_.path(); }

 private:
  QTemporaryDir folder_;
  QByteArray before_;
};
