// Two-way sync of the store with a vdir folder: every case of change, deletion and conflict on
// either side, and a sync cut short that the next one finishes.
#include <gtest/gtest.h>

#include "../../support/ProgramRun.h"
#include "../addressbook/TestStorePath.h"
#include "SyncTestSupport.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/sync/SyncEngine.h"
#include "platform/sync/SyncRun.h"
#include "platform/sync/VdirCollection.h"

#include <nlohmann/json.hpp>
#include "tests/support/TestPaths.h"

namespace {

class VdirSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vdir_ = folder_.path() / "contacts";
    std::filesystem::create_directories(vdir_);
    storePath_ = folder_.file("store.sqlite");
    book_ = ABAddressBook::open(storePath_);
    ASSERT_TRUE(book_);
    state_ = SyncState::open(storePath_, nullptr);
    ASSERT_TRUE(state_);
    SyncSource source;
    source.name = "home";
    source.location = vdir_.string();
    ASSERT_TRUE(state_->addSource(source, nullptr));
  }

  SyncReport sync() {
    SyncReport report;
    auto source = state_->source("home", nullptr);
    VdirCollection collection(vdir_);
    SyncEngine engine(*book_, *state_);
    std::string error;
    EXPECT_TRUE(engine.sync(*source, true, collection, report, &error)) << error;
    return report;
  }

  // The store as another process sees it.
  std::unique_ptr<ABAddressBook> reopened() { return ABAddressBook::open(storePath_); }

  TempFolder folder_;
  std::filesystem::path vdir_;
  std::filesystem::path storePath_;
  std::unique_ptr<ABAddressBook> book_;
  std::unique_ptr<SyncState> state_;
};

TEST_F(VdirSyncTest, FirstSyncBringsEveryCardAndLeavesOtherFilesAlone) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee", "EMAIL;TYPE=HOME:ann@example.com\r\n"));
  writeFile(vdir_ / "bob.vcf", card("bob", "Bob", "Ray"));
  writeFile(vdir_ / "notes.txt", "not a card");
  SyncReport report = sync();
  EXPECT_EQ(report.addedToStore, 2);
  EXPECT_EQ(firstName(*reopened(), "ann"), "Ann");
  EXPECT_EQ(firstName(*reopened(), "bob"), "Bob");
  EXPECT_EQ(readFile(vdir_ / "notes.txt"), "not a card");

  // Nothing changed: nothing done on either side.
  std::string before = readFile(vdir_ / "ann.vcf");
  report = sync();
  EXPECT_EQ(report.summary(),
            "home: 0 added, 0 changed, 0 deleted in the store; 0 added, 0 changed, 0 deleted in the source");
  EXPECT_EQ(readFile(vdir_ / "ann.vcf"), before);
}

// What a sync changes in the store is one change set of the history, saying what it did.
TEST_F(VdirSyncTest, ASyncIsRecordedAsOneChangeSet) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  writeFile(vdir_ / "bob.vcf", card("bob", "Bob", "Ray"));
  sync();
  writeFile(vdir_ / "bob.vcf", card("bob", "Robert", "Ray"));
  sync();
  std::vector<ABChangeSet> changes;
  ASSERT_TRUE(reopened()->changeHistory(changes));
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].description, "Synced with home: 1 contact changed");
  EXPECT_EQ(changes[1].description, "Synced with home: 2 contacts added");
  EXPECT_EQ(changes[1].persons, 2);
}

TEST_F(VdirSyncTest, ChangesOnEitherSideReachTheOther) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  writeFile(vdir_ / "bob.vcf", card("bob", "Bob", "Ray"));
  sync();

  setNote(*book_, "ann", "met in Berlin");
  writeFile(vdir_ / "bob.vcf", card("bob", "Robert", "Ray"));
  SyncReport report = sync();
  EXPECT_EQ(report.changedInSource, 1);
  EXPECT_EQ(report.changedInStore, 1);
  EXPECT_TRUE(report.conflicts.empty());
  EXPECT_NE(readFile(vdir_ / "ann.vcf").find("NOTE:met in Berlin"), std::string::npos);
  EXPECT_NE(readFile(vdir_ / "ann.vcf").find("UID:ann"), std::string::npos);
  EXPECT_EQ(firstName(*reopened(), "bob"), "Robert");
}

