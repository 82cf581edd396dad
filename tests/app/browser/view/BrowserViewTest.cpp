#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/browser/view/BulkEditDialogs.h"
#include "app/browser/view/ColumnMenuGroups.h"
#include "app/browser/view/ContactCardDialog.h"
#include "app/browser/view/ContactTableModel.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ShownName.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/app/browser/view/ViewTestSupport.h"

namespace {

class BrowserViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewTestApp();
    book_ = ABAddressBook::inMemory();
    addThreeContacts(*book_);
    ASSERT_TRUE(book_->save());
    browser_ = std::make_unique<LoadContactsViewController>(*book_);
    auto scripted = std::make_unique<ScriptedQuestion>();
    question_ = scripted.get();
    browser_->setQuestion(std::move(scripted));
    browser_->loadPersonInAddressBook();
    ASSERT_TRUE(waitForLoad(*browser_));
  }

  QString cell(int row, const std::string& key) const {
    const auto& columns = browser_->model()->columns();
    int column = static_cast<int>(std::find(columns.begin(), columns.end(), key) - columns.begin());
    return browser_->model()->index(row, column).data().toString();
  }
  int columnOf(const std::string& key) const {
    const auto& columns = browser_->model()->columns();
    return static_cast<int>(std::find(columns.begin(), columns.end(), key) - columns.begin());
  }
  void selectRows(std::initializer_list<int> rows) {
    auto* selection = browser_->getTableView()->selectionModel();
    selection->clearSelection();
    for (int row : rows)
      selection->select(browser_->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  std::unique_ptr<ABAddressBook> book_;
  std::unique_ptr<LoadContactsViewController> browser_;
  ScriptedQuestion* question_ = nullptr;
};

TEST_F(BrowserViewTest, LoadsEveryPersonInStoreOrderUnderTheInitialColumns) {
  EXPECT_EQ(browser_->shownColumns(), LoadContactsViewController::initialColumns());
  ASSERT_EQ(browser_->model()->rowCount(), 3);
  EXPECT_EQ(cell(0, "First Name"), "Carol");
  EXPECT_EQ(cell(0, "Home Email"), "carol@home.org");
  EXPECT_EQ(cell(1, "Company"), "");
  EXPECT_EQ(cell(2, "Last Name"), "Xavier");
  EXPECT_TRUE(browser_->getTableViewDataArray()[0].person());
  EXPECT_EQ(browser_->getTableView()->model()->headerData(0, Qt::Horizontal).toString(), "Name");
}

TEST_F(BrowserViewTest, HeaderClicksSortOwnColumnsAndAddedColumnsStayUnsorted) {
  QHeaderView* header = browser_->getTableView()->horizontalHeader();
  header->sectionClicked(columnOf("First Name"));
  EXPECT_EQ(cell(0, "First Name"), "alice");  // letter case does not decide the order
  EXPECT_EQ(cell(2, "First Name"), "Carol");
  header->sectionClicked(columnOf("First Name"));
  EXPECT_EQ(cell(0, "First Name"), "Carol");

  QAction* nickname = browser_->columnItem("Nickname");
  ASSERT_TRUE(nickname);
  EXPECT_FALSE(nickname->isChecked());
  EXPECT_TRUE(browser_->columnItem("Company")->isChecked());
  nickname->trigger();
  ASSERT_EQ(browser_->shownColumns().back(), "Nickname");
  EXPECT_EQ(browser_->getTableView()->columnWidth(columnOf("Nickname")), 150);
  header->sectionClicked(columnOf("Last Name"));
  EXPECT_EQ(cell(0, "Last Name"), "Xavier");
  header->sectionClicked(columnOf("Nickname"));
  EXPECT_EQ(cell(0, "Last Name"), "Xavier");
  nickname->trigger();
  EXPECT_EQ(browser_->shownColumns(), LoadContactsViewController::initialColumns());

  // A column of the table's own, removed and added again from the menu, is an added column now.
  QAction* company = browser_->columnItem("Company");
  company->trigger();
  EXPECT_EQ(columnOf("Company"), static_cast<int>(browser_->model()->columns().size()));
  company->trigger();
  ASSERT_EQ(browser_->shownColumns().back(), "Company");
  header->sectionClicked(columnOf("Company"));  // a sort would bring alice's empty company first
  EXPECT_EQ(cell(0, "Last Name"), "Xavier");

  // A reload keeps the last sort (Last Name ascending).
  browser_->reload();
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(cell(0, "First Name"), "Bob");
  EXPECT_EQ(browser_->sortKey(), "Last Name");
}

TEST_F(BrowserViewTest, ClickingTheSortedHeaderReversesItAndAnotherHeaderSortsAscending) {
  QTableView* table = browser_->getTableView();
  browser_->resize(1200, 400);
  browser_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(browser_.get()));
  QHeaderView* header = table->horizontalHeader();
  auto click = [&](const std::string& key) {
    const int section = columnOf(key);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  };
  click("First Name");
  EXPECT_EQ(cell(0, "First Name"), "alice");
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  click("First Name");
  EXPECT_EQ(cell(0, "First Name"), "Carol");
  EXPECT_EQ(browser_->sortOrder(), Qt::DescendingOrder);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  click("First Name");
  EXPECT_EQ(cell(0, "First Name"), "alice");
  click("First Name");  // descending again, then a new column starts ascending
  click("Last Name");
  EXPECT_EQ(cell(0, "Last Name"), "Xavier");
  EXPECT_EQ(browser_->sortOrder(), Qt::AscendingOrder);
  EXPECT_EQ(header->sortIndicatorSection(), columnOf("Last Name"));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(BrowserViewTest, ReloadsKeepSortSelectionAndScrollPosition) {
  for (int i = 0; i < 300; ++i)
    addPerson(*book_, {"P" + std::to_string(1000 + i), "L" + std::to_string(5000 - i), "", ""});
  ASSERT_TRUE(book_->save());
  browser_->reload();
  ASSERT_TRUE(waitForLoad(*browser_));
  QTableView* table = browser_->getTableView();
  browser_->resize(800, 300);
  browser_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(browser_.get()));
  browser_->sortByKey("First Name", Qt::DescendingOrder);
  ASSERT_EQ(cell(0, "First Name"), "P1299");
  selectRows({150, 152});
  table->selectionModel()->setCurrentIndex(browser_->model()->index(152, columnOf("Last Name")),
                                           QItemSelectionModel::NoUpdate);
  table->scrollTo(browser_->model()->index(152, 0), QAbstractItemView::PositionAtCenter);
  const int scrolled = table->verticalScrollBar()->value();
  ASSERT_GT(scrolled, 100);
  const QString first = cell(150, "First Name"), second = cell(152, "First Name");

  // An edit elsewhere (here: of the row above the selection) reads the whole store again.
  auto* model = browser_->model();
  EXPECT_TRUE(model->setData(model->index(151, columnOf("Company")), "Edited"));
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(cell(0, "First Name"), "P1299");
  EXPECT_EQ(cell(151, "Company"), "Edited");
  EXPECT_EQ(browser_->sortKey(), "First Name");
  EXPECT_EQ(browser_->sortOrder(), Qt::DescendingOrder);
  EXPECT_TRUE(table->horizontalHeader()->isSortIndicatorShown());
  const QModelIndexList selected = table->selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 2);
  QStringList names;
  for (const QModelIndex& index : selected) names << cell(index.row(), "First Name");
  names.sort();
  EXPECT_EQ(names, (QStringList{second, first}));
  EXPECT_EQ(table->selectionModel()->currentIndex().row(), 152);
  EXPECT_EQ(table->selectionModel()->currentIndex().column(), columnOf("Last Name"));
  EXPECT_EQ(table->verticalScrollBar()->value(), scrolled);

  // Another program's change comes in through the same reload.
  browser_->reload();
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(table->selectionModel()->selectedRows().size(), 2);
  EXPECT_EQ(table->verticalScrollBar()->value(), scrolled);
}

