#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"

class ABAddressBook;

// The member of a merge whose values win where single values differ, and whose unique id (with
// its place in the store and its card in a linked address book) the merged contact keeps: the
// last that has a name or an organisation, else the last.
size_t mergeWinner(const std::vector<ABPersonRef>& persons);
// The single values that come from one member as a whole with this one (organisation and
// department); empty for a value that stands alone.
const std::vector<std::string>& mergeSourceGroup(const std::string& property);

// A list value as one line of text (an address's parts joined by ", ").
std::string mergeValueText(const ABMultiValueItem& item);

// A merge as the user steers it: which member each single value comes from, which list values
// stay, which members are left out. planMerge's choices are the automatic merge's.
struct MergePlan {
  std::vector<ABPersonRef> members;  // in store order
  std::vector<bool> included;        // false: "not this one", the member stays as it is
  size_t keeps = 0;                  // the member whose unique id, place and card the result keeps
  struct Single {
    std::string property;
    std::string label;           // as the contact card shows it
    std::optional<size_t> from;  // the member whose value the result takes; nullopt: none
  };
  std::vector<Single> singles;  // every single value some included member holds
  struct ListValue {
    std::string property;
    std::string label;
    std::string text;             // equal values of several members are one
    std::vector<size_t> holders;  // the members that hold it
    bool kept = true;
  };
  std::vector<ListValue> lists;
  // The single values that lost go into the merged note as "Label: value" lines.
  bool othersInNote = true;

  std::vector<ABPersonRef> includedMembers() const;
  std::vector<ABPersonRef> excludedMembers() const;
};

// The automatic merge of the persons (each once), as a plan.
MergePlan planMerge(const std::vector<ABPersonRef>& persons);
// The automatic choices again over the included members.
void resetMergeChoices(MergePlan& plan);
// The result takes the property (and those that belong with it: organisation and department) from
// member (nullopt: no value). False when no row is about the property or the member is left out.
bool takeMergeValue(MergePlan& plan, const std::string& property, std::optional<size_t> member);
// Takes a member out of the merge (or back): the choices are made again over the others, keeping
// those the user made that still stand.
void excludeMergeMember(MergePlan& plan, size_t member, bool excluded);

// The values of the merge, with the unique id of the member it keeps. A single value comes from the
// member chosen; every other included member's differing text or date value is kept as a line
// "Label: value" of the merged note when othersInNote. The members' notes come first, each once;
// without notes or lines no note is set. Every list entry of every included member is carried with
// its own label, less the values not kept; an entry is dropped only when an entry with the same
// label and value is already there. A picture cannot go into a note.
ABPersonData mergedValues(const MergePlan& plan);

// The values of the persons merged automatically, with the unique id of the winner (mergeWinner).
// A single value comes from the winner where it has one, else from the last member that has one;
// organisation and department come from one member together.
ABPersonData mergedValues(const std::vector<ABPersonRef>& persons);

// Applies the plan to the book, pending (the caller saves): the kept member takes the merged
// values, the other included members are removed. False and *error (nothing pending) when a member
// is no longer in the book or the plan merges fewer than two.
// Every group card that listed a member lists the merged contact instead (groupCards: the book's
// group cards found before, for many merges in a row; nullptr: found here). A group card is never
// merged.
bool applyMergePlan(ABAddressBook& book, const MergePlan& plan, std::string* error = nullptr,
                    const std::vector<ABPersonRef>* groupCards = nullptr);

// The same values as a new person (not added to any store, with a new unique id), for a preview.
// Where single values differ the winner's are taken; every other member's differing text or date value is kept as a
// line "Label: value" of the merged note (the label as the contact card shows it). The members' notes come first, each
// once, joined by line breaks; without notes or lines no note is set. Every list entry of every member is carried with
// its own label; an entry is dropped only when an entry with the same label and value is already there. A picture
// cannot go into a note: the winner's stays.
ABPersonRef mergeContacts(const std::vector<ABPersonRef>& persons);

// Saves the plan as one change set: the merge (applyMergePlan, saved), and for every member left
// out a "Not the same person" mark with the merged contact. *changes receives one line per change.
// False and *error when nothing could be saved (nothing is).
bool saveMergePlan(ABAddressBook& book, const MergePlan& plan, std::vector<std::string>* changes,
                   std::string* error = nullptr);
