#include "app/review/FixAll.h"

#include "app/review/FixActions.h"
#include "app/review/ReviewCategories.h"

namespace Opt = ReviewCategories::Option;

bool fixOptionDeletesOrMerges(const std::string& option) {
  return option == Opt::kDeleteContact || option == Opt::kDeleteDuplicates || option == Opt::kMerge;
}

FixAllOutcome fixAllInCategory(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category,
                               const std::string& option, ReviewQuestions& questions,
                               const std::set<std::string>& onlyUids, ContactsApplication* contacts) {
  FixAllOutcome outcome;
  FixActions actions(outline, book, questions, contacts);
  // A finding that could not be fixed stays in the outline; it is passed over by what it says
  // (person, label), so the next finding is the first row not yet tried.
  std::set<std::string> tried;
  auto identity = [](const PersonItem& row) { return row.person()->uniqueId() + "\n" + row.duplicateEmailType(); };
  while (PersonItem* father = outline.category(category.title)) {
    PersonItem* next = nullptr;
    for (PersonItem* row : father->childrenArray()) {
      if ((!onlyUids.empty() && !onlyUids.count(row->person()->uniqueId())) || tried.count(identity(*row))) continue;
      next = row;
      break;
    }
    if (!next) break;
    const std::string tag = identity(*next);
    FixOutcome fixed = actions.apply(category, next, option);
    outcome.changes.insert(outcome.changes.end(), fixed.changes.begin(), fixed.changes.end());
    if (!fixed.stale.empty()) {
      outcome.changes.push_back(fixed.stale);
      ++outcome.stale;
    }
    if (!fixed.ok()) outcome.errors.push_back(fixed.error);
    if (fixed.storeChanged) {
      ++outcome.fixed;
      outcome.storeChanged = true;
    }
    if (!fixed.rowRemoved) tried.insert(tag);
  }
  return outcome;
}
