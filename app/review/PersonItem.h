#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"

// A node of the review outline: a father node per category, a child node per contact.
class PersonItem {
 public:
  static std::unique_ptr<PersonItem> initFatherNodeWithName(std::string name);
  // A child node named "first last", a missing part written as (null).
  static std::unique_ptr<PersonItem> initChildNodeWithPerson(ABPersonRef person);

  bool isRootNode() const { return isRootNode_; }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  const ABPersonRef& person() const { return person_; }
  PersonItem* parentNode() const { return parentNode_; }
  // The other contacts of a finding about several: those sharing the e-mail address, or the rest of
  // a group of similar contacts.
  const std::vector<ABPersonRef>& duplicateEmailArray() const { return duplicateEmailArray_; }
  void setDuplicateEmailArray(std::vector<ABPersonRef> persons) { duplicateEmailArray_ = std::move(persons); }
  const std::string& duplicateEmailType() const { return duplicateEmailType_; }
  void setDuplicateEmailType(std::string label) { duplicateEmailType_ = std::move(label); }
  // The shared e-mail value itself.
  const std::string& duplicateEmail() const { return duplicateEmail_; }
  void setDuplicateEmail(std::string value) { duplicateEmail_ = std::move(value); }

  // Why the contacts of a group of similar contacts are linked.
  const std::string& reason() const { return reason_; }
  void setReason(std::string reason) { reason_ = std::move(reason); }

  // Appends a child and makes this node its father.
  PersonItem* addChild(std::unique_ptr<PersonItem> child);
  size_t childrenCount() const { return childrenArray_.size(); }
  PersonItem* childAtIndex(size_t index) const { return childrenArray_.at(index).get(); }
  std::vector<PersonItem*> childrenArray() const;
  // Removes that very node (by identity); false when it is not a child of this node.
  bool removeItem(const PersonItem* child);
  int indexOfChild(const PersonItem* child) const;

 private:
  PersonItem() = default;

  bool isRootNode_ = false;
  std::vector<std::unique_ptr<PersonItem>> childrenArray_;
  std::string name_;
  ABPersonRef person_;
  PersonItem* parentNode_ = nullptr;
  std::vector<ABPersonRef> duplicateEmailArray_;
  std::string duplicateEmailType_;
  std::string duplicateEmail_;
  std::string reason_;
};
