#include "ABGroups.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_set>

#include "ABAddressBook.h"
#include "ABConstants.h"
#include "PersonCodec.h"

namespace ABGroups {

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::vector<std::string> textsOf(const ABPersonData& data, const std::string& property) {
  std::vector<std::string> out;
  if (const ABMultiValue* values = data.multiValue(property))
    for (const auto& entry : values->entries())
      if (const std::string* text = std::get_if<std::string>(&entry.value); text && !text->empty())
        if (std::find(out.begin(), out.end(), *text) == out.end()) out.push_back(*text);
  return out;
}

std::string who(const ABPerson& person) {
  return ABAddressBook::nameForHistory(person) + " <" + person.uniqueId() + ">";
}

std::string contactsText(std::size_t count, const std::vector<ABPersonRef>& persons) {
  if (count == 1 && persons.size() == 1) return ABAddressBook::nameForHistory(*persons.front());
  return std::to_string(count) + (count == 1 ? " contact" : " contacts");
}

// The group cards of the book of one of several names, in store order.
std::vector<ABPersonRef> cardsNamed(const ABAddressBook& book, const std::vector<std::string>& names) {
  std::vector<ABPersonRef> cards;
  for (const auto& record : book.people()) {
    const ABPersonSnapshot data = record->snapshot();
    if (!isGroupCard(*data)) continue;
    if (std::find(names.begin(), names.end(), groupName(*data)) != names.end()) cards.push_back(record);
  }
  return cards;
}

// Checks the persons for a change of their groups.
bool checkPersons(const ABAddressBook& book, const std::vector<ABPersonRef>& persons, Change& change) {
  if (book.hasUnsavedChanges()) {
    change.error = "the address book has changes not saved yet";
    return false;
  }
  for (const auto& person : persons) {
    if (!person || !book.contains(person)) {
      change.error = (person ? ABAddressBook::nameForHistory(*person) : std::string("a contact")) +
                     " is no longer in the address book";
      return false;
    }
    if (isGroupCard(*person)) {
      change.error = ABAddressBook::nameForHistory(*person) + " is a group, not a contact";
      return false;
    }
  }
  return true;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

void setTexts(ABPerson& person, const std::string& property, const std::vector<ABMultiValue::Entry>& entries) {
  if (entries.empty()) {
    person.removeValueForProperty(property);
    return;
  }
  ABMultiValue list;
  for (const auto& entry : entries) list.addEntry(entry);
  person.setValueForProperty(list, property);
}

std::vector<ABMultiValue::Entry> entriesOf(const ABPerson& person, const std::string& property) {
  auto value = person.multiValueForProperty(property);
  return value ? value->entries() : std::vector<ABMultiValue::Entry>();
}

bool textIs(const ABMultiValue::Entry& entry, std::string_view text) {
  const std::string* value = std::get_if<std::string>(&entry.value);
  return value && *value == text;
}

// Saves what is pending as one change set.
bool saveAll(ABAddressBook& book, const std::string& description, Change& change) {
  book.setNextChangeDescription(description);
  ABSaveResult saved = book.saveChanges();
  if (!saved.ok()) {
    change.error = saved.error.empty() ? std::string("the change could not be saved") : saved.error;
    change.changes.clear();
    change.contacts = 0;
    return false;
  }
  return true;
}

}  // namespace

bool isGroupCard(const ABPersonData& data) {
  const std::string* kind = data.string(kABKindProperty);
  return kind && *kind == kABKindGroup;
}

bool isGroupCardEncoded(std::string_view encoded) {
  bool group = false;
  PersonCodec::readView(encoded, [&](std::string_view property, const PersonCodec::ValueView& value) {
    if (property == kABKindProperty && value.kind == PersonCodec::ValueView::Kind::Text && value.text == kABKindGroup)
      group = true;
  });
  return group;
}

bool isGroupCard(const ABPerson& person) {
  return isGroupCard(*person.snapshot());
}

std::string groupName(const ABPersonData& data) {
  const std::string* name = data.string(kABGroupNameProperty);
  return name ? *name : std::string();
}

std::vector<std::string> categories(const ABPersonData& data) {
  return textsOf(data, kABCategoriesProperty);
}

std::vector<std::string> members(const ABPersonData& data) {
  return textsOf(data, kABGroupMembersProperty);
}

std::vector<ABPersonRef> personsOnly(const std::vector<ABPersonRef>& records) {
  std::vector<ABPersonRef> persons;
  persons.reserve(records.size());
  for (const auto& record : records)
    if (!isGroupCard(*record)) persons.push_back(record);
  return persons;
}

std::string shownName(std::string_view name) {
  return name.empty() ? std::string("(no name)") : std::string(name);
}

Index::Index(const std::vector<ABPersonRef>& records) {
  std::vector<ABPersonSnapshot> data;
  data.reserve(records.size());
  for (const auto& record : records) data.push_back(record->snapshot());
  build(data);
}

Index::Index(const std::vector<ABPersonSnapshot>& records) {
  build(records);
}

void Index::build(const std::vector<ABPersonSnapshot>& records) {
  std::map<std::string, std::size_t> byName;
  auto groupNamed = [&](const std::string& name) -> Group& {
    auto [it, added] = byName.try_emplace(name, groups_.size());
    if (added) groups_.push_back(Group{name, {}, {}, 0});
    return groups_[it->second];
  };
  for (const auto& data : records) {
    if (!isGroupCard(*data)) continue;
    const std::string name = groupName(*data);
    Group& group = groupNamed(name);
    const std::string* uid = data->string(kABUIDProperty);
    group.cards.push_back(uid ? *uid : std::string());
    const auto listed = members(*data);
    if (listed.empty()) ++group.emptyCards;
    for (const auto& member : listed) {
      auto& names = cardsListing_[member];
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  }
  for (const auto& data : records) {
    if (isGroupCard(*data)) continue;
    ++persons_;
    const auto names = groupsOf(*data);
    const std::string* uid = data->string(kABUIDProperty);
    if (names.empty()) withoutGroup_.push_back(uid ? *uid : std::string());
    if (!names.empty() && uid) byPerson_[*uid] = names;
    for (const auto& name : names) groupNamed(name).members.push_back(uid ? *uid : std::string());
  }
  std::vector<Group> sorted = std::move(groups_);
  std::sort(sorted.begin(), sorted.end(), [](const Group& a, const Group& b) {
    const std::string la = lowered(a.name), lb = lowered(b.name);
    return la != lb ? la < lb : a.name < b.name;
  });
  groups_ = std::move(sorted);
}

const Group* Index::find(std::string_view name) const {
  for (const auto& group : groups_)
    if (group.name == name) return &group;
  return nullptr;
}

const std::vector<std::string>& Index::groupsOfUid(const std::string& uid) const {
  static const std::vector<std::string> none;
  auto it = byPerson_.find(uid);
  return it == byPerson_.end() ? none : it->second;
}

std::vector<std::string> Index::groupsOf(const ABPersonData& person) const {
  std::vector<std::string> names = categories(person);
  const std::string* uid = person.string(kABUIDProperty);
  if (uid && !cardsListing_.empty()) {
    auto it = cardsListing_.find(*uid);
    if (it != cardsListing_.end())
      for (const auto& name : it->second)
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

Change addToGroup(ABAddressBook& book, const std::string& givenName, const std::vector<ABPersonRef>& persons) {
  Change change;
  const std::string name = trimmed(givenName);
  if (name.empty()) {
    change.error = "a group needs a name";
    return change;
  }
  if (!checkPersons(book, persons, change)) return change;
  const std::vector<ABPersonRef> cards = cardsNamed(book, {name});
  // The group is kept as categories unless it is only group cards.
  bool asCategory = cards.empty();
  if (!asCategory)
    for (const auto& record : book.people()) {
      const ABPersonSnapshot data = record->snapshot();
      if (!isGroupCard(*data) && !categories(*data).empty()) {
        const auto held = categories(*data);
        if (std::find(held.begin(), held.end(), name) != held.end()) {
          asCategory = true;
          break;
        }
      }
    }
  std::set<const ABPerson*> changedCards;
  std::size_t added = 0;
  std::unordered_set<const ABPerson*> seen;
  for (const auto& person : persons) {
    if (!seen.insert(person.get()).second) continue;
    bool changed = false;
    if (asCategory) {
      auto entries = entriesOf(*person, kABCategoriesProperty);
      if (std::none_of(entries.begin(), entries.end(), [&](const auto& e) { return textIs(e, name); })) {
        entries.push_back({std::string(), name});
        setTexts(*person, kABCategoriesProperty, entries);
        changed = true;
      }
    }
    for (const auto& card : cards) {
      auto entries = entriesOf(*card, kABGroupMembersProperty);
      if (std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return textIs(e, person->uniqueId()); }))
        continue;
      entries.push_back({"urn:uuid:", person->uniqueId()});
      setTexts(*card, kABGroupMembersProperty, entries);
      changedCards.insert(card.get());
      changed = true;
    }
    if (!changed) continue;
    ++added;
    change.changes.push_back("added " + who(*person) + " to " + name);
  }
  change.contacts = added + changedCards.size();
  if (change.contacts == 0) return change;
  saveAll(book, "Added " + contactsText(added, persons) + " to the group " + name, change);
  return change;
}

Change removeFromGroup(ABAddressBook& book, const std::string& name, const std::vector<ABPersonRef>& persons) {
  Change change;
  if (!checkPersons(book, persons, change)) return change;
  const std::vector<ABPersonRef> cards = cardsNamed(book, {name});
  std::set<const ABPerson*> changedCards;
  std::size_t removed = 0;
  std::unordered_set<const ABPerson*> seen;
  for (const auto& person : persons) {
    if (!seen.insert(person.get()).second) continue;
    bool changed = false;
    auto entries = entriesOf(*person, kABCategoriesProperty);
    const auto before = entries.size();
    std::erase_if(entries, [&](const auto& e) { return textIs(e, name); });
    if (entries.size() != before) {
      setTexts(*person, kABCategoriesProperty, entries);
      changed = true;
    }
    for (const auto& card : cards) {
      auto listed = entriesOf(*card, kABGroupMembersProperty);
      const auto count = listed.size();
      std::erase_if(listed, [&](const auto& e) { return textIs(e, person->uniqueId()); });
      if (listed.size() == count) continue;
      setTexts(*card, kABGroupMembersProperty, listed);
      changedCards.insert(card.get());
      changed = true;
    }
    if (!changed) continue;
    ++removed;
    change.changes.push_back("removed " + who(*person) + " from " + name);
  }
  change.contacts = removed + changedCards.size();
  if (change.contacts == 0) return change;
  saveAll(book, "Removed " + contactsText(removed, persons) + " from the group " + name, change);
  return change;
}

Change renameGroups(ABAddressBook& book, const std::vector<std::string>& from, const std::string& givenTo,
                    const std::string& description) {
  Change change;
  const std::string to = trimmed(givenTo);
  if (to.empty()) {
    change.error = "a group needs a name";
    return change;
  }
  if (!checkPersons(book, {}, change)) return change;
  std::vector<std::string> renamed;
  for (const auto& name : from)
    if (name != to && std::find(renamed.begin(), renamed.end(), name) == renamed.end()) renamed.push_back(name);
  if (renamed.empty()) return change;
  auto isRenamed = [&](const ABMultiValue::Entry& entry) {
    const std::string* text = std::get_if<std::string>(&entry.value);
    return text && std::find(renamed.begin(), renamed.end(), *text) != renamed.end();
  };
  for (const auto& record : book.people()) {
    if (isGroupCard(*record)) {
      const std::string name = groupName(*record->snapshot());
      if (std::find(renamed.begin(), renamed.end(), name) == renamed.end()) continue;
      record->setValueForProperty(to, kABGroupNameProperty);
      ++change.contacts;
      change.changes.push_back("renamed the group card " + shownName(name) + " <" + record->uniqueId() + "> to " + to);
      continue;
    }
    auto entries = entriesOf(*record, kABCategoriesProperty);
    if (std::none_of(entries.begin(), entries.end(), isRenamed)) continue;
    // The new name takes the place of the first old one; each name once.
    std::vector<ABMultiValue::Entry> now;
    bool placed = std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return textIs(e, to); });
    for (auto& entry : entries) {
      if (isRenamed(entry)) {
        if (placed) continue;
        entry.value = to;
        placed = true;
      }
      now.push_back(std::move(entry));
    }
    setTexts(*record, kABCategoriesProperty, now);
    ++change.contacts;
    change.changes.push_back("renamed the group of " + who(*record) + " to " + to);
  }
  if (change.contacts == 0) return change;
  std::string what = description;
  if (what.empty()) {
    what = "Renamed the group";
    what += renamed.size() == 1 ? " " + shownName(renamed.front()) : "s";
    what += " to " + to;
  }
  saveAll(book, what, change);
  return change;
}

