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
  ImportChoice askImportChoice(std::size_t there) override {
    asked.push_back(there);
    return choice;
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
    ASSERT_TRUE(folder.isValid());
    qputenv("XDG_DATA_HOME", folder.filePath("data").toUtf8());
    std::string error;
    book = ABAddressBook::open(folder.filePath("store.sqlite").toStdString(), &error);
    ASSERT_TRUE(book) << error;
    delegate = std::make_unique<AppDelegate>(*book);
    delegate->setAlerts(&alerts);
    delegate->applicationDidFinishLaunching();
  }

  QString writeFile(const QString& name, const char* text) {
    QFile file(folder.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
  }

  bool importAndWait(const QStringList& files) {
    QSignalSpy finished(delegate.get(), &AppDelegate::vCardImportFinished);
    delegate->importVCardFiles(files);
    return finished.wait(10000) && finished.takeFirst().at(0).toBool();
  }

  size_t storedCount() {
    std::string error;
    auto reopened = ABAddressBook::open(folder.filePath("store.sqlite").toStdString(), &error);
    return reopened ? reopened->count() : 0;
  }

  QTemporaryDir folder;
  std::unique_ptr<ABAddressBook> book;
  RecordingAlerts alerts;
  std::unique_ptr<AppDelegate> delegate;
};

}  // namespace

TEST_F(GettingContactsInTest, EmptyStoreOffersImportAndTheSample) {
  EXPECT_TRUE(delegate->browserArea()->isVisibleTo(delegate->window()));
  EXPECT_TRUE(delegate->browserArea()->importButton()->isVisibleTo(delegate->window()));
  EXPECT_TRUE(delegate->browserArea()->sampleButton()->isVisibleTo(delegate->window()));
  EXPECT_TRUE(delegate->browserArea()->statusText()->text().contains("empty"));
  EXPECT_FALSE(delegate->loadContactsViewController()->isVisibleTo(delegate->window()));
  EXPECT_EQ(delegate->itemImport()->text().remove(QLatin1Char('&')), "Import vCard Files…");
  EXPECT_EQ(delegate->itemSample()->text().remove(QLatin1Char('&')), "Open the Sample Address Book");
}

TEST_F(GettingContactsInTest, ImportSavesEveryContactAndReloadsTheBrowser) {
  ASSERT_TRUE(importAndWait({writeFile("two.vcf", kTwoCards)}));
  EXPECT_EQ(book->count(), 2u);
  EXPECT_EQ(storedCount(), 2u);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].first, "Import");
  EXPECT_EQ(alerts.shown[0].second, "Imported 2 contact(s) from \"two.vcf\".");
  EXPECT_FALSE(delegate->progressWindow()->isVisible());
  EXPECT_TRUE(delegate->scanButton()->isEnabled());
  EXPECT_FALSE(delegate->browserArea()->isVisibleTo(delegate->window()));
  EXPECT_TRUE(delegate->loadContactsViewController()->isVisibleTo(delegate->window()));
}

// Importing contacts already in the store (by their unique ids) asks whether to update them or add
// them as new ones, or to import nothing.
TEST_F(GettingContactsInTest, ImportOfContactsAlreadyThereAsksWhatToDo) {
  const char* const withUids =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nUID:ann-1\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Okafor;Bea;;;\r\nUID:bea-1\r\nEND:VCARD\r\n";
  const char* const changed = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee-Smith;Ann;;;\r\nUID:ann-1\r\nEND:VCARD\r\n";
  ASSERT_TRUE(importAndWait({writeFile("two.vcf", withUids)}));
  EXPECT_TRUE(alerts.asked.empty());

  alerts.choice = Alerts::ImportChoice::Update;
  ASSERT_TRUE(importAndWait({writeFile("changed.vcf", changed)}));
  ASSERT_EQ(alerts.asked, (std::vector<std::size_t>{1}));
  EXPECT_EQ(storedCount(), 2u);
  EXPECT_EQ(book->people()[0]->stringForProperty(kABLastNameProperty).value_or(""), "Lee-Smith");

  alerts.choice = Alerts::ImportChoice::Cancel;
  const size_t alertsBefore = alerts.shown.size();
  importAndWait({writeFile("two-again.vcf", withUids)});
  EXPECT_EQ(storedCount(), 2u);
  EXPECT_EQ(alerts.shown.size(), alertsBefore);  // the user chose: nothing to tell

  alerts.choice = Alerts::ImportChoice::AddAsNew;
  ASSERT_TRUE(importAndWait({writeFile("two-new.vcf", withUids)}));
  EXPECT_EQ(storedCount(), 4u);
}

