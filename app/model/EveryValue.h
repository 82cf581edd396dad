#pragma once

#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"

// One value of a person as the contact card shows it: what it is ("Home Email", "Phone (Mobile)")
// and its text.
struct ShownValue {
  std::string label;
  std::string text;
  bool operator==(const ShownValue&) const = default;
};

// Every value the person holds, as the contact card shows it: the single values under their record
// keys in the card's order (names, organisation, birthday, ...), then every entry of every list with
// its own label ("E-mail (Home)", "Address (Work)"), one line each, and the note last. Nothing is left
// out: two home e-mail addresses are two values. The picture and the vCard lines kept for writing
// back are named, not shown.
std::vector<ShownValue> everyValueOf(const ABPersonData& data);

// A store label as a user reads it: "_$!<HomeFAX>!$_" -> "Home fax", a custom label as written.
std::string readableLabel(const std::string& label);
// A list entry's value as one line: an address's parts joined by ", ", an account as "user (Service)".
std::string entryText(const std::string& property, const ABMultiValueItem& value);

// What tells the person apart from others of the same name: the first e-mail address, the first
// phone number and the organisation, each where the person has it and it is not the shown name
// itself, joined by ", "; empty when there is none.
std::string distinguishingDetails(const ABPersonData& data);
