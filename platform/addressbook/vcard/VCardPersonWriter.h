#pragma once

#include <string>

#include "platform/addressbook/ABPerson.h"

// The mapping layer, writing side: one person as a vCard 3.0 card (CRLF lines folded at 75 octets),
// written so that VCardPersonReader reads it back into equal values.
void appendVCard(const ABPersonData& person, std::string& out);
std::string vCardForPerson(const ABPersonData& person);
