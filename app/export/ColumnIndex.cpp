#include "app/export/ColumnIndex.h"

ColumnIndex::ColumnIndex(const std::vector<std::string>& columns) : count_(columns.size()) {
  for (size_t i = 0; i < columns.size(); ++i) {
    const RecordKeyId id = ContactRecord::keyId(columns[i]);
    if (id >= columnsOfKey_.size()) columnsOfKey_.resize(id + 1u);
    columnsOfKey_[id].push_back(static_cast<uint32_t>(i));
  }
}

void ColumnIndex::fill(const ContactRecord& record, std::vector<uint32_t>& slots) const {
  slots.assign(count_, kNone);
  for (size_t at = 0; at < record.size(); ++at) {
    const RecordKeyId id = record.keyIdAt(at);
    if (id >= columnsOfKey_.size()) continue;
    for (uint32_t column : columnsOfKey_[id]) slots[column] = static_cast<uint32_t>(at);
  }
}

std::string_view CellText::dateText(const ABDate& date) {
  fallback_ = ContactRecord::dateText(date);
  return fallback_;
}
