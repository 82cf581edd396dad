#include "platform/sync/SyncState.h"

#include <sqlite3.h>

#include <functional>

#include "platform/addressbook/SqliteStatement.h"

namespace {

// A text bound as SQL NULL when empty.
void bindNullable(Statement& statement, int index, const std::string& text) {
  if (text.empty())
    sqlite3_bind_null(statement.get(), index);
  else
    statement.bind(index, text);
}

// Calls row for each row; false when the rows stopped short of the end (the file busy, damaged).
template <typename Row>
bool eachRow(Statement& statement, Row&& row) {
  int status;
  while ((status = sqlite3_step(statement.get())) == SQLITE_ROW) row();
  return status == SQLITE_DONE;
}

SyncSource sourceFromRow(Statement& row) {
  SyncSource source;
  source.name = row.text(0);
  source.kind = row.text(1) == "carddav" ? SyncSource::Kind::CardDav : SyncSource::Kind::Vdir;
  source.location = row.text(2);
  source.user = row.text(3);
  source.passwordFile = row.text(4);
  source.insecure = sqlite3_column_int(row.get(), 5) != 0;
  source.syncToken = row.text(6);
  source.lastSync = row.text(7);
  source.lastReport = row.text(8);
  source.volume = row.text(9);
  return source;
}

constexpr const char* kSourceColumns =
    "name, kind, location, user, password_file, insecure, sync_token, last_sync, last_report, volume";

}  // namespace

const char* syncSourceKindName(SyncSource::Kind kind) {
  return kind == SyncSource::Kind::CardDav ? "carddav" : "vdir";
}

SyncState::~SyncState() {
  sqlite3_close(db_);
}

bool SyncState::exec(const char* sql, std::string* error) {
  busyWait_.reset();
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  return fail(error);
}

bool SyncState::fail(std::string* error) {
  if (error)
    *error = busyWait_.gaveUp() || sqlite3_errcode(db_) == SQLITE_BUSY ? busyWait_.busyMessage() : sqlite3_errmsg(db_);
  return false;
}

