#include "app/export/ExportTXT.h"

#include "app/export/TextTableWriter.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"

std::vector<std::string> ExportTXT::getAllKeyInArray(const ContactRecords& records) const {
  return recordKeysInOrder(records);
}

namespace {

const TextTableSyntax kTxtSyntax{
    [](std::string& out, const std::string& title, bool allInfo) {
      out += '"';
      out += title;
      out += allInfo ? "\"   " : "\" ";
    },
    TextCells::Quoted,
};

}  // namespace

ExportResult ExportTXT::writeTXTFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records,
                                                                        const std::string& folder, bool isShowAllInfo) {
  auto columns = isShowAllInfo ? AllInfoColumns::base() : getAllKeyInArray(records);
  return writeTextTable(records, columns, kTxtSyntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.txt" : "allPeople.txt");
}

ExportResult ExportTXT::writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& folder) {
  return writeTextTableOfStored(persons, AllInfoColumns::base(), kTxtSyntax, true, folder, "Zedid-Ovuzazur.txt");
}
