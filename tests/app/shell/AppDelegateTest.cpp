#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <thread>

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "app/review/view/OutlineViewController.h"
#include "app/shell/Alerts.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/MainWindow.h"
#include "app/shell/ProgressWindow.h"
#include "app/shell/TableViewWindowController.h"
#include "app/widgets/MyButton.h"
#include "app/widgets/ProgressView.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/app/shell/ShellTestMain.h"

namespace {

class RecordingAlerts : public Alerts {
 public:
  std::vector<std::pair<std::string, std::string>> shown;
  void showAlert(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
};

class AppDelegateTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    book_ = ABAddressBook::inMemory();
    delegate_ = std::make_unique<AppDelegate>(*book_);
    delegate_->setAlerts(&alerts_);
    delegate_->applicationDidFinishLaunching();
  }

  void addPerson(const std::string& first, const std::string& last, const std::string& note = {}) {
    auto person = ABPerson::create();
    person->setValueForProperty(ABValue(first), kABFirstNameProperty);
    person->setValueForProperty(ABValue(last), kABLastNameProperty);
    if (!note.empty()) person->setValueForProperty(ABValue(note), kABNoteProperty);
    ASSERT_TRUE(book_->addRecord(person));
    ASSERT_TRUE(book_->save());
  }

  void scanAndWait() {
    QSignalSpy finished(delegate_.get(), &AppDelegate::scanFinished);
    delegate_->scanClicled();
    ASSERT_TRUE(finished.wait(10000));
  }

  bool buttonsEnabled() const { return delegate_->scanButton()->isEnabled() && delegate_->freshButton()->isEnabled(); }

  std::unique_ptr<ABAddressBook> book_;
  RecordingAlerts alerts_;
  std::unique_ptr<AppDelegate> delegate_;
};

}  // namespace

TEST_F(AppDelegateTest, ButtonsAndMenusCarryTheirTitles) {
  EXPECT_EQ(delegate_->scanButton()->buttonTitle(), "Scan");
  EXPECT_EQ(delegate_->freshButton()->buttonTitle(), "Refresh");
  EXPECT_EQ(delegate_->exportAllButton()->buttonTitle(), "Export All");
  // The ampersand marks the access key and is not shown.
  EXPECT_EQ(delegate_->itemAbout()->text().remove('&'), "About Varnok Rolvane");
  EXPECT_EQ(delegate_->itemHide()->text().remove('&'), "Hide Varnok Rolvane");
  EXPECT_EQ(delegate_->itemQuit()->text().remove('&'), "Quit Varnok Rolvane");
  EXPECT_EQ(delegate_->itemHelp()->text().remove('&'), "Varnok Rolvane help");
  EXPECT_FALSE(delegate_->showingReviewScreen());
}

TEST_F(AppDelegateTest, EmptySelectionWarnsAndLeavesTheButtonsEnabled) {
  addPerson("Ann", "Lee");
  const int conditions = static_cast<int>(delegate_->tableViewController()->dataSoucreArray().size());
  for (int row = 0; row < conditions; ++row) delegate_->tableViewController()->toggleConditionAtRow(row);
  delegate_->scanClicled();
  ASSERT_EQ(alerts_.shown.size(), 1u);
  EXPECT_EQ(alerts_.shown[0].first, "Warning");
  EXPECT_EQ(alerts_.shown[0].second,
            "No condition selected, please go to Preferences and choose at least one condition!");
  EXPECT_TRUE(buttonsEnabled());
  EXPECT_FALSE(delegate_->progressWindow()->isVisible());
}

TEST_F(AppDelegateTest, NothingFoundShowsTheNotesAlert) {
  addPerson("Ann", "Lee", "met in Oslo");  // a note: not a contact that cannot be reached
  scanAndWait();
  ASSERT_EQ(alerts_.shown.size(), 1u);
  EXPECT_EQ(alerts_.shown[0].first, "Notes");
  EXPECT_EQ(alerts_.shown[0].second, "Scan completed, no contact matches the condition!");
  EXPECT_FALSE(delegate_->progressWindow()->isVisible());
  EXPECT_TRUE(buttonsEnabled());
  EXPECT_FALSE(delegate_->showingReviewScreen());
}

