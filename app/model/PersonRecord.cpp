#include "app/model/PersonRecord.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "app/model/RecordEntries.h"
#include "platform/addressbook/ShownName.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/PersonCodec.h"
#include "platform/threads/ParallelFor.h"

namespace {

using RecordKeys::Family;
using RecordKeys::RecordKey;

// The record-key table arranged for building records: the single values in table order, then
// each list property with its keys, in the order the table first names the property.
struct ListKeys {
  const std::string* property = nullptr;
  bool grouped = false;
  std::vector<const RecordKey*> keys;
  // Of grouped keys: the keys of the home, work and other groups.
  std::array<std::vector<const RecordKey*>, 3> byGroup;
};

// What the record builder reads from a property of the store.
struct PropertyUse {
  std::vector<size_t> singles;  // places in BuildPlan::singles
  const ListKeys* list = nullptr;
  size_t listAt = 0;  // place in BuildPlan::lists
  bool firstName = false, lastName = false;
};

// The properties the builder reads, found by name with a short probe: an open table hashed on a
// name's length and a few of its bytes, kept at most a quarter full.
class PropertyTable {
 public:
  explicit PropertyTable(const std::map<std::string_view, PropertyUse>& uses) {
    size_t places = 16;
    while (places < 4 * uses.size()) places *= 2;
    places_.resize(places);
    for (const auto& [name, use] : uses) {
      size_t at = hash(name);
      while (places_[at].used) at = (at + 1) & (places_.size() - 1);
      places_[at] = {name, true, use};
    }
  }

  const PropertyUse* find(std::string_view name) const {
    for (size_t at = hash(name);; at = (at + 1) & (places_.size() - 1)) {
      const Place& place = places_[at];
      if (!place.used) return nullptr;
      if (place.name == name) return &place.use;
    }
  }

 private:
  struct Place {
    std::string_view name;
    bool used = false;
    PropertyUse use;
  };

  size_t hash(std::string_view name) const {
    if (name.empty()) return 0;
    const auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(name[i])); };
    return (name.size() * 31 + byte(0) * 7 + byte(name.size() / 2) * 131 + byte(name.size() - 1) * 1031) &
           (places_.size() - 1);
  }

  std::vector<Place> places_;
};

struct BuildPlan {
  std::vector<const RecordKey*> singles;
  std::vector<ListKeys> lists;
  // Every property the builder reads, by name: a person's values are placed with one pass.
  PropertyTable byProperty{{}};
  size_t mostKeysPerEntry = 1;
  // The record's number of each key of the table, by its place in the table.
  std::vector<RecordKeyId> ids;
  RecordKeyId person = 0;
  RecordKeyId fullName = 0;

  RecordKeyId idOf(const RecordKey& key) const { return ids[static_cast<size_t>(&key - RecordKeys::all().data())]; }
};

size_t groupOf(std::string_view label) {
  if (label == kABHomeLabel) return 0;
  if (label == kABWorkLabel) return 1;
  return 2;
}

const BuildPlan& buildPlan() {
  static const BuildPlan plan = [] {
    BuildPlan p;
    for (const RecordKey& row : RecordKeys::all()) p.ids.push_back(ContactRecord::keyId(row.key));
    p.person = ContactRecord::keyId("Person");
    p.fullName = ContactRecord::keyId("FullName");
    for (const RecordKey& row : RecordKeys::all()) {
      if (row.family == Family::Single || row.family == Family::Birthday) {
        p.singles.push_back(&row);
        continue;
      }
      if (row.family == Family::FullName) continue;
      auto list =
          std::find_if(p.lists.begin(), p.lists.end(), [&](const ListKeys& l) { return l.property == row.property; });
      if (list == p.lists.end()) {
        p.lists.emplace_back();
        p.lists.back().property = row.property;
        list = p.lists.end() - 1;
      }
      list->keys.push_back(&row);
      if (row.grouped) {
        list->grouped = true;
        list->byGroup[groupOf(*row.label)].push_back(&row);
      }
    }
    for (const ListKeys& list : p.lists)
      for (const auto& group : list.byGroup) p.mostKeysPerEntry = std::max(p.mostKeysPerEntry, group.size());
    std::map<std::string_view, PropertyUse> uses;
    for (size_t i = 0; i < p.singles.size(); ++i) uses[*p.singles[i]->property].singles.push_back(i);
    for (size_t i = 0; i < p.lists.size(); ++i) {
      PropertyUse& use = uses[*p.lists[i].property];
      use.list = &p.lists[i];
      use.listAt = i;
    }
    uses[kABFirstNameProperty].firstName = true;
    uses[kABLastNameProperty].lastName = true;
    p.byProperty = PropertyTable(uses);
    return p;
  }();
  return plan;
}

// A single value as the builder reads it: text or a date; any other kind is not shown.
struct SingleValue {
  enum class Kind { None, Text, Date };
  Kind kind = Kind::None;
  std::string_view text;
  ABDate date;
};

