#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "TestStorePath.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/SqliteStore.h"
#include "tests/support/StoreRows.h"

namespace {

ABPersonRef personNamed(const std::string& first, const std::string& last = {}) {
  auto person = ABPerson::create();
  person->setValueForProperty(first, kABFirstNameProperty);
  if (!last.empty()) person->setValueForProperty(last, kABLastNameProperty);
  return person;
}

std::vector<std::string> firstNames(const ABAddressBook& book) {
  std::vector<std::string> names;
  for (const auto& person : book.people())
    names.push_back(person->stringForProperty(kABFirstNameProperty).value_or("-"));
  return names;
}

}  // namespace

TEST(StoreTest, SavedChangesSurviveReopeningInStoreOrder) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  std::string uidOfBea;
  {
    auto book = ABAddressBook::open(path);
    ASSERT_TRUE(book);
    for (const char* name : {"Ann", "Bea", "Cid"}) ASSERT_TRUE(book->addRecord(personNamed(name)));
    uidOfBea = book->people()[1]->uniqueId();
    ASSERT_TRUE(book->save());
  }
  {
    auto book = ABAddressBook::open(path);
    ASSERT_TRUE(book);
    EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann", "Bea", "Cid"}));
    EXPECT_EQ(book->people()[1]->uniqueId(), uidOfBea);
    book->people()[1]->setValueForProperty(std::string("Bee"), kABFirstNameProperty);
    book->removeRecord(book->people()[0]);
    book->addRecord(personNamed("Dot"));
    ASSERT_TRUE(book->save());
  }
  auto book = ABAddressBook::open(path);
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Bee", "Cid", "Dot"}));
  EXPECT_EQ(book->recordForUniqueId(uidOfBea)->stringForProperty(kABFirstNameProperty), "Bee");
}

TEST(StoreTest, ChangesArePendingUntilSave) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  {
    auto book = ABAddressBook::open(path);
    book->addRecord(personNamed("Ann"));
    ASSERT_TRUE(book->save());
    EXPECT_FALSE(book->hasUnsavedChanges());
    book->people()[0]->setValueForProperty(std::string("Changed"), kABFirstNameProperty);
    book->addRecord(personNamed("Unsaved"));
    EXPECT_TRUE(book->hasUnsavedChanges());
    EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Changed", "Unsaved"})) << "the book itself sees them";
  }
  auto book = ABAddressBook::open(path);
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann"}));
}

TEST(StoreTest, RevertDropsPendingChanges) {
  auto book = ABAddressBook::inMemory();
  TempFolder folder;
  book = ABAddressBook::open(folder.file("b.sqlite"));
  book->addRecord(personNamed("Ann"));
  book->save();
  book->removeRecord(book->people()[0]);
  book->addRecord(personNamed("New"));
  ASSERT_TRUE(book->revert());
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann"}));
  EXPECT_FALSE(book->hasUnsavedChanges());
}

TEST(StoreTest, RevertGivesHeldPersonsTheirSavedValuesAndKeepsThemInTheStore) {
  TempFolder folder;
  auto path = folder.file("b.sqlite");
  auto book = ABAddressBook::open(path);
  auto ann = personNamed("Ann");
  book->addRecord(ann);
  book->save();
  ann->setValueForProperty(std::string("Unsaved"), kABFirstNameProperty);
  ASSERT_TRUE(book->revert());
  ASSERT_EQ(book->people().size(), 1u);
  EXPECT_EQ(book->people()[0], ann) << "a screen holding the person still holds the stored one";
  EXPECT_EQ(ann->stringForProperty(kABFirstNameProperty), "Ann");
  EXPECT_FALSE(book->hasUnsavedChanges());
  // A later change to the held person is saved like any other.
  ann->setValueForProperty(std::string("Anna"), kABFirstNameProperty);
  ASSERT_TRUE(book->addRecord(ann));
  ASSERT_TRUE(book->save());
  EXPECT_EQ(firstNames(*ABAddressBook::open(path)), (std::vector<std::string>{"Anna"}));
}