TEST_F(AppDelegateTest, FindingsOpenTheReviewScreenAndBackReturns) {
  addPerson("Ann Marie", "Lee", "  ");
  scanAndWait();
  EXPECT_TRUE(alerts_.shown.empty());
  EXPECT_TRUE(delegate_->showingReviewScreen());
  EXPECT_FALSE(delegate_->progressWindow()->isVisible());
  EXPECT_TRUE(buttonsEnabled());
  delegate_->reloadUI();
  EXPECT_FALSE(delegate_->showingReviewScreen());
  EXPECT_EQ(delegate_->outlineViewController(), nullptr);
}

TEST_F(AppDelegateTest, ACancelledScanGivesTheWindowBackAndItsFindingsAreDropped) {
  addPerson("Ann Marie", "Lee", "  ");
  delegate_->scanClicled();
  ASSERT_TRUE(delegate_->progressWindow()->isVisible());
  ASSERT_TRUE(delegate_->progressWindow()->cancelButton()->isVisible());
  delegate_->progressWindow()->cancelButton()->click();
  EXPECT_FALSE(delegate_->progressWindow()->isVisible());
  EXPECT_TRUE(buttonsEnabled());
  // What the scan finds after all is not shown.
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_FALSE(delegate_->showingReviewScreen());
  EXPECT_TRUE(alerts_.shown.empty());
  // The next scan reports as usual.
  scanAndWait();
  EXPECT_TRUE(delegate_->showingReviewScreen());
}

namespace {

class AnswerYes : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

}  // namespace

TEST_F(AppDelegateTest, TheStatusBarCountsTheContactsTheReviewScreensFixesLeft) {
  for (int i = 0; i < 3; ++i) addPerson("Ann", "Lee");
  addPerson("Bob", "Roe");
  scanAndWait();
  ASSERT_TRUE(delegate_->showingReviewScreen());
  OutlineViewController* screen = delegate_->outlineViewController();
  AnswerYes yes;
  screen->setQuestions(&yes);
  ASSERT_TRUE(screen->outline().category("Duplicate contacts"));
  screen->outline().selectItem(screen->outline().category("Duplicate contacts")->childAtIndex(0));
  screen->outline().selectOption("Merge contacts");
  QSignalSpy loaded(delegate_->loadContactsViewController(), &LoadContactsViewController::tableViewDataChange);
  screen->fixButton()->click();
  ASSERT_EQ(book_->count(), 2u);
  ASSERT_TRUE(loaded.wait(10000)) << "the table behind the review screen reloads";
  EXPECT_TRUE(delegate_->statusText().startsWith("2 contacts")) << delegate_->statusText().toStdString();
}

TEST_F(AppDelegateTest, ArcTimerRunsOnlyWhileTheProgressWindowShows) {
  EXPECT_FALSE(delegate_->progressWindow()->timerRunning());
  addPerson("Ann", "Lee");
  QSignalSpy finished(delegate_.get(), &AppDelegate::scanFinished);
  delegate_->scanClicled();
  EXPECT_TRUE(delegate_->progressWindow()->isVisible());
  EXPECT_TRUE(delegate_->progressWindow()->timerRunning());
  EXPECT_FALSE(delegate_->scanButton()->isEnabled());
  // n ticks after Scan: start n - 1, end n + 29.
  for (int tick = 0; tick < 3; ++tick) delegate_->makeArcMove();
  EXPECT_EQ(delegate_->animationView()->sharpe(), "Arc");
  EXPECT_DOUBLE_EQ(delegate_->animationView()->startAngle(), 2);
  EXPECT_DOUBLE_EQ(delegate_->animationView()->endAngle(), 32);
  ASSERT_TRUE(finished.wait(10000));
  EXPECT_FALSE(delegate_->progressWindow()->timerRunning());
  // The next scan starts from 0 and 30 again.
  delegate_->scanClicled();
  delegate_->makeArcMove();
  EXPECT_DOUBLE_EQ(delegate_->animationView()->startAngle(), 0);
  EXPECT_DOUBLE_EQ(delegate_->animationView()->endAngle(), 30);
  ASSERT_TRUE(finished.wait(10000));
}

