#include "app/shell/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/shell/ShippedFiles.h"

namespace Translations {

QString directory() {
  const QString shipped = ShippedFiles::directory();
  return shipped.isEmpty() ? QString() : QDir(shipped).filePath("translations");
}

bool install(QCoreApplication& application, const QLocale& locale) {
  // Qt's own texts (the buttons of its dialogs) first, then ours over them.
  auto* qt = new QTranslator(&application);
  if (qt->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qt);
  else
    delete qt;
  auto* own = new QTranslator(&application);
  if (!directory().isEmpty() && own->load(locale, "rolvane", "_", directory())) {
    QCoreApplication::installTranslator(own);
    return true;
  }
  delete own;
  return false;
}

}  // namespace Translations
