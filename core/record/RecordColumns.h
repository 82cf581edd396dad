#pragma once

#include <string>
#include <vector>

#include "core/record/ContactRecord.h"

// The columns of a table of records, the same for every writer.

// Every key the records hold except "Person", in the order the keys first appear.
std::vector<std::string> recordKeysInOrder(const ContactRecords& records);

// The keys with "First Name" moved to the front and "Last Name" placed second (first when it comes
// before any other key), the rest in their order.
std::vector<std::string> namesFirst(const std::vector<std::string>& keys);

// namesFirst(recordKeysInOrder(records)): the heading of a table showing what the records hold.
std::vector<std::string> recordColumns(const ContactRecords& records);