TEST_F(AppDelegateTest, HideMinimisesTheWindow) {
  delegate_->itemHide()->trigger();
  EXPECT_TRUE(delegate_->window()->windowState() & Qt::WindowMinimized);
}

TEST_F(AppDelegateTest, HelpIsCopiedToTheCacheReplacingAnEarlierCopy) {
  OwnCacheFolder cache;
  const QString first = AppDelegate::copyHelpToCache();
  EXPECT_TRUE(first.startsWith(cache.path()));
  ASSERT_FALSE(first.isEmpty());
  EXPECT_TRUE(first.endsWith("Varnok Rolvane_Help.pdf"));
  QFile stale(first);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
  stale.write("old");
  stale.close();
  const QString second = AppDelegate::copyHelpToCache();
  EXPECT_EQ(second, first);
  QFile copy(second);
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  EXPECT_TRUE(copy.readAll().startsWith("%PDF"));
}

// Renders both screens; the pictures are left in the temporary folder to look at.
TEST_F(AppDelegateTest, BothScreensRender) {
  addPerson("Ann Marie", "Lee", "  ");
  addPerson("Ann Marie", "Lee");
  delegate_->loadClicked();
  QTest::qWait(300);
  const QImage browser = delegate_->window()->grab().toImage();
  ASSERT_FALSE(browser.isNull());
  browser.save(QDir::temp().filePath("rolvane-browser-screen.png"));
  scanAndWait();
  QTest::qWait(100);
  const QImage review = delegate_->window()->grab().toImage();
  review.save(QDir::temp().filePath("rolvane-review-screen.png"));
  EXPECT_NE(browser, review);
}

