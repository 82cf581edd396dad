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

// An entry of a list as decoded and as the store encodes it, read alike by the rules below.
struct DecodedEntry {
  const ABMultiValue::Entry& entry;
  std::string_view label() const { return entry.label; }
  bool isText() const { return std::holds_alternative<std::string>(entry.value); }
  std::string_view text() const { return std::get<std::string>(entry.value); }
  // A component of a dictionary entry; none of a text entry.
  std::optional<std::string_view> item(std::string_view key) const {
    const ABDictionary* d = dictionaryOf(entry);
    const std::string* value = d ? d->find(key) : nullptr;
    if (!value) return std::nullopt;
    return *value;
  }
};

struct EncodedEntry {
  const PersonCodec::ListView::Entry& entry;
  std::string_view label() const { return entry.label; }
  bool isText() const { return entry.isText; }
  std::string_view text() const { return entry.text; }
  // As decoding gives it: a key the encoding holds twice has the value written last.
  std::optional<std::string_view> item(std::string_view key) const {
    std::optional<std::string_view> found;
    if (isText()) return found;
    entry.dictionary.forEach([&](std::string_view k, std::string_view value) {
      if (k == key) found = value;
    });
    return found;
  }
};

template <typename Entry>
bool designatesEntry(const RecordKey& key, const Entry& entry) {
  switch (key.family) {
    case Family::Labelled:
      // Only text entries: writing into another kind of value would replace it.
      if (!entry.isText()) return false;
      return key.grouped ? RecordKeys::inGroup(entry.label(), key.label) : entry.label() == *key.label;
    case Family::Social:
      return !entry.isText() && entry.item(kABSocialProfileServiceKey).value_or(std::string_view()) == *key.part;
    case Family::AddressPart:
      return !entry.isText() && RecordKeys::inGroup(entry.label(), key.label);
    case Family::Instant:
      return !entry.isText() && RecordKeys::inGroup(entry.label(), key.label) &&
             entry.item(kABInstantMessageServiceKey).value_or(std::string_view()) == *key.part;
    default:
      return false;
  }
}

// The value of the key the entry shows; nullopt when it shows none.
template <typename Entry>
std::optional<std::string_view> shownIn(const RecordKey& key, const Entry& entry) {
  if (!designatesEntry(key, entry)) return std::nullopt;
  switch (key.family) {
    case Family::Labelled:
      return entry.text();
    case Family::Social:
      if (entry.label() != *key.label) return std::nullopt;
      return entry.item(kABSocialProfileUsernameKey);
    default:
      return entry.item(shownComponent(key));
  }
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
  return designatesEntry(key, DecodedEntry{entry});
}

bool showsKey(const RecordKey& key, const ABMultiValue::Entry& entry) {
  return shownIn(key, DecodedEntry{entry}).has_value();
}

const std::string& shownValue(const RecordKey& key, const ABMultiValue::Entry& entry) {
  if (key.family == Family::Labelled) return std::get<std::string>(entry.value);
  return *dictionaryOf(entry)->find(shownComponent(key));
}

std::optional<std::string_view> shownValue(const RecordKey& key, const PersonCodec::ListView::Entry& entry) {
  return shownIn(key, EncodedEntry{entry});
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
