#include "SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>

namespace {

constexpr int kApplicationId = 0x526F6C76;  // "Rolv"
static_assert(kApplicationId == 1383033974);
// 1: persons(uid, ord, data). 2: persons carry a version, and the store a change counter.
constexpr int kSchemaVersion = 2;

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return ok_; }
  sqlite3_stmt* get() const { return stmt_; }
  void bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
  }
  void bindBlob(int index, std::string_view bytes) {
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
  }
  void bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  std::string_view text(int column) const {
    auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return std::string_view(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
  }
  std::string_view blob(int column) const {
    auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return std::string_view(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};

int pragmaInt(sqlite3* db, const char* sql) {
  Statement statement(db, sql);
  if (!statement.ok() || sqlite3_step(statement.get()) != SQLITE_ROW) return -1;
  return sqlite3_column_int(statement.get(), 0);
}

const char* kCreateSchema =
    "CREATE TABLE persons("
    "  id INTEGER PRIMARY KEY,"
    "  uid TEXT NOT NULL UNIQUE,"
    "  ord INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  version INTEGER NOT NULL DEFAULT 1);"
    "CREATE INDEX persons_by_order ON persons(ord);"
    "CREATE TABLE store_info(name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "INSERT INTO store_info VALUES('change', 1);"
    "PRAGMA application_id=1383033974;"
    "PRAGMA user_version=2;";

const char* kSchemaFrom1 =
    "ALTER TABLE persons ADD COLUMN version INTEGER NOT NULL DEFAULT 1;"
    "CREATE TABLE store_info(name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "INSERT INTO store_info VALUES('change', 1);"
    "PRAGMA user_version=2;";

void removeDatabaseFiles(const std::filesystem::path& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(std::filesystem::path(path.string() + suffix), ec);
}

// Moves from to to unless to exists; true when moved, false with errno EEXIST when it exists.
bool moveIfAbsent(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without that kind of rename: a hard link is made only where nothing exists.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

}  // namespace

SqliteStore::~SqliteStore() {
  if (db_) sqlite3_close(db_);
}

std::string SqliteStore::lastError() const {
  return db_ ? sqlite3_errmsg(db_) : "no database";
}

bool SqliteStore::exec(const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error) *error = message ? message : lastError();
  sqlite3_free(message);
  return false;
}

int SqliteStore::onBusy(void* self, int attempt) {
  auto* store = static_cast<SqliteStore*>(self);
  auto now = std::chrono::steady_clock::now();
  if (attempt == 0) {
    store->busySince_ = now;
    store->busyReported_ = false;
    store->gaveUp_ = false;
  }
  auto waited = now - store->busySince_;
  if (waited >= store->busyLimit_) {
    store->gaveUp_ = true;
    return 0;
  }
  if (!store->busyReported_ && waited >= std::chrono::seconds(1)) {
    store->busyReported_ = true;
    if (store->waiting_) store->waiting_();
  }
  std::this_thread::sleep_for(attempt < 10 ? std::chrono::milliseconds(2) : std::chrono::milliseconds(20));
  return 1;
}

void SqliteStore::setBusyWait(std::chrono::milliseconds limit, std::function<void()> waiting) {
  busyLimit_ = limit;
  waiting_ = std::move(waiting);
}

std::unique_ptr<SqliteStore> SqliteStore::open(const std::filesystem::path& path, std::string* error) {
  bool inMemory = path == ":memory:";
  if (!inMemory) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      // A new store is made whole under a name of its own and then moved into place, so that no
      // program ever sees a half-made store at the path, and an empty file there is never one.
      std::random_device random;
      std::filesystem::path building = path.parent_path() / ("." + path.filename().string() + ".new-" +
                                                             std::to_string(getpid()) + "-" + std::to_string(random()));
      {
        sqlite3* db = nullptr;
        int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(building.c_str(), &db, flags, nullptr) != SQLITE_OK) {
          if (error) *error = db ? sqlite3_errmsg(db) : "cannot create the database";
          sqlite3_close(db);
          removeDatabaseFiles(building);
          return nullptr;
        }
        bool ok;
        {
          SqliteStore made(db);  // closes the file when done
          // Larger pages than the default suit rows of a few hundred bytes; fixed once the file exists.
          ok = made.exec("PRAGMA page_size=16384", error) && made.exec("PRAGMA journal_mode=WAL", error) &&
               made.exec("BEGIN", error) && made.exec(kCreateSchema, error) && made.exec("COMMIT", error);
        }
        if (!ok) {
          removeDatabaseFiles(building);
          return nullptr;
        }
      }
      if (!moveIfAbsent(building, path) && errno != EEXIST) {
        if (error) *error = std::string("cannot create the file: ") + std::strerror(errno);
        removeDatabaseFiles(building);
        return nullptr;
      }
      removeDatabaseFiles(building);  // left only when another program made the store first
    }
  }

  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (inMemory ? SQLITE_OPEN_CREATE : 0);
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : "cannot open the database";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<SqliteStore> store(new SqliteStore(db));
  sqlite3_busy_handler(db, &SqliteStore::onBusy, store.get());
  if (inMemory) {
    if (!store->exec(kCreateSchema, error)) return nullptr;
    return store;
  }

  int applicationId = pragmaInt(db, "PRAGMA application_id");
  int userVersion = pragmaInt(db, "PRAGMA user_version");
  if (applicationId < 0) {
    if (error) *error = "not an address book file: " + store->lastError();
    return nullptr;
  }
  if (applicationId != kApplicationId) {
    std::error_code ec;
    if (applicationId == 0 && std::filesystem::file_size(path, ec) == 0 && !ec) {
      if (error) *error = "the file is empty; it is not an address book";
    } else {
      if (error) *error = "the file is a database of another program, not an address book";
    }
    return nullptr;
  }
  if (userVersion > kSchemaVersion) {
    if (error) *error = "the address book was written by a newer version of Rolvane";
    return nullptr;
  }
  if (!store->exec("PRAGMA journal_mode=WAL", error)) return nullptr;
  if (!store->exec("PRAGMA synchronous=FULL", error)) return nullptr;
  if (userVersion == kSchemaVersion) return store;

  // A store of an earlier version is brought up to date under a write lock, checked again once
  // held, as another program may be doing the same.
  if (!store->exec("BEGIN IMMEDIATE", error)) return nullptr;
  bool ok = true;
  if (pragmaInt(db, "PRAGMA user_version") == 1) ok = store->exec(kSchemaFrom1, error);
  if (!ok || !store->exec("COMMIT", error)) {
    store->exec("ROLLBACK", nullptr);
    return nullptr;
  }
  return store;
}

