#pragma once

#include <string>
#include <string_view>
#include <vector>

// The one table of contact-record keys: where each key's value lives in the store. The record
// builder, the commit of an edit, the person rebuilt from a record (vCard export) and the heading
// lists of an export with all information are all read off it.
namespace RecordKeys {

enum class Family {
  Single,       // property: the text property
  Birthday,     // property: the birthday (a date)
  Labelled,     // property: the list; label: its entries' label (grouped: the group's)
  Social,       // property: the profile list; part: the service; read under the home label only
  AddressPart,  // property: the address list; label: the group's; part: the address component
  Instant,      // property: the account list; label: the group's; part: the messaging service
  FullName,     // made of the first and last name; not stored
};

struct RecordKey {
  std::string key;  // "Home City"
  Family family;
  const std::string* property;
  // The label of the key's entries; for a grouped key the label of its group, where "Home " and
  // "Work " keys take the entries of the home and work labels and "Other " keys every other one.
  const std::string* label = nullptr;
  const std::string* part = nullptr;
  bool grouped = false;
  // Where the key stands in the all-information heading list: sections in ascending order, keys of
  // one section in table order; 0: not listed.
  int allInfoSection = 0;
};

// Every key but "Person", in the order in which the record builder sets them: the single values,
// "FullName", then the lists in the order e-mail, web addresses, phones, addresses, related names,
// social profiles, instant messaging.
const std::vector<RecordKey>& all();

// The key's row, or nullptr when no record holds the key.
const RecordKey* find(std::string_view key);

// Whether a value of the key can be stored (every key but "FullName").
bool isStored(const RecordKey& key);

// Whether an entry of this label is in the group that a grouped key's label names.
bool inGroup(std::string_view entryLabel, const std::string* groupLabel);

// The keys of the all-information heading list, in its order (90 headings).
std::vector<std::string> allInfoKeys();

}  // namespace RecordKeys
