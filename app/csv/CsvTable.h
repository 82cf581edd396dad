#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// A CSV file read whole: its text in UTF-8, its headings and its rows of cells, per RFC 4180
// (fields in double quotes may hold the delimiter, line breaks and doubled quotes). The character
// set is found from the bytes unless named: a UTF-8 or UTF-16 byte order mark, text without one that
// is valid UTF-8 or looks like UTF-16, else Windows-1252. The delimiter is the one of comma,
// semicolon and tab that the heading line holds most of outside quotes, unless named.
class CsvTable {
 public:
  // Reads the text; false and *error "<name>:<line>: <problem>" for a file that is not CSV (a
  // quote left open, text after a closing quote, no heading line). charset names the character set
  // ("" to find it), delimiter the separator (0 to find it).
  bool read(std::string_view bytes, const std::string& sourceName, const std::string& charset, char delimiter,
            std::string* error);
  // The same taking the bytes over (UTF-8 text is not copied); without whole, only the heading line
  // is read, and the rows as readRows is asked for them.
  bool read(std::string&& bytes, const std::string& sourceName, const std::string& charset, char delimiter,
            std::string* error, bool whole = true);
  // Reads rows until there are upTo of them or the file ends; false and *error as read() says.
  bool readRows(size_t upTo, std::string* error);
  bool complete() const { return at_ >= text_.size(); }

  const std::vector<std::string_view>& headings() const { return headings_; }
  size_t rowCount() const { return rowStarts_.size(); }
  // The cell of row i (the row after the heading line is 0) under a heading; empty where the row has
  // none.
  std::string_view cell(size_t row, size_t column) const {
    for (const Cell& cell : cellsOf(row))
      if (cell.column == column) return cell.text;
    return {};
  }
  // Calls visit(column, text) for every cell of the row that holds something, by column.
  template <typename Visit>
  void forEachCell(size_t row, Visit&& visit) const {
    for (const Cell& cell : cellsOf(row)) visit(static_cast<size_t>(cell.column), cell.text);
  }
  // The file's line on which row i starts (the heading line is line 1).
  size_t lineOf(size_t row) const { return rowLines_[row]; }
  const std::string& charset() const { return charset_; }
  char delimiter() const { return delimiter_; }

  // The character set of the bytes as read() would find it: "UTF-8", "UTF-16LE", "UTF-16BE" or
  // "WINDOWS-1252".
  static std::string detectCharset(std::string_view bytes);

 private:
  // A field that holds something (most fields of the programs' files are empty, and are not kept).
  struct Cell {
    std::uint32_t column;
    std::string_view text;
  };
  struct Cells {
    const Cell* begin_;
    const Cell* end_;
    const Cell* begin() const { return begin_; }
    const Cell* end() const { return end_; }
  };
  Cells cellsOf(size_t row) const {
    const size_t end = row + 1 < rowStarts_.size() ? rowStarts_[row + 1] : cells_.size();
    return {cells_.data() + rowStarts_[row], cells_.data() + end};
  }

  std::string text_;
  std::deque<std::string> unquoted_;  // quoted cells with doubled quotes, undone
  std::vector<std::string_view> headings_;
  std::vector<Cell> cells_;
  std::vector<size_t> rowStarts_;
  std::vector<size_t> rowLines_;
  std::string charset_;
  char delimiter_ = ',';
  std::string name_;
  size_t at_ = 0;    // where the next record starts
  size_t line_ = 1;  // its line
  bool headingDone_ = false;
  std::vector<std::string_view> row_;
};
