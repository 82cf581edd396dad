#include "SqliteStore.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>

#include "SqliteStatement.h"

namespace {

constexpr int kApplicationId = 0x526F6C76;  // "Rolv"
static_assert(kApplicationId == 1383033974);
// 1: persons(uid, ord, data). 2: persons carry a version, and the store a change counter.
// 3: the history (change sets, trash, marks) and the highest position any row has had.
constexpr int kSchemaVersion = 3;
// A write to a store being built starts the disk writing what it has written out so far each time
// this many more rows are in.
constexpr std::size_t kRowsPerWriteback = 4096;
// A write to a store being built inserts its new rows this many at a time, or fewer when they hold
// this many bytes already (rows with pictures: the batch is a copy of them).
constexpr std::size_t kRowsPerBatch = 1024;
constexpr std::size_t kBytesPerBatch = std::size_t{1} << 20;

}  // namespace

// New rows of a write to a store being built, held until a batch of them is inserted by one
// statement per table (SQLite then opens its cursors and settles its statement once a batch instead
// of once a row). The rows are read by those statements through the table rolvane_new_rows.
struct SqliteStore::NewRows {
  struct Entry {
    std::size_t uid = 0, uidSize = 0, data = 0, dataSize = 0;
    std::int64_t order = 0, afterHash = 0;
  };
  std::string bytes;
  std::vector<Entry> rows;

  void add(std::string_view uid, std::string_view data, std::int64_t order, std::int64_t afterHash) {
    rows.push_back({bytes.size(), uid.size(), bytes.size() + uid.size(), data.size(), order, afterHash});
    bytes.append(uid);
    bytes.append(data);
  }
  std::string_view uid(std::size_t i) const { return std::string_view(bytes).substr(rows[i].uid, rows[i].uidSize); }
  std::string_view data(std::size_t i) const { return std::string_view(bytes).substr(rows[i].data, rows[i].dataSize); }
  void clear() {
    bytes.clear();
    rows.clear();
  }
};

namespace {

// rolvane_new_rows(uid, ord, data, after_hash): the rows of a NewRows batch in their order, as a
// virtual table of this connection only (nothing of it is in the file).
struct NewRowsTable {
  sqlite3_vtab base{};
  const SqliteStore::NewRows* rows = nullptr;
};
struct NewRowsCursor {
  sqlite3_vtab_cursor base{};
  std::size_t at = 0;
};

int newRowsConnect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** table, char**) {
  int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(uid TEXT, ord INTEGER, data BLOB, after_hash INTEGER)");
  if (rc != SQLITE_OK) return rc;
  auto* made = new NewRowsTable;
  made->rows = static_cast<const SqliteStore::NewRows*>(aux);
  *table = &made->base;
  return SQLITE_OK;
}
int newRowsDisconnect(sqlite3_vtab* table) {
  delete reinterpret_cast<NewRowsTable*>(table);
  return SQLITE_OK;
}
int newRowsBestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  info->estimatedCost = static_cast<double>(kRowsPerBatch);
  info->estimatedRows = static_cast<sqlite3_int64>(kRowsPerBatch);
  return SQLITE_OK;
}
int newRowsOpen(sqlite3_vtab*, sqlite3_vtab_cursor** cursor) {
  *cursor = &(new NewRowsCursor)->base;
  return SQLITE_OK;
}
int newRowsClose(sqlite3_vtab_cursor* cursor) {
  delete reinterpret_cast<NewRowsCursor*>(cursor);
  return SQLITE_OK;
}
const SqliteStore::NewRows& rowsOf(sqlite3_vtab_cursor* cursor) {
  return *reinterpret_cast<NewRowsTable*>(cursor->pVtab)->rows;
}
int newRowsFilter(sqlite3_vtab_cursor* cursor, int, const char*, int, sqlite3_value**) {
  reinterpret_cast<NewRowsCursor*>(cursor)->at = 0;
  return SQLITE_OK;
}
int newRowsNext(sqlite3_vtab_cursor* cursor) {
  ++reinterpret_cast<NewRowsCursor*>(cursor)->at;
  return SQLITE_OK;
}
int newRowsEof(sqlite3_vtab_cursor* cursor) {
  return reinterpret_cast<NewRowsCursor*>(cursor)->at >= rowsOf(cursor).rows.size();
}
int newRowsColumn(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column) {
  const SqliteStore::NewRows& rows = rowsOf(cursor);
  const std::size_t at = reinterpret_cast<NewRowsCursor*>(cursor)->at;
  switch (column) {
    case 0:
      sqlite3_result_text(context, rows.uid(at).data(), static_cast<int>(rows.uid(at).size()), SQLITE_STATIC);
      break;
    case 1:
      sqlite3_result_int64(context, rows.rows[at].order);
      break;
    case 2:
      sqlite3_result_blob(context, rows.data(at).data(), static_cast<int>(rows.data(at).size()), SQLITE_STATIC);
      break;
    default:
      sqlite3_result_int64(context, rows.rows[at].afterHash);
  }
  return SQLITE_OK;
}
int newRowsRowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(reinterpret_cast<NewRowsCursor*>(cursor)->at);
  return SQLITE_OK;
}

