// Several books (in several processes or threads) on one store file: no change of one is
// overwritten by another, no removed person comes back, a merge lands whole or not at all.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "TestStorePath.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

ABPersonRef personNamed(const std::string& first, const std::string& last = {}) {
  auto person = ABPerson::create();
  person->setValueForProperty(first, kABFirstNameProperty);
  if (!last.empty()) person->setValueForProperty(last, kABLastNameProperty);
  return person;
}

std::string noteOf(const ABPersonRef& person) {
  return person ? person->stringForProperty(kABNoteProperty).value_or("") : "";
}

// A store with the persons named, saved; their unique ids in order.
std::vector<std::string> makeStore(const std::filesystem::path& path, const std::vector<std::string>& names) {
  auto book = ABAddressBook::open(path);
  std::vector<std::string> uids;
  for (const auto& name : names) {
    auto space = name.find(' ');
    auto person =
        space == std::string::npos ? personNamed(name) : personNamed(name.substr(0, space), name.substr(space + 1));
    book->addRecord(person);
    uids.push_back(person->uniqueId());
  }
  EXPECT_TRUE(book->save());
  return uids;
}

}  // namespace

TEST(ConcurrentStoreTest, AChangeOverAnotherProgramsChangeIsRefusedAndTheCurrentValuesShown) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto uids = makeStore(path, {"Ann Lee", "Bob Ray"});
  auto window = ABAddressBook::open(path);
  auto other = ABAddressBook::open(path);

  other->recordForUniqueId(uids[0])->setValueForProperty(std::string("met in Oslo"), kABNoteProperty);
  ASSERT_TRUE(other->save());

  auto ann = window->recordForUniqueId(uids[0]);
  ann->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  window->recordForUniqueId(uids[1])->setValueForProperty(std::string("Bobby"), kABFirstNameProperty);
  ABSaveResult result = window->saveChanges();
  EXPECT_EQ(result.status, ABSaveResult::Status::Conflict);
  ASSERT_EQ(result.conflicts.size(), 1u);
  EXPECT_EQ(result.conflicts[0].uid, uids[0]);
  EXPECT_EQ(result.conflicts[0].message(), "Ann Lee was changed by another program; your change was not saved");
  EXPECT_EQ(result.error, "Ann Lee was changed by another program; your change was not saved");

  // The same person object now holds what the store holds; nothing of the save stays pending.
  EXPECT_EQ(window->recordForUniqueId(uids[0]), ann);
  EXPECT_EQ(ann->stringForProperty(kABFirstNameProperty), "Ann");
  EXPECT_EQ(noteOf(ann), "met in Oslo");
  EXPECT_EQ(window->recordForUniqueId(uids[1])->stringForProperty(kABFirstNameProperty), "Bob");
  EXPECT_FALSE(window->hasUnsavedChanges());

  auto stored = ABAddressBook::open(path);
  EXPECT_EQ(noteOf(stored->recordForUniqueId(uids[0])), "met in Oslo");
  EXPECT_EQ(stored->recordForUniqueId(uids[0])->stringForProperty(kABFirstNameProperty), "Ann");
  EXPECT_EQ(stored->recordForUniqueId(uids[1])->stringForProperty(kABFirstNameProperty), "Bob");

  // Made again on the current values, the change is saved.
  ann->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  ASSERT_TRUE(window->save());
  EXPECT_EQ(noteOf(ABAddressBook::open(path)->recordForUniqueId(uids[0])), "met in Oslo");
}

