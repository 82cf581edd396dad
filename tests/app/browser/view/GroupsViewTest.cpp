#include <unistd.h>
#include <QAction>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QTableView>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/GroupsPanel.h"
#include "app/export/ExportContact.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "tests/app/browser/view/ViewTestSupport.h"

namespace {

// Ann in "Golf" (a category) and in the group card "Family", Bob in "Family", Cy in no group.
const std::string kCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann\r\nCATEGORIES:Golf\r\nUID:ann\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Roe;Bob\r\nUID:bob\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Day;Cy\r\nUID:cy\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family\r\nFN:Family\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
    "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:bob\r\nUID:family\r\nEND:VCARD\r\n";

class GroupsViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewTestApp();
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-groups-view-" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    book_ = ABAddressBook::open(folder_ / "book.sqlite");
    ASSERT_TRUE(book_);
    VCardImportResult read = VCardImporter::importText(kCards);
    ASSERT_TRUE(read.ok()) << read.error;
    for (auto& data : read.persons) ASSERT_TRUE(book_->addRecord(std::make_shared<ABPerson>(std::move(data))));
    ASSERT_TRUE(book_->save());
    browser_ = std::make_unique<LoadContactsViewController>(*book_);
    auto scripted = std::make_unique<ScriptedQuestion>();
    question_ = scripted.get();
    browser_->setQuestion(std::move(scripted));
    browser_->groupsPanel()->askName = [this](const QString&, const QString&, const QStringList& choices,
                                              const QString&) -> std::optional<QString> {
      offered_ = choices;
      return answer_;
    };
    reload();
  }
  void TearDown() override {
    browser_.reset();
    book_.reset();
    std::filesystem::remove_all(folder_);
  }
  void reload() {
    browser_->loadPersonInAddressBook();
    ASSERT_TRUE(waitForLoad(*browser_));
  }
  // The first names of the rows shown, top to bottom.
  QStringList rows() const {
    QStringList names;
    for (int row = 0; row < browser_->model()->rowCount(); ++row)
      names << QString::fromStdString(browser_->model()->recordAt(row).textOr("First Name"));
    return names;
  }
  QStringList items() const {
    QStringList texts;
    for (int row = 0; row < browser_->groupsPanel()->list()->count(); ++row)
      texts << browser_->groupsPanel()->list()->item(row)->text();
    return texts;
  }
  void selectRows(std::initializer_list<int> rows) {
    auto* selection = browser_->getTableView()->selectionModel();
    selection->clearSelection();
    for (int row : rows)
      selection->select(browser_->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  void undo() {
    std::string error;
    ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
    reload();
  }

  std::filesystem::path folder_;
  std::unique_ptr<ABAddressBook> book_;
  std::unique_ptr<LoadContactsViewController> browser_;
  ScriptedQuestion* question_ = nullptr;
  std::optional<QString> answer_;
  QStringList offered_;
};

TEST_F(GroupsViewTest, TheGroupsListFiltersTheTableAndTheGroupsColumnShowsBothForms) {
  // The group card is no row of the table.
  EXPECT_EQ(rows(), (QStringList{"Ann", "Bob", "Cy"}));
  EXPECT_EQ(items(), (QStringList{"All contacts (3)", "Family (2)", "Golf (1)", "Not in any group (1)"}));
  EXPECT_EQ(browser_->model()->recordAt(0).textOr(kGroupsColumn), "Golf, Family");
  EXPECT_EQ(browser_->model()->recordAt(2).textOr(kGroupsColumn), "");
  ASSERT_TRUE(browser_->columnItem(kGroupsColumn));

  ASSERT_TRUE(browser_->groupsPanel()->chooseGroup("Family"));
  EXPECT_EQ(rows(), (QStringList{"Ann", "Bob"}));
  // Find narrows the group's rows further.
  browser_->setFindText("Roe");
  EXPECT_EQ(rows(), QStringList{"Bob"});
  browser_->setFindText("");
  ASSERT_TRUE(browser_->groupsPanel()->chooseGroup("Golf"));
  EXPECT_EQ(rows(), QStringList{"Ann"});
  browser_->groupsPanel()->chooseNoGroup();
  EXPECT_EQ(rows(), QStringList{"Cy"});
  // The choice stands through a reload.
  reload();
  EXPECT_EQ(rows(), QStringList{"Cy"});
  ASSERT_TRUE(browser_->groupsPanel()->chooseGroup(std::nullopt));
  EXPECT_EQ(rows(), (QStringList{"Ann", "Bob", "Cy"}));
}

TEST_F(GroupsViewTest, AddRemoveRenameAndDeleteAreEachOneUndoableChange) {
  // Cy into the group card's group; Bob and Cy into a new group.
  selectRows({2});
  answer_ = "Family";
  browser_->addToGroupAction()->trigger();
  reload();
  EXPECT_EQ(offered_, (QStringList{"Family", "Golf"}));
  EXPECT_EQ(ABGroups::members(*book_->recordForUniqueId("family")->snapshot()),
            (std::vector<std::string>{"ann", "bob", "cy"}));
  EXPECT_EQ(items()[1], "Family (3)");
  undo();
  EXPECT_EQ(items()[1], "Family (2)");

  selectRows({1, 2});
  answer_ = "Choir";
  browser_->addToGroupAction()->trigger();
  reload();
  EXPECT_EQ(items(), (QStringList{"All contacts (3)", "Choir (2)", "Family (2)", "Golf (1)", "Not in any group (0)"}));

  // Out of the group card's group again; only the groups of the selection are offered.
  selectRows({0});
  answer_ = "Family";
  browser_->removeFromGroupAction()->trigger();
  reload();
  EXPECT_EQ(offered_, (QStringList{"Golf", "Family"}));
  EXPECT_EQ(ABGroups::members(*book_->recordForUniqueId("family")->snapshot()), std::vector<std::string>{"bob"});
  undo();

  // Rename and delete from the groups list.
  ASSERT_TRUE(browser_->groupsPanel()->chooseGroup("Choir"));
  answer_ = "Singers";
  browser_->groupsPanel()->renameChosenGroup();
  reload();
  EXPECT_EQ(items()[1], "Family (2)");
  EXPECT_TRUE(items().contains("Singers (2)")) << items().join("|").toStdString();
  ASSERT_TRUE(browser_->groupsPanel()->chooseGroup("Family"));
  question_->answer = false;
  browser_->groupsPanel()->deleteChosenGroup();
  EXPECT_TRUE(book_->recordForUniqueId("family")) << "the question was declined";
  question_->answer = true;
  browser_->groupsPanel()->deleteChosenGroup();
  reload();
  EXPECT_FALSE(book_->recordForUniqueId("family"));
  EXPECT_EQ(rows(), (QStringList{"Ann", "Bob", "Cy"})) << "the contacts stay; the list shows all again";
  undo();
  EXPECT_TRUE(book_->recordForUniqueId("family"));
  undo();
  EXPECT_TRUE(items().contains("Choir (2)"));
}

}  // namespace

