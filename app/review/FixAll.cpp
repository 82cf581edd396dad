#include "app/review/FixAll.h"

#include <cctype>
#include <utility>

#include "app/review/FixActions.h"
#include "app/review/PersonItem.h"
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

namespace {

// How the findings of a category are counted: "283 contacts", "2,304 groups of duplicates".
std::string countOf(const ReviewCategories::Category& category, int count) {
  const std::string number = groupedNumber(count);
  if (category.title == RC::kDuplicateContacts)
    return number + (count == 1 ? " group of duplicate contacts" : " groups of duplicate contacts");
  if (category.title == RC::kSimilarContacts)
    return number + (count == 1 ? " group of similar contacts" : " groups of similar contacts");
  return number + (count == 1 ? " contact" : " contacts");
}

std::string identity(const PersonItem& row) {
  return row.person()->uniqueId() + "\n" + row.duplicateEmailType();
}

}  // namespace

std::string groupedNumber(long long number) {
  std::string digits = std::to_string(number < 0 ? -number : number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
  return (number < 0 ? "-" : "") + digits;
}

FixAllQuestion fixAllQuestion(const ReviewCategories::Category& category, const std::string& option, int findings) {
  const std::string counted = countOf(category, findings);
  const std::string undo = " Edit \u2192 Undo takes the whole Fix All back.";
  if (option == Opt::kMerge)
    return {"Merge the contacts of " + counted + "?",
            "The contacts of each finding become one contact; what only the others held goes into its note." + undo,
            "Merge"};
  if (option == Opt::kDeleteContact)
    return {"Delete " + counted + "?",
            "Each of them is deleted from the address book (and from the address books it is linked to)." + undo,
            "Delete"};
  if (option == Opt::kDeleteDuplicates)
    return {"Delete the duplicates of " + counted + "?",
            "Of each group the first contact stays; the others are deleted from the address book." + undo, "Delete"};
  if (option == Opt::kDeleteGroup)
    return {"Delete " + groupedNumber(findings) + (findings == 1 ? " group?" : " groups?"),
            "The groups go to the trash; their contacts stay." + undo, "Delete"};
  std::string what = option;
  if (!what.empty()) what[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(what[0])));
  std::string question;
  if (option == Opt::kRemoveSuffix || option == Opt::kRemoveTitle || option == Opt::kRemoveSpace ||
      option == Opt::kHyphenate)
    question = option + " of " + counted + "?";
  else
    question = "Apply \u201C" + option + "\u201D to " + counted + " of \u201C" + category.title + "\u201D?";
  return {question,
          "Each finding is checked again just before it is fixed; one that no longer holds is left as it is." + undo,
          "Fix All"};
}

std::string fixAllProgress(const std::string& option, int done, int total) {
  std::string verb = "Fixing";
  if (option == Opt::kMerge) verb = "Merging";
  if (option == Opt::kDeleteContact || option == Opt::kDeleteDuplicates || option == Opt::kDeleteGroup)
    verb = "Deleting";
  return verb + " " + groupedNumber(done) + " of " + groupedNumber(total) + "\u2026";
}

std::string fixAllSummary(const FixAllOutcome& outcome, const ReviewCategories::Category& category,
                          const std::string& option) {
  std::string text;
  if (option == Opt::kMerge)
    text = groupedNumber(outcome.fixed) + (outcome.fixed == 1 ? " group merged into " : " groups merged into ") +
           groupedNumber(outcome.fixed) + (outcome.fixed == 1 ? " contact" : " contacts");
  else
    text = "\u201C" + option + "\u201D applied to " + countOf(category, outcome.fixed);
  if (outcome.stale > 0)
    text += "; " + groupedNumber(outcome.stale) + " skipped because " +
            (outcome.stale == 1 ? "it no longer held" : "they no longer held");
  if (!outcome.errors.empty())
    text += "; " + groupedNumber(static_cast<long long>(outcome.errors.size())) + " could not be saved";
  if (outcome.cancelled) {
    const int left = outcome.total - outcome.tried;
    text += "; stopped with " + groupedNumber(left) + " not tried";
  }
  return text + ".";
}

FixAllRun::FixAllRun(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category,
                     std::string option, ReviewQuestions& questions, std::set<std::string> onlyUids,
                     ContactsApplication* contacts)
    : outline_(outline),
      book_(book),
      category_(category),
      option_(std::move(option)),
      onlyUids_(std::move(onlyUids)),
      // Every fix is a save of its own, checked and refused alone; together they are one change set.
      changeSet_(std::make_unique<ABChangeSetScope>(book)),
      actions_(std::make_unique<FixActions>(outline, book, questions, contacts)) {
  if (PersonItem* father = outline_.category(category_.title)) {
    for (PersonItem* row : father->childrenArray())
      if (onlyUids_.empty() || onlyUids_.count(row->person()->uniqueId())) ++outcome_.total;
  }
}

FixAllRun::~FixAllRun() {
  if (!finished_) finish(true);
}

PersonItem* FixAllRun::next() {
  PersonItem* father = outline_.category(category_.title);
  if (!father) return nullptr;
  for (PersonItem* row : father->childrenArray()) {
    if ((!onlyUids_.empty() && !onlyUids_.count(row->person()->uniqueId())) || tried_.count(identity(*row))) continue;
    return row;
  }
  return nullptr;
}

bool FixAllRun::step() {
  if (finished_) return false;
  PersonItem* row = next();
  if (!row) return false;
  const std::string tag = identity(*row);
  const std::string name = row->name();
  ++outcome_.tried;
  FixOutcome fixed = actions_->apply(category_, row, option_);
  outcome_.changes.insert(outcome_.changes.end(), fixed.changes.begin(), fixed.changes.end());
  if (!fixed.stale.empty()) {
    outcome_.changes.push_back(fixed.stale);
    outcome_.findings.push_back(fixed.stale);
    ++outcome_.stale;
  }
  if (!fixed.ok()) {
    outcome_.errors.push_back(fixed.error);
    outcome_.findings.push_back(name + ": not saved, " + fixed.error);
  }
  if (fixed.storeChanged) {
    ++outcome_.fixed;
    outcome_.storeChanged = true;
    outcome_.findings.push_back(name + ": " + option_);
  } else if (fixed.stale.empty() && fixed.ok()) {
    outcome_.findings.push_back(name + ": not changed" + (fixed.cancelled ? " (cancelled)" : ""));
  }
  if (!fixed.rowRemoved) tried_.insert(tag);
  return true;
}

FixAllOutcome FixAllRun::finish(bool cancelled) {
  if (finished_) return outcome_;
  finished_ = true;
  outcome_.cancelled = cancelled && outcome_.tried < outcome_.total;
  // One fix keeps its own description ("Merged 3 contacts into Ann Lee").
  std::string error;
  if (!changeSet_->end(outcome_.fixed > 1 ? fixAllDescription(category_, option_, outcome_.fixed) : std::string(),
                       &error)) {
    // Nothing of the fixes reached the file.
    outcome_.errors.push_back("the fixes could not be saved: " + error);
    outcome_.findings.push_back("Nothing was saved: " + error);
    outcome_.changes.clear();
    outcome_.fixed = 0;
    outcome_.storeChanged = false;
  }
  return outcome_;
}

FixAllOutcome fixAllInCategory(ReviewOutline& outline, ABAddressBook& book, const ReviewCategories::Category& category,
                               const std::string& option, ReviewQuestions& questions,
                               const std::set<std::string>& onlyUids, ContactsApplication* contacts) {
  FixAllRun run(outline, book, category, option, questions, onlyUids, contacts);
  while (run.step()) {
  }
  return run.finish();
}