TEST_F(BrowserViewTest, SelectionFollowsItsPeopleThroughASort) {
  selectRows({2});  // Bob
  browser_->getTableView()->horizontalHeader()->sectionClicked(columnOf("First Name"));
  const QModelIndexList selected = browser_->getTableView()->selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(cell(selected[0].row(), "First Name"), "Bob");
  ASSERT_EQ(browser_->selectedRecordsForExport().size(), 1u);
  EXPECT_EQ(browser_->selectedRecordsForExport()[0].textOr("First Name"), "Bob");
}

TEST_F(BrowserViewTest, EditedCellsReachTheStoreAndTheTableIsReadAgain) {
  browser_->columnItem("Department")->trigger();
  browser_->columnItem("Birthday")->trigger();
  browser_->columnItem("FullName")->trigger();
  auto* model = browser_->model();
  ABPersonRef carol = browser_->getTableViewDataArray()[0].person();

  EXPECT_TRUE(model->setData(model->index(0, columnOf("Department")), "Research"));
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(std::get<std::string>(carol->valueForProperty(kABDepartmentProperty)), "Research");
  EXPECT_EQ(cell(0, "Department"), "Research");

  EXPECT_TRUE(model->setData(model->index(0, columnOf("Home Email")), "c@new.org"));
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(cell(0, "Home Email"), "c@new.org");

  EXPECT_TRUE(model->setData(model->index(1, columnOf("Birthday")), "1990-04-02"));
  ASSERT_TRUE(waitForLoad(*browser_));
  EXPECT_EQ(cell(1, "Birthday"), "1990-04-02");
  EXPECT_FALSE(book_->hasUnsavedChanges());

  EXPECT_FALSE(model->setData(model->index(1, columnOf("Birthday")), "next spring"));
  EXPECT_EQ(cell(1, "Birthday"), "1990-04-02");
  ASSERT_EQ(question_->informed.size(), 1u);
  EXPECT_NE(question_->informed[0].indexOf("YYYY-MM-DD"), -1);
  EXPECT_FALSE(book_->hasUnsavedChanges());

  EXPECT_FALSE(model->flags(model->index(0, columnOf("FullName"))) & Qt::ItemIsEditable);
  EXPECT_TRUE(model->flags(model->index(0, columnOf("Department"))) & Qt::ItemIsEditable);
}

