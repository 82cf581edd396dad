#include "app/browser/ContactCommit.h"

#include <optional>

#include "app/browser/RecordKeyMap.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace ContactCommit {

namespace {

using RecordKeyMap::Family;
using RecordKeyMap::Mapping;

// The entry of the list that the record shows the key from: the last one that holds it.
std::optional<size_t> shownEntry(const Mapping& mapping, const ABMultiValue& list) {
  std::optional<size_t> shown;
  for (size_t i = 0; i < list.count(); ++i)
    if (RecordKeyMap::showsKey(mapping, list.entries()[i])) shown = i;
  return shown;
}

// The entry that an edit writes the text into: the one whose value the record shows; when it
// shows none, the one entry the key designates. nullopt: a new entry is appended.
std::optional<size_t> entryToEdit(const Mapping& mapping, const ABMultiValue& list) {
  if (auto shown = shownEntry(mapping, list)) return shown;
  std::optional<size_t> designated;
  for (size_t i = 0; i < list.count(); ++i) {
    if (!RecordKeyMap::designates(mapping, list.entries()[i])) continue;
    if (designated) return std::nullopt;  // more than one: none of them is the cell's
    designated = i;
  }
  return designated;
}

// The entry with the text written in: only the value the cell shows changes, the entry keeps its
// label and every other component. A social profile is put under the home label, the only one
// under which profiles are shown.
ABMultiValue::Entry edited(const Mapping& mapping, ABMultiValue::Entry entry, const std::string& text) {
  switch (mapping.family) {
    case Family::Labelled:
      entry.value = text;
      break;
    case Family::AddressPart:
      std::get<ABDictionary>(entry.value).set(*mapping.target, text);
      break;
    case Family::Instant:
      std::get<ABDictionary>(entry.value).set(kABInstantMessageUsernameKey, text);
      break;
    case Family::Social:
      std::get<ABDictionary>(entry.value).set(kABSocialProfileUsernameKey, text);
      entry.label = kABHomeLabel;
      break;
    default:
      break;
  }
  return entry;
}

// Takes away the value the record shows from the entry at index: the whole entry of a text list,
// the shown component of a dictionary (an address without its city), and the entry with it when
// nothing of its own is left (a messaging account or profile keeps only its service).
void removeShown(const Mapping& mapping, ABMultiValue& list, size_t index) {
  if (mapping.family == Family::Labelled) {
    list.removeValueAtIndex(index);
    return;
  }
  ABDictionary dictionary = std::get<ABDictionary>(list.valueAtIndex(index));
  if (mapping.family == Family::AddressPart) {
    dictionary.remove(*mapping.target);
  } else {
    const std::string& service =
        mapping.family == Family::Social ? kABSocialProfileServiceKey : kABInstantMessageServiceKey;
    dictionary.remove(mapping.family == Family::Social ? kABSocialProfileUsernameKey : kABInstantMessageUsernameKey);
    if (dictionary.size() == 1 && dictionary.contains(service)) dictionary = ABDictionary();
  }
  if (dictionary.empty())
    list.removeValueAtIndex(index);
  else
    list.replaceValueAtIndex(index, std::move(dictionary));
}

// A new entry holding only the text, under the key's label (or its group's label for new entries).
ABMultiValue::Entry fresh(const Mapping& mapping, const std::string& text) {
  switch (mapping.family) {
    case Family::AddressPart:
      return {*mapping.label, ABDictionary{{*mapping.target, text}}};
    case Family::Instant:
      return {*mapping.label,
              ABDictionary{{kABInstantMessageServiceKey, *mapping.target}, {kABInstantMessageUsernameKey, text}}};
    case Family::Social:
      return {kABHomeLabel,
              ABDictionary{{kABSocialProfileUsernameKey, text}, {kABSocialProfileServiceKey, *mapping.target}}};
    default:
      return {*mapping.label, text};
  }
}

}  // namespace

bool isCommittableKey(const std::string& key) {
  return RecordKeyMap::find(key) != nullptr;
}

bool isMultiLineKey(const std::string& key) {
  const Mapping* mapping = RecordKeyMap::find(key);
  if (!mapping) return false;
  return mapping->target == &kABNoteProperty ||
         (mapping->family == Family::AddressPart && mapping->target == &kABAddressStreetKey);
}

