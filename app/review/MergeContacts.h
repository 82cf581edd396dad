#pragma once

#include <vector>

#include "platform/addressbook/ABPerson.h"

// Builds one new person (not added to any store) out of persons to merge, the last of which wins
// where single values differ; every other member's differing text or date value is kept as a line
// "Label: value" of the merged note (the label as the contact card shows it). The members' notes
// come first, each once, joined by line breaks; without notes or lines no note is set. Every list
// entry of every member is carried with its own label; an entry is dropped only when an entry with
// the same label and value is already there. A picture cannot go into a note: the winner's stays.
ABPersonRef mergeContacts(const std::vector<ABPersonRef>& persons);
