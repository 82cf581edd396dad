#include "core/record/AllInfoColumns.h"

#include <algorithm>

#include "core/record/RecordKeys.h"

namespace AllInfoColumns {

const std::vector<std::string>& base() {
  static const std::vector<std::string> list = RecordKeys::allInfoKeys();
  return list;
}

const std::vector<std::string>& csv() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> h = base();
    auto middle = std::find(h.begin(), h.end(), "Middle Name");
    h.insert(middle, {"Phonetic First Name", "Phonetic Last Name"});
    return h;
  }();
  return list;
}

const std::vector<std::string>& spreadsheet() {
  static const std::vector<std::string> list = [] {
    std::vector<std::string> h = base();
    h.push_back("Maiden Name");
    h.push_back("Middle Name");
    return h;
  }();
  return list;
}

}  // namespace AllInfoColumns
