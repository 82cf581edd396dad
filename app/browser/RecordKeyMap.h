#pragma once

#include <string>
#include <string_view>

#include "platform/addressbook/ABValue.h"

// Where each storable record key lives in the store: the one table that committing an edit and
// building a person from a record both follow. Keys that are not in it ("FullName", "Person")
// cannot be stored.
namespace RecordKeyMap {

enum class Family {
  Single,       // target: the property
  Birthday,     // target: the birthday property
  Labelled,     // target: the list property; label: the entry's label
  Social,       // target: the social service
  AddressPart,  // target: the address key; label: the group's label
  Instant,      // target: the messaging service; label: the group's label
};

struct Mapping {
  Family family;
  const std::string* target;
  const std::string* label = nullptr;
};

// The mapping of a key, or nullptr when the key cannot be stored.
const Mapping* find(std::string_view key);

// Whether an entry with this label belongs to the group that a "Home ", "Work " or "Other " key
// names: home and work entries by their label, the other group every entry of another label.
bool inGroup(const std::string& entryLabel, const std::string* groupLabel);

// The list property that holds a list family's entries; nullptr for single values.
const std::string* listProperty(const Mapping& mapping);

// Whether the contact record takes the key's value from this entry (the last such entry of the
// list wins, as later entries overwrite earlier ones in the record).
bool showsKey(const Mapping& mapping, const ABMultiValue::Entry& entry);

// The value of the key that an entry holds when it shows the key.
const std::string& shownValue(const Mapping& mapping, const ABMultiValue::Entry& entry);

// Whether the key designates the entry: the entries an edit may fill when the record shows no
// value for the key (a home address without a city for "Home City", a Twitter profile under
// another label for "Twitter"). Every entry that shows the key is designated too.
bool designates(const Mapping& mapping, const ABMultiValue::Entry& entry);

}  // namespace RecordKeyMap