TEST(StoreTest, ASaveFindsEveryChangedPersonHoweverItCameIntoTheBook) {
  // A save looks only at the persons that told the book they changed: each way into the book must
  // have the person tell it.
  TempFolder folder;
  auto path = folder.file("b.sqlite");
  {
    auto first = ABAddressBook::open(path);
    for (const char* name : {"Loaded", "Reverted"}) first->addRecord(personNamed(name));
    ASSERT_TRUE(first->save());
  }
  auto book = ABAddressBook::open(path);
  auto other = ABAddressBook::open(path);
  other->addRecord(personNamed("Refreshed"));
  ASSERT_TRUE(other->save());
  ASSERT_TRUE(book->refresh());
  book->people()[1]->setValueForProperty(std::string("dropped"), kABFirstNameProperty);
  ASSERT_TRUE(book->revert());
  auto added = personNamed("Added");
  ASSERT_TRUE(book->addRecord(added));
  auto removed = book->people()[0];
  ASSERT_TRUE(book->removeRecord(removed));
  ASSERT_TRUE(book->save());
  ASSERT_TRUE(book->addRecord(removed));
  ASSERT_TRUE(book->save());
  // Changed in place, without addRecord.
  for (const auto& person : book->people())
    person->setValueForProperty(*person->stringForProperty(kABFirstNameProperty) + "!", kABFirstNameProperty);
  EXPECT_TRUE(book->hasUnsavedChanges());
  ASSERT_TRUE(book->save());
  EXPECT_FALSE(book->hasUnsavedChanges());
  // Removed in a save of its own, "Loaded" came back at the end.
  EXPECT_EQ(firstNames(*ABAddressBook::open(path)),
            (std::vector<std::string>{"Reverted!", "Refreshed!", "Added!", "Loaded!"}));
}

TEST(StoreTest, AddingTwiceKeepsOneRecordAndUniqueIdsStayUnique) {
  auto book = ABAddressBook::inMemory();
  auto ann = personNamed("Ann");
  EXPECT_TRUE(book->addRecord(ann));
  EXPECT_TRUE(book->addRecord(ann));
  EXPECT_EQ(book->count(), 1u);

  ABPersonData clash;
  clash.set(kABUIDProperty, ann->uniqueId());
  std::string error;
  EXPECT_FALSE(book->addRecord(std::make_shared<ABPerson>(clash), &error));
  EXPECT_NE(error.find(ann->uniqueId()), std::string::npos);
  EXPECT_EQ(book->count(), 1u);

  EXPECT_TRUE(book->removeRecord(ann));
  EXPECT_FALSE(book->removeRecord(ann)) << "a person no longer stored";
  EXPECT_TRUE(book->addRecord(std::make_shared<ABPerson>(clash))) << "the id is free again";
}

TEST(StoreTest, RemovedThenAddedAgainBeforeSaveIsKept) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  {
    auto book = ABAddressBook::open(path);
    auto ann = personNamed("Ann");
    book->addRecord(ann);
    book->save();
    book->removeRecord(ann);
    book->addRecord(ann);
    ASSERT_TRUE(book->save());
  }
  EXPECT_EQ(ABAddressBook::open(path)->count(), 1u);
}

TEST(StoreTest, SearchFindsExactValuesOnly) {
  auto book = ABAddressBook::inMemory();
  auto add = [&](const std::string& first, std::vector<std::pair<std::string, std::string>> emails) {
    auto person = personNamed(first);
    ABMultiValue list;
    for (auto& [label, value] : emails) list.addValueWithLabel(value, label);
    if (!emails.empty()) person->setValueForProperty(list, kABEmailProperty);
    book->addRecord(person);
    return person;
  };
  auto a = add("A", {{kABHomeLabel, "x@y.org"}});
  add("B", {{kABWorkLabel, "X@y.org"}});
  auto c = add("C", {{kABWorkLabel, "other@y.org"}, {"custom", "x@y.org"}});
  add("D", {});
  auto element = book->searchElementForProperty(kABEmailProperty, std::nullopt, std::nullopt, "x@y.org", kABEqual);
  EXPECT_EQ(book->recordsMatchingSearchElement(element), (std::vector<ABPersonRef>{a, c}));

  auto byLabel = book->searchElementForProperty(kABEmailProperty, std::string("custom"), std::nullopt, "x@y.org");
  EXPECT_EQ(book->recordsMatchingSearchElement(byLabel), (std::vector<ABPersonRef>{c}));

  auto byName = book->searchElementForProperty(kABFirstNameProperty, std::nullopt, std::nullopt, "D");
  EXPECT_EQ(book->recordsMatchingSearchElement(byName).size(), 1u);
}

TEST(StoreTest, RefusesFilesThatAreNotAddressBooks) {
  TempFolder folder;
  auto text = folder.file("notes.txt");
  std::ofstream(text) << "this is not a database, it is a text file of some length......\n";
  std::string error;
  EXPECT_FALSE(ABAddressBook::open(text, &error));
  EXPECT_NE(error.find("notes.txt"), std::string::npos) << error;
  EXPECT_EQ(std::ifstream(text).get(), 't') << "the file is left alone";
}

TEST(StoreTest, SaveWaitsForAnotherWriterInsteadOfFailing) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto book = ABAddressBook::open(path);
  book->addRecord(personNamed("Ann"));
  ASSERT_TRUE(book->save());

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  book->addRecord(personNamed("Bea"));
  EXPECT_TRUE(book->save());
  releaser.join();
  sqlite3_close(other);
  EXPECT_EQ(ABAddressBook::open(path)->count(), 2u);
}