TEST_F(GroupsViewTest, VCardExportsTakeTheirContactsGroupCardsAndImportsKeepThemOnTheirContacts) {
  auto exported = [&](bool all, ContactRecords chosen) {
    ExportContact driver;
    driver.setLoadContactsViewController(browser_->exportSource());
    driver.setIsExportAllPeople(all);
    if (!all) driver.setExportArray(std::move(chosen));
    ExportResult result =
        driver.runExport(ExportContact::kVCardOneFile, folder_.string(), ExportContact::kTagAllInformation);
    EXPECT_TRUE(result.ok()) << result.error;
    std::ifstream in(result.file);
    return std::make_pair(result.file, std::string(std::istreambuf_iterator<char>(in), {}));
  };
  const auto [file, text] = exported(true, {});
  EXPECT_NE(text.find("X-ADDRESSBOOKSERVER-KIND:group"), std::string::npos) << text;
  EXPECT_NE(text.find("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:bob"), std::string::npos) << text;
  // Cy is in no group: none goes with him.
  const auto [cyFile, cyText] = exported(false, {browser_->model()->recordAt(2)});
  EXPECT_EQ(cyText.find("group"), std::string::npos) << cyText;

  // The export read back into the same book: every id is taken, so the copies come in with new ids,
  // and the copy of the group card lists the copies of Ann and Bob, not the originals again.
  VCardBookImportResult again = importVCardFilesIntoAddressBook(*book_, {file});
  ASSERT_TRUE(again.ok()) << again.error;
  ASSERT_TRUE(book_->save());
  const ABGroups::Index groups(book_->people());
  const ABGroups::Group* family = groups.find("Family");
  ASSERT_TRUE(family);
  EXPECT_EQ(family->cards.size(), 2u);
  EXPECT_EQ(family->members.size(), 4u);
  const ABGroups::Group* golf = groups.find("Golf");
  ASSERT_TRUE(golf);
  ASSERT_EQ(golf->members.size(), 2u);
  EXPECT_NE(std::find(family->members.begin(), family->members.end(), golf->members[1]), family->members.end());
}
