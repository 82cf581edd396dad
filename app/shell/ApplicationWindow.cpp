#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "app/cli/CommandRegistry.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/ProductInfo.h"
#include "app/shell/Translations.h"
#include "platform/addressbook/ABAddressBook.h"

int runApplicationWindow(int argc, char** argv, const std::string& storePath, const std::vector<std::string>& files) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("rolvane");
  QApplication::setApplicationDisplayName(ProductInfo::kProductName);
  QApplication::setApplicationVersion(ROLVANE_VERSION);
  QApplication::setQuitOnLastWindowClosed(true);
  // Ties the window to its desktop entry (icon and name in the task switcher).
  QGuiApplication::setDesktopFileName(QStringLiteral(ROLVANE_APP_ID));

  if (!storePath.empty()) ABAddressBook::setSharedStorePath(storePath);
  AppDelegate::installStoreWaitNotice();
  ABAddressBook* book = ABAddressBook::sharedAddressBook();
  if (!book) {
    QMessageBox::critical(
        nullptr, QObject::tr("Cannot open the address book"),
        QObject::tr("The address book at %1 cannot be opened:\n%2")
            .arg(QString::fromStdString(storePath.empty() ? ABAddressBook::defaultStorePath().string() : storePath),
                 QString::fromStdString(ABAddressBook::sharedOpenError())));
    return 1;
  }
  Translations::install(application);
  AppDelegate delegate(*book);
  delegate.useSettings(AppDelegate::defaultSettings());
  QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
  if (!files.empty()) {
    QStringList paths;
    for (const std::string& file : files) paths << QFileInfo(QString::fromStdString(file)).absoluteFilePath();
    QMetaObject::invokeMethod(
        &delegate, [&delegate, paths] { delegate.offerToImport(paths); }, Qt::QueuedConnection);
  }
  return application.exec();
}
