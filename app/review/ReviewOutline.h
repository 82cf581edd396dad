#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/review/PersonItem.h"
#include "app/review/ReviewCategories.h"

class ABAddressBook;
struct ScanResult;

// A row of a "Share Email address" category, as the scan found it.
struct SharedEmailRow {
  ABPersonRef searchedPerson;
  std::vector<ABPersonRef> matchPersons;
  std::string duplicateEmailType;
  // The shared value; when empty, the searched person's first value under the label that one of the
  // others holds, as the persons are when the outline is built.
  std::string duplicateEmail = {};
};

// A row of a "Similar contacts" category: a group as the scan found it.
struct SimilarRow {
  std::vector<ABPersonRef> persons;  // in store order; the row stands for the first
  std::string reason;
};

// The review outline without its window: the tree of categories and contacts, which categories are
// expanded, the selected contact row, and what the right-hand side shows. The window draws this
// state and forwards the user's actions.
class ReviewOutline {
 public:
  // Empties the tree, then builds one category per condition that found something, in outline order.
  void setOutlineViewDataSouce(const ScanResult& result);
  // The same from plain lists: condition key -> persons, and the shared e-mail rows.
  void setOutlineViewDataSouce(const std::map<std::string, std::vector<ABPersonRef>>& lists,
                               const std::vector<SharedEmailRow>& sharedEmails,
                               const std::vector<SimilarRow>& similar = {});

  // The region the findings read phone numbers without a country code for; fixes use it too.
  const std::string& region() const { return region_; }
  void setRegion(std::string region) { region_ = std::move(region); }

  static std::unique_ptr<PersonItem> creatFatherNodeWithChildArray(const std::string& title,
                                                                   const std::vector<ABPersonRef>& persons);

  const std::vector<std::unique_ptr<PersonItem>>& rootNodes() const { return mRootNodeArray_; }
  std::vector<std::string> categoryTitles() const;
  PersonItem* category(const std::string& title) const;

  // Rows as the outline shows them: each category, then its contacts while it is expanded.
  std::vector<PersonItem*> rows() const;
  bool isExpanded(const PersonItem* father) const { return expanded_.count(father) != 0; }
  void expandItem(PersonItem* father);
  void expandAll();
  // Collapsing clears the selection first, then selects the first contact of the first category
  // still expanded; with none expanded the tips view replaces the solution view.
  void collapseItem(PersonItem* father);

  bool shouldSelectItem(const PersonItem* item) const { return item && !item->isRootNode(); }
  // Selects a contact row (false for a category row or a node not in the tree).
  bool selectItem(PersonItem* item);
  bool selectRow(size_t row);
  // The first contact row in outline order, expanding its category.
  bool selectFirstContact();
  void clearSelection() { selected_ = nullptr; }
  PersonItem* selectedItem() const { return selected_; }
  const ReviewCategories::Category* selectedCategory() const;

  // Right-hand side and buttons.
  bool showingTips() const { return showingTips_; }
  bool openContactButtonEnabled() const { return buttonsEnabled_; }
  bool fixButtonEnabled() const { return buttonsEnabled_; }
  void showSolutionView();
  // True once the last category is gone: the screen returns to the contact browser.
  bool isFinished() const { return mRootNodeArray_.empty(); }

  // Selected option of each fix matrix, by matrix name; the first option until the user picks one.
  const std::string& selectedOptionOfMatrix(const std::string& matrixName) const;
  bool selectOption(const std::string& optionTitle);
  // The selected option of the selected row's matrix (empty with no selection).
  std::string selectedOption() const;

  // Tree changes used by the fixes.
  bool removeRow(PersonItem* row);
  // Removes every contact row of the person (by unique id) in every category; emptied categories
  // are removed when removeEmptied is true and stay as empty group rows otherwise.
  void purgePerson(const ABPerson& person, bool removeEmptied, const PersonItem* keepCategory = nullptr);
  void removeCategoryIfEmpty(PersonItem* father);
  // Removes every row whose contact is no longer in the store (by unique id) and, from the rows of
  // shared e-mail addresses, the other contacts no longer in it; a row left sharing with nobody
  // goes. Categories this empties are removed. Returns how many rows went.
  size_t purgeMissing(const ABAddressBook& book);
  // Removes every row that involves a contact of these unique ids (as the row's contact, or as one
  // it shares an e-mail address with): what was found about them no longer stands once another
  // program changed or removed them. Categories this empties are removed; a removed selection
  // moves to the first contact left. Returns how many rows went.
  size_t dropRowsOf(const std::unordered_set<std::string>& uids);
  bool contains(const PersonItem* node) const;

 private:
  std::vector<std::unique_ptr<PersonItem>> mRootNodeArray_;
  std::unordered_set<const PersonItem*> expanded_;
  PersonItem* selected_ = nullptr;
  bool showingTips_ = false;
  bool buttonsEnabled_ = false;
  std::map<std::string, std::string> selectedOptions_;
  std::string region_;
};