// The window follows what another program saves: the table reloads, and the review screen checks
// its findings again (those about contacts that went, or no longer hold, leave it) and offers to
// scan again.
TEST(AppDelegateFollowingTest, AnotherProgramsSaveReloadsTheTableAndDropsItsContactsFindings) {
  testApplication();
  const auto folder = std::filesystem::temp_directory_path() / ("rolvane-follow-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto path = folder / "book.sqlite";
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  std::vector<std::string> uids;
  for (const char* first : {"Ann", "Bob", "Cid"}) {
    auto person = ABPerson::create();
    person->setValueForProperty(ABValue(std::string(first)), kABFirstNameProperty);
    person->setValueForProperty(ABValue(std::string("  ")), kABNoteProperty);
    ASSERT_TRUE(book->addRecord(person));
    uids.push_back(person->uniqueId());
  }
  ASSERT_TRUE(book->save());
  RecordingAlerts alerts;
  AppDelegate delegate(*book);
  delegate.setAlerts(&alerts);
  delegate.applicationDidFinishLaunching();
  EXPECT_FALSE(delegate.followStore()) << "nothing saved elsewhere yet";

  // In the browser: a contact added elsewhere shows.
  {
    auto other = ABAddressBook::open(path);
    auto dot = ABPerson::create();
    dot->setValueForProperty(ABValue(std::string("Dot")), kABFirstNameProperty);
    ASSERT_TRUE(other->addRecord(dot));
    ASSERT_TRUE(other->save());
  }
  QSignalSpy loaded(delegate.loadContactsViewController(), &LoadContactsViewController::tableViewDataChange);
  EXPECT_TRUE(delegate.followStore());
  ASSERT_TRUE(loaded.wait(10000));
  EXPECT_EQ(delegate.loadContactsViewController()->model()->rowCount(), 4);

  // In the review screen: Ann's note became real elsewhere and Bob was removed; their rows go.
  // Cid's note changed too but is still blank: his finding is checked again and stays.
  QSignalSpy finished(&delegate, &AppDelegate::scanFinished);
  delegate.scanClicled();
  ASSERT_TRUE(finished.wait(10000));
  ASSERT_TRUE(delegate.showingReviewScreen());
  // The rows of a contact under "Note with spacing only", in the review screen shown now.
  auto rowsOf = [&](const std::string& uid) {
    int rows = 0;
    for (const auto& category : delegate.outlineViewController()->outline().rootNodes())
      for (PersonItem* row : category->childrenArray())
        if (category->name() == "Note with spacing only" && row->person()->uniqueId() == uid) ++rows;
    return rows;
  };
  ASSERT_GT(rowsOf(uids[0]), 0);
  {
    auto other = ABAddressBook::open(path);
    other->recordForUniqueId(uids[0])->setValueForProperty(ABValue(std::string("a real note")), kABNoteProperty);
    ASSERT_TRUE(other->removeRecord(other->recordForUniqueId(uids[1])));
    other->recordForUniqueId(uids[2])->setValueForProperty(ABValue(std::string("   ")), kABNoteProperty);
    ASSERT_TRUE(other->save());
  }
  EXPECT_TRUE(delegate.followStore());
  EXPECT_EQ(rowsOf(uids[0]), 0);
  EXPECT_EQ(rowsOf(uids[1]), 0);
  EXPECT_GT(rowsOf(uids[2]), 0) << "a finding that still holds on the changed contact stays";
  const OutlineViewController* screen = delegate.outlineViewController();
  EXPECT_TRUE(screen->storeChangedBar()->isVisibleTo(delegate.window()));
  EXPECT_TRUE(screen->storeChangedText()->text().startsWith("The address book changed"))
      << screen->storeChangedText()->text().toStdString();
  // Scan Again scans the store as it is now.
  QSignalSpy again(&delegate, &AppDelegate::scanFinished);
  screen->scanAgainButton()->click();
  ASSERT_TRUE(again.wait(10000));
  EXPECT_EQ(rowsOf(uids[0]), 0);
  EXPECT_GT(rowsOf(uids[2]), 0);
  EXPECT_FALSE(delegate.outlineViewController()->storeChangedBar()->isVisibleTo(delegate.window()));
  EXPECT_EQ(book->recordForUniqueId(uids[0])->stringForProperty(kABNoteProperty), "a real note");
  EXPECT_FALSE(book->recordForUniqueId(uids[1]));
  EXPECT_TRUE(alerts.shown.empty());
  std::filesystem::remove_all(folder);
}

// A save that finds the store held by another program (SQLite lets one writer at a time) says so in
// the status bar after a second, although it runs on the window's own thread; the words go once the
// window runs its events again.
TEST(AppDelegateFollowingTest, ASaveWaitingForTheStoreSaysSoInTheStatusBar) {
  testApplication();
  const auto folder = std::filesystem::temp_directory_path() / ("rolvane-wait-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto path = folder / "book.sqlite";
  AppDelegate::installStoreWaitNotice();
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  auto ann = ABPerson::create();
  ann->setValueForProperty(ABValue(std::string("Ann")), kABFirstNameProperty);
  ASSERT_TRUE(book->addRecord(ann));
  ASSERT_TRUE(book->save());
  RecordingAlerts alerts;
  AppDelegate delegate(*book);
  delegate.setAlerts(&alerts);
  delegate.applicationDidFinishLaunching();

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  });
  ann->setValueForProperty(ABValue(std::string("Anne")), kABFirstNameProperty);
  const bool saved = book->save();
  release.join();
  sqlite3_close(other);
  EXPECT_TRUE(saved);
  EXPECT_EQ(delegate.window()->statusBar()->currentMessage(), AppDelegate::storeWaitText());
  delegate.followStore();
  EXPECT_TRUE(delegate.window()->statusBar()->currentMessage().isEmpty());

  ABAddressBook::setDefaultLockWait(std::chrono::seconds(30), {});
  std::filesystem::remove_all(folder);
}