TEST(StoreTest, ManyProcessesOpenOneStoreWhileItIsSaved) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  {
    auto book = ABAddressBook::open(path);
    book->addRecord(personNamed("Ann"));
    ASSERT_TRUE(book->save());
  }
  // Children open and read the store over and over while the parent keeps saving into it; a child
  // exits with 1 at the first open that fails.
  std::vector<pid_t> children;
  for (int c = 0; c < 6; ++c) {
    const pid_t child = fork();
    if (child == 0) {
      for (int i = 0; i < 30; ++i) {
        std::string error;
        auto book = ABAddressBook::open(path, &error);
        if (!book || book->count() == 0) _exit(1);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  auto book = ABAddressBook::open(path);
  for (int i = 0; i < 40; ++i) {
    book->addRecord(personNamed("P" + std::to_string(i)));
    EXPECT_TRUE(book->save());
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an open failed while the store was saved";
  }
}

TEST(StoreTest, ADamagedRecordIsReportedNotSkipped) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  {
    auto book = ABAddressBook::open(path);
    book->addRecord(personNamed("Ann"));
    ASSERT_TRUE(book->save());
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE persons SET data = x'01FF'", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  std::string error;
  EXPECT_FALSE(ABAddressBook::open(path, &error));
  EXPECT_NE(error.find("damaged"), std::string::npos) << error;
}

TEST(StoreTest, ReadingOnOneThreadWhileAnotherChangesIsSafe) {
  auto book = ABAddressBook::inMemory();
  for (int i = 0; i < 200; ++i) book->addRecord(personNamed("P" + std::to_string(i)));
  std::atomic<bool> done{false};
  std::atomic<long> reads{0};
  std::thread reader([&] {
    while (!done) {
      for (const auto& person : book->people()) {
        auto snap = person->snapshot();
        if (snap->string(kABFirstNameProperty)) ++reads;
      }
    }
  });
  for (int round = 0; round < 50; ++round) {
    auto people = book->people();
    book->removeRecord(people.front());
    book->addRecord(personNamed("N" + std::to_string(round)));
    for (const auto& person : people) person->setValueForProperty(std::to_string(round), kABNoteProperty);
    book->save();
  }
  done = true;
  reader.join();
  EXPECT_EQ(book->count(), 200u);
  EXPECT_GT(reads.load(), 0);
}

// A process killed at any moment of a save leaves the file as before or as after that save.
TEST(StoreTest, KillDuringSaveLeavesOneSideOfIt) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  constexpr int kInitial = 2000, kAddedPerRound = 300;
  {
    auto book = ABAddressBook::open(path);
    for (int i = 0; i < kInitial; ++i) {
      auto person = personNamed("P" + std::to_string(i));
      person->setValueForProperty(std::string("round 0"), kABNoteProperty);
      book->addRecord(person);
    }
    ASSERT_TRUE(book->save());
  }
  for (int attempt = 0; attempt < 6; ++attempt) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto book = ABAddressBook::open(path);
      if (!book) _exit(3);
      for (int round = 1;; ++round) {
        auto people = book->people();
        int currentRound = 0;
        if (auto note = people[0]->stringForProperty(kABNoteProperty)) currentRound = std::stoi(note->substr(6));
        std::string note = "round " + std::to_string(currentRound + 1);
        for (const auto& person : people) person->setValueForProperty(note, kABNoteProperty);
        for (int i = 0; i < kAddedPerRound; ++i) {
          auto person = personNamed("R" + std::to_string(round));
          person->setValueForProperty(note, kABNoteProperty);
          book->addRecord(person);
        }
        if (!book->save()) _exit(4);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40 + attempt * 37));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status);

    auto book = ABAddressBook::open(path);
    ASSERT_TRUE(book);
    std::set<std::string> notes;
    for (const auto& person : book->people()) notes.insert(person->stringForProperty(kABNoteProperty).value_or(""));
    ASSERT_EQ(notes.size(), 1u) << "persons of two different saves";
    int round = std::stoi(notes.begin()->substr(6));
    EXPECT_EQ(book->count(), static_cast<size_t>(kInitial + round * kAddedPerRound));
  }
}

TEST(StoreTest, AddingBackARemovedPersonRestoresItsPlace) {
  auto book = ABAddressBook::inMemory();
  auto a = personNamed("A"), b = personNamed("B"), c = personNamed("C");
  for (auto& p : {a, b, c}) book->addRecord(p);
  book->removeRecord(b);
  book->removeRecord(a);
  book->addRecord(personNamed("D"));
  book->addRecord(b);
  book->addRecord(a);
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"A", "B", "C", "D"}));
}

