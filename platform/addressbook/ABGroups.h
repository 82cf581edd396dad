#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ABPerson.h"

class ABAddressBook;

// Groups of contacts, in the two forms address books keep them: a person's categories (names of
// the groups it is in, kABCategoriesProperty) and group cards (records of kind kABKindGroup, with a
// name and their members' unique ids). A group is a name; a person is in it when one of its
// categories is that name or a group card of that name lists it. Group cards are no persons:
// whatever lists, scans, merges or exports persons leaves them out (isGroupCard).
namespace ABGroups {

bool isGroupCard(const ABPersonData& data);
bool isGroupCard(const ABPerson& person);
// The same for a person's values as the store encodes them (PersonCodec), read in place.
bool isGroupCardEncoded(std::string_view encoded);
// The name of a group card.
std::string groupName(const ABPersonData& data);
// A person's categories, in order, each once.
std::vector<std::string> categories(const ABPersonData& data);
// The members of a group card as written: unique ids (and values that name none, "mailto:...").
std::vector<std::string> members(const ABPersonData& data);

// Only the persons of a list that are no group cards, in order.
std::vector<ABPersonRef> personsOnly(const std::vector<ABPersonRef>& records);

// One group of a book.
struct Group {
  std::string name;
  std::vector<std::string> cards;    // unique ids of the group cards of this name
  std::vector<std::string> members;  // unique ids of the persons in it, in store order
  std::size_t emptyCards = 0;        // cards of this name without any member
};

// The groups of a set of records (a book's people), found once: what the table's column, the groups
// list and the commands read.
class Index {
 public:
  Index() = default;
  explicit Index(const std::vector<ABPersonRef>& records);
  explicit Index(const std::vector<ABPersonSnapshot>& records);

  // Every group, by name (in the order of a case-insensitive comparison, then as written).
  const std::vector<Group>& groups() const { return groups_; }
  const Group* find(std::string_view name) const;
  // The groups a person is in: its categories, then the names of the group cards listing it, each
  // name once.
  std::vector<std::string> groupsOf(const ABPersonData& person) const;
  // The same by the person's unique id (empty for a person in no group).
  const std::vector<std::string>& groupsOfUid(const std::string& uid) const;
  // How many persons are in no group, and their unique ids in store order.
  std::size_t withoutGroup() const { return withoutGroup_.size(); }
  const std::vector<std::string>& notInAnyGroup() const { return withoutGroup_; }
  std::size_t persons() const { return persons_; }

 private:
  void build(const std::vector<ABPersonSnapshot>& records);
  std::vector<Group> groups_;
  std::unordered_map<std::string, std::vector<std::string>> cardsListing_;  // person uid -> card names
  std::unordered_map<std::string, std::vector<std::string>> byPerson_;      // person uid -> its groups
  std::vector<std::string> withoutGroup_;
  std::size_t persons_ = 0;
};

// What a change of groups did: one change set of the store, with one line per contact it changed.
struct Change {
  std::vector<std::string> changes;  // "added Ann Lee <uid> to Family"
  std::size_t contacts = 0;          // persons and group cards changed
  std::string error;
  bool ok() const { return error.empty(); }
};

// Each change below is saved as one change set (undone and redone whole) of the book, and applies
// to categories and group cards alike. Persons are the book's own (group cards among them are
// refused). Nothing is written when the change finds nothing to do (contacts is 0) or fails.
// Puts the persons into the group: into every group card of that name, and as a category when the
// group is one of categories or new.
Change addToGroup(ABAddressBook& book, const std::string& name, const std::vector<ABPersonRef>& persons);
// Takes the persons out of the group: the category, and out of every group card of that name.
Change removeFromGroup(ABAddressBook& book, const std::string& name, const std::vector<ABPersonRef>& persons);
// Renames the group (categories and group cards); a group of the new name already there takes the
// members in.
Change renameGroup(ABAddressBook& book, const std::string& from, const std::string& to);
// Renames several groups to one name (each category and card of any of them), as one change set.
Change renameGroups(ABAddressBook& book, const std::vector<std::string>& from, const std::string& to,
                    const std::string& description = {});
// Deletes the group: its group cards go to the trash, its category leaves every person; the persons
// stay.
Change deleteGroup(ABAddressBook& book, const std::string& name);

// For a merge (pending, the caller saves): every group card that lists one of the removed persons
// lists the kept one instead, once. Returns how many cards changed.
std::size_t replaceMembers(ABAddressBook& book, const std::vector<std::string>& removed, const std::string& kept);
// The same over group cards found before (groupCards), for many merges in a row.
std::size_t replaceMembers(ABAddressBook& book, const std::vector<ABPersonRef>& cards,
                           const std::vector<std::string>& removed, const std::string& kept);
// For an import, before its cards are stored: a group card lists the persons of the import that
// were given a new unique id (their own was the book's already) by their new id. renamed maps an
// id as the file wrote it to the one the person was stored with. Returns whether the card changed.
bool renameMembers(ABPersonData& card, const std::unordered_map<std::string, std::string>& renamed);

// The book's group cards, in store order.
std::vector<ABPersonRef> groupCards(const ABAddressBook& book);

// How a group is named in messages: Family, or "(no name)".
std::string shownName(std::string_view name);

}  // namespace ABGroups
