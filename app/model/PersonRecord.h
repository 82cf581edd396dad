#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

class ABAddressBook;
class ABStoredBatch;

// The contact record of a person: every value under its column name, keys in the order the
// building steps set them, "Person" first and "FullName" always present.
ContactRecord prasePerson(const ABPersonRef& person);
// The same from a snapshot of the person's values.
ContactRecord prasePerson(const ABPersonRef& person, const ABPersonData& data);
// The record of a person's values alone, without the reference to the person ("Person"): for an
// export that keeps no persons.
ContactRecord recordOfValues(const ABPersonData& data);
// The same built into record, which keeps its room: for a caller that builds one record after
// another and lets each go before the next.
void recordOfValuesInto(ContactRecord& record, const ABPersonData& data);
// The same from a person's values as the store encodes them (PersonCodec), read in place without
// decoding the person: the same keys in the same order with the same text. False, and the record
// left empty, when the bytes are not a well-formed encoding (a damaged row).
// *groupCard, when given, says whether the encoding is a group card's (no person's).
bool recordOfEncodedInto(ContactRecord& record, std::string_view encoded, bool* groupCard = nullptr);
// The same for many persons, built on every core, in their order.
ContactRecords recordsOfValues(const std::vector<ABPersonData>& persons);
// The records of a batch of stored persons appended to records in their order, each built on
// every core straight from its stored encoding. False, with nothing appended, when a person's row
// is damaged: *damaged is the place in the batch of the first damaged one.
// Group cards have no record; uids, when given, receives each record's unique id (views of the
// batch).
bool recordsOfStored(const ABStoredBatch& batch, ContactRecords& records, size_t* damaged,
                     std::vector<std::string_view>* uids = nullptr);
// The review screen's record: the same without "FullName" and "Preffix".
ContactRecord prasePersonForReview(const ABPersonRef& person);

// Every person of the store as a record, in store order, with the groups column (group cards are
// no persons: they have no record).
ContactRecords recordsOfAddressBook(const ABAddressBook& book);

// The column of the groups a person is in: its categories, then the group cards listing it
// (ABGroups::Index::groupsOf), the names joined by ", ". Not a value of the store's own: it is set
// where the groups of the whole book are known (the table, an export that asks for it).
inline const std::string kGroupsColumn = "Groups";
std::string groupsColumnText(const std::vector<std::string>& names);
