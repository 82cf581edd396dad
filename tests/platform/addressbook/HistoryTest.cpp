#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <tuple>

#include "TestStorePath.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"

namespace {

ABPersonRef personNamed(const std::string& first, const std::string& last = {}) {
  auto person = ABPerson::create();
  person->setValueForProperty(first, kABFirstNameProperty);
  if (!last.empty()) person->setValueForProperty(last, kABLastNameProperty);
  return person;
}

// Every person row of the file, in store order: unique id, position, encoded values.
using Rows = std::vector<std::tuple<std::string, std::int64_t, std::string>>;

Rows fileRows(const std::filesystem::path& path) {
  Rows rows;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT uid, ord, data FROM persons ORDER BY ord, id", -1, &stmt, nullptr),
            SQLITE_OK);
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, 2));
    rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), sqlite3_column_int64(stmt, 1),
                      std::string(data ? data : "", sqlite3_column_bytes(stmt, 2)));
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

// What the book itself holds, person by person, in store order.
std::vector<std::pair<std::string, ABPersonData>> bookState(const ABAddressBook& book) {
  std::vector<std::pair<std::string, ABPersonData>> state;
  for (const auto& person : book.people()) state.emplace_back(person->uniqueId(), *person->snapshot());
  return state;
}

std::vector<ABChangeSet> history(const ABAddressBook& book) {
  std::vector<ABChangeSet> changes;
  EXPECT_TRUE(book.changeHistory(changes));
  return changes;
}

std::vector<std::string> trashUids(const ABAddressBook& book) {
  std::vector<ABTrashEntry> entries;
  EXPECT_TRUE(book.trash(entries));
  std::vector<std::string> uids;
  for (const auto& entry : entries) uids.push_back(entry.person->uniqueId());
  return uids;
}

struct Store {
  TempFolder folder;
  std::filesystem::path path = folder.file("book.sqlite");
  std::unique_ptr<ABAddressBook> book = ABAddressBook::open(path);
};

std::int64_t fixedTime = 0;
std::int64_t fixedClock() {
  return fixedTime;
}

}  // namespace

