// The main window as a Linux desktop application: counts and title, menus and keys, settings kept
// between runs, the empty address book, messages when no program opens help or support.
#include <gtest/gtest.h>
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "app/browser/view/UserQuestion.h"
#include "app/scanner/AllowedNames.h"
#include "app/scanner/ScanConditions.h"
#include "app/shell/AboutWindowController.h"
#include "app/shell/Alerts.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/BrowserArea.h"
#include "app/shell/HelpWindow.h"
#include "app/shell/HistoryController.h"
#include "app/shell/MainWindow.h"
#include "app/shell/ProductInfo.h"
#include "app/shell/TableViewWindowController.h"
#include "app/widgets/MyButton.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/app/shell/ShellTestMain.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class Heard : public Alerts {
 public:
  std::vector<std::pair<std::string, std::string>> shown;
  std::vector<std::string> asked;
  bool answer = true;
  void showAlert(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
  bool confirm(const std::string& question, const std::string&, const std::string&) override {
    asked.push_back(question);
    return answer;
  }
};

class Answers : public UserQuestion {
 public:
  int asked = 0;
  bool confirm(const QString&, const QString&, const QString&, const QString&) override {
    ++asked;
    return true;
  }
  void inform(const QString&, const QString&) override {}
};

class DesktopTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    book_ = ABAddressBook::inMemory();
  }

  void add(const std::string& first, const std::string& last) {
    auto person = ABPerson::create();
    person->setValueForProperty(ABValue(first), kABFirstNameProperty);
    person->setValueForProperty(ABValue(last), kABLastNameProperty);
    ASSERT_TRUE(book_->addRecord(person));
    ASSERT_TRUE(book_->save());
  }

  // A delegate over the book, launched, with its first load installed.
  std::unique_ptr<AppDelegate> launch(std::unique_ptr<QSettings> settings = nullptr) {
    auto delegate = std::make_unique<AppDelegate>(*book_);
    delegate->setAlerts(&heard_);
    if (settings) delegate->useSettings(std::move(settings));
    QSignalSpy loaded(delegate->loadContactsViewController(), &LoadContactsViewController::tableViewDataChange);
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(loaded.wait(10000));
    return delegate;
  }

  static void activate(AppDelegate& delegate) {
    delegate.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(delegate.window()));
  }

  std::unique_ptr<ABAddressBook> book_;
  Heard heard_;
};

}  // namespace

