#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/model/ContactRecord.h"

// Writes the content of an expanded template workbook in folder: the workbook, its relationships,
// styles and content types edited, the worksheet and shared strings streamed to their files.
class WriteXlsxFile {
 public:
  explicit WriteXlsxFile(std::string folder) : folder_(std::move(folder)) {}

  // False (with error()) when a part cannot be read or written.
  bool writeXlsxIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo);
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
  bool writeContentOfsheetSharedString(const std::string& sheetPath, const std::string& sharedPath);
  std::vector<std::string> columnTitles() const;

  // Appends one text cell to the sheet and its item to the shared strings.
  void textCell(std::string& sheet, std::string& shared, int column, long row, const std::string& text);

  std::string folder_;
  const ContactRecords* DictionArr_ = nullptr;
  bool _isShowAllInfo = false;
  std::vector<std::string> DicKeyArr;
  int32_t flag_count = 0;
  int32_t flag_v = 0;
  std::string error_;
};
