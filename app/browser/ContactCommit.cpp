#include "app/browser/ContactCommit.h"

#include <functional>

#include "app/browser/RecordKeyMap.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace ContactCommit {

namespace {

using RecordKeyMap::Family;

// Rewrites every designated entry, or appends one when none is.
void rewriteList(ABPerson& person, const std::string& property,
                 const std::function<bool(const ABMultiValue::Entry&)>& designated,
                 const std::function<ABMultiValue::Entry(const ABMultiValue::Entry*)>& rewritten) {
  ABMultiValue current = person.multiValueForProperty(property).value_or(ABMultiValue());
  ABMultiValue next;
  bool found = false;
  for (const auto& entry : current.entries()) {
    if (designated(entry)) {
      found = true;
      auto fresh = rewritten(&entry);
      next.addValueWithLabel(fresh.value, fresh.label);
    } else {
      next.addValueWithLabel(entry.value, entry.label);
    }
  }
  if (!found) {
    auto fresh = rewritten(nullptr);
    next.addValueWithLabel(fresh.value, fresh.label);
  }
  person.setValueForProperty(next, property);
}

}  // namespace

bool isCommittableKey(const std::string& key) {
  return RecordKeyMap::find(key) != nullptr;
}

CommitResult applyRecordValue(ABPerson& person, const std::string& key, const RecordValue& value) {
  CommitResult result;
  const RecordKeyMap::Mapping* mapping = RecordKeyMap::find(key);
  if (!mapping) {
    result.error = "\"" + key + "\" cannot be stored in the address book";
    return result;
  }
  if (mapping->family == Family::Birthday) {
    std::optional<ABDate> date;
    if (const auto* d = std::get_if<ABDate>(&value)) date = *d;
    if (const auto* text = std::get_if<std::string>(&value)) date = ABDate::fromIsoString(*text);
    if (!date) {
      result.error = "the birthday must be a date written as YYYY-MM-DD";
      return result;
    }
    person.setValueForProperty(*date, *mapping->target);
    result.ok = true;
    return result;
  }
  const auto* textValue = std::get_if<std::string>(&value);
  if (!textValue) {
    result.error = "\"" + key + "\" takes text";
    return result;
  }
  const std::string& text = *textValue;
  const std::string& target = *mapping->target;
  const std::string* groupLabel = mapping->label;
  result.ok = true;

  switch (mapping->family) {
    case Family::Single:
      person.setValueForProperty(text, target);
      break;
    case Family::Labelled:
      rewriteList(
          person, target, [&](const ABMultiValue::Entry& e) { return e.label == *groupLabel; },
          [&](const ABMultiValue::Entry*) {
            return ABMultiValue::Entry{*groupLabel, text};
          });
      break;
    case Family::Social:
      rewriteList(
          person, kABSocialProfileProperty,
          [&](const ABMultiValue::Entry& e) {
            const auto* d = std::get_if<ABDictionary>(&e.value);
            return d && d->valueOr(kABSocialProfileServiceKey) == target;
          },
          [&](const ABMultiValue::Entry*) {
            return ABMultiValue::Entry{
                kABHomeLabel, ABDictionary{{kABSocialProfileUsernameKey, text}, {kABSocialProfileServiceKey, target}}};
          });
      break;
    case Family::AddressPart:
      rewriteList(
          person, kABAddressProperty,
          [&](const ABMultiValue::Entry& e) {
            return std::holds_alternative<ABDictionary>(e.value) && RecordKeyMap::inGroup(e.label, groupLabel);
          },
          [&](const ABMultiValue::Entry* old) {
            ABDictionary address = old ? std::get<ABDictionary>(old->value) : ABDictionary();
            address.set(target, text);
            return ABMultiValue::Entry{old ? old->label : *groupLabel, address};
          });
      break;
    case Family::Instant:
      rewriteList(
          person, kABInstantMessageProperty,
          [&](const ABMultiValue::Entry& e) {
            const auto* d = std::get_if<ABDictionary>(&e.value);
            return d && RecordKeyMap::inGroup(e.label, groupLabel) && d->valueOr(kABInstantMessageServiceKey) == target;
          },
          [&](const ABMultiValue::Entry*) {
            return ABMultiValue::Entry{
                *groupLabel, ABDictionary{{kABInstantMessageServiceKey, target}, {kABInstantMessageUsernameKey, text}}};
          });
      break;
    case Family::Birthday:
      break;
  }
  return result;
}

CommitResult commitContactsToAddressBookCommitValueWithPerson(const std::string& key, const RecordValue& value,
                                                              const ABPersonRef& person, ABAddressBook& book) {
  CommitResult result = applyRecordValue(*person, key, value);
  if (!result.ok) return result;
  std::string error;
  if (!book.addRecord(person, &error) || !book.save(&error)) {
    // Left pending, the change would reach the file with the next save, long after the user was
    // told that it failed.
    book.revert();
    result.ok = false;
    result.reverted = true;
    result.error = error;
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
