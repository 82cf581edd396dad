#pragma once

#include <string>

#include "app/model/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

class ABAddressBook;

struct CommitResult {
  bool ok = false;
  std::string error;      // why nothing changed
  bool reverted = false;  // the store was put back as last saved: its persons were read again
};

// Writes edited record values back into persons: the inverse of the contact record, family by
// family. Every key that maps to a store property is committed; "FullName" and "Person" cannot be.
namespace ContactCommit {

bool isCommittableKey(const std::string& key);

// Sets the value of one record key on the person (nothing is saved). A "Birthday" may be a date or
// a text that reads as one (YYYY-MM-DD); other values are text.
CommitResult applyRecordValue(ABPerson& person, const std::string& key, const RecordValue& value);

// The edit of one table cell: apply it, hand the person to the store and save. When the store
// refuses the person or the save fails, the store is put back as last saved.
CommitResult commitContactsToAddressBookCommitValueWithPerson(const std::string& key, const RecordValue& value,
                                                              const ABPersonRef& person, ABAddressBook& book);

// A new, unsaved person carrying every committable key of the record.
ABPersonRef personFromRecord(const ContactRecord& record);

}  // namespace ContactCommit
