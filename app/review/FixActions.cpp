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
#include "platform/addressbook/ABMarks.h"
#include "platform/sync/SyncRun.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;

namespace {

std::string replaceSpaces(const std::string& text, const std::string& with) {
  std::string result;
  for (char c : text) {
    if (c == ' ')
      result += with;
    else
      result += c;
  }
  return result;
}

std::string who(const ABPerson& person) {
  return PersonNames::rowName(person) + " <" + person.uniqueId() + ">";
}

std::string inQuotes(const std::string& text) {
  return "\"" + text + "\"";
}

// What has changed when a person no longer meets its category's condition.
std::string noLongerMeets(const std::string& title) {
  if (title == RC::kUnusualSuffix) return "its suffix is no longer unusual";
  if (title == RC::kUnusualTitle) return "its title is no longer unusual";
  if (title == RC::kIncompleteName) return "its name is no longer incomplete";
  if (title == RC::kSpacingInFirstName) return "its first name no longer holds a space";
  if (title == RC::kNoteWithSpacing) return "its note is no longer spaces only";
  if (title == RC::kNicknameWithSpacing) return "its nickname is no longer spaces only";
  if (title == RC::kDuplicateEmail) return "none of its e-mail addresses is repeated any more";
  if (title == RC::kDuplicatePhone) return "none of its phone numbers is repeated any more";
  if (title == RC::kDuplicateAddress) return "none of its addresses is repeated any more";
  if (title == RC::kInvalidCharacters) return "it no longer holds an invalid character";
  if (title == RC::kBlankName) return "it has a name now";
  if (title == RC::kPhoneWrittenDifferently) return "none of its phone numbers is written twice any more";
  if (title == RC::kPhoneFormat) return "none of its phone numbers is left to write in international format";
  return "the finding no longer holds";
}

// How a change set names a person.
std::string named(const ABPerson& person) {
  return ABAddressBook::nameForHistory(person);
}

// "3 contacts", "1 duplicate"
std::string contacts(size_t count, const std::string& noun = "contact") {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// "Ann Lee and Anna Lee", "Ann Lee, Anna Lee and Lee Ann", "Ann Lee, Anna Lee and 3 others"
std::string namesOf(const std::vector<ABPersonRef>& persons) {
  const size_t shown = persons.size() <= 3 ? persons.size() : 2;
  std::string names;
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) names += i + 1 == persons.size() ? " and " : ", ";
    names += named(*persons[i]);
  }
  if (shown < persons.size()) names += " and " + std::to_string(persons.size() - shown) + " others";
  return names;
}

std::string mergedInto(size_t members, const ABPerson& merged) {
  return "Merged " + contacts(members) + " into " + named(merged);
}

}  // namespace

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

void FixActions::closingStep(PersonItem* father) {
  if (outline_.contains(father)) outline_.removeCategoryIfEmpty(father);
}

ABPersonRef FixActions::stored(const ABPerson& person) const {
  return book_.recordForUniqueId(person.uniqueId());
}

std::string FixActions::sharedValue(const PersonItem& row) const {
  if (!row.duplicateEmail().empty()) return row.duplicateEmail();
  std::vector<ABPersonRef> others;
  for (const auto& other : row.duplicateEmailArray())
    if (auto current = stored(*other)) others.push_back(current);
  return ScanAddressBook::sharedEmailValue(*person_->snapshot(), row.duplicateEmailType(), others);
}

std::vector<ABPersonRef> FixActions::similarMembers(const PersonItem& row) const {
  std::vector<ABPersonRef> members;
  if (person_) members.push_back(person_);
  for (const auto& other : row.duplicateEmailArray())
    if (auto current = stored(*other)) members.push_back(current);
  if (members.size() < 2) return members;
  // Store order: the merge keeps the values of the later ones where single values differ.
  std::unordered_map<std::string, size_t> position;
  for (const auto& member : members) position.emplace(member->uniqueId(), 0);
  size_t index = 0;
  for (const auto& person : book_.people()) {
    auto found = position.find(person->uniqueId());
    if (found != position.end()) found->second = index;
    ++index;
  }
  std::sort(members.begin(), members.end(), [&](const ABPersonRef& a, const ABPersonRef& b) {
    return position[a->uniqueId()] < position[b->uniqueId()];
  });
  return members;
}

