// Takes pictures of the real windows over the sample address book, in a light and a dark colour
// scheme: rolvane_screenshots DIR. Used for the AppStream screenshots and for looking at every
// screen in both schemes. Run under Xvfb or the offscreen platform.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "app/browser/view/LoadContactsViewController.h"
#include "app/review/view/OutlineViewController.h"
#include "app/review/view/ReviewTreeModel.h"
#include "app/shell/AboutWindowController.h"
#include "app/shell/Alerts.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/HelpWindow.h"
#include "app/shell/MainWindow.h"
#include "app/shell/SampleAddressBook.h"
#include "app/shell/TableViewWindowController.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

class SilentAlerts : public Alerts {
 public:
  void showAlert(const std::string&, const std::string&) override {}
};

QPalette darkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 32));
  dark.setColor(QPalette::AlternateBase, QColor(40, 40, 44));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(55, 55, 60));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(53, 132, 228));
  dark.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
  dark.setColor(QPalette::ToolTipBase, QColor(30, 30, 32));
  dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
  dark.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
  dark.setColor(QPalette::Mid, QColor(80, 80, 85));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
  return dark;
}

void settle(int ms = 300) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

bool save(QWidget* widget, const QDir& dir, const QString& name) {
  const QString file = dir.filePath(name + ".png");
  if (!widget->grab().save(file)) {
    std::fprintf(stderr, "rolvane_screenshots: cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: rolvane_screenshots DIR\n");
    return 2;
  }
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setApplicationDisplayName("Varnok Rolvane");
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir work;
  QString error;
  auto book = SampleAddressBook::createFresh(SampleAddressBook::vCardFile(), work.filePath("Sample.sqlite"), &error);
  if (!book) {
    std::fprintf(stderr, "rolvane_screenshots: %s\n", qPrintable(error));
    return 1;
  }
  const QPalette light = QApplication::style()->standardPalette();
  bool ok = true;
  for (const auto& [scheme, palette] : {std::pair<QString, QPalette>{"light", light}, {"dark", darkPalette()}}) {
    QApplication::setPalette(palette);
    SilentAlerts alerts;
    AppDelegate delegate(*book);
    delegate.setAlerts(&alerts);
    delegate.window()->setWindowTitle("Sample Address Book");
    delegate.window()->resize(1100, 700);
    QSignalSpy loaded(delegate.loadContactsViewController(), &LoadContactsViewController::tableViewDataChange);
    delegate.applicationDidFinishLaunching();
    loaded.wait(10000);
    delegate.loadContactsViewController()->sortByKey("Last Name", Qt::AscendingOrder);
    delegate.loadContactsViewController()->getTableView()->selectRow(2);
    settle();
    ok &= save(delegate.window(), dir, "browser-" + scheme);
    delegate.loadContactsViewController()->setFindText("an");
    settle();
    ok &= save(delegate.window(), dir, "find-" + scheme);
    delegate.loadContactsViewController()->setFindText("");
    QSignalSpy scanned(&delegate, &AppDelegate::scanFinished);
    delegate.scanClicled();
    scanned.wait(10000);
    settle(500);
    ok &= save(delegate.window(), dir, "review-" + scheme);
    // The first contact of every category with each of its options, as the preview shows it.
    if (OutlineViewController* review = delegate.outlineViewController()) {
      auto* tree = review->myOutlineView();
      auto* model = static_cast<ReviewTreeModel*>(tree->model());
      int shot = 0;
      for (const auto& father : review->outline().rootNodes()) {
        if (father->childrenCount() == 0) continue;
        tree->setCurrentIndex(model->indexOf(father->childAtIndex(0)));
        settle(100);
        const int options = static_cast<int>(review->optionButtons().size());
        for (int option = 0; option < options; ++option) {
          review->optionButtons()[option]->click();
          settle(100);
          ok &= save(delegate.window(), dir,
                     QString("preview-%1-%2-%3").arg(scheme).arg(shot, 2, 10, QChar('0')).arg(option));
        }
        ++shot;
      }
    }
    delegate.preferencesButtonClicled();
    settle();
    ok &= save(delegate.tableViewController(), dir, "preferences-" + scheme);
    delegate.tableViewController()->tabs()->setCurrentIndex(1);
    settle();
    ok &= save(delegate.tableViewController(), dir, "preferences-names-" + scheme);
    delegate.tableViewController()->tabs()->setCurrentIndex(0);
    delegate.tableViewController()->hide();
    delegate.aboutClicked();
    settle();
    ok &= save(delegate.aboutWindowController(), dir, "about-" + scheme);
    delegate.aboutWindowController()->hide();
    delegate.menuHelpClick();
    settle();
    ok &= save(delegate.helpWindow(), dir, "help-" + scheme);
    delegate.helpWindow()->hide();
    delegate.window()->close();
  }
  return ok ? 0 : 1;
}
