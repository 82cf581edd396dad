#include "app/model/IndexGrouping.h"

void IndexGrouping::setIndexForName(int index, const std::string& name) {
  auto [it, inserted] = groups_.try_emplace(name);
  if (inserted) names_.push_back(name);
  it->second.push_back(index);
}

const std::vector<int>* IndexGrouping::indexesForName(const std::string& name) const {
  auto it = groups_.find(name);
  return it == groups_.end() ? nullptr : &it->second;
}
