#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/LoadContactsViewController.h"
#include "app/review/ReviewCategories.h"
#include "app/review/view/OutlineViewController.h"
#include "app/shell/Alerts.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/HistoryController.h"
#include "app/shell/MainWindow.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/app/shell/ShellTestMain.h"

namespace {

class RecordingAlerts : public Alerts {
 public:
  std::vector<std::pair<std::string, std::string>> shown;
  void showAlert(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
};

class YesQuestions : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

class HistoryWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    book_ = ABAddressBook::inMemory();
    for (const char* note : {"first", "second"}) {
      auto person = ABPerson::create();
      person->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
      person->setValueForProperty(std::string("Lee"), kABLastNameProperty);
      person->setValueForProperty(std::string(note), kABNoteProperty);
      book_->addRecord(person);
      uids_.push_back(person->uniqueId());
    }
    book_->addRecord(ABPerson::create());
    uids_.push_back(book_->people().back()->uniqueId());
    ASSERT_TRUE(book_->save());
    delegate_ = std::make_unique<AppDelegate>(*book_);
    delegate_->setAlerts(&alerts_);
    delegate_->applicationDidFinishLaunching();
    delegate_->window()->activateWindow();
    waitForTable(3);
  }

  // The unique ids the contact table shows, in its order.
  std::vector<std::string> tableUids() const {
    std::vector<std::string> shown;
    for (const auto& record : delegate_->loadContactsViewController()->model()->records())
      if (record.person()) shown.push_back(record.person()->uniqueId());
    return shown;
  }

  void waitForTable(size_t rows) {
    for (int i = 0; i < 100 && delegate_->loadContactsViewController()->model()->rowCount() != static_cast<int>(rows);
         ++i)
      QTest::qWait(30);
    ASSERT_EQ(delegate_->loadContactsViewController()->model()->rowCount(), static_cast<int>(rows));
  }

  // A key press as the user makes it: to the widget with the focus in the active main window.
  void pressInWindow(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* window = delegate_->window();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, key, modifiers);
  }

  void mergeTheDuplicates() {
    QSignalSpy finished(delegate_.get(), &AppDelegate::scanFinished);
    delegate_->scanClicled();
    ASSERT_TRUE(finished.wait(10000));
    ASSERT_TRUE(delegate_->showingReviewScreen());
    OutlineViewController* review = delegate_->outlineViewController();
    review->setQuestions(&questions_);
    PersonItem* father = review->outline().category(ReviewCategories::kDuplicateContacts);
    ASSERT_TRUE(father);
    review->outline().selectItem(father->childAtIndex(0));
    review->outline().selectOption(ReviewCategories::Option::kMerge);
    review->fixClick();
  }

  std::unique_ptr<ABAddressBook> book_;
  std::vector<std::string> uids_;
  RecordingAlerts alerts_;
  YesQuestions questions_;
  std::unique_ptr<AppDelegate> delegate_;
};

}  // namespace