Change renameGroup(ABAddressBook& book, const std::string& from, const std::string& to) {
  return renameGroups(book, {from}, to);
}

Change deleteGroup(ABAddressBook& book, const std::string& name) {
  Change change;
  if (!checkPersons(book, {}, change)) return change;
  std::size_t persons = 0;
  for (const auto& record : book.people()) {
    if (isGroupCard(*record)) {
      if (groupName(*record->snapshot()) != name) continue;
      std::string error;
      if (!book.removeRecord(record, &error)) {
        book.revert();
        change.error = error;
        change.changes.clear();
        change.contacts = 0;
        return change;
      }
      ++change.contacts;
      change.changes.push_back("deleted the group card " + shownName(name) + " <" + record->uniqueId() + ">");
      continue;
    }
    auto entries = entriesOf(*record, kABCategoriesProperty);
    const auto before = entries.size();
    std::erase_if(entries, [&](const auto& e) { return textIs(e, name); });
    if (entries.size() == before) continue;
    setTexts(*record, kABCategoriesProperty, entries);
    ++change.contacts;
    ++persons;
    change.changes.push_back("removed " + who(*record) + " from " + shownName(name));
  }
  if (change.contacts == 0) return change;
  saveAll(book, "Deleted the group " + shownName(name), change);
  return change;
}

