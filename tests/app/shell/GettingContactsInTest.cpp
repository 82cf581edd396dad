#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <functional>

#include "app/browser/view/LoadContactsViewController.h"
#include "app/shell/AddressBooksWindow.h"
#include "app/shell/Alerts.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/BrowserArea.h"
#include "app/shell/MainWindow.h"
#include "app/shell/ProgressWindow.h"
#include "app/shell/SampleAddressBook.h"
#include "app/shell/VCardImportController.h"
#include "app/widgets/MyButton.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/sync/SyncRun.h"
#include "tests/app/shell/ShellTestMain.h"

namespace {

class RecordingAlerts : public Alerts {
 public:
  std::vector<std::pair<std::string, std::string>> shown;
  void showAlert(const std::string& title, const std::string& message) override { shown.emplace_back(title, message); }
  ImportChoice choice = ImportChoice::Update;
  std::vector<std::size_t> asked;
  std::function<void()> whileAsked;  // what the user does while the question is open
  ImportChoice askImportChoice(std::size_t there) override {
    asked.push_back(there);
    if (whileAsked) whileAsked();
    return choice;
  }
  bool importReadable = false;
  std::vector<std::vector<std::string>> unreadableAsked;
  bool askImportReadable(const std::vector<std::string>& unreadable, std::size_t) override {
    unreadableAsked.push_back(unreadable);
    return importReadable;
  }
};

const char* const kTwoCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEMAIL;TYPE=HOME:ann@example.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Bea;;;\r\nFN:Bea Okafor\r\nEND:VCARD\r\n";
const char* const kBrokenCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Broken;Carl;;;\r\nFN:Carl Broken\r\n";

class GettingContactsInTest : public testing::Test {
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

