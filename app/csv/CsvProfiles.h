#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The CSV files other programs write and read, described by their headings: Google Contacts
// (current and older headings), Outlook (its English, German and French headings), Thunderbird, and
// Rolvane's own exports of all information (with --every-value: numbered columns for later values).

enum class CsvProfile { Google, Outlook, Thunderbird, Rolvane };

std::string profileName(CsvProfile profile);  // "google", ...
std::optional<CsvProfile> profileNamed(std::string_view name);

// Where the cells under one heading go.
struct CsvField {
  enum class Kind {
    Leave,        // left out
    Keep,         // kept with the person under its heading (a kept property, X- line in vCard)
    Key,          // the value of a contact-record key: key "Home Email", its index-th value
    Entry,        // an entry of a list under a label of its own: key the list property, part the label,
                  // detail the service of an instant-messaging account or social profile
    Group,        // a part of Google's numbered groups: key "E-mail", index, part "Value", "Label", ...
    Categories,   // the person's categories; part: the separator within the cell
    DisplayName,  // the name shown; gives first and last name when the file has neither
    BirthPart,    // part "Year", "Month" or "Day" of the birthday
    KeptLines,    // Rolvane's own: what a vCard said beyond the store's values, as kept
    LinesAsRead,  // Rolvane's own: lines a vCard said differently, as kept
    Photo,        // the picture, base64
    ShowAs,       // "Company" for a company card
  };
  CsvField() = default;
  CsvField(Kind kind, std::string key, std::string part = {}, int index = 1, std::string detail = {})
      : kind(kind), key(std::move(key)), part(std::move(part)), index(index), detail(std::move(detail)) {}

  Kind kind = Kind::Keep;
  std::string key;
  std::string part;
  int index = 1;
  std::string detail;
  bool operator==(const CsvField&) const = default;
};

// The field a heading of the profile goes to (Keep for a heading the profile does not know).
// language: for Outlook, the language of the headings found ("en", "de", "fr"), which says how
// birthdays are written.
CsvField fieldOfHeading(CsvProfile profile, std::string_view heading);
// How many of the headings the profile knows.
size_t knownHeadings(CsvProfile profile, const std::vector<std::string_view>& headings);
// The profile that knows most of the headings (Rolvane's when none knows any).
CsvProfile detectProfile(const std::vector<std::string_view>& headings);
// The language of Outlook headings: "de", "fr" or "en".
std::string outlookLanguage(const std::vector<std::string_view>& headings);

// What a user writes for a field in --map "Heading=Field" and sees in the import dialog: a record
// key ("Home Email", "Home Email 2"), "Phone (Car)", "Instant Message (Home, Matrix)", "keep", "leave",
// or the description of a
// profile's own field.
std::string fieldName(const CsvField& field);
// The field of such a name; nullopt when it names none.
std::optional<CsvField> fieldNamed(std::string_view name);
// The names a user may choose from in the dialog: every record key that can be stored.
const std::vector<std::string>& chosenFieldNames();

// The headings Outlook writes, in its order (English).
const std::vector<std::string>& outlookHeadings();
// The headings of an address's post-office box and extended address in Rolvane's own CSV files
// ("Home PO Box", "Work Extended Address"; numbered as the address is): the label of the address
// and the component's key; nullopt for any other heading.
struct AddressComponentHeading {
  const std::string* label;
  const std::string* component;
};
std::optional<AddressComponentHeading> addressComponentHeading(std::string_view key);
// The heading of the component of an address of that label ("Home", "Work", "Other" by the label's
// group).
std::string addressComponentHeadingOf(const std::string& label, const std::string& component);

// Google's current headings before its numbered groups.
const std::vector<std::string>& googleLeadingHeadings();
// The parts of each of Google's numbered groups, in its order: {"E-mail", {"Label", "Value"}}, ...
const std::vector<std::pair<std::string, std::vector<std::string>>>& googleGroups();

// Store labels and the words the programs use for them.
std::string storeLabelOfWord(std::string_view word);   // "Home" -> home label; other words as written
std::string wordOfStoreLabel(std::string_view label);  // home label -> "Home"; "_$!<X>!$_" -> "X"
