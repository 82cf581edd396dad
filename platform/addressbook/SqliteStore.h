#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "StoreLockWait.h"

struct sqlite3;
struct sqlite3_stmt;

// The SQLite file behind an address book: one row per person (unique id, position in store order,
// version, encoded values). Writes happen in one transaction each; the journal is write-ahead, so a
// crash leaves the file as before or as after a write.
//
// Every write takes the next number of the store's change counter and gives it to each row it
// writes as that row's version: a version is never used twice, so a row that holds the version a
// process read is the row that process read.
class SqliteStore {
 public:
  struct Row {
    std::string_view uid;
    std::int64_t order = 0;
    std::string_view data;
    // Read: the row's version. Written: the version the writer last read (0: a row the writer never
    // read, which must not exist yet).
    std::int64_t version = 0;
    // Written: hashOfValues(data) when the writer has it already (rows encoded on several cores
    // hash their values there); otherwise the write works it out.
    std::optional<std::uint64_t> valuesHash;
  };
  // The part of the number the history keeps for a row (see rowHash) that its values give.
  static std::uint64_t hashOfValues(std::string_view data);
  // hashOfValues of four rows at once (hashes[i] of rows[i]): the four run side by side, so that
  // one row's multiplications need not wait for each other.
  static void hashOfValues4(const std::string_view rows[4], std::uint64_t hashes[4]);
  // Gives the next row to write; false when there is none left. A row's texts must stay valid until
  // the next call.
  using RowSource = std::function<bool(Row& row)>;
  using RowVisitor = std::function<void(const Row& row)>;

  struct Removal {
    std::string uid;
    std::int64_t version = 0;  // the version the writer last read
  };

  struct WriteResult {
    std::string error;  // one line saying why nothing was written; empty when written
    bool busy = false;  // another program held the store for longer than the wait allows
    // Unique ids of rows that no longer held the version given (changed or removed by another
    // program), or that exist although the writer never read them. Nothing was written then.
    std::vector<std::string> conflicts;
    std::int64_t version = 0;     // the version every written row holds now
    std::int64_t orderShift = 0;  // added to the positions of appended rows (see write)
    std::int64_t changeId = 0;    // the change set recorded, 0 when none was

    bool ok() const { return error.empty(); }
  };

  ~SqliteStore();
  struct NewRows;  // new rows of a write to a store being built, inserted a batch at a time
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  // Opens an address book file; a missing file is made a new, empty address book first. An
  // existing file that is not an address book (a zero-byte file, another program's database) is
  // refused and left alone. ":memory:" opens a store that keeps nothing.
  // Opened for writing, a store is checked (PRAGMA quick_check) at most once a day (the time kept in
  // the user's cache folder), and at once when
  // a program using it stopped without closing it (its write-ahead journal was left): a damaged
  // store is refused, naming the way out. A store on a read-only file system, or one this user
  // cannot write, is refused for writing with that cause.
  static std::unique_ptr<SqliteStore> open(const std::filesystem::path& path, std::string* error);
  // Opens an existing address book file to read it only: not checked, nothing made, and a store
  // that cannot be written (a read-only file system) read as it is.
  static std::unique_ptr<SqliteStore> openForReading(const std::filesystem::path& path, std::string* error);
  // Why the store at path cannot be written, or empty when it can (its folder must take the
  // journal files beside it).
  static std::string whyNotWritable(const std::filesystem::path& path);
  // Every row of a damaged store that can still be read, in the order of their ids, going past the
  // parts that cannot (a damaged page): for a repair. *damaged is set when some could not be read.
  // False and *error only when the file cannot be opened as an address book at all.
  static bool salvageRows(const std::filesystem::path& path, const RowVisitor& visit, bool* damaged,
                          std::string* error);
  // Makes a new store at path, which no other program knows of (a name of the caller's own), and
  // opens it for building (see startBuilding): nothing waits for the disk until finishBuilding.
  static std::unique_ptr<SqliteStore> openForBuilding(const std::filesystem::path& path, std::string* error);

  // For a new store file that no other program can know of yet (made under a name of its own, to be
  // moved into place when whole): writes keep their journal in memory and do not wait for the disk.
  // finishBuilding puts the write-ahead journal back; the caller then makes the file durable. A
  // write keeps fewer changed pages in memory and lets the disk write the others while it goes on
  // (see write). The index of store order is kept up to date row by row: an import's rows come
  // while the reading threads are still busy, when the writing thread has time to spare, whereas
  // making the index once the rows are in would leave the whole of it to the end, when nothing
  // else runs.
  bool startBuilding(std::string* error);
  bool finishBuilding(std::string* error);
  // Moves from to to unless to exists; true when moved, false with errno EEXIST when it exists.
  static bool moveIfAbsent(const std::filesystem::path& from, const std::filesystem::path& to);
  // Removes a store file and its journals.
  static void removeFiles(const std::filesystem::path& path);

