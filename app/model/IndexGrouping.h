#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// Groups integer indexes by name: name -> indexes in call order. Names keep the order in which they
// were first recorded.
class IndexGrouping {
 public:
  void setIndexForName(int index, const std::string& name);
  const std::vector<int>* indexesForName(const std::string& name) const;
  const std::vector<std::string>& names() const { return names_; }
  size_t size() const { return names_.size(); }

 private:
  std::unordered_map<std::string, std::vector<int>> groups_;
  std::vector<std::string> names_;
};
