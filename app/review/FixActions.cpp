#include "app/review/FixActions.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

#include "app/review/DetailsPane.h"
#include "app/review/MergeContacts.h"
#include "app/review/PersonNames.h"
#include "app/review/PhoneFixes.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/SimilarContacts.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/ABMarks.h"
#include "platform/sync/SyncRun.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;

std::string FixActions::who(const ABPerson& person) {
  return PersonNames::rowName(person) + " <" + person.uniqueId() + ">";
}

std::string FixActions::inQuotes(const std::string& text) {
  return "\"" + text + "\"";
}

std::string FixActions::named(const ABPerson& person) {
  return ABAddressBook::nameForHistory(person);
}

std::string FixActions::contacts(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string FixActions::namesOf(const std::vector<ABPersonRef>& persons) {
  const size_t shown = persons.size() <= 3 ? persons.size() : 2;
  std::string names;
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) names += i + 1 == persons.size() ? " and " : ", ";
    names += named(*persons[i]);
  }
  if (shown < persons.size()) names += " and " + std::to_string(persons.size() - shown) + " others";
  return names;
}

std::string FixActions::mergedInto(size_t members, const ABPerson& merged) {
  return "Merged " + contacts(members) + " into " + named(merged);
}

FixActions::FixActions(ReviewOutline& outline, ABAddressBook& book, ReviewQuestions& questions,
                       ContactsApplication* contacts)
    : outline_(outline), book_(book), questions_(questions), contacts_(contacts) {}

void FixActions::fail(const std::string& what) {
  if (!outcome_.error.empty()) outcome_.error += "; ";
  outcome_.error += what;
}

bool FixActions::save(const std::string& description) {
  book_.setNextChangeDescription(description);
  ABSaveResult result = book_.saveChanges();
  if (result.ok()) {
    outcome_.storeChanged = true;
    return true;
  }
  // A conflict reads as it is ("Ann Lee was changed by another program; your change was not
  // saved"). Nothing of the fix stays in memory to be saved later by another change, and every
  // person is read again as the store holds it now.
  if (!result.conflicts.empty()) outcome_.conflict = true;
  book_.revert();
  fail(result.error);
  return false;
}

bool FixActions::confirmMerge(size_t contacts) {
  std::string count = std::to_string(contacts);
  if (questions_.confirm("Are you sure you want to merge " + count + " contacts into one ?",
                         "The " + count + " contacts will become one contact in Contacts. ", "Merge", "Cancel"))
    return true;
  outcome_.cancelled = true;
  return false;
}

bool FixActions::confirmDelete() {
  if (questions_.confirm(kDeleteTitle, kDeleteMessage, "Delete", "Cancel")) return true;
  outcome_.cancelled = true;
  return false;
}

bool FixActions::confirmRemoval(const std::string& question, const std::string& message, const std::string& button) {
  if (questions_.confirm(question, message, button, "Cancel")) return true;
  outcome_.cancelled = true;
  return false;
}

bool FixActions::confirmDeleteGroup(const std::string& name) {
  if (questions_.confirm("Are you sure you want to delete the group " + inQuotes(name) + " ?",
                         "The group goes to the trash; its contacts stay.", "Delete", "Cancel"))
    return true;
  outcome_.cancelled = true;
  return false;
}

void FixActions::closingStep(PersonItem* father) {
  if (outline_.contains(father)) outline_.removeCategoryIfEmpty(father);
}

ABPersonRef FixActions::stored(const ABPerson& person) const {
  return book_.recordForUniqueId(person.uniqueId());
}

std::optional<std::string> FixActions::staleReason(const RC::Category& category, const PersonItem& row) const {
  if (!person_) return "it is no longer in the address book";
  if (category.stale) return category.stale(*this, row);
  if (!ScanAddressBook::personMeetsCondition(category.conditionKey, *person_->snapshot()))
    return category.noLongerMeets;
  return std::nullopt;
}

