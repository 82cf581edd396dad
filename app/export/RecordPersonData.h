#pragma once

#include "app/model/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// The values a new person gets from a record: every key that committing an edit can store
// (ContactCommit), mapped to the store's properties the same way and applied in record order,
// but built in one pass rather than one copy-on-write change of a shared person per key. Keys
// that cannot be stored and values of the wrong kind are left out. No unique id is set.
ABPersonData personDataFromRecord(const ContactRecord& record);