TEST(ConcurrentStoreTest, APersonRemovedElsewhereIsNotBroughtBack) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto uids = makeStore(path, {"Ann Lee", "Bob Ray"});
  auto window = ABAddressBook::open(path);
  auto other = ABAddressBook::open(path);
  ASSERT_TRUE(other->removeRecord(other->recordForUniqueId(uids[0])));
  ASSERT_TRUE(other->save());

  auto ann = window->recordForUniqueId(uids[0]);
  ann->setValueForProperty(std::string("a stale edit"), kABNoteProperty);
  ASSERT_TRUE(window->addRecord(ann));
  ABSaveResult result = window->saveChanges();
  ASSERT_EQ(result.conflicts.size(), 1u);
  EXPECT_EQ(result.conflicts[0].kind, ABSaveConflict::Kind::Removed);
  EXPECT_EQ(result.conflicts[0].message(), "Ann Lee was removed by another program; your change was not saved");
  EXPECT_FALSE(window->contains(ann));
  EXPECT_EQ(window->count(), 1u);
  ASSERT_TRUE(window->save()) << "nothing left to write";
  EXPECT_FALSE(ABAddressBook::open(path)->recordForUniqueId(uids[0]));

  // Removing a person another program changed meanwhile removes nothing either.
  auto bob = window->recordForUniqueId(uids[1]);
  other->recordForUniqueId(uids[1])->setValueForProperty(std::string("new note"), kABNoteProperty);
  ASSERT_TRUE(other->save());
  ASSERT_TRUE(window->removeRecord(bob));
  EXPECT_EQ(window->saveChanges().status, ABSaveResult::Status::Conflict);
  EXPECT_TRUE(window->contains(bob)) << "back in the book with its current values";
  EXPECT_EQ(noteOf(bob), "new note");
  EXPECT_EQ(noteOf(ABAddressBook::open(path)->recordForUniqueId(uids[1])), "new note");
}

TEST(ConcurrentStoreTest, AMergeIsWrittenWholeOrNotAtAll) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto uids = makeStore(path, {"Ann Lee", "Ann Lee", "Cid Moe"});
  auto first = ABAddressBook::open(path);
  auto second = ABAddressBook::open(path);

  // Both merge the two Ann Lees; the second merge finds its members gone and writes nothing.
  auto merge = [](ABAddressBook& book, const std::vector<std::string>& members) {
    auto merged = personNamed("Ann", "Lee");
    for (const auto& uid : members) EXPECT_TRUE(book.removeRecord(book.recordForUniqueId(uid)));
    EXPECT_TRUE(book.addRecord(merged));
    return std::make_pair(merged, book.saveChanges());
  };
  auto [merged1, result1] = merge(*first, {uids[0], uids[1]});
  ASSERT_TRUE(result1.ok());
  auto [merged2, result2] = merge(*second, {uids[0], uids[1]});
  EXPECT_EQ(result2.status, ABSaveResult::Status::Conflict);
  EXPECT_EQ(result2.conflicts.size(), 2u);
  EXPECT_FALSE(second->contains(merged2)) << "the merged contact that was not written left the book";
  EXPECT_FALSE(second->recordForUniqueId(uids[0]));
  EXPECT_FALSE(second->recordForUniqueId(uids[1]));
  ASSERT_TRUE(second->save());

  auto stored = ABAddressBook::open(path);
  ASSERT_EQ(stored->count(), 2u) << "one merged contact and Cid, no second merged contact";
  EXPECT_TRUE(stored->recordForUniqueId(merged1->uniqueId()));
  EXPECT_FALSE(stored->recordForUniqueId(merged2->uniqueId()));

  // A member changed elsewhere keeps the whole merge out: members stay, no merged contact.
  auto uids2 = makeStore(folder.file("two.sqlite"), {"Bo Ek", "Bo Ek"});
  auto mine = ABAddressBook::open(folder.file("two.sqlite"));
  auto theirs = ABAddressBook::open(folder.file("two.sqlite"));
  theirs->recordForUniqueId(uids2[1])->setValueForProperty(std::string("keep me"), kABNoteProperty);
  ASSERT_TRUE(theirs->save());
  auto [merged3, result3] = merge(*mine, uids2);
  EXPECT_EQ(result3.status, ABSaveResult::Status::Conflict);
  ASSERT_EQ(result3.conflicts.size(), 1u);
  EXPECT_EQ(result3.conflicts[0].uid, uids2[1]);
  EXPECT_EQ(mine->count(), 2u);
  EXPECT_EQ(noteOf(mine->recordForUniqueId(uids2[1])), "keep me");
  auto storedTwo = ABAddressBook::open(folder.file("two.sqlite"));
  EXPECT_EQ(storedTwo->count(), 2u);
  EXPECT_FALSE(storedTwo->recordForUniqueId(merged3->uniqueId()));
}