// Without xCreate: a table of the connection that exists under the module's name alone.
sqlite3_module newRowsModule() {
  sqlite3_module module{};
  module.xConnect = newRowsConnect;
  module.xBestIndex = newRowsBestIndex;
  module.xDisconnect = newRowsDisconnect;
  module.xOpen = newRowsOpen;
  module.xClose = newRowsClose;
  module.xFilter = newRowsFilter;
  module.xNext = newRowsNext;
  module.xEof = newRowsEof;
  module.xColumn = newRowsColumn;
  module.xRowid = newRowsRowid;
  return module;
}
const sqlite3_module kNewRowsModule = newRowsModule();

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
    "INSERT INTO store_info VALUES('group_cards_read', 1);"
    "PRAGMA application_id=1383033974;";

const char* kSchemaFrom1 =
    "ALTER TABLE persons ADD COLUMN version INTEGER NOT NULL DEFAULT 1;"
    "CREATE TABLE store_info(name TEXT PRIMARY KEY, value INTEGER NOT NULL);"
    "INSERT INTO store_info VALUES('change', 1);";

// The history, added to every store of an earlier version.
const char* kHistorySchema =
    // One row per change set. undone: 0 while in effect, else the how-manieth undo it was, so that
    // redo takes the one undone last.
    "CREATE TABLE IF NOT EXISTS changes("
    "  id INTEGER PRIMARY KEY,"
    "  time INTEGER NOT NULL,"
    "  description TEXT NOT NULL,"
    "  persons INTEGER NOT NULL DEFAULT 0,"
    "  first_row INTEGER NOT NULL DEFAULT 1,"
    "  last_row INTEGER NOT NULL DEFAULT 0,"
    "  undone INTEGER NOT NULL DEFAULT 0);"
    // The persons of a change set (rows first_row..last_row of their change): the row before (NULL:
    // the person was new), a hash of the row the change left (NULL: removed), and while the change
    // is undone the row after (NULL: removed).
    "CREATE TABLE IF NOT EXISTS change_persons("
    "  id INTEGER PRIMARY KEY,"
    "  change_id INTEGER NOT NULL,"
    "  uid TEXT NOT NULL,"
    "  before_ord INTEGER,"
    "  before BLOB,"
    "  gone INTEGER NOT NULL DEFAULT 0,"
    "  after_hash INTEGER,"
    "  after_ord INTEGER,"
    "  after BLOB);"
    // Removed persons, until restored, emptied or expired; their values are the before row.
    "CREATE TABLE IF NOT EXISTS trash("
    "  uid TEXT PRIMARY KEY,"
    "  change_id INTEGER NOT NULL,"
    "  row INTEGER NOT NULL);"
    // Facts about sets of persons; in effect while their change set is (change_id 0: for good).
    "CREATE TABLE IF NOT EXISTS marks("
    "  id INTEGER PRIMARY KEY,"
    "  kind TEXT NOT NULL,"
    "  uids TEXT NOT NULL,"
    "  value TEXT NOT NULL DEFAULT '',"
    "  change_id INTEGER NOT NULL);"
    // A position a person had stays that person's, to be taken again by undo or restore.
    "INSERT OR IGNORE INTO store_info VALUES('highest_order', (SELECT coalesce(max(ord), 0) FROM persons));"
    "PRAGMA user_version=3;";

}  // namespace

void SqliteStore::removeFiles(const std::filesystem::path& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    std::filesystem::remove(std::filesystem::path(path.string() + suffix), ec);
}

