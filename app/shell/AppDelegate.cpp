#include "app/shell/AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <map>

#include "app/browser/view/ContactCardDialog.h"
#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "app/csv/CsvImport.h"
#include "app/export/view/ExportContactController.h"
#include "app/export/view/ExportPanel.h"
#include "app/review/view/MergeDialog.h"
#include "app/review/view/OutlineViewController.h"
#include "app/scanner/AllowedNames.h"
#include "app/scanner/DebugLog.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/shell/AboutWindowController.h"
#include "app/shell/AddressBooksWindow.h"
#include "app/shell/Alerts.h"
#include "app/shell/BrowserArea.h"
#include "app/shell/CsvImportController.h"
#include "app/shell/HelpWindow.h"
#include "app/shell/HistoryController.h"
#include "app/shell/MainWindow.h"
#include "app/shell/ProductInfo.h"
#include "app/shell/ProgressWindow.h"
#include "app/shell/SampleAddressBook.h"
#include "app/shell/ShippedFiles.h"
#include "app/shell/TableViewWindowController.h"
#include "app/shell/VCardImportController.h"
#include "app/widgets/BackGroundView.h"
#include "app/widgets/MyButton.h"
#include "app/widgets/Plural.h"
#include "app/widgets/ProgressView.h"
#include "platform/addressbook/ABAddressBook.h"

// Hands what the scan thread found over to the GUI thread, in the order it was reported.
// A scan that was cancelled meanwhile reports nothing.
class AppDelegate::ScanReport : public ScanReportReceiver {
 public:
  ScanReport(AppDelegate* delegate, unsigned generation) : delegate_(delegate), generation_(generation) {}

  void scanOver(ScanResult result) override {
    QMetaObject::invokeMethod(
        delegate_,
        [delegate = delegate_, generation = generation_, result = std::move(result)]() mutable {
          if (generation == delegate->scanGeneration_) delegate->updateUI(std::move(result));
        },
        Qt::QueuedConnection);
  }

  void scanFoundNothing(const std::string& title, const std::string& message) override {
    QMetaObject::invokeMethod(
        delegate_,
        [delegate = delegate_, generation = generation_, title, message] {
          if (generation != delegate->scanGeneration_) return;
          delegate->closeProgress();
          delegate->alerts_->showAlert(title, message);
          delegate->makeButtonEnable();
          emit delegate->scanFinished();
        },
        Qt::QueuedConnection);
  }

 private:
  AppDelegate* delegate_;
  unsigned generation_;
};

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

namespace {

// The window that shows a wait for the store (the last one made).
QPointer<AppDelegate>& storeWaitWindow() {
  static QPointer<AppDelegate> window;
  return window;
}

}  // namespace

void AppDelegate::installStoreWaitNotice() {
  ABAddressBook::setDefaultLockWait(std::chrono::seconds(30), [] {
    QObject* application = QCoreApplication::instance();
    if (!application) return;
    if (QThread::currentThread() == application->thread()) {
      if (AppDelegate* window = storeWaitWindow()) window->showStoreWait();
      return;
    }
    QMetaObject::invokeMethod(
        application,
        [] {
          if (AppDelegate* window = storeWaitWindow()) window->showStoreWait();
        },
        Qt::QueuedConnection);
  });
}

QString AppDelegate::storeWaitText() {
  return tr("Waiting for another program using the address book\u2026");
}

void AppDelegate::showStoreWait() {
  // The GUI thread itself may be the one waiting: the bar is painted now, without running events
  // (which could read the store in the middle of the save).
  window_->statusBar()->showMessage(storeWaitText());
  window_->statusBar()->repaint();
}

