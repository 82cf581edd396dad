#include "app/browser/ContactCommit.h"

#include <optional>

#include "app/model/RecordEntries.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace ContactCommit {

namespace {

using RecordKeys::Family;
using RecordKeys::RecordKey;

// The key's row when a value of it can be stored.
const RecordKey* storedKey(std::string_view key) {
  const RecordKey* row = RecordKeys::find(key);
  return row && RecordKeys::isStored(*row) ? row : nullptr;
}

}  // namespace

bool isCommittableKey(const std::string& key) {
  return storedKey(key) != nullptr;
}

bool isMultiLineKey(const std::string& key) {
  const RecordKey* row = storedKey(key);
  return row && (row->property == &kABNoteProperty || row->part == &kABAddressStreetKey);
}

std::optional<std::string> shownText(const ABPerson& person, const std::string& key) {
  const RecordKey* row = storedKey(key);
  if (!row) return std::nullopt;
  if (row->family == Family::Single || row->family == Family::Birthday) {
    ABValue value = person.valueForProperty(*row->property);
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* date = std::get_if<ABDate>(&value)) return date->toIsoString();
    return std::nullopt;
  }
  auto list = person.multiValueForProperty(*row->property);
  if (!list) return std::nullopt;
  auto shown = RecordEntries::shownEntry(*row, *list);
  if (!shown) return std::nullopt;
  return RecordEntries::shownValue(*row, list->entries()[*shown]);
}

CommitResult applyRecordValue(ABPerson& person, const std::string& key, const RecordValue& value) {
  CommitResult result;
  const RecordKey* row = storedKey(key);
  if (!row) {
    result.error = "\"" + key + "\" cannot be stored in the address book";
    return result;
  }
  const std::string& property = *row->property;
  if (row->family == Family::Birthday) {
    const auto* birthdayText = std::get_if<std::string_view>(&value);
    if (birthdayText && birthdayText->empty()) {
      // Emptying the cell removes the birthday; an empty cell left empty writes nothing.
      result.changed = !isNil(person.valueForProperty(property));
      if (result.changed) person.removeValueForProperty(property);
      return result;
    }
    std::optional<ABDate> date;
    if (const auto* d = std::get_if<ABDate>(&value)) date = *d;
    if (birthdayText) date = ContactRecord::dateFromText(*birthdayText);
    if (!date) {
      result.error = "the birthday must be a date written as YYYY-MM-DD, or --MM-DD without a year";
      return result;
    }
    const ABValue current = person.valueForProperty(property);
    const auto* old = std::get_if<ABDate>(&current);
    if (old && *old == *date) return result;
    person.setValueForProperty(*date, property);
    result.changed = true;
    return result;
  }
  const auto* textValue = std::get_if<std::string_view>(&value);
  if (!textValue) {
    result.error = "\"" + key + "\" takes text";
    return result;
  }
  const std::string text(*textValue);
  const std::optional<std::string> shown = shownText(person, key);
  // An unchanged value, or no text for a cell that shows none, writes nothing.
  if (shown == text || (!shown && text.empty())) return result;
  result.changed = true;

  if (row->family == Family::Single) {
    if (text.empty())
      person.removeValueForProperty(property);
    else
      person.setValueForProperty(text, property);
    return result;
  }
  // Lists: at most one entry changes, every other one is carried over as it is.
  ABMultiValue list = person.multiValueForProperty(property).value_or(ABMultiValue());
  if (text.empty())
    RecordEntries::removeFromList(*row, list);
  else
    RecordEntries::setInList(*row, list, text);
  if (list.empty())
    person.removeValueForProperty(property);
  else
    person.setValueForProperty(list, property);
  return result;
}

CommitResult savePerson(const ABPersonRef& person, ABAddressBook& book, const std::string& description) {
  CommitResult result;
  std::string error;
  ABSaveResult saved;
  book.setNextChangeDescription(description);
  if (book.addRecord(person, &error)) {
    saved = book.saveChanges();
    error = saved.error;
  } else {
    saved.status = ABSaveResult::Status::Failed;
  }
  if (!saved.ok()) {
    // Left pending, the change would reach the file with the next save, long after the user was
    // told that it failed.
    book.revert();
    result.reverted = true;
    result.conflict = !saved.conflicts.empty();
    result.error = error.empty() ? "the address book could not be saved" : error;
    return result;
  }
  return result;
}

CommitResult commitContactsToAddressBookCommitValueWithPerson(const std::string& key, const RecordValue& value,
                                                              const ABPersonRef& person, ABAddressBook& book,
                                                              const std::optional<std::string>* shownBefore) {
  CommitResult result;
  if (!book.contains(person)) {
    result.error = "the contact is no longer in the address book";
    result.stale = true;
    return result;
  }
  if (shownBefore && isCommittableKey(key) && shownText(*person, key) != *shownBefore) {
    result.error = "the contact was changed since it was shown; nothing was saved";
    result.stale = true;
    return result;
  }
  result = applyRecordValue(*person, key, value);
  if (!result.ok() || !result.changed) return result;
  CommitResult saved = savePerson(person, book, "Changed the " + key + " of " + ABAddressBook::nameForHistory(*person));
  if (!saved.ok()) {
    saved.changed = false;
    return saved;
  }
  return result;
}

}  // namespace ContactCommit
