#include "core/record/RecordColumns.h"

#include <string_view>
#include <unordered_set>

std::vector<std::string> recordKeysInOrder(const ContactRecords& records) {
  std::vector<std::string> keys;
  std::unordered_set<std::string_view> seen;
  for (const ContactRecord& record : records)
    for (const auto& entry : record.entries())
      if (entry.key != "Person" && seen.insert(entry.key).second) keys.push_back(entry.key);
  return keys;
}

std::vector<std::string> namesFirst(const std::vector<std::string>& keys) {
  std::vector<std::string> ordered;
  ordered.reserve(keys.size());
  for (const std::string& key : keys) {
    if (key == "First Name")
      ordered.insert(ordered.begin(), key);
    else if (key == "Last Name")
      ordered.insert(ordered.empty() ? ordered.begin() : ordered.begin() + 1, key);
    else
      ordered.push_back(key);
  }
  return ordered;
}

std::vector<std::string> recordColumns(const ContactRecords& records) {
  return namesFirst(recordKeysInOrder(records));
}
