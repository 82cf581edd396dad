#include <QAbstractItemDelegate>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>

#include "app/browser/view/ContactTableModel.h"
#include "tests/app/browser/view/ViewTestSupport.h"

namespace {

class ValueEditorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewTestApp();
    book_ = ABAddressBook::inMemory();
    ann_ = addPerson(*book_, {"Ann", "Lee", "", ""});
    ann_->setValueForProperty(longNote_, kABNoteProperty);
    ann_->setValueForProperty(longName_, kABNicknameProperty);
    ASSERT_TRUE(book_->save());
    browser_ = std::make_unique<LoadContactsViewController>(*book_);
    browser_->setQuestion(std::make_unique<ScriptedQuestion>());
    browser_->resize(900, 500);
    browser_->show();
    browser_->loadPersonInAddressBook();
    ASSERT_TRUE(waitForLoad(*browser_));
    browser_->columnItem("Note")->trigger();
    browser_->columnItem("Nickname")->trigger();
  }

  QModelIndex indexOf(const std::string& key) const {
    const auto& columns = browser_->model()->columns();
    int column = static_cast<int>(std::find(columns.begin(), columns.end(), key) - columns.begin());
    return browser_->model()->index(0, column);
  }

  // Opens the cell's editor as a double click does and returns it.
  QWidget* open(const std::string& key) {
    QTableView* table = browser_->getTableView();
    table->setCurrentIndex(indexOf(key));
    table->edit(indexOf(key));
    QWidget* editor = table->indexWidget(indexOf(key));
    if (!editor) editor = QApplication::focusWidget();
    return editor;
  }

  std::string note() const { return std::get<std::string>(ann_->valueForProperty(kABNoteProperty)); }

  const std::string longNote_ =
      std::string(25000, 'n') + "\r\nsecond line\xC2\xA0with a non-breaking space\r\n" + std::string(25000, 'm');
  const std::string longName_ = std::string(40000, 'k');
  std::unique_ptr<ABAddressBook> book_;
  ABPersonRef ann_;
  std::unique_ptr<LoadContactsViewController> browser_;
};

}  // namespace

TEST_F(ValueEditorsTest, ALongNoteOpenedAndConfirmedUnchangedStaysWhole) {
  QWidget* editor = open("Note");
  ASSERT_TRUE(editor);
  EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(editor)) << "a note is edited over several lines";
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(note(), longNote_);
  EXPECT_FALSE(book_->hasUnsavedChanges());
}

TEST_F(ValueEditorsTest, EditedLongValuesAreStoredWhole) {
  QWidget* editor = open("Note");
  ASSERT_TRUE(qobject_cast<QPlainTextEdit*>(editor));
  auto* lines = static_cast<QPlainTextEdit*>(editor);
  lines->moveCursor(QTextCursor::End);
  QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);  // a line break, not the end of the edit
  QTest::keyClicks(editor, "end");
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(note(), longNote_ + "\r\nend") << "the whole note, its own line breaks and its non-breaking space kept";

  editor = open("Nickname");
  auto* line = qobject_cast<QLineEdit*>(editor);
  ASSERT_TRUE(line);
  line->end(false);
  QTest::keyClicks(editor, "!");
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(std::get<std::string>(ann_->valueForProperty(kABNicknameProperty)), longName_ + "!");
}