TEST(StoreTest, AddingManyIsAllOrNothing) {
  auto book = ABAddressBook::inMemory();
  auto ann = personNamed("Ann");
  book->addRecord(ann);
  auto bea = personNamed("Bea"), cid = personNamed("Cid");
  ABPersonData clash;
  clash.set(kABUIDProperty, bea->uniqueId());
  std::string error;
  EXPECT_FALSE(book->addRecords({bea, ann, cid, std::make_shared<ABPerson>(clash)}, &error));
  EXPECT_NE(error.find(bea->uniqueId()), std::string::npos) << error;
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann"}));
  EXPECT_FALSE(book->contains(bea));
  EXPECT_FALSE(book->recordForUniqueId(bea->uniqueId()));

  EXPECT_TRUE(book->addRecords({bea, ann, cid, bea}));
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann", "Bea", "Cid"}));
  EXPECT_EQ(book->recordForUniqueId(cid->uniqueId()), cid);
}

// The row of a saved person, removed, whose unique id a new person took and lost again, is deleted.
TEST(StoreTest, AUniqueIdTakenOverAndRemovedAgainLeavesNoRow) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto book = ABAddressBook::open(path);
  auto ann = personNamed("Ann");
  book->addRecord(ann);
  ASSERT_TRUE(book->save());
  book->removeRecord(ann);
  ABPersonData data;
  data.set(kABUIDProperty, ann->uniqueId());
  data.set(kABFirstNameProperty, std::string("Heir"));
  auto heir = std::make_shared<ABPerson>(data);
  ASSERT_TRUE(book->addRecord(heir));
  book->removeRecord(heir);
  ASSERT_TRUE(book->save());
  EXPECT_EQ(ABAddressBook::open(path)->count(), 0u);
}

