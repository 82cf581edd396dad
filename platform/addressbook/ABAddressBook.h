#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ABPerson.h"

class EncodedPersons;
class SqliteStore;

// A search for persons that hold a value (ABAddressBook::searchElementForProperty).
struct ABSearchElement {
  std::string property;
  std::optional<std::string> label;  // nullopt: any label
  std::optional<std::string> key;    // nullopt: the value itself, not a dictionary item
  std::string value;
  int comparison = 0;  // kABEqual: exact, case-sensitive
};

// Persons as the store holds them, read but not yet decoded (ABAddressBook::readStoredBatches).
// Immutable: any thread may decode any of them at any time.
class ABStoredBatch {
 public:
  size_t size() const { return rows_.size(); }
  // The values of person i with its unique id; nullopt when its row is damaged.
  std::optional<ABPersonData> decode(size_t i) const;
  // What reading the store says of person i when its row is damaged: "STORE: the record of
  // contact UID is damaged".
  std::string damagedError(size_t i) const;
  // Person i's unique id, and its values as the store encodes them (PersonCodec), viewed in the
  // batch.
  std::string_view uid(size_t i) const;
  std::string_view data(size_t i) const;

 private:
  friend class ABAddressBook;
  struct Row {
    size_t uid, data, end;  // offsets into bytes_: uid at [uid, data), data at [data, end)
  };

  std::filesystem::path store_;
  std::string bytes_;
  std::vector<Row> rows_;
};

// A person whose row another program changed or removed since this process read it.
struct ABSaveConflict {
  enum class Kind {
    Changed,  // the row holds another version than the one read
    Removed,  // the row is gone
    IdTaken,  // a new person's unique id has been given to a row by another program
  };
  std::string uid;
  std::string name;  // the contact's name, as the store holds it now where it still does
  Kind kind = Kind::Changed;

  // "Ann Lee was changed by another program; your change was not saved"
  std::string message() const;
};

// What save() did.
struct ABSaveResult {
  enum class Status {
    Saved,     // every pending change is written
    Conflict,  // nothing written: persons of the save were changed or removed by another program
    Busy,      // nothing written: another program held the store for longer than the wait allows
    Failed,    // nothing written: the file could not be written
  };
  Status status = Status::Saved;
  std::vector<ABSaveConflict> conflicts;
  std::string error;  // one line saying why nothing was written; empty when saved

  bool ok() const { return status == Status::Saved; }
  explicit operator bool() const { return ok(); }
};

// What refresh() found changed by other programs; every list holds unique ids.
struct ABRefreshResult {
  std::vector<std::string> changed;
  std::vector<std::string> removed;
  std::vector<std::string> added;
  bool any() const { return !changed.empty() || !removed.empty() || !added.empty(); }
};

// One change set of the store's history: one save (or restore, or mark), with what it did.
struct ABChangeSet {
  std::int64_t id = 0;
  std::int64_t time = 0;  // seconds since 1970
  std::string description;
  std::int64_t persons = 0;  // how many persons it touched
  bool undone = false;
};

// A contact a change set touched, named as the change set left it (or, for one it removed, as it was).
struct ABChangedContact {
  enum class Kind { Added, Changed, Removed, Marked };
  std::string uid;
  std::string name;
  Kind kind = Kind::Changed;
};

// A person in the trash: removed by a change set in effect, not back in the book.
struct ABTrashEntry {
  ABPersonRef person;  // a free person holding its values and unique id as they were
  std::int64_t time = 0;
  std::int64_t changeId = 0;
};

// A fact recorded about a set of persons: of a kind, over unique ids, with an optional value.
struct ABMark {
  std::int64_t id = 0;
  std::string kind;
  std::vector<std::string> uids;  // sorted
  std::string value;
};