// What one pass over a person's values finds for the builder: each value the builder reads, in
// its place, and how many keys the record can have at most, so that its storage is allocated once.
// List is the form of a list value (decoded, or as the store encodes it).
template <typename List>
struct PlacedValues {
  std::vector<SingleValue> singles;  // by place in BuildPlan::singles
  std::vector<List> lists;           // by place in BuildPlan::lists
  std::vector<bool> listPresent;
  std::optional<std::string_view> first, last;
  size_t keysAtMost = 2;  // "Person" and "FullName"

  void reset(const BuildPlan& plan) {
    singles.assign(plan.singles.size(), SingleValue());
    lists.assign(plan.lists.size(), List());
    listPresent.assign(plan.lists.size(), false);
    first.reset();
    last.reset();
    keysAtMost = 2;
  }
  // Places a property's value. A property met again replaces what it placed before, as the
  // decoded person holds the last value of a property.
  void place(const BuildPlan& plan, std::string_view property, const SingleValue& single, const List* list,
             size_t listCount) {
    keysAtMost += list ? listCount * (property == kABAddressProperty ? plan.mostKeysPerEntry : 1) : 1;
    const PropertyUse* use = plan.byProperty.find(property);
    if (!use) return;
    for (const size_t at : use->singles) singles[at] = single;
    if (use->list) {
      listPresent[use->listAt] = list != nullptr;
      if (list) lists[use->listAt] = *list;
    }
    const bool text = single.kind == SingleValue::Kind::Text;
    if (use->firstName) first = text ? std::optional(single.text) : std::nullopt;
    if (use->lastName) last = text ? std::optional(single.text) : std::nullopt;
  }
};

// The value a list entry shows under a key of its list; nullopt when it shows none.
std::optional<std::string_view> shownOf(const RecordKey& key, const ABMultiValue::Entry& entry) {
  if (!RecordEntries::showsKey(key, entry)) return std::nullopt;
  return RecordEntries::shownValue(key, entry);
}

std::optional<std::string_view> shownOf(const RecordKey& key, const PersonCodec::ListView::Entry& entry) {
  return RecordEntries::shownValue(key, entry);
}

const auto& entriesOf(const ABMultiValue* list) {
  return list->entries();
}

const PersonCodec::ListView& entriesOf(const PersonCodec::ListView& list) {
  return list;
}

// Sets the record's keys from the placed values, in the order of the record-key table. The record
// keeps its room.
template <typename List>
void fill(ContactRecord& record, const ABPersonRef& person, const PlacedValues<List>& placed, bool forReview) {
  const BuildPlan& plan = buildPlan();
  record.clear();
  record.reserve(placed.keysAtMost);
  if (person) record.set(plan.person, person);
  for (size_t at = 0; at < plan.singles.size(); ++at) {
    const SingleValue& value = placed.singles[at];
    if (value.kind == SingleValue::Kind::None) continue;
    const RecordKey* single = plan.singles[at];
    if (forReview && single->property == &kABTitleProperty) continue;
    if (value.kind == SingleValue::Kind::Text)
      record.set(plan.idOf(*single), value.text);
    else
      record.set(plan.idOf(*single), value.date);
  }
  if (!forReview) {
    // First and last name joined; where a part is missing, the name the window shows ("(null)"
    // is never shown).
    thread_local std::string fullName;
    if (placed.first && placed.last && !placed.first->empty() && !placed.last->empty()) {
      fullName.assign(*placed.first);
      fullName.append(*placed.last);
    } else {
      std::optional<std::string_view> organisation;
      for (size_t at = 0; at < plan.singles.size(); ++at)
        if (plan.singles[at]->property == &kABOrganizationProperty &&
            placed.singles[at].kind == SingleValue::Kind::Text)
          organisation = placed.singles[at].text;
      fullName = shownName(placed.first, placed.last, organisation);
    }
    record.set(plan.fullName, fullName);
  }
  for (size_t at = 0; at < plan.lists.size(); ++at) {
    if (!placed.listPresent[at]) continue;
    const ListKeys& list = plan.lists[at];
    for (const auto& entry : entriesOf(placed.lists[at])) {
      const auto& keys = list.grouped ? list.byGroup[groupOf(entry.label)] : list.keys;
      for (const RecordKey* key : keys) {
        const std::optional<std::string_view> shown = shownOf(*key, entry);
        if (!shown) continue;
        record.set(plan.idOf(*key), *shown);
        // Only an address gives several keys (one per component); any other entry gives one.
        if (key->family != Family::AddressPart) break;
      }
    }
  }
}

// Builds into record, whose room is kept.
void buildInto(ContactRecord& record, const ABPersonRef& person, const ABPersonData& data, bool forReview) {
  const BuildPlan& plan = buildPlan();
  thread_local PlacedValues<const ABMultiValue*> placed;
  placed.reset(plan);
  for (const auto& [property, value] : data.entries()) {
    SingleValue single;
    if (const auto* text = std::get_if<std::string>(&value))
      single = {SingleValue::Kind::Text, *text, {}};
    else if (const auto* date = std::get_if<ABDate>(&value))
      single = {SingleValue::Kind::Date, {}, *date};
    const auto* multi = std::get_if<ABMultiValue>(&value);
    placed.place(plan, property, single, multi ? &multi : nullptr, multi ? multi->count() : 0);
  }
  fill(record, person, placed, forReview);
}

