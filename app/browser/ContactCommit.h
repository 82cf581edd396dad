#pragma once

#include <optional>
#include <string>

#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

class ABAddressBook;

struct CommitResult {
  std::string error;      // one line saying why nothing changed; empty when the value was taken
  bool reverted = false;  // the store was put back as last saved: its persons were read again
  bool stale = false;     // the person is not as shown, or no longer in the store: nothing was done
  bool changed = false;   // the person was changed (false: the value was already there)
  bool conflict = false;  // another program changed or removed the person: error names it

  bool ok() const { return error.empty(); }
};

// Writes edited record values back into persons: the inverse of the contact record, family by
// family. Every key that maps to a store property is committed; "FullName" and "Person" cannot be.
namespace ContactCommit {

bool isCommittableKey(const std::string& key);

// Whether values of the key are text of several lines by nature: the note and the streets.
bool isMultiLineKey(const std::string& key);

// The text the person's contact record shows under the key (a birthday as YYYY-MM-DD), nullopt
// when it shows none.
std::optional<std::string> shownText(const ABPerson& person, const std::string& key);

// Sets the value of one record key on the person (nothing is saved), as the edit of a cell that
// shows the key: of a list (e-mail addresses, phones, addresses, ...) it changes at most one entry,
// the one whose value the record shows; when the record shows none, the one entry the key
// designates, or else a new one appended. A value equal to the one shown changes nothing. A
// "Birthday" may be a date or a text that reads as one (YYYY-MM-DD); other values are text.
CommitResult applyRecordValue(ABPerson& person, const std::string& key, const RecordValue& value);

// Hands the person to the store and saves. When the store refuses the person or the save fails,
// the store is put back as last saved. Every edit of a person is saved through here.
// The save is recorded in the store's history under description (a line a user understands).
CommitResult savePerson(const ABPersonRef& person, ABAddressBook& book, const std::string& description);

// The edit of one table cell: apply it, then save the person (nothing is saved when the value was
// already there). shownBefore, when given, is what the cell showed (nullopt: nothing); when the
// person no longer shows that, the edit is refused and nothing changes. An edit of a person the
// store no longer holds is refused too.
CommitResult commitContactsToAddressBookCommitValueWithPerson(const std::string& key, const RecordValue& value,
                                                              const ABPersonRef& person, ABAddressBook& book,
                                                              const std::optional<std::string>* shownBefore = nullptr);

}  // namespace ContactCommit
