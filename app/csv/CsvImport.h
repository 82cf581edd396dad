#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/csv/CsvProfiles.h"
#include "app/csv/CsvTable.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABPerson.h"

class EncodedPersons;

// How a CSV file is to be read: the profile ("auto" finds it from the headings), the character set
// ("" finds it), the delimiter (0 finds it) and fields chosen for headings ("Heading=Field", as
// fieldNamed reads the field).
struct CsvImportOptions {
  std::string profile = "auto";
  std::string charset;
  char delimiter = 0;
  std::vector<std::pair<std::string, std::string>> map;
};

// A CSV file read and the plan of where each heading's cells go, not yet stored. The plan can be
// changed (the import dialog, --map) before the persons are made.
class CsvImport {
 public:
  // Reads the file and makes the plan; false and *error naming the file (and line) on failure.
  // Without whole only the heading line is read, and the rows as readRows is asked for them.
  bool open(const std::filesystem::path& path, const CsvImportOptions& options, std::string* error, bool whole = true);
  bool readRows(size_t upTo, std::string* error) { return table_.readRows(upTo, error); }
  // The same for bytes already read; name stands for the file in errors.
  bool openBytes(std::string_view bytes, const std::string& name, const CsvImportOptions& options, std::string* error);

  CsvProfile profile() const { return profile_; }
  const std::string& fileName() const { return name_; }
  const CsvTable& table() const { return table_; }
  size_t headingCount() const { return fields_.size(); }
  std::string_view heading(size_t column) const { return table_.headings()[column]; }
  const CsvField& field(size_t column) const { return fields_[column]; }
  void setField(size_t column, CsvField field) { fields_[column] = std::move(field); }
  // Sets the field of a heading by name ("Heading=Field" of --map); false and *error when the file
  // has no such heading or the name names no field.
  bool mapHeading(std::string_view heading, std::string_view fieldName, std::string* error);
  // Goes over to another profile: every heading gets that profile's field.
  void setProfile(CsvProfile profile);

  size_t rowCount() const { return table_.rowCount(); }
  // The person row i gives; false and *error "<file>:<line>: <problem>" when the row cannot be
  // stored (nothing in it is taken).
  bool personOfRow(size_t row, ABPersonData& person, std::string* error) const;
  // Every row's person, in file order, made on every core; false and *error naming the first bad
  // row's line (persons is then empty).
  bool persons(std::vector<ABPersonData>& persons, std::string* error) const;
  // The same for rows [begin, end).
  bool personsOfRows(size_t begin, size_t end, std::vector<ABPersonData>& persons, std::string* error) const;

 private:
  bool openOwned(std::string bytes, const std::string& name, const CsvImportOptions& options, std::string* error,
                 bool whole);

  CsvTable table_;
  std::string name_;
  CsvProfile profile_ = CsvProfile::Rolvane;
  std::string language_ = "en";
  std::vector<CsvField> fields_;
};

// The extra fields a person was given from headings no profile knows (kept lines made by a CSV
// import), as heading and value, in order.
std::vector<std::pair<std::string, std::string>> keptCsvFields(const ABPersonData& person);
// The kept line of such a field (without its line break).
std::string keptCsvLine(std::string_view heading, std::string_view value);
// The heading of a kept line made by a CSV import; empty for any other kept line.
std::string keptCsvHeading(std::string_view line);
// The categories of a person (its groups by name, and CATEGORIES lines a store kept from before
// groups were known), in order, each once.
std::vector<std::string> keptCategories(const ABPersonData& person);

// "Imported 3 contacts from people.csv": the history's name of a CSV import.
std::string describeCsvImport(const std::string& fileName, size_t contacts);

// Thrown by addCsvBatches when a row cannot be stored: what() names the file and line.
class CsvRowsRefused : public std::runtime_error {
 public:
  explicit CsvRowsRefused(const std::string& error);
};
// Gives the persons of the imports' rows in batches encoded for the store (reading the rows of
// imports opened without whole as it goes), as
// ABAddressBook::appendEncodedPersons takes them: each batch is made and encoded on every core while
// the store writes the batch before. A bad row throws CsvRowsRefused, which leaves the store as it
// was.
void addCsvBatches(const std::vector<CsvImport*>& imports, const std::function<void(EncodedPersons&)>& add);
// Adds every row's person to a book held in memory (the window) as pending additions, saved by the
// caller as one change set; every person gets a new id. False and *error (nothing added) when a row is bad.
bool addCsvToAddressBook(ABAddressBook& book, const CsvImport& import, std::vector<ABPersonRef>* added,
                         std::string* error);
// Whether a path names a CSV file (by its suffix: .csv, .tsv, .tab).
bool isCsvPath(const std::filesystem::path& path);
