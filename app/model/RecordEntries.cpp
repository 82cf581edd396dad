#include "app/model/RecordEntries.h"

#include "platform/addressbook/ABConstants.h"

namespace RecordEntries {

namespace {

using RecordKeys::Family;

const ABDictionary* dictionaryOf(const ABMultiValue::Entry& entry) {
  return std::get_if<ABDictionary>(&entry.value);
}

// The dictionary key that holds what the record shows of a dictionary entry.
const std::string& shownComponent(const RecordKey& key) {
  if (key.family == Family::AddressPart) return *key.part;
  if (key.family == Family::Social) return kABSocialProfileUsernameKey;
  return kABInstantMessageUsernameKey;
}

const std::string& serviceComponent(const RecordKey& key) {
  return key.family == Family::Social ? kABSocialProfileServiceKey : kABInstantMessageServiceKey;
}

// The one entry an edit writes into, or nullopt when a new one is to be appended.
std::optional<size_t> entryToWrite(const RecordKey& key, const ABMultiValue& list) {
  if (auto shown = shownEntry(key, list)) return shown;
  std::optional<size_t> designated;
  for (size_t i = 0; i < list.count(); ++i) {
    if (!designates(key, list.entries()[i])) continue;
    if (designated) return std::nullopt;  // several: none of them is the one
    designated = i;
  }
  return designated;
}

}  // namespace

bool designates(const RecordKey& key, const ABMultiValue::Entry& entry) {
  switch (key.family) {
    case Family::Labelled:
      // Only text entries: writing into another kind of value would replace it.
      if (!std::holds_alternative<std::string>(entry.value)) return false;
      return key.grouped ? RecordKeys::inGroup(entry.label, key.label) : entry.label == *key.label;
    case Family::Social: {
      const ABDictionary* d = dictionaryOf(entry);
      return d && d->valueOr(kABSocialProfileServiceKey) == *key.part;
    }
    case Family::AddressPart:
      return dictionaryOf(entry) && RecordKeys::inGroup(entry.label, key.label);
    case Family::Instant: {
      const ABDictionary* d = dictionaryOf(entry);
      return d && RecordKeys::inGroup(entry.label, key.label) && d->valueOr(kABInstantMessageServiceKey) == *key.part;
    }
    default:
      return false;
  }
}

bool showsKey(const RecordKey& key, const ABMultiValue::Entry& entry) {
  if (!designates(key, entry)) return false;
  switch (key.family) {
    case Family::Labelled:
      return true;
    case Family::Social:
      return entry.label == *key.label && dictionaryOf(entry)->contains(kABSocialProfileUsernameKey);
    default:
      return dictionaryOf(entry)->contains(shownComponent(key));
  }
}

const std::string& shownValue(const RecordKey& key, const ABMultiValue::Entry& entry) {
  if (key.family == Family::Labelled) return std::get<std::string>(entry.value);
  return *dictionaryOf(entry)->find(shownComponent(key));
}

std::optional<size_t> shownEntry(const RecordKey& key, const ABMultiValue& list) {
  std::optional<size_t> shown;
  for (size_t i = 0; i < list.count(); ++i)
    if (showsKey(key, list.entries()[i])) shown = i;
  return shown;
}

void setInList(const RecordKey& key, ABMultiValue& list, const std::string& text) {
  if (auto at = entryToWrite(key, list)) {
    if (key.family == Family::Labelled) {
      list.replaceValueAtIndex(*at, text);
      return;
    }
    ABDictionary dictionary = *dictionaryOf(list.entries()[*at]);
    dictionary.set(shownComponent(key), text);
    list.replaceValueAtIndex(*at, std::move(dictionary));
    if (key.family == Family::Social) list.replaceLabelAtIndex(*at, *key.label);
    return;
  }
  switch (key.family) {
    case Family::AddressPart:
      list.addValueWithLabel(ABDictionary{{*key.part, text}}, *key.label);
      break;
    case Family::Instant:
      list.addValueWithLabel(
          ABDictionary{{kABInstantMessageServiceKey, *key.part}, {kABInstantMessageUsernameKey, text}}, *key.label);
      break;
    case Family::Social:
      list.addValueWithLabel(ABDictionary{{kABSocialProfileUsernameKey, text}, {kABSocialProfileServiceKey, *key.part}},
                             *key.label);
      break;
    default:
      list.addValueWithLabel(text, *key.label);
      break;
  }
}

bool removeFromList(const RecordKey& key, ABMultiValue& list) {
  auto at = shownEntry(key, list);
  if (!at) return false;
  if (key.family == Family::Labelled) {
    list.removeValueAtIndex(*at);
    return true;
  }
  ABDictionary dictionary = *dictionaryOf(list.entries()[*at]);
  dictionary.remove(shownComponent(key));
  if (key.family != Family::AddressPart && dictionary.size() == 1 && dictionary.contains(serviceComponent(key)))
    dictionary = ABDictionary();
  if (dictionary.empty())
    list.removeValueAtIndex(*at);
  else
    list.replaceValueAtIndex(*at, std::move(dictionary));
  return true;
}

}  // namespace RecordEntries