bool SqliteStore::moveIfAbsent(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without that kind of rename: a hard link is made only where nothing exists.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

void SqliteStore::startWriteback() {
  if (writebackFd_ < 0) {
    const char* name = sqlite3_db_filename(db_, "main");
    if (!name || !*name) return;
    writebackFd_ = ::open(name, O_RDONLY | O_CLOEXEC);
    if (writebackFd_ < 0) return;
  }
  // Only starts the writing (no waiting for it); where this cannot be done, the final sync does it all.
  sync_file_range(writebackFd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void SqliteStore::stopWriteback() {
  if (writebackFd_ >= 0) ::close(writebackFd_);
  writebackFd_ = -1;
}

bool SqliteStore::startBuilding(std::string* error) {
  // A file no other program knows of, which never held anything but what is written now, has no
  // removed content to overwrite: the pieces of pages that SQLite frees while it moves the rows of
  // a growing index are left as they are, as they would be anyway elsewhere in the file.
  secureDeleteBefore_ = pragmaInt(db_, "PRAGMA secure_delete");
  building_ = exec("PRAGMA journal_mode=MEMORY", error) && exec("PRAGMA synchronous=OFF", error) &&
              exec("PRAGMA secure_delete=OFF", error);
  if (building_ && !newRows_) {
    auto rows = std::make_unique<NewRows>();
    if (sqlite3_create_module_v2(db_, "rolvane_new_rows", &kNewRowsModule, rows.get(), nullptr) == SQLITE_OK)
      newRows_ = std::move(rows);
  }
  return building_;
}

bool SqliteStore::finishBuilding(std::string* error) {
  building_ = false;
  stopWriteback();
  return exec(secureDeleteBefore_ > 0 ? "PRAGMA secure_delete=ON" : "PRAGMA secure_delete=OFF", error) &&
         exec("PRAGMA synchronous=FULL", error) && exec("PRAGMA journal_mode=WAL", error);
}

SqliteStore::SqliteStore(sqlite3* db) : db_(db) {}

SqliteStore::~SqliteStore() {
  stopWriteback();
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

namespace {

void configureLibrary() {
  // SQLite's count of the memory it holds takes a lock shared by every connection at each of its
  // allocations (several per row written); nothing here reads that count. It can be turned off
  // only before SQLite's first use in the process: afterwards the call changes nothing.
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)configured;
}

}  // namespace

std::unique_ptr<SqliteStore> SqliteStore::open(const std::filesystem::path& path, std::string* error) {
  configureLibrary();
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
          removeFiles(building);
          return nullptr;
        }
        bool ok;
        {
          SqliteStore made(db);  // closes the file when done
          // Larger pages than the default suit rows of a few hundred bytes; fixed once the file exists.
          ok = made.exec("PRAGMA page_size=16384", error) && made.exec("PRAGMA journal_mode=WAL", error) &&
               made.exec("BEGIN", error) && made.exec(kCreateSchema, error) && made.exec(kHistorySchema, error) &&
               made.exec("COMMIT", error);
        }
        if (!ok) {
          removeFiles(building);
          return nullptr;
        }
      }
      if (!moveIfAbsent(building, path) && errno != EEXIST) {
        if (error) *error = std::string("cannot create the file: ") + std::strerror(errno);
        removeFiles(building);
        return nullptr;
      }
      removeFiles(building);  // left only when another program made the store first
    }
  }

  if (!inMemory) {
    std::string readOnly = whyNotWritable(path);
    if (!readOnly.empty()) {
      if (error) *error = readOnly + "; it can be read (scan, export) but not changed";
      return nullptr;
    }
  }
  // A write-ahead journal left beside the file: a program using it stopped without closing it (or
  // uses it now).
  std::error_code walError;
  const bool leftJournal = !inMemory && std::filesystem::file_size(path.string() + "-wal", walError) > 0 && !walError;
  std::unique_ptr<SqliteStore> store =
      connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (inMemory ? SQLITE_OPEN_CREATE : 0),
              "cannot open the database", error);
  if (!store) return nullptr;
  sqlite3* db = store->db_;
  if (inMemory) {
    if (!store->exec(kCreateSchema, error) || !store->exec(kHistorySchema, error)) return nullptr;
    return store;
  }

  int userVersion = 0;
  if (!store->isAddressBookFile(path, userVersion, error)) return nullptr;
  if (!store->checkedSound(path, leftJournal, error)) return nullptr;
  if (!store->exec("PRAGMA journal_mode=WAL", error)) return nullptr;
  if (!store->exec("PRAGMA synchronous=FULL", error)) return nullptr;
  if (userVersion == kSchemaVersion) return store;

  // A store of an earlier version is brought up to date under a write lock, checked again once
  // held, as another program may be doing the same.
  if (!store->exec("BEGIN IMMEDIATE", error)) return nullptr;
  int found = pragmaInt(db, "PRAGMA user_version");
  bool ok = true;
  if (found == 1) ok = store->exec(kSchemaFrom1, error);
  if (ok && found < kSchemaVersion) ok = store->exec(kHistorySchema, error);
  if (!ok || !store->exec("COMMIT", error)) {
    store->exec("ROLLBACK", nullptr);
    return nullptr;
  }
  return store;
}