TEST_F(VdirSyncTest, ACardChangedInTheStoreGoesBackWithAllItSaidBeyondTheStoresValues) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee",
                                    "TEL;TYPE=CELL,VOICE;PREF=1:+1 555 0100\r\nROLE:Captain\r\n"
                                    "item1.X-ABDATE:2000-01-01\r\nitem1.X-ABLabel:Wedding\r\n"
                                    "X-CUSTOM;X-P=v:kept\\, as read\r\n"));
  sync();
  // Unchanged in the store: a second sync writes nothing back.
  EXPECT_EQ(sync().changedInSource, 0);

  setNote(*book_, "ann", "met in Berlin");
  EXPECT_EQ(sync().changedInSource, 1);
  const std::string back = readFile(vdir_ / "ann.vcf");
  EXPECT_NE(back.find("NOTE:met in Berlin"), std::string::npos) << back;
  EXPECT_NE(back.find("TEL;TYPE=CELL,VOICE;PREF=1:+1 555 0100\r\n"), std::string::npos) << back;
  EXPECT_NE(back.find("ROLE:Captain\r\n"), std::string::npos) << back;
  EXPECT_NE(back.find(".X-ABDATE:2000-01-01\r\n"), std::string::npos) << back;
  EXPECT_NE(back.find(".X-ABLabel:Wedding\r\n"), std::string::npos) << back;
  EXPECT_NE(back.find("X-CUSTOM;X-P=v:kept\\, as read\r\n"), std::string::npos) << back;
  // And what went out is what the store holds: the next sync finds nothing to do.
  SyncReport report = sync();
  EXPECT_EQ(report.changedInSource + report.changedInStore, 0) << report.summary();
}

TEST_F(VdirSyncTest, DeletionsOnEitherSideReachTheOther) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  writeFile(vdir_ / "bob.vcf", card("bob", "Bob", "Ray"));
  sync();

  ASSERT_TRUE(book_->removeRecord(book_->recordForUniqueId("ann")));
  ASSERT_TRUE(book_->save());
  std::filesystem::remove(vdir_ / "bob.vcf");
  SyncReport report = sync();
  EXPECT_EQ(report.removedFromSource, 1);
  EXPECT_EQ(report.removedFromStore, 1);
  EXPECT_FALSE(std::filesystem::exists(vdir_ / "ann.vcf"));
  EXPECT_EQ(reopened()->count(), 0u);
  // Bob, deleted in the folder, left the store; his card is kept beside the store.
  ASSERT_EQ(report.kept.size(), 1u);
  EXPECT_NE(readFile(folder_.path() / "Kept by sync" / "home" / "bob.vcf").find("N:Ray;Bob"), std::string::npos);
}

TEST_F(VdirSyncTest, ChangedOnBothSidesKeepsTheSourceVersionAndSaysSo) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  sync();
  setNote(*book_, "ann", "store note");
  writeFile(vdir_ / "ann.vcf", card("ann", "Anne", "Lee"));
  SyncReport report = sync();
  ASSERT_EQ(report.conflicts.size(), 1u);
  EXPECT_NE(report.conflicts[0].find("Ann Lee"), std::string::npos) << report.conflicts[0];
  EXPECT_EQ(firstName(*reopened(), "ann"), "Anne");
  EXPECT_EQ(readFile(vdir_ / "ann.vcf"), card("ann", "Anne", "Lee"));
  // The store's version is not lost: it is kept as a card beside the store, and the line says where.
  auto kept = folder_.path() / "Kept by sync" / "home" / "ann.vcf";
  EXPECT_NE(report.conflicts[0].find(kept.string()), std::string::npos) << report.conflicts[0];
  EXPECT_NE(readFile(kept).find("NOTE:store note"), std::string::npos);
}

TEST_F(VdirSyncTest, DeletedOnOneSideAndChangedOnTheOtherIsKeptWithTheChange) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  writeFile(vdir_ / "bob.vcf", card("bob", "Bob", "Ray"));
  sync();
  // Ann: changed in the store, deleted in the folder. Bob: deleted in the store, changed in the folder.
  setNote(*book_, "ann", "still a friend");
  std::filesystem::remove(vdir_ / "ann.vcf");
  ASSERT_TRUE(book_->removeRecord(book_->recordForUniqueId("bob")));
  ASSERT_TRUE(book_->save());
  writeFile(vdir_ / "bob.vcf", card("bob", "Bobby", "Ray"));

  sync();
  ASSERT_TRUE(std::filesystem::exists(vdir_ / "ann.vcf"));
  EXPECT_NE(readFile(vdir_ / "ann.vcf").find("still a friend"), std::string::npos);
  EXPECT_EQ(firstName(*reopened(), "bob"), "Bobby");
  EXPECT_EQ(firstName(*reopened(), "ann"), "Ann");
}

