#include <algorithm>
#include <unordered_map>

#include "app/scanner/NameFolding.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/ScannerConditions.h"
#include "platform/addressbook/ABGroups.h"

namespace ScannerConditions {

namespace {

// Counts each name once per record.
class UseCounter {
 public:
  void record(const std::vector<std::string_view>& names) {
    seen_.clear();
    for (std::string_view name : names) {
      if (name.empty() || std::find(seen_.begin(), seen_.end(), name) != seen_.end()) continue;
      seen_.push_back(name);
      auto [it, added] = index_.try_emplace(std::string(name), uses_.size());
      if (added) uses_.emplace_back(std::string(name), 0);
      ++uses_[it->second].second;
    }
  }
  GroupNameUses take() { return std::move(uses_); }

 private:
  GroupNameUses uses_;
  std::unordered_map<std::string, size_t> index_;
  std::vector<std::string_view> seen_;
};

std::vector<std::string_view> namesOf(const PersonValues& values) {
  std::vector<std::string_view> names;
  if (values.isGroupCard()) {
    if (values.groupName) names.push_back(*values.groupName);
    return names;
  }
  for (const auto& entry : values.categories)
    if (entry.isText) names.push_back(entry.text);
  return names;
}

}  // namespace

std::string groupNameKey(std::string_view name) {
  std::string key;
  for (const auto& word : NameFolding::words(name, {.letterCase = true, .accents = true, .punctuation = false})) {
    if (!key.empty()) key += ' ';
    key += word;
  }
  return key;
}

std::vector<std::string> groupNamesOf(const ABPersonData& record) {
  if (ABGroups::isGroupCard(record)) return {ABGroups::groupName(record)};
  return ABGroups::categories(record);
}

GroupNameUses groupNameUses(const std::vector<ABPersonSnapshot>& records) {
  UseCounter counter;
  for (const auto& record : records) {
    const std::vector<std::string> names = groupNamesOf(*record);
    counter.record(std::vector<std::string_view>(names.begin(), names.end()));
  }
  return counter.take();
}

GroupNameUses groupNameUses(const ScanSnapshot& snapshot) {
  UseCounter counter;
  for (size_t i = 0; i < snapshot.records(); ++i) counter.record(namesOf(snapshot.record(i)));
  return counter.take();
}

std::vector<std::pair<std::string, std::string>> groupRenames(const GroupNameUses& uses) {
  std::unordered_map<std::string, size_t> most;  // key -> the spelling used most
  std::vector<std::string> keys;
  keys.reserve(uses.size());
  for (size_t i = 0; i < uses.size(); ++i) {
    keys.push_back(groupNameKey(uses[i].first));
    if (keys.back().empty()) continue;
    auto [it, added] = most.try_emplace(keys.back(), i);
    if (!added && uses[i].second > uses[it->second].second) it->second = i;
  }
  std::vector<std::pair<std::string, std::string>> renames;
  for (size_t i = 0; i < uses.size(); ++i) {
    if (keys[i].empty()) continue;
    const size_t to = most[keys[i]];
    if (to != i) renames.emplace_back(uses[i].first, uses[to].first);
  }
  return renames;
}

std::vector<size_t> groupsWrittenDifferently(const ScanSnapshot& snapshot) {
  const auto renames = groupRenames(groupNameUses(snapshot));
  std::vector<size_t> found;
  if (renames.empty()) return found;
  std::unordered_map<std::string_view, bool> renamed;
  for (const auto& [from, to] : renames) renamed.emplace(from, true);
  for (size_t i = 0; i < snapshot.records(); ++i) {
    const auto names = namesOf(snapshot.record(i));
    if (std::any_of(names.begin(), names.end(), [&](std::string_view name) { return renamed.count(name) > 0; }))
      found.push_back(i);
  }
  return found;
}

std::vector<size_t> emptyGroups(const ScanSnapshot& snapshot) {
  std::vector<size_t> found;
  for (size_t i = 0; i < snapshot.groups.size(); ++i)
    if (snapshot.groups[i].members.empty()) found.push_back(snapshot.size() + i);
  return found;
}

ScanCondition groupWrittenDifferently() {
  return {"Same group written differently", "GroupWrittenDifferently", &ScanAddressBook::findGroupsWrittenDifferently,
          nullptr, ScanCondition::Task::kGroupsWrittenDifferently};
}

ScanCondition emptyGroup() {
  return {"Empty group", "EmptyGroup", &ScanAddressBook::findEmptyGroups, nullptr, ScanCondition::Task::kEmptyGroups};
}

}  // namespace ScannerConditions