TEST_F(DesktopTest, StatusBarCountsContactsFoundAndSelectedAndTheTitleNamesTheBook) {
  add("Ann", "Lee");
  add("Bob", "Ray");
  add("Cid", "Annan");
  auto delegate = launch();
  EXPECT_EQ(delegate->window()->windowTitle(), "AddressBook");
  EXPECT_EQ(delegate->statusText(), "3 contacts");
  LoadContactsViewController* browser = delegate->loadContactsViewController();
  browser->setFindText("ann");
  EXPECT_EQ(delegate->statusText(), "3 contacts · 2 shown");
  browser->getTableView()->selectionModel()->select(browser->model()->index(0, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(delegate->statusText(), "3 contacts · 2 shown · 1 selected");
  EXPECT_TRUE(delegate->itemDelete()->isEnabled());
  EXPECT_TRUE(delegate->itemExportSelected()->isEnabled());
  browser->setFindText("");
  EXPECT_EQ(delegate->statusText(), "3 contacts · 1 selected");
}

TEST_F(DesktopTest, TitleNamesTheStoreFile) {
  QTemporaryDir folder;
  auto stored = ABAddressBook::open(QDir(folder.path()).filePath("Family.sqlite").toStdString());
  ASSERT_TRUE(stored);
  AppDelegate delegate(*stored);
  EXPECT_EQ(delegate.window()->windowTitle(), "Family");
}

TEST_F(DesktopTest, EmptyAddressBookDisablesScanAndExportAllAndShowsTheGuidance) {
  auto delegate = launch();
  EXPECT_TRUE(delegate->browserArea()->isVisibleTo(delegate->window()));
  EXPECT_FALSE(delegate->scanButton()->isEnabled());
  EXPECT_FALSE(delegate->exportAllButton()->isEnabled());
  EXPECT_FALSE(delegate->itemScan()->isEnabled());
  EXPECT_FALSE(delegate->itemExportAll()->isEnabled());
  EXPECT_TRUE(delegate->freshButton()->isEnabled());
  EXPECT_TRUE(delegate->itemImport()->isEnabled());

  add("Ann", "Lee");
  QSignalSpy loaded(delegate->loadContactsViewController(), &LoadContactsViewController::tableViewDataChange);
  delegate->loadClicked();
  ASSERT_TRUE(loaded.wait(10000));
  EXPECT_FALSE(delegate->browserArea()->isVisibleTo(delegate->window()));
  EXPECT_TRUE(delegate->scanButton()->isEnabled());
  EXPECT_TRUE(delegate->exportAllButton()->isEnabled());
  EXPECT_TRUE(delegate->itemScan()->isEnabled());
}

TEST_F(DesktopTest, DeleteKeyDeletesTheSelectedContactsAfterAsking) {
  add("Ann", "Lee");
  add("Bob", "Ray");
  auto delegate = launch();
  auto answers = std::make_unique<Answers>();
  Answers* asked = answers.get();
  LoadContactsViewController* browser = delegate->loadContactsViewController();
  browser->setQuestion(std::move(answers));
  activate(*delegate);
  QTableView* table = browser->getTableView();
  table->setFocus();
  table->selectionModel()->select(browser->model()->index(1, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(table, Qt::Key_Delete);
  EXPECT_EQ(asked->asked, 1);
  EXPECT_EQ(book_->count(), 1u);
  EXPECT_EQ(browser->model()->rowCount(), 1);

  // In the find field the key edits the text and deletes nobody.
  browser->findField()->setText("ann");
  browser->findField()->setFocus();
  browser->findField()->setCursorPosition(0);
  QTest::keyClick(browser->findField(), Qt::Key_Delete);
  EXPECT_EQ(browser->findField()->text(), "nn");
  EXPECT_EQ(asked->asked, 1);
  EXPECT_EQ(book_->count(), 1u);
}

TEST_F(DesktopTest, CtrlFGoesToTheFindFieldAndF10ToTheMenuBar) {
  add("Ann", "Lee");
  auto delegate = launch();
  activate(*delegate);
  delegate->loadContactsViewController()->getTableView()->setFocus();
  QTest::keyClick(delegate->window(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(delegate->loadContactsViewController()->findField()->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
  EXPECT_EQ(delegate->window()->menuBar()->activeAction(), delegate->fileMenu()->menuAction());
}

TEST_F(DesktopTest, MenusOfALinuxApplicationWithAccessKeysAndShortcutsThatDoNotClash) {
  auto delegate = launch();
  QStringList titles;
  for (QAction* menu : delegate->window()->menuBar()->actions()) titles << menu->text();
  EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Help"}));
  // Every item of every menu has its access key, and no two share a shortcut.
  std::map<QString, QString> taken;
  for (QMenu* menu : {delegate->fileMenu(), delegate->editMenu(), delegate->viewMenu(), delegate->helpMenu()}) {
    QStringList keys;
    for (QAction* item : menu->actions()) {
      if (item->isSeparator()) continue;
      EXPECT_TRUE(item->text().contains('&')) << item->text().toStdString();
      const QString key = item->text().mid(item->text().indexOf('&') + 1, 1).toLower();
      EXPECT_FALSE(keys.contains(key)) << "two items of one menu share the access key " << key.toStdString();
      keys << key;
      if (item->shortcut().isEmpty()) continue;
      const QString shortcut = item->shortcut().toString();
      EXPECT_EQ(taken.count(shortcut), 0u) << shortcut.toStdString();
      taken[shortcut] = item->text();
    }
  }
  EXPECT_EQ(delegate->itemQuit()->shortcut(), QKeySequence(QKeySequence::Quit));
  EXPECT_EQ(delegate->itemFind()->shortcut(), QKeySequence(QKeySequence::Find));
  EXPECT_EQ(delegate->itemDelete()->shortcut(), QKeySequence(QKeySequence::Delete));
  EXPECT_EQ(delegate->itemHelp()->shortcut(), QKeySequence(QKeySequence::HelpContents));
  // Scan and the exports use keys that no standard action of the desktop claims.
  for (QAction* own : {delegate->itemScan(), delegate->itemExportAll(), delegate->itemExportSelected()}) {
    ASSERT_FALSE(own->shortcut().isEmpty());
    for (int standard = QKeySequence::HelpContents; standard <= QKeySequence::Cancel; ++standard)
      for (const QKeySequence& binding : QKeySequence::keyBindings(static_cast<QKeySequence::StandardKey>(standard)))
        EXPECT_NE(binding, own->shortcut()) << own->text().toStdString() << " " << standard;
  }
  // The history's items go before the anchor; Delete, Find and Preferences come after it.
  const QList<QAction*> edit = delegate->editMenu()->actions();
  ASSERT_FALSE(edit.isEmpty());
  EXPECT_EQ(edit.first(), delegate->historyController()->undoAction());
  EXPECT_LT(edit.indexOf(delegate->historyController()->trashAction()),
            edit.indexOf(delegate->editMenuHistoryAnchor()));
  EXPECT_LT(edit.indexOf(delegate->editMenuHistoryAnchor()), edit.indexOf(delegate->itemDelete()));
  EXPECT_LT(edit.indexOf(delegate->itemDelete()), edit.indexOf(delegate->itemFind()));
  EXPECT_LT(edit.indexOf(delegate->itemFind()), edit.indexOf(delegate->itemPreferences()));
}

TEST_F(DesktopTest, SizePositionColumnsWidthsAndSortAreKeptBetweenRuns) {
  add("Ann", "Lee");
  add("Bob", "Ray");
  QTemporaryDir folder;
  const QString file = QDir(folder.path()).filePath("rolvane.conf");
  {
    auto delegate = launch(std::make_unique<QSettings>(file, QSettings::IniFormat));
    LoadContactsViewController* browser = delegate->loadContactsViewController();
    browser->columnItem("Nickname")->trigger();
    browser->columnItem("Mobile")->trigger();
    browser->getTableView()->setColumnWidth(0, 222);
    browser->sortByKey("Last Name", Qt::DescendingOrder);
    delegate->window()->resize(700, 500);
    delegate->tableViewController()->toggleConditionAtRow(0);
    delegate->tableViewController()->setRegionChoice("CH");
    delegate->window()->close();  // closing saves
  }
  auto delegate = launch(std::make_unique<QSettings>(file, QSettings::IniFormat));
  LoadContactsViewController* browser = delegate->loadContactsViewController();
  std::vector<std::string> expected = LoadContactsViewController::initialColumns();
  expected.erase(std::find(expected.begin(), expected.end(), "Mobile"));
  expected.push_back("Nickname");
  EXPECT_EQ(browser->shownColumns(), expected);
  EXPECT_TRUE(browser->columnItem("Nickname")->isChecked());
  EXPECT_FALSE(browser->columnItem("Mobile")->isChecked());
  EXPECT_EQ(browser->getTableView()->columnWidth(0), 222);
  EXPECT_EQ(browser->sortKey(), "Last Name");
  EXPECT_EQ(browser->sortOrder(), Qt::DescendingOrder);
  EXPECT_EQ(browser->model()->recordAt(0).textOr("Last Name"), "Ray");
  EXPECT_EQ(delegate->window()->size(), QSize(700, 500));
  // The ticked conditions are kept in their order (the one ticked again last), and the region.
  std::vector<std::string> ticked = allConditionNames();
  ticked.erase(ticked.begin());
  EXPECT_EQ(delegate->tableViewController()->getSelectArray(), ticked);
  EXPECT_EQ(delegate->tableViewController()->region(), "CH");
}

// The allowed titles and suffixes the user edits are kept in the settings as soon as they change,
// and the command line, reading the same file, scans with them.
TEST_F(DesktopTest, AllowedTitlesAndSuffixesAreKeptAndTheCommandLineScansWithThem) {
  QTemporaryDir config;
  const QByteArray before = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  const QString file = QString::fromStdString(AllowedNames::settingsFile().string());
  AllowedNames shown;
  {
    auto delegate = launch(std::make_unique<QSettings>(file, QSettings::IniFormat));
    TableViewWindowController* preferences = delegate->tableViewController();
    // Entries as users write them: other scripts, a comma, quotes, an "@" first.
    for (const char* title : {"Herr", "Señora", "Hon., Esq", "\"The\" Rt", "@home"})
      preferences->addAllowedTitle(QString::fromUtf8(title));
    preferences->addAllowedTitle("  ");    // nothing to add
    preferences->addAllowedTitle("Herr");  // listed already
    for (QListWidgetItem* item : preferences->titlesList()->findItems("Mr", Qt::MatchFixedString))
      item->setSelected(true);  // "Mr" and "mr"
    preferences->removeSelectedTitles();
    preferences->addAllowedSuffix("MBA");
    shown = preferences->allowedNames();
    EXPECT_EQ(shown.titles().size(), AllowedNames::defaults().titles().size() + 5 - 2);
    EXPECT_FALSE(shown.allowsTitle("Mr"));
    EXPECT_TRUE(shown.allowsTitle("Hon., Esq"));
    // Written at once: the command line reads what the window shows, without the window closing.
    const AllowedNames read = AllowedNames::fromSettingsFile(AllowedNames::settingsFile());
    EXPECT_EQ(read.titles(), shown.titles());
    EXPECT_EQ(read.suffixes(), shown.suffixes());

    const std::filesystem::path store = std::filesystem::path(config.path().toStdString()) / "store.sqlite";
    std::string herr, mister, mba;
    {
      auto book = ABAddressBook::open(store);
      ASSERT_TRUE(book);
      for (auto [title, suffix, uid] : {std::tuple{"Herr", "", &herr}, {"Mr", "", &mister}, {"", "MBA", &mba}}) {
        auto person = ABPerson::create();
        person->setValueForProperty(ABValue(std::string("Lee")), kABLastNameProperty);
        if (*title) person->setValueForProperty(ABValue(std::string(title)), kABTitleProperty);
        if (*suffix) person->setValueForProperty(ABValue(std::string(suffix)), kABSuffixProperty);
        ASSERT_TRUE(book->addRecord(person));
        *uid = person->uniqueId();
      }
      ASSERT_TRUE(book->save());
    }
    ProgramRun scan = runProgram(ROLVANE_PROGRAM, {"--store", store.string(), "scan", "--condition", "Unusual title",
                                                   "--condition", "Unusual suffix", "--json"});
    EXPECT_NE(scan.out.find(mister), std::string::npos) << scan.out;
    EXPECT_EQ(scan.out.find(herr), std::string::npos) << scan.out;
    EXPECT_EQ(scan.out.find(mba), std::string::npos) << scan.out;
  }
  {
    auto delegate = launch(std::make_unique<QSettings>(file, QSettings::IniFormat));
    TableViewWindowController* preferences = delegate->tableViewController();
    EXPECT_EQ(preferences->allowedNames().titles(), shown.titles());
    EXPECT_EQ(preferences->allowedNames().suffixes(), shown.suffixes());
    EXPECT_FALSE(AllowedNames::current().allowsTitle("Mr")) << "the scans of the window use the kept lists";
    preferences->restoreDefaultNames();
    EXPECT_EQ(AllowedNames::fromSettingsFile(AllowedNames::settingsFile()).titles(), AllowedNames::defaults().titles());
    EXPECT_TRUE(AllowedNames::current().allowsTitle("Mr"));
  }
  qputenv("XDG_CONFIG_HOME", before);
}

TEST_F(DesktopTest, SettingsLiveUnderTheUsersConfigFolder) {
  QTemporaryDir config;
  const QByteArray before = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  EXPECT_EQ(AppDelegate::defaultSettings()->fileName(), QDir(config.path()).filePath("rolvane/rolvane.conf"));
  qputenv("XDG_CONFIG_HOME", before);
}

TEST_F(DesktopTest, WindowNeverOpensLargerThanTheScreen) {
  add("Ann", "Lee");
  AppDelegate delegate(*book_);
  delegate.setAlerts(&heard_);
  const QRect available = delegate.window()->screen()->availableGeometry();
  delegate.window()->resize(available.width() + 900, available.height() + 700);
  delegate.applicationDidFinishLaunching();
  EXPECT_LE(delegate.window()->frameGeometry().width(), available.width());
  EXPECT_LE(delegate.window()->frameGeometry().height(), available.height());
  EXPECT_TRUE(available.intersects(delegate.window()->geometry()));
}

TEST_F(DesktopTest, HelpShowsInAWindowAndSupportAndMoreInfoSayWhenNoBrowserOpensThem) {
  OwnCacheFolder cache;
  auto delegate = launch();
  std::vector<QUrl> opened;
  delegate->setUrlOpener([&](const QUrl& url) {
    opened.push_back(url);
    return false;
  });
  // The help needs no other program: it is read in a window of its own, and names the real menus.
  delegate->menuHelpClick();
  ASSERT_TRUE(delegate->helpWindow());
  EXPECT_TRUE(delegate->helpWindow()->isVisible());
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(heard_.shown.empty());
  const QString help = delegate->helpWindow()->browser()->toPlainText();
  for (QMenu* menu : delegate->window()->menuBar()->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
    const QString title = menu->title().remove('&');
    if (title.isEmpty()) continue;
    EXPECT_TRUE(help.contains(title)) << title.toStdString();
    for (QAction* item : menu->actions()) {
      QString text = item->text().remove('&').remove(QChar(0x2026));
      if (item->isSeparator() || text.isEmpty() || text.startsWith("Undo") || text.startsWith("Redo")) continue;
      text.remove(ProductInfo::kProductName).replace("  ", " ");
      EXPECT_TRUE(help.contains(text.trimmed(), Qt::CaseInsensitive)) << text.toStdString();
    }
  }
  EXPECT_FALSE(help.contains("There is no undo"));

  delegate->menuSupportClick();
  ASSERT_EQ(heard_.shown.size(), 1u);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_NE(heard_.shown[0].second.find(opened[0].toString().toStdString()), std::string::npos)
      << heard_.shown[0].second;
  delegate->aboutClicked();
  delegate->aboutWindowController()->moreInfo();
  ASSERT_EQ(opened.size(), 2u);
  ASSERT_EQ(heard_.shown.size(), 2u);
  EXPECT_EQ(heard_.shown[1].first, "Warning");
  EXPECT_NE(heard_.shown[1].second.find("No web browser"), std::string::npos) << heard_.shown[1].second;

  delegate->setUrlOpener([](const QUrl&) { return true; });
  delegate->menuSupportClick();
  delegate->aboutWindowController()->moreInfo();
  EXPECT_EQ(heard_.shown.size(), 2u);
}

TEST_F(DesktopTest, FilesGivenOnTheCommandLineAreImportedAfterAsking) {
  QTemporaryDir folder;
  const QString card = QDir(folder.path()).filePath("friends.vcf");
  QFile file(card);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEND:VCARD\r\n");
  file.close();
  auto delegate = launch();
  heard_.answer = false;
  delegate->offerToImport({card});
  ASSERT_EQ(heard_.asked.size(), 1u);
  EXPECT_EQ(heard_.asked[0], "Import 1 vCard file into the address book?");
  EXPECT_EQ(book_->count(), 0u);
  heard_.answer = true;
  QSignalSpy imported(delegate.get(), &AppDelegate::vCardImportFinished);
  delegate->offerToImport({card});
  ASSERT_TRUE(imported.wait(10000));
  EXPECT_EQ(book_->count(), 1u);
}
