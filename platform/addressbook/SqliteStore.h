#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
  };
  // Gives the next row to write; false when there is none left. A row's texts must stay valid until
  // the next call.
  using RowSource = std::function<bool(Row& row)>;
  using RowVisitor = std::function<void(const Row& row)>;

  struct Removal {
    std::string uid;
    std::int64_t version = 0;  // the version the writer last read
  };

  struct WriteResult {
    bool ok = false;
    bool busy = false;  // another program held the store for longer than the wait allows
    std::string error;
    // Unique ids of rows that no longer held the version given (changed or removed by another
    // program), or that exist although the writer never read them. Nothing was written then.
    std::vector<std::string> conflicts;
    std::int64_t version = 0;     // the version every written row holds now
    std::int64_t orderShift = 0;  // added to the positions of appended rows (see write)
  };

  ~SqliteStore();
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  // Opens an address book file; a missing file is made a new, empty address book first. An
  // existing file that is not an address book (a zero-byte file, another program's database) is
  // refused and left alone. ":memory:" opens a store that keeps nothing.
  static std::unique_ptr<SqliteStore> open(const std::filesystem::path& path, std::string* error);

  // While another program holds the store's write lock, reads and writes wait up to limit; after
  // a second of waiting, waiting() is called once per wait. The default limit is 30 seconds.
  void setBusyWait(std::chrono::milliseconds limit, std::function<void()> waiting);
  std::chrono::milliseconds busyLimit() const { return busyLimit_; }

  // Calls visit for every row in store order. False and *error on a read failure.
  bool readAll(const RowVisitor& visit, std::string* error);
  // Calls visit for every row in store order with its unique id, order and version (no data).
  bool readVersions(const RowVisitor& visit, std::string* error);
  // Calls visit for the rows of these unique ids that exist, with their data, in one read.
  bool readRows(const std::vector<std::string>& uids, const RowVisitor& visit, std::string* error);

  // Changes whenever another connection has committed a change to the file since the last call.
  std::int64_t dataVersion();

  // In one transaction: deletes each removal and writes each row of the source, provided every row
  // still holds the version given (and a row given version 0 does not exist). Otherwise nothing is
  // written and the result names the rows that did not. Rows given version 0 whose order is at
  // least appendFrom are appended after every row of the file: their orders are shifted by
  // result.orderShift when another program appended rows meanwhile.
  WriteResult write(const RowSource& rows, const std::vector<Removal>& removals, std::int64_t appendFrom);

 private:
  explicit SqliteStore(sqlite3* db) : db_(db) {}
  bool exec(const char* sql, std::string* error);
  std::string lastError() const;
  bool setUpSchema(bool isNew, std::string* error);
  static int onBusy(void* self, int attempt);

  sqlite3* db_ = nullptr;
  std::chrono::milliseconds busyLimit_{30000};
  std::function<void()> waiting_;
  std::chrono::steady_clock::time_point busySince_;
  bool busyReported_ = false;
  bool gaveUp_ = false;
};
