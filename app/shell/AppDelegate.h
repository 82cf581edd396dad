#pragma once

#include <QObject>
#include <QSettings>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/scanner/ScanResult.h"

class ABAddressBook;
class AboutWindowController;
class HelpWindow;
class AddressBooksWindow;
class Alerts;
class BackGroundView;
class BrowserArea;
class ContactsApplication;
class HistoryController;
class LoadContactsViewController;
class MainWindow;
class MyButton;
class OutlineViewController;
class ProgressView;
class ProgressWindow;
class QAction;
class QLabel;
class QMenu;

class QStackedWidget;
class QUrl;
class QTimer;
class QWidget;
class ScanAddressBook;
class TableViewWindowController;
class CsvImportController;
class VCardImportController;

// Owns the main window and ties the screens together: the browser screen with Scan, Refresh and
// Export All, the review screen built from each scan result, the progress window, the menus.
class AppDelegate : public QObject {
  Q_OBJECT

 public:
  explicit AppDelegate(ABAddressBook& book, QObject* parent = nullptr);
  ~AppDelegate() override;

  // Alerts go here; by default message boxes over the main window.
  void setAlerts(Alerts* alerts);

  MainWindow* window() const { return window_; }
  QWidget* allView() const { return allView_; }
  BackGroundView* topView() const { return topView_; }
  MyButton* scanButton() const { return scanButton_; }
  MyButton* freshButton() const { return freshButton_; }
  MyButton* exportAllButton() const { return exportAllButton_; }
  QWidget* mainView() const { return mainView_; }
  ProgressWindow* progressWindow() const { return progressWindow_; }
  ProgressView* animationView() const;
  TableViewWindowController* tableViewController() const { return tableViewController_; }
  LoadContactsViewController* loadContactsViewController() const { return loadContactsViewController_; }
  BrowserArea* browserArea() const { return browser_; }
  OutlineViewController* outlineViewController() const { return outlineViewController_; }
  AboutWindowController* aboutWindowController() const { return aboutWindowController_; }
  // The help window (Help > Rolvane help), once it has been opened.
  HelpWindow* helpWindow() const { return helpWindow_; }
  QAction* itemAbout() const { return itemAbout_; }
  QAction* itemHide() const { return itemHide_; }
  QAction* itemQuit() const { return itemQuit_; }
  QAction* itemHelp() const { return itemHelp_; }
  QAction* itemSupport() const { return itemSupport_; }
  QAction* itemPreferences() const { return itemPreferences_; }
  QAction* itemImport() const { return itemImport_; }
  QAction* itemSample() const { return itemSample_; }
  QAction* itemAddressBooks() const { return itemAddressBooks_; }
  QAction* itemSyncNow() const { return itemSyncNow_; }
  QAction* itemExportAll() const { return itemExportAll_; }
  QAction* itemExportSelected() const { return itemExportSelected_; }
  QAction* itemDelete() const { return itemDelete_; }
  QAction* itemFind() const { return itemFind_; }
  QAction* itemScan() const { return itemScan_; }
  QAction* itemRefresh() const { return itemRefresh_; }
  QMenu* fileMenu() const { return fileMenu_; }
  // The Edit menu. Undo, Redo and the history's items go before editMenuHistoryAnchor(), the
  // separator that opens the menu; Delete, Find and Preferences follow it.
  QMenu* editMenu() const { return editMenu_; }
  QAction* editMenuHistoryAnchor() const { return editMenuHistoryAnchor_; }
  QMenu* viewMenu() const { return viewMenu_; }
  QMenu* helpMenu() const { return helpMenu_; }
  // The status bar's text: "N contacts", and "M shown" while finding, "K selected".
  QString statusText() const;

  // Window geometry, the table's columns, widths and sort are kept here between runs (none: kept
  // nowhere). Read at once; written when the window closes and by saveSettings().
  void useSettings(std::unique_ptr<QSettings> settings);
  QSettings* settings() const { return settings_.get(); }
  void saveSettings();
  // $XDG_CONFIG_HOME/rolvane/rolvane.conf: where the application keeps its settings.
  static std::unique_ptr<QSettings> defaultSettings();
  // Writes what the preferences hold (ticked conditions, region, allowed titles and suffixes).
  void savePreferences();
  // Opens pages and documents in the user's programs (by default the desktop's); false when none could.
  void setUrlOpener(std::function<bool(const QUrl&)> opener);
  VCardImportController* importController() const { return importer_; }
  CsvImportController* csvImportController() const { return csvImporter_; }
  // Undo, Redo, History… and Trash… of the Edit menu.
  HistoryController* historyController() const { return history_; }
  // The window of the sample address book while it is open (nullptr before).
  AppDelegate* sampleDelegate() const { return sampleDelegate_.get(); }
  bool showingReviewScreen() const;
  double start() const { return start_; }
  double end() const { return end_; }

  // Copies the help document into the cache folder and returns the copy's path (empty on failure).
  static QString copyHelpToCache();

