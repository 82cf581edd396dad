#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/model/ContactRecord.h"
#include "frameworks/common/OutputFile.h"

// Finds the values of a record for a fixed list of columns with one pass over the record.
class ColumnIndex {
 public:
  explicit ColumnIndex(const std::vector<std::string>& columns);
  // slots[i] becomes the record's value under column i, or nullptr.
  void fill(const ContactRecord& record, std::vector<const RecordValue*>& slots) const;
  // The text of a value as the writers show it (a date as YYYY-MM-DD); false for the person reference.
  static bool appendText(std::string& out, const RecordValue& value);

 private:
  std::unordered_map<std::string_view, std::vector<size_t>> positions_;
  size_t count_;
};

// Collects output and writes it to a file in large pieces.
class ChunkedFile {
 public:
  explicit ChunkedFile(const std::string& path);
  std::string& buffer() { return buffer_; }
  // Writes the buffer out when it has grown large.
  void flushIfLarge();
  // Writes the rest and closes; false when any write failed.
  bool finish();

 private:
  std::FILE* file_;
  std::string buffer_;
  bool ok_;
};

// Writes the rest of the file and gives it its final name: the result names the file or says why
// nothing was written.
ExportResult finishOutput(ChunkedFile& file, OutputFile& output);