AppDelegate::AppDelegate(ABAddressBook& book, QObject* parent) : QObject(parent), book_(book) {
  storeWaitWindow() = this;
  ShippedFiles::loadImages();
  tableViewController_ = new TableViewWindowController();
  tableViewController_->setAttribute(Qt::WA_QuitOnClose, false);
  buildWindow();
  defaultAlerts_ = std::make_unique<MessageBoxAlerts>(window_);
  alerts_ = defaultAlerts_.get();
  importer_ = new VCardImportController(book_, this);
  importer_->setChoice([this](std::size_t there) { return alerts_->askImportChoice(there); });
  importer_->setReadableChoice([this](const std::vector<std::string>& unreadable, std::size_t readable) {
    return alerts_->askImportReadable(unreadable, readable);
  });
  connect(importer_, &VCardImportController::importFinished, this,
          [this](bool ok, int, const QString& message) { vCardImportEnded(ok, message); });
  csvImporter_ = new CsvImportController(book_, window_, this);
  connect(csvImporter_, &CsvImportController::importFinished, this,
          [this](bool ok, int, const QString& message) { vCardImportEnded(ok, message); });
  connect(window_, &MainWindow::vCardFilesDropped, this, &AppDelegate::importVCardFiles);
  connect(browser_, &BrowserArea::importRequested, this, &AppDelegate::importClicked);
  connect(browser_, &BrowserArea::sampleRequested, this, &AppDelegate::openSampleAddressBook);
  urlOpener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  buildMenus();
  connect(window_, &MainWindow::closing, this, &AppDelegate::saveSettings);
  // What the preferences hold is kept as soon as it changes (the command line reads the lists).
  connect(tableViewController_, &TableViewWindowController::preferencesChanged, this, [this] {
    if (!settings_) return;
    savePreferences();
    settings_->sync();
  });
}

AppDelegate::~AppDelegate() {
  sampleDelegate_.reset();
  if (window_->isVisible()) saveSettings();
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
  // The address book's name (its file's); the desktop adds the application's. A store kept only
  // in memory has no file and is the address book.
  const std::filesystem::path& storePath = book_.path();
  const bool inFile = !storePath.empty() && storePath.string().front() != ':';
  window_->setWindowTitle(inFile ? QString::fromStdString(storePath.stem().string()) : QStringLiteral("AddressBook"));
  window_->setWindowIcon(QIcon::fromTheme(QStringLiteral(ROLVANE_APP_ID), QIcon(":/images/rolvane.png")));
  window_->resize(1000, 680);
  statusLabel_ = new QLabel(window_);
  statusLabel_->setObjectName("statusText");
  window_->statusBar()->addWidget(statusLabel_, 1);
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
  loadContactsViewController_ = new LoadContactsViewController(book_, mainView_);
  mainLayout->addWidget(loadContactsViewController_, 1);
  connect(loadContactsViewController_, &LoadContactsViewController::tableViewDataChange, this, [this] {
    showEmptyStateIfEmpty();
    makeFreshButtonEnable();
    updateStatus();
  });
  connect(loadContactsViewController_, &LoadContactsViewController::countsChanged, this, &AppDelegate::updateStatus);
  // The table's "Merge Contacts…" opens the review screen's merge dialog, the members in store order
  // as the automatic merge takes them.
  loadContactsViewController_->mergeContacts = [this](const std::vector<ABPersonRef>& persons) {
    std::vector<ABPersonRef> ordered;
    for (const auto& person : book_.people())
      if (std::find(persons.begin(), persons.end(), person) != persons.end()) ordered.push_back(person);
    MergeDialog dialog(book_, ordered, window_);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (history_) history_->refresh();
    return true;
  };
  contactCards_ = std::make_unique<ContactCards>(book_, window_);
  connect(exportAllButton_, &QPushButton::clicked, this, &AppDelegate::exportClicked);
  allLayout->addWidget(mainView_, 1);
  screens_->addWidget(allView_);
  topView_->setImage(QImage(":/images/topBackGround.png"));

  progressWindow_ = new ProgressWindow(window_);
  connect(progressWindow_, &ProgressWindow::tick, this, &AppDelegate::makeArcMove);
  connect(progressWindow_, &ProgressWindow::cancelled, this, [this] {
    if (importer_->isRunning()) {
      // The import stops before it saves; the window waits for it to say so.
      importer_->cancel();
      progressWindow_->setWindowTitle(tr("Cancelling the import"));
      progressWindow_->cancelButton()->setEnabled(false);
    } else {
      cancelScan();
    }
  });
  connect(scanButton_, &QPushButton::clicked, this, &AppDelegate::scanClicled);
  connect(freshButton_, &QPushButton::clicked, this, &AppDelegate::loadClicked);
}

