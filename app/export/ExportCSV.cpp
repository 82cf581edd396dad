#include "app/export/ExportCSV.h"

#include "app/export/TextTableWriter.h"
#include "app/model/AllInfoColumns.h"

void ExportCSV::appendQuoted(std::string& out, std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += value;
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string ExportCSV::quoted(std::string_view value) {
  std::string out;
  appendQuoted(out, value);
  return out;
}

std::vector<std::string> ExportCSV::getAllKeyInArray(const ContactRecords& records) const {
  return unionOfKeys(records);
}

ExportResult ExportCSV::writeCSVFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records,
                                                                        const std::string& folder, bool isShowAllInfo) {
  static const TextTableSyntax syntax{
      [](std::string& out, const std::string& title, bool) {
        appendQuoted(out, title);
        out += ',';
      },
      [](std::string& out, std::string_view text) {
        appendQuoted(out, text);
        out += ',';
      },
      ",",
  };
  auto columns = isShowAllInfo ? AllInfoColumns::csv() : getAllKeyInArray(records);
  return writeTextTable(records, columns, syntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.csv" : "allPeople.csv");
}