TEST(ConcurrentStoreTest, AUniqueIdStoredMeanwhileByAnotherProgramIsNotOverwritten) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  makeStore(path, {});
  auto first = ABAddressBook::open(path);
  auto second = ABAddressBook::open(path);
  ABPersonData one, two;
  one.set(kABUIDProperty, std::string("SAME-ID"));
  one.set(kABFirstNameProperty, std::string("First"));
  two.set(kABUIDProperty, std::string("SAME-ID"));
  two.set(kABFirstNameProperty, std::string("Second"));
  ASSERT_TRUE(first->addRecord(std::make_shared<ABPerson>(one)));
  ASSERT_TRUE(second->addRecord(std::make_shared<ABPerson>(two)));
  ASSERT_TRUE(first->save());
  ABSaveResult result = second->saveChanges();
  ASSERT_EQ(result.conflicts.size(), 1u);
  EXPECT_EQ(result.conflicts[0].kind, ABSaveConflict::Kind::IdTaken);
  EXPECT_EQ(second->recordForUniqueId("SAME-ID")->stringForProperty(kABFirstNameProperty), "First");
  EXPECT_EQ(ABAddressBook::open(path)->recordForUniqueId("SAME-ID")->stringForProperty(kABFirstNameProperty), "First");
}

TEST(ConcurrentStoreTest, ContactsAddedByTwoProgramsKeepEachProgramsOrder) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  makeStore(path, {"Ann"});
  auto first = ABAddressBook::open(path);
  auto second = ABAddressBook::open(path);
  for (const char* name : {"A1", "A2", "A3"}) first->addRecord(personNamed(name));
  for (const char* name : {"B1", "B2", "B3"}) second->addRecord(personNamed(name));
  ASSERT_TRUE(first->save());
  ASSERT_TRUE(second->save());
  second->addRecord(personNamed("B4"));
  ASSERT_TRUE(second->save());
  std::vector<std::string> names;
  for (const auto& person : ABAddressBook::open(path)->people())
    names.push_back(*person->stringForProperty(kABFirstNameProperty));
  EXPECT_EQ(names, (std::vector<std::string>{"Ann", "A1", "A2", "A3", "B1", "B2", "B3", "B4"}));
}

TEST(ConcurrentStoreTest, RefreshReadsWhatOtherProgramsSaved) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto uids = makeStore(path, {"Ann", "Bob", "Cid"});
  auto window = ABAddressBook::open(path);
  auto other = ABAddressBook::open(path);
  EXPECT_FALSE(window->changedElsewhere());
  auto ann = window->recordForUniqueId(uids[0]);
  auto bob = window->recordForUniqueId(uids[1]);

  other->recordForUniqueId(uids[0])->setValueForProperty(std::string("changed"), kABNoteProperty);
  other->removeRecord(other->recordForUniqueId(uids[1]));
  auto dot = personNamed("Dot");
  other->addRecord(dot);
  ASSERT_TRUE(other->save());
  EXPECT_FALSE(other->changedElsewhere()) << "its own save is no change from elsewhere";
  EXPECT_TRUE(window->changedElsewhere());

  ABRefreshResult found;
  ASSERT_TRUE(window->refresh(&found));
  EXPECT_EQ(found.changed, std::vector<std::string>{uids[0]});
  EXPECT_EQ(found.removed, std::vector<std::string>{uids[1]});
  EXPECT_EQ(found.added, std::vector<std::string>{dot->uniqueId()});
  EXPECT_FALSE(window->changedElsewhere());
  EXPECT_EQ(window->recordForUniqueId(uids[0]), ann) << "the same person object";
  EXPECT_EQ(noteOf(ann), "changed");
  EXPECT_FALSE(window->contains(bob));
  ASSERT_EQ(window->count(), 3u);
  EXPECT_EQ(window->people()[2]->stringForProperty(kABFirstNameProperty), "Dot");

  // A change on Ann saved from the window now is no conflict.
  ann->setValueForProperty(std::string("Anne"), kABFirstNameProperty);
  EXPECT_TRUE(window->save());
  EXPECT_EQ(noteOf(ABAddressBook::open(path)->recordForUniqueId(uids[0])), "changed");
}