void AppDelegate::buildMenus() {
  const QString product = ProductInfo::kProductName;
  QMenuBar* bar = window_->menuBar();

  fileMenu_ = bar->addMenu(tr("&File"));
  itemImport_ = fileMenu_->addAction(tr("&Import vCard Files…"), QKeySequence::Open, this, &AppDelegate::importClicked);
  itemSample_ = fileMenu_->addAction(tr("Open the &Sample Address Book"), this, &AppDelegate::openSampleAddressBook);
  fileMenu_->addSeparator();
  itemAddressBooks_ = fileMenu_->addAction(tr("Address &Books…"), this, &AppDelegate::addressBooksClicked);
  itemSyncNow_ = fileMenu_->addAction(tr("S&ync Now"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Y), this, [this] {
    addressBooksClicked();
    addressBooksWindow_->syncNow();
  });
  fileMenu_->addSeparator();
  itemExportAll_ = fileMenu_->addAction(tr("&Export All…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), this,
                                        &AppDelegate::exportClicked);
  itemExportSelected_ = fileMenu_->addAction(tr("Export Se&lected…"), QKeySequence(Qt::CTRL | Qt::Key_E), this,
                                             &AppDelegate::exportSelectedClicked);
  fileMenu_->addSeparator();
  itemQuit_ = fileMenu_->addAction(tr("&Quit %1").arg(product), QKeySequence::Quit, window_, &QWidget::close);
  itemQuit_->setMenuRole(QAction::QuitRole);

  editMenu_ = bar->addMenu(tr("&Edit"));
  editMenuHistoryAnchor_ = editMenu_->addSeparator();
  history_ = new HistoryController(book_, window_, alerts_, this);
  history_->addActionsTo(editMenu_, editMenuHistoryAnchor_);
  connect(history_, &HistoryController::storeChanged, this, &AppDelegate::storeChangedByHistory);
  itemDelete_ = editMenu_->addAction(tr("&Delete"), QKeySequence::Delete, this, &AppDelegate::deleteClicked);
  itemFind_ = editMenu_->addAction(tr("&Find…"), QKeySequence::Find, this, &AppDelegate::findClicked);
  editMenu_->addSeparator();
  // Not every desktop defines a preferences shortcut; Ctrl+, is the common one.
  const QKeySequence preferences = QKeySequence(QKeySequence::Preferences).isEmpty()
                                       ? QKeySequence(Qt::CTRL | Qt::Key_Comma)
                                       : QKeySequence(QKeySequence::Preferences);
  itemPreferences_ =
      editMenu_->addAction(tr("Pr&eferences…"), preferences, this, &AppDelegate::preferencesButtonClicled);
  itemPreferences_->setMenuRole(QAction::PreferencesRole);

  viewMenu_ = bar->addMenu(tr("&View"));
  itemScan_ = viewMenu_->addAction(tr("&Scan"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K), this,
                                   &AppDelegate::scanClicled);
  itemRefresh_ = viewMenu_->addAction(tr("&Refresh"), QKeySequence::Refresh, this, &AppDelegate::loadClicked);
  viewMenu_->addSeparator();
  QMenu* columns = loadContactsViewController_->columnMenu();
  columns->setTitle(tr("&Columns"));
  viewMenu_->addMenu(columns);
  viewMenu_->addSeparator();
  itemHide_ = viewMenu_->addAction(tr("&Hide %1").arg(product), this, &AppDelegate::hideClicked);

  helpMenu_ = bar->addMenu(tr("&Help"));
  itemHelp_ =
      helpMenu_->addAction(tr("%1 &help").arg(product), QKeySequence::HelpContents, this, &AppDelegate::menuHelpClick);
  itemSupport_ = helpMenu_->addAction(tr("&Support"), this, &AppDelegate::menuSupportClick);
  helpMenu_->addSeparator();
  itemAbout_ = helpMenu_->addAction(tr("&About %1").arg(product), this, &AppDelegate::aboutClicked);
  itemAbout_->setMenuRole(QAction::AboutRole);

  // F10 opens the menu bar, as in the other applications of a Linux desktop.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window_);
  connect(f10, &QShortcut::activated, this, [this, bar] {
    bar->setFocus(Qt::MenuBarFocusReason);
    bar->setActiveAction(fileMenu_->menuAction());
  });
  updateActions();
}

void AppDelegate::applicationDidFinishLaunching() {
  fitToScreen();
  window_->show();
  loadClicked();
  if (!storeWatch_) {
    storeWatch_ = new QTimer(this);
    storeWatch_->setInterval(std::chrono::seconds(3));
    connect(storeWatch_, &QTimer::timeout, this, &AppDelegate::followStore);
    storeWatch_->start();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
      if (state == Qt::ApplicationActive) followStore();
    });
  }
}

