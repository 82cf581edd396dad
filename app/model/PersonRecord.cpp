#include "app/model/PersonRecord.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/model/RecordEntries.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
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

struct BuildPlan {
  std::vector<const RecordKey*> singles;
  std::vector<ListKeys> lists;
  size_t mostKeysPerEntry = 1;
  // The record's number of each key of the table, by its place in the table.
  std::vector<RecordKeyId> ids;
  RecordKeyId person = 0;
  RecordKeyId fullName = 0;

  RecordKeyId idOf(const RecordKey& key) const { return ids[static_cast<size_t>(&key - RecordKeys::all().data())]; }
};

size_t groupOf(const std::string& label) {
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
    return p;
  }();
  return plan;
}

// How many keys the record of data can have at most, so that its storage is allocated once.
size_t keysAtMost(const ABPersonData& data) {
  size_t count = 2;  // "Person" and "FullName"
  for (const auto& [property, value] : data.entries()) {
    const auto* multi = std::get_if<ABMultiValue>(&value);
    if (!multi)
      ++count;
    else
      count += multi->count() * (property == kABAddressProperty ? buildPlan().mostKeysPerEntry : 1);
  }
  return count;
}

// Builds in a record of the calling thread that keeps its room from person to person, then copies
// the result into a record of exactly its size.
ContactRecord build(const ABPersonRef& person, const ABPersonData& data, bool forReview) {
  const BuildPlan& plan = buildPlan();
  thread_local ContactRecord record;
  record.clear();
  record.reserve(keysAtMost(data));
  if (person) record.set(plan.person, person);
  for (const RecordKey* single : plan.singles) {
    if (forReview && single->property == &kABTitleProperty) continue;
    const ABValue* value = data.find(*single->property);
    if (!value) continue;
    if (const auto* text = std::get_if<std::string>(value))
      record.set(plan.idOf(*single), *text);
    else if (const auto* date = std::get_if<ABDate>(value))
      record.set(plan.idOf(*single), *date);
  }
  if (!forReview) {
    const std::string* first = data.string(kABFirstNameProperty);
    const std::string* last = data.string(kABLastNameProperty);
    thread_local std::string fullName;
    fullName.assign(first ? *first : std::string_view("(null)"));
    fullName.append(last ? *last : std::string_view("(null)"));
    record.set(plan.fullName, fullName);
  }
  for (const ListKeys& list : plan.lists) {
    const ABMultiValue* values = data.multiValue(*list.property);
    if (!values) continue;
    for (const auto& entry : values->entries()) {
      const auto& keys = list.grouped ? list.byGroup[groupOf(entry.label)] : list.keys;
      for (const RecordKey* key : keys) {
        if (!RecordEntries::showsKey(*key, entry)) continue;
        record.set(plan.idOf(*key), RecordEntries::shownValue(*key, entry));
        // Only an address gives several keys (one per component); any other entry gives one.
        if (key->family != Family::AddressPart) break;
      }
    }
  }
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

ContactRecord prasePerson(const ABPersonRef& person) {
  return prasePerson(person, *person->snapshot());
}

ContactRecord prasePersonForReview(const ABPersonRef& person) {
  return build(person, *person->snapshot(), true);
}

ContactRecords recordsOfAddressBook(const ABAddressBook& book) {
  auto people = book.people();
  ContactRecords records(people.size());
  // Records are independent of each other: they are built on every core.
  parallelFor(people.size(), 1000, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) records[i] = prasePerson(people[i], *people[i]->snapshot());
  });
  return records;
}

ContactRecords recordsOfValues(const std::vector<ABPersonData>& persons) {
  ContactRecords records(persons.size());
  parallelFor(persons.size(), 1000, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) records[i] = recordOfValues(persons[i]);
  });
  return records;
}
