#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"

class ABAddressBook;

// Edits of many contacts at once: one value written to every contact of a selection, or a find and
// replace within one column of it. Each is one change set of the history; every contact is
// checked to show still what the user saw before it is changed.
namespace BulkEdit {

// What the contacts show under a table key: the text all of them show (nullopt inside: none of
// them shows one), or nullopt when they differ (the editor shows "(several values)").
std::optional<std::optional<std::string>> commonValue(const std::vector<ABPersonRef>& persons, const std::string& key);

// One contact's value under the key, as it was shown and as it is to become.
struct Change {
  ABPersonRef person;
  std::optional<std::string> before;  // what the contact showed (nullopt: nothing)
  std::string after;                  // the new text (empty: the value goes)
};

// The changes that writing value under key makes to the persons: those that show it already are
// left out.
std::vector<Change> planValue(const std::vector<ABPersonRef>& persons, const std::string& key,
                              const std::string& value);

// The changes that replacing every occurrence of find (a text, or an ECMAScript regular expression
// with $1... in with) in what the persons show under key makes: those whose value does not change
// are left out. Empty, with *error, when find is empty or not a valid expression.
std::vector<Change> planReplace(const std::vector<ABPersonRef>& persons, const std::string& key,
                                const std::string& find, const std::string& with, bool regex,
                                std::string* error = nullptr);

struct Outcome {
  std::vector<Change> applied;     // saved
  std::vector<std::string> stale;  // one line per contact left alone: it no longer showed `before`
  std::string error;               // the save failed: nothing was changed
  bool ok() const { return error.empty(); }
};

// Applies the changes in one save (one change set named description), each after checking that
// its contact is still in the book and still shows `before`; a contact that does not is left alone
// and told in stale. When the save fails, nothing is changed and the book is read again.
Outcome apply(ABAddressBook& book, const std::string& key, const std::vector<Change>& changes,
              const std::string& description);

// "Set the Nickname of 3 contacts", "Replaced “x” in the Nickname of 3 contacts"
std::string valueDescription(const std::string& key, size_t contacts);
std::string replaceDescription(const std::string& key, const std::string& find, size_t contacts);

}  // namespace BulkEdit