// Stores large enough to be written and read with a second thread.
TEST(StoreTest, ALargeStoreReadsBackEqualAndTheFirstDamagedRecordIsNamed) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  constexpr int kPersons = 6000;
  std::vector<std::string> uids;
  {
    auto book = ABAddressBook::open(path);
    std::vector<ABPersonRef> persons;
    for (int i = 0; i < kPersons; ++i) {
      auto person = personNamed("P" + std::to_string(i), std::string(i % 50, 'x'));
      ABMultiValue emails;
      emails.addValueWithLabel("p" + std::to_string(i) + "@example.org", kABHomeLabel);
      person->setValueForProperty(emails, kABEmailProperty);
      persons.push_back(person);
      uids.push_back(person->uniqueId());
    }
    ASSERT_TRUE(book->addRecords(persons));
    ASSERT_TRUE(book->save());
    auto reopened = ABAddressBook::open(path);
    ASSERT_EQ(reopened->count(), static_cast<size_t>(kPersons));
    auto people = reopened->people();
    for (int i = 0; i < kPersons; ++i) {
      ASSERT_EQ(people[i]->uniqueId(), uids[i]);
      ASSERT_EQ(*people[i]->snapshot(), *persons[i]->snapshot());
    }
    // Read once, a batch at a time, the persons come in the same order with the same values.
    size_t read = 0, batches = 0;
    ASSERT_TRUE(ABAddressBook::readPersons(path, [&](std::vector<ABPersonData>& batch) {
      ++batches;
      for (const ABPersonData& data : batch) ASSERT_EQ(data, *persons[read++]->snapshot());
    }));
    EXPECT_EQ(read, static_cast<size_t>(kPersons));
    EXPECT_GT(batches, 1u);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (int damaged : {kPersons - 10, kPersons - 2}) {
    std::string sql = "UPDATE persons SET data = x'01FF' WHERE uid = '" + uids[damaged] + "'";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  }
  sqlite3_close(db);
  std::string error;
  EXPECT_FALSE(ABAddressBook::open(path, &error));
  EXPECT_NE(error.find(uids[kPersons - 10]), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(ABAddressBook::readPersons(
      path, [](std::vector<ABPersonData>&) {}, &error));
  EXPECT_NE(error.find(uids[kPersons - 10]), std::string::npos) << error;
  // Where there is no store, reading makes none.
  EXPECT_FALSE(ABAddressBook::readPersons(
      folder.file("absent.sqlite"), [](std::vector<ABPersonData>&) {}, &error));
  EXPECT_FALSE(std::filesystem::exists(folder.file("absent.sqlite")));
}

// The rows read without decoding: batches of the asked size in store order, each person decoded
// on whichever thread with its unique id; a damaged row shows only when decoded, naming the store
// and the contact; the visitor can stop the read; no store is made where there is none.
TEST(StoreTest, StoredBatchesComeInOrderAndAreDecodedOnAnyThread) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  std::vector<ABPersonRef> persons;
  {
    auto book = ABAddressBook::open(path);
    for (int i = 0; i < 7; ++i) persons.push_back(personNamed("P" + std::to_string(i), std::string(i * 40, 'y')));
    ASSERT_TRUE(book->addRecords(persons));
    ASSERT_TRUE(book->save());
  }
  std::vector<std::shared_ptr<const ABStoredBatch>> batches;
  ASSERT_TRUE(ABAddressBook::readStoredBatches(path, 3, [&](std::shared_ptr<const ABStoredBatch> batch) {
    batches.push_back(std::move(batch));
    return true;
  }));
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0]->size(), 3u);
  EXPECT_EQ(batches[2]->size(), 1u);
  // Decoded after the read has ended, on threads of their own.
  std::vector<std::thread> threads;
  std::vector<std::optional<ABPersonData>> decoded(7);
  for (size_t b = 0; b < batches.size(); ++b)
    threads.emplace_back([&, b] {
      for (size_t i = 0; i < batches[b]->size(); ++i) decoded[b * 3 + i] = batches[b]->decode(i);
    });
  for (auto& thread : threads) thread.join();
  for (size_t i = 0; i < persons.size(); ++i) {
    ASSERT_TRUE(decoded[i]) << i;
    EXPECT_EQ(*decoded[i], *persons[i]->snapshot()) << i;
  }

  size_t visits = 0;
  ASSERT_TRUE(ABAddressBook::readStoredBatches(path, 2, [&](std::shared_ptr<const ABStoredBatch>) {
    ++visits;
    return false;
  }));
  EXPECT_EQ(visits, 1u);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string damage = "UPDATE persons SET data = x'01FF' WHERE uid = '" + persons[4]->uniqueId() + "'";
  ASSERT_EQ(sqlite3_exec(db, damage.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  batches.clear();
  ASSERT_TRUE(ABAddressBook::readStoredBatches(path, 3, [&](std::shared_ptr<const ABStoredBatch> batch) {
    batches.push_back(std::move(batch));
    return true;
  }));
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_TRUE(batches[1]->decode(0));
  EXPECT_FALSE(batches[1]->decode(1));
  EXPECT_EQ(batches[1]->damagedError(1),
            path.string() + ": the record of contact " + persons[4]->uniqueId() + " is damaged");

  std::string error;
  EXPECT_FALSE(ABAddressBook::readStoredBatches(
      folder.file("absent.sqlite"), 3, [](std::shared_ptr<const ABStoredBatch>) { return true; }, &error));
  EXPECT_NE(error.find("absent.sqlite"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(folder.file("absent.sqlite")));
}

namespace {

ABPersonData dataNamed(const std::string& first, const std::string& uid = {}) {
  ABPersonData data;
  data.set(kABFirstNameProperty, first);
  if (!uid.empty()) data.set(kABUIDProperty, uid);
  return data;
}

// Gives the batches, each a list of persons.
ABAddressBook::PersonBatches batchesOf(std::vector<std::vector<ABPersonData>> lists) {
  return [lists = std::move(lists)](const std::function<void(std::vector<ABPersonData>&)>& add) {
    for (auto list : lists) add(list);
  };
}

std::string described(std::size_t count) {
  return "Added " + std::to_string(count);
}

}  // namespace

// New persons written straight to the file, batch after batch in one change: after the persons of
// the book, each with a unique id of its own, undone as one change; the book does not hold them.
TEST(StoreTest, NewPersonsGoStraightToTheFileAsOneChange) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  std::string annId;
  {
    auto book = ABAddressBook::open(path);
    ASSERT_TRUE(book);
    ASSERT_TRUE(book->addRecord(personNamed("Ann")));
    annId = book->people()[0]->uniqueId();
    ASSERT_TRUE(book->save());
    std::vector<std::string> uids;
    std::vector<std::vector<ABPersonData>> lists(2);
    for (int i = 0; i < 3000; ++i) lists[0].push_back(dataNamed("Many" + std::to_string(i)));
    lists[1].push_back(dataNamed("Own", "own-id"));
    lists[1].push_back(dataNamed("Twice", "own-id"));  // given earlier in the import
    lists[1].push_back(dataNamed("Taken", annId));     // a person of the book has it
    ABSaveResult result = book->appendNewPersons(batchesOf(std::move(lists)), described, uids);
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(uids.size(), 3003u);
    EXPECT_EQ(uids[3000], "own-id");
    EXPECT_EQ(std::set<std::string>(uids.begin(), uids.end()).size(), 3003u);
    EXPECT_EQ(std::count(uids.begin(), uids.end(), annId), 0);
    EXPECT_EQ(book->count(), 1u);
    ASSERT_TRUE(book->refresh());
    EXPECT_EQ(book->count(), 3004u);
    // The book goes on saving after the persons it did not hold.
    ASSERT_TRUE(book->addRecord(personNamed("Last")));
    ASSERT_TRUE(book->save());
  }
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  auto names = firstNames(*book);
  ASSERT_EQ(names.size(), 3005u);
  EXPECT_EQ(names[0], "Ann");
  EXPECT_EQ(names[1], "Many0");
  EXPECT_EQ(names[3000], "Many2999");
  EXPECT_EQ((std::vector<std::string>(names.begin() + 3001, names.end())),
            (std::vector<std::string>{"Own", "Twice", "Taken", "Last"}));
  EXPECT_EQ(book->recordForUniqueId("own-id")->stringForProperty(kABFirstNameProperty), "Own");
  std::vector<ABChangeSet> history;
  ASSERT_TRUE(book->changeHistory(history));
  ASSERT_GE(history.size(), 3u);
  auto added = std::find_if(history.begin(), history.end(), [](const ABChangeSet& c) { return c.persons == 3003; });
  ASSERT_NE(added, history.end());
  EXPECT_EQ(added->description, "Added 3003");
  ASSERT_TRUE(book->undo(0, false));  // "Last"
  ASSERT_TRUE(book->undo(0, false));
  EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann"}));
}

// Reading that fails half way (here: after the first batch went into the file) leaves the file as
// it was; so do pending changes of the book, which must be saved first.
TEST(StoreTest, NewPersonsStraightToTheFileAreAllOrNothing) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  ASSERT_TRUE(book->addRecord(personNamed("Ann")));
  ASSERT_TRUE(book->save());
  std::vector<std::string> uids;
  auto failing = [](const std::function<void(std::vector<ABPersonData>&)>& add) {
    for (int batch = 0; batch < 3; ++batch) {
      std::vector<ABPersonData> list;
      for (int i = 0; i < 2000; ++i) list.push_back(dataNamed("Read" + std::to_string(i)));
      add(list);
    }
    throw std::runtime_error("the third piece is malformed");
  };
  EXPECT_THROW(book->appendNewPersons(failing, described, uids), std::runtime_error);
  EXPECT_TRUE(uids.empty());

  book->people()[0]->setValueForProperty(std::string("Anne"), kABFirstNameProperty);
  ABSaveResult pending = book->appendNewPersons(batchesOf({{dataNamed("New")}}), described, uids);
  EXPECT_FALSE(pending.ok());
  EXPECT_TRUE(uids.empty());
  book.reset();

  auto again = ABAddressBook::open(path);
  ASSERT_TRUE(again);
  EXPECT_EQ(firstNames(*again), (std::vector<std::string>{"Ann"}));
  std::vector<ABChangeSet> history;
  ASSERT_TRUE(again->changeHistory(history));
  EXPECT_EQ(history.size(), 1u);
}

