#include "app/review/FixActions.h"

#include <algorithm>

#include "app/review/DetailsPane.h"
#include "app/review/MergeContacts.h"
#include "app/review/PersonNames.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

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

}  // namespace

FixActions::FixActions(ReviewOutline& outline, ABAddressBook& book, ReviewQuestions& questions,
                       ContactsApplication* contacts)
    : outline_(outline), book_(book), questions_(questions), contacts_(contacts) {}

void FixActions::fail(const std::string& what) {
  if (!outcome_.error.empty()) outcome_.error += "; ";
  outcome_.error += what;
}

bool FixActions::save() {
  std::string error;
  if (book_.save(&error)) {
    outcome_.storeChanged = true;
    return true;
  }
  fail(error);
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

FixOutcome FixActions::apply(const RC::Category& category, PersonItem* row, const std::string& option) {
  outcome_ = FixOutcome();
  if (!row || row->isRootNode() || !outline_.contains(row) || row->parentNode()->name() != category.title) {
    fail("the row is not a contact of \"" + category.title + "\"");
    return outcome_;
  }
  option_ = option;
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
  // Only compared: a removed row's node no longer exists.
  outcome_.rowRemoved = !outline_.contains(row);
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
  ABPersonRef person = row->person();
  outline_.removeRow(row);
  outline_.purgePerson(*person, false);
  std::string error;
  if (book_.removeRecord(person, &error)) {
    if (save()) note("deleted " + who(*person));
  } else {
    fail(error);
  }
  closingStep(father);
}

void FixActions::removeProperty(PersonItem* row, const std::string& property, const std::string& what) {
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  if (person->removeValueForProperty(property)) {
    if (save()) note("removed the " + what + " of " + who(*person));
  } else {
    fail("the " + what + " could not be removed");
  }
  outline_.removeRow(row);
  closingStep(father);
}

void FixActions::processBadSuffixContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  if (option() != Opt::kRemoveSuffix) return;
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  person->removeValueForProperty(kABSuffixProperty);
  book_.addRecord(person);
  if (save()) {
    note("removed the suffix of " + who(*person));
    outline_.removeRow(row);
  }
  closingStep(father);
}

void FixActions::processUnusualTitleContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  if (option() != Opt::kRemoveTitle) return;
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  person->removeValueForProperty(kABTitleProperty);
  book_.addRecord(person);
  if (save()) {
    note("removed the title of " + who(*person));
    outline_.removeRow(row);
  }
  closingStep(father);
}

void FixActions::processOnlyOneNameContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  if (option() == Opt::kConvertToCompany) {
    person->setValueForProperty(std::int64_t{kABShowAsCompany}, kABPersonFlags);
    book_.addRecord(person);
    if (save()) {
      note("made " + who(*person) + " a company contact");
      outline_.removeRow(row);
    }
  } else if (option() == Opt::kUseQuestionMarks) {
    if (!person->stringForProperty(kABFirstNameProperty)) {
      person->setValueForProperty(std::string("???"), kABFirstNameProperty);
      book_.addRecord(person);
      if (save()) note("set the first name of " + who(*person) + " to ???");
    }
    if (!person->stringForProperty(kABLastNameProperty)) {
      person->setValueForProperty(std::string("???"), kABLastNameProperty);
      book_.addRecord(person);
      if (save()) note("set the last name of " + who(*person) + " to ???");
    }
    outline_.removeRow(row);
  } else {
    return;
  }
  closingStep(father);
}

void FixActions::setFirstName(PersonItem* row, const std::string& firstName) {
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  person->setValueForProperty(firstName, kABFirstNameProperty);
  std::string error;
  if (book_.addRecord(person, &error)) {
    if (save()) {
      note("set the first name of " + who(*person) + " to " + firstName);
      outline_.removeRow(row);
    }
  } else {
    fail(error);
  }
  closingStep(father);
}

void FixActions::processSpaceInFirstNameContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  std::string first = row->person()->stringForProperty(kABFirstNameProperty).value_or("");
  if (option() == Opt::kRemoveSpace)
    setFirstName(row, replaceSpaces(first, ""));
  else if (option() == Opt::kHyphenate)
    setFirstName(row, replaceSpaces(first, "-"));
}

std::vector<ABPersonRef> FixActions::duplicateGroupOf(const ABPerson& person) const {
  std::string key = PersonNames::nameKey(person);
  std::vector<ABPersonRef> group;
  for (const auto& candidate : book_.people())
    if (PersonNames::nameKey(*candidate->snapshot()) == key) group.push_back(candidate);
  return group;
}