std::optional<std::string> FixActions::similarStaleReason(const PersonItem& row) const {
  for (const auto& other : row.duplicateEmailArray())
    if (!stored(*other)) return PersonNames::rowName(*other) + " is no longer in the address book";
  auto members = similarMembers(row);
  if (members.size() < 2) return "nobody else is in its group any more";
  // The group must still stand on the contacts as they are now, by the same rules.
  std::vector<ABPersonSnapshot> values;
  for (const auto& member : members) values.push_back(member->snapshot());
  PhoneNumbers phones(outline_.region());
  const PhoneReadings readings =
      SimilarContacts::readPhones(values, phones, SimilarContacts::NationalNumbers::kNoneMore);
  auto whole = [&](const std::vector<SimilarContacts::Group>& groups) {
    return groups.size() == 1 && groups.front().members.size() == members.size();
  };
  // Persons the user marked as not the same person are never linked (as in a scan).
  std::vector<std::vector<std::string>> distinct;
  ABMarkCover notSame(book_, ABMarkKind::kNotSamePerson);
  for (const ABMark& mark : notSame.marks()) distinct.push_back(mark.uids);
  auto groups = SimilarContacts::findGroups(values, readings, phones, distinct);
  if (whole(groups)) return std::nullopt;
  if (!distinct.empty() && whole(SimilarContacts::findGroups(values, readings, phones, {})))
    return "its contacts are marked as not the same person";
  // Name the first contact no longer linked to the row's own one.
  const size_t own = static_cast<size_t>(
      std::find_if(members.begin(), members.end(),
                   [&](const ABPersonRef& member) { return member->uniqueId() == person_->uniqueId(); }) -
      members.begin());
  std::vector<size_t> linked{own};
  for (const auto& group : groups)
    if (std::find(group.members.begin(), group.members.end(), own) != group.members.end()) linked = group.members;
  for (size_t m = 0; m < members.size(); ++m)
    if (std::find(linked.begin(), linked.end(), m) == linked.end())
      return "it is no longer linked to " + PersonNames::rowName(*members[m]);
  return "it is no longer linked to the others of its group";
}

