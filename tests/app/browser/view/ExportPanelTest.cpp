#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/browser/view/ContactTableModel.h"
#include "app/export/view/ExportContactController.h"
#include "app/export/view/ExportPanel.h"
#include "app/export/view/ExportReport.h"
#include "tests/app/browser/view/ViewTestSupport.h"

namespace {

struct Heard : ExportReport {
  std::vector<ExportResult> results;
  void exportEnded(const ExportResult& result) override { results.push_back(result); }
};

struct WriterCall {
  std::string title, folder;
  ContactRecords records;
  bool allInfo = false;
};

class ExportPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewTestApp();
    book_ = ABAddressBook::inMemory();
    addThreeContacts(*book_);
    ASSERT_TRUE(book_->save());
    browser_ = std::make_unique<LoadContactsViewController>(*book_);
    browser_->loadPersonInAddressBook();
    ASSERT_TRUE(waitForLoad(*browser_));
    driver_ = browser_->exportContact();
    auto heardReport = std::make_unique<Heard>();
    heard_ = heardReport.get();
    driver_->setReport(std::move(heardReport));
  }

  // Runs one export to its end with a writer that records what it was given.
  WriterCall exportWith(const QString& title, int tag) {
    auto call = std::make_shared<WriterCall>();
    driver_->setWriter([call](const ExportContact::PreparedExport& job) {
      *call = {job.format.title, job.folder, job.records(), job.allInfo};
      return ExportResult{job.folder + "/written", ""};
    });
    QSignalSpy ended(driver_, &ExportContactController::exportEnded);
    driver_->startExportWithChoice(title, "/tmp", tag);
    EXPECT_TRUE(ended.wait(10000));
    return *call;
  }

  std::unique_ptr<ABAddressBook> book_;
  std::unique_ptr<LoadContactsViewController> browser_;
  ExportContactController* driver_ = nullptr;
  Heard* heard_ = nullptr;
};

TEST_F(ExportPanelTest, PanelOffersTheEightFormatsAndTheTwoContents) {
  ExportPanel panel;
  QStringList titles;
  for (int i = 0; i < panel.selectedButton()->count(); ++i) titles << panel.selectedButton()->itemText(i);
  EXPECT_EQ(titles, (QStringList{"Save to Excel", "Save to HTML", "Save to Pages", "Save to Numbers", "Save to CSV",
                                 "Save to Docx", "Save to vCard", "Save to TXT", "vCard, one file",
                                 "Save to Google CSV", "Save to Outlook CSV", "Save to CSV, every value"}));
  EXPECT_EQ(panel.selectedTag(), 1);
  panel.setSelectedTag(2);
  EXPECT_EQ(panel.selectedTag(), 2);
  // Photos beside the page: for HTML only.
  panel.photosBox()->setChecked(true);
  EXPECT_FALSE(panel.photos());
  panel.setFormatTitle("Save to HTML");
  EXPECT_TRUE(panel.photos());
  panel.setFormatTitle("Save to CSV");
  EXPECT_FALSE(panel.photos());
}

TEST_F(ExportPanelTest, ExportAllGivesShownColumnsOrTheBrowsersOwnRecords) {
  driver_->setLoadContactsViewController(browser_->exportSource());
  driver_->setIsExportAllPeople(true);
  browser_->columnItem("Home Email")->trigger();
  browser_->columnItem("Work Email")->trigger();
  browser_->columnItem("Mobile")->trigger();
  browser_->columnItem("Home Phone")->trigger();
  browser_->columnItem("Last Name")->trigger();

  WriterCall columns = exportWith("Save to CSV", 1);
  EXPECT_EQ(columns.title, "Save to CSV");
  EXPECT_EQ(columns.folder, "/tmp");
  EXPECT_FALSE(columns.allInfo);
  ASSERT_EQ(columns.records.size(), 3u);
  // The shown "Name" column is written as the table shows it.
  EXPECT_EQ(columns.records[0].keys(), (std::vector<std::string>{"Name", "First Name", "Company"}));
  EXPECT_EQ(columns.records[1].keys(), (std::vector<std::string>{"Name", "First Name"}));  // no empty entry

  WriterCall all = exportWith("Save to HTML", 2);
  EXPECT_TRUE(all.allInfo);
  ASSERT_EQ(all.records.size(), 3u);
  EXPECT_TRUE(all.records[0].person());
  EXPECT_EQ(all.records[2].textOr("Home Email"), "bob@home.org");
  ASSERT_EQ(heard_->results.size(), 2u);
  EXPECT_EQ(heard_->results[1].file, "/tmp/written");
}

