#pragma once

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
// encoded values). Writes happen in one transaction each; the journal is write-ahead, so a crash
// leaves the file as before or as after a write.
class SqliteStore {
 public:
  struct Row {
    std::string_view uid;
    std::int64_t order = 0;
    std::string_view data;
  };
  // Gives the next row to upsert; false when there is none left. A row's texts must stay valid until
  // the next call.
  using RowSource = std::function<bool(Row& row)>;

  ~SqliteStore();
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  // ":memory:" opens a store that keeps nothing.
  static std::unique_ptr<SqliteStore> open(const std::filesystem::path& path, std::string* error);

  // Calls visit for every row in store order. False and *error on a read failure.
  bool readAll(const std::function<void(std::string_view uid, std::int64_t order, std::string_view data)>& visit,
               std::string* error);

  // Deletes the removals and upserts every row of the source in one transaction; on failure nothing
  // of it is written.
  bool write(const RowSource& upserts, const std::vector<std::string>& removals, std::string* error);

 private:
  explicit SqliteStore(sqlite3* db) : db_(db) {}
  bool exec(const char* sql, std::string* error);
  std::string lastError() const;

  sqlite3* db_ = nullptr;
};
