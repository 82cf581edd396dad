#pragma once

#include <cstddef>
#include <string>

// A realistic, messy address book of the given number of contacts as vCard 3.0 text, the same for
// the same seed: non-ASCII, one-part, blank and duplicate names, odd titles and suffixes, invalid
// e-mails and phones, values repeated inside a contact and shared among contacts, custom labels in
// item groups, addresses, birthdays, instant messaging, URLs, related names and small photos.
std::string generateAddressBookVCard(std::size_t contacts, unsigned seed = 1);

// The same messy book, but as a real one is: every contact's name is its own, except for
// `duplicateGroups` planted groups of contacts with one name (and organisation), most of two
// members, every eighth of three, spread evenly over the book.
std::string generateAddressBookWithDuplicates(std::size_t contacts, std::size_t duplicateGroups, unsigned seed = 1);