bool SqliteStore::isAddressBookFile(const std::filesystem::path& path, int& userVersion, std::string* error) {
  int applicationId = pragmaInt(db_, "PRAGMA application_id");
  userVersion = pragmaInt(db_, "PRAGMA user_version");
  if (applicationId < 0) {
    std::string why = lastError();
    int code = sqlite3_extended_errcode(db_);
    if (error) {
      if ((code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB)
        *error = "not an address book file: " + why;
      else
        *error = "cannot read the address book: " + why;
    }
    return false;
  }
  if (applicationId != kApplicationId) {
    std::error_code ec;
    if (applicationId == 0 && std::filesystem::file_size(path, ec) == 0 && !ec) {
      if (error) *error = "the file is empty; it is not an address book";
    } else {
      if (error) *error = "the file is a database of another program, not an address book";
    }
    return false;
  }
  if (userVersion > kSchemaVersion) {
    if (error) *error = "the address book was written by a newer version of Rolvane";
    return false;
  }
  return true;
}

std::string SqliteStore::whyNotWritable(const std::filesystem::path& path) {
  struct statvfs volume {};
  if (::statvfs(path.c_str(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
    return "the address book " + path.string() + " is on a read-only file system";
  if (::access(path.c_str(), W_OK) != 0 && errno != ENOENT)
    return "the address book " + path.string() + " cannot be written: " + std::strerror(errno);
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  if (::access(folder.c_str(), W_OK) != 0)
    return "the folder of the address book " + folder.string() + " cannot be written: " + std::strerror(errno);
  return {};
}

namespace {

// Where the time of a store's last check is kept: a small file of the user's cache folder named
// after the store's path, so that the check writes nothing into the store.
std::filesystem::path checkTimeFile(const std::filesystem::path& store) {
  std::filesystem::path cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
    cache = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    cache = std::filesystem::path(home) / ".cache";
  else
    return {};
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::weakly_canonical(store, ec);
  if (ec) absolute = store;
  return cache / "rolvane" / "store-checks" / (std::to_string(std::hash<std::string>{}(absolute.string())) + ".time");
}

}  // namespace

bool SqliteStore::checkedSound(const std::filesystem::path& path, bool afterUncleanStop, std::string* error) {
  constexpr std::int64_t kCheckEvery = 24 * 60 * 60;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  const std::filesystem::path timeFile = checkTimeFile(path);
  std::int64_t last = 0;
  if (!timeFile.empty()) {
    std::ifstream in(timeFile);
    in >> last;
  }
  if (!afterUncleanStop && last <= now && now - last < kCheckEvery) return true;
  std::string found;
  {
    Statement check(db_, "PRAGMA quick_check(1)");
    int rc = check.ok() ? sqlite3_step(check.get()) : SQLITE_ERROR;
    if (rc == SQLITE_ROW)
      found = check.text(0);
    else if ((sqlite3_errcode(db_) & 0xff) == SQLITE_BUSY)
      return true;  // another program holds it: checked another time
    else
      found = lastError();
  }
  if (found != "ok") {
    if (error)
      *error = "the address book is damaged (" + found +
               "), so nothing is written to it. Copy the file somewhere safe, then run \"rolvane repair\", which "
               "builds a new address book of every contact that can still be read";
    return false;
  }
  // Where the time cannot be kept, the store is checked again next time.
  if (!timeFile.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(timeFile.parent_path(), ec);
    std::ofstream(timeFile) << now << "\n";
  }
  return true;
}

std::unique_ptr<SqliteStore> SqliteStore::openForReading(const std::filesystem::path& path, std::string* error) {
  configureLibrary();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    if (error) *error = "there is no address book here";
    return nullptr;
  }
  std::string readOnly = whyNotWritable(path);
  std::unique_ptr<SqliteStore> store;
  if (readOnly.empty()) {
    store = connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, "cannot open the database", error);
  } else {
    // Nobody can write it here, so it is read as it is: no journal files are needed beside it.
    std::string uri = "file:";
    for (unsigned char c : path.string()) {
      if (c == '%' || c == '?' || c == '#' || c < 0x20) {
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", c);
        uri += escaped;
      } else {
        uri += static_cast<char>(c);
      }
    }
    uri += "?immutable=1";
    store =
        connect(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, "cannot open the database", error);
  }
  if (!store) return nullptr;
  int userVersion = 0;
  if (!store->isAddressBookFile(path, userVersion, error)) return nullptr;
  if (userVersion < kSchemaVersion) {
    if (!readOnly.empty()) {
      if (error) *error = readOnly + "; it was written by an older version of Rolvane and must be brought up to date";
      return nullptr;
    }
    return open(path, error);  // brought up to date first
  }
  return store;
}

bool SqliteStore::salvageRows(const std::filesystem::path& path, const RowVisitor& visit, bool* damaged,
                              std::string* error) {
  configureLibrary();
  if (damaged) *damaged = false;
  std::unique_ptr<SqliteStore> store =
      connect(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, "cannot open the database", error);
  if (!store) return false;
  int userVersion = 0;
  if (!store->isAddressBookFile(path, userVersion, error)) return false;
  std::int64_t last = std::numeric_limits<std::int64_t>::max() / 4;
  {
    Statement statement(store->db_, "SELECT max(id) FROM persons");
    if (statement.ok() && sqlite3_step(statement.get()) == SQLITE_ROW) last = statement.integer(0);
  }
  Statement statement(store->db_, "SELECT id, uid, ord, version, data FROM persons WHERE id > ?1 ORDER BY id");
  if (!statement.ok()) {
    if (error) *error = "cannot read the contacts: " + store->lastError();
    return false;
  }
  std::int64_t after = 0;
  std::int64_t jump = 1;
  while (after < last) {
    statement.reset();
    sqlite3_bind_int64(statement.get(), 1, after);
    int rc;
    Row row;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
      after = statement.integer(0);
      row.uid = statement.text(1);
      row.order = statement.integer(2);
      row.version = statement.integer(3);
      row.data = statement.blob(4);
      visit(row);
      jump = 1;
    }
    if (rc == SQLITE_DONE) break;
    // A part that cannot be read: the rows after it, further each time it is met again.
    if (damaged) *damaged = true;
    after += jump;
    jump = std::min<std::int64_t>(jump * 2, std::int64_t{1} << 20);
  }
  return true;
}

std::unique_ptr<SqliteStore> SqliteStore::connect(const std::filesystem::path& path, int flags, const char* cannot,
                                                  std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : cannot;
    sqlite3_close(db);
    return nullptr;
  }
  std::unique_ptr<SqliteStore> store(new SqliteStore(db));
  store->busyWait_.install(db);
  return store;
}

