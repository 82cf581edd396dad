#pragma once

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

  const std::vector<std::string_view>& headings() const { return headings_; }
  size_t rowCount() const { return rowStarts_.size(); }
  // The cells of row i (the row after the heading line is 0); a row shorter than the headings has
  // empty cells at its end.
  std::string_view cell(size_t row, size_t column) const {
    const size_t begin = rowStarts_[row];
    const size_t end = row + 1 < rowStarts_.size() ? rowStarts_[row + 1] : cells_.size();
    return begin + column < end ? cells_[begin + column] : std::string_view();
  }
  size_t cellCount(size_t row) const {
    const size_t end = row + 1 < rowStarts_.size() ? rowStarts_[row + 1] : cells_.size();
    return end - rowStarts_[row];
  }
  // The file's line on which row i starts (the heading line is line 1).
  size_t lineOf(size_t row) const { return rowLines_[row]; }
  const std::string& charset() const { return charset_; }
  char delimiter() const { return delimiter_; }

  // The character set of the bytes as read() would find it: "UTF-8", "UTF-16LE", "UTF-16BE" or
  // "WINDOWS-1252".
  static std::string detectCharset(std::string_view bytes);

 private:
  std::string text_;
  std::deque<std::string> unquoted_;  // quoted cells with doubled quotes, undone
  std::vector<std::string_view> headings_;
  std::vector<std::string_view> cells_;
  std::vector<size_t> rowStarts_;
  std::vector<size_t> rowLines_;
  std::string charset_;
  char delimiter_ = ',';
};
