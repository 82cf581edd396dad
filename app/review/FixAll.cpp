#include "app/review/FixAll.h"

#include <cctype>

#include "app/review/FixActions.h"
#include "app/review/ReviewCategories.h"
#include "platform/addressbook/ABAddressBook.h"

namespace Opt = ReviewCategories::Option;
namespace RC = ReviewCategories;

namespace {

std::string lowerFirst(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

std::string fixAllDescription(const ReviewCategories::Category& category, const std::string& option, int fixed) {
  const std::string count = std::to_string(fixed);
  const std::string groups = count + (fixed == 1 ? " group of " : " groups of ");
  std::string what = lowerFirst(category.title);
  if (category.title == RC::kShareEmail) what = "contacts sharing an email address";
  if (option == Opt::kMerge) return "Merged " + groups + what;
  if (option == Opt::kNotSamePerson) return "Not the same person: " + groups + what;
  if (option == Opt::kDeleteDuplicates) return "Deleted the duplicates of " + groups + what;
  return option + ": " + count + (fixed == 1 ? " finding" : " findings") + " of \u201C" + category.title + "\u201D";
}

bool fixOptionDeletesOrMerges(const std::string& option) {
  return option == Opt::kDeleteContact || option == Opt::kDeleteDuplicates || option == Opt::kMerge ||
         option == Opt::kDeleteGroup;
}

FixAllOutcome fixAllInCategory(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category,
                               const std::string& option, ReviewQuestions& questions,
                               const std::set<std::string>& onlyUids, ContactsApplication* contacts) {
  FixAllOutcome outcome;
  // Every fix is a save of its own, checked and refused alone; together they are one change set.
  ABChangeSetScope changeSet(book);
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
  // One fix keeps its own description ("Merged 3 contacts into Ann Lee").
  std::string error;
  if (!changeSet.end(outcome.fixed > 1 ? fixAllDescription(category, option, outcome.fixed) : std::string(), &error)) {
    // Nothing of the fixes reached the file.
    outcome.errors.push_back("the fixes could not be saved: " + error);
    outcome.changes.clear();
    outcome.fixed = 0;
    outcome.storeChanged = false;
  }
  return outcome;
}
