#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

// What a query gives on the store at path, opened read-only: one text per row with its columns
// joined by '|' (NULL for a missing value); the error message when the query cannot be made.
inline std::vector<std::string> rowsOf(const std::filesystem::path& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) rows.push_back(sqlite3_errmsg(db));
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      if (column > 0) row += '|';
      const unsigned char* text = sqlite3_column_text(statement, column);
      row += text ? reinterpret_cast<const char*>(text) : "NULL";
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}
