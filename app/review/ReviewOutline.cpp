#include "app/review/ReviewOutline.h"

#include <algorithm>

#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "app/scanner/ScanResult.h"
#include "platform/addressbook/ABAddressBook.h"

void ReviewOutline::setOutlineViewDataSouce(const std::map<std::string, std::vector<ABPersonRef>>& lists,
                                            const std::vector<SharedEmailRow>& sharedEmails,
                                            const std::vector<SimilarRow>& similar) {
  mRootNodeArray_.clear();
  expanded_.clear();
  selected_ = nullptr;
  showingTips_ = false;
  for (const auto& category : ReviewCategories::all()) {
    const ScanCondition* condition = scanConditionKeyed(category.conditionKey);
    const auto shape = condition ? condition->lists() : ScanCondition::Lists::kPersons;
    if (shape == ScanCondition::Lists::kSharedEmails) {
      if (sharedEmails.empty()) continue;
      auto father = PersonItem::initFatherNodeWithName(category.title);
      for (const auto& finding : sharedEmails) {
        auto child = PersonItem::initChildNodeWithPerson(finding.searchedPerson);
        child->setDuplicateEmailArray(finding.matchPersons);
        child->setDuplicateEmailType(finding.duplicateEmailType);
        child->setDuplicateEmail(!finding.duplicateEmail.empty()
                                     ? finding.duplicateEmail
                                     : ScanAddressBook::sharedEmailValue(*finding.searchedPerson->snapshot(),
                                                                         finding.duplicateEmailType,
                                                                         finding.matchPersons));
        father->addChild(std::move(child));
      }
      mRootNodeArray_.push_back(std::move(father));
      continue;
    }
    if (shape == ScanCondition::Lists::kSimilarGroups) {
      auto father = PersonItem::initFatherNodeWithName(category.title);
      for (const auto& group : similar) {
        if (group.persons.size() < 2) continue;
        auto child = PersonItem::initChildNodeWithPerson(group.persons.front());
        child->setDuplicateEmailArray({group.persons.begin() + 1, group.persons.end()});
        child->setReason(group.reason);
        father->addChild(std::move(child));
      }
      if (father->childrenCount() > 0) mRootNodeArray_.push_back(std::move(father));
      continue;
    }
    auto it = lists.find(category.conditionKey);
    if (it == lists.end()) continue;
    if (auto father = creatFatherNodeWithChildArray(category.title, it->second))
      mRootNodeArray_.push_back(std::move(father));
  }
}

std::unique_ptr<PersonItem> ReviewOutline::creatFatherNodeWithChildArray(const std::string& title,
                                                                         const std::vector<ABPersonRef>& persons) {
  if (persons.empty()) return nullptr;
  auto father = PersonItem::initFatherNodeWithName(title);
  for (const auto& person : persons) father->addChild(PersonItem::initChildNodeWithPerson(person));
  return father;
}

std::vector<std::string> ReviewOutline::categoryTitles() const {
  std::vector<std::string> titles;
  for (const auto& father : mRootNodeArray_) titles.push_back(father->name());
  return titles;
}

PersonItem* ReviewOutline::category(const std::string& title) const {
  for (const auto& father : mRootNodeArray_)
    if (father->name() == title) return father.get();
  return nullptr;
}

std::vector<PersonItem*> ReviewOutline::rows() const {
  std::vector<PersonItem*> result;
  for (const auto& father : mRootNodeArray_) {
    result.push_back(father.get());
    if (isExpanded(father.get()))
      for (PersonItem* child : father->childrenArray()) result.push_back(child);
  }
  return result;
}

void ReviewOutline::expandItem(PersonItem* father) {
  if (father && father->isRootNode()) expanded_.insert(father);
}

void ReviewOutline::expandAll() {
  for (const auto& father : mRootNodeArray_) expanded_.insert(father.get());
}

void ReviewOutline::collapseItem(PersonItem* father) {
  if (!father || !father->isRootNode() || !isExpanded(father)) return;
  selected_ = nullptr;
  expanded_.erase(father);
  for (const auto& other : mRootNodeArray_) {
    if (isExpanded(other.get()) && other->childrenCount() > 0) {
      selectItem(other->childAtIndex(0));
      return;
    }
  }
  buttonsEnabled_ = false;
  showingTips_ = true;
}

bool ReviewOutline::contains(const PersonItem* node) const {
  if (!node) return false;
  for (const auto& father : mRootNodeArray_) {
    if (father.get() == node) return true;
    if (father->indexOfChild(node) >= 0) return true;
  }
  return false;
}

bool ReviewOutline::selectItem(PersonItem* item) {
  if (!shouldSelectItem(item) || !contains(item)) return false;
  expandItem(item->parentNode());
  selected_ = item;
  showSolutionView();
  return true;
}

bool ReviewOutline::selectRow(size_t row) {
  auto all = rows();
  if (row >= all.size()) return false;
  return selectItem(all[row]);
}

bool ReviewOutline::selectFirstContact() {
  for (const auto& father : mRootNodeArray_) {
    if (father->childrenCount() > 0) {
      expandItem(father.get());
      return selectItem(father->childAtIndex(0));
    }
  }
  selected_ = nullptr;
  return false;
}

const ReviewCategories::Category* ReviewOutline::selectedCategory() const {
  if (!selected_ || !selected_->parentNode()) return nullptr;
  return ReviewCategories::byTitle(selected_->parentNode()->name());
}