// The same from a person's values as the store encodes them, read in place; false when the bytes
// are not a well-formed encoding.
bool buildFromEncodedInto(ContactRecord& record, std::string_view encoded, bool* groupCard) {
  const BuildPlan& plan = buildPlan();
  thread_local PlacedValues<PersonCodec::ListView> placed;
  placed.reset(plan);
  if (groupCard) *groupCard = false;
  const bool wellFormed =
      PersonCodec::readView(encoded, [&](std::string_view property, const PersonCodec::ValueView& value) {
        if (groupCard && property == kABKindProperty && value.kind == PersonCodec::ValueView::Kind::Text &&
            value.text == kABKindGroup)
          *groupCard = true;
        SingleValue single;
        if (value.kind == PersonCodec::ValueView::Kind::Text)
          single = {SingleValue::Kind::Text, value.text, {}};
        else if (value.kind == PersonCodec::ValueView::Kind::Date)
          single = {SingleValue::Kind::Date, {}, value.date};
        const bool list = value.kind == PersonCodec::ValueView::Kind::List;
        placed.place(plan, property, single, list ? &value.list : nullptr, list ? value.list.count() : 0);
      });
  if (!wellFormed) {
    record.clear();
    return false;
  }
  fill(record, nullptr, placed, false);
  return true;
}

// Builds in a record of the calling thread that keeps its room from person to person, then copies
// the result into a record of exactly its size.
ContactRecord build(const ABPersonRef& person, const ABPersonData& data, bool forReview) {
  thread_local ContactRecord record;
  buildInto(record, person, data, forReview);
  ContactRecord built(record);
  record.clear();  // lets go of the person
  return built;
}

}  // namespace

ContactRecord prasePerson(const ABPersonRef& person, const ABPersonData& data) {
  return build(person, data, false);
}

ContactRecord recordOfValues(const ABPersonData& data) {
  return build(nullptr, data, false);
}

void recordOfValuesInto(ContactRecord& record, const ABPersonData& data) {
  buildInto(record, nullptr, data, false);
}

bool recordOfEncodedInto(ContactRecord& record, std::string_view encoded, bool* groupCard) {
  return buildFromEncodedInto(record, encoded, groupCard);
}

ContactRecord prasePerson(const ABPersonRef& person) {
  return prasePerson(person, *person->snapshot());
}

ContactRecord prasePersonForReview(const ABPersonRef& person) {
  return build(person, *person->snapshot(), true);
}

std::string groupsColumnText(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

ContactRecords recordsOfAddressBook(const ABAddressBook& book) {
  std::vector<ABPersonSnapshot> all;
  std::vector<ABPersonRef> people;
  for (const auto& person : book.people()) {
    ABPersonSnapshot data = person->snapshot();
    if (ABGroups::isGroupCard(*data)) {
      all.push_back(std::move(data));
      continue;
    }
    people.push_back(person);
    all.push_back(std::move(data));
  }
  const ABGroups::Index groups(all);
  ContactRecords records(people.size());
  // Records are independent of each other: they are built on every core.
  const RecordKeyId groupsKey = ContactRecord::keyId(kGroupsColumn);
  parallelFor(people.size(), 1000, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const ABPersonSnapshot data = people[i]->snapshot();
      records[i] = prasePerson(people[i], *data);
      const std::string text = groupsColumnText(groups.groupsOf(*data));
      if (!text.empty()) records[i].set(groupsKey, RecordValue(std::string_view(text)));
    }
  });
  return records;
}

bool recordsOfStored(const ABStoredBatch& batch, ContactRecords& records, size_t* damaged,
                     std::vector<std::string_view>* uids) {
  const size_t first = records.size();
  records.resize(first + batch.size());
  std::vector<char> groupCards(batch.size(), 0);
  std::mutex damageLock;
  size_t firstDamaged = SIZE_MAX;
  parallelFor(batch.size(), 1000, [&](size_t begin, size_t end) {
    thread_local ContactRecord built;
    for (size_t i = begin; i < end; ++i) {
      bool group = false;
      if (!recordOfEncodedInto(built, batch.data(i), &group)) {
        std::lock_guard lock(damageLock);
        firstDamaged = std::min(firstDamaged, i);
        return;
      }
      groupCards[i] = group;
      if (!group) records[first + i] = built;  // a copy of exactly its size
    }
    built.clear();
  });
  if (firstDamaged != SIZE_MAX) {
    records.resize(first);
    if (damaged) *damaged = firstDamaged;
    return false;
  }
  // Group cards are no persons: they have no record.
  size_t kept = first;
  for (size_t i = 0; i < batch.size(); ++i) {
    if (groupCards[i]) continue;
    if (kept != first + i) records[kept] = std::move(records[first + i]);
    ++kept;
    if (uids) uids->push_back(batch.uid(i));
  }
  records.resize(kept);
  return true;
}

ContactRecords recordsOfValues(const std::vector<ABPersonData>& persons) {
  ContactRecords records(persons.size());
  parallelFor(persons.size(), 1000, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) records[i] = recordOfValues(persons[i]);
  });
  return records;
}
