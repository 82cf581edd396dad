#include "app/shell/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include "app/review/view/OutlineViewController.h"
#if __has_include("app/browser/view/LoadContactsViewController.h")
#include "app/browser/view/ContactCardDialog.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "app/export/view/ExportContactController.h"
#include "app/export/view/ExportPanel.h"
#define ROLVANE_HAVE_CONTACT_TABLE 1
#endif
#include "app/scanner/ScanAddressBook.h"
#include "app/shell/AboutWindowController.h"
#include "app/shell/AddressBooksWindow.h"
#include "app/shell/Alerts.h"
#include "app/shell/BackGroundView.h"
#include "app/shell/BrowserArea.h"
#include "app/shell/MainWindow.h"
#include "app/shell/MyButton.h"
#include "app/shell/ProductInfo.h"
#include "app/shell/ProgressView.h"
#include "app/shell/ProgressWindow.h"
#include "app/shell/SampleAddressBook.h"
#include "app/shell/ShippedFiles.h"
#include "app/shell/TableViewWindowController.h"
#include "app/shell/VCardImportController.h"
#include "platform/addressbook/ABAddressBook.h"

// Hands what the scan thread found over to the GUI thread, in the order it was reported.
class AppDelegate::ScanReport : public ScanReportReceiver {
 public:
  explicit ScanReport(AppDelegate* delegate) : delegate_(delegate) {}

  void scanOver(ScanResult result) override {
    QMetaObject::invokeMethod(
        delegate_,
        [delegate = delegate_, result = std::move(result)]() mutable { delegate->updateUI(std::move(result)); },
        Qt::QueuedConnection);
  }

  void scanFoundNothing(const std::string& title, const std::string& message) override {
    QMetaObject::invokeMethod(
        delegate_, [delegate = delegate_] { delegate->closeProgress(); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        delegate_,
        [delegate = delegate_, title, message] {
          delegate->alerts_->showAlert(title, message);
          delegate->makeButtonEnable();
          emit delegate->scanFinished();
        },
        Qt::QueuedConnection);
  }

 private:
  AppDelegate* delegate_;
};

#ifdef ROLVANE_HAVE_CONTACT_TABLE
// "Open In Contacts" and "Edit in Contacts" show the application's own contact card.
class AppDelegate::ContactCards : public ContactsApplication {
 public:
  ContactCards(ABAddressBook& book, QWidget* window) : book_(book), window_(window) {}
  void selectInAddressBook(const ABPersonRef& person) override {
    ContactCardDialog card(person, book_, ContactCardDialog::Mode::Show, window_);
    card.exec();
  }
  bool editInAddressBook(const ABPersonRef& person) override {
    ContactCardDialog card(person, book_, ContactCardDialog::Mode::Edit, window_);
    return card.exec() == QDialog::Accepted;
  }