bool AppDelegate::followStore() {
  // A wait for the store is over once the window runs its events again.
  if (window_->statusBar()->currentMessage() == storeWaitText()) window_->statusBar()->clearMessage();
  // A scan reads the persons on its own thread and hands over its result: it is left to finish.
  if (!scanButton_->isEnabled() || !book_.changedElsewhere()) return false;
  ABRefreshResult found;
  std::string error;
  if (!book_.refresh(&found, &error)) {
    DebugLog::write("the address book could not be read again: " + error);
    return false;
  }
  if (!found.any()) return false;
  if (outlineViewController_) outlineViewController_->followStore(found);
  loadClicked();
  return true;
}

void AppDelegate::fitToScreen() {
  // Never larger than the screen's free area (panels excluded), at any scale factor; a window
  // that would stand partly off the screen is moved back onto it.
  QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  if (window_->isMaximized() || window_->isFullScreen()) return;
  // The frame the window manager adds is unknown before showing; leave room for a usual one.
  const QSize frame(16, 48);
  const QSize most = (available.size() - frame).expandedTo(QSize(320, 240));
  QSize size = window_->size().boundedTo(most);
  window_->resize(size);
  QRect placed(window_->pos(), size + frame);
  if (!available.contains(placed)) {
    if (!restoredGeometry_) {
      placed.moveCenter(available.center());
    } else {
      placed.moveLeft(std::clamp(placed.left(), available.left(), available.right() - placed.width() + 1));
      placed.moveTop(std::clamp(placed.top(), available.top(), available.bottom() - placed.height() + 1));
    }
    window_->move(placed.topLeft());
  } else if (!restoredGeometry_) {
    placed.moveCenter(available.center());
    window_->move(placed.topLeft());
  }
}

