#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/record/ContactRecord.h"

class ZipArchive;

// Streams the worksheet and the shared-string table of a workbook straight into two entries of an
// archive being written, a piece at a time, so neither part is ever held whole. The worksheet
// goes first: writing it settles which cells exist, and so the item count that heads the
// shared-string table.
//
// Rows: row 1 holds one heading cell per title, row i + 1 one cell per title that record i - 1
// holds as text; every cell is a new shared-string item, numbered in the order written.
class XlsxSheetStream {
 public:
  XlsxSheetStream(const ContactRecords& records, const std::vector<std::string>& titles, bool spans)
      : records_(records), titles_(titles), spans_(spans) {}

  // False (with error()) when an entry cannot be written.
  bool write(ZipArchive& zip, const std::string& sheetEntry, const std::string& sharedEntry);
  // Items written to the shared-string table.
  int64_t itemCount() const { return itemCount_; }
  const std::string& error() const { return error_; }

 private:
  // Sets up the search for the entries that give cells; returns an upper bound of their number.
  std::size_t preparePlan();
  // Finds the entries of the next record that give cells, in column order.
  void planRecord(const ContactRecord& record);
  bool writeSheet(ZipArchive& zip, const std::string& entry);
  bool writeSharedStrings(ZipArchive& zip, const std::string& entry);

  const ContactRecords& records_;
  const std::vector<std::string>& titles_;
  bool spans_;
  // For record r, cells_[cellStart_[r] .. cellStart_[r + 1]) give, per cell, the column and the
  // index of the record entry that holds its text.
  struct Cell {
    uint32_t column;
    uint32_t entry;
  };
  std::vector<Cell> cells_;
  std::unordered_map<std::string_view, std::vector<uint32_t>> columnsOf_;
  std::vector<uint32_t> entryAt_;  // per column: index + 1 of the entry giving its cell, 0 = none
  std::string scratch_;
  std::vector<std::size_t> cellStart_;
  uint64_t textBytes_ = 0;
  int64_t itemCount_ = 0;
  std::string error_;
};