bool FixActions::replaceInOneSave(const std::vector<ABPersonRef>& removed, const ABPersonRef& added) {
  std::vector<ABPersonRef> taken;
  for (const auto& person : removed) {
    if (book_.contains(person) && std::find(taken.begin(), taken.end(), person) == taken.end() &&
        book_.removeRecord(person))
      taken.push_back(person);
  }
  auto putBack = [&] {
    for (const auto& person : taken) book_.addRecord(person);
  };
  if (added) {
    std::string error;
    if (!book_.addRecord(added, &error)) {
      putBack();
      fail(error);
      return false;
    }
  }
  if (!save()) {
    if (added) book_.removeRecord(added);
    putBack();
    return false;
  }
  for (const auto& person : taken) note("deleted " + who(*person));
  if (added) note("added the merged contact " + who(*added));
  return true;
}

void FixActions::processDuplicateContact(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  PersonItem* father = row->parentNode();
  auto group = duplicateGroupOf(*row->person());
  if (option() == Opt::kDeleteDuplicates) {
    if (group.size() < 2) return;
    std::vector<ABPersonRef> others(group.begin() + 1, group.end());
    if (!replaceInOneSave(others, nullptr)) return;
    for (const auto& other : others) outline_.purgePerson(*other, true, father);
    if (outline_.contains(row)) outline_.removeRow(row);
  } else if (option() == Opt::kMerge) {
    if (group.size() < 2) return;
    ABPersonRef merged = mergeContacts(group);
    if (!replaceInOneSave(group, merged)) return;
    outline_.removeRow(row);
    // Rows of the merged members elsewhere would act on persons no longer in the store.
    for (const auto& member : group) outline_.purgePerson(*member, true, father);
  } else {
    return;
  }
  closingStep(father);
}

void FixActions::processShareEmailContacts(PersonItem* row) {
  if (option() == Opt::kDeleteContact) return deleteThisContact(row);
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  std::vector<ABPersonRef> others = row->duplicateEmailArray();
  if (option() == Opt::kDeleteDuplicates) {
    if (!replaceInOneSave(others, nullptr)) return;
    outline_.removeRow(row);
    for (const auto& other : others) outline_.purgePerson(*other, true, father);
  } else if (option() == Opt::kMerge) {
    std::vector<ABPersonRef> list = others;
    list.push_back(person);
    ABPersonRef merged = mergeContacts(list);
    if (!replaceInOneSave(list, merged)) return;
    outline_.removeRow(row);
    for (const auto& member : list) outline_.purgePerson(*member, true, father);
  } else if (option() == Opt::kRemoveEmail) {
    std::string shared = EmailSlots::sharedAddress(*row);
    ABMultiValue kept;
    if (auto emails = person->multiValueForProperty(kABEmailProperty)) {
      for (const auto& entry : emails->entries()) {
        const auto* value = std::get_if<std::string>(&entry.value);
        if (value && *value == shared) continue;
        kept.addValueWithLabel(entry.value, entry.label);
      }
    }
    bool ok = kept.empty() ? person->removeValueForProperty(kABEmailProperty)
                           : person->setValueForProperty(kept, kABEmailProperty);
    if (ok && book_.addRecord(person) && save()) {
      note("removed " + shared + " from " + who(*person));
      outline_.removeRow(row);
    }
  } else {
    return;
  }
  closingStep(father);
}

void FixActions::processEmptyNotesContacts(PersonItem* row) {
  removeProperty(row, kABNoteProperty, "note");
}

void FixActions::processEmptyNicknameContacts(PersonItem* row) {
  removeProperty(row, kABNicknameProperty, "nickname");
}

void FixActions::removeDuplicateValues(PersonItem* row, const std::string& property, bool sendAddRecord) {
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  ABMultiValue kept;
  size_t dropped = 0;
  if (auto values = person->multiValueForProperty(property)) {
    for (const auto& entry : values->entries()) {
      bool seen = std::any_of(kept.entries().begin(), kept.entries().end(),
                              [&](const ABMultiValue::Entry& k) { return k.value == entry.value; });
      if (seen) {
        ++dropped;
        continue;
      }
      kept.addValueWithLabel(entry.value, entry.label);
    }
  }
  if (person->removeValueForProperty(property)) {
    bool set = kept.empty() || person->setValueForProperty(kept, property);
    if (set && (!sendAddRecord || book_.addRecord(person)) && save())
      note("removed " + std::to_string(dropped) + " repeated value(s) from " + who(*person));
  }
  outline_.removeRow(row);
  closingStep(father);
}

void FixActions::processDuplicateEmailContacts(PersonItem* row) {
  removeDuplicateValues(row, kABEmailProperty, true);
}

void FixActions::processDuplicatePhoneContacts(PersonItem* row) {
  removeDuplicateValues(row, kABPhoneProperty, false);
}

void FixActions::processDuplicateAddresslContacts(PersonItem* row) {
  removeDuplicateValues(row, kABAddressProperty, true);
}

void FixActions::editInContacts(PersonItem* row) {
  PersonItem* father = row->parentNode();
  ABPersonRef person = row->person();
  if (!contacts_) {
    fail("editing a contact needs the application window");
    return;
  }
  contacts_->editInAddressBook(person);
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