TEST_F(GettingContactsInTest, OneBadFileImportsNothingAndSaysWhere) {
  const QString good = writeFile("two.vcf", kTwoCards);
  const QString bad = writeFile("broken.vcf", kBrokenCard);
  EXPECT_FALSE(importAndWait({good, bad}));
  EXPECT_EQ(book->count(), 0u);
  EXPECT_FALSE(book->hasUnsavedChanges());
  EXPECT_EQ(storedCount(), 0u);
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].first, "Warning");
  EXPECT_NE(alerts.shown[0].second.find("Nothing was imported"), std::string::npos);
  EXPECT_NE(alerts.shown[0].second.find("broken.vcf:"), std::string::npos) << alerts.shown[0].second;
  // Importing can be tried again; the store is still empty, so there is nothing to scan.
  EXPECT_TRUE(delegate->itemImport()->isEnabled());
  EXPECT_FALSE(delegate->scanButton()->isEnabled());
}

TEST_F(GettingContactsInTest, DroppedVCardFilesAreImportedOthersIgnored) {
  const QString card = writeFile("two.vcf", kTwoCards);
  const QString text = writeFile("notes.txt", "not a card");
  EXPECT_EQ(VCardImportController::vCardFilesOf({QUrl::fromLocalFile(text), QUrl("https://example.org/a.vcf")}),
            QStringList());

  QSignalSpy finished(delegate.get(), &AppDelegate::vCardImportFinished);
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(card)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(delegate->window(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(delegate->window(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  ASSERT_TRUE(finished.wait(10000));
  EXPECT_EQ(book->count(), 2u);
}

TEST_F(GettingContactsInTest, SampleOpensFreshInItsOwnWindowAndLeavesTheUsersStore) {
  delegate->browserArea()->sampleButton()->click();
  AppDelegate* sample = delegate->sampleDelegate();
  ASSERT_NE(sample, nullptr) << (alerts.shown.empty() ? "" : alerts.shown.back().second);
  EXPECT_TRUE(sample->window()->isVisible());
  EXPECT_EQ(sample->window()->windowTitle(), "Sample Address Book");
  EXPECT_FALSE(sample->itemSample()->isEnabled());
  EXPECT_EQ(book->count(), 0u);

  std::string error;
  auto sampleStore = ABAddressBook::open(SampleAddressBook::storePath().toStdString(), &error);
  ASSERT_TRUE(sampleStore) << error;
  const size_t planted = sampleStore->count();
  EXPECT_GT(planted, 13u);
  sampleStore.reset();

  // Asked again while it is open, the same window comes forward.
  delegate->openSampleAddressBook();
  EXPECT_EQ(delegate->sampleDelegate(), sample);

  // A change to the sample, then closing it: the next opening starts from the planted contacts again.
  sampleStore = ABAddressBook::open(SampleAddressBook::storePath().toStdString(), &error);
  ASSERT_TRUE(sampleStore);
  ASSERT_TRUE(sampleStore->removeRecord(sampleStore->people().front()));
  ASSERT_TRUE(sampleStore->save());
  sampleStore.reset();
  sample->window()->close();
  delegate->openSampleAddressBook();
  ASSERT_NE(delegate->sampleDelegate(), nullptr);
  sampleStore = ABAddressBook::open(SampleAddressBook::storePath().toStdString(), &error);
  ASSERT_TRUE(sampleStore);
  EXPECT_EQ(sampleStore->count(), planted);
  delegate->sampleDelegate()->window()->close();
}

TEST_F(GettingContactsInTest, SampleWithoutItsFileIsRefusedAndTheEarlierOneKept) {
  QString error;
  const QString store = folder.filePath("sample.sqlite");
  auto made = SampleAddressBook::createFresh(writeFile("two.vcf", kTwoCards), store, &error);
  ASSERT_TRUE(made) << error.toStdString();
  EXPECT_EQ(made->count(), 2u);
  made.reset();

  EXPECT_FALSE(SampleAddressBook::createFresh(folder.filePath("missing.vcf"), store, &error));
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
  QDir(folder.path()).mkdir("vdir");
  writeFile("vdir/ann.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEND:VCARD\r\n");
  SyncSource source;
  source.name = "Phone";
  source.location = folder.filePath("vdir").toStdString();
  std::string error;
  ASSERT_TRUE(linkSource(*book, source, &error)) << error;
  EXPECT_EQ(delegate->itemAddressBooks()->text().remove(QLatin1Char('&')), "Address Books…");
  delegate->itemAddressBooks()->trigger();
  auto* window = delegate->window()->findChild<AddressBooksWindow*>();
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
  EXPECT_TRUE(delegate->loadContactsViewController()->isVisibleTo(delegate->window()));
}
