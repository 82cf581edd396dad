#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/record/ContactRecord.h"

// Finds the values of records for a fixed list of columns with one pass over each record: every
// key of a record is placed by one cheap hash and one comparison.
class ColumnIndex {
 public:
  // The columns must outlive the index.
  explicit ColumnIndex(const std::vector<std::string>& columns);
  // slots[i] becomes the record's value under column i, or nullopt.
  void fill(const ContactRecord& record, std::vector<std::optional<RecordValue>>& slots) const;

 private:
  struct Bucket {
    std::string_view key;
    int32_t positions = -1;  // index into positions_; -1: empty bucket
  };

  size_t bucketOf(std::string_view key) const;
  const std::vector<size_t>* positionsOf(std::string_view key) const;

  std::vector<Bucket> buckets_;  // open addressing, a power of two in size
  std::vector<std::vector<size_t>> positions_;
  size_t count_;
};

// The text a writer shows for a value: a string as it is, a date as YYYY-MM-DD; nothing for the
// person reference. A date's text lives in this object until the next call.
class CellText {
 public:
  std::optional<std::string_view> of(const RecordValue& value) {
    if (const auto* text = std::get_if<std::string_view>(&value)) return *text;
    if (const auto* date = std::get_if<ABDate>(&value)) return dateText(*date);
    return std::nullopt;
  }

 private:
  std::string_view dateText(const ABDate& date);

  std::string fallback_;
};