TEST_F(VdirSyncTest, NewContactsGoToTheSourceButImportedOnesStayLocal) {
  // Imported before the source was linked, or imported without naming a source: stays local.
  auto imported = std::make_shared<ABPerson>();
  imported->setValueForProperty(ABValue(std::string("Imported")), kABFirstNameProperty);
  ASSERT_TRUE(book_->addRecord(imported));
  ASSERT_TRUE(book_->save());
  ASSERT_TRUE(state_->setDestinations({imported->uniqueId()}, "", nullptr));
  // A contact made in the store since (a merged contact, say) goes to the source.
  auto merged = std::make_shared<ABPerson>();
  merged->setValueForProperty(ABValue(std::string("Merged")), kABFirstNameProperty);
  ASSERT_TRUE(book_->addRecord(merged));
  ASSERT_TRUE(book_->save());

  SyncReport report = sync();
  EXPECT_EQ(report.addedToSource, 1);
  std::string file = merged->uniqueId() + ".vcf";
  ASSERT_TRUE(std::filesystem::exists(vdir_ / file)) << file;
  EXPECT_NE(readFile(vdir_ / file).find("UID:" + merged->uniqueId()), std::string::npos);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(vdir_), {}), 1);
  // Written once: the next sync finds nothing to do.
  EXPECT_EQ(sync().addedToSource, 0);
}

TEST_F(VdirSyncTest, ASyncCutShortIsFinishedWithoutDoublingAContact) {
  auto person = std::make_shared<ABPerson>();
  person->setValueForProperty(ABValue(std::string("Cara")), kABFirstNameProperty);
  ASSERT_TRUE(book_->addRecord(person));
  ASSERT_TRUE(book_->save());
  sync();
  // As if the sync had been killed after writing the card and before remembering it.
  ASSERT_TRUE(state_->updateItems("home", {}, {person->uniqueId() + ".vcf"}, nullptr));
  SyncReport report = sync();
  EXPECT_EQ(report.addedToStore, 0);
  EXPECT_EQ(report.addedToSource, 0);
  EXPECT_EQ(reopened()->count(), 1u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(vdir_), {}), 1);
  // And it is linked again: a change goes out.
  setNote(*book_, person->uniqueId(), "linked");
  EXPECT_EQ(sync().changedInSource, 1);
}

TEST_F(VdirSyncTest, AnUnreadableCardIsReportedAndLeftAlone) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  writeFile(vdir_ / "broken.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Broken\r\n");
  SyncReport report = sync();
  EXPECT_EQ(report.addedToStore, 1);
  ASSERT_EQ(report.errors.size(), 1u);
  EXPECT_NE(report.errors[0].find("broken.vcf"), std::string::npos) << report.errors[0];
  EXPECT_EQ(readFile(vdir_ / "broken.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Broken\r\n");
}

TEST_F(VdirSyncTest, AWriteOverAFileChangedSinceItWasReadIsRefused) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  VdirCollection collection(vdir_);
  std::map<std::string, std::string> etags;
  ASSERT_TRUE(collection.list(etags, nullptr));
  std::string seen = etags["ann.vcf"];
  writeFile(vdir_ / "ann.tmp", card("ann", "Anne", "Lee"));
  std::filesystem::rename(vdir_ / "ann.tmp", vdir_ / "ann.vcf");  // another program's write
  std::string newEtag;
  EXPECT_EQ(collection.put("ann.vcf", card("ann", "Mine", "Lee"), seen, newEtag, nullptr),
            CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(collection.remove("ann.vcf", seen, nullptr), CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(collection.put("ann.vcf", card("ann", "Mine", "Lee"), "", newEtag, nullptr),
            CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(readFile(vdir_ / "ann.vcf"), card("ann", "Anne", "Lee"));
  EXPECT_EQ(collection.put("../escape.vcf", "x", "", newEtag, nullptr), CardCollection::WriteStatus::Failed);
}

}  // namespace

namespace {

TEST(SyncCommandTest, ImportedContactsStayLocalUnlessImportNamesTheSource) {
  TempFolder folder;
  auto vdir = folder.path() / "contacts";
  std::filesystem::create_directories(vdir);
  std::string store = folder.file("store.sqlite").string();
  auto rolvane = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store});
    return runProgram(ROLVANE_PROGRAM, args);
  };
  writeFile(folder.file("old.vcf"), card("old", "Old", "Friend"));
  writeFile(folder.file("later.vcf"), card("later", "Later", "Import"));
  writeFile(folder.file("shared.vcf"), card("shared", "Shared", "Contact"));
  ASSERT_EQ(rolvane({"import", folder.file("old.vcf").string()}).status, 0);
  ProgramRun run = rolvane({"source", "add", "home", "--vdir", vdir.string()});
  ASSERT_EQ(run.status, 0) << run.out;
  ASSERT_EQ(rolvane({"import", folder.file("later.vcf").string()}).status, 0);
  run = rolvane({"import", "--to", "nowhere", folder.file("shared.vcf").string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("nowhere"), std::string::npos) << run.out;
  ASSERT_EQ(rolvane({"import", "--to", "home", folder.file("shared.vcf").string()}).status, 0);

  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "home: 0 added, 0 changed, 0 deleted in the store; 1 added, 0 changed, 0 deleted in the source\n");
  EXPECT_TRUE(std::filesystem::exists(vdir / "shared.vcf"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(vdir), {}), 1);

  run = rolvane({"source", "list", "--json"});
  auto list = nlohmann::json::parse(run.out);
  EXPECT_EQ(list[0]["name"], "home");
  EXPECT_EQ(list[0]["contacts"], 1);
  run = rolvane({"source", "remove", "home"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(rolvane({"sync"}).status, 1);
  run = rolvane({"scan", "--json"});
  EXPECT_TRUE(std::filesystem::exists(vdir / "shared.vcf"));
}

}  // namespace

