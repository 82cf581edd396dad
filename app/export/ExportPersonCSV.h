#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/export/ExportResult.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// CSV files of whole persons, every value in a column of its own:
// - Google: the headings Google Contacts writes, each list in numbered groups ("E-mail 4 - Value"),
//   UTF-8, birthdays as YYYY-MM-DD (--MM-DD without a year), the person's categories in "Labels"
//   (" ::: " between them; "* myContacts" when it has none), extra fields as custom fields;
// - Outlook: the (English) headings Outlook writes, in its order, UTF-8 with a byte order mark
//   (which Outlook reads as UTF-8) and CRLF line ends, birthdays as M/D/YYYY;
// - every value: the all-information headings, then "Home Email 2", ... for later values of a
//   key, "Phone (Other)", ... for entries under labels no heading names, the extra fields under
//   their own headings, "Photo" (base64), "Show As", and what a vCard said beyond the store's values
//   ("vCard Kept Lines", "vCard Lines As Read"): an import of it gives back every value.
// A value a spreadsheet would take for a formula gets an apostrophe in front unless raw.
class ExportPersonCSV {
 public:
  enum class Kind { Google, Outlook, EveryValue };
  explicit ExportPersonCSV(Kind kind, bool raw = false) : kind_(kind), raw_(raw) {}

  using PersonBatches =
      std::function<bool(const std::function<void(std::vector<ABPersonData>&)>& take, std::string* error)>;
  // Writes folder/<name> (made unique) with every person given; nothing when they cannot all be
  // given.
  ExportResult writePersons(const PersonBatches& persons, const std::string& folder) const;
  // The same for records: a record's own person when it refers to one, else the person built from
  // its keys.
  ExportResult writeRecords(const ContactRecords& records, const std::string& folder) const;

  // The file name written: Zedid-Ovuzazur-Google.csv, Zedid-Ovuzazur-Outlook.csv, Zedid-Ovuzazur.csv.
  std::string fileName() const;
  // The table of cells the persons give, heading line first (tests and the writer).
  std::vector<std::vector<std::string>> table(const std::vector<ABPersonData>& persons) const;

 private:
  Kind kind_;
  bool raw_;
};
