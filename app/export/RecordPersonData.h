#pragma once

#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// The values a new person gets from a record (the person a vCard export writes): every key of the
// record-key table that can be stored, placed where the table says and written into its list as an
// edit writes it (RecordEntries::setInList), in record order and in one pass. Keys that cannot be
// stored and values of the wrong kind are left out. No unique id is set.
ABPersonData personDataFromRecord(const ContactRecord& record);