TEST_F(HistoryWindowTest, EditMenuNamesTheChangeThatUndoAndRedoTake) {
  QMenu* edit = delegate_->editMenu();
  ASSERT_TRUE(edit);
  EXPECT_EQ(edit->title(), "&Edit");
  HistoryController* history = delegate_->historyController();
  EXPECT_EQ(history->undoAction()->text(), "&Undo Added 3 contacts");
  EXPECT_TRUE(history->undoAction()->shortcuts().contains(QKeySequence("Ctrl+Z")));
  EXPECT_TRUE(history->redoAction()->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
  EXPECT_FALSE(history->redoAction()->isEnabled());
  EXPECT_EQ(history->redoAction()->text(), "&Redo");
  // Undo, Redo, History… and Trash… open the menu, before Delete, Find and Preferences.
  QStringList titles;
  for (QAction* action : edit->actions())
    if (!action->isSeparator()) titles << action->text();
  ASSERT_GE(titles.size(), 4);
  EXPECT_EQ(titles.mid(2, 2), (QStringList{"&History…", "&Trash…"}));
  EXPECT_LT(edit->actions().indexOf(history->trashAction()), edit->actions().indexOf(delegate_->itemDelete()));
}

// Ctrl+Z after a merge brings the members back into the table, under their own unique ids.
TEST_F(HistoryWindowTest, CtrlZAfterAMergeBringsTheMembersBack) {
  mergeTheDuplicates();
  // The merge fixed the only finding of its category; the blank name is left on the review screen.
  delegate_->historyController()->refresh();
  EXPECT_EQ(delegate_->historyController()->undoAction()->text(), "&Undo Merged 2 contacts into Ann Lee");
  ASSERT_EQ(book_->count(), 2u);

  pressInWindow(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(book_->count(), 3u);
  EXPECT_EQ(book_->people()[0]->uniqueId(), uids_[0]);
  EXPECT_EQ(book_->people()[1]->stringForProperty(kABNoteProperty), "second");
  EXPECT_TRUE(alerts_.shown.empty());
  if (delegate_->showingReviewScreen()) {
    // The review screen shows no row of the merged contact that undo removed, and does not bring the
    // merge's finding back.
    auto& outline = delegate_->outlineViewController()->outline();
    EXPECT_EQ(outline.category(ReviewCategories::kDuplicateContacts), nullptr);
    for (PersonItem* row : outline.rows()) {
      if (!row->isRootNode()) {
        EXPECT_TRUE(book_->contains(row->person()));
      }
    }
    delegate_->reloadUI();
  }
  waitForTable(3);
  EXPECT_EQ(tableUids(), uids_);

  // Also while a text field of the window has the focus with nothing typed in it to take back.
  ASSERT_TRUE(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
  pressInWindow(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(alerts_.shown.empty());
  EXPECT_EQ(book_->count(), 2u);
  waitForTable(2);
}

TEST_F(HistoryWindowTest, HistoryAndTrashWindowsRestore) {
  mergeTheDuplicates();
  if (delegate_->showingReviewScreen()) delegate_->reloadUI();
  HistoryController* history = delegate_->historyController();

  history->trashAction()->trigger();
  auto* trash = history->trashWindow();
  ASSERT_TRUE(trash && trash->isVisible());
  // The merged contact is the later member under its own id: only the first is in the trash.
  ASSERT_EQ(trash->list()->topLevelItemCount(), 1);
  EXPECT_EQ(trash->list()->topLevelItem(0)->text(0), "Ann Lee");
  EXPECT_EQ(trash->list()->topLevelItem(0)->text(2), "Merged 2 contacts into Ann Lee");
  trash->list()->topLevelItem(0)->setSelected(true);
  trash->restoreButton()->click();
  EXPECT_EQ(trash->list()->topLevelItemCount(), 0);
  EXPECT_EQ(book_->count(), 3u);
  EXPECT_TRUE(book_->recordForUniqueId(uids_[0]));
  waitForTable(3);

  history->historyAction()->trigger();
  auto* list = history->historyWindow();
  ASSERT_TRUE(list && list->isVisible());
  ASSERT_EQ(list->list()->topLevelItemCount(), 3);
  EXPECT_EQ(list->list()->topLevelItem(0)->text(1), "Restored Ann Lee from the trash");
  EXPECT_FALSE(list->restoreButton()->isEnabled());
  list->list()->setCurrentItem(list->list()->topLevelItem(1));
  ASSERT_TRUE(list->restoreButton()->isEnabled());
  list->restoreButton()->click();
  EXPECT_EQ(book_->count(), 3u);
  EXPECT_EQ(book_->people()[0]->uniqueId(), uids_[0]);
  EXPECT_EQ(book_->people()[1]->uniqueId(), uids_[1]);
  EXPECT_EQ(list->list()->topLevelItem(0)->text(3), "undone");
  EXPECT_EQ(list->list()->topLevelItem(1)->text(3), "undone");
  waitForTable(3);
  EXPECT_EQ(tableUids(), uids_);
}
