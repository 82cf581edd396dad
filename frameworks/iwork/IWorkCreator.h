#pragma once

#include <string>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkPackage.h"
#include "frameworks/iwork/IWorkTableWriter.h"

// The whole export of contact records as an iWork '09 document, the same for Numbers and Pages:
// <savePath><extension>, or the first free <savePath>(n)<extension>. A writer names its document
// kind and the table writer that fills the expanded template; the records it reads must live until
// startConvert() returns.
class IWorkCreator {
 public:
  virtual ~IWorkCreator() = default;

  // The whole export, on the calling thread. True when the document was written; otherwise
  // error() says why and no output file is left behind.
  bool startConvert();

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  // The file written by the last successful startConvert().
  const std::string& outputPath() const { return outputPath_; }

  // A path at which no file exists yet (see Function::GetOutPutFile).
  static std::string GetOutPutFile(const std::string& path);

 protected:
  // failure: how an error message starts ("Numbers export failed: ").
  IWorkCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo, std::string failure)
      : dictionArr_(records),
        savePath_(std::move(savePath)),
        isShowAllInfo_(isShowAllInfo),
        failure_(std::move(failure)) {}
  // The template and names of this kind of document (its template found from the writer library's
  // own code, see ResourceLocator).
  virtual IWorkDocumentKind documentKind() const = 0;
  // The writer that rewrites the expanded template's table.
  virtual IWorkTableWriter& tableWriter() = 0;

 private:
  bool fail(std::string text);
  // Fills the expanded template in folder; false with the reason in error.
  bool writeParts(const std::string& folder, std::string* error);

  const ContactRecords& dictionArr_;
  std::string savePath_;
  bool isShowAllInfo_;
  std::string failure_;
  bool ok_ = false;
  std::string error_;
  std::string outputPath_;
};