std::unique_ptr<SqliteStore> SqliteStore::openForBuilding(const std::filesystem::path& path, std::string* error) {
  configureLibrary();
  std::unique_ptr<SqliteStore> store = connect(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                               "cannot create the database", error);
  if (!store) return nullptr;
  // The schema as open makes it, written without waiting for the disk: the file is made durable
  // once, when built (finishBuilding puts the write-ahead journal in place then).
  if (!store->exec("PRAGMA page_size=16384", error) || !store->startBuilding(error) || !store->exec("BEGIN", error) ||
      !store->exec(kCreateSchema, error) || !store->exec(kHistorySchema, error) || !store->exec("COMMIT", error))
    return nullptr;
  return store;
}

bool SqliteStore::readAll(const RowVisitor& visit, std::string* error) {
  return readPersons(true, visit, error);
}

bool SqliteStore::readVersions(const RowVisitor& visit, std::string* error) {
  return readPersons(false, visit, error);
}

bool SqliteStore::readPersons(bool withData, const RowVisitor& visit, std::string* error) {
  Statement statement(db_, withData ? "SELECT uid, ord, version, data FROM persons ORDER BY ord, id"
                                    : "SELECT uid, ord, version FROM persons ORDER BY ord, id");
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
    if (withData) row.data = statement.blob(3);
    visit(row);
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::readRows(const std::vector<std::string>& uids, const RowVisitor& visit, std::string* error) {
  // Inside a change set of several writes the reads see its transaction already.
  const bool own = !inChangeSet();
  if (own && !exec("BEGIN", error)) return false;
  Statement statement(db_, "SELECT uid, ord, version, data FROM persons WHERE uid = ?1");
  if (!statement.ok()) {
    if (error) *error = lastError();
    if (own) exec("ROLLBACK", nullptr);
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
      if (own) exec("ROLLBACK", nullptr);
      return false;
    }
    statement.reset();
  }
  if (own) exec("COMMIT", nullptr);
  return true;
}

std::optional<std::int64_t> SqliteStore::info(const char* name) {
  Statement statement(db_, "SELECT value FROM store_info WHERE name = ?");
  if (!statement.ok()) return std::nullopt;
  statement.bind(1, std::string_view(name));
  if (sqlite3_step(statement.get()) != SQLITE_ROW) return std::nullopt;
  return statement.integer(0);
}

bool SqliteStore::setInfo(const char* name, std::int64_t value, std::string* error) {
  busyWait_.reset();
  Statement statement(db_, "INSERT OR REPLACE INTO store_info(name, value) VALUES(?, ?)");
  if (statement.ok()) {
    statement.bind(1, std::string_view(name));
    statement.bind(2, value);
    if (sqlite3_step(statement.get()) == SQLITE_DONE) return true;
  }
  if (error) *error = busyWait_.gaveUp() ? busyWait_.busyMessage() : lastError();
  return false;
}

std::int64_t SqliteStore::dataVersion() {
  Statement statement(db_, "PRAGMA data_version");
  if (!statement.ok() || sqlite3_step(statement.get()) != SQLITE_ROW) return -1;
  return statement.integer(0);
}

namespace {

constexpr std::uint64_t kFnvPrime = 1099511628211ull;

}  // namespace

constexpr std::uint64_t kFnvBasis = 14695981039346656037ull;

std::uint64_t SqliteStore::hashOfValues(std::string_view data) {
  // FNV-1a over the values and then the position: the same row gives the same number on every
  // machine and in every version of the program.
  std::uint64_t hash = kFnvBasis;
  for (char c : data) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnvPrime;
  }
  return hash;
}

void SqliteStore::hashOfValues4(const std::string_view rows[4], std::uint64_t hashes[4]) {
  // The rows from the shortest to the longest: all four run side by side up to the end of the
  // shortest, the other three up to the end of the next, and so on.
  std::size_t order[4] = {0, 1, 2, 3};
  std::sort(order, order + 4, [&](std::size_t a, std::size_t b) { return rows[a].size() < rows[b].size(); });
  const unsigned char* bytes[4];
  std::uint64_t h[4];
  for (std::size_t k = 0; k < 4; ++k) {
    bytes[k] = reinterpret_cast<const unsigned char*>(rows[order[k]].data());
    h[k] = kFnvBasis;
  }
  std::size_t at = 0;
  auto step = [&](std::size_t k) { h[k] = (h[k] ^ bytes[k][at]) * kFnvPrime; };
  for (const std::size_t end = rows[order[0]].size(); at < end; ++at) step(0), step(1), step(2), step(3);
  for (const std::size_t end = rows[order[1]].size(); at < end; ++at) step(1), step(2), step(3);
  for (const std::size_t end = rows[order[2]].size(); at < end; ++at) step(2), step(3);
  for (const std::size_t end = rows[order[3]].size(); at < end; ++at) step(3);
  for (std::size_t k = 0; k < 4; ++k) hashes[order[k]] = h[k];
}