std::optional<std::string> FixActions::staleReason(const RC::Category& category, const PersonItem& row) const {
  if (!person_) return "it is no longer in the address book";
  auto data = person_->snapshot();
  const std::string& title = category.title;
  if (title == RC::kDuplicateContacts) {
    auto group = ScanAddressBook::duplicateGroupOf(book_, *person_);
    if (group.size() < 2) return "it has no duplicate any more";
    std::vector<std::string> uids;
    for (const auto& member : group) uids.push_back(member->uniqueId());
    if (ABMarkCover(book_, ABMarkKind::kNotSamePerson).covers(uids))
      return "its duplicates are marked as not the same person";
    return std::nullopt;
  }
  if (title == RC::kSimilarContacts) return similarStaleReason(row);
  if (title == RC::kPhoneFormat) {
    PhoneNumbers phones(outline_.region());
    auto national = SimilarContacts::nationalNumbers(*data, SimilarContacts::readPhonesOf(*data, phones));
    if (national.empty()) return noLongerMeets(title);
    if (ScanAddressBook::nationalPhonesKept(*data, national, ABMarkCover(book_, ABMarkKind::kKeptPhoneFormat)))
      return "its phone numbers are kept as they are written";
    return std::nullopt;
  }
  if (title == RC::kPhoneWrittenDifferently) {
    if (!ScanAddressBook::hasPhoneWrittenTwice(*data, PhoneNumbers(outline_.region()))) return noLongerMeets(title);
    return std::nullopt;
  }
  if (title != RC::kShareEmail) {
    if (!ScanAddressBook::personMeetsCondition(category.conditionKey, *data)) return noLongerMeets(title);
    return std::nullopt;
  }
  std::string value = sharedValue(row);
  if (value.empty() || !ScanAddressBook::holdsEmail(*data, value))
    return (value.empty() ? std::string("the shared address") : inQuotes(value)) +
           " is no longer one of its e-mail addresses";
  {
    std::vector<std::string> uids;
    for (const auto& holder : book_.recordsMatchingSearchElement(
             book_.searchElementForProperty(kABEmailProperty, std::nullopt, std::nullopt, value, kABEqual)))
      uids.push_back(holder->uniqueId());
    if (ABMarkCover(book_, ABMarkKind::kNotSamePerson).coversForValue(uids, value))
      return "the contacts sharing " + inQuotes(value) + " are marked as not the same person";
  }
  if (option() == Opt::kMerge || option() == Opt::kDeleteDuplicates) {
    // Every contact the fix would merge or delete must still share the address.
    if (row.duplicateEmailArray().empty()) return "nobody else holds " + inQuotes(value) + " any more";
    for (const auto& other : row.duplicateEmailArray()) {
      auto current = stored(*other);
      if (!current) return PersonNames::rowName(*other) + " is no longer in the address book";
      if (!ScanAddressBook::holdsEmail(*current->snapshot(), value))
        return PersonNames::rowName(*current) + " no longer holds " + inQuotes(value);
    }
    return std::nullopt;
  }
  auto holders = book_.recordsMatchingSearchElement(
      book_.searchElementForProperty(kABEmailProperty, std::nullopt, std::nullopt, value, kABEqual));
  bool shared = std::any_of(holders.begin(), holders.end(),
                            [&](const ABPersonRef& holder) { return holder->uniqueId() != person_->uniqueId(); });
  if (!shared) return "nobody else holds " + inQuotes(value) + " any more";
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
  } else {
    const std::string& title = category.title;
    if (title == RC::kDuplicateContacts)
      processDuplicateContact(row);
    else if (title == RC::kIncompleteName)
      processOnlyOneNameContacts(row);
    else if (title == RC::kUnusualSuffix)
      processBadSuffixContacts(row);
    else if (title == RC::kUnusualTitle)
      processUnusualTitleContacts(row);
    else if (title == RC::kSpacingInFirstName)
      processSpaceInFirstNameContacts(row);
    else if (title == RC::kNoteWithSpacing)
      processEmptyNotesContacts(row);
    else if (title == RC::kDuplicateEmail)
      processDuplicateEmailContacts(row);
    else if (title == RC::kDuplicatePhone)
      processDuplicatePhoneContacts(row);
    else if (title == RC::kDuplicateAddress)
      processDuplicateAddresslContacts(row);
    else if (title == RC::kNicknameWithSpacing)
      processEmptyNicknameContacts(row);
    else if (title == RC::kShareEmail)
      processShareEmailContacts(row);
    else if (title == RC::kInvalidCharacters)
      processInvalidCharContacts(row);
    else if (title == RC::kBlankName)
      processBlankNameContacts(row);
    else if (title == RC::kSimilarContacts)
      processSimilarContacts(row);
    else if (title == RC::kPhoneWrittenDifferently)
      processPhoneWrittenDifferentlyContacts(row);
    else if (title == RC::kPhoneFormat)
      processPhoneFormatContacts(row);
  }
  // Rows of contacts that this fix (or anything before it) took out of the store would act on
  // nothing: they go from every category.
  outline_.purgeMissing(book_);
  // Only compared: a removed row's node no longer exists.
  outcome_.rowRemoved = !outline_.contains(row);
  person_.reset();
  return outcome_;
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

void FixActions::processBadSuffixContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  if (option() == Opt::kRemoveSuffix) removeProperty(row, kABSuffixProperty, "suffix");
}

void FixActions::processUnusualTitleContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  if (option() == Opt::kRemoveTitle) removeProperty(row, kABTitleProperty, "title");
}

void FixActions::processOnlyOneNameContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  PersonItem* father = row->parentNode();
  if (option() == Opt::kConvertToCompany) {
    person_->setValueForProperty(std::int64_t{kABShowAsCompany}, kABPersonFlags);
    if (!book_.addRecord(person_) || !save("Made " + named(*person_) + " a company contact")) return;
    note("made " + who(*person_) + " a company contact");
  } else if (option() == Opt::kUseQuestionMarks) {
    // Both missing parts in one save.
    std::string name = named(*person_);
    std::vector<std::string> set;
    if (!person_->stringForProperty(kABFirstNameProperty)) {
      person_->setValueForProperty(std::string("???"), kABFirstNameProperty);
      set.push_back("first");
    }
    if (!person_->stringForProperty(kABLastNameProperty)) {
      person_->setValueForProperty(std::string("???"), kABLastNameProperty);
      set.push_back("last");
    }
    if (!book_.addRecord(person_) || !save("Used ??? for the missing name of " + name)) return;
    for (const auto& part : set) note("set the " + part + " name of " + who(*person_) + " to ???");
  } else {
    return;
  }
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