// The address book: persons in store order, persisted in an SQLite file.
// Changes (to persons of the book, additions, removals) are pending until save(), which writes them
// in one transaction. people() and reads of persons may run on any thread while one thread changes.
//
// Several programs (and several books in one program) may use one file. Every row carries a version
// that each save of it advances, and save() writes only over rows that still hold the version this
// book read: it never overwrites what another program saved since, and never brings back a person
// another program removed.
class ABAddressBook {
 public:
  ~ABAddressBook();
  ABAddressBook(const ABAddressBook&) = delete;
  ABAddressBook& operator=(const ABAddressBook&) = delete;

  // Opens (creating when missing) the store at path. nullptr and *error on failure.
  static std::unique_ptr<ABAddressBook> open(const std::filesystem::path& path, std::string* error = nullptr);
  // Reads every person of the store at path once, in store order, a batch at a time, without
  // keeping any: for a program that only reads each person once (an export of the command line).
  // All batches come from one read, so from one state of the file. A batch's persons are decoded
  // on every core and then given to visit, which may take them. False and *error when there is no
  // store at path (none is made), it cannot be read, or a row is damaged (visit may have seen the
  // batches before it).
  using PersonBatchVisitor = std::function<void(std::vector<ABPersonData>& batch)>;
  static constexpr size_t kPersonsPerBatch = 4096;
  static bool readPersons(const std::filesystem::path& path, const PersonBatchVisitor& visit,
                          std::string* error = nullptr);
  // The same read without decoding: each batch of at most personsPerBatch rows is given to visit as
  // the store holds them, to be decoded wherever the caller likes (ABStoredBatch::decode, on any
  // thread). visit returns false to stop the read. False and *error only when there is no store at
  // path (none is made) or it cannot be read; a damaged row shows when it is decoded.
  // The marks in effect of each kind of markKinds are read into marks (a list per kind) after the
  // rows, from the same state of the file.
  using StoredBatchVisitor = std::function<bool(std::shared_ptr<const ABStoredBatch> batch)>;
  static bool readStoredBatches(const std::filesystem::path& path, size_t personsPerBatch,
                                const StoredBatchVisitor& visit, std::string* error = nullptr,
                                const std::vector<std::string>& markKinds = {},
                                std::vector<std::vector<ABMark>>* marks = nullptr);
  // Makes a new store at path with what build writes into it. The file is built under a name of its
  // own beside path, without waiting for the disk at each write, and moved to path only once build
  // returned true and the file is on the disk: other programs see no store at path until then, and
  // a failed or killed build leaves none (what a killed build left is removed by the next one).
  // Existed: a store appeared at path meanwhile; nothing was moved (build may be made again on
  // that store). Failed: build returned false, or the file could not be made (*error says why).
  // An exception thrown by build is thrown again after the file is removed.
  enum class BuildOutcome { Built, Existed, Failed };
  static BuildOutcome buildNewStore(const std::filesystem::path& path,
                                    const std::function<bool(ABAddressBook& book)>& build, std::string* error);
  // A new store at newPath of every person of the damaged store at path whose row can still be
  // read and decoded (`rolvane repair`); path is only read. The counts say what was kept and what
  // could not be read.
  struct RepairResult {
    size_t kept = 0;
    size_t undecodable = 0;    // rows read but not contacts any more
    bool partsUnread = false;  // parts of the file could not be read at all
    std::string error;
    bool ok() const { return error.empty(); }
  };
  static RepairResult repairInto(const std::filesystem::path& path, const std::filesystem::path& newPath);
  // A store that lives only in memory (save() succeeds and keeps nothing).
  static std::unique_ptr<ABAddressBook> inMemory();

  // The application's one store: the path set with setSharedStorePath, else $ROLVANE_STORE, else
  // $XDG_DATA_HOME/rolvane/AddressBook.sqlite. nullptr when it cannot be opened (see sharedOpenError).
  static ABAddressBook* sharedAddressBook();
  static void setSharedStorePath(std::filesystem::path path);
  static std::filesystem::path defaultStorePath();
  static std::string sharedOpenError();
  // For the end of a process: closes the book's file as its destructor would (the last program to
  // close it folds the journal into it), but leaves the persons' memory to the system, which takes
  // it back with the rest of the process at once; freeing a large book value by value took about
  // as long as reading it. The shared book is closed so at exit.
  static void closeAtExit(std::unique_ptr<ABAddressBook> book);

