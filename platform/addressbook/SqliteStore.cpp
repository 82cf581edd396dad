#include "SqliteStore.h"

#include <sqlite3.h>

#include <string>

namespace {

constexpr int kApplicationId = 0x526F6C76;  // "Rolv"
constexpr int kSchemaVersion = 1;

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return ok_; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};

int pragmaInt(sqlite3* db, const char* sql) {
  Statement statement(db, sql);
  if (!statement.ok() || sqlite3_step(statement.get()) != SQLITE_ROW) return -1;
  return sqlite3_column_int(statement.get(), 0);
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

std::unique_ptr<SqliteStore> SqliteStore::open(const std::filesystem::path& path, std::string* error) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : "cannot open the database";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<SqliteStore> store(new SqliteStore(db));
  sqlite3_busy_timeout(db, 5000);
  bool inMemory = path == ":memory:";

  int applicationId = pragmaInt(db, "PRAGMA application_id");
  int userVersion = pragmaInt(db, "PRAGMA user_version");
  if (applicationId < 0) {
    if (error) *error = "not an address book file: " + store->lastError();
    return nullptr;
  }
  if (applicationId == 0 && userVersion == 0) {
    // A new file, or a database of someone else: refuse the latter rather than add tables to it.
    if (pragmaInt(db, "SELECT count(*) FROM sqlite_master") != 0) {
      if (error) *error = "the file is a database of another program, not an address book";
      return nullptr;
    }
    // Larger pages than the default suit rows of a few hundred bytes; fixed once the file exists.
    if (!store->exec("PRAGMA page_size=16384", error)) return nullptr;
  } else if (applicationId != kApplicationId) {
    if (error) *error = "the file is a database of another program, not an address book";
    return nullptr;
  } else if (userVersion > kSchemaVersion) {
    if (error) *error = "the address book was written by a newer version of Rolvane";
    return nullptr;
  }

  if (!inMemory && !store->exec("PRAGMA journal_mode=WAL", error)) return nullptr;
  if (!store->exec("PRAGMA synchronous=FULL", error)) return nullptr;
  // An existing address book needs no schema work; a new one is set up in a write transaction
  // taken at once, so that processes opening the same new file wait for each other instead of
  // failing on a lock upgrade.
  if (applicationId == kApplicationId && userVersion == kSchemaVersion) return store;
  const char* schema =
      "BEGIN IMMEDIATE;"
      "CREATE TABLE IF NOT EXISTS persons("
      "  id INTEGER PRIMARY KEY,"
      "  uid TEXT NOT NULL UNIQUE,"
      "  ord INTEGER NOT NULL,"
      "  data BLOB NOT NULL);"
      "CREATE INDEX IF NOT EXISTS persons_by_order ON persons(ord);"
      "PRAGMA application_id=1383033974;"
      "PRAGMA user_version=1;"
      "COMMIT;";
  static_assert(kApplicationId == 1383033974);
  if (!store->exec(schema, error)) {
    store->exec("ROLLBACK", nullptr);
    return nullptr;
  }
  return store;
}

bool SqliteStore::readAll(const std::function<void(std::string_view, std::int64_t, std::string_view)>& visit,
                          std::string* error) {
  Statement statement(db_, "SELECT uid, ord, data FROM persons ORDER BY ord, id");
  if (!statement.ok()) {
    if (error) *error = lastError();
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    auto* uid = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
    int uidSize = sqlite3_column_bytes(statement.get(), 0);
    std::int64_t order = sqlite3_column_int64(statement.get(), 1);
    auto* data = static_cast<const char*>(sqlite3_column_blob(statement.get(), 2));
    int dataSize = sqlite3_column_bytes(statement.get(), 2);
    visit(std::string_view(uid ? uid : "", uidSize), order, std::string_view(data ? data : "", dataSize));
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::write(const RowSource& upserts, const std::vector<std::string>& removals, std::string* error) {
  Row row;
  bool haveRow = upserts && upserts(row);
  if (!haveRow && removals.empty()) return true;
  // Room for every page the transaction changes, so that none is written out and changed again
  // before the commit; the usual size is restored afterwards, which frees the pages.
  exec("PRAGMA cache_size=-131072", nullptr);
  struct RestoreCache {
    SqliteStore* store;
    ~RestoreCache() { store->exec("PRAGMA cache_size=-2000", nullptr); }
  } restoreCache{this};
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  auto fail = [&](std::string message) {
    if (error) *error = std::move(message);
    exec("ROLLBACK", nullptr);
    return false;
  };
  {
    Statement remove(db_, "DELETE FROM persons WHERE uid = ?1");
    if (!remove.ok()) return fail(lastError());
    for (const auto& uid : removals) {
      sqlite3_bind_text(remove.get(), 1, uid.data(), static_cast<int>(uid.size()), SQLITE_STATIC);
      if (sqlite3_step(remove.get()) != SQLITE_DONE) return fail(lastError());
      sqlite3_reset(remove.get());
    }
    Statement upsert(db_,
                     "INSERT INTO persons(uid, ord, data) VALUES(?1, ?2, ?3) "
                     "ON CONFLICT(uid) DO UPDATE SET ord = excluded.ord, data = excluded.data");
    if (!upsert.ok()) return fail(lastError());
    for (; haveRow; haveRow = upserts(row)) {
      sqlite3_bind_text(upsert.get(), 1, row.uid.data(), static_cast<int>(row.uid.size()), SQLITE_STATIC);
      sqlite3_bind_int64(upsert.get(), 2, row.order);
      sqlite3_bind_blob(upsert.get(), 3, row.data.data(), static_cast<int>(row.data.size()), SQLITE_STATIC);
      if (sqlite3_step(upsert.get()) != SQLITE_DONE) return fail(lastError());
      sqlite3_reset(upsert.get());
    }
  }
  if (!exec("COMMIT", error)) {
    exec("ROLLBACK", nullptr);
    return false;
  }
  return true;
}
