#include <QApplication>
#include <QMessageBox>

#include "app/cli/CommandRegistry.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/ProductInfo.h"
#include "platform/addressbook/ABAddressBook.h"

int runApplicationWindow(int argc, char** argv, const std::string& storePath) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("rolvane");
  QApplication::setApplicationDisplayName(ProductInfo::kProductName);
  QApplication::setApplicationVersion(ROLVANE_VERSION);
  QApplication::setQuitOnLastWindowClosed(true);

  if (!storePath.empty()) ABAddressBook::setSharedStorePath(storePath);
  ABAddressBook* book = ABAddressBook::sharedAddressBook();
  if (!book) {
    QMessageBox::critical(
        nullptr, QObject::tr("Cannot open the address book"),
        QObject::tr("The address book at %1 cannot be opened:\n%2")
            .arg(QString::fromStdString(storePath.empty() ? ABAddressBook::defaultStorePath().string() : storePath),
                 QString::fromStdString(ABAddressBook::sharedOpenError())));
    return 1;
  }
  AppDelegate delegate(*book);
  QMetaObject::invokeMethod(&delegate, &AppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
  return application.exec();
}
