#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

// A prepared SQLite statement, finalized when it goes.
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
  // One step: true on a row (step) or at the end of a statement that gives none (run).
  bool step() { return sqlite3_step(stmt_) == SQLITE_ROW; }
  bool run() { return sqlite3_step(stmt_) == SQLITE_DONE; }
  void reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_ = false;
};