  // How long a book opened from now on waits for another program that holds the store (a long
  // import), and what it calls once when it has waited a second. The default: 30 s, no call.
  static void setDefaultLockWait(std::chrono::milliseconds limit, std::function<void()> waiting);

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

  // Writes every pending change in one transaction, all or nothing. It writes only when every
  // changed or removed person's row still holds the version this book read, and no new person's
  // unique id has been taken meanwhile. When anything is not written, nothing is: every person the
  // save touched then holds its values as the store holds them now (the same person objects; a
  // person removed by another program leaves the book, an added one that was not written too), no
  // change stays pending, and the result says why (naming each contact changed elsewhere).
  ABSaveResult saveChanges();
  // saveChanges().ok(), with *error set to the result's line on failure.
  bool save(std::string* error = nullptr);

  // Gives the persons of an import in batches: calls add with each batch (which add may empty).
  // Throws to abandon the import.
  using PersonBatches = std::function<void(const std::function<void(std::vector<ABPersonData>&)>& add)>;
  // Writes new persons straight to the file, in one transaction, without keeping them in memory:
  // for a program that imports and then ends (the command line). While the rows of one batch go
  // into the file, the next batch is read and encoded on the other cores. A person whose unique id
  // is absent, held by a person of the book or given earlier in the same import gets a new one;
  // uids receives every person's id in order. describe(count) names the change in the history.
  // An exception thrown by batches (or memory running out) leaves the file as it was and is thrown
  // again here. Fails when the book has changes of its own pending. The book does not hold the
  // new persons afterwards (refresh() reads them); uids are given only when the result is Saved.
  ABSaveResult appendNewPersons(const PersonBatches& batches, const std::function<std::string(std::size_t)>& describe,
                                std::vector<std::string>& uids);
  // The same for persons encoded where they were read (each batch is settled and written as it
  // comes: ids the book has or an earlier person took are replaced).
  using EncodedPersonBatches = std::function<void(const std::function<void(EncodedPersons&)>& add)>;
  ABSaveResult appendEncodedPersons(const EncodedPersonBatches& batches,
                                    const std::function<std::string(std::size_t)>& describe,
                                    std::vector<std::string>& uids);
  bool hasUnsavedChanges() const;

  // Every save is recorded as one change set in the same transaction, with the persons before the
  // change. The next save is described with this text (a line a user understands: "Merged 3
  // contacts into Ann Lee"); without one, the save describes itself by what it counts.
  void setNextChangeDescription(std::string description);
  // A stored person a save changes gets a new revision: the REV line its card came with (kept
  // lines) says the time of the save. The next save only (a sync taking the source's cards, an
  // import updating from files) keeps the revisions the persons hold.
  void keepRevisionsInNextSave();
  // The id of the change set the last save recorded (0: it changed nothing).
  std::int64_t lastChangeId() const;
  // Without recording (only for measuring what recording costs) saves keep no history.
  void setRecordsHistory(bool records);

  // One action of the user (a Fix All, a merge of several groups, an edit of many contacts) as one
  // change set: every save and mark from beginChangeSet to endChangeSet is recorded in one change
  // set, which undo and redo take back or make again whole. Each save still checks its persons as
  // on its own and fails alone (the others stay). The saves reach the file together, in one
  // transaction, at endChangeSet; the store is held for other programs until then, so the action
  // must not wait for the user in between. False and *error when the store cannot be held (another
  // program holds it for longer than the wait allows), or one is begun already.
  bool beginChangeSet(std::string* error = nullptr);
  // Writes the saves since beginChangeSet as one change set with this description (empty: the
  // first save's own). When the file cannot be written, nothing of them is, the persons are read
  // again as the store holds them, and false and *error say why.
  bool endChangeSet(std::string description, std::string* error = nullptr);
  // Takes back every save since beginChangeSet; the persons are read again as the store holds them.
  void abandonChangeSet();
  bool inChangeSet() const;