  QString writeFile(const QString& name, const char* text) {
    QFile file(folder_.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
  }

  bool importAndWait(const QStringList& files) {
    QSignalSpy finished(delegate_.get(), &AppDelegate::vCardImportFinished);
    delegate_->importVCardFiles(files);
    return finished.wait(10000) && finished.takeFirst().at(0).toBool();
  }

  size_t storedCount() {
    std::string error;
    auto reopened = ABAddressBook::open(folder_.filePath("store.sqlite").toStdString(), &error);
    return reopened ? reopened->count() : 0;
  }

  QTemporaryDir folder_;
  std::unique_ptr<ABAddressBook> book_;
  RecordingAlerts alerts_;
  std::unique_ptr<AppDelegate> delegate_;
};

}  // namespace

TEST_F(GettingContactsInTest, EmptyStoreOffersImportAndTheSample) {
  EXPECT_TRUE(delegate_->browserArea()->isVisibleTo(delegate_->window()));
  EXPECT_TRUE(delegate_->browserArea()->importButton()->isVisibleTo(delegate_->window()));
  EXPECT_TRUE(delegate_->browserArea()->sampleButton()->isVisibleTo(delegate_->window()));
  EXPECT_TRUE(delegate_->browserArea()->statusText()->text().contains("empty"));
  EXPECT_FALSE(delegate_->loadContactsViewController()->isVisibleTo(delegate_->window()));
  EXPECT_EQ(delegate_->itemImport()->text().remove(QLatin1Char('&')), "Import vCard Files…");
  EXPECT_EQ(delegate_->itemSample()->text().remove(QLatin1Char('&')), "Open the Sample Address Book");
}

TEST_F(GettingContactsInTest, ImportSavesEveryContactAndReloadsTheBrowser) {
  ASSERT_TRUE(importAndWait({writeFile("two.vcf", kTwoCards)}));
  EXPECT_EQ(book_->count(), 2u);
  EXPECT_EQ(storedCount(), 2u);
  ASSERT_EQ(alerts_.shown.size(), 1u);
  EXPECT_EQ(alerts_.shown[0].first, "Import");
  EXPECT_EQ(alerts_.shown[0].second, "Imported 2 contact(s) from \"two.vcf\".");
  EXPECT_FALSE(delegate_->progressWindow()->isVisible());
  EXPECT_TRUE(delegate_->scanButton()->isEnabled());
  EXPECT_FALSE(delegate_->browserArea()->isVisibleTo(delegate_->window()));
  EXPECT_TRUE(delegate_->loadContactsViewController()->isVisibleTo(delegate_->window()));
}

// The window says what the command line says of values that were not UTF-8.
TEST_F(GettingContactsInTest, ImportSaysHowManyValuesWereReadInALegacyCharacterSet) {
  ASSERT_TRUE(importAndWait({writeFile("latin.vcf",
                                       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:N\xFC\xDFlebaum;S\xF6ren;;;\r\n"
                                       "END:VCARD\r\n")}));
  ASSERT_EQ(alerts_.shown.size(), 1u);
  EXPECT_EQ(alerts_.shown[0].second,
            "Imported 1 contact(s) from \"latin.vcf\".\n"
            "1 value of 1 contact was not UTF-8 and was read as Windows-1252.");
  EXPECT_EQ(book_->people()[0]->stringForProperty(kABFirstNameProperty).value_or(""), "S\xC3\xB6ren");
}

// Importing contacts already in the store (by their unique ids) asks whether to update them or add
// them as new ones, or to import nothing.
TEST_F(GettingContactsInTest, ImportOfContactsAlreadyThereAsksWhatToDo) {
  const char* const withUids =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nUID:ann-1\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Bea;;;\r\nUID:bea-1\r\nEND:VCARD\r\n";
  const char* const changed = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee-Smith;Ann;;;\r\nUID:ann-1\r\nEND:VCARD\r\n";
  ASSERT_TRUE(importAndWait({writeFile("two.vcf", withUids)}));
  EXPECT_TRUE(alerts_.asked.empty());

  alerts_.choice = Alerts::ImportChoice::Update;
  ASSERT_TRUE(importAndWait({writeFile("changed.vcf", changed)}));
  ASSERT_EQ(alerts_.asked, (std::vector<std::size_t>{1}));
  EXPECT_EQ(storedCount(), 2u);
  EXPECT_EQ(book_->people()[0]->stringForProperty(kABLastNameProperty).value_or(""), "Lee-Smith");

  alerts_.choice = Alerts::ImportChoice::Cancel;
  const size_t alertsBefore = alerts_.shown.size();
  importAndWait({writeFile("two-again.vcf", withUids)});
  EXPECT_EQ(storedCount(), 2u);
  EXPECT_EQ(alerts_.shown.size(), alertsBefore);  // the user chose: nothing to tell

  alerts_.choice = Alerts::ImportChoice::AddAsNew;
  ASSERT_TRUE(importAndWait({writeFile("two-new.vcf", withUids)}));
  EXPECT_EQ(storedCount(), 4u);
}

// The import's progress window has Cancel: the import stops before it saves, nothing imported.
TEST_F(GettingContactsInTest, ACancelledImportImportsNothing) {
  const char* const withUids =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nUID:ann-1\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Bea;;;\r\nUID:bea-1\r\nEND:VCARD\r\n";
  ASSERT_TRUE(importAndWait({writeFile("two.vcf", withUids)}));
  // The question about the contacts already there is open while the user presses Cancel.
  bool cancellable = false;
  alerts_.choice = Alerts::ImportChoice::AddAsNew;
  alerts_.whileAsked = [&] {
    cancellable = delegate_->progressWindow()->cancelButton()->isVisible();
    delegate_->progressWindow()->cancelButton()->click();
  };
  EXPECT_FALSE(importAndWait({writeFile("two-again.vcf", withUids)}));
  EXPECT_TRUE(cancellable);
  EXPECT_EQ(storedCount(), 2u);
  EXPECT_EQ(book_->count(), 2u);
  ASSERT_FALSE(alerts_.shown.empty());
  EXPECT_EQ(alerts_.shown.back().second, "The import was cancelled; nothing was imported.");
  EXPECT_FALSE(delegate_->progressWindow()->isVisible());
  // The next import is not cancelled.
  alerts_.whileAsked = nullptr;
  EXPECT_TRUE(importAndWait({writeFile("two-new.vcf", withUids)}));
  EXPECT_EQ(storedCount(), 4u);
}

// Each file is imported whole or not at all: every file that cannot be read is named with its line
// and problem, and the readable ones are imported only when the user says so.
TEST_F(GettingContactsInTest, UnreadableFilesAreAllNamedAndTheReadableOnesImportedWhenTheUserSaysSo) {
  const QString good = writeFile("two.vcf", kTwoCards);
  const QString bad = writeFile("broken.vcf", kBrokenCard);
  const QString notCards = writeFile("notes.vcf", "shopping list\r\n");
  alerts_.importReadable = false;
  EXPECT_FALSE(importAndWait({good, bad, notCards}));
  ASSERT_EQ(alerts_.unreadableAsked.size(), 1u);
  ASSERT_EQ(alerts_.unreadableAsked[0].size(), 2u) << "every unreadable file, not only the first";
  EXPECT_NE(alerts_.unreadableAsked[0][0].find("broken.vcf:"), std::string::npos) << alerts_.unreadableAsked[0][0];
  EXPECT_NE(alerts_.unreadableAsked[0][1].find("notes.vcf:"), std::string::npos) << alerts_.unreadableAsked[0][1];
  EXPECT_EQ(book_->count(), 0u);
  EXPECT_FALSE(book_->hasUnsavedChanges());
  EXPECT_EQ(storedCount(), 0u);
  EXPECT_TRUE(alerts_.shown.empty()) << "the user chose to import nothing";
  // Importing can be tried again; the store is still empty, so there is nothing to scan.
  EXPECT_TRUE(delegate_->itemImport()->isEnabled());
  EXPECT_FALSE(delegate_->scanButton()->isEnabled());

  alerts_.importReadable = true;
  ASSERT_TRUE(importAndWait({good, bad, notCards}));
  EXPECT_EQ(storedCount(), 2u) << "the readable file, whole";
  ASSERT_EQ(alerts_.shown.size(), 1u);
  EXPECT_NE(alerts_.shown[0].second.find("Imported 2 contact(s)"), std::string::npos) << alerts_.shown[0].second;
  EXPECT_NE(alerts_.shown[0].second.find("broken.vcf:"), std::string::npos) << alerts_.shown[0].second;
  EXPECT_NE(alerts_.shown[0].second.find("notes.vcf:"), std::string::npos) << alerts_.shown[0].second;

  // No readable file: nothing to ask, every file named.
  alerts_.shown.clear();
  EXPECT_FALSE(importAndWait({bad, notCards}));
  EXPECT_EQ(alerts_.unreadableAsked.size(), 2u);
  ASSERT_EQ(alerts_.shown.size(), 1u);
  EXPECT_EQ(alerts_.shown[0].first, "Warning");
  EXPECT_NE(alerts_.shown[0].second.find("Nothing was imported"), std::string::npos);
  EXPECT_NE(alerts_.shown[0].second.find("broken.vcf:"), std::string::npos) << alerts_.shown[0].second;
  EXPECT_NE(alerts_.shown[0].second.find("notes.vcf:"), std::string::npos) << alerts_.shown[0].second;
  EXPECT_EQ(storedCount(), 2u);
}

TEST_F(GettingContactsInTest, DroppedVCardFilesAreImportedOthersIgnored) {
  const QString card = writeFile("two.vcf", kTwoCards);
  const QString text = writeFile("notes.txt", "not a card");
  EXPECT_EQ(VCardImportController::vCardFilesOf({QUrl::fromLocalFile(text), QUrl("https://example.org/a.vcf")}),
            QStringList());

  QSignalSpy finished(delegate_.get(), &AppDelegate::vCardImportFinished);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(card)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(delegate_->window(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(delegate_->window(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_TRUE(finished.wait(10000));
  EXPECT_EQ(book_->count(), 2u);
}

TEST_F(GettingContactsInTest, SampleOpensFreshInItsOwnWindowAndLeavesTheUsersStore) {
  delegate_->browserArea()->sampleButton()->click();
  AppDelegate* sample = delegate_->sampleDelegate();
  ASSERT_NE(sample, nullptr) << (alerts_.shown.empty() ? "" : alerts_.shown.back().second);
  EXPECT_TRUE(sample->window()->isVisible());
  EXPECT_EQ(sample->window()->windowTitle(), "Sample Address Book");
  EXPECT_FALSE(sample->itemSample()->isEnabled());
  EXPECT_EQ(book_->count(), 0u);

  std::string error;
  auto sampleStore = ABAddressBook::open(SampleAddressBook::storePath().toStdString(), &error);
  ASSERT_TRUE(sampleStore) << error;
  const size_t planted = sampleStore->count();
  EXPECT_GT(planted, 13u);
  sampleStore.reset();

  // Asked again while it is open, the same window comes forward.
  delegate_->openSampleAddressBook();
  EXPECT_EQ(delegate_->sampleDelegate(), sample);

  // A change to the sample, then closing it: the next opening starts from the planted contacts again.
  sampleStore = ABAddressBook::open(SampleAddressBook::storePath().toStdString(), &error);
  ASSERT_TRUE(sampleStore);
  ASSERT_TRUE(sampleStore->removeRecord(sampleStore->people().front()));
  ASSERT_TRUE(sampleStore->save());
  sampleStore.reset();
  sample->window()->close();
  delegate_->openSampleAddressBook();
  ASSERT_NE(delegate_->sampleDelegate(), nullptr);
  sampleStore = ABAddressBook::open(SampleAddressBook::storePath().toStdString(), &error);
  ASSERT_TRUE(sampleStore);
  EXPECT_EQ(sampleStore->count(), planted);
  delegate_->sampleDelegate()->window()->close();
}

TEST_F(GettingContactsInTest, SampleWithoutItsFileIsRefusedAndTheEarlierOneKept) {
  QString error;
  const QString store = folder_.filePath("sample.sqlite");
  auto made = SampleAddressBook::createFresh(writeFile("two.vcf", kTwoCards), store, &error);
  ASSERT_TRUE(made) << error.toStdString();
  EXPECT_EQ(made->count(), 2u);
  made.reset();

  EXPECT_FALSE(SampleAddressBook::createFresh(folder_.filePath("missing.vcf"), store, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(SampleAddressBook::createFresh(writeFile("broken.vcf", kBrokenCard), store, &error));
  EXPECT_TRUE(error.contains("broken.vcf")) << error.toStdString();
  std::string openError;
  auto kept = ABAddressBook::open(store.toStdString(), &openError);
  ASSERT_TRUE(kept) << openError;
  EXPECT_EQ(kept->count(), 2u);
}

TEST_F(GettingContactsInTest, AddressBooksWindowSyncsALinkedFolderAndTheTableFollows) {
  // A folder of cards, as vdirsyncer or KDE keeps it, linked and synced from File → Address Books….
  QDir(folder_.path()).mkdir("vdir");
  writeFile("vdir/ann.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEND:VCARD\r\n");
  SyncSource source;
  source.name = "Phone";
  source.location = folder_.filePath("vdir").toStdString();
  std::string error;
  ASSERT_TRUE(linkSource(*book_, source, &error)) << error;
  EXPECT_EQ(delegate_->itemAddressBooks()->text().remove(QLatin1Char('&')), "Address Books…");
  delegate_->itemAddressBooks()->trigger();
  auto* window = delegate_->window()->findChild<AddressBooksWindow*>();
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  auto* list = window->findChild<QTreeWidget*>();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(3), "never");

  QSignalSpy changed(window, &AddressBooksWindow::storeChanged);
  window->syncNow();
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(storedCount(), 1u);
  EXPECT_TRUE(list->topLevelItem(0)->text(3).contains("1 added")) << list->topLevelItem(0)->text(3).toStdString();
  EXPECT_TRUE(delegate_->loadContactsViewController()->isVisibleTo(delegate_->window()));
}
