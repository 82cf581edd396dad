#include "frameworks/iwork/IWorkTableRows.h"
#include "core/record/RecordColumns.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

constexpr std::string_view kPersonKey = "Person";

}  // namespace

std::vector<std::string> iworkAllKeys(const ContactRecords& records) {
  return recordColumns(records);
}

bool hasShownKeys(const ContactRecord& record) {
  const auto entries = record.entries();
  return std::any_of(entries.begin(), entries.end(),
                     [](const ContactRecord::Entry& entry) { return entry.key != kPersonKey; });
}

void writeHeadingRow(IWorkCellStream& cells, const std::vector<std::string>& titles, const IWorkCellLook& look) {
  for (std::size_t column = 0; column < titles.size(); ++column)
    cells.writeCell(0, column, look.style, look.width, look.height, titles[column]);
}

void writeRecordRows(IWorkCellStream& cells, const ContactRecords& records, const std::vector<std::string>& titles,
                     const IWorkCellLook& look) {
  // A title may head more than one column; each of them shows the value.
  std::unordered_map<std::string_view, std::vector<std::size_t>> columnsOf;
  for (std::size_t column = 0; column < titles.size(); ++column)
    if (titles[column] != kPersonKey) columnsOf[titles[column]].push_back(column);

  std::vector<std::pair<std::size_t, RecordValue>> rowCells;
  std::string dateText;
  std::size_t row = 1;
  for (const ContactRecord& record : records) {
    if (!hasShownKeys(record)) continue;
    rowCells.clear();
    for (const auto& [key, value] : record.entries()) {
      auto found = columnsOf.find(key);
      if (found == columnsOf.end()) continue;
      for (std::size_t column : found->second) rowCells.emplace_back(column, value);
    }
    std::sort(rowCells.begin(), rowCells.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [column, value] : rowCells) {
      if (const auto* text = std::get_if<std::string_view>(&value)) {
        cells.writeCell(row, column, look.style, look.width, look.height, *text);
      } else if (const auto* date = std::get_if<ABDate>(&value)) {
        dateText = ContactRecord::dateText(*date);
        cells.writeCell(row, column, look.style, look.width, look.height, dateText);
      }
    }
    ++row;
  }
}