TEST(StoreTest, TheSharedBookIsClosedProperlyWhenTheProgramEnds) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  const pid_t child = fork();
  if (child == 0) {
    ABAddressBook::setSharedStorePath(path);
    ABAddressBook* book = ABAddressBook::sharedAddressBook();
    if (!book || !book->addRecord(personNamed("Ann")) || !book->save()) _exit(1);
    std::exit(0);  // as a program ends: the shared book goes with the statics
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // The last program to close the file folds the journal into it and removes it.
  EXPECT_FALSE(std::filesystem::exists(path.string() + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(path.string() + "-shm"));
  EXPECT_EQ(firstNames(*ABAddressBook::open(path)), std::vector<std::string>{"Ann"});
}

namespace {

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string journalModeOf(const std::filesystem::path& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr);
  std::string mode =
      sqlite3_step(statement) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)) : "";
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return mode;
}

}  // namespace

TEST(StoreTest, ANewStoreIsPutInPlaceOnlyWhenBuiltWhole) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  // Built: nothing at the path while building, the whole store there afterwards, in its usual
  // journal mode, and nothing else left beside it.
  std::string error;
  auto outcome = ABAddressBook::buildNewStore(
      path,
      [&](ABAddressBook& book) {
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_TRUE(book.addRecord(personNamed("Ann")) && book.addRecord(personNamed("Bea")));
        return book.save();
      },
      &error);
  ASSERT_EQ(outcome, ABAddressBook::BuildOutcome::Built) << error;
  EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"book.sqlite"});
  EXPECT_EQ(journalModeOf(path), "wal");
  {
    auto book = ABAddressBook::open(path);
    EXPECT_EQ(firstNames(*book), (std::vector<std::string>{"Ann", "Bea"}));
    std::vector<ABChangeSet> history;
    ASSERT_TRUE(book->changeHistory(history));
    EXPECT_EQ(history.size(), 1u);
  }

  // A build that fails or throws leaves no store and nothing beside it.
  auto other = folder.file("other.sqlite");
  EXPECT_EQ(ABAddressBook::buildNewStore(
                other, [](ABAddressBook&) { return false; }, &error),
            ABAddressBook::BuildOutcome::Failed);
  EXPECT_THROW(ABAddressBook::buildNewStore(
                   other, [](ABAddressBook&) -> bool { throw std::runtime_error("stopped"); }, &error),
               std::runtime_error);
  EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"book.sqlite"});
}

