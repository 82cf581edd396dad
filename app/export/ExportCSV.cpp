#include "app/export/ExportCSV.h"

#include "app/export/TextTableWriter.h"
#include "app/model/AllInfoColumns.h"

std::string ExportCSV::quoted(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::vector<std::string> ExportCSV::getAllKeyInArray(const ContactRecords& records) const {
  return unionOfKeys(records);
}

ExportResult ExportCSV::writeCSVFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records,
                                                                        const std::string& folder, bool isShowAllInfo) {
  static const TextTableSyntax syntax{
      [](const std::string& title, bool) { return quoted(title) + ","; },
      [](const std::string& text) { return quoted(text) + ","; },
      ",",
  };
  auto columns = isShowAllInfo ? AllInfoColumns::csv() : getAllKeyInArray(records);
  return writeTextTable(records, columns, syntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.csv" : "allPeople.csv");
}
