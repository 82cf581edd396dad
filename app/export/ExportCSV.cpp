#include "app/export/ExportCSV.h"

#include <array>

#include "app/export/TextTableWriter.h"
#include "app/model/AllInfoColumns.h"

namespace {

constexpr std::array<bool, 256> kQuotingBytes = [] {
  std::array<bool, 256> table{};
  table[','] = table['"'] = table['\r'] = table['\n'] = true;
  return table;
}();

}  // namespace

bool ExportCSV::needsQuotes(std::string_view value) {
  for (char c : value)
    if (kQuotingBytes[static_cast<unsigned char>(c)]) return true;
  return false;
}

void ExportCSV::appendQuoted(std::string& out, std::string_view value) {
  if (!needsQuotes(value)) {
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
      TextCells::Csv,
  };
  auto columns = isShowAllInfo ? AllInfoColumns::csv() : getAllKeyInArray(records);
  return writeTextTable(records, columns, syntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.csv" : "allPeople.csv");
}