std::unique_ptr<QSettings> AppDelegate::defaultSettings() {
  // The file the command line reads the allowed titles and suffixes from too.
  std::filesystem::path file = AllowedNames::settingsFile();
  if (file.empty())
    file = (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/rolvane/rolvane.conf")
               .toStdString();
  return std::make_unique<QSettings>(QString::fromStdString(file.string()), QSettings::IniFormat);
}

void AppDelegate::useSettings(std::unique_ptr<QSettings> settings) {
  settings_ = std::move(settings);
  restoreSettings();
}

void AppDelegate::restoreSettings() {
  if (!settings_) return;
  restoredGeometry_ = window_->restoreGeometry(settings_->value("window/geometry").toByteArray());
  {
    // Writing the settings back while they are read would keep only half of them.
    const QSignalBlocker quiet(tableViewController_);
    tableViewController_->setRegionChoice(settings_->value("scan/region").toString().toStdString());
    if (settings_->contains("scan/conditions")) {
      std::vector<std::string> ticked;
      for (const QString& name : settings_->value("scan/conditions").toStringList())
        ticked.push_back(name.toStdString());
      tableViewController_->setSelectArray(ticked);
    }
    // The command line reads the same keys of the same file (AllowedNames::fromSettingsFile); a list
    // never saved is the default one.
    auto list = [&](const char* key, const std::vector<std::string>& defaults) {
      const QString name = QString(AllowedNames::kSettingsGroup) + "/" + key;
      if (!settings_->contains(name)) return defaults;
      std::vector<std::string> entries;
      for (const QString& entry : settings_->value(name).toStringList())
        if (!entry.trimmed().isEmpty()) entries.push_back(entry.toStdString());
      return entries;
    };
    tableViewController_->setAllowedNames(
        AllowedNames(list(AllowedNames::kTitlesKey, AllowedNames::defaults().titles()),
                     list(AllowedNames::kSuffixesKey, AllowedNames::defaults().suffixes())));
    // As the command line reads them (PhotoLimits::fromSettingsFile).
    PhotoLimits limits;
    auto number = [&](const char* key, auto& into) {
      bool ok = false;
      const long long value = settings_->value(QString(AllowedNames::kSettingsGroup) + "/" + key).toLongLong(&ok);
      if (ok && value > 0) into = static_cast<std::remove_reference_t<decltype(into)>>(value);
    };
    number(PhotoLimits::kKilobytesKey, limits.kilobytes);
    number(PhotoLimits::kPixelsKey, limits.pixels);
    tableViewController_->setPhotoLimits(limits);
  }
  const QStringList columns = settings_->value("table/columns").toStringList();
  if (!columns.isEmpty()) {
    std::vector<std::string> keys;
    for (const QString& column : columns) keys.push_back(column.toStdString());
    std::map<std::string, int> widths;
    const QVariantMap saved = settings_->value("table/widths").toMap();
    for (auto it = saved.begin(); it != saved.end(); ++it) widths[it.key().toStdString()] = it.value().toInt();
    loadContactsViewController_->restoreColumns(keys, widths);
  }
  const QString sortKey = settings_->value("table/sortKey").toString();
  if (!sortKey.isEmpty())
    loadContactsViewController_->sortByKey(sortKey.toStdString(), settings_->value("table/sortDescending").toBool()
                                                                      ? Qt::DescendingOrder
                                                                      : Qt::AscendingOrder);
}

void AppDelegate::savePreferences() {
  if (!settings_) return;
  settings_->setValue("scan/region", QString::fromStdString(tableViewController_->regionChoice()));
  QStringList ticked;
  for (const auto& name : tableViewController_->getSelectArray()) ticked << QString::fromStdString(name);
  settings_->setValue("scan/conditions", ticked);
  const AllowedNames names = tableViewController_->allowedNames();
  auto list = [](const std::vector<std::string>& entries) {
    QStringList out;
    for (const auto& entry : entries) out << QString::fromStdString(entry);
    return out;
  };
  settings_->setValue(QString(AllowedNames::kSettingsGroup) + "/" + AllowedNames::kTitlesKey, list(names.titles()));
  settings_->setValue(QString(AllowedNames::kSettingsGroup) + "/" + AllowedNames::kSuffixesKey, list(names.suffixes()));
  const PhotoLimits limits = tableViewController_->photoLimits();
  settings_->setValue(QString(AllowedNames::kSettingsGroup) + "/" + PhotoLimits::kKilobytesKey,
                      static_cast<qlonglong>(limits.kilobytes));
  settings_->setValue(QString(AllowedNames::kSettingsGroup) + "/" + PhotoLimits::kPixelsKey, limits.pixels);
}

void AppDelegate::saveSettings() {
  if (!settings_) return;
  settings_->setValue("window/geometry", window_->saveGeometry());
  savePreferences();
  QStringList columns;
  QVariantMap widths;
  for (const auto& [key, width] : loadContactsViewController_->shownColumnWidths()) {
    columns << QString::fromStdString(key);
    widths.insert(QString::fromStdString(key), width);
  }
  settings_->setValue("table/columns", columns);
  settings_->setValue("table/widths", widths);
  settings_->setValue("table/sortKey", QString::fromStdString(loadContactsViewController_->sortKey()));
  settings_->setValue("table/sortDescending", loadContactsViewController_->sortOrder() == Qt::DescendingOrder);
  settings_->sync();
}

void AppDelegate::setButtonsEnabled(bool enabled) {
  busy_ = !enabled;
  freshButton_->setEnabled(enabled);
  updateActions();
}

void AppDelegate::updateActions() {
  const bool hasContacts = book_.count() > 0;
  scanButton_->setEnabled(!busy_ && hasContacts);
  exportAllButton_->setEnabled(!busy_ && hasContacts);
  const bool browsing = !showingReviewScreen() && loadContactsViewController_->isVisible();
  const bool selection = browsing && loadContactsViewController_->selectedCount() > 0;
  if (itemExportSelected_) itemExportSelected_->setEnabled(!busy_ && selection);
  if (itemDelete_) itemDelete_->setEnabled(!busy_ && selection);
  if (itemFind_) itemFind_->setEnabled(browsing);
  if (itemScan_) itemScan_->setEnabled(scanButton_->isEnabled());
  if (itemExportAll_) itemExportAll_->setEnabled(exportAllButton_->isEnabled());
  if (itemImport_) itemImport_->setEnabled(!busy_);
  if (itemRefresh_) itemRefresh_->setEnabled(freshButton_->isEnabled());
}

QString AppDelegate::statusText() const {
  const ContactTableModel* model = loadContactsViewController_->model();
  QStringList parts;
  const int total = static_cast<int>(model->records().size());
  parts << countedText(tr("%n contact(s)", nullptr, total), total);
  if (model->isFiltered()) parts << tr("%n shown", nullptr, model->rowCount());
  const int selected = loadContactsViewController_->selectedCount();
  if (selected > 0) parts << tr("%n selected", nullptr, selected);
  return parts.join(QStringLiteral(" · "));
}

void AppDelegate::updateStatus() {
  statusLabel_->setText(statusText());
  updateActions();
}

void AppDelegate::makeButtonEnable() {
  setButtonsEnabled(true);
}

void AppDelegate::makeFreshButtonEnable() {
  freshButton_->setEnabled(true);
  updateActions();
}

void AppDelegate::closeProgress() {
  progressWindow_->hide();
}

void AppDelegate::joinScanThread() {
  if (scanThread_.joinable()) scanThread_.join();
}

void AppDelegate::scanClicled() {
  if (busy_) return;
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
  scanAddressBook_->setRegion(tableViewController_->region());
  progressWindow_->setCancellable(true);
  const unsigned generation = ++scanGeneration_;
  scanThread_ = std::thread([this, scanner = scanAddressBook_.get(), names, generation] {
    ScanReport report(this, generation);
    scanner->scanEntireAddressBook(names, report);
  });
}

void AppDelegate::cancelScan() {
  if (!progressWindow_->isVisible() || !scanThread_.joinable()) return;
  // The scan only reads: it is left to end on its own thread, and what it finds is dropped.
  ++scanGeneration_;
  closeProgress();
  makeButtonEnable();
  window_->statusBar()->showMessage(tr("The scan was cancelled."), 5000);
}

void AppDelegate::showProgress(const QString& title) {
  start_ = 0;
  end_ = 30.0;
  animationView()->setProgress(0.0);
  animationView()->setProgress(1.0);
  progressWindow_->setWindowTitle(title);
  progressWindow_->setCancellable(false);
  progressWindow_->cancelButton()->setEnabled(true);
  progressWindow_->show();
  progressWindow_->raise();
}

void AppDelegate::importClicked() {
  const QStringList files =
      QFileDialog::getOpenFileNames(window_, tr("Import vCard Files"), QDir::homePath(),
                                    tr("vCard and CSV files (*.vcf *.vcard *.VCF *.VCARD *.csv *.CSV *.tsv);;"
                                       "vCard files (*.vcf *.vcard *.VCF *.VCARD);;CSV files (*.csv *.CSV *.tsv);;"
                                       "All files (*)"));
  importVCardFiles(files);
}

void AppDelegate::importVCardFiles(const QStringList& files) {
  // A scan or an import in progress keeps the buttons disabled; the store takes one change at a time.
  if (files.isEmpty() || importer_->isRunning() || busy_) return;
  // CSV files go through their import dialog first, each its own change set.
  QStringList csv, vCards;
  for (const QString& file : files) (isCsvPath(file.toStdString()) ? csv : vCards) << file;
  if (!csv.isEmpty()) csvImporter_->importFiles(csv);
  if (vCards.isEmpty()) return;
  setButtonsEnabled(false);
  showProgress(tr("Importing"));
  progressWindow_->setCancellable(true);
  importer_->importFiles(vCards);
}

void AppDelegate::vCardImportEnded(bool ok, const QString& message) {
  closeProgress();
  makeButtonEnable();
  if (!message.isEmpty()) alerts_->showAlert(ok ? "Import" : "Warning", message.toStdString());
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
  // While a Fix All runs the store is held for it: nothing else may change it meanwhile.
  connect(outlineViewController_, &OutlineViewController::busyChanged, this,
          [this](bool busy) { setButtonsEnabled(!busy); });
  // The table behind the review screen (and the status bar's counts) follow every fix.
  connect(outlineViewController_, &OutlineViewController::storeChanged, this, &AppDelegate::loadClicked);
  connect(outlineViewController_, &OutlineViewController::scanAgainRequested, this, &AppDelegate::scanClicled);
  screens_->addWidget(outlineViewController_);
  screens_->setCurrentWidget(outlineViewController_);
  updateActions();
  QTimer::singleShot(0, this, &AppDelegate::outLineViewRefrash);
  emit scanFinished();
}

void AppDelegate::outLineViewRefrash() {
  if (outlineViewController_) outlineViewController_->showResults();
}

void AppDelegate::addressBooksClicked() {
  if (!addressBooksWindow_) {
    addressBooksWindow_ = new AddressBooksWindow(book_, window_);
    connect(addressBooksWindow_, &AddressBooksWindow::storeChanged, this, &AppDelegate::storeChangedByHistory);
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
  updateActions();
  loadClicked();
}

void AppDelegate::storeChangedByHistory() {
  // The review screen checks its findings again; the table behind it reloads either way.
  if (showingReviewScreen()) outlineViewController_->storeChangedElsewhere();
  loadClicked();
}

void AppDelegate::loadClicked() {
  freshButton_->setEnabled(false);
  browser_->loadPersonInAddressBook();
  showEmptyStateIfEmpty();
  loadContactsViewController_->loadPersonInAddressBook();
}

void AppDelegate::showEmptyStateIfEmpty() {
  const bool empty = book_.count() == 0;
  browser_->setVisible(empty);
  loadContactsViewController_->setVisible(!empty);
  // An empty address book has nothing to scan or export: the guidance says how to fill it.
  updateActions();
}

void AppDelegate::exportClicked() {
  if (busy_) return;
  ExportContacts();
}

void AppDelegate::exportSelectedClicked() {
  if (showingReviewScreen() || loadContactsViewController_->selectedCount() == 0) return;
  loadContactsViewController_->exportItem();
}

void AppDelegate::deleteClicked() {
  // The Delete key deletes the selected contacts of the table, after the usual question.
  if (busy_ || showingReviewScreen() || loadContactsViewController_->selectedCount() == 0) return;
  loadContactsViewController_->deleteItem();
}

void AppDelegate::findClicked() {
  if (showingReviewScreen() || !loadContactsViewController_->isVisible()) return;
  loadContactsViewController_->focusFindField();
}

void AppDelegate::offerToImport(const QStringList& files) {
  if (files.isEmpty()) return;
  QStringList names;
  for (const QString& file : files) names << QFileInfo(file).fileName();
  const int count = static_cast<int>(files.size());
  const QString question = countedText(tr("Import %n vCard file(s) into the address book?", nullptr, count), count);
  const QString detail = names.join(QStringLiteral("\n"));
  if (!alerts_->confirm(question.toStdString(), detail.toStdString(), tr("Import").toStdString())) return;
  importVCardFiles(files);
}

void AppDelegate::ExportContacts() {
  ExportContactController* exportContact = loadContactsViewController_->exportContact();
  exportContact->setLoadContactsViewController(loadContactsViewController_->exportSource());
  exportContact->setIsExportAllPeople(true);
  exportContact->startExport();
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
    aboutWindowController_->setUrlOpener([this](const QUrl& url) { return urlOpener_(url); });
    aboutWindowController_->setWarning(
        [this](const QString& text) { alerts_->showAlert("Warning", text.toStdString()); });
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

void AppDelegate::setUrlOpener(std::function<bool(const QUrl&)> opener) {
  urlOpener_ = std::move(opener);
}

void AppDelegate::menuHelpClick() {
  // The help is read in a window of the application: no other program is needed.
  if (!helpWindow_) {
    helpWindow_ = new HelpWindow(window_);
    helpWindow_->setAttribute(Qt::WA_QuitOnClose, false);
  }
  helpWindow_->show();
  helpWindow_->raise();
  helpWindow_->activateWindow();
}

void AppDelegate::menuSupportClick() {
  const QUrl page = ShippedFiles::pageUrl(ProductInfo::kSupportPage);
  if (urlOpener_(page)) return;
  alerts_->showAlert("Warning", tr("No web browser could open the support page %1. Open the address in a browser.")
                                    .arg(page.toString())
                                    .toStdString());
}