TEST(StoreTest, ANewStoreMadeElsewhereMeanwhileIsLeftAsItIs) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  std::string error;
  auto outcome = ABAddressBook::buildNewStore(
      path,
      [&](ABAddressBook& book) {
        book.addRecord(personNamed("Mine"));
        auto elsewhere = ABAddressBook::open(path);
        elsewhere->addRecord(personNamed("Theirs"));
        return elsewhere->save() && book.save();
      },
      &error);
  EXPECT_EQ(outcome, ABAddressBook::BuildOutcome::Existed);
  EXPECT_EQ(firstNames(*ABAddressBook::open(path)), std::vector<std::string>{"Theirs"});
  EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"book.sqlite"});
}

TEST(StoreTest, WhatAKilledBuildOfANewStoreLeftIsRemovedByTheNext) {
  TempFolder folder;
  auto path = folder.file("book.sqlite");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    std::string error;
    ABAddressBook::buildNewStore(
        path,
        [&](ABAddressBook& book) {
          book.addRecord(personNamed("Ann"));
          book.save();
          char done = 1;
          if (write(ready[1], &done, 1) != 1) _exit(2);
          pause();  // killed here, in the middle of building
          return true;
        },
        &error);
    _exit(1);
  }
  char done = 0;
  ASSERT_EQ(read(ready[0], &done, 1), 1);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(filesIn(folder.path()).empty());  // the killed build's file

  std::string error;
  EXPECT_EQ(ABAddressBook::buildNewStore(
                path, [](ABAddressBook& book) { return book.addRecord(personNamed("Bea")) && book.save(); }, &error),
            ABAddressBook::BuildOutcome::Built);
  EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"book.sqlite"});
  EXPECT_EQ(firstNames(*ABAddressBook::open(path)), std::vector<std::string>{"Bea"});
}

