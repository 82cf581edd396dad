#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/addressbook/ABDate.h"
#include "platform/addressbook/vcard/VCardLine.h"

// How store labels and services are spelled in vCard, after the common exporters:
// - a label that a TYPE can say is written as TYPE (EMAIL/TEL/ADR/URL/IMPP: HOME, WORK, CELL, ...);
//   any other label goes into an item group with X-ABLabel holding the label exactly;
// - related names are X-ABRELATEDNAMES in an item group with X-ABLabel (also read: vCard 4.0
//   RELATED;TYPE=..., X-MS-MANAGER/X-MS-ASSISTANT, X-EVOLUTION-SPOUSE/MANAGER/ASSISTANT);
// - instant messaging is IMPP;X-SERVICE-TYPE=<service>:<scheme>:<user> (also read: X-AIM, X-JABBER,
//   X-MSN, X-ICQ, X-YAHOO, X-SKYPE, X-QQ, X-GOOGLE-TALK, X-GADUGADU, ...);
// - social profiles are X-SOCIALPROFILE;TYPE=<service>;X-USER=<user>:<url>;
// - the country code of an address is X-ABADR in the address's item group;
// - a birthday without a year ("--MMDD", "--MM-DD") is kept in the year 1604, and a birthday of
//   that year is written with X-APPLE-OMIT-YEAR=1604, which tells the common exporters that the
//   year is not known;
// - a person shown as a company is X-ABShowAs:COMPANY (also read: vCard 4.0 KIND:org); person flags other than that are
// kept in
//   X-ABPERSONFLAGS so that they survive a round trip.

inline constexpr std::string_view kPersonFlagsVCardProperty = "X-ABPERSONFLAGS";
inline constexpr int kBirthdayYearNotKnown = 1604;

// The date of a BDAY value (with or without a year), or nullopt.
std::optional<ABDate> birthdayForValue(std::string_view value);

const std::string& emailLabelForTypes(const VCardCard& card, const VCardLine& line);
const std::string& phoneLabelForTypes(const VCardCard& card, const VCardLine& line);
const std::string& addressLabelForTypes(const VCardCard& card, const VCardLine& line);
const std::string& urlLabelForTypes(const VCardCard& card, const VCardLine& line);
const std::string& relatedLabelForTypes(const VCardCard& card, const VCardLine& line);
const std::string& genericLabelForTypes(const VCardCard& card, const VCardLine& line);
// The related-name label of a one-relation property (X-MS-MANAGER, ...), or nullptr.
const std::string* relatedLabelForProperty(std::string_view property);

// How the writer writes an entry of a label: in an item group with X-ABLabel, or not, and the TYPE
// values it gives ("INTERNET,HOME", "CELL", "" for none).
struct VCardEntryForm {
  bool grouped = false;
  std::string_view types;  // a constant
};
VCardEntryForm entryFormForLabel(std::string_view property, const std::string& label, bool forceGroup = false);
// The TYPE value of vCard 4.0 RELATED that says a related-name label ("spouse"), or empty.
std::string_view relatedTypeForLabel(const std::string& label);
// The first TYPE value of a social profile line that names its service, as written, or empty.
std::string_view socialServiceTypeValue(const VCardCard& card, const VCardLine& line);

// The TYPE parameter text that says a label for the property ("EMAIL", "TEL", ...), or nullopt when
// the label needs an item group.
std::optional<std::string_view> typesForLabel(std::string_view property, const std::string& label);

// The key of an instant-message entry read from a card that holds its IMPP value's scheme as written
// ("gg:", "msn:", "" for a bare user name), written back in place of the writer's own scheme and
// X-SERVICE-TYPE. An entry the store made itself has none.
inline const std::string kInstantMessageVCardSchemeKey = "vCardScheme";

std::string instantServiceForName(std::string_view serviceType);  // X-SERVICE-TYPE value
// The store's service of a known service's name ("Skype", "SKYPE"), or nullptr.
const std::string* knownInstantService(std::string_view name);
std::string instantServiceForScheme(std::string_view scheme);             // "aim", "xmpp", ...
const std::string* instantServiceForProperty(std::string_view property);  // X-AIM, ...
// X-SERVICE-TYPE value and URI scheme written for a store service.
std::string instantServiceName(const std::string& service);
std::string instantServiceScheme(const std::string& service);

std::string socialServiceForTypes(const VCardCard& card, const VCardLine& line);
std::string socialServiceType(const std::string& service);
// A social profile is under the home label unless its line says WORK (or its item group a label).
const std::string& socialLabelForTypes(const VCardCard& card, const VCardLine& line);
// The TYPE value written for a social profile's label ("HOME", "WORK"), empty when an item group says it.
std::string_view socialLabelType(const std::string& label);
// The store's service of a TYPE value that names one of the known social networks, or nullptr.
const std::string* socialServiceForType(std::string_view type);
// The user name in a profile address: the last part of its path ("jd" of http://twitter.com/jd), or
// the id of a ?id= query.
std::string socialUserForURL(std::string_view url);

// Parameter values carry ^' ^n ^^ for a double quote, a newline and a caret (RFC 6868).
std::string decodeParameterValue(std::string_view value);
std::string encodeParameterValue(std::string_view value);
