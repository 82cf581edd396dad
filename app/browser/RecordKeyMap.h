#pragma once

#include <string>
#include <string_view>

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

}  // namespace RecordKeyMap