  // History, newest first.
  bool changeHistory(std::vector<ABChangeSet>& out, std::string* error = nullptr) const;
  // The contacts change set id touched, in the order it first touched them.
  bool changeContacts(std::int64_t id, std::vector<ABChangedContact>& out, std::string* error = nullptr) const;
  // Undoes change set id (0: the newest in effect), or with andLater every change set in effect from
  // id on, newest first, in one transaction, and reloads the persons. Refused (nothing changed) while
  // changes are pending, or when a later change in effect touched the same persons (*error names it).
  bool undo(std::int64_t id, bool andLater, std::vector<ABChangeSet>* undone = nullptr, std::string* error = nullptr);
  // What undo and redo would take now (id 0: nothing).
  bool undoRedoCandidates(ABChangeSet& undo, ABChangeSet& redo, std::string* error = nullptr) const;
  // Redoes the change set undone last.
  bool redo(ABChangeSet* redone = nullptr, std::string* error = nullptr);

  // The trash, newest first.
  bool trash(std::vector<ABTrashEntry>& out, std::string* error = nullptr) const;
  // Puts persons of the trash back under their unique ids, at their old places, as one change set.
  bool restoreFromTrash(const std::vector<std::string>& uids, std::string description, std::string* error = nullptr);
  // Forgets the trash for good, with the history that could bring its persons back.
  bool emptyTrash(std::int64_t* emptied = nullptr, std::string* error = nullptr);
  // Drops change sets, and the trash, older than kHistoryDays days before now. Done on opening.
  bool expireHistory(std::int64_t now, std::string* error = nullptr);
  static constexpr std::int64_t kHistoryDays = 30;

  // Marks in effect of a kind; adding one is a change set of its own.
  bool marks(const std::string& kind, std::vector<ABMark>& out, std::string* error = nullptr) const;
  bool addMark(const std::string& kind, const std::vector<std::string>& uids, const std::string& value,
               std::string description, std::string* error = nullptr);

  // How a change set names a person: as it is shown everywhere (shownName); a group card as "the
  // group NAME".
  static std::string nameForHistory(const ABPerson& person);
  static std::string nameForHistory(const ABPersonData& data);

  // The time the history records (seconds since 1970); tests may replace the clock (nullptr: the
  // system clock).
  static std::int64_t now();
  static void setClockForTesting(std::int64_t (*clock)());
  // Drops every pending change and reloads the persons as last saved.
  bool revert(std::string* error = nullptr);

  // True when another program (or another book on the same file) has saved since this book last
  // read the file. Cheap enough to ask every few seconds.
  bool changedElsewhere() const;
  // Reads what other programs saved since this book last read: changed persons get their stored
  // values (the same person objects), removed ones leave the book, added ones join it in store
  // order. Persons with changes of this book still pending are left as they are (their save will
  // find out). False and *error when the file cannot be read.
  bool refresh(ABRefreshResult* result = nullptr, std::string* error = nullptr);

  ABSearchElement searchElementForProperty(const std::string& property, std::optional<std::string> label,
                                           std::optional<std::string> key, std::string value, int comparison = 0) const;
  // Persons with a value exactly equal to the element's, in store order.
  std::vector<ABPersonRef> recordsMatchingSearchElement(const ABSearchElement& element) const;

  const std::filesystem::path& path() const { return path_; }