std::int64_t SqliteStore::rowHash(std::uint64_t valuesHash, std::int64_t order) {
  std::uint64_t hash = valuesHash;
  auto position = static_cast<std::uint64_t>(order);
  for (int i = 0; i < 8; ++i) {
    hash ^= static_cast<unsigned char>(position >> (8 * i));
    hash *= kFnvPrime;
  }
  return static_cast<std::int64_t>(hash);
}

std::int64_t SqliteStore::rowHash(std::string_view data, std::int64_t order) {
  return rowHash(hashOfValues(data), order);
}

std::int64_t SqliteStore::nextVersion() {
  Statement counter(db_, "UPDATE store_info SET value = value + 1 WHERE name = 'change' RETURNING value");
  if (!counter.ok() || sqlite3_step(counter.get()) != SQLITE_ROW) return 0;
  return counter.integer(0);
}

bool SqliteStore::transaction(const std::function<bool(std::string*)>& fn, std::string* error) {
  busyWait_.reset();
  const bool nested = inChangeSet();
  if (!exec(nested ? "SAVEPOINT one_write" : "BEGIN IMMEDIATE", error)) return false;
  const char* takeBack = nested ? "ROLLBACK TO one_write; RELEASE one_write" : "ROLLBACK";
  bool done;
  try {
    done = fn(error);
  } catch (...) {
    exec(takeBack, nullptr);  // memory ran out: nothing of the change reaches the file
    throw;
  }
  if (!done) {
    exec(takeBack, nullptr);
    return false;
  }
  if (!exec(nested ? "RELEASE one_write" : "COMMIT", error)) {
    exec(takeBack, nullptr);
    return false;
  }
  return true;
}

SqliteStore::WriteResult SqliteStore::write(const RowSource& rows, const std::vector<Removal>& removals,
                                            std::int64_t appendFrom, const ChangeNote& note) {
  WriteResult result;
  Row first;
  bool haveFirst = rows && rows(first);
  if (!haveFirst && removals.empty()) return result;
  // The row already taken from the source comes first again.
  RowSource source = [&](Row& row) {
    if (haveFirst) {
      haveFirst = false;
      row = first;
      return true;
    }
    row.valuesHash.reset();
    return rows && rows(row);
  };
  // Room for every page the transaction changes, so that none is written out and changed again
  // before the commit; the usual size is restored afterwards, which frees the pages. A store being
  // built (its journal in memory, nothing to wait for) has a smaller room instead: beyond 8 MB of
  // changed pages, SQLite writes those it changed first (mostly rows that stay as they are) to the
  // file while the rows are still coming, and the disk writes them meanwhile (startWriteback), so
  // that the commit and the final sync have little left to do when nothing else runs.
  exec(building_ ? "PRAGMA cache_size=-8192" : "PRAGMA cache_size=-131072", nullptr);
  struct RestoreCache {
    SqliteStore* store;
    ~RestoreCache() { store->exec("PRAGMA cache_size=-2000", nullptr); }
  } restoreCache{this};
  busyWait_.reset();
  // Inside a change set of several writes the write is a savepoint of its transaction, taken back
  // alone when it is refused.
  const bool nested = inChangeSet();
  if (!exec(nested ? "SAVEPOINT one_write" : "BEGIN IMMEDIATE", nullptr)) {
    result.error = lastError();
    result.busy = busyWait_.gaveUp() || sqlite3_errcode(db_) == SQLITE_BUSY;
    return result;
  }
  const char* takeBack = nested ? "ROLLBACK TO one_write; RELEASE one_write" : "ROLLBACK";
  try {
    result = writeRows(source, removals, appendFrom, note);
  } catch (...) {
    exec(takeBack, nullptr);  // memory ran out: nothing of the change reaches the file
    throw;
  }
  if (!result.ok()) {
    exec(takeBack, nullptr);
    return result;
  }
  if (!exec(nested ? "RELEASE one_write" : "COMMIT", nullptr)) {
    result.error = lastError();
    result.busy = busyWait_.gaveUp() || sqlite3_errcode(db_) == SQLITE_BUSY;
    exec(takeBack, nullptr);
  }
  return result;
}

