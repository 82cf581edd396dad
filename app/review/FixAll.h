#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/review/ReviewCategories.h"
#include "app/review/ReviewInterfaces.h"
#include "app/review/ReviewOutline.h"

class ABAddressBook;

// What fixing every finding of a category did.
struct FixAllOutcome {
  int fixed = 0;  // findings the option was applied to
  bool storeChanged = false;
  int stale = 0;                     // findings that no longer held and were dropped unchanged
  std::vector<std::string> changes;  // one readable line per change or dropped finding, in order
  std::vector<std::string> errors;   // one line per fix whose save failed
};

// Applies one option of a category to every finding of it in outline order (or only to the rows
// of the given contacts), one fix after the other through the one fix core, while the tree
// shrinks; a finding that no longer holds is passed over. All the fixes are one change set of the
// history (each still checked and saved alone: one that fails leaves the others). Delete confirmations go to
// `questions`; the caller asks once beforehand when it wants to. The review screen's "Fix All" and `rolvane fix` both
// run this.
FixAllOutcome fixAllInCategory(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category,
                               const std::string& option, ReviewQuestions& questions,
                               const std::set<std::string>& onlyUids = {}, ContactsApplication* contacts = nullptr);

// How the change set of fixing `fixed` findings of a category with an option is named in the
// history: "Merged 31 groups of duplicate contacts".
std::string fixAllDescription(const ReviewCategories::Category& category, const std::string& option, int fixed);

// Whether an option deletes contacts or merges them into one (these ask before they run).
bool fixOptionDeletesOrMerges(const std::string& option);
