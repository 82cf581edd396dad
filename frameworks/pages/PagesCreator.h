#pragma once

#include <string>

#include "core/record/ContactRecord.h"
#include "frameworks/pages/WritePagesFiles.h"

// Writes contact records as a Pages document (the 2009 XML package): <savePath>.pages, or
// the first free <savePath>(n).pages. The records are read during startConvert() and must live
// until it returns.
class PagesCreator {
 public:
  PagesCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo);

  // The whole export, on the calling thread. True when the document was written; otherwise
  // errorText() says why and no output file is left behind.
  bool startConvert();

  bool succeeded() const { return succeeded_; }
  const std::string& errorText() const { return errorText_; }
  // The file written by the last successful startConvert().
  const std::string& outputPath() const { return outputPath_; }

  // A path at which no file exists yet (see Function::GetOutPutFile).
  static std::string GetOutPutFile(const std::string& path);

 private:
  bool fail(std::string text);

  const ContactRecords& DictionArr;
  std::string SavePath_;
  bool isShowAllInfo_;
  WritePagesFiles pageFiles;
  bool succeeded_ = false;
  std::string errorText_;
  std::string outputPath_;
};