TEST_F(BrowserViewTest, DeleteAsksFirstAndRemovesTheSelectedPeopleFromTheStore) {
  selectRows({0, 2});
  question_->answer = false;
  browser_->deleteItem();
  EXPECT_EQ(question_->asked, 1);
  EXPECT_EQ(book_->count(), 3u);
  EXPECT_EQ(browser_->model()->rowCount(), 3);

  question_->answer = true;
  browser_->deleteItem();
  EXPECT_EQ(book_->count(), 1u);
  ASSERT_EQ(browser_->model()->rowCount(), 1);
  EXPECT_EQ(cell(0, "First Name"), "alice");

  // Nothing selected: the question still comes and nothing goes.
  browser_->getTableView()->selectionModel()->clearSelection();
  browser_->deleteItem();
  EXPECT_EQ(question_->asked, 3);
  EXPECT_EQ(book_->count(), 1u);
  for (QAction* item : browser_->contextMenu()->actions()) {
    if (item->isSeparator()) continue;
    // Delete and export wait for a selection; the column chooser stays available.
    EXPECT_EQ(item->isEnabled(), item->menu() == browser_->columnMenu()) << item->text().toStdString();
  }
}

TEST_F(BrowserViewTest, DeleteQuestionLeadsWithItsQuestionAndCancelIsTheDefault) {
  browser_->setQuestion(std::make_unique<MessageBoxQuestion>(browser_.get()));
  selectRows({1});
  QString text, informative, defaultButton;
  QStringList buttons;
  QTimer::singleShot(0, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(top);
      if (!box || !box->isVisible()) continue;
      text = box->text();
      informative = box->informativeText();
      defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
      QAbstractButton* cancel = nullptr;
      for (QAbstractButton* button : box->buttons()) {
        buttons << button->text();
        if (button->text() == "Cancel") cancel = button;
      }
      if (cancel) cancel->click();
    }
  });
  browser_->deleteItem();
  EXPECT_EQ(text, "<b>Are you sure you want to delete the selected person ?</b>");
  EXPECT_EQ(informative, "This person will also delete from Contacts.");
  EXPECT_EQ(defaultButton, "Cancel") << "Enter must not delete";
  EXPECT_TRUE(buttons.contains("Delete"));
  EXPECT_EQ(book_->count(), 3u);
}