  // While another program holds the store's write lock, reads and writes wait by the program's rule
  // (storeLockWait, taken when the connection is made): this long.
  std::chrono::milliseconds busyLimit() const { return busyWait_.limit(); }

  // What a write records about itself: a change set with this time (seconds since 1970) and
  // description. record false writes without a change set.
  struct ChangeNote {
    std::int64_t time = 0;
    std::string description;
    bool record = true;
  };

  // Calls visit for every row in store order. False and *error on a read failure.
  bool readAll(const RowVisitor& visit, std::string* error);
  // Calls visit for every row in store order with its unique id, order and version (no data).
  bool readVersions(const RowVisitor& visit, std::string* error);
  // Calls visit for the rows of these unique ids that exist, with their data, in one read.
  bool readRows(const std::vector<std::string>& uids, const RowVisitor& visit, std::string* error);

  // Changes whenever another connection has committed a change to the file since the last call.
  std::int64_t dataVersion();

  // A fact the store keeps about itself (store_info), or nullopt when it holds none of that name.
  std::optional<std::int64_t> info(const char* name);
  bool setInfo(const char* name, std::int64_t value, std::string* error);
  // What a store made by this version knows of its persons: group cards are stored as groups.
  static constexpr const char* kGroupCardsRead = "group_cards_read";

  // In one transaction: deletes each removal and writes each row of the source, provided every row
  // still holds the version given (and a row given version 0 does not exist). Otherwise nothing is
  // written and the result names the rows that did not. Rows given version 0 whose order is at
  // least appendFrom are appended after every row of the file: their orders are shifted by
  // result.orderShift when another program appended rows meanwhile.
  //
  // The write is recorded in the same transaction as a change set (see ChangeNote): for every person
  // whose row changes, its row before (none for a new person); a removed person goes to the trash.
  // A write that is refused records nothing; result.changeId is 0 when no row changed.
  WriteResult write(const RowSource& rows, const std::vector<Removal>& removals, std::int64_t appendFrom,
                    const ChangeNote& note);

  // ---- One change set of several writes (StoreHistory.cpp) ----
  // Begins a write transaction that every write, restore and mark up to endChangeSet joins: each of
  // them checks its rows as on its own and is taken back alone when it fails (the others stay), and
  // at the end they are recorded as one change set. The store is held for other programs until
  // then. False and *error when the transaction cannot begin (another program holds the store
  // longer than the wait allows).
  bool beginChangeSet(std::string* error);
  // Folds every change set recorded since beginChangeSet into one, described by note (an empty
  // description keeps the first one's), and commits. A person the writes touched several times
  // keeps its row from before the first and the one after the last; one they added and removed
  // again is left out. *changeId is the change set recorded (0: nothing changed). False and *error
  // when the commit failed: then nothing of the writes is in the file.
  bool endChangeSet(const ChangeNote& note, std::int64_t* changeId, std::string* error);
  // Takes back everything written since beginChangeSet.
  void abandonChangeSet();
  bool inChangeSet() const { return changeSetFrom_.has_value(); }

  // A person a change set touched: its unique id, its row before (empty: it was new), its row
  // after (empty: removed; while the change is in effect, the row the store holds now), and for a
  // change set of marks only, the persons marked (before and after both empty).
  struct ChangedPerson {
    std::string uid;
    std::string before;
    std::string after;
    bool wasNew = false;
    bool removed = false;
    bool marked = false;  // named by a mark of the change set, its values unchanged
  };
  bool changedPersons(std::int64_t id, std::vector<ChangedPerson>& out, std::string* error);

  // ---- History (StoreHistory.cpp) ----
  struct ChangeSet {
    std::int64_t id = 0;
    std::int64_t time = 0;
    std::string description;
    std::int64_t persons = 0;
    bool undone = false;
  };
  struct TrashItem {
    std::string uid;
    std::int64_t time = 0;      // when it was removed
    std::int64_t changeId = 0;  // the change set that removed it
    std::string data;           // its encoded values as they were
  };
  struct Mark {
    std::int64_t id = 0;
    std::string kind;
    std::vector<std::string> uids;
    std::string value;
  };