// A store built whole has the tables and indexes of a store that grew write by write, the index of
// store order whole after a write that was abandoned and after every later one.
TEST(StoreTest, AStoreBuiltWholeHasTheIndexesOfAnyOther) {
  TempFolder folder;
  auto built = folder.file("built.sqlite"), grown = folder.file("grown.sqlite");
  auto sameWrites = [](ABAddressBook& book) {
    std::vector<std::string> uids;
    auto failing = [](const std::function<void(std::vector<ABPersonData>&)>& add) {
      std::vector<ABPersonData> list{dataNamed("Lost")};
      add(list);
      throw std::runtime_error("the second piece is malformed");
    };
    EXPECT_THROW(book.appendNewPersons(failing, described, uids), std::runtime_error);
    std::vector<std::vector<ABPersonData>> lists(2);
    for (int i = 0; i < 3000; ++i) lists[i % 2].push_back(dataNamed("Many" + std::to_string(i)));
    EXPECT_TRUE(book.appendNewPersons(batchesOf(std::move(lists)), described, uids).ok());
    EXPECT_TRUE(book.refresh());
    book.removeRecord(book.people()[10]);
    book.people()[20]->setValueForProperty(std::string("Changed"), kABFirstNameProperty);
    EXPECT_TRUE(book.addRecord(personNamed("Last")));
    return book.save();
  };
  std::string error;
  ASSERT_EQ(ABAddressBook::buildNewStore(built, sameWrites, &error), ABAddressBook::BuildOutcome::Built) << error;
  {
    auto book = ABAddressBook::open(grown);
    ASSERT_TRUE(book && sameWrites(*book));
  }
  const char* schema = "SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_master ORDER BY name";
  EXPECT_EQ(rowsOf(built, schema), rowsOf(grown, schema));
  EXPECT_EQ(rowsOf(built, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  const auto byIndex = rowsOf(built, "SELECT ord FROM persons INDEXED BY persons_by_order ORDER BY ord");
  EXPECT_EQ(byIndex.size(), 3000u);
  EXPECT_EQ(byIndex, rowsOf(built, "SELECT ord FROM persons NOT INDEXED ORDER BY ord"));
  EXPECT_EQ(firstNames(*ABAddressBook::open(built)), firstNames(*ABAddressBook::open(grown)));
}

// A new store's write that changes more pages than it keeps in memory writes some of them to the
// file before it ends: a write that fails after that leaves nothing of itself, and the next one
// leaves every row whole.
TEST(StoreTest, ABuildingWriteLargerThanItsMemoryLeavesAllOrNothing) {
  TempFolder folder;
  auto built = folder.file("built.sqlite");
  auto noted = [](const std::string& first, int i) {
    ABPersonData data = dataNamed(first + std::to_string(i));
    data.set(kABNoteProperty, std::string(4000, static_cast<char>('a' + i % 26)) + std::to_string(i));
    return data;
  };
  auto build = [&](ABAddressBook& book) {
    std::vector<std::string> uids;
    auto failing = [&](const std::function<void(std::vector<ABPersonData>&)>& add) {
      for (int batch = 0; batch < 6; ++batch) {  // the writing takes at least four before this throws
        std::vector<ABPersonData> list;
        for (int i = 0; i < 1000; ++i) list.push_back(noted("Lost", batch * 1000 + i));
        add(list);
      }
      throw std::runtime_error("the last piece is malformed");
    };
    EXPECT_THROW(book.appendNewPersons(failing, described, uids), std::runtime_error);
    EXPECT_EQ(rowsOf(book.path(), "SELECT count(*) FROM persons"), std::vector<std::string>{"0"});
    std::vector<std::vector<ABPersonData>> lists(4);
    for (int i = 0; i < 4000; ++i) lists[i / 1000].push_back(noted("Kept", i));
    return book.appendNewPersons(batchesOf(std::move(lists)), described, uids).ok();
  };
  std::string error;
  ASSERT_EQ(ABAddressBook::buildNewStore(built, build, &error), ABAddressBook::BuildOutcome::Built) << error;
  EXPECT_EQ(rowsOf(built, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  EXPECT_EQ(rowsOf(built, "SELECT count(*), sum(length(data)) > 16000000 FROM persons"),
            std::vector<std::string>{"4000|1"});
  EXPECT_EQ(rowsOf(built, "SELECT count(*) FROM changes"), std::vector<std::string>{"1"});
  auto book = ABAddressBook::open(built);
  ASSERT_TRUE(book);
  ASSERT_EQ(book->people().size(), 4000u);
  for (int i = 0; i < 4000; ++i) {
    ABPersonData expected = noted("Kept", i), values = *book->people()[i]->snapshot();
    values.remove(kABUIDProperty);
    ASSERT_TRUE(values == expected) << i;
  }
}

// A store being built takes its new rows a batch at a time: it then holds what a store written one
// row at a time holds (rows, their numbers, the history of the write), and an id given twice or one
// the store has already is refused as a conflict, with nothing written.
TEST(StoreTest, ABuildingStoreTakesNewRowsInBatchesAndHoldsWhatOneRowAtATimeGives) {
  TempFolder folder;
  constexpr int kRows = 2500;  // more than two batches
  std::vector<std::string> uids, values;
  for (int i = 0; i < kRows; ++i) {
    uids.push_back("uid-" + std::to_string(i * 7919 % kRows));  // not in the order of the rows
    // A few large rows (pictures) make a batch end before its count of rows.
    const std::size_t size = i % 500 == 7 ? 700000 : static_cast<std::size_t>(20 + i % 300);
    values.push_back(std::string(size, static_cast<char>('a' + i % 26)));
  }
  auto rowsFrom = [&](std::vector<int> indexes) {
    auto next = std::make_shared<std::size_t>(0);
    return SqliteStore::RowSource([&, indexes, next](SqliteStore::Row& row) {
      if (*next == indexes.size()) return false;
      const int i = indexes[(*next)++];
      row = SqliteStore::Row();
      row.uid = uids[static_cast<std::size_t>(i)];
      row.order = static_cast<std::int64_t>(*next);
      row.data = values[static_cast<std::size_t>(i)];
      return true;
    });
  };
  std::vector<int> all;
  for (int i = 0; i < kRows; ++i) all.push_back(i);
  SqliteStore::ChangeNote note;
  note.time = 1000;
  note.description = "Imported";
  std::string error;
  auto plain = SqliteStore::open(folder.file("plain.sqlite"), &error);
  ASSERT_TRUE(plain) << error;
  ASSERT_TRUE(plain->write(rowsFrom(all), {}, 1, note).ok());
  auto built = SqliteStore::openForBuilding(folder.file("built.sqlite"), &error);
  ASSERT_TRUE(built) << error;
  std::vector<int> twice = all;
  twice[2100] = 3;  // in another batch than its first
  auto refused = built->write(rowsFrom(twice), {}, 1, note);
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.conflicts, std::vector<std::string>{uids[3]});
  ASSERT_TRUE(built->write(rowsFrom(all), {}, 1, note).ok());
  auto taken = built->write(rowsFrom({5}), {}, 1, note);
  EXPECT_EQ(taken.conflicts, std::vector<std::string>{uids[5]});
  ASSERT_TRUE(built->finishBuilding(&error)) << error;
  built.reset();
  plain.reset();
  for (const char* query :
       {"SELECT id, uid, ord, data, version FROM persons ORDER BY id", "SELECT * FROM change_persons ORDER BY id",
        "SELECT * FROM changes", "SELECT * FROM store_info ORDER BY name", "PRAGMA integrity_check"}) {
    auto expected = rowsOf(folder.file("plain.sqlite"), query);
    EXPECT_EQ(rowsOf(folder.file("built.sqlite"), query), expected) << query;
    EXPECT_GE(expected.size(), 1u) << query;
  }
  EXPECT_EQ(rowsOf(folder.file("built.sqlite"), "SELECT count(*) FROM persons"),
            std::vector<std::string>{std::to_string(kRows)});
}