FixOutcome FixActions::apply(const RC::Category& category, PersonItem* row, const std::string& option) {
  outcome_ = FixOutcome();
  if (!row || row->isRootNode() || !outline_.contains(row) || row->parentNode()->name() != category.title) {
    fail("the row is not a contact of \"" + category.title + "\"");
    return outcome_;
  }
  option_ = option;
  // A fix acts on the person as the store holds it now, never on what the scan saw.
  person_ = stored(*row->person());
  if (auto reason = staleReason(category, *row)) {
    outcome_.stale = row->name() + ": not fixed, " + *reason;
    PersonItem* father = row->parentNode();
    outline_.removeRow(row);
    closingStep(father);
  } else if (const RC::FixOption* fix =
                 category.singleAction && !category.fixes.empty() ? &category.fixes.front() : category.fix(option)) {
    fix->act(*this, row);
  }
  if (outcome_.storeChanged && person_) touched_.push_back(person_);
  // Rows of contacts that this fix (or anything before it) took out of the store would act on
  // nothing: they go from every category.
  outline_.purgeMissing(book_);
  // Only compared: a removed row's node no longer exists.
  outcome_.rowRemoved = !outline_.contains(row);
  person_.reset();
  return outcome_;
}

size_t FixActions::recheckFindings() {
  size_t dropped = outline_.purgeMissing(book_);
  std::vector<PersonItem*> gone;
  for (const auto& father : outline_.rootNodes()) {
    const RC::Category* category = RC::byTitle(father->name());
    if (!category) continue;
    for (PersonItem* row : father->childrenArray()) {
      person_ = stored(*row->person());
      if (staleReason(*category, *row)) gone.push_back(row);
    }
  }
  person_.reset();
  for (PersonItem* row : gone) {
    PersonItem* father = row->parentNode();
    if (outline_.removeRow(row)) ++dropped;
    closingStep(father);
  }
  return dropped;
}

FixOutcome FixActions::FixFounction() {
  PersonItem* row = outline_.selectedItem();
  const RC::Category* category = outline_.selectedCategory();
  if (!row || !category) return FixOutcome();
  PersonItem* father = row->parentNode();
  FixOutcome outcome = apply(*category, row, outline_.selectedOption());

  // The category may be gone (its node destroyed): only compare the pointer until it is found again.
  if (outline_.contains(father) && father->childrenCount() > 0) {
    outline_.selectItem(father->childAtIndex(0));
  } else if (!outline_.isFinished()) {
    outline_.expandAll();
    outline_.selectFirstContact();
  } else {
    outline_.clearSelection();
  }
  return outcome;
}

void FixActions::deleteThisContact(PersonItem* row) {
  if (!confirmDelete()) return;
  PersonItem* father = row->parentNode();
  std::string error;
  if (!book_.removeRecord(person_, &error)) {
    fail(error);
    return;
  }
  if (!save("Deleted " + named(*person_))) return;
  note("deleted " + who(*person_));
  outline_.removeRow(row);
  outline_.purgePerson(*person_, false);
  closingStep(father);
}

void FixActions::removeProperty(PersonItem* row, const std::string& property, const std::string& what) {
  PersonItem* father = row->parentNode();
  if (!person_->removeValueForProperty(property)) {
    fail("the " + what + " of " + who(*person_) + " could not be removed");
    return;
  }
  if (!book_.addRecord(person_) || !save("Removed the " + what + " of " + named(*person_))) return;
  note("removed the " + what + " of " + who(*person_));
  outline_.removeRow(row);
  closingStep(father);
}

void FixActions::setFirstName(PersonItem* row, const std::string& firstName, const std::string& description) {
  PersonItem* father = row->parentNode();
  person_->setValueForProperty(firstName, kABFirstNameProperty);
  std::string error;
  if (!book_.addRecord(person_, &error)) {
    book_.revert();
    fail(error);
    return;
  }
  if (!save(description)) return;
  note("set the first name of " + who(*person_) + " to " + firstName);
  outline_.removeRow(row);
  closingStep(father);
}

