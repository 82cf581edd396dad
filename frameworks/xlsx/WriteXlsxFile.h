#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/record/ContactRecord.h"

class ZipArchive;

// Writes the content of an expanded template workbook: in folder the workbook, its relationships,
// styles and content types edited and the worksheet's relationships written; then the worksheet
// and shared strings streamed straight into the archive being written.
class WriteXlsxFile {
 public:
  explicit WriteXlsxFile(std::string folder) : folder_(std::move(folder)) {}

  // Edits the parts in folder. False (with error()) when a part cannot be read or written.
  bool writeXlsxIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo);
  // Streams the worksheet and the shared strings of the records given to writeXlsxIsShowAllInfo
  // into two new entries of zip. False (with error()) when an entry cannot be written.
  bool writeContentOfsheetSharedString(ZipArchive& zip, const std::string& sheetEntry, const std::string& sharedEntry);
  const std::string& error() const { return error_; }

  std::vector<std::string> getAllKey() const;
  // Column letters of column n (from 1): A..Z, AA..ZZ.
  static std::string columnLetters(int n);

 private:
  bool writeXlsxRelsFile();
  bool writeWorkbook();
  bool writeStyles();
  bool writeContentXml();
  bool writeXlsxFile();
  bool writeContentOfSheetRels(const std::string& path);
  std::vector<std::string> columnTitles() const;

  std::string folder_;
  const ContactRecords* dictionArr_ = nullptr;
  bool isShowAllInfo_ = false;
  std::vector<std::string> dicKeyArr_;
  int32_t flagCount_ = 0;
  int32_t flagV_ = 0;
  std::string error_;
};
