#pragma once

#include <string>
#include <string_view>

#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/PersonSlots.h"

// The mapping layer, writing side: one person as a vCard card (CRLF lines folded at 75 octets),
// written so that VCardPersonReader reads it back into equal values. V3: a vCard 3.0 card (files
// hold one version; a card that came in as 4.0 gets 3.0 spellings). AsRead: a card that came in as
// vCard 4.0 goes out as 4.0 with its lines as they came and new values spelled as 4.0 spells them
// (a card back to its source); any other as 3.0.
enum class VCardVersion { V3, AsRead };
void appendVCard(const ABPersonData& person, std::string& out, VCardVersion version = VCardVersion::V3);
std::string vCardForPerson(const ABPersonData& person, VCardVersion version = VCardVersion::V3);

// The start of the PHOTO line the writer writes for a picture ("PHOTO;ENCODING=b;TYPE=JPEG"), and
// what stands for the line in the lines as read: that start and a fingerprint of the picture.
std::string vCardPhotoHead(const ABBytes& photo);
std::string vCardPhotoWritten(const ABBytes& photo);

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

// Where the writer puts a property it writes itself, by the order it writes them in (N first, UID
// last); -1 for any other. A card read in another order keeps its order (lines as read, slot
// "ORDER": the card's property names in the order met), and goes back in it: each line where the
// card had its property, a new one after the line the writer wrote before it.
int vCardWrittenRank(std::string_view property);