SqliteStore::WriteResult SqliteStore::writeRows(const RowSource& rows, const std::vector<Removal>& removals,
                                                std::int64_t appendFrom, const ChangeNote& note) {
  WriteResult result;
  auto fail = [&] {
    result.error = lastError();
    result.busy = busyWait_.gaveUp() || sqlite3_errcode(db_) == SQLITE_BUSY;
    return result;
  };
  result.version = nextVersion();
  if (result.version == 0) return fail();
  {
    // Appended rows go after every row of the file and every position the history keeps for a
    // person that may come back.
    Statement last(db_,
                   "SELECT max(coalesce((SELECT max(ord) FROM persons), 0),"
                   "           coalesce((SELECT value FROM store_info WHERE name = 'highest_order'), 0)) + 1");
    if (!last.ok() || sqlite3_step(last.get()) != SQLITE_ROW) return fail();
    result.orderShift = std::max<std::int64_t>(0, last.integer(0) - appendFrom);
  }
  // The change set's number is taken now; its row is written only once every row of the write
  // holds the version its writer read, so a refused write records nothing.
  std::int64_t change = 0;
  bool trashInUse = false;
  if (note.record) {
    Statement next(db_, "SELECT coalesce(max(id), 0) + 1, EXISTS(SELECT 1 FROM trash) FROM changes");
    if (!next.ok() || sqlite3_step(next.get()) != SQLITE_ROW) return fail();
    change = next.integer(0);
    trashInUse = next.integer(1) != 0;
  }
  std::int64_t firstRow = 0, lastRow = 0, persons = 0;
  auto recorded = [&] {
    if (sqlite3_changes(db_) == 0) return false;
    lastRow = sqlite3_last_insert_rowid(db_);
    if (!firstRow) firstRow = lastRow;
    ++persons;
    return true;
  };
  {
    Statement keepRemoved(db_,
                          "INSERT INTO change_persons(change_id, uid, before_ord, before, gone) "
                          "SELECT ?1, uid, ord, data, 1 FROM persons WHERE uid = ?2 AND version = ?3");
    Statement toTrash(db_,
                      "INSERT INTO trash(uid, change_id, row) VALUES(?1, ?2, ?3) "
                      "ON CONFLICT(uid) DO UPDATE SET change_id = excluded.change_id, row = excluded.row");
    Statement remove(db_, "DELETE FROM persons WHERE uid = ?1 AND version = ?2");
    if (!remove.ok() || !keepRemoved.ok() || !toTrash.ok()) return fail();
    for (const auto& removal : removals) {
      if (note.record) {
        keepRemoved.bind(1, change);
        keepRemoved.bind(2, std::string_view(removal.uid));
        keepRemoved.bind(3, removal.version);
        if (sqlite3_step(keepRemoved.get()) != SQLITE_DONE) return fail();
        keepRemoved.reset();
        if (recorded()) {
          toTrash.bind(1, std::string_view(removal.uid));
          toTrash.bind(2, change);
          toTrash.bind(3, lastRow);
          if (sqlite3_step(toTrash.get()) != SQLITE_DONE) return fail();
          toTrash.reset();
          trashInUse = true;
        }
      }
      remove.bind(1, std::string_view(removal.uid));
      remove.bind(2, removal.version);
      if (sqlite3_step(remove.get()) != SQLITE_DONE) return fail();
      if (sqlite3_changes(db_) == 0) result.conflicts.push_back(removal.uid);
      remove.reset();
    }
    // The row before, unless the row stays as it is.
    Statement keepBefore(db_,
                         "INSERT INTO change_persons(change_id, uid, before_ord, before, after_hash) "
                         "SELECT ?1, ?2, p.ord, p.data, ?5 FROM (SELECT 1) LEFT JOIN persons p ON p.uid = ?2 "
                         "WHERE p.data IS NOT ?3 OR p.ord IS NOT ?4");
    // A new contact has no row before: its record needs no lookup.
    Statement keepNew(db_,
                      "INSERT INTO change_persons(change_id, uid, before_ord, before, after_hash) "
                      "VALUES(?1, ?2, NULL, NULL, ?3)");
    Statement outOfTrash(db_, "DELETE FROM trash WHERE uid = ?1");
    Statement insert(db_,
                     "INSERT INTO persons(uid, ord, data, version) VALUES(?1, ?2, ?3, ?4) "
                     "ON CONFLICT(uid) DO NOTHING");
    Statement update(db_, "UPDATE persons SET ord = ?2, data = ?3, version = ?4 WHERE uid = ?1 AND version = ?5");
    if (!insert.ok() || !update.ok() || !keepBefore.ok() || !keepNew.ok() || !outOfTrash.ok()) return fail();
    Row row;
    std::size_t sinceWriteback = 0;
    // A store being built takes its new rows in batches (see NewRows), in the order they come: the
    // rows of each table, their numbers and the history are those that one row at a time gives.
    NewRows* batch = building_ && !trashInUse ? newRows_.get() : nullptr;
    std::optional<Statement> keepNewRows, insertNewRows, heldBy;
    if (batch) {
      batch->clear();
      keepNewRows.emplace(db_,
                          "INSERT INTO change_persons(change_id, uid, before_ord, before, after_hash) "
                          "SELECT ?1, uid, NULL, NULL, after_hash FROM rolvane_new_rows");
      insertNewRows.emplace(db_,
                            "INSERT INTO persons(uid, ord, data, version) SELECT uid, ord, data, ?1 "
                            "FROM rolvane_new_rows WHERE true ON CONFLICT(uid) DO NOTHING");
      heldBy.emplace(db_, "SELECT ord, version FROM persons WHERE uid = ?1");
      if (!keepNewRows->ok() || !insertNewRows->ok() || !heldBy->ok()) return fail();
    }
    auto insertBatch = [&] {
      const std::size_t count = batch ? batch->rows.size() : 0;
      if (count == 0) return true;
      if (note.record) {
        keepNewRows->bind(1, change);
        if (sqlite3_step(keepNewRows->get()) != SQLITE_DONE) return false;
        keepNewRows->reset();
        lastRow = sqlite3_last_insert_rowid(db_);
        if (!firstRow) firstRow = lastRow - static_cast<std::int64_t>(count) + 1;
        persons += static_cast<std::int64_t>(count);
      }
      insertNewRows->bind(1, result.version);
      if (sqlite3_step(insertNewRows->get()) != SQLITE_DONE) return false;
      const auto inserted = static_cast<std::size_t>(sqlite3_changes(db_));
      insertNewRows->reset();
      // A row left out holds an id another row has: the row of that id is not the one of this write.
      for (std::size_t i = 0; inserted < count && i < count; ++i) {
        heldBy->bind(1, batch->uid(i));
        const int step = sqlite3_step(heldBy->get());
        if (step != SQLITE_ROW && step != SQLITE_DONE) return false;
        if (step == SQLITE_DONE || heldBy->integer(0) != batch->rows[i].order || heldBy->integer(1) != result.version)
          result.conflicts.emplace_back(batch->uid(i));
        heldBy->reset();
      }
      if ((sinceWriteback += count) >= kRowsPerWriteback) {
        sinceWriteback = 0;
        startWriteback();
      }
      batch->clear();
      if (batch->bytes.capacity() > 2 * kBytesPerBatch) batch->bytes = std::string();  // after a large row
      return true;
    };
    while (rows(row)) {
      std::int64_t order = row.version == 0 && row.order >= appendFrom ? row.order + result.orderShift : row.order;
      if (batch && row.version == 0) {
        batch->add(row.uid, row.data, order,
                   note.record ? (row.valuesHash ? rowHash(*row.valuesHash, order) : rowHash(row.data, order)) : 0);
        if ((batch->rows.size() == kRowsPerBatch || batch->bytes.size() >= kBytesPerBatch) && !insertBatch())
          return fail();
        continue;
      }
      if (!insertBatch()) return fail();  // the rows before this one go first
      if (building_ && ++sinceWriteback == kRowsPerWriteback) {
        sinceWriteback = 0;
        startWriteback();
      }
      if (note.record && row.version == 0) {
        keepNew.bind(1, change);
        keepNew.bind(2, row.uid);
        keepNew.bind(3, row.valuesHash ? rowHash(*row.valuesHash, order) : rowHash(row.data, order));
        if (sqlite3_step(keepNew.get()) != SQLITE_DONE) return fail();
        keepNew.reset();
        recorded();
        if (trashInUse) {
          outOfTrash.bind(1, row.uid);
          if (sqlite3_step(outOfTrash.get()) != SQLITE_DONE) return fail();
          outOfTrash.reset();
        }
      } else if (note.record) {
        keepBefore.bind(1, change);
        keepBefore.bind(2, row.uid);
        keepBefore.bindBlob(3, row.data);
        keepBefore.bind(4, order);
        keepBefore.bind(5, row.valuesHash ? rowHash(*row.valuesHash, order) : rowHash(row.data, order));
        if (sqlite3_step(keepBefore.get()) != SQLITE_DONE) return fail();
        keepBefore.reset();
        recorded();
        if (trashInUse) {
          outOfTrash.bind(1, row.uid);
          if (sqlite3_step(outOfTrash.get()) != SQLITE_DONE) return fail();
          outOfTrash.reset();
        }
      }
      Statement& statement = row.version == 0 ? insert : update;
      statement.bind(1, row.uid);
      statement.bind(2, order);
      statement.bindBlob(3, row.data);
      statement.bind(4, result.version);
      if (row.version != 0) statement.bind(5, row.version);
      if (sqlite3_step(statement.get()) != SQLITE_DONE) return fail();
      if (sqlite3_changes(db_) == 0) result.conflicts.emplace_back(row.uid);
      statement.reset();
    }
    if (!insertBatch()) return fail();
  }
  if (!result.conflicts.empty()) {
    result.error = "changed or removed by another program since it was read: " + result.conflicts.front();
    return result;
  }
  {
    Statement highest(db_,
                      "UPDATE store_info SET value = max(value, (SELECT coalesce(max(ord), 0) FROM persons)) "
                      "WHERE name = 'highest_order'");
    if (!highest.ok() || sqlite3_step(highest.get()) != SQLITE_DONE) return fail();
  }
  if (note.record && persons > 0) {
    Statement add(db_,
                  "INSERT INTO changes(id, time, description, persons, first_row, last_row) "
                  "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!add.ok()) return fail();
    add.bind(1, change);
    add.bind(2, note.time);
    add.bind(3, std::string_view(note.description));
    add.bind(4, persons);
    add.bind(5, firstRow);
    add.bind(6, lastRow);
    if (sqlite3_step(add.get()) != SQLITE_DONE) return fail();
    result.changeId = change;
  }
  return result;
}
