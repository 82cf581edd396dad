#pragma once

#include <vector>

#include "platform/addressbook/ABPerson.h"

// Builds one new person (not added to any store) out of persons to merge, the last of which wins
// where single values differ. Every list entry of every member is carried with its own label; an
// entry is dropped only when an entry with the same label and value is already there.
ABPersonRef mergeContacts(const std::vector<ABPersonRef>& persons);