namespace {

// Two linked folders; the same person twice in the second. Merged, the contact goes back to the
// second folder, where its members lived, and not to the first, where new contacts go.
TEST(SyncCommandTest, AMergedContactGoesWhereItsFirstMemberLived) {
  TempFolder folder;
  auto home = folder.path() / "home", work = folder.path() / "work";
  std::filesystem::create_directories(home);
  std::filesystem::create_directories(work);
  std::string store = folder.file("store.sqlite").string();
  auto rolvane = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store});
    return runProgram(ROLVANE_PROGRAM, args);
  };
  writeFile(home / "bob.vcf", card("bob", "Bob", "Ray"));
  writeFile(work / "ann1.vcf", card("ann-1", "Ann", "Lee", "EMAIL;TYPE=WORK:ann@work.example\r\n"));
  writeFile(work / "ann2.vcf", card("ann-2", "Ann", "Lee", "TEL;TYPE=CELL:+49 30 1234567\r\n"));
  ASSERT_EQ(rolvane({"source", "add", "home", "--vdir", home.string()}).status, 0);
  ASSERT_EQ(rolvane({"source", "add", "work", "--vdir", work.string()}).status, 0);
  ProgramRun run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;

  run = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home), {}), 1) << run.out;
  ASSERT_EQ(std::distance(std::filesystem::directory_iterator(work), {}), 1) << run.out;
  const std::string merged = readFile(std::filesystem::directory_iterator(work)->path());
  EXPECT_NE(merged.find("ann@work.example"), std::string::npos) << merged;
  EXPECT_NE(merged.find("1234567"), std::string::npos) << merged;
}

}  // namespace

namespace {

// Undoing the change set of a sync takes its contacts out of the store, but nobody deleted them:
// the next sync leaves their cards in the source and brings them back; a contact the user deletes
// is still deleted there.
TEST_F(VdirSyncTest, UndoingASyncDeletesNothingInTheSource) {
  writeFile(vdir_ / "ann.vcf", card("ann", "Ann", "Lee"));
  writeFile(vdir_ / "bob.vcf", card("bob", "Bob", "Ray"));
  sync();
  {
    auto other = reopened();
    ASSERT_TRUE(other->undo(0, false)) << "the sync's change set is the newest";
  }
  ASSERT_TRUE(book_->refresh(nullptr, nullptr));
  ASSERT_EQ(book_->count(), 0u);

  SyncReport report = sync();
  EXPECT_EQ(report.removedFromSource, 0);
  EXPECT_TRUE(std::filesystem::exists(vdir_ / "ann.vcf"));
  EXPECT_TRUE(std::filesystem::exists(vdir_ / "bob.vcf"));
  report = sync();
  EXPECT_EQ(report.addedToStore, 2);
  EXPECT_EQ(firstName(*reopened(), "ann"), "Ann");

  ASSERT_TRUE(book_->removeRecord(book_->recordForUniqueId("bob")));
  ASSERT_TRUE(book_->save());
  EXPECT_EQ(sync().removedFromSource, 1);
  EXPECT_FALSE(std::filesystem::exists(vdir_ / "bob.vcf"));
}

}  // namespace