std::optional<std::string> shownText(const ABPerson& person, const std::string& key) {
  const Mapping* mapping = RecordKeyMap::find(key);
  if (!mapping) return std::nullopt;
  switch (mapping->family) {
    case Family::Single:
    case Family::Birthday: {
      ABValue value = person.valueForProperty(*mapping->target);
      if (const auto* text = std::get_if<std::string>(&value)) return *text;
      if (const auto* date = std::get_if<ABDate>(&value)) return date->toIsoString();
      return std::nullopt;
    }
    default: {
      auto list = person.multiValueForProperty(*RecordKeyMap::listProperty(*mapping));
      if (!list) return std::nullopt;
      auto shown = shownEntry(*mapping, *list);
      if (!shown) return std::nullopt;
      return RecordKeyMap::shownValue(*mapping, list->entries()[*shown]);
    }
  }
}

CommitResult applyRecordValue(ABPerson& person, const std::string& key, const RecordValue& value) {
  CommitResult result;
  const Mapping* mapping = RecordKeyMap::find(key);
  if (!mapping) {
    result.error = "\"" + key + "\" cannot be stored in the address book";
    return result;
  }
  if (mapping->family == Family::Birthday) {
    const auto* birthdayText = std::get_if<std::string>(&value);
    if (birthdayText && birthdayText->empty()) {
      // Emptying the cell removes the birthday; an empty cell left empty writes nothing.
      result.ok = true;
      result.changed = !isNil(person.valueForProperty(*mapping->target));
      if (result.changed) person.removeValueForProperty(*mapping->target);
      return result;
    }
    std::optional<ABDate> date;
    if (const auto* d = std::get_if<ABDate>(&value)) date = *d;
    if (const auto* text = std::get_if<std::string>(&value)) date = ABDate::fromIsoString(*text);
    if (!date) {
      result.error = "the birthday must be a date written as YYYY-MM-DD";
      return result;
    }
    result.ok = true;
    const ABValue current = person.valueForProperty(*mapping->target);
    const auto* old = std::get_if<ABDate>(&current);
    if (old && *old == *date) return result;
    person.setValueForProperty(*date, *mapping->target);
    result.changed = true;
    return result;
  }
  const auto* textValue = std::get_if<std::string>(&value);
  if (!textValue) {
    result.error = "\"" + key + "\" takes text";
    return result;
  }
  const std::string& text = *textValue;
  result.ok = true;
  const std::optional<std::string> shown = shownText(person, key);
  // An unchanged value, or no text for a cell that shows none, writes nothing.
  if (shown == text || (!shown && text.empty())) return result;
  result.changed = true;

  if (mapping->family == Family::Single) {
    if (text.empty())
      person.removeValueForProperty(*mapping->target);
    else
      person.setValueForProperty(text, *mapping->target);
    return result;
  }
  // Lists: at most one entry changes, every other one is carried over as it is.
  const std::string& property = *RecordKeyMap::listProperty(*mapping);
  ABMultiValue list = person.multiValueForProperty(property).value_or(ABMultiValue());
  if (text.empty()) {
    removeShown(*mapping, list, *shownEntry(*mapping, list));
    if (list.empty())
      person.removeValueForProperty(property);
    else
      person.setValueForProperty(list, property);
    return result;
  }
  if (auto at = entryToEdit(*mapping, list)) {
    ABMultiValue::Entry entry = edited(*mapping, list.entries()[*at], text);
    list.replaceValueAtIndex(*at, std::move(entry.value));
    list.replaceLabelAtIndex(*at, std::move(entry.label));
  } else {
    ABMultiValue::Entry entry = fresh(*mapping, text);
    list.addValueWithLabel(std::move(entry.value), std::move(entry.label));
  }
  person.setValueForProperty(list, property);
  return result;
}

CommitResult savePerson(const ABPersonRef& person, ABAddressBook& book) {
  CommitResult result;
  std::string error;
  if (!book.addRecord(person, &error) || !book.save(&error)) {
    // Left pending, the change would reach the file with the next save, long after the user was
    // told that it failed.
    book.revert();
    result.reverted = true;
    result.error = error;
    return result;
  }
  result.ok = true;
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
  if (!result.ok || !result.changed) return result;
  CommitResult saved = savePerson(person, book);
  if (!saved.ok) {
    saved.changed = false;
    return saved;
  }
  return result;
}

ABPersonRef personFromRecord(const ContactRecord& record) {
  auto person = ABPerson::create();
  for (const auto& [key, value] : record.entries())
    if (isCommittableKey(key)) applyRecordValue(*person, key, value);
  return person;
}

}  // namespace ContactCommit
