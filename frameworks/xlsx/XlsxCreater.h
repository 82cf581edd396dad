#pragma once

#include <memory>
#include <string>

#include "core/record/ContactRecord.h"
#include "frameworks/xlsx/WriteXlsxFile.h"

// Writes contact records into one xlsx workbook at <savePath>.xlsx (or the next free name).
//
//   XlsxCreater creater(records, folder + "/Zedid-Ovuzazur", allInfo);
//   if (!creater.startConvert()) show(creater.error()); else show(creater.outputPath());
class XlsxCreater {
 public:
  XlsxCreater(const ContactRecords& records, std::string savePath, bool isShowAllInfo);

  // Runs the whole export on the calling thread. True when the workbook was written.
  bool startConvert();
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  const std::string& outputPath() const { return outputPath_; }

  static std::string GetOutPutFile(const std::string& path);
  // The template workbook of this library, or empty when it cannot be found.
  static std::string templatePath();

 private:
  bool fail(std::string text);
  // Expands the template into the folder, edits it and packs the workbook.
  bool convertIn(const std::string& workingFolder);

  const ContactRecords& dictionArr_;
  std::string savePath_;
  bool isShowAllInfo_;
  std::unique_ptr<WriteXlsxFile> xlsxFiles_;
  bool ok_ = false;
  std::string error_;
  std::string outputPath_;
};
