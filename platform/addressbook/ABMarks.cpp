#include "ABMarks.h"

#include <algorithm>

ABMarkCover::ABMarkCover(const ABAddressBook& book, const std::string& kind) {
  if (!book.marks(kind, marks_)) marks_.clear();
  for (size_t i = 0; i < marks_.size(); ++i)
    for (const auto& uid : marks_[i].uids) byUid_[uid].push_back(i);
}

bool ABMarkCover::covers(const std::vector<std::string>& uids) const {
  return covers(uids, nullptr);
}

bool ABMarkCover::coversForValue(const std::vector<std::string>& uids, const std::string& value) const {
  return covers(uids, &value);
}

bool ABMarkCover::covers(const std::vector<std::string>& uids, const std::string* value) const {
  if (uids.size() < 2 || marks_.empty()) return false;
  std::vector<const std::vector<size_t>*> held;
  held.reserve(uids.size());
  for (const auto& uid : uids) {
    auto found = byUid_.find(uid);
    if (found == byUid_.end()) return false;
    held.push_back(&found->second);
  }
  for (size_t a = 0; a < uids.size(); ++a) {
    for (size_t b = a + 1; b < uids.size(); ++b) {
      if (uids[a] == uids[b]) continue;
      // Both lists are ascending: one walk finds a mark they share.
      bool together = false;
      auto i = held[a]->begin(), j = held[b]->begin();
      while (!together && i != held[a]->end() && j != held[b]->end()) {
        if (*i < *j) {
          ++i;
        } else if (*j < *i) {
          ++j;
        } else {
          together = !value || marks_[*i].value == *value;
          ++i;
          ++j;
        }
      }
      if (!together) return false;
    }
  }
  return true;
}
