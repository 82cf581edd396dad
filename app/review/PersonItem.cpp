#include "app/review/PersonItem.h"

#include <algorithm>

#include "app/review/PersonNames.h"

std::unique_ptr<PersonItem> PersonItem::initFatherNodeWithName(std::string name) {
  std::unique_ptr<PersonItem> node(new PersonItem());
  node->isRootNode_ = true;
  node->name_ = std::move(name);
  return node;
}

std::unique_ptr<PersonItem> PersonItem::initChildNodeWithPerson(ABPersonRef person) {
  std::unique_ptr<PersonItem> node(new PersonItem());
  node->name_ = PersonNames::rowName(*person);
  node->person_ = std::move(person);
  return node;
}

PersonItem* PersonItem::addChild(std::unique_ptr<PersonItem> child) {
  child->parentNode_ = this;
  childrenArray_.push_back(std::move(child));
  return childrenArray_.back().get();
}

std::vector<PersonItem*> PersonItem::childrenArray() const {
  std::vector<PersonItem*> children;
  children.reserve(childrenArray_.size());
  for (const auto& child : childrenArray_) children.push_back(child.get());
  return children;
}

bool PersonItem::removeItem(const PersonItem* child) {
  auto it = std::find_if(childrenArray_.begin(), childrenArray_.end(),
                         [&](const std::unique_ptr<PersonItem>& node) { return node.get() == child; });
  if (it == childrenArray_.end()) return false;
  childrenArray_.erase(it);
  return true;
}

int PersonItem::indexOfChild(const PersonItem* child) const {
  for (size_t i = 0; i < childrenArray_.size(); ++i)
    if (childrenArray_[i].get() == child) return static_cast<int>(i);
  return -1;
}