 private:
  ABAddressBook& book_;
  QWidget* window_;
};
#endif

AppDelegate::AppDelegate(ABAddressBook& book, QObject* parent) : QObject(parent), book_(book) {
  ShippedFiles::loadImages();
  tableViewController_ = new TableViewWindowController();
  tableViewController_->setAttribute(Qt::WA_QuitOnClose, false);
  buildWindow();
  defaultAlerts_ = std::make_unique<MessageBoxAlerts>(window_);
  alerts_ = defaultAlerts_.get();
  scanReport_ = std::make_unique<ScanReport>(this);
  importer_ = new VCardImportController(book_, this);
  connect(importer_, &VCardImportController::importFinished, this,
          [this](bool ok, int, const QString& message) { vCardImportEnded(ok, message); });
  connect(window_, &MainWindow::vCardFilesDropped, this, &AppDelegate::importVCardFiles);
  connect(browser_, &BrowserArea::importRequested, this, &AppDelegate::importClicked);
  connect(browser_, &BrowserArea::sampleRequested, this, &AppDelegate::openSampleAddressBook);
  buildMenus();
}

AppDelegate::~AppDelegate() {
  sampleDelegate_.reset();
  delete importer_;
  joinScanThread();
  delete tableViewController_;
  delete aboutWindowController_;
  delete window_;
}

void AppDelegate::setAlerts(Alerts* alerts) {
  alerts_ = alerts ? alerts : defaultAlerts_.get();
}

ProgressView* AppDelegate::animationView() const {
  return progressWindow_->animationView();
}

bool AppDelegate::showingReviewScreen() const {
  return outlineViewController_ && screens_->currentWidget() == outlineViewController_;
}

void AppDelegate::buildWindow() {
  window_ = new MainWindow();
  window_->setWindowTitle(ProductInfo::kProductName);
  window_->setWindowIcon(QIcon(":/images/rolvane.png"));
  window_->resize(1000, 680);
  screens_ = new QStackedWidget(window_);
  window_->setCentralWidget(screens_);

  allView_ = new QWidget(screens_);
  auto* allLayout = new QVBoxLayout(allView_);
  allLayout->setContentsMargins(0, 0, 0, 0);
  allLayout->setSpacing(0);
  topView_ = new BackGroundView(allView_);
  topView_->setFixedHeight(64);
  auto* topLayout = new QHBoxLayout(topView_);
  topLayout->setContentsMargins(16, 12, 16, 12);
  scanButton_ = new MyButton(topView_);
  freshButton_ = new MyButton(topView_);
  exportAllButton_ = new MyButton(topView_);
  scanButton_->setButtonTitle("Scan");
  freshButton_->setButtonTitle("Refresh");
  exportAllButton_->setButtonTitle("Export All");
  topLayout->addWidget(scanButton_);
  topLayout->addWidget(freshButton_);
  topLayout->addStretch(1);
  topLayout->addWidget(exportAllButton_);
  allLayout->addWidget(topView_);
  mainView_ = new QWidget(allView_);
  auto* mainLayout = new QVBoxLayout(mainView_);
  mainLayout->setContentsMargins(0, 0, 0, 0);
  browser_ = new BrowserArea(book_, mainView_);
  mainLayout->addWidget(browser_, 1);
#ifdef ROLVANE_HAVE_CONTACT_TABLE
  loadContactsViewController_ = new LoadContactsViewController(book_, mainView_);
  mainLayout->addWidget(loadContactsViewController_, 1);
  connect(loadContactsViewController_, &LoadContactsViewController::tableViewDataChange, this, [this] {
    showEmptyStateIfEmpty();
    makeFreshButtonEnable();
  });
  contactCards_ = std::make_unique<ContactCards>(book_, window_);
  connect(exportAllButton_, &QPushButton::clicked, this, &AppDelegate::exportClicked);
#else
  exportAllButton_->setToolTip(tr("Export is not available in this build"));
#endif
  allLayout->addWidget(mainView_, 1);
  screens_->addWidget(allView_);
  topView_->setImage(QImage(":/images/topBackGround.png"));

  progressWindow_ = new ProgressWindow(window_);
  connect(progressWindow_, &ProgressWindow::tick, this, &AppDelegate::makeArcMove);
  connect(scanButton_, &QPushButton::clicked, this, &AppDelegate::scanClicled);
  connect(freshButton_, &QPushButton::clicked, this, &AppDelegate::loadClicked);
#ifndef ROLVANE_HAVE_CONTACT_TABLE
  connect(browser_, &BrowserArea::loaded, this, &AppDelegate::makeFreshButtonEnable);
#endif
}

void AppDelegate::buildMenus() {
  const QString product = ProductInfo::kProductName;
  QMenu* application = window_->menuBar()->addMenu(product);
  itemAbout_ = application->addAction(tr("About %1").arg(product), this, &AppDelegate::aboutClicked);
  itemAbout_->setMenuRole(QAction::AboutRole);
  application->addSeparator();
  // Not every desktop defines a preferences shortcut; Ctrl+, is the common one.
  const QKeySequence preferences = QKeySequence(QKeySequence::Preferences).isEmpty()
                                       ? QKeySequence(Qt::CTRL | Qt::Key_Comma)
                                       : QKeySequence(QKeySequence::Preferences);
  itemPreferences_ =
      application->addAction(tr("Preferences…"), preferences, this, &AppDelegate::preferencesButtonClicled);
  application->addSeparator();
  itemHide_ = application->addAction(tr("Hide %1").arg(product), QKeySequence(Qt::CTRL | Qt::Key_H), this,
                                     &AppDelegate::hideClicked);
  itemQuit_ = application->addAction(tr("Quit %1").arg(product), QKeySequence::Quit, qApp, &QApplication::quit);
  itemQuit_->setMenuRole(QAction::QuitRole);

  QMenu* file = window_->menuBar()->addMenu(tr("File"));
  itemImport_ = file->addAction(tr("Import vCard Files…"), QKeySequence::Open, this, &AppDelegate::importClicked);
  itemSample_ = file->addAction(tr("Open the Sample Address Book"), this, &AppDelegate::openSampleAddressBook);
  file->addSeparator();
  itemAddressBooks_ = file->addAction(tr("Address Books…"), this, &AppDelegate::addressBooksClicked);
  itemSyncNow_ = file->addAction(tr("Sync Now"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Y), this, [this] {
    addressBooksClicked();
    addressBooksWindow_->syncNow();
  });

  QMenu* help = window_->menuBar()->addMenu(tr("Help"));
  itemHelp_ =
      help->addAction(tr("%1 help").arg(product), QKeySequence::HelpContents, this, &AppDelegate::menuHelpClick);
  itemSupport_ = help->addAction(tr("Support"), this, &AppDelegate::menuSupportClick);
}

void AppDelegate::applicationDidFinishLaunching() {
  window_->show();
  loadClicked();
}

void AppDelegate::setButtonsEnabled(bool enabled) {
  scanButton_->setEnabled(enabled);
  freshButton_->setEnabled(enabled);
#ifdef ROLVANE_HAVE_CONTACT_TABLE
  exportAllButton_->setEnabled(enabled);
#else
  exportAllButton_->setEnabled(false);
#endif
}

void AppDelegate::makeButtonEnable() {
  setButtonsEnabled(true);
}

void AppDelegate::makeFreshButtonEnable() {
  freshButton_->setEnabled(true);
}

void AppDelegate::closeProgress() {
  progressWindow_->hide();
}

void AppDelegate::joinScanThread() {
  if (scanThread_.joinable()) scanThread_.join();
}

void AppDelegate::scanClicled() {
  setButtonsEnabled(false);
  const std::vector<std::string> names = tableViewController_->getSelectArray();
  if (names.empty()) {
    closeProgress();
    alerts_->showAlert("Warning", "No condition selected, please go to Preferences and choose at least one condition!");
    makeButtonEnable();
    return;
  }
  showProgress(tr("Scanning"));
  if (!scanAddressBook_) scanAddressBook_ = std::make_unique<ScanAddressBook>(book_);
  joinScanThread();
  scanThread_ = std::thread([scanner = scanAddressBook_.get(), report = scanReport_.get(), names] {
    scanner->scanEntireAddressBook(names, *report);
  });
}

void AppDelegate::showProgress(const QString& title) {
  start_ = 0;
  end_ = 30.0;
  animationView()->setProgress(0.0);
  animationView()->setProgress(1.0);
  progressWindow_->setWindowTitle(title);
  progressWindow_->show();
  progressWindow_->raise();
}

void AppDelegate::importClicked() {
  const QStringList files =
      QFileDialog::getOpenFileNames(window_, tr("Import vCard Files"), QDir::homePath(),
                                    tr("vCard files (*.vcf *.vcard *.VCF *.VCARD);;All files (*)"));
  importVCardFiles(files);
}

void AppDelegate::importVCardFiles(const QStringList& files) {
  // A scan or an import in progress keeps the buttons disabled; the store takes one change at a time.
  if (files.isEmpty() || importer_->isRunning() || !scanButton_->isEnabled()) return;
  setButtonsEnabled(false);
  showProgress(tr("Importing"));
  importer_->importFiles(files);
}

void AppDelegate::vCardImportEnded(bool ok, const QString& message) {
  closeProgress();
  makeButtonEnable();
  alerts_->showAlert(ok ? "Import" : "Warning", message.toStdString());
  if (!showingReviewScreen()) loadClicked();
  emit vCardImportFinished(ok);
}

void AppDelegate::openSampleAddressBook() {
  if (sampleDelegate_ && sampleDelegate_->window()->isVisible()) {
    sampleDelegate_->window()->showNormal();
    sampleDelegate_->window()->raise();
    sampleDelegate_->window()->activateWindow();
    return;
  }
  sampleDelegate_.reset();
  sampleBook_.reset();
  QString error;
  sampleBook_ = SampleAddressBook::createFresh(SampleAddressBook::vCardFile(), SampleAddressBook::storePath(), &error);
  if (!sampleBook_) {
    alerts_->showAlert("Warning", error.toStdString());
    return;
  }
  sampleDelegate_ = std::make_unique<AppDelegate>(*sampleBook_);
  sampleDelegate_->setAlerts(alerts_ == defaultAlerts_.get() ? nullptr : alerts_);
  sampleDelegate_->itemSample()->setEnabled(false);
  sampleDelegate_->browserArea()->sampleButton()->setEnabled(false);
  // The window system adds the application name.
  sampleDelegate_->window()->setWindowTitle(tr("Sample Address Book"));
  sampleDelegate_->applicationDidFinishLaunching();
}

void AppDelegate::makeArcMove() {
  ProgressView* view = animationView();
  view->setSharpe("Arc");
  view->setStartAngle(start_);
  start_ += 1;
  view->setEndAngle(end_);
  end_ += 1;
  view->update();
}

void AppDelegate::updateUI(ScanResult result) {
  closeProgress();
  makeButtonEnable();
  if (outlineViewController_) {
    screens_->removeWidget(outlineViewController_);
    outlineViewController_->deleteLater();
  }
  outlineViewController_ = new OutlineViewController(book_, contactCards_.get(), screens_);
  outlineViewController_->setOutlineViewDataSouce(result);
  connect(outlineViewController_, &OutlineViewController::backRequested, this, &AppDelegate::reloadUI);
  screens_->addWidget(outlineViewController_);
  screens_->setCurrentWidget(outlineViewController_);
  QTimer::singleShot(0, this, &AppDelegate::outLineViewRefrash);
  emit scanFinished();
}

void AppDelegate::outLineViewRefrash() {
  if (outlineViewController_) outlineViewController_->showResults();
}

void AppDelegate::addressBooksClicked() {
  if (!addressBooksWindow_) {
    addressBooksWindow_ = new AddressBooksWindow(book_, window_);
    connect(addressBooksWindow_, &AddressBooksWindow::storeChanged, this, &AppDelegate::reloadUI);
  }
  addressBooksWindow_->refresh();
  addressBooksWindow_->show();
  addressBooksWindow_->raise();
  addressBooksWindow_->activateWindow();
}

void AppDelegate::reloadUI() {
  screens_->setCurrentWidget(allView_);
  if (outlineViewController_) {
    screens_->removeWidget(outlineViewController_);
    outlineViewController_->deleteLater();
    outlineViewController_ = nullptr;
  }
  loadClicked();
}

void AppDelegate::loadClicked() {
  freshButton_->setEnabled(false);
  browser_->loadPersonInAddressBook();
#ifdef ROLVANE_HAVE_CONTACT_TABLE
  showEmptyStateIfEmpty();
  loadContactsViewController_->loadPersonInAddressBook();
#endif
}

void AppDelegate::showEmptyStateIfEmpty() {
  const bool empty = book_.count() == 0;
  browser_->setVisible(empty);
#ifdef ROLVANE_HAVE_CONTACT_TABLE
  loadContactsViewController_->setVisible(!empty);
#endif
}

void AppDelegate::exportClicked() {
  ExportContacts();
}

void AppDelegate::ExportContacts() {
#ifdef ROLVANE_HAVE_CONTACT_TABLE
  ExportContactController* exportContact = loadContactsViewController_->exportContact();
  exportContact->setLoadContactsViewController(loadContactsViewController_);
  exportContact->setIsExportAllPeople(true);
  exportContact->startExport();
#endif
}

void AppDelegate::preferencesButtonClicled() {
  tableViewController_->show();
  tableViewController_->raise();
  tableViewController_->activateWindow();
}

void AppDelegate::aboutClicked() {
  if (!aboutWindowController_) {
    aboutWindowController_ = new AboutWindowController();
    aboutWindowController_->setAttribute(Qt::WA_QuitOnClose, false);
  }
  aboutWindowController_->show();
  aboutWindowController_->raise();
}

void AppDelegate::hideClicked() {
  window_->showMinimized();
}

QString AppDelegate::copyHelpToCache() {
  const QString source = ShippedFiles::path("Varnok Rolvane_Help.pdf");
  if (source.isEmpty() || !QFile::exists(source)) return {};
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/rolvane";
  if (!QDir().mkpath(cache)) return {};
  const QString copy = QDir(cache).filePath(QString("%1_Help.pdf").arg(ProductInfo::kProductName));
  QFile::remove(copy);
  return QFile::copy(source, copy) ? copy : QString();
}

void AppDelegate::menuHelpClick() {
  const QString copy = copyHelpToCache();
  const bool opened = !copy.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(copy));
  qDebug() << (opened ? "sucess" : "打开失败");
}

void AppDelegate::menuSupportClick() {
  QDesktopServices::openUrl(ShippedFiles::pageUrl(ProductInfo::kSupportPage));
}
