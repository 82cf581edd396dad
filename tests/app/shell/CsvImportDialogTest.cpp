// Importing a CSV file in the window: the mapping dialog shows the profile found, every heading with
// its field and the first twenty contacts as they will be stored; what the user changes there is
// what is stored, as one change set; a bad file stores nothing and says which line.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>

#include "app/browser/view/ContactCardDialog.h"
#include "app/shell/Alerts.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/CsvImportController.h"
#include "app/shell/CsvImportDialog.h"
#include "app/shell/VCardImportController.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/app/shell/ShellTestMain.h"

namespace {

class RecordingAlerts : public Alerts {
 public:
  std::vector<std::pair<std::string, std::string>> shown;
  void showAlert(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
};

class CsvImportDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    testApplication();
    ASSERT_TRUE(folder_.isValid());
    qputenv("XDG_DATA_HOME", folder_.filePath("data").toUtf8());
    std::string error;
    book_ = ABAddressBook::open(folder_.filePath("store.sqlite").toStdString(), &error);
    ASSERT_TRUE(book_) << error;
    delegate_ = std::make_unique<AppDelegate>(*book_);
    delegate_->setAlerts(&alerts_);
    delegate_->applicationDidFinishLaunching();
  }
  QString writeFile(const QString& name, const std::string& text) {
    QFile file(folder_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    return file.fileName();
  }
  size_t changeSets() {
    std::vector<ABChangeSet> history;
    book_->changeHistory(history);
    return history.size();
  }

  QTemporaryDir folder_;
  std::unique_ptr<ABAddressBook> book_;
  RecordingAlerts alerts_;
  std::unique_ptr<AppDelegate> delegate_;
};

}  // namespace

TEST_F(CsvImportDialogTest, TheDialogShowsWhereEachHeadingGoesAndStoresWhatTheUserChose) {
  std::string csv = "First Name,Last Name,E-mail 1 - Label,E-mail 1 - Value,Handy,Shoe Size\r\n";
  for (int i = 0; i < 25; ++i)
    csv += "Ann" + std::to_string(i) + ",Lee,Home,ann" + std::to_string(i) + "@example.org,0171 " + std::to_string(i) +
           ",38\r\n";
  const QString file = writeFile("people.csv", csv);
  // Dropped like a vCard file.
  EXPECT_EQ(VCardImportController::vCardFilesOf({QUrl::fromLocalFile(file)}), QStringList{file});

  int asked = 0;
  delegate_->csvImportController()->setAsk([&](CsvImport& import) {
    ++asked;
    CsvImportDialog dialog(import);
    EXPECT_EQ(dialog.profileChooser()->currentText(), "Google Contacts");
    EXPECT_EQ(dialog.headingTable()->rowCount(), 6);
    EXPECT_EQ(dialog.headingTable()->item(5, 0)->text(), "Shoe Size");
    EXPECT_EQ(dialog.fieldChooser(0)->currentData().toString(), "First Name");
    EXPECT_EQ(dialog.fieldChooser(3)->currentData().toString(), "E-mail 1 - Value");
    EXPECT_EQ(dialog.fieldChooser(4)->currentText(), "Keep as extra field");
    EXPECT_EQ(dialog.fieldChooser(5)->currentText(), "Keep as extra field");
    QTableWidget* preview = dialog.previewTable();
    EXPECT_EQ(preview->rowCount(), CsvImportDialog::kPreviewRows);
    EXPECT_EQ(preview->item(0, 0)->text(), "Ann0 Lee");
    EXPECT_EQ(preview->item(0, 2)->text(), "ann0@example.org");
    EXPECT_EQ(preview->item(0, 6)->text(), "Handy: 0171 0; Shoe Size: 38");
    // "Handy" is a mobile number; the preview shows it as it will be stored.
    EXPECT_TRUE(dialog.chooseField(4, "Mobile"));
    EXPECT_EQ(preview->item(0, 3)->text(), "0171 0");
    EXPECT_EQ(preview->item(0, 6)->text(), "Shoe Size: 38");
    // Left out, the e-mail label goes nowhere (the address keeps the label of no label: other).
    EXPECT_TRUE(dialog.chooseField(2, "leave"));
    EXPECT_TRUE(dialog.problemLabel()->text().isEmpty());
    return true;
  });
  QSignalSpy finished(delegate_.get(), &AppDelegate::vCardImportFinished);
  delegate_->importVCardFiles({file});
  ASSERT_EQ(finished.count(), 1);
  EXPECT_TRUE(finished.takeFirst().at(0).toBool());
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(book_->count(), 25u);
  EXPECT_EQ(changeSets(), 1u);
  ASSERT_FALSE(alerts_.shown.empty());
  EXPECT_EQ(alerts_.shown.back().second, "Imported 25 contact(s) from \"people.csv\".");
  const ABPersonRef ann = book_->people().front();
  auto phones = ann->multiValueForProperty(kABPhoneProperty);
  ASSERT_TRUE(phones);
  EXPECT_EQ(phones->labelAtIndex(0), kABPhoneMobileLabel);
  EXPECT_EQ(ann->multiValueForProperty(kABEmailProperty)->labelAtIndex(0), kABOtherLabel);
  const auto kept = keptCsvFields(*ann->snapshot());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].first, "Shoe Size");
  // The contact card shows the extra field under its heading.
  ContactCardDialog card(ann, *book_, ContactCardDialog::Mode::Show);
  ASSERT_TRUE(card.shownValue("Shoe Size"));
  EXPECT_EQ(card.shownValue("Shoe Size")->text(), "38");

  // Cancelled: nothing stored.
  delegate_->csvImportController()->setAsk([](CsvImport&) { return false; });
  delegate_->importVCardFiles({file});
  EXPECT_EQ(book_->count(), 25u);
  EXPECT_EQ(changeSets(), 1u);

  // A bad file is refused before the dialog, naming its line.
  asked = 0;
  delegate_->csvImportController()->setAsk([&](CsvImport&) { return ++asked > 0; });
  const QString bad = writeFile("bad.csv", "First Name,Note\nCy,ok\nDi,\"open\n");
  delegate_->importVCardFiles({bad});
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(book_->count(), 25u);
  EXPECT_EQ(changeSets(), 1u);
  ASSERT_FALSE(alerts_.shown.empty());
  EXPECT_EQ(alerts_.shown.back().first, "Warning");
  EXPECT_NE(alerts_.shown.back().second.find("bad.csv:3: a quoted field is not closed"), std::string::npos)
      << alerts_.shown.back().second;
}