TEST(ConcurrentStoreTest, AStoreOfTheFirstVersionIsBroughtUpToDate) {
  TempFolder folder;
  auto path = folder.file("old.sqlite");
  std::string uid;
  {
    // A store as the first version wrote it: no versions, no change counter.
    auto book = ABAddressBook::open(path);
    auto ann = personNamed("Ann");
    uid = ann->uniqueId();
    book->addRecord(ann);
    ASSERT_TRUE(book->save());
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE p2(id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, ord INTEGER NOT NULL,"
                         " data BLOB NOT NULL); INSERT INTO p2 SELECT id, uid, ord, data FROM persons;"
                         "DROP TABLE persons; ALTER TABLE p2 RENAME TO persons; DROP TABLE store_info;"
                         "DROP TABLE changes; DROP TABLE change_persons; DROP TABLE trash; DROP TABLE marks;"
                         "PRAGMA user_version=1;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  auto first = ABAddressBook::open(path);
  auto second = ABAddressBook::open(path);
  ASSERT_TRUE(first && second);
  first->recordForUniqueId(uid)->setValueForProperty(std::string("one"), kABNoteProperty);
  ASSERT_TRUE(first->save());
  second->recordForUniqueId(uid)->setValueForProperty(std::string("two"), kABNoteProperty);
  EXPECT_EQ(second->saveChanges().status, ABSaveResult::Status::Conflict);
  EXPECT_EQ(noteOf(ABAddressBook::open(path)->recordForUniqueId(uid)), "one");
}

// Files that are not address books are refused and left as they are; only a missing file becomes
// a new store.
TEST(ConcurrentStoreTest, AnEmptyFileOrAnotherProgramsEmptyDatabaseIsNoAddressBook) {
  TempFolder folder;
  auto empty = folder.file("empty.sqlite");
  std::ofstream(empty).close();
  std::string error;
  EXPECT_FALSE(ABAddressBook::open(empty, &error));
  EXPECT_NE(error.find("empty.sqlite: the file is empty"), std::string::npos) << error;
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);

  auto theirs = folder.file("theirs.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(theirs.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=7; PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  auto before = std::filesystem::file_size(theirs);
  EXPECT_FALSE(ABAddressBook::open(theirs, &error));
  EXPECT_NE(error.find("database of another program"), std::string::npos) << error;
  EXPECT_EQ(std::filesystem::file_size(theirs), before);

  auto fresh = folder.file("sub/new.sqlite");
  auto book = ABAddressBook::open(fresh, &error);
  ASSERT_TRUE(book) << error;
  book->addRecord(personNamed("Ann"));
  ASSERT_TRUE(book->save());
  EXPECT_EQ(ABAddressBook::open(fresh)->count(), 1u);
  // Nothing of the making is left beside it.
  for (const auto& entry : std::filesystem::directory_iterator(fresh.parent_path()))
    EXPECT_EQ(entry.path().filename().string().rfind("new.sqlite", 0), 0u) << entry.path();
}

TEST(ConcurrentStoreTest, ProcessesMakingOneNewStoreAtOnceAllOpenIt) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  std::vector<pid_t> children;
  for (int c = 0; c < 6; ++c) {
    const pid_t child = fork();
    if (child == 0) {
      auto book = ABAddressBook::open(path);
      if (!book) _exit(1);
      book->addRecord(personNamed("P" + std::to_string(c)));
      _exit(book->save() ? 0 : 2);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(ABAddressBook::open(path)->count(), 6u);
}

TEST(ConcurrentStoreTest, AStoreHeldTooLongByAnotherProgramFailsTheSaveAfterWaiting) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto uids = makeStore(path, {"Ann"});
  std::atomic<int> waitingCalls{0};
  ABAddressBook::setDefaultLockWait(std::chrono::milliseconds(1500), [&] { ++waitingCalls; });
  auto book = ABAddressBook::open(path);
  ABAddressBook::setDefaultLockWait(std::chrono::seconds(30), nullptr);

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  auto ann = book->recordForUniqueId(uids[0]);
  ann->setValueForProperty(std::string("note"), kABNoteProperty);
  auto started = std::chrono::steady_clock::now();
  ABSaveResult result = book->saveChanges();
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(result.status, ABSaveResult::Status::Busy);
  EXPECT_EQ(result.error, "the address book is in use by another program (waited 1 s); nothing was saved");
  EXPECT_GE(waited, std::chrono::milliseconds(1400));
  EXPECT_EQ(waitingCalls.load(), 1);
  EXPECT_FALSE(book->hasUnsavedChanges()) << "a failed change is not left to a later save";
  EXPECT_EQ(noteOf(ann), "");

  // Released within the wait, the save goes through.
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  ann->setValueForProperty(std::string("note"), kABNoteProperty);
  EXPECT_TRUE(book->save());
  releaser.join();
  sqlite3_close(other);
  EXPECT_EQ(waitingCalls.load(), 2);
  EXPECT_EQ(noteOf(ABAddressBook::open(path)->recordForUniqueId(uids[0])), "note");
}

namespace {

// One writer of the race below: round after round, appends its mark to the note of every contact
// (reading the note and writing it back, as an edit does), removes the contacts it is to remove,
// and merges pairs; a refused save is made again on the values the book then holds.
struct Writer {
  std::string mark;
  int rounds;
  std::vector<std::string> toRemove;                         // unique ids it removes, one per round
  std::vector<std::pair<std::string, std::string>> toMerge;  // pairs it merges, one per round
  std::filesystem::path path;

  // 0 when every change was saved in the end. ready() is called once the book is open; the rounds
  // start when it returns, so that both writers start from the same store.
  int run(const std::function<void()>& ready) {
    auto book = ABAddressBook::open(path);
    if (!book) return 10;
    ready();
    std::mt19937 random(std::hash<std::string>{}(mark));
    auto pause = [&] { std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000)); };
    for (int round = 0; round < rounds; ++round) {
      pause();
      for (int attempt = 0;; ++attempt) {
        if (attempt > 200) return 11;
        for (const auto& person : book->people()) {
          std::string note = person->stringForProperty(kABNoteProperty).value_or("");
          person->setValueForProperty(note + mark + std::to_string(round) + ";", kABNoteProperty);
        }
        pause();
        ABSaveResult result = book->saveChanges();
        if (result.ok()) break;
        if (result.status != ABSaveResult::Status::Conflict) return 12;
      }
      if (round < static_cast<int>(toRemove.size())) {
        for (int attempt = 0;; ++attempt) {
          if (attempt > 200) return 13;
          auto person = book->recordForUniqueId(toRemove[round]);
          if (!person) break;  // removed by the other writer
          book->removeRecord(person);
          pause();
          if (book->saveChanges().ok()) break;
        }
      }
      if (round < static_cast<int>(toMerge.size())) {
        for (int attempt = 0;; ++attempt) {
          if (attempt > 200) return 14;
          auto a = book->recordForUniqueId(toMerge[round].first);
          auto b = book->recordForUniqueId(toMerge[round].second);
          if (!a || !b) break;  // merged by the other writer
          ABPersonData data(*a->snapshot());
          data.set(kABUIDProperty, std::string());
          data.set(kABNoteProperty, noteOf(a) + "|" + noteOf(b) + "|merged by " + mark);
          auto merged = std::make_shared<ABPerson>(std::move(data));
          book->removeRecord(a);
          book->removeRecord(b);
          book->addRecord(merged);
          pause();
          if (book->saveChanges().ok()) break;
        }
      }
    }
    return 0;
  }
};

// Checks the store after two writers of kRounds rounds: every surviving contact's note holds every
// mark of both writers' rounds in order (nothing lost or undone), no removed or merged-away person
// is back, and every pair was merged exactly once.
void checkAfterRace(const std::filesystem::path& path, const std::vector<std::string>& removed,
                    const std::vector<std::pair<std::string, std::string>>& merged, int rounds) {
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  for (const auto& uid : removed) EXPECT_FALSE(book->recordForUniqueId(uid)) << "a removed person came back";
  for (const auto& [a, b] : merged) {
    EXPECT_FALSE(book->recordForUniqueId(a)) << "a merged person came back";
    EXPECT_FALSE(book->recordForUniqueId(b)) << "a merged person came back";
  }
  int mergedContacts = 0;
  for (const auto& person : book->people()) {
    std::string note = noteOf(person);
    if (note.find("merged by") != std::string::npos) {
      ++mergedContacts;
      continue;
    }
    size_t lastA = 0, lastB = 0;
    for (int round = 0; round < rounds; ++round) {
      for (auto [mark, last] : {std::pair<const char*, size_t*>{"A", &lastA}, {"B", &lastB}}) {
        std::string token = std::string(mark) + std::to_string(round) + ";";
        size_t at = note.find(token);
        ASSERT_NE(at, std::string::npos) << "lost: " << token << " in " << note;
        EXPECT_GE(at, *last) << "out of order: " << note;
        *last = at;
        EXPECT_EQ(note.find(token, at + 1), std::string::npos) << "written twice: " << token << " in " << note;
      }
    }
  }
  EXPECT_EQ(mergedContacts, static_cast<int>(merged.size())) << "each pair merged exactly once";
}

}  // namespace

