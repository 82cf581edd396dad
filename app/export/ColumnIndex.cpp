#include "app/export/ColumnIndex.h"

#include <cstring>

ColumnIndex::ColumnIndex(const std::vector<std::string>& columns) : count_(columns.size()) {
  size_t size = 16;
  while (size < columns.size() * 4) size *= 2;
  buckets_.resize(size);
  for (size_t i = 0; i < columns.size(); ++i) {
    size_t at = bucketOf(columns[i]);
    while (buckets_[at].positions >= 0 && buckets_[at].key != columns[i]) at = (at + 1) & (size - 1);
    if (buckets_[at].positions < 0) {
      buckets_[at] = {columns[i], static_cast<int32_t>(positions_.size())};
      positions_.emplace_back();
    }
    positions_[static_cast<size_t>(buckets_[at].positions)].push_back(i);
  }
}

size_t ColumnIndex::bucketOf(std::string_view key) const {
  uint64_t hash = key.size() * 0x9E3779B97F4A7C15ULL;
  if (key.size() >= 8) {
    uint64_t front, back;
    std::memcpy(&front, key.data(), 8);
    std::memcpy(&back, key.data() + key.size() - 8, 8);
    hash ^= front * 0xC2B2AE3D27D4EB4FULL;
    hash ^= (back ^ (back >> 29)) * 0x165667B19E3779F9ULL;
  } else {
    for (unsigned char c : key) hash = (hash ^ c) * 0x100000001B3ULL;
  }
  hash ^= hash >> 32;
  hash *= 0xD6E8FEB86659FD93ULL;
  return static_cast<size_t>(hash >> 32) & (buckets_.size() - 1);
}

const std::vector<size_t>* ColumnIndex::positionsOf(std::string_view key) const {
  for (size_t at = bucketOf(key);; at = (at + 1) & (buckets_.size() - 1)) {
    const Bucket& bucket = buckets_[at];
    if (bucket.positions < 0) return nullptr;
    if (bucket.key == key) return &positions_[static_cast<size_t>(bucket.positions)];
  }
}

void ColumnIndex::fill(const ContactRecord& record, std::vector<std::optional<RecordValue>>& slots) const {
  slots.assign(count_, std::nullopt);
  for (const auto& [key, value] : record.entries())
    if (const auto* positions = positionsOf(key))
      for (size_t position : *positions) slots[position] = value;
}

std::string_view CellText::dateText(const ABDate& date) {
  fallback_ = ContactRecord::dateText(date);
  return fallback_;
}
