#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ABPerson.h"

class SqliteStore;

// A search for persons that hold a value (ABAddressBook::searchElementForProperty).
struct ABSearchElement {
  std::string property;
  std::optional<std::string> label;  // nullopt: any label
  std::optional<std::string> key;    // nullopt: the value itself, not a dictionary item
  std::string value;
  int comparison = 0;  // kABEqual: exact, case-sensitive
};

// The address book: persons in store order, persisted in an SQLite file.
// Changes (to persons of the book, additions, removals) are pending until save(), which writes them
// in one transaction. people() and reads of persons may run on any thread while one thread changes.
class ABAddressBook {
 public:
  ~ABAddressBook();
  ABAddressBook(const ABAddressBook&) = delete;
  ABAddressBook& operator=(const ABAddressBook&) = delete;

  // Opens (creating when missing) the store at path. nullptr and *error on failure.
  static std::unique_ptr<ABAddressBook> open(const std::filesystem::path& path, std::string* error = nullptr);
  // A store that lives only in memory (save() succeeds and keeps nothing).
  static std::unique_ptr<ABAddressBook> inMemory();

  // The application's one store: the path set with setSharedStorePath, else $ROLVANE_STORE, else
  // $XDG_DATA_HOME/rolvane/AddressBook.sqlite. nullptr when it cannot be opened (see sharedOpenError).
  static ABAddressBook* sharedAddressBook();
  static void setSharedStorePath(std::filesystem::path path);
  static std::filesystem::path defaultStorePath();
  static std::string sharedOpenError();

  std::vector<ABPersonRef> people() const;
  size_t count() const;
  ABPersonRef recordForUniqueId(const std::string& uid) const;
  bool contains(const ABPersonRef& person) const;

  // Adds a person (pending) at the end of the store order. Adding one already stored succeeds and
  // keeps one record; adding back one removed since the last save puts it back in its place.
  // A person whose unique id another record holds is refused.
  bool addRecord(const ABPersonRef& person, std::string* error = nullptr);
  // addRecord for each person in turn, all or nothing: when one is refused, none is added.
  bool addRecords(const std::vector<ABPersonRef>& persons, std::string* error = nullptr);
  bool removeRecord(const ABPersonRef& person, std::string* error = nullptr);

  // Writes every pending change in one transaction. On failure nothing is written, the changes stay
  // pending and *error says why.
  bool save(std::string* error = nullptr);
  bool hasUnsavedChanges() const;
  // Drops every pending change and reloads the persons as last saved.
  bool revert(std::string* error = nullptr);

  ABSearchElement searchElementForProperty(const std::string& property, std::optional<std::string> label,
                                           std::optional<std::string> key, std::string value, int comparison = 0) const;
  // Persons with a value exactly equal to the element's, in store order.
  std::vector<ABPersonRef> recordsMatchingSearchElement(const ABSearchElement& element) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  ABAddressBook() = default;
  bool load(std::string* error);

  struct Slot {
    ABPersonRef person;
    std::int64_t order = 0;
    std::uint64_t savedVersion = 0;  // 0: never written in its present form
    bool inFile = false;             // the file holds a row of this unique id
  };
  // Adds persons known to be new to the book, in order; false (and nothing added) when a unique id
  // is taken.
  bool addNewRecords(const std::vector<ABPersonRef>& persons, std::string* error);
  void placeInOrder(Slot& slot);
  Slot* slotOf(const ABPerson* person);
  const Slot* slotOf(const ABPerson* person) const;

  mutable std::mutex mutex_;
  std::filesystem::path path_;
  std::unique_ptr<SqliteStore> sqlite_;
  std::vector<ABPersonRef> people_;
  // Keyed by unique id; the keys view the persons' ABPerson::uid_, which never changes.
  std::unordered_map<std::string_view, Slot> slots_;
  // Unique ids of rows to delete at the next save; a person added with one of them again takes
  // its row over.
  std::vector<std::string> pendingRemovals_;
  // Position of persons removed since the last save, so that adding one back restores its place.
  std::unordered_map<std::string, std::int64_t> removedOrders_;
  std::int64_t nextOrder_ = 1;
};