std::unique_ptr<SyncState> SyncState::open(const std::filesystem::path& storePath, std::string* error,
                                           bool storeBeingBuilt) {
  sqlite3* db = nullptr;
  // The address book file exists already: the store opened it first.
  if (sqlite3_open_v2(storePath.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : "cannot open the address book";
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<SyncState> state(new SyncState(db));
  state->busyWait_.install(db);
  if (storeBeingBuilt && !state->exec("PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF", error)) return nullptr;
  const char* schema =
      "CREATE TABLE IF NOT EXISTS sync_sources("
      "  name TEXT PRIMARY KEY, position INTEGER NOT NULL, kind TEXT NOT NULL, location TEXT NOT NULL,"
      "  user TEXT, password_file TEXT, insecure INTEGER NOT NULL DEFAULT 0, sync_token TEXT,"
      "  last_sync TEXT, last_report TEXT, volume TEXT);"
      "CREATE TABLE IF NOT EXISTS sync_items("
      "  source TEXT NOT NULL, href TEXT NOT NULL, uid TEXT NOT NULL, etag TEXT NOT NULL, card BLOB NOT NULL,"
      "  PRIMARY KEY(source, href));"
      "CREATE INDEX IF NOT EXISTS sync_items_by_uid ON sync_items(uid);"
      "CREATE TABLE IF NOT EXISTS sync_destinations(uid TEXT PRIMARY KEY, source TEXT NOT NULL);";
  if (!state->exec(schema, error)) return nullptr;
  // Stores made before the folder's file system was recorded get the column, once.
  sqlite3_stmt* probe = nullptr;
  bool hasVolume = sqlite3_prepare_v2(db, "SELECT volume FROM sync_sources LIMIT 0", -1, &probe, nullptr) == SQLITE_OK;
  sqlite3_finalize(probe);
  if (!hasVolume && !state->exec("ALTER TABLE sync_sources ADD COLUMN volume TEXT", error)) return nullptr;
  return state;
}

bool SyncState::sources(std::vector<SyncSource>& out, std::string* error) {
  std::string sql = std::string("SELECT ") + kSourceColumns + " FROM sync_sources ORDER BY position";
  Statement statement(db_, sql.c_str());
  if (!statement.ok()) return fail(error);
  out.clear();
  return eachRow(statement, [&] { out.push_back(sourceFromRow(statement)); }) || fail(error);
}

std::optional<SyncSource> SyncState::source(const std::string& name, std::string* error) {
  std::string sql = std::string("SELECT ") + kSourceColumns + " FROM sync_sources WHERE name = ?";
  Statement statement(db_, sql.c_str());
  if (!statement.ok()) {
    fail(error);
    return std::nullopt;
  }
  statement.bind(1, name);
  if (statement.step()) return sourceFromRow(statement);
  if (sqlite3_errcode(db_) != SQLITE_DONE) fail(error);
  return std::nullopt;
}

bool SyncState::addSource(const SyncSource& source, std::string* error) {
  Statement statement(db_,
                      "INSERT INTO sync_sources(name, position, kind, location, user, password_file, insecure, volume)"
                      " VALUES(?, (SELECT coalesce(max(position), 0) + 1 FROM sync_sources), ?, ?, ?, ?, ?, ?)");
  if (!statement.ok()) return fail(error);
  statement.bind(1, source.name);
  statement.bind(2, syncSourceKindName(source.kind));
  statement.bind(3, source.location);
  bindNullable(statement, 4, source.user);
  bindNullable(statement, 5, source.passwordFile);
  sqlite3_bind_int(statement.get(), 6, source.insecure ? 1 : 0);
  bindNullable(statement, 7, source.volume);
  if (!statement.run()) return fail(error);
  return true;
}

bool SyncState::removeSource(const std::string& name, std::string* error) {
  return inTransaction(
      [&] {
        for (const char* sql :
             {"DELETE FROM sync_items WHERE source = ?", "DELETE FROM sync_destinations WHERE source = ?",
              "DELETE FROM sync_sources WHERE name = ?"}) {
          Statement statement(db_, sql);
          if (!statement.ok()) return false;
          statement.bind(1, name);
          if (!statement.run()) return false;
        }
        return true;
      },
      error);
}

bool SyncState::finishSync(const std::string& name, const std::string& syncToken, const std::string& time,
                           const std::string& report, std::string* error) {
  Statement statement(db_, "UPDATE sync_sources SET sync_token = ?, last_sync = ?, last_report = ? WHERE name = ?");
  if (!statement.ok()) return fail(error);
  bindNullable(statement, 1, syncToken);
  statement.bind(2, time);
  statement.bind(3, report);
  statement.bind(4, name);
  return statement.run() || fail(error);
}

bool SyncState::items(const std::string& source, std::map<std::string, SyncItem>& byHref, std::string* error) {
  Statement statement(db_, "SELECT href, uid, etag, card FROM sync_items WHERE source = ?");
  if (!statement.ok()) return fail(error);
  statement.bind(1, source);
  byHref.clear();
  return eachRow(statement,
                 [&] {
                   SyncItem item{std::string(statement.text(0)), std::string(statement.text(1)),
                                 std::string(statement.text(2)), std::string(statement.blob(3))};
                   byHref.emplace(item.href, std::move(item));
                 }) ||
         fail(error);
}

bool SyncState::updateItems(const std::string& source, const std::vector<SyncItem>& items,
                            const std::vector<std::string>& forgetHrefs, std::string* error) {
  if (items.empty() && forgetHrefs.empty()) return true;
  return inTransaction(
      [&] {
        Statement upsert(db_, "INSERT OR REPLACE INTO sync_items(source, href, uid, etag, card) VALUES(?, ?, ?, ?, ?)");
        Statement forget(db_, "DELETE FROM sync_items WHERE source = ? AND href = ?");
        Statement linked(db_, "DELETE FROM sync_destinations WHERE uid = ?");
        bool ok = upsert.ok() && forget.ok() && linked.ok();
        for (const auto& item : items) {
          if (!ok) break;
          upsert.bind(1, source);
          upsert.bind(2, item.href);
          upsert.bind(3, item.uid);
          upsert.bind(4, item.etag);
          sqlite3_bind_blob(upsert.get(), 5, item.card.data(), static_cast<int>(item.card.size()), SQLITE_TRANSIENT);
          ok = upsert.run();
          upsert.reset();
          // A linked person needs no destination any more.
          linked.bind(1, item.uid);
          ok = ok && linked.run();
          linked.reset();
        }
        for (const auto& href : forgetHrefs) {
          if (!ok) break;
          forget.bind(1, source);
          forget.bind(2, href);
          ok = forget.run();
          forget.reset();
        }
        return ok;
      },
      error);
}

bool SyncState::destinations(std::map<std::string, std::string>& byUid, std::string* error) {
  Statement statement(db_, "SELECT uid, source FROM sync_destinations");
  if (!statement.ok()) return fail(error);
  byUid.clear();
  return eachRow(statement, [&] { byUid[std::string(statement.text(0))] = std::string(statement.text(1)); }) ||
         fail(error);
}

std::optional<std::string> SyncState::placeOf(const std::string& uid, std::string* error) {
  for (const char* sql :
       {"SELECT source FROM sync_items WHERE uid = ? LIMIT 1", "SELECT source FROM sync_destinations WHERE uid = ?"}) {
    Statement statement(db_, sql);
    if (!statement.ok()) {
      fail(error);
      return std::nullopt;
    }
    statement.bind(1, uid);
    if (statement.step()) return std::string(statement.text(0));
    if (sqlite3_errcode(db_) != SQLITE_DONE) {
      fail(error);
      return std::nullopt;
    }
  }
  return std::nullopt;
}

bool SyncState::inTransaction(const std::function<bool()>& work, std::string* error) {
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  if (!work()) {
    fail(error);
    exec("ROLLBACK", nullptr);
    return false;
  }
  return exec("COMMIT", error);
}

bool SyncState::setDestinations(const std::vector<std::string>& uids, const std::string& source, std::string* error) {
  if (uids.empty()) return true;
  return inTransaction(
      [&] {
        Statement statement(db_, "INSERT OR REPLACE INTO sync_destinations(uid, source) VALUES(?, ?)");
        bool ok = statement.ok();
        for (const auto& uid : uids) {
          if (!ok) break;
          statement.bind(1, uid);
          statement.bind(2, source);
          ok = statement.run();
          statement.reset();
        }
        return ok;
      },
      error);
}