TEST(HistoryTest, EverySaveIsOneChangeSetWithItsDescription) {
  Store store;
  auto& book = *store.book;
  for (const char* name : {"Ann", "Bea"}) book.addRecord(personNamed(name, "Lee"));
  ASSERT_TRUE(book.save());
  book.setNextChangeDescription("Removed the suffix of Ann Lee");
  book.people()[0]->setValueForProperty(std::string("x"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  EXPECT_TRUE(book.save()) << "a save without changes";
  book.removeRecord(book.people()[1]);
  book.people()[0]->setValueForProperty(std::string("y"), kABNoteProperty);
  book.addRecord(personNamed("Cid"));
  ASSERT_TRUE(book.save());

  auto changes = history(book);
  ASSERT_EQ(changes.size(), 3u) << "a save that changed nothing records nothing";
  EXPECT_EQ(changes[0].description, "Added 1 contact, changed 1 contact and removed 1 contact");
  EXPECT_EQ(changes[0].persons, 3);
  EXPECT_EQ(changes[1].description, "Removed the suffix of Ann Lee");
  EXPECT_EQ(changes[1].persons, 1);
  EXPECT_EQ(changes[2].description, "Added 2 contacts");
  EXPECT_GT(changes[0].id, changes[1].id);
  EXPECT_FALSE(changes[0].undone);
  EXPECT_NEAR(static_cast<double>(changes[0].time), static_cast<double>(ABAddressBook::now()), 5.0);
  EXPECT_EQ(book.lastChangeId(), changes[0].id);
}

// Undo brings back the file's rows byte for byte (same unique ids, positions and values), and
// redo the rows after the change, for additions, changes, removals and a merge.
TEST(HistoryTest, UndoAndRedoGiveBackExactlyTheRowsBeforeAndAfter) {
  Store store;
  auto& book = *store.book;
  for (const char* name : {"Ann", "Bea", "Cid", "Dot", "Eve"}) {
    auto person = personNamed(name, "Lee");
    ABMultiValue emails;
    emails.addValueWithLabel(std::string(name) + "@x.org", kABHomeLabel);
    person->setValueForProperty(emails, kABEmailProperty);
    book.addRecord(person);
  }
  ASSERT_TRUE(book.save());
  std::vector<Rows> states{fileRows(store.path)};
  std::vector<std::vector<std::pair<std::string, ABPersonData>>> held{bookState(book)};

  // change
  book.people()[1]->setValueForProperty(std::string("Beatrice"), kABFirstNameProperty);
  book.people()[1]->removeValueForProperty(kABEmailProperty);
  ASSERT_TRUE(book.save());
  states.push_back(fileRows(store.path));
  held.push_back(bookState(book));
  // removal from the middle
  book.removeRecord(book.people()[2]);
  ASSERT_TRUE(book.save());
  states.push_back(fileRows(store.path));
  held.push_back(bookState(book));
  // merge: two removed, one added
  auto people = book.people();
  auto merged = personNamed("Ann", "Lee-Dot");
  book.removeRecord(people[0]);
  book.removeRecord(people[2]);
  book.addRecord(merged);
  book.setNextChangeDescription("Merged 2 contacts into Ann Lee-Dot");
  ASSERT_TRUE(book.save());
  states.push_back(fileRows(store.path));
  held.push_back(bookState(book));

  for (int i = 3; i >= 1; --i) {
    std::vector<ABChangeSet> undone;
    std::string error;
    ASSERT_TRUE(book.undo(0, false, &undone, &error)) << error;
    ASSERT_EQ(undone.size(), 1u);
    EXPECT_EQ(fileRows(store.path), states[i - 1]) << "undo of change " << i;
    EXPECT_EQ(bookState(book), held[i - 1]) << "the book reloads what undo wrote";
  }
  for (int i = 1; i <= 3; ++i) {
    ABChangeSet redone;
    std::string error;
    ASSERT_TRUE(book.redo(&redone, &error)) << error;
    EXPECT_EQ(fileRows(store.path), states[i]) << "redo of change " << i;
    EXPECT_EQ(bookState(book), held[i]);
  }
  std::string error;
  EXPECT_FALSE(book.redo(nullptr, &error));
  EXPECT_EQ(error, "there is nothing to redo");

  // A store opened afresh sees the same.
  auto again = ABAddressBook::open(store.path);
  EXPECT_EQ(bookState(*again), held[3]);
}

TEST(HistoryTest, UndoOfTheFirstChangeRemovesWhatItAddedAndUndoToGoesBackInOneStep) {
  Store store;
  auto& book = *store.book;
  book.addRecord(personNamed("Ann"));
  ASSERT_TRUE(book.save());
  auto afterFirst = fileRows(store.path);
  auto first = history(book)[0].id;
  for (int i = 0; i < 3; ++i) {
    book.people()[0]->setValueForProperty("note " + std::to_string(i), kABNoteProperty);
    book.addRecord(personNamed("N" + std::to_string(i)));
    ASSERT_TRUE(book.save());
  }
  std::vector<ABChangeSet> undone;
  std::string error;
  ASSERT_TRUE(book.undo(first + 1, true, &undone, &error)) << error;
  ASSERT_EQ(undone.size(), 3u);
  EXPECT_GT(undone[0].id, undone[2].id) << "newest first";
  EXPECT_EQ(fileRows(store.path), afterFirst);
  ASSERT_TRUE(book.undo(0, false, nullptr, &error)) << error;
  EXPECT_TRUE(fileRows(store.path).empty());
  EXPECT_EQ(book.count(), 0u);
  EXPECT_TRUE(trashUids(book).empty()) << "undoing an addition does not fill the trash";
  EXPECT_FALSE(book.undo(0, false, nullptr, &error));
  EXPECT_EQ(error, "there is nothing to undo");
  // redo in the order of the changes
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(book.redo(nullptr, &error)) << error;
  ASSERT_EQ(book.count(), 4u);
  EXPECT_EQ(book.people()[0]->stringForProperty(kABNoteProperty), "note 2");
}

TEST(HistoryTest, AChangeWhosePersonsChangedLaterCannotBeUndoneAlone) {
  Store store;
  auto& book = *store.book;
  book.addRecord(personNamed("Ann"));
  book.addRecord(personNamed("Bea"));
  ASSERT_TRUE(book.save());
  book.setNextChangeDescription("Removed the suffix of Ann");
  book.people()[0]->setValueForProperty(std::string("Jr."), kABSuffixProperty);
  ASSERT_TRUE(book.save());
  auto suffixChange = book.lastChangeId();
  book.setNextChangeDescription("Changed the note of Bea");
  book.people()[1]->setValueForProperty(std::string("other person"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  book.setNextChangeDescription("Merged 2 contacts into Ann");
  book.people()[0]->setValueForProperty(std::string("merged"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  auto mergeChange = book.lastChangeId();
  auto before = fileRows(store.path);

  std::string error;
  EXPECT_FALSE(book.undo(suffixChange, false, nullptr, &error));
  EXPECT_NE(error.find("the later change " + std::to_string(mergeChange) + " \u201CMerged 2 contacts into Ann\u201D"),
            std::string::npos)
      << error;
  EXPECT_EQ(fileRows(store.path), before) << "nothing changed";
  EXPECT_FALSE(history(book)[2].undone);

  // A later change of other persons is not in the way; once the merge is undone, neither is it.
  ASSERT_TRUE(book.undo(mergeChange, false, nullptr, &error)) << error;
  ASSERT_TRUE(book.undo(suffixChange, false, nullptr, &error)) << error;
  EXPECT_FALSE(book.people()[0]->stringForProperty(kABSuffixProperty));
  EXPECT_EQ(book.people()[1]->stringForProperty(kABNoteProperty), "other person");

  // Redo takes the one undone last; a new change to its person then stands in the way of the other.
  ASSERT_TRUE(book.redo(nullptr, &error)) << error;
  EXPECT_EQ(book.people()[0]->stringForProperty(kABSuffixProperty), "Jr.");
  book.people()[0]->setValueForProperty(std::string("new"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  EXPECT_FALSE(book.redo(nullptr, &error));
  EXPECT_NE(error.find("cannot redo \u201CMerged 2 contacts into Ann\u201D"), std::string::npos) << error;
  EXPECT_EQ(book.people()[0]->stringForProperty(kABNoteProperty), "new");
}

TEST(HistoryTest, UndoIsRefusedWhileChangesArePending) {
  Store store;
  auto& book = *store.book;
  book.addRecord(personNamed("Ann"));
  ASSERT_TRUE(book.save());
  book.people()[0]->setValueForProperty(std::string("pending"), kABNoteProperty);
  std::string error;
  EXPECT_FALSE(book.undo(0, false, nullptr, &error));
  EXPECT_EQ(book.people()[0]->stringForProperty(kABNoteProperty), "pending");
  EXPECT_EQ(book.count(), 1u);
}

TEST(HistoryTest, RemovedPersonsGoToTheTrashAndComeBackUnderTheirIdsInTheirPlace) {
  Store store;
  auto& book = *store.book;
  for (const char* name : {"Ann", "Bea", "Cid"}) book.addRecord(personNamed(name));
  auto photo = ABBytes{0x89, 'P', 'N', 'G', 0, 1};
  book.people()[1]->setImageData(photo);
  ASSERT_TRUE(book.save());
  auto full = fileRows(store.path);
  std::string bea = book.people()[1]->uniqueId();
  book.setNextChangeDescription("Deleted Bea");
  book.removeRecord(book.people()[1]);
  ASSERT_TRUE(book.save());
  auto deletion = book.lastChangeId();

  std::vector<ABTrashEntry> entries;
  ASSERT_TRUE(book.trash(entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].person->uniqueId(), bea);
  EXPECT_EQ(entries[0].person->stringForProperty(kABFirstNameProperty), "Bea");
  EXPECT_EQ(entries[0].person->imageData(), photo);
  EXPECT_EQ(entries[0].changeId, deletion);

  std::string error;
  EXPECT_FALSE(book.restoreFromTrash({"no-such-uid"}, "Restored", &error));
  EXPECT_NE(error.find("no-such-uid"), std::string::npos);
  ASSERT_TRUE(book.restoreFromTrash({bea}, "Restored Bea from the trash", &error)) << error;
  EXPECT_EQ(fileRows(store.path), full) << "back under its unique id, in its place, with its picture";
  EXPECT_TRUE(trashUids(book).empty());
  EXPECT_EQ(history(book)[0].description, "Restored Bea from the trash");

  // Undoing the restore puts it in the trash again; undoing the deletion too takes it out for good.
  ASSERT_TRUE(book.undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(trashUids(book), std::vector<std::string>{bea});
  ASSERT_TRUE(book.undo(0, false, nullptr, &error)) << error;
  EXPECT_TRUE(trashUids(book).empty());
  EXPECT_EQ(fileRows(store.path), full);
  // Redo of the deletion fills the trash again.
  ASSERT_TRUE(book.redo(nullptr, &error)) << error;
  EXPECT_EQ(trashUids(book), std::vector<std::string>{bea});
}

TEST(HistoryTest, EmptyingTheTrashForgetsItsPersonsAndTheHistoryThatHeldThem) {
  Store store;
  auto& book = *store.book;
  for (const char* name : {"Ann", "Bea", "Cid"}) book.addRecord(personNamed(name));
  ASSERT_TRUE(book.save());
  book.removeRecord(book.people()[0]);
  ASSERT_TRUE(book.save());
  book.people()[0]->setValueForProperty(std::string("later"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  std::int64_t emptied = 0;
  ASSERT_TRUE(book.emptyTrash(&emptied));
  EXPECT_EQ(emptied, 1);
  EXPECT_TRUE(trashUids(book).empty());
  auto changes = history(book);
  ASSERT_EQ(changes.size(), 1u) << "only the change after the deletion is left";
  std::string error;
  ASSERT_TRUE(book.undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(book.count(), 2u);
  EXPECT_FALSE(book.undo(0, false, nullptr, &error));
}

TEST(HistoryTest, HistoryAndTrashOlderThanThirtyDaysGoAtTheNextStart) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  const std::int64_t day = 24 * 60 * 60;
  std::string bea;
  fixedTime = ABAddressBook::now() - 40 * day;
  ABAddressBook::setClockForTesting(fixedClock);
  {
    auto book = ABAddressBook::open(path);
    for (const char* name : {"Ann", "Bea", "Cid"}) book->addRecord(personNamed(name));
    ASSERT_TRUE(book->save());
    bea = book->people()[1]->uniqueId();
    book->removeRecord(book->people()[1]);
    ASSERT_TRUE(book->save());
    fixedTime += 20 * day;  // 20 days ago: stays
    book->removeRecord(book->people()[0]);
    ASSERT_TRUE(book->save());
    ASSERT_EQ(trashUids(*book).size(), 2u);
  }
  ABAddressBook::setClockForTesting(nullptr);
  auto book = ABAddressBook::open(path);
  auto changes = history(*book);
  ASSERT_EQ(changes.size(), 1u);
  auto trash = trashUids(*book);
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_NE(trash[0], bea);
  EXPECT_EQ(book->count(), 1u) << "expiry changes no person";
}

TEST(HistoryTest, MarksAreChangeSetsThatUndoTakesBack) {
  Store store;
  auto& book = *store.book;
  book.addRecord(personNamed("Ann", "Lee"));
  book.addRecord(personNamed("Ann", "Lee"));
  ASSERT_TRUE(book.save());
  std::vector<std::string> uids{book.people()[1]->uniqueId(), book.people()[0]->uniqueId()};
  std::string error;
  ASSERT_TRUE(book.addMark("distinct", uids, "", "Marked Ann Lee and Ann Lee as different people", &error)) << error;
  ASSERT_TRUE(book.addMark("keep", {uids[0]}, "+1 555", "Kept", &error)) << error;
  std::vector<ABMark> marks;
  ASSERT_TRUE(book.marks("distinct", marks));
  ASSERT_EQ(marks.size(), 1u);
  std::sort(uids.begin(), uids.end());
  EXPECT_EQ(marks[0].uids, uids);
  marks.clear();
  ASSERT_TRUE(book.marks("keep", marks));
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0].value, "+1 555");
  EXPECT_EQ(history(book)[1].description, "Marked Ann Lee and Ann Lee as different people");
  EXPECT_EQ(history(book)[1].persons, 2);

  ASSERT_TRUE(book.undo(0, false, nullptr, &error));
  ASSERT_TRUE(book.undo(0, false, nullptr, &error));
  marks.clear();
  ASSERT_TRUE(book.marks("distinct", marks));
  EXPECT_TRUE(marks.empty());
  ASSERT_TRUE(book.redo(nullptr, &error));
  ASSERT_TRUE(book.marks("distinct", marks));
  EXPECT_EQ(marks.size(), 1u);
}

TEST(HistoryTest, AStoreOfTheFirstFormatGetsAHistory) {
  TempFolder folder;
  auto path = folder.file("old.sqlite");
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "CREATE TABLE persons(id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, ord INTEGER NOT NULL,"
                     " data BLOB NOT NULL); PRAGMA application_id=1383033974; PRAGMA user_version=1;",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
  }
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  book->addRecord(personNamed("Ann"));
  ASSERT_TRUE(book->save());
  EXPECT_EQ(history(*book).size(), 1u);
}

// A process killed at any moment of a recorded save leaves the change and its change set both in
// the file or both out of it.
TEST(HistoryTest, KillDuringARecordedChangeLeavesBothOrNeither) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  {
    auto book = ABAddressBook::open(path);
    for (int i = 0; i < 500; ++i) book->addRecord(personNamed("P" + std::to_string(i), "Lee"));
    ASSERT_TRUE(book->save());
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto book = ABAddressBook::open(path);
      if (!book) _exit(3);
      for (int round = 0;; ++round) {
        // A merge of two persons into a new one, and a change of every other one.
        auto people = book->people();
        // On a fast machine the rounds may use up the persons before the kill: then it waits for it.
        if (people.size() < 4) pause();
        auto merged = personNamed("M" + std::to_string(round), "Lee");
        book->removeRecord(people[0]);
        book->removeRecord(people[1]);
        book->addRecord(merged);
        for (size_t i = 2; i < people.size(); i += 2)
          people[i]->setValueForProperty("round " + std::to_string(round), kABNoteProperty);
        book->setNextChangeDescription("round " + std::to_string(round));
        if (!book->save()) _exit(4);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + attempt * 23));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status);

    auto book = ABAddressBook::open(path);
    ASSERT_TRUE(book);
    // The newest change set is the last round in the file: undoing every round of this attempt
    // gives back exactly the file as the attempt found it.
    auto changes = history(*book);
    ASSERT_FALSE(changes.empty());
    std::set<std::string> notes;
    for (const auto& person : book->people())
      if (auto note = person->stringForProperty(kABNoteProperty)) notes.insert(*note);
    if (changes[0].description.rfind("round ", 0) == 0) {
      EXPECT_TRUE(notes.count(changes[0].description)) << "the change set of a round whose change is not there";
      EXPECT_EQ(book->people().back()->stringForProperty(kABFirstNameProperty), "M" + changes[0].description.substr(6));
    }
    for (const auto& note : notes) {
      bool recorded = false;
      for (const auto& change : changes) recorded = recorded || change.description == note;
      EXPECT_TRUE(recorded) << "a change of " << note << " without its change set";
    }
  }
  // Undoing everything after the import gives back the import exactly.
  auto book = ABAddressBook::open(path);
  auto changes = history(*book);
  std::string error;
  ASSERT_TRUE(book->undo(changes.back().id + 1, true, nullptr, &error)) << error;
  ASSERT_EQ(book->count(), 500u);
  for (size_t i = 0; i < 500; ++i)
    EXPECT_EQ(book->people()[i]->stringForProperty(kABFirstNameProperty), "P" + std::to_string(i));
  EXPECT_EQ(trashUids(*book).size(), 0u);
}

// A store of the previous format (row versions, no history) gets the history and keeps its versions:
// a book that read a row before the upgrade still cannot write over a later change of it.
TEST(HistoryTest, AStoreOfTheSecondFormatGetsAHistoryAndKeepsItsVersions) {
  TempFolder folder;
  auto path = folder.file("old.sqlite");
  std::string uid;
  {
    auto book = ABAddressBook::open(path);
    auto ann = personNamed("Ann");
    uid = ann->uniqueId();
    book->addRecord(ann);
    ASSERT_TRUE(book->save());
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DROP TABLE changes; DROP TABLE change_persons; DROP TABLE trash; DROP TABLE marks;"
                         "DELETE FROM store_info WHERE name = 'highest_order'; PRAGMA user_version=2;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  auto first = ABAddressBook::open(path);
  auto second = ABAddressBook::open(path);
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(history(*first).empty());
  first->recordForUniqueId(uid)->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  ASSERT_TRUE(first->save());
  second->recordForUniqueId(uid)->setValueForProperty(std::string("Annie"), kABFirstNameProperty);
  EXPECT_EQ(second->saveChanges().status, ABSaveResult::Status::Conflict);
  ASSERT_EQ(history(*first).size(), 1u);
  ASSERT_TRUE(first->undo(0, false));
  EXPECT_EQ(*ABAddressBook::open(path)->recordForUniqueId(uid)->snapshot()->string(kABFirstNameProperty), "Ann");
}

// A save refused because another program changed its persons records nothing.
TEST(HistoryTest, ARefusedSaveRecordsNothing) {
  Store store;
  auto ann = personNamed("Ann");
  store.book->addRecord(ann);
  store.book->addRecord(personNamed("Bob"));
  ASSERT_TRUE(store.book->save());
  auto other = ABAddressBook::open(store.path);
  other->recordForUniqueId(ann->uniqueId())->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  ASSERT_TRUE(other->save());
  auto changesBefore = history(*store.book);
  Rows rowsBefore = fileRows(store.path);

  ann->setValueForProperty(std::string("Annie"), kABFirstNameProperty);
  store.book->removeRecord(store.book->people()[1]);
  store.book->setNextChangeDescription("Changed Ann and deleted Bob");
  EXPECT_EQ(store.book->saveChanges().status, ABSaveResult::Status::Conflict);
  EXPECT_EQ(history(*store.book).size(), changesBefore.size());
  EXPECT_EQ(fileRows(store.path), rowsBefore);
  EXPECT_TRUE(trashUids(*store.book).empty());
}

// Undo and redo write rows like any save: every row they write takes a new version, so another
// program sees them (and its own stale change of those persons is refused, not written over them).
TEST(HistoryTest, UndoAndRedoAreSeenByOtherProgramsAndTheirStaleChangesAreRefused) {
  Store store;
  auto ann = personNamed("Ann");
  store.book->addRecord(ann);
  ASSERT_TRUE(store.book->save());
  ann->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  ASSERT_TRUE(store.book->save());

  auto other = ABAddressBook::open(store.path);
  ASSERT_EQ(*other->recordForUniqueId(ann->uniqueId())->snapshot()->string(kABFirstNameProperty), "Anna");
  ASSERT_TRUE(store.book->undo(0, false));
  EXPECT_EQ(*ann->snapshot()->string(kABFirstNameProperty), "Ann");
  EXPECT_TRUE(other->changedElsewhere());

  // The other program's change was made on the row the undo replaced.
  auto theirs = other->recordForUniqueId(ann->uniqueId());
  theirs->setValueForProperty(std::string("Annie"), kABFirstNameProperty);
  EXPECT_EQ(other->saveChanges().status, ABSaveResult::Status::Conflict);
  EXPECT_EQ(*theirs->snapshot()->string(kABFirstNameProperty), "Ann");

  ASSERT_TRUE(store.book->redo());
  EXPECT_TRUE(other->changedElsewhere());
  ABRefreshResult found;
  ASSERT_TRUE(other->refresh(&found));
  EXPECT_EQ(found.changed, std::vector<std::string>{ann->uniqueId()});
  EXPECT_EQ(*theirs->snapshot()->string(kABFirstNameProperty), "Anna");
  // Once read again, its change is written.
  theirs->setValueForProperty(std::string("Annie"), kABFirstNameProperty);
  EXPECT_TRUE(other->save());
}

// A row written without a change set since (by a program that keeps no history) is never
// overwritten by undo or redo: they change nothing and name the contact.
TEST(HistoryTest, UndoAndRedoRefuseARowThatIsNotAsTheyExpect) {
  Store store;
  auto ann = personNamed("Ann", "Lee");
  store.book->addRecord(ann);
  ASSERT_TRUE(store.book->save());
  ann->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  ASSERT_TRUE(store.book->save());

  auto other = ABAddressBook::open(store.path);
  other->setRecordsHistory(false);
  other->recordForUniqueId(ann->uniqueId())->setValueForProperty(std::string("x"), kABNoteProperty);
  ASSERT_TRUE(other->save());
  ASSERT_TRUE(store.book->refresh());
  Rows rows = fileRows(store.path);
  std::string error;
  EXPECT_FALSE(store.book->undo(0, false, nullptr, &error));
  EXPECT_NE(error.find("cannot undo"), std::string::npos) << error;
  EXPECT_NE(error.find("Anna Lee"), std::string::npos) << error;
  EXPECT_EQ(fileRows(store.path), rows);
  EXPECT_FALSE(history(*store.book).front().undone);

  // Taken back by hand, the undo goes through; then a change without history stands in redo's way.
  other->recordForUniqueId(ann->uniqueId())->removeValueForProperty(kABNoteProperty);
  ASSERT_TRUE(other->save());
  ASSERT_TRUE(store.book->refresh());
  ASSERT_TRUE(store.book->undo(0, false, nullptr, &error)) << error;
  ASSERT_TRUE(other->refresh());
  other->recordForUniqueId(ann->uniqueId())->setValueForProperty(std::string("y"), kABNoteProperty);
  ASSERT_TRUE(other->save());
  ASSERT_TRUE(store.book->refresh());
  rows = fileRows(store.path);
  EXPECT_FALSE(store.book->redo(nullptr, &error));
  EXPECT_NE(error.find("cannot redo"), std::string::npos) << error;
  EXPECT_NE(error.find("Ann Lee"), std::string::npos) << error;
  EXPECT_EQ(fileRows(store.path), rows);
}

// Persons are covered by "not the same person" marks when every two of them are in one mark; a
// mark about a value covers them only for that value.
TEST(HistoryTest, MarkCoverNeedsEveryTwoPersonsInOneMark) {
  Store store;
  ASSERT_TRUE(store.book->addMark(ABMarkKind::kNotSamePerson, {"a", "b"}, "", "Not the same person: a and b"));
  ASSERT_TRUE(store.book->addMark(ABMarkKind::kNotSamePerson, {"b", "c"}, "", "Not the same person: b and c"));
  ASSERT_TRUE(store.book->addMark(ABMarkKind::kNotSamePerson, {"d", "e"}, "d@x.org", "Not the same person: d@x.org"));
  ABMarkCover cover(*store.book, ABMarkKind::kNotSamePerson);
  EXPECT_TRUE(cover.covers({"a", "b"}));
  EXPECT_TRUE(cover.covers({"c", "b"}));
  EXPECT_FALSE(cover.covers({"a", "b", "c"})) << "a and c were never marked";
  EXPECT_FALSE(cover.covers({"a"}));
  EXPECT_TRUE(cover.covers({"d", "e"})) << "persons marked about an address are different people";
  EXPECT_TRUE(cover.coversForValue({"d", "e"}, "d@x.org"));
  EXPECT_FALSE(cover.coversForValue({"d", "e"}, "e@x.org"));
  EXPECT_FALSE(cover.coversForValue({"a", "b"}, "d@x.org"));

  ASSERT_TRUE(store.book->addMark(ABMarkKind::kNotSamePerson, {"a", "b", "c"}, "", "Not the same person: 3"));
  EXPECT_TRUE(ABMarkCover(*store.book, ABMarkKind::kNotSamePerson).covers({"a", "b", "c"}));
  ASSERT_TRUE(store.book->undo(0, false));
  EXPECT_FALSE(ABMarkCover(*store.book, ABMarkKind::kNotSamePerson).covers({"a", "b", "c"}));
  EXPECT_TRUE(ABMarkCover(*store.book, "another kind").empty());
}

// A mark's value can hold a list of texts: each comes back exactly, and a person's marks keep the
// texts of every one of them.
TEST(HistoryTest, KeptTextsComeBackExactly) {
  const std::vector<std::string> texts{"030 1234567", "a\\b", "two\nlines", "", "\\n"};
  EXPECT_EQ(ABMarkCover::listOfValue(ABMarkCover::valueOfList(texts)), texts);
  Store store;
  ASSERT_TRUE(store.book->addMark(ABMarkKind::kKeptPhoneFormat, {"a"}, ABMarkCover::valueOfList({"1", "two\nlines"}),
                                  "Kept 1"));
  ASSERT_TRUE(store.book->addMark(ABMarkKind::kKeptPhoneFormat, {"a"}, ABMarkCover::valueOfList({"3"}), "Kept 3"));
  ABMarkCover kept(*store.book, ABMarkKind::kKeptPhoneFormat);
  EXPECT_TRUE(kept.keeps("a", {"3", "1"}));
  EXPECT_TRUE(kept.keeps("a", {"two\nlines"}));
  EXPECT_FALSE(kept.keeps("a", {"1", "2"})) << "2 was never kept";
  EXPECT_FALSE(kept.keeps("a", {"two"}));
  EXPECT_FALSE(kept.keeps("b", {"1"}));
  EXPECT_FALSE(kept.keeps("a", {})) << "nothing to keep is not kept";
}

// The saves and marks of one action are one change set: a person touched by several keeps its row
// from before the first, one added and removed again is left out, a refused save leaves the
// others, and undo and redo take the whole back and bring it again exactly.
TEST(HistoryTest, TheSavesOfOneActionAreOneChangeSet) {
  Store store;
  auto& book = *store.book;
  auto ann = personNamed("Ann"), bea = personNamed("Bea"), cid = personNamed("Cid");
  ASSERT_TRUE(book.addRecords({ann, bea, cid}));
  ASSERT_TRUE(book.save());
  // Another program changes Cid: this book's save of Cid will be refused.
  auto other = ABAddressBook::open(store.path);
  other->recordForUniqueId(cid->uniqueId())->setValueForProperty(std::string("Cyd"), kABFirstNameProperty);
  ASSERT_TRUE(other->save());
  const Rows before = fileRows(store.path);
  const size_t changesBefore = history(book).size();

  std::string error;
  ASSERT_TRUE(book.beginChangeSet(&error)) << error;
  ann->setValueForProperty(std::string("one"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  auto dan = personNamed("Dan");
  ann->setValueForProperty(std::string("two"), kABNoteProperty);
  ASSERT_TRUE(book.addRecord(dan));
  ASSERT_TRUE(book.save());
  cid->setValueForProperty(std::string("Cidney"), kABFirstNameProperty);
  EXPECT_EQ(book.saveChanges().status, ABSaveResult::Status::Conflict) << "refused alone";
  ASSERT_TRUE(book.removeRecord(dan));
  ASSERT_TRUE(book.removeRecord(bea));
  ASSERT_TRUE(book.save());
  ASSERT_TRUE(book.addMark(ABMarkKind::kNotSamePerson, {ann->uniqueId(), cid->uniqueId()}, {}, "Not the same"));
  EXPECT_EQ(fileRows(store.path), before) << "nothing reaches the file before the end";
  ASSERT_TRUE(book.endChangeSet("Fixed three findings", &error)) << error;
  const Rows after = fileRows(store.path);

  auto changes = history(book);
  ASSERT_EQ(changes.size(), changesBefore + 1);
  EXPECT_EQ(changes[0].description, "Fixed three findings");
  EXPECT_EQ(changes[0].persons, 3) << "Ann changed, Bea removed, Cid marked; Dan never was";
  EXPECT_EQ(book.lastChangeId(), changes[0].id);
  EXPECT_EQ(trashUids(book), std::vector<std::string>{bea->uniqueId()});
  std::vector<ABChangedContact> contacts;
  ASSERT_TRUE(book.changeContacts(changes[0].id, contacts));
  ASSERT_EQ(contacts.size(), 3u);
  EXPECT_EQ(contacts[0].name, "Ann");
  EXPECT_EQ(contacts[0].kind, ABChangedContact::Kind::Changed);
  EXPECT_EQ(contacts[1].name, "Bea");
  EXPECT_EQ(contacts[1].kind, ABChangedContact::Kind::Removed);
  EXPECT_EQ(contacts[2].kind, ABChangedContact::Kind::Marked);
  std::vector<ABMark> marks;
  ASSERT_TRUE(book.marks(ABMarkKind::kNotSamePerson, marks));
  EXPECT_EQ(marks.size(), 1u);

  ASSERT_TRUE(book.undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(fileRows(store.path), before) << "one undo takes the whole action back";
  marks.clear();
  ASSERT_TRUE(book.marks(ABMarkKind::kNotSamePerson, marks));
  EXPECT_TRUE(marks.empty());
  EXPECT_TRUE(trashUids(book).empty());
  ASSERT_TRUE(book.redo(nullptr, &error)) << error;
  EXPECT_EQ(fileRows(store.path), after);

  // An abandoned action leaves the file and the book as they were.
  ASSERT_TRUE(book.beginChangeSet(&error)) << error;
  ann->setValueForProperty(std::string("three"), kABNoteProperty);
  ASSERT_TRUE(book.save());
  book.abandonChangeSet();
  EXPECT_EQ(fileRows(store.path), after);
  EXPECT_EQ(ann->stringForProperty(kABNoteProperty), "two");
  EXPECT_EQ(history(book).size(), changesBefore + 1);
}