TEST_F(BrowserViewTest, ExportOfTheSelectionCarriesRecordsInTheShownOrderWithTheirPersons) {
  selectRows({0, 2});
  ContactRecords records = browser_->selectedRecordsForExport();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].textOr("First Name"), "Carol");
  EXPECT_EQ(records[1].textOr("First Name"), "Bob");
  // The vCard export writes the persons whole; the driver gives other writers the records alone.
  EXPECT_TRUE(records[0].person());

  browser_->sortByKey("First Name", Qt::AscendingOrder);  // alice, Bob, Carol: the selection follows
  records = browser_->selectedRecordsForExport();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].textOr("First Name"), "Bob");
  EXPECT_EQ(records[1].textOr("First Name"), "Carol");
}

TEST_F(BrowserViewTest, FindKeepsRowsHoldingTheTextInAShownColumnIgnoringCaseAndAccents) {
  addPerson(*book_, {"Renée", "Østergaard", "Café Zoë", ""});
  ASSERT_TRUE(book_->save());
  browser_->reload();
  ASSERT_TRUE(waitForLoad(*browser_));
  QSignalSpy counts(browser_.get(), &LoadContactsViewController::countsChanged);

  QTest::keyClicks(browser_->findField(), "ZEL");
  ASSERT_EQ(browser_->model()->rowCount(), 1);
  EXPECT_EQ(cell(0, "First Name"), "Carol");
  EXPECT_FALSE(counts.isEmpty());

  browser_->setFindText("renee");
  ASSERT_EQ(browser_->model()->rowCount(), 1);
  EXPECT_EQ(cell(0, "Last Name"), "Østergaard");
  browser_->setFindText("CAFE ZOE");  // the company column
  EXPECT_EQ(browser_->model()->rowCount(), 1);
  browser_->setFindText("ostergaard");
  EXPECT_EQ(browser_->model()->rowCount(), 1);
  browser_->setFindText("home.org");  // two home e-mail addresses
  EXPECT_EQ(browser_->model()->rowCount(), 2);
  browser_->setFindText("Nobody");
  EXPECT_EQ(browser_->model()->rowCount(), 0);

  // A column that is not shown is not looked in; once shown, it is.
  browser_->setFindText("");
  ASSERT_EQ(browser_->model()->rowCount(), 4);
  ABPersonRef alice = browser_->model()->recordAt(1).person();
  alice->setValueForProperty(std::string("Quiltmaker"), kABJobTitleProperty);
  ASSERT_TRUE(book_->save());
  browser_->reload();
  ASSERT_TRUE(waitForLoad(*browser_));
  browser_->setFindText("quilt");
  EXPECT_EQ(browser_->model()->rowCount(), 0);
  browser_->columnItem("Job Title")->trigger();
  ASSERT_EQ(browser_->model()->rowCount(), 1);
  EXPECT_EQ(cell(0, "First Name"), "alice");

  // The found rows sort, and the selection and the export work on them.
  browser_->setFindText("o");
  const int found = browser_->model()->rowCount();
  ASSERT_GE(found, 2);
  browser_->sortByKey("First Name", Qt::DescendingOrder);
  selectRows({0});
  const QString top = cell(0, "First Name");
  ASSERT_EQ(browser_->selectedRecordsForExport().size(), 1u);
  EXPECT_EQ(QString::fromStdString(browser_->selectedRecordsForExport()[0].textOr("First Name")), top);
  browser_->setFindText("");
  EXPECT_EQ(browser_->model()->rowCount(), 4);
  ASSERT_EQ(browser_->getTableView()->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(cell(browser_->getTableView()->selectionModel()->selectedRows()[0].row(), "First Name"), top);
  EXPECT_EQ(browser_->getTableViewDataArray().size(), 4u);
}

TEST_F(BrowserViewTest, DeletingAFoundRowRemovesThatPerson) {
  browser_->setFindText("bob");
  ASSERT_EQ(browser_->model()->rowCount(), 1);
  selectRows({0});
  browser_->deleteItem();
  EXPECT_EQ(book_->count(), 2u);
  EXPECT_EQ(browser_->model()->rowCount(), 0);
  browser_->setFindText("");
  ASSERT_EQ(browser_->model()->rowCount(), 2);
  EXPECT_EQ(cell(0, "First Name"), "Carol");
  EXPECT_EQ(cell(1, "First Name"), "alice");
}

}  // namespace