TEST_F(ExportPanelTest, SelectionExportRestrictsTheCopiedSelection) {
  auto* selection = browser_->getTableView()->selectionModel();
  for (int row : {0, 1})
    selection->select(browser_->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  driver_->setLoadContactsViewController(browser_->exportSource());
  driver_->setIsExportAllPeople(false);
  driver_->setExportArray(browser_->selectedRecordsForExport());

  WriterCall columns = exportWith("Save to TXT", 1);
  ASSERT_EQ(columns.records.size(), 2u);
  EXPECT_EQ(columns.records[0].textOr("First Name"), "Carol");  // the order the table shows
  EXPECT_EQ(columns.records[1].textOr("First Name"), "alice");
  EXPECT_FALSE(columns.records[0].contains("Person"));
  EXPECT_EQ(columns.records[0].size(), 5u);  // Name, First Name, Last Name, Company, Home Email

  WriterCall all = exportWith("Save to TXT", 2);
  EXPECT_TRUE(all.allInfo);
  EXPECT_EQ(all.records.size(), 2u);

  // The vCard export of a selection with all information writes the persons whole (the other
  // writers never make a column of "Person").
  WriterCall cards = exportWith("Save to vCard", 2);
  EXPECT_TRUE(cards.allInfo);
  ASSERT_EQ(cards.records.size(), 2u);
  EXPECT_TRUE(cards.records[0].person());
}

TEST_F(ExportPanelTest, RealExportNamesTheFileWrittenAndFailuresSayWhy) {
  QTemporaryDir folder;
  driver_->setLoadContactsViewController(browser_->exportSource());
  driver_->setIsExportAllPeople(true);
  QSignalSpy ended(driver_, &ExportContactController::exportEnded);
  driver_->startExportWithChoice("Save to CSV", folder.path(), 1);
  ASSERT_TRUE(ended.wait(10000));
  ASSERT_EQ(heard_->results.size(), 1u);
  ASSERT_TRUE(heard_->results[0].ok()) << heard_->results[0].error;
  EXPECT_TRUE(QFile::exists(QString::fromStdString(heard_->results[0].file)));
  QFile csv(QString::fromStdString(heard_->results[0].file));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_TRUE(csv.readAll().contains("Carol"));

  driver_->startExportWithChoice("Save to HTML", folder.path() + "/missing/deeper", 2);
  ASSERT_TRUE(ended.wait(10000));
  ASSERT_EQ(heard_->results.size(), 2u);
  EXPECT_FALSE(heard_->results[1].ok());
  EXPECT_FALSE(heard_->results[1].error.empty());
}

TEST_F(ExportPanelTest, FinishedMessageStaysUncoveredAndNamesTheVCardFolderAndFileCount) {
  QTemporaryDir folder;
  driver_->setReport(std::make_unique<MessageBoxExportReport>(browser_.get()));
  driver_->setLoadContactsViewController(browser_->exportSource());
  driver_->setIsExportAllPeople(true);
  browser_->show();
  bool progressShown = false, messageShown = false;
  QString text, informative;
  // Five seconds into the message: nothing else may have come up over it; then OK is pressed.
  QTimer::singleShot(5200, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (qobject_cast<QProgressDialog*>(top) && top->isVisible()) progressShown = true;
      auto* box = qobject_cast<QMessageBox*>(top);
      if (!box || !box->isVisible()) continue;
      messageShown = true;
      text = box->text();
      informative = box->informativeText();
      box->button(QMessageBox::Ok)->click();
    }
  });
  QSignalSpy ended(driver_, &ExportContactController::exportEnded);
  driver_->startExportWithChoice("Save to vCard", folder.path(), 2);
  ASSERT_TRUE(ended.wait(20000));
  EXPECT_TRUE(messageShown);
  EXPECT_FALSE(progressShown);
  EXPECT_TRUE(text.contains("3 files")) << text.toStdString();
  // The files are in a new folder of their own inside the chosen one.
  EXPECT_TRUE(text.contains("\"Zedid-Ovuzazur\"")) << text.toStdString();
  EXPECT_TRUE(informative.contains(folder.path() + "/Zedid-Ovuzazur")) << informative.toStdString();
  EXPECT_TRUE(informative.contains("export_0.vcf")) << informative.toStdString();
  EXPECT_TRUE(informative.contains("export_2.vcf")) << informative.toStdString();
  for (QWidget* top : QApplication::topLevelWidgets()) EXPECT_FALSE(qobject_cast<QProgressDialog*>(top));
}

}  // namespace

namespace {

// Cancel in the progress window gives the window back at once; what the writer went on to write
// is removed once it is written, and nothing is reported as exported.
TEST_F(ExportPanelTest, ACancelledExportLeavesNothingBehind) {
  QTemporaryDir folder;
  const std::string written = folder.path().toStdString() + "/Zedid-Ovuzazur.csv";
  auto release = std::make_shared<std::atomic<bool>>(false);
  // The writer is let go however the test ends, so that no export is left waiting.
  struct LetGo {
    std::shared_ptr<std::atomic<bool>> release;
    ~LetGo() { *release = true; }
  } letGo{release};
  driver_->setWriter([written, release](const ExportContact::PreparedExport&) {
    while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ofstream(written) << "First Name\nCarol\n";
    return ExportResult{written, ""};
  });
  browser_->show();
  QSignalSpy ended(driver_, &ExportContactController::exportEnded);
  driver_->startExportWithChoice("Save to CSV", folder.path(), 1);
  QProgressDialog* progress = nullptr;
  for (int waited = 0; waited < 5000 && !progress; waited += 50) {
    QTest::qWait(50);
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QProgressDialog*>(top); dialog && dialog->isVisible()) progress = dialog;
  }
  ASSERT_TRUE(progress);
  QPushButton* cancel = progress->findChild<QPushButton*>();
  ASSERT_TRUE(cancel);
  cancel->click();
  QTest::qWait(50);
  for (QWidget* top : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<QProgressDialog*>(top) && top->isVisible());
  *release = true;
  ASSERT_TRUE(ended.wait(10000));
  EXPECT_FALSE(ended.takeFirst().at(0).toBool());
  EXPECT_FALSE(std::filesystem::exists(written));
  EXPECT_TRUE(heard_->results.empty());
}

}  // namespace