  // Makes every address book opened from now on say in the window's status bar when it has waited a
  // second for another program holding the store (on the GUI thread at once, from other threads
  // when the GUI thread is free). Call before the store is opened.
  static void installStoreWaitNotice();
  // The status bar's words while a save waits for the store.
  static QString storeWaitText();
  void showStoreWait();

 public slots:
  void applicationDidFinishLaunching();
  void scanClicled();
  // Cancel in the progress window of a scan: the window is back at once, what the scan finds is
  // dropped.
  void cancelScan();
  void loadClicked();
  void exportClicked();
  void ExportContacts();
  void preferencesButtonClicled();
  void aboutClicked();
  void menuHelpClick();
  void menuSupportClick();
  void hideClicked();
  void importClicked();
  // Imports the files into the store behind a progress window; the browser reloads afterwards.
  void importVCardFiles(const QStringList& files);
  // Opens the sample address book, filled afresh, in a window of its own.
  void openSampleAddressBook();
  // File → Address Books…: the linked folders and CardDAV address books, and their sync.
  void addressBooksClicked();
  // Files handed over on the command line (the file manager's "Open With"): asks, then imports.
  void offerToImport(const QStringList& files);
  void exportSelectedClicked();
  void deleteClicked();
  void findClicked();

  void updateUI(ScanResult result);
  void reloadUI();
  void closeProgress();
  void makeButtonEnable();
  void makeFreshButtonEnable();
  void outLineViewRefrash();
  // Reads what another program saved since the store was last read and shows it: the browser
  // reloads, the review screen drops the findings about contacts that changed or went. Checked
  // every few seconds and whenever the application becomes active again. True when anything was
  // read.
  bool followStore();
  void makeArcMove();

 signals:
  // Emitted on the GUI thread once a scan has reported (found or not).
  void scanFinished();
  // Emitted on the GUI thread once an import has ended and the browser has been told to reload.
  void vCardImportFinished(bool ok);

 private:
  class ScanReport;
  class ContactCards;
  void buildWindow();
  void buildMenus();
  void setButtonsEnabled(bool enabled);
  // Scan and Export All need contacts; nothing runs while a scan or an import does.
  void updateActions();
  void updateStatus();
  void fitToScreen();
  void restoreSettings();
  void joinScanThread();
  void showProgress(const QString& title);
  // The getting-started panel in place of the contact table while the store holds nobody.
  void showEmptyStateIfEmpty();
  void vCardImportEnded(bool ok, const QString& message);
  // After undo, redo or a restore: the browser reloads and the review screen drops gone rows.
  void storeChangedByHistory();

  ABAddressBook& book_;
  std::unique_ptr<Alerts> defaultAlerts_;
  Alerts* alerts_ = nullptr;
  MainWindow* window_ = nullptr;
  QStackedWidget* screens_ = nullptr;
  QWidget* allView_ = nullptr;
  BackGroundView* topView_ = nullptr;
  MyButton* scanButton_ = nullptr;
  MyButton* freshButton_ = nullptr;
  MyButton* exportAllButton_ = nullptr;
  QWidget* mainView_ = nullptr;
  BrowserArea* browser_ = nullptr;
  LoadContactsViewController* loadContactsViewController_ = nullptr;
  std::unique_ptr<ContactsApplication> contactCards_;
  ProgressWindow* progressWindow_ = nullptr;
  TableViewWindowController* tableViewController_ = nullptr;
  OutlineViewController* outlineViewController_ = nullptr;
  AboutWindowController* aboutWindowController_ = nullptr;
  HelpWindow* helpWindow_ = nullptr;
  AddressBooksWindow* addressBooksWindow_ = nullptr;
  std::unique_ptr<ScanAddressBook> scanAddressBook_;
  // Each scan's number; a result of another number (a scan cancelled) is dropped when it comes.
  unsigned scanGeneration_ = 0;
  std::thread scanThread_;
  double start_ = 0;
  double end_ = 30.0;
  QAction* itemAbout_ = nullptr;
  QAction* itemHide_ = nullptr;
  QAction* itemQuit_ = nullptr;
  QAction* itemHelp_ = nullptr;
  QAction* itemSupport_ = nullptr;
  QAction* itemPreferences_ = nullptr;
  QAction* itemImport_ = nullptr;
  QAction* itemSample_ = nullptr;
  QAction* itemAddressBooks_ = nullptr;
  QAction* itemSyncNow_ = nullptr;
  QAction* itemExportAll_ = nullptr;
  QAction* itemExportSelected_ = nullptr;
  QAction* itemDelete_ = nullptr;
  QAction* itemFind_ = nullptr;
  QAction* itemScan_ = nullptr;
  QAction* itemRefresh_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QAction* editMenuHistoryAnchor_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  bool busy_ = false;
  bool restoredGeometry_ = false;
  std::unique_ptr<QSettings> settings_;
  std::function<bool(const QUrl&)> urlOpener_;
  VCardImportController* importer_ = nullptr;
  CsvImportController* csvImporter_ = nullptr;
  HistoryController* history_ = nullptr;
  std::unique_ptr<ABAddressBook> sampleBook_;
  std::unique_ptr<AppDelegate> sampleDelegate_;
  QTimer* storeWatch_ = nullptr;
};