// What find looks through may come ready with the records (made on the loading thread); it is kept
// only when it was made for the columns shown when the records arrive, never for others.
TEST(ContactTableModelTest, FindTextsMadeWithTheRecordsServeOnlyTheColumnsTheyWereMadeFor) {
  auto book = ABAddressBook::inMemory();
  ContactTableModel model(*book);
  model.setColumns({"First Name"});
  ContactRecords records(2);
  records[0].set("First Name", std::string("Ann"));
  records[0].set("Last Name", std::string("Lee"));
  records[1].set("First Name", std::string("Bo"));
  const std::vector<std::string> both = {"First Name", "Last Name"};

  // Made while "Last Name" was still shown: not taken, so the hidden column is not looked in.
  model.setRecords(records, ContactTableModel::searchTexts(records, both), both);
  model.setFindText("lee");
  EXPECT_EQ(model.rowCount(), 0);
  model.setFindText("ann");
  EXPECT_EQ(model.rowCount(), 1);

  // Made for the shown columns: taken as they are.
  model.setFindText("");
  model.setColumns(both);
  std::vector<QString> texts = ContactTableModel::searchTexts(records, both);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], QStringLiteral("ann\nlee\n"));
  model.setRecords(records, std::move(texts), both);
  model.setFindText("LEE");
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.recordAt(0).textOr("First Name"), "Ann");
}

TEST(ColumnMenuGroupsTest, EveryKeyOfTheRecordIsOfferedOnce) {
  std::vector<std::string> offered;
  for (const auto& group : columnMenuGroups()) offered.insert(offered.end(), group.keys.begin(), group.keys.end());
  std::vector<std::string> table;
  for (const auto& row : RecordKeys::all()) table.push_back(row.key);
  table.push_back(ContactTableModel::kNameColumn);   // the table's own, never blank
  table.push_back(ContactTableModel::kPhotoColumn);  // the table's own, a picture
  // Beside the record's keys, the column of the groups a contact is in.
  table.push_back(kGroupsColumn);
  std::sort(offered.begin(), offered.end());
  std::sort(table.begin(), table.end());
  EXPECT_EQ(offered, table);
}