void ReviewOutline::showSolutionView() {
  showingTips_ = false;
  buttonsEnabled_ = true;
}

const std::string& ReviewOutline::selectedOptionOfMatrix(const std::string& matrixName) const {
  static const std::string none;
  if (auto it = selectedOptions_.find(matrixName); it != selectedOptions_.end()) return it->second;
  for (const auto* matrix : ReviewCategories::matrices())
    if (matrix->name == matrixName) return matrix->options.front();
  return none;
}

bool ReviewOutline::selectOption(const std::string& optionTitle) {
  const auto* category = selectedCategory();
  if (!category) return false;
  const auto& options = category->matrix->options;
  if (std::find(options.begin(), options.end(), optionTitle) == options.end()) return false;
  selectedOptions_[category->matrix->name] = optionTitle;
  return true;
}

std::string ReviewOutline::selectedOption() const {
  const auto* category = selectedCategory();
  if (!category) return std::string();
  const std::string& chosen = selectedOptionOfMatrix(category->matrix->name);
  const PersonItem* row = selectedItem();
  if (!row) return chosen;
  // An option the row is not offered (no allowed form fits its title) gives way to the first it is.
  auto offers = [&](const std::string& title) {
    const ReviewCategories::FixOption* fix = category->fix(title);
    return !fix || fix->offeredFor({*this, *row, *category, nullptr});
  };
  if (offers(chosen)) return chosen;
  for (const auto& option : category->matrix->options)
    if (offers(option)) return option;
  return chosen;
}

bool ReviewOutline::removeRow(PersonItem* row) {
  if (!row || !row->parentNode()) return false;
  if (selected_ == row) selected_ = nullptr;
  return row->parentNode()->removeItem(row);
}

void ReviewOutline::purgePerson(const ABPerson& person, bool removeEmptied, const PersonItem* keepCategory) {
  std::string uid = person.uniqueId();
  std::vector<PersonItem*> emptied;
  for (const auto& father : mRootNodeArray_) {
    bool removedAny = false;
    for (PersonItem* child : father->childrenArray()) {
      if (child->person()->uniqueId() == uid) {
        if (selected_ == child) selected_ = nullptr;
        father->removeItem(child);
        removedAny = true;
      }
    }
    if (removedAny && father->childrenCount() == 0 && father.get() != keepCategory) emptied.push_back(father.get());
  }
  if (removeEmptied)
    for (PersonItem* father : emptied) removeCategoryIfEmpty(father);
}

size_t ReviewOutline::purgeMissing(const ABAddressBook& book) {
  size_t removed = 0;
  std::vector<PersonItem*> emptied;
  for (const auto& father : mRootNodeArray_) {
    if (father->childrenCount() == 0) continue;
    for (PersonItem* child : father->childrenArray()) {
      bool gone = !book.recordForUniqueId(child->person()->uniqueId());
      if (!gone && !child->duplicateEmailArray().empty()) {
        std::vector<ABPersonRef> others;
        for (const auto& other : child->duplicateEmailArray())
          if (book.recordForUniqueId(other->uniqueId())) others.push_back(other);
        gone = others.empty();
        child->setDuplicateEmailArray(std::move(others));
      }
      if (!gone) continue;
      if (selected_ == child) selected_ = nullptr;
      father->removeItem(child);
      ++removed;
    }
    if (father->childrenCount() == 0) emptied.push_back(father.get());
  }
  for (PersonItem* father : emptied) removeCategoryIfEmpty(father);
  return removed;
}

size_t ReviewOutline::dropRowsOf(const std::unordered_set<std::string>& uids) {
  size_t removed = 0;
  bool selectionGone = false;
  std::vector<PersonItem*> emptied;
  for (const auto& father : mRootNodeArray_) {
    if (father->childrenCount() == 0) continue;
    for (PersonItem* child : father->childrenArray()) {
      bool involved = uids.count(child->person()->uniqueId()) != 0;
      for (const auto& other : child->duplicateEmailArray()) involved = involved || uids.count(other->uniqueId());
      if (!involved) continue;
      if (selected_ == child) {
        selected_ = nullptr;
        selectionGone = true;
      }
      father->removeItem(child);
      ++removed;
    }
    if (father->childrenCount() == 0) emptied.push_back(father.get());
  }
  for (PersonItem* father : emptied) removeCategoryIfEmpty(father);
  if (selectionGone && !isFinished()) selectFirstContact();
  return removed;
}

void ReviewOutline::removeCategoryIfEmpty(PersonItem* father) {
  if (!father || father->childrenCount() > 0) return;
  auto it = std::find_if(mRootNodeArray_.begin(), mRootNodeArray_.end(),
                         [&](const std::unique_ptr<PersonItem>& node) { return node.get() == father; });
  if (it == mRootNodeArray_.end()) return;
  expanded_.erase(father);
  mRootNodeArray_.erase(it);
}

void ReviewOutline::setOutlineViewDataSouce(const ScanResult& result) {
  std::map<std::string, std::vector<ABPersonRef>> lists(result.persons.begin(), result.persons.end());
  std::vector<SharedEmailRow> shared;
  for (const auto& finding : result.shareEmail)
    shared.push_back(
        {finding.SearchedPerson, finding.MatchPersonsArray, finding.DuplicateEmailType, finding.duplicateEmail});
  std::vector<SimilarRow> similar;
  for (const auto& group : result.similarContacts) similar.push_back({group.Persons, group.Reason});
  setOutlineViewDataSouce(lists, shared, similar);
  region_ = result.region;
}
