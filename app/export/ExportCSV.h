#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/export/StoredPersons.h"
#include "core/record/ContactRecord.h"

// Comma-separated values, every cell followed by a comma. A value holding a comma, a double quote,
// a carriage return or a line feed is enclosed in double quotes with inner quotes doubled. A value a
// spreadsheet would take for a formula gets an apostrophe in front (FormulaGuard), unless raw.
class ExportCSV {
 public:
  explicit ExportCSV(bool raw = false) : raw_(raw) {}

  // Writes folder/Zedid-Ovuzazur.csv (all information) or folder/allPeople.csv, never replacing a file.
  ExportResult writeCSVFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records, const std::string& folder,
                                                               bool isShowAllInfo);
  // The same with all information for the store's persons as they are read (each person's
  // record is made and let go of on the way).
  ExportResult writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& folder);
  std::vector<std::string> getAllKeyInArray(const ContactRecords& records) const;
  static std::string quoted(std::string_view value);
  // True when the value holds a comma, a double quote, a carriage return or a line feed.
  static bool needsQuotes(std::string_view value);
  static void appendQuoted(std::string& out, std::string_view value);
  // appendQuoted of the value with the apostrophe a formula takes.
  static void appendGuardedQuoted(std::string& out, std::string_view value);

 private:
  bool raw_ = false;
};