  // Every change set, newest first.
  bool changeSets(std::vector<ChangeSet>& out, std::string* error);
  // The change set undo would take (newest in effect) and the one redo would (undone last); id 0
  // when there is none.
  bool undoRedoCandidates(ChangeSet& undo, ChangeSet& redo, std::string* error);
  // Undoes change set id (0: the newest not undone), or with andLater that one and every later one
  // not undone, newest first, all in one transaction. A change set whose persons a later change set
  // not undone changed again is refused, naming that change. undone receives what was undone.
  // Every row written takes the next version; a person whose row is not as the change left it
  // refuses the undo, and changedSince names them.
  bool undo(std::int64_t id, bool andLater, std::vector<ChangeSet>* undone, std::vector<std::string>* changedSince,
            std::string* error);
  // Redoes the change set undone last; refused when its persons changed since (named in changedSince
  // when their rows are not as the undo left them).
  bool redo(ChangeSet* redone, std::vector<std::string>* changedSince, std::string* error);
  // The trash: persons removed by a change set in effect, not back in the book, newest first.
  bool trash(std::vector<TrashItem>& out, std::string* error);
  // Puts persons of the trash back, each at its old position, as one recorded change set.
  bool restore(const std::vector<std::string>& uids, const ChangeNote& note, std::int64_t* changeId,
               std::string* error);
  // Forgets the persons in the trash for good, with every change set up to the last one that put
  // one of them there (they could bring them back). *emptied is how many persons went.
  bool emptyTrash(std::int64_t* emptied, std::string* error);
  // Drops change sets older than the given time and the trash they hold. Nothing happens (and
  // nothing is written) when there are none.
  bool expireBefore(std::int64_t time, std::string* error);

  // Marks: facts recorded about sets of persons (kind, unique ids, optional value), each added as
  // a change set of its own so that undo takes it back.
  bool marks(const std::string& kind, std::vector<Mark>& out, std::string* error);
  // Runs reads in one read transaction, so that all of them see one state of the file. False when
  // reads returns false (with *error set by it) or the transaction cannot begin.
  bool readTogether(const std::function<bool(std::string* error)>& reads, std::string* error);
  bool addMark(const std::string& kind, const std::vector<std::string>& uids, const std::string& value,
               const ChangeNote& note, std::int64_t* changeId, std::string* error);

 private:
  // Every person row in store order, with its data or only uid, order and version.
  bool readPersons(bool withData, const RowVisitor& visit, std::string* error);
  explicit SqliteStore(sqlite3* db);
  bool exec(const char* sql, std::string* error);
  std::string lastError() const;
  // The check of the store at path opened for writing (see open); afterUncleanStop runs it whenever
  // it was run last.
  bool checkedSound(const std::filesystem::path& path, bool afterUncleanStop, std::string* error);
  // The checks every open makes of a file found: an address book, of a version this program reads.
  bool isAddressBookFile(const std::filesystem::path& path, int& userVersion, std::string* error);
  bool setUpSchema(bool isNew, std::string* error);
  // A connection to the file with SQLite's open flags, waiting on other programs' locks (busyWait_);
  // null and *error (SQLite's message, else `cannot`) when it cannot be opened.
  static std::unique_ptr<SqliteStore> connect(const std::filesystem::path& path, int flags, const char* cannot,
                                              std::string* error);
  // Runs fn inside BEGIN IMMEDIATE ... COMMIT; rolls back when fn or the commit fails. Inside a
  // change set of several writes (beginChangeSet), fn runs inside a savepoint instead, taken back
  // alone when it fails.
  bool transaction(const std::function<bool(std::string*)>& fn, std::string* error);
  // The body of write, inside a transaction already begun.
  WriteResult writeRows(const RowSource& rows, const std::vector<Removal>& removals, std::int64_t appendFrom,
                        const ChangeNote& note);
  // A number standing for a row's values and position, kept for the row a change left.
  static std::int64_t rowHash(std::string_view data, std::int64_t order);
  static std::int64_t rowHash(std::uint64_t valuesHash, std::int64_t order);
  // Takes the next number of the store's change counter (inside a write transaction); 0 on failure.
  std::int64_t nextVersion();
  // Forgets every change set up to id, the trash they hold, and the undo of the marks they added.
  bool dropChangesUpTo(std::int64_t id, std::string* error);
  bool undoOne(const ChangeSet& change, std::int64_t undoneOrder, std::int64_t version,
               std::vector<std::string>* changedSince, std::string* error);
  // The first later change in effect that touched persons of change id: *blocker says which, and
  // shared receives the persons both touched.
  bool laterChangeInTheWay(std::int64_t id, std::string* blocker, std::vector<std::string>* shared, std::string* error);
  // The newest change set and the last row of the persons of change sets when beginChangeSet ran.
  struct ChangeSetStart {
    std::int64_t change = 0;
    std::int64_t row = 0;
  };
  std::optional<ChangeSetStart> changeSetFrom_;
  // While building: has the disk start writing the pages written to the file so far, so that the
  // sync at the end waits for little.
  void startWriteback();
  void stopWriteback();

  sqlite3* db_ = nullptr;
  StoreBusyWait busyWait_;
  bool building_ = false;             // between startBuilding and finishBuilding
  int secureDeleteBefore_ = 1;        // what PRAGMA secure_delete said before startBuilding
  std::unique_ptr<NewRows> newRows_;  // from startBuilding, when the connection can read it
  int writebackFd_ = -1;              // the store's file, opened to start its writing to disk (startWriteback)
};
