#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/record/ContactRecord.h"

// Finds the values of records for a fixed list of columns with one pass over each record: every
// key of a record is placed by its key number.
class ColumnIndex {
 public:
  // What a slot holds for a column the record has no value for.
  static constexpr uint32_t kNone = UINT32_MAX;

  explicit ColumnIndex(const std::vector<std::string>& columns);
  // slots[i] becomes the place of the record's entry under column i (record.valueAt(slots[i])),
  // or kNone.
  void fill(const ContactRecord& record, std::vector<uint32_t>& slots) const;

 private:
  std::vector<std::vector<uint32_t>> columnsOfKey_;  // by key number: the columns that show it
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
