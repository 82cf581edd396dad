#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/export/ExportResult.h"
#include "core/record/ContactRecord.h"

// Comma-separated values, every cell followed by a comma. A value holding a comma, a double quote,
// a carriage return or a line feed is enclosed in double quotes with inner quotes doubled.
class ExportCSV {
 public:
  // Writes folder/Zedid-Ovuzazur.csv (all information) or folder/allPeople.csv, never replacing a file.
  ExportResult writeCSVFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records, const std::string& folder,
                                                               bool isShowAllInfo);
  std::vector<std::string> getAllKeyInArray(const ContactRecords& records) const;
  static std::string quoted(std::string_view value);
  // True when the value holds a comma, a double quote, a carriage return or a line feed.
  static bool needsQuotes(std::string_view value);
  static void appendQuoted(std::string& out, std::string_view value);
};
