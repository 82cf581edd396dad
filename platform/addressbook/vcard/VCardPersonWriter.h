#pragma once

#include <string>
#include <string_view>

#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/PersonSlots.h"

// The mapping layer, writing side: one person as a vCard 3.0 card (CRLF lines folded at 75 octets),
// written so that VCardPersonReader reads it back into equal values.
void appendVCard(const ABPersonData& person, std::string& out);
std::string vCardForPerson(const ABPersonData& person);

// The name the card shows (FN): the organisation of a company, else title, first, middle, last
// name and suffix.
std::string vCardDisplayName(const ABPersonData& person);
// What the writer writes for one of its single values ("N", "FN", "ORG", "BDAY", "FLAGS", "UID",
// "NOTE", ...), unfolded, lines joined by '\n'; empty when the person has no value for it.
std::string vCardSlotLines(const ABPersonData& person, std::string_view slot);
// The same into line (emptied first), for callers that reuse one buffer.
void vCardSlotLinesInto(std::string& line, const ABPersonData& person, std::string_view slot);
// The same for values in slots (as the vCard reader maps a card), whose lines are the same.
void vCardSlotLinesInto(std::string& line, const PersonSlots& person, std::string_view slot);