void FixActions::processSpaceInFirstNameContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  std::string first = person_->stringForProperty(kABFirstNameProperty).value_or("");
  std::string name = named(*person_);
  if (option() == Opt::kRemoveSpace)
    setFirstName(row, replaceSpaces(first, ""), "Removed the spaces from the first name of " + name);
  else if (option() == Opt::kHyphenate)
    setFirstName(row, replaceSpaces(first, "-"), "Hyphenated the first name of " + name);
}

std::vector<ABPersonRef> FixActions::duplicateGroupOf(const ABPerson& person) const {
  return ScanAddressBook::duplicateGroupOf(book_, person);
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

void FixActions::processDuplicateContact(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  PersonItem* father = row->parentNode();
  auto group = duplicateGroupOf(*person_);
  if (option() == Opt::kDeleteDuplicates) {
    std::vector<ABPersonRef> others(group.begin() + 1, group.end());
    std::string name = named(*group.front());
    if (!replaceInOneSave(others, nullptr,
                          [&](size_t removed) { return "Deleted " + contacts(removed, "duplicate") + " of " + name; }))
      return;
    for (const auto& other : others) outline_.purgePerson(*other, true, father);
    if (outline_.contains(row)) outline_.removeRow(row);
  } else if (option() == Opt::kMerge) {
    if (!confirmMerge(group.size())) return;
    ABPersonRef merged = mergeContacts(group);
    if (!replaceInOneSave(group, merged, [&](size_t removed) { return mergedInto(removed, *merged); })) return;
    outline_.removeRow(row);
    for (const auto& member : group) outline_.purgePerson(*member, true, father);
  } else if (option() == Opt::kNotSamePerson) {
    if (!markNotSamePerson(group, {}, contacts(group.size()) + " named " + named(*group.front()))) return;
    outline_.removeRow(row);
  } else {
    return;
  }
  closingStep(father);
}

void FixActions::processShareEmailContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  PersonItem* father = row->parentNode();
  std::vector<ABPersonRef> others;
  for (const auto& other : row->duplicateEmailArray())
    if (auto current = stored(*other)) others.push_back(current);
  if (option() == Opt::kDeleteDuplicates) {
    std::string name = named(*person_);
    if (!replaceInOneSave(others, nullptr, [&](size_t removed) {
          return "Deleted " + contacts(removed) + " sharing an email address with " + name;
        }))
      return;
    outline_.removeRow(row);
    for (const auto& other : others) outline_.purgePerson(*other, true, father);
  } else if (option() == Opt::kMerge) {
    std::vector<ABPersonRef> list = others;
    list.push_back(person_);
    if (!confirmMerge(list.size())) return;
    ABPersonRef merged = mergeContacts(list);
    if (!replaceInOneSave(list, merged, [&](size_t removed) { return mergedInto(removed, *merged); })) return;
    outline_.removeRow(row);
    for (const auto& member : list) outline_.purgePerson(*member, true, father);
  } else if (option() == Opt::kRemoveEmail) {
    // Every entry of the shared address goes, under whatever label; every other entry stays.
    std::string shared = sharedValue(*row);
    ABMultiValue kept;
    if (auto emails = person_->multiValueForProperty(kABEmailProperty)) {
      for (const auto& entry : emails->entries()) {
        const auto* value = std::get_if<std::string>(&entry.value);
        if (value && *value == shared) continue;
        kept.addEntry(entry);
      }
    }
    bool ok = kept.empty() ? person_->removeValueForProperty(kABEmailProperty)
                           : person_->setValueForProperty(kept, kABEmailProperty);
    if (!ok || !book_.addRecord(person_)) {
      book_.revert();
      fail("the address " + shared + " could not be removed from " + who(*person_));
      return;
    }
    if (!save("Removed " + shared + " from " + named(*person_))) return;
    note("removed " + shared + " from " + who(*person_));
    outline_.removeRow(row);
  } else if (option() == Opt::kNotSamePerson) {
    // Every contact holding the address now, not only those the scan saw.
    std::string shared = sharedValue(*row);
    auto holders = book_.recordsMatchingSearchElement(
        book_.searchElementForProperty(kABEmailProperty, std::nullopt, std::nullopt, shared, kABEqual));
    if (!markNotSamePerson(holders, shared, contacts(holders.size()) + " sharing " + shared)) return;
    outline_.removeRow(row);
  } else {
    return;
  }
  closingStep(father);
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

void FixActions::processEmptyNotesContacts(PersonItem* row) {
  removeProperty(row, kABNoteProperty, "note");
}

void FixActions::processEmptyNicknameContacts(PersonItem* row) {
  removeProperty(row, kABNicknameProperty, "nickname");
}

void FixActions::removeDuplicateValues(PersonItem* row, const std::string& property, const std::string& what,
                                       const std::string& plural) {
  PersonItem* father = row->parentNode();
  ABMultiValue kept;
  size_t dropped = 0;
  if (auto values = person_->multiValueForProperty(property)) {
    for (const auto& entry : values->entries()) {
      bool seen = std::any_of(kept.entries().begin(), kept.entries().end(),
                              [&](const ABMultiValue::Entry& k) { return k.value == entry.value; });
      if (seen) {
        ++dropped;
        continue;
      }
      kept.addEntry(entry);
    }
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

void FixActions::processDuplicateEmailContacts(PersonItem* row) {
  removeDuplicateValues(row, kABEmailProperty, "email address", "email addresses");
}

void FixActions::processDuplicatePhoneContacts(PersonItem* row) {
  removeDuplicateValues(row, kABPhoneProperty, "phone number", "phone numbers");
}

void FixActions::processDuplicateAddresslContacts(PersonItem* row) {
  removeDuplicateValues(row, kABAddressProperty, "address", "addresses");
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

void FixActions::processInvalidCharContacts(PersonItem* row) {
  editInContacts(row);
}

void FixActions::processBlankNameContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  if (option() == Opt::kEditInContacts) editInContacts(row);
}

void FixActions::processSimilarContacts(PersonItem* row) {
  PersonItem* father = row->parentNode();
  auto members = similarMembers(*row);
  if (option() == Opt::kNotSamePerson) {
    // Over the group's members as the store holds them now (the stale check found them linked).
    if (!markNotSamePerson(members, {}, namesOf(members))) return;
    outline_.removeRow(row);
    closingStep(father);
    return;
  }
  if (option() != Opt::kMerge) return;
  if (!confirmMerge(members.size())) return;
  ABPersonRef merged = mergeContacts(members);
  if (!replaceInOneSave(members, merged, [&](size_t removed) { return mergedInto(removed, *merged); })) return;
  outline_.removeRow(row);
  for (const auto& member : members) outline_.purgePerson(*member, true, father);
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

void FixActions::processPhoneWrittenDifferentlyContacts(PersonItem* row) {
  rewritePhones(row, PhoneFixes::withoutNumbersWrittenTwice(*person_, outline_.region()), "removed");
}

void FixActions::processPhoneFormatContacts(PersonItem* row) {
  if (option() == Opt::kKeepAsItIs) return keepPhonesAsTheyAre(row);
  if (option() != Opt::kWriteInternational && option() != Opt::kWriteE164) return;
  // Numbers the user kept as they are written stay so.
  const auto kept = ABMarkCover(book_, ABMarkKind::kKeptPhoneFormat).keptFor(person_->uniqueId());
  rewritePhones(row, PhoneFixes::inInternationalForm(*person_, outline_.region(), option() == Opt::kWriteE164, kept),
                "rewrote");
}

void FixActions::keepPhonesAsTheyAre(PersonItem* row) {
  PersonItem* father = row->parentNode();
  // The numbers as the store holds them now (the stale check found at least one not kept).
  const auto texts = PhoneFixes::numbersNotInternational(*person_, outline_.region());
  std::string numbers;
  for (size_t i = 0; i < texts.size(); ++i)
    numbers += (i == 0 ? "" : i + 1 == texts.size() ? " and " : ", ") + texts[i];
  const std::string asThey = texts.size() == 1 ? " as it is" : " as they are";
  std::string error;
  if (!book_.addMark(ABMarkKind::kKeptPhoneFormat, {person_->uniqueId()}, ABMarkCover::valueOfList(texts),
                     "Kept " + numbers + " of " + named(*person_) + asThey, &error)) {
    fail("the phone numbers of " + who(*person_) + " could not be kept as they are: " + error);
    return;
  }
  outcome_.storeChanged = true;
  note("kept " + numbers + asThey + " for " + who(*person_));
  outline_.removeRow(row);
  closingStep(father);
}
