#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/review/ReviewCategories.h"
#include "app/review/ReviewInterfaces.h"
#include "app/review/ReviewOutline.h"

class ABAddressBook;
class ABChangeSetScope;
class FixActions;

// What fixing every finding of a category did.
struct FixAllOutcome {
  int fixed = 0;  // findings the option was applied to
  bool storeChanged = false;
  int stale = 0;                     // findings that no longer held and were dropped unchanged
  std::vector<std::string> changes;  // one readable line per change or dropped finding, in order
  std::vector<std::string> errors;   // one line per fix whose save failed
  int total = 0;                     // findings of the category when the run began
  int tried = 0;                     // of them, those the run came to
  bool cancelled = false;            // stopped before the last finding (what was done stays done)
  // One line per finding tried, naming its contact as the outline does (never by unique id):
  // "Ann Lee: Merge contacts", "Bob Roe: not fixed, it has no duplicate any more".
  std::vector<std::string> findings;
};

// Fixing every finding of a category one finding at a time, so that a window can run a step at a
// time between its events (repainting, showing the progress, letting the user stop it) while the
// command line runs them all at once. The fixes are one change set of the history, begun with the
// run and written by finish(), also when the run stops early: what was done stays done. Each fix is
// still checked and saved alone (a stale finding is passed over and told, one that fails leaves
// the others). The store is held for other programs while the run lasts.
class FixAllRun {
 public:
  FixAllRun(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category, std::string option,
            ReviewQuestions& questions, std::set<std::string> onlyUids = {}, ContactsApplication* contacts = nullptr);
  // A run not finished is finished, keeping what it did.
  ~FixAllRun();
  FixAllRun(const FixAllRun&) = delete;
  FixAllRun& operator=(const FixAllRun&) = delete;

  // Fixes the next finding; false (and nothing done) when none is left.
  bool step();
  // Writes the change set and says what the run did; cancelled: it stopped before its end.
  FixAllOutcome finish(bool cancelled = false);
  bool finished() const { return finished_; }
  int total() const { return outcome_.total; }
  int tried() const { return outcome_.tried; }
  const std::string& option() const { return option_; }
  const ReviewCategories::Category& category() const { return category_; }

 private:
  PersonItem* next();

  ReviewOutline& outline_;
  ABAddressBook& book_;
  const ReviewCategories::Category& category_;
  std::string option_;
  std::set<std::string> onlyUids_;
  std::unique_ptr<ABChangeSetScope> changeSet_;
  std::unique_ptr<FixActions> actions_;
  // A finding that could not be fixed stays in the outline; it is passed over by what it says
  // (person, label), so the next finding is the first row not yet tried.
  std::set<std::string> tried_;
  FixAllOutcome outcome_;
  bool finished_ = false;
};

// "2,304 groups merged into 2,304 contacts; 3 skipped because they changed": what a run did, in
// counts, for the line a user reads first.
std::string fixAllSummary(const FixAllOutcome& outcome, const ReviewCategories::Category& category,
                          const std::string& option);
// What the user is asked before a Fix All: "Remove the suffix of 283 contacts?", with what will
// happen beside it.
struct FixAllQuestion {
  std::string question;
  std::string detail;
  std::string acceptButton;
};
FixAllQuestion fixAllQuestion(const ReviewCategories::Category& category, const std::string& option, int findings);
// The progress line while a run goes on: "Merging 812 of 2,304…".
std::string fixAllProgress(const std::string& option, int done, int total);
// 2304 as "2,304".
std::string groupedNumber(long long number);

// Applies one option of a category to every finding of it in outline order (or only to the rows
// of the given contacts) at once: a FixAllRun run to its end. Delete confirmations go to
// `questions`; the caller asks once beforehand when it wants to. `rolvane fix` runs this.
FixAllOutcome fixAllInCategory(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category,
                               const std::string& option, ReviewQuestions& questions,
                               const std::set<std::string>& onlyUids = {}, ContactsApplication* contacts = nullptr);

// How the change set of fixing `fixed` findings of a category with an option is named in the
// history: "Merged 31 groups of duplicate contacts".
std::string fixAllDescription(const ReviewCategories::Category& category, const std::string& option, int fixed);

// Whether an option deletes contacts or merges them into one (these ask before they run).
bool fixOptionDeletesOrMerges(const std::string& option);