TEST(ConcurrentStoreTest, TwoProcessesChangingOneStoreLoseNothingAndBringNothingBack) {
  for (int trial = 0; trial < 4; ++trial) {
    TempFolder folder;
    auto path = folder.file("book.sqlite");
    std::vector<std::string> names;
    for (int i = 0; i < 24; ++i) names.push_back("P" + std::to_string(i));
    auto uids = makeStore(path, names);
    constexpr int kRounds = 8;
    // Both writers remove the same persons and merge the same pairs, in opposite orders.
    std::vector<std::string> removed(uids.begin(), uids.begin() + 4);
    std::vector<std::pair<std::string, std::string>> merged{{uids[4], uids[5]}, {uids[6], uids[7]}, {uids[8], uids[9]}};
    Writer a{"A", kRounds, removed, merged, path};
    Writer b{"B", kRounds, {removed.rbegin(), removed.rend()}, {merged.rbegin(), merged.rend()}, path};
    // The child says when its book is open; then both go.
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      _exit(b.run([&] {
        char byte = 1;
        if (write(toParent[1], &byte, 1) != 1 || read(toChild[0], &byte, 1) != 1) _exit(20);
      }));
    }
    int mine = a.run([&] {
      char byte = 0;
      if (read(toParent[0], &byte, 1) != 1 || write(toChild[1], &byte, 1) != 1) ADD_FAILURE() << "no child";
    });
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(mine, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    checkAfterRace(path, removed, merged, kRounds);
  }
}

TEST(ConcurrentStoreTest, TwoThreadsWithTwoBooksOnOneStoreLoseNothing) {
  for (int trial = 0; trial < 4; ++trial) {
    TempFolder folder;
    auto path = folder.file("book.sqlite");
    std::vector<std::string> names;
    for (int i = 0; i < 24; ++i) names.push_back("P" + std::to_string(i));
    auto uids = makeStore(path, names);
    constexpr int kRounds = 8;
    std::vector<std::string> removed(uids.begin() + 10, uids.begin() + 14);
    std::vector<std::pair<std::string, std::string>> merged{{uids[0], uids[1]}, {uids[2], uids[3]}};
    Writer a{"A", kRounds, removed, merged, path};
    Writer b{"B", kRounds, {removed.rbegin(), removed.rend()}, {merged.rbegin(), merged.rend()}, path};
    int resultB = -1;
    std::latch bothOpen(2);
    auto ready = [&] { bothOpen.arrive_and_wait(); };
    std::thread other([&] { resultB = b.run(ready); });
    int resultA = a.run(ready);
    other.join();
    ASSERT_EQ(resultA, 0);
    ASSERT_EQ(resultB, 0);
    checkAfterRace(path, removed, merged, kRounds);
  }
}