std::vector<ABPersonRef> FixActions::duplicateGroupOf(const ABPerson& person) const {
  std::vector<ABPersonRef> group;
  ABPersonRef current = stored(person);
  if (!current) return group;
  auto key = ScanAddressBook::duplicateGroupKey(*current->snapshot());
  if (!key) return group;
  // The groups of the whole book are read once; every fix after that looks only at the members of
  // its group and at the persons this object's fixes changed, each by its values now.
  if (!duplicates_) {
    duplicates_.emplace();
    size_t position = 0;
    for (const auto& candidate : book_.people()) {
      duplicates_->position.emplace(candidate.get(), position++);
      if (auto found = ScanAddressBook::duplicateGroupKey(*candidate->snapshot()))
        duplicates_->byKey[*found].push_back(candidate);
    }
  }
  // Persons changed since are filed under their keys now, once each (their old keys keep them too:
  // every candidate is checked by its values now).
  for (; duplicatesFiled_ < touched_.size(); ++duplicatesFiled_) {
    const ABPersonRef& changed = touched_[duplicatesFiled_];
    if (auto found = ScanAddressBook::duplicateGroupKey(*changed->snapshot())) {
      auto& filed = duplicates_->byKey[*found];
      if (std::find(filed.begin(), filed.end(), changed) == filed.end()) filed.push_back(changed);
    }
  }
  std::vector<ABPersonRef> candidates;
  if (auto found = duplicates_->byKey.find(*key); found != duplicates_->byKey.end()) candidates = found->second;
  for (const auto& candidate : candidates) {
    if (std::find(group.begin(), group.end(), candidate) != group.end() || !book_.contains(candidate)) continue;
    if (ScanAddressBook::duplicateGroupKey(*candidate->snapshot()) == key) group.push_back(candidate);
  }
  auto positionOf = [&](const ABPersonRef& member) {
    auto found = duplicates_->position.find(member.get());
    return found == duplicates_->position.end() ? duplicates_->position.size() : found->second;
  };
  std::stable_sort(group.begin(), group.end(),
                   [&](const ABPersonRef& a, const ABPersonRef& b) { return positionOf(a) < positionOf(b); });
  return group;
}

std::vector<ABPersonRef> FixActions::membersToMerge(const RC::Category& category, const PersonItem& row,
                                                    std::string* why) {
  std::vector<ABPersonRef> members;
  const std::string& title = category.title;
  if (title != RC::kDuplicateContacts && title != RC::kSimilarContacts && title != RC::kShareEmail) {
    if (why) *why = "the contacts of \"" + title + "\" are not merged";
    return members;
  }
  option_ = Opt::kMerge;
  person_ = stored(*row.person());
  if (auto reason = staleReason(category, row)) {
    if (why) *why = row.name() + ": " + *reason;
  } else if (title == RC::kDuplicateContacts) {
    members = duplicateGroupOf(*person_);
  } else {
    for (const auto& other : row.duplicateEmailArray())
      if (auto current = stored(*other)) members.push_back(current);
    if (title == RC::kShareEmail) {
      members.push_back(person_);  // as the Fix merges them: the row's contact last
    } else {
      // The group in store order, as the Fix merges it.
      members.insert(members.begin(), person_);
      std::unordered_map<const ABPerson*, size_t> position;
      size_t index = 0;
      for (const auto& person : book_.people()) position.emplace(person.get(), index++);
      std::stable_sort(members.begin(), members.end(), [&](const ABPersonRef& a, const ABPersonRef& b) {
        return position[a.get()] < position[b.get()];
      });
    }
  }
  person_.reset();
  return members;
}

bool FixActions::mergeInOneSave(const std::vector<ABPersonRef>& persons) {
  // The merged contact is the winner, with its unique id, its place and (in a linked address book)
  // its card: the others are removed.
  const MergePlan plan = planMerge(persons);
  std::string error;
  // The group cards are found once for the merges of one action (a Fix All in one change set).
  if (!book_.inChangeSet())
    groupCards_.reset();
  else if (!groupCards_)
    groupCards_ = ABGroups::groupCards(book_);
  if (!applyMergePlan(book_, plan, &error, groupCards_ ? &*groupCards_ : nullptr)) {
    fail(error);
    return false;
  }
  const ABPersonRef& kept = plan.members[plan.keeps];
  touched_.push_back(kept);
  if (!save(mergedInto(plan.members.size(), *kept))) return false;
  for (const auto& member : plan.members)
    if (member != kept) note("deleted " + who(*member));
  note("merged " + contacts(plan.members.size()) + " into " + who(*kept));
  return true;
}

