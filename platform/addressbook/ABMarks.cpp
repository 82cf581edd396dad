#include "ABMarks.h"

#include <algorithm>

ABMarkCover::ABMarkCover(const ABAddressBook& book, const std::string& kind) {
  if (!book.marks(kind, marks_)) marks_.clear();
  index();
}

ABMarkCover::ABMarkCover(std::vector<ABMark> marks) : marks_(std::move(marks)) {
  index();
}

void ABMarkCover::index() {
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

std::vector<std::string> ABMarkCover::keptFor(const std::string& uid) const {
  std::vector<std::string> kept;
  auto found = byUid_.find(uid);
  if (found == byUid_.end()) return kept;
  for (size_t index : found->second) {
    auto items = listOfValue(marks_[index].value);
    kept.insert(kept.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  }
  return kept;
}

bool ABMarkCover::keeps(const std::string& uid, const std::vector<std::string>& texts) const {
  if (texts.empty()) return false;
  const auto kept = keptFor(uid);
  if (kept.empty()) return false;
  return std::all_of(texts.begin(), texts.end(),
                     [&](const std::string& text) { return std::find(kept.begin(), kept.end(), text) != kept.end(); });
}

// Items are separated by new lines; a backslash or a new line inside an item is escaped.
std::string ABMarkCover::valueOfList(const std::vector<std::string>& texts) {
  std::string value;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) value += '\n';
    for (char c : texts[i]) {
      if (c == '\\')
        value += "\\\\";
      else if (c == '\n')
        value += "\\n";
      else
        value += c;
    }
  }
  return value;
}

std::vector<std::string> ABMarkCover::listOfValue(const std::string& value) {
  std::vector<std::string> texts;
  if (value.empty()) return texts;
  texts.emplace_back();
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\n') {
      texts.emplace_back();
    } else if (c == '\\' && i + 1 < value.size()) {
      texts.back() += value[++i] == 'n' ? '\n' : value[i];
    } else {
      texts.back() += c;
    }
  }
  return texts;
}
