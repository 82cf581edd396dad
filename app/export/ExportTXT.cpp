#include "app/export/ExportTXT.h"

#include "app/export/TextTableWriter.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"

std::vector<std::string> ExportTXT::getAllKeyInArray(const ContactRecords& records) const {
  return recordKeysInOrder(records);
}

ExportResult ExportTXT::writeTXTFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records,
                                                                        const std::string& folder, bool isShowAllInfo) {
  static const TextTableSyntax syntax{
      [](std::string& out, const std::string& title, bool allInfo) {
        out += '"';
        out += title;
        out += allInfo ? "\"   " : "\" ";
      },
      TextCells::Quoted,
  };
  auto columns = isShowAllInfo ? AllInfoColumns::base() : getAllKeyInArray(records);
  return writeTextTable(records, columns, syntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.txt" : "allPeople.txt");
}