std::vector<ABPersonRef> groupCards(const ABAddressBook& book) {
  std::vector<ABPersonRef> cards;
  for (const auto& record : book.people())
    if (isGroupCard(*record)) cards.push_back(record);
  return cards;
}

bool renameMembers(ABPersonData& card, const std::unordered_map<std::string, std::string>& renamed) {
  const ABMultiValue* listed = renamed.empty() ? nullptr : card.multiValue(kABGroupMembersProperty);
  if (!listed) return false;
  ABMultiValue now;
  bool changed = false;
  for (auto entry : listed->entries()) {
    if (const std::string* uid = std::get_if<std::string>(&entry.value))
      if (auto found = renamed.find(*uid); found != renamed.end()) {
        entry.value = found->second;
        changed = true;
      }
    now.addEntry(std::move(entry));
  }
  if (changed) card.set(kABGroupMembersProperty, std::move(now));
  return changed;
}

std::size_t replaceMembers(ABAddressBook& book, const std::vector<std::string>& removed, const std::string& kept) {
  return replaceMembers(book, groupCards(book), removed, kept);
}

std::size_t replaceMembers(ABAddressBook& book, const std::vector<ABPersonRef>& cards,
                           const std::vector<std::string>& removed, const std::string& kept) {
  std::size_t changed = 0;
  for (const auto& record : cards) {
    const ABPersonSnapshot data = record->snapshot();
    if (!isGroupCard(*data) || !book.contains(record)) continue;
    const ABMultiValue* listed = data->multiValue(kABGroupMembersProperty);
    if (!listed) continue;
    bool touches = false;
    for (const auto& entry : listed->entries())
      for (const auto& uid : removed) touches = touches || textIs(entry, uid);
    if (!touches) continue;
    std::vector<ABMultiValue::Entry> now;
    bool keptThere = false;
    for (auto entry : listed->entries()) {
      const bool isRemoved =
          std::any_of(removed.begin(), removed.end(), [&](const std::string& uid) { return textIs(entry, uid); });
      if (isRemoved) entry.value = kept;
      if (textIs(entry, kept)) {
        if (keptThere) continue;
        keptThere = true;
      }
      now.push_back(std::move(entry));
    }
    setTexts(*record, kABGroupMembersProperty, now);
    ++changed;
  }
  return changed;
}

}  // namespace ABGroups