// "Edit N Contacts…" shows the shared value or "(several values)" and writes only the field the
// user changed; "Find and Replace…" lists every change before it is applied. Each is one change.
TEST_F(BrowserViewTest, ManyContactsAreEditedAndFoundAndReplacedAtOnce) {
  selectRows({0, 2});  // Carol Zeller (Acme), Bob Xavier (Initech)
  browser_->contextMenu()->aboutToShow();
  EXPECT_EQ(browser_->editManyAction()->text(), "Edit 2 Contacts…");
  ASSERT_TRUE(browser_->editManyAction()->isEnabled());
  bool shown = false;
  browser_->runDialog = [&](QDialog& dialog) {
    shown = true;
    auto& edit = static_cast<EditContactsDialog&>(dialog);
    ASSERT_TRUE(edit.field("Company"));
    EXPECT_TRUE(edit.field("Company")->text().isEmpty());
    EXPECT_EQ(edit.field("Company")->placeholderText(), "(several values)");
    edit.field("Last Name")->setText("Lee");
    edit.field("Last Name")->setModified(true);
    ASSERT_TRUE(edit.applyChanges());
    dialog.accept();
  };
  browser_->editManyAction()->trigger();
  ASSERT_TRUE(shown);
  ASSERT_TRUE(waitForLoad(*browser_));
  auto people = book_->people();
  EXPECT_EQ(people[0]->stringForProperty(kABLastNameProperty), "Lee");
  EXPECT_EQ(people[2]->stringForProperty(kABLastNameProperty), "Lee");
  EXPECT_EQ(people[1]->stringForProperty(kABLastNameProperty), "Young") << "not selected";
  EXPECT_EQ(people[0]->stringForProperty(kABOrganizationProperty), "Acme") << "a field left alone stays";
  std::vector<ABChangeSet> changes;
  ASSERT_TRUE(book_->changeHistory(changes));
  EXPECT_EQ(changes[0].description, "Set the Last Name of 2 contacts");

  selectRows({0, 1, 2});
  shown = false;
  browser_->runDialog = [&](QDialog& dialog) {
    shown = true;
    auto& replace = static_cast<FindReplaceDialog&>(dialog);
    replace.column()->setCurrentText("Home Email");
    replace.findField()->setText("@home\\.org$");
    replace.replaceField()->setText("@work.org");
    EXPECT_EQ(replace.preview()->topLevelItemCount(), 0) << "a plain text, not found";
    replace.regexBox()->setChecked(true);
    ASSERT_EQ(replace.preview()->topLevelItemCount(), 2);
    EXPECT_EQ(replace.preview()->topLevelItem(0)->text(1), "carol@home.org");
    EXPECT_EQ(replace.preview()->topLevelItem(0)->text(2), "carol@work.org");
    // Changed elsewhere since the preview: that contact is left alone and told.
    ABMultiValue mails;
    mails.addValueWithLabel(std::string("bob@elsewhere.org"), kABHomeLabel);
    book_->people()[2]->setValueForProperty(mails, kABEmailProperty);
    ASSERT_TRUE(book_->save());
    QTimer::singleShot(0, [] {
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget)) box->accept();
    });
    ASSERT_TRUE(replace.applyChanges());
    ASSERT_EQ(replace.report().size(), 2u);
    EXPECT_NE(replace.report()[1].find("not changed"), std::string::npos) << replace.report()[1];
    dialog.accept();
  };
  browser_->findReplaceAction()->trigger();
  ASSERT_TRUE(shown);
  people = book_->people();
  EXPECT_EQ(people[0]->multiValueForProperty(kABEmailProperty)->stringAtIndex(0), "carol@work.org");
  EXPECT_EQ(people[2]->multiValueForProperty(kABEmailProperty)->stringAtIndex(0), "bob@elsewhere.org");
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(book_->people()[0]->multiValueForProperty(kABEmailProperty)->stringAtIndex(0), "carol@home.org");
}