bool FixActions::replaceInOneSave(const std::vector<ABPersonRef>& removed, const ABPersonRef& added,
                                  const std::function<std::string(size_t removed)>& description) {
  std::vector<ABPersonRef> taken;
  for (const auto& person : removed) {
    if (std::find(taken.begin(), taken.end(), person) != taken.end()) continue;
    std::string error;
    if (!book_.removeRecord(person, &error)) {
      book_.revert();
      fail(error);
      return false;
    }
    taken.push_back(person);
  }
  if (added) {
    std::string error;
    if (!book_.addRecord(added, &error)) {
      book_.revert();
      fail(error);
      return false;
    }
  }
  if (!save(description(taken.size()))) return false;
  for (const auto& person : taken) note("deleted " + who(*person));
  if (added) {
    note("added the merged contact " + who(*added));
    // In a store linked to address books, the merged contact goes where its first member lived.
    std::vector<std::string> members;
    for (const auto& person : taken) members.push_back(person->uniqueId());
    std::string error;
    if (!noteMergedContact(book_.path(), added->uniqueId(), members, &error))
      note("the merged contact " + who(*added) + " goes to the first linked address book: " + error);
  }
  return true;
}

bool FixActions::markNotSamePerson(const std::vector<ABPersonRef>& persons, const std::string& value,
                                   const std::string& who) {
  std::vector<std::string> uids;
  for (const auto& person : persons) uids.push_back(person->uniqueId());
  std::string error;
  if (!book_.addMark(ABMarkKind::kNotSamePerson, uids, value, "Not the same person: " + who, &error)) {
    fail("the contacts could not be marked as not the same person: " + error);
    return false;
  }
  outcome_.storeChanged = true;
  note("marked " + who + " as not the same person");
  return true;
}

std::vector<size_t> FixActions::repeatedEntries(const ABMultiValue& list) {
  std::vector<size_t> repeated;
  const auto& entries = list.entries();
  for (size_t i = 0; i < entries.size(); ++i)
    for (size_t k = 0; k < i; ++k)
      if (entries[k].value == entries[i].value) {
        repeated.push_back(i);
        break;
      }
  return repeated;
}

void FixActions::removeDuplicateValues(PersonItem* row, const std::string& property, const std::string& what,
                                       const std::string& plural) {
  PersonItem* father = row->parentNode();
  ABMultiValue kept;
  size_t dropped = 0;
  if (auto values = person_->multiValueForProperty(property)) {
    const std::vector<size_t> repeated = repeatedEntries(*values);
    dropped = repeated.size();
    for (size_t i = 0; i < values->count(); ++i)
      if (std::find(repeated.begin(), repeated.end(), i) == repeated.end()) kept.addEntry(values->entries()[i]);
  }
  if (!person_->setValueForProperty(kept, property) || !book_.addRecord(person_)) {
    book_.revert();
    fail("the repeated values of " + who(*person_) + " could not be removed");
    return;
  }
  if (!save("Removed " + (dropped == 1 ? "a repeated " + what : std::to_string(dropped) + " repeated " + plural) +
            " from " + named(*person_)))
    return;
  note("removed " + std::to_string(dropped) + " repeated value(s) from " + who(*person_));
  outline_.removeRow(row);
  closingStep(father);
}

void FixActions::editInContacts(PersonItem* row) {
  PersonItem* father = row->parentNode();
  if (!contacts_) {
    fail("editing a contact needs the application window");
    return;
  }
  if (!contacts_->editInAddressBook(person_)) {
    // Cancelled: the row stays where it was.
    outcome_.cancelled = true;
    return;
  }
  outline_.removeRow(row);
  closingStep(father);
}

void FixActions::rewritePhones(PersonItem* row, const PhoneRewrite& rewrite, const std::string& what) {
  PersonItem* father = row->parentNode();
  if (rewrite.changes.empty()) return;
  bool ok = rewrite.phones.empty() ? person_->removeValueForProperty(kABPhoneProperty)
                                   : person_->setValueForProperty(rewrite.phones, kABPhoneProperty);
  if (!ok || !book_.addRecord(person_)) {
    book_.revert();
    fail("the phone numbers of " + who(*person_) + " could not be changed");
    return;
  }
  if (!save(what == "removed" ? "Removed phone numbers written twice from " + named(*person_)
                              : "Rewrote the phone numbers of " + named(*person_)))
    return;
  for (const auto& [before, after] : rewrite.changes)
    note(what == "removed" ? "removed " + before + " (the same number as " + after + ") from " + who(*person_)
                           : "wrote " + before + " as " + after + " for " + who(*person_));
  outline_.removeRow(row);
  closingStep(father);
}