 private:
  ABAddressBook() = default;
  // open, or with building a new store made for buildNewStore (SqliteStore::openForBuilding).
  static std::unique_ptr<ABAddressBook> openStore(const std::filesystem::path& path, bool building, std::string* error);
  bool load(std::string* error);
  // A store of a version that knew no groups holds group cards as persons, their kind and members
  // among the lines kept as they came: read again as groups, once, as one change of the history (a
  // store that cannot be changed now tries at the next start).
  void readGroupCardsOfEarlierVersion();
  // Reloads every person as saved, keeping the person objects that screens hold.
  bool refreshLocked(ABRefreshResult* result, std::string* error);
  // Adds the names of the persons an undo or redo found changed since to its *error.
  void nameChangedSince(const std::vector<std::string>& uids, std::string* error) const;
  bool reloadLocked(std::string* error);
  // A history operation on the file, then the reload; refused while changes are pending.
  bool changeFile(const std::function<bool(std::string*)>& operation, std::string* error);
  std::string describePendingLocked() const;

  struct Slot {
    ABPersonRef person;
    std::int64_t order = 0;
    std::uint64_t savedVersion = 0;  // the person's version() when last read or written; 0: never
    std::int64_t rowVersion = 0;     // the version of its row when last read or written; 0: no row
  };
  struct PendingRemoval {
    ABPersonRef person;
    std::int64_t rowVersion = 0;
    std::int64_t order = 0;
  };
  // Adds persons known to be new to the book, in order; false (and nothing added) when a unique id
  // is taken.
  bool addNewRecords(const std::vector<ABPersonRef>& persons, std::string* error);
  void placeInOrder(Slot& slot);
  // After a save that wrote nothing: gives every person the save touched its stored values.
  void reloadTouched(const std::vector<std::string>& uids, std::vector<PendingRemoval> removals,
                     const std::vector<std::string>& conflicts, ABSaveResult& result);
  void sortPeople();
  bool hasPendingAdditions() const;
  // Records that the slot's person is saved as it is now; from now on it tells this book of its
  // changes.
  void markSaved(Slot& slot);
  void track(ABPerson& person);
  // Whether the person (of this book) holds what was last saved or read.
  bool savedAsItIs(const ABPerson& person) const;
  Slot* slotOf(const ABPerson* person);
  const Slot* slotOf(const ABPerson* person) const;

  mutable std::mutex mutex_;
  // The persons changed since the last save, as they tell it (ABPerson::changes_).
  std::shared_ptr<ABChangedPersons> changed_ = std::make_shared<ABChangedPersons>();
  std::filesystem::path path_;
  std::unique_ptr<SqliteStore> sqlite_;
  std::vector<ABPersonRef> people_;
  // Keyed by unique id; the keys view the persons' ABPerson::uid_, which never changes.
  std::unordered_map<std::string_view, Slot> slots_;
  // Rows to delete at the next save; a person added with one of their unique ids again takes the
  // row over.
  std::vector<PendingRemoval> pendingRemovals_;
  // Position of persons removed since the last save, so that adding one back restores its place.
  std::unordered_map<std::string, std::int64_t> removedOrders_;
  std::int64_t nextOrder_ = 1;
  // Persons appended since the file was last read or written have orders from here on.
  std::int64_t appendFrom_ = 1;
  mutable std::int64_t dataVersion_ = 0;
  std::string nextDescription_;
  bool nextSaveKeepsRevisions_ = false;
  std::int64_t lastChangeId_ = 0;
  bool recordsHistory_ = true;
};

// An action of several saves as one change set (ABAddressBook::beginChangeSet): begun when made,
// abandoned when it goes without end() (an exception on the way, say).
class ABChangeSetScope {
 public:
  explicit ABChangeSetScope(ABAddressBook& book);
  ~ABChangeSetScope();
  ABChangeSetScope(const ABChangeSetScope&) = delete;
  ABChangeSetScope& operator=(const ABChangeSetScope&) = delete;
  // False when the change set could not begin (error() says why): the saves are then each a
  // change set of their own, as without a scope.
  bool begun() const { return begun_; }
  const std::string& error() const { return error_; }
  bool end(std::string description, std::string* error = nullptr);

 private:
  ABAddressBook& book_;
  bool begun_ = false;
  std::string error_;
};