bool SqliteStore::readAll(const RowVisitor& visit, std::string* error) {
  Statement statement(db_, "SELECT uid, ord, version, data FROM persons ORDER BY ord, id");
  if (!statement.ok()) {
    if (error) *error = lastError();
    return false;
  }
  int rc;
  Row row;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    row.uid = statement.text(0);
    row.order = statement.integer(1);
    row.version = statement.integer(2);
    row.data = statement.blob(3);
    visit(row);
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::readVersions(const RowVisitor& visit, std::string* error) {
  Statement statement(db_, "SELECT uid, ord, version FROM persons ORDER BY ord, id");
  if (!statement.ok()) {
    if (error) *error = lastError();
    return false;
  }
  int rc;
  Row row;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    row.uid = statement.text(0);
    row.order = statement.integer(1);
    row.version = statement.integer(2);
    visit(row);
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::readRows(const std::vector<std::string>& uids, const RowVisitor& visit, std::string* error) {
  if (!exec("BEGIN", error)) return false;
  Statement statement(db_, "SELECT uid, ord, version, data FROM persons WHERE uid = ?1");
  if (!statement.ok()) {
    if (error) *error = lastError();
    exec("ROLLBACK", nullptr);
    return false;
  }
  Row row;
  for (const auto& uid : uids) {
    statement.bind(1, std::string_view(uid));
    int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
      row.uid = statement.text(0);
      row.order = statement.integer(1);
      row.version = statement.integer(2);
      row.data = statement.blob(3);
      visit(row);
    } else if (rc != SQLITE_DONE) {
      if (error) *error = lastError();
      exec("ROLLBACK", nullptr);
      return false;
    }
    statement.reset();
  }
  exec("COMMIT", nullptr);
  return true;
}

std::int64_t SqliteStore::dataVersion() {
  Statement statement(db_, "PRAGMA data_version");
  if (!statement.ok() || sqlite3_step(statement.get()) != SQLITE_ROW) return -1;
  return statement.integer(0);
}

SqliteStore::WriteResult SqliteStore::write(const RowSource& rows, const std::vector<Removal>& removals,
                                            std::int64_t appendFrom) {
  WriteResult result;
  Row row;
  bool haveRow = rows && rows(row);
  if (!haveRow && removals.empty()) {
    result.ok = true;
    return result;
  }
  // Room for every page the transaction changes, so that none is written out and changed again
  // before the commit; the usual size is restored afterwards, which frees the pages.
  exec("PRAGMA cache_size=-131072", nullptr);
  struct RestoreCache {
    SqliteStore* store;
    ~RestoreCache() { store->exec("PRAGMA cache_size=-2000", nullptr); }
  } restoreCache{this};
  gaveUp_ = false;
  auto fail = [&](bool rollback) {
    result.error = lastError();
    result.busy = gaveUp_ || sqlite3_errcode(db_) == SQLITE_BUSY;
    if (rollback) exec("ROLLBACK", nullptr);
    return result;
  };
  if (!exec("BEGIN IMMEDIATE", nullptr)) return fail(false);
  {
    Statement counter(db_, "UPDATE store_info SET value = value + 1 WHERE name = 'change' RETURNING value");
    if (!counter.ok() || sqlite3_step(counter.get()) != SQLITE_ROW) return fail(true);
    result.version = counter.integer(0);
  }
  {
    Statement last(db_, "SELECT coalesce(max(ord), 0) + 1 FROM persons");
    if (!last.ok() || sqlite3_step(last.get()) != SQLITE_ROW) return fail(true);
    result.orderShift = std::max<std::int64_t>(0, last.integer(0) - appendFrom);
  }
  {
    Statement remove(db_, "DELETE FROM persons WHERE uid = ?1 AND version = ?2");
    if (!remove.ok()) return fail(true);
    for (const auto& removal : removals) {
      remove.bind(1, std::string_view(removal.uid));
      remove.bind(2, removal.version);
      if (sqlite3_step(remove.get()) != SQLITE_DONE) return fail(true);
      if (sqlite3_changes(db_) == 0) result.conflicts.push_back(removal.uid);
      remove.reset();
    }
    Statement insert(db_,
                     "INSERT INTO persons(uid, ord, data, version) VALUES(?1, ?2, ?3, ?4) "
                     "ON CONFLICT(uid) DO NOTHING");
    Statement update(db_, "UPDATE persons SET ord = ?2, data = ?3, version = ?4 WHERE uid = ?1 AND version = ?5");
    if (!insert.ok() || !update.ok()) return fail(true);
    for (; haveRow; haveRow = rows(row)) {
      Statement& statement = row.version == 0 ? insert : update;
      std::int64_t order = row.version == 0 && row.order >= appendFrom ? row.order + result.orderShift : row.order;
      statement.bind(1, row.uid);
      statement.bind(2, order);
      statement.bindBlob(3, row.data);
      statement.bind(4, result.version);
      if (row.version != 0) statement.bind(5, row.version);
      if (sqlite3_step(statement.get()) != SQLITE_DONE) return fail(true);
      if (sqlite3_changes(db_) == 0) result.conflicts.emplace_back(row.uid);
      statement.reset();
    }
  }
  if (!result.conflicts.empty()) {
    exec("ROLLBACK", nullptr);
    return result;
  }
  if (!exec("COMMIT", nullptr)) return fail(true);
  result.ok = true;
  return result;
}