// The "Name" column names every contact as the window does, so no row is blank: the name, else the
// organisation, else the first e-mail address or phone number, else "No Name". Enter, a double click
// on the name and the row's menu open the whole card, every value shown.
TEST_F(BrowserViewTest, TheNameColumnIsNeverBlankAndOpenContactShowsEveryValue) {
  auto add = [&](std::map<std::string, std::string> values, std::vector<std::pair<std::string, std::string>> emails,
                 std::vector<std::pair<std::string, std::string>> phones) {
    auto person = ABPerson::create();
    for (auto& [property, value] : values) person->setValueForProperty(ABValue(value), property);
    for (auto [property, entries] : {std::pair{&kABEmailProperty, emails}, std::pair{&kABPhoneProperty, phones}}) {
      if (entries.empty()) continue;
      ABMultiValue list;
      for (auto& [label, value] : entries) list.addValueWithLabel(value, label);
      person->setValueForProperty(list, *property);
    }
    EXPECT_TRUE(book_->addRecord(person));
    return person;
  };
  add({{kABOrganizationProperty, "Acme Ltd"}}, {}, {});
  auto mail = add({}, {{"", "   "}, {"", "nobody@example.org"}, {kABHomeLabel, "second@example.org"}}, {});
  add({}, {}, {{"_$!<Car>!$_", "+44 20 7946 0000"}});
  add({{kABNoteProperty, "met at the fair"}}, {}, {});
  ASSERT_TRUE(book_->save());
  browser_->loadPersonInAddressBook();
  ASSERT_TRUE(waitForLoad(*browser_));
  ASSERT_EQ(browser_->shownColumns().front(), ContactTableModel::kNameColumn);
  std::vector<QString> names;
  for (int row = 0; row < browser_->model()->rowCount(); ++row) {
    names.push_back(cell(row, ContactTableModel::kNameColumn));
    EXPECT_FALSE(names.back().trimmed().isEmpty()) << "row " << row;
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "Acme Ltd"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "nobody@example.org"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "+44 20 7946 0000"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "No Name"), names.end());
  // The name the window shows, one home: the outline and the card title say the same.
  EXPECT_EQ(names[4].toStdString(), shownName(*mail->snapshot()));
  // The name sorts and is found like any other column.
  browser_->sortByKey(ContactTableModel::kNameColumn, Qt::AscendingOrder);
  EXPECT_EQ(cell(0, ContactTableModel::kNameColumn), "+44 20 7946 0000");
  browser_->setFindText("nobody@");
  ASSERT_EQ(browser_->model()->rowCount(), 1);
  EXPECT_EQ(browser_->model()->recordAt(0).person(), mail);
  browser_->setFindText("");
  EXPECT_TRUE(browser_->getTableView()->horizontalHeader()->stretchLastSection());

  // Open Contact: the card of the current row shows every value, also a second home address the
  // table has no column for.
  struct Card {
    QString title;
    QStringList texts;
  };
  std::vector<Card> cards;
  browser_->runDialog = [&](QDialog& dialog) {
    auto* card = qobject_cast<ContactCardDialog*>(&dialog);
    ASSERT_TRUE(card);
    cards.push_back({card->windowTitle(), {}});
    for (auto* label : card->findChildren<QLabel*>()) cards.back().texts << label->text();
  };
  QTableView* table = browser_->getTableView();
  int mailRow = 0;
  while (browser_->model()->recordAt(mailRow).person() != mail) ++mailRow;
  table->setCurrentIndex(browser_->model()->index(mailRow, columnOf("Home Email")));
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Return);
  ASSERT_EQ(cards.size(), 1u) << "Enter opens the contact";
  EXPECT_EQ(cards[0].title, "nobody@example.org");
  EXPECT_TRUE(cards[0].texts.contains("nobody@example.org")) << cards[0].texts.join("|").toStdString();
  EXPECT_TRUE(cards[0].texts.contains("second@example.org")) << cards[0].texts.join("|").toStdString();
  emit table->doubleClicked(browser_->model()->index(mailRow, columnOf(ContactTableModel::kNameColumn)));
  EXPECT_EQ(cards.size(), 2u) << "a double click on the name opens it";
  emit table->doubleClicked(browser_->model()->index(mailRow, columnOf("Home Email")));
  EXPECT_EQ(cards.size(), 2u) << "a double click on a value edits it instead";
  ASSERT_TRUE(browser_->openAction());
  EXPECT_TRUE(browser_->contextMenu()->actions().contains(browser_->openAction()));
  browser_->openAction()->trigger();
  EXPECT_EQ(cards.size(), 3u);
}
