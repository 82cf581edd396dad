#pragma once

#include <string>

#include "frameworks/iwork/IWorkPackage.h"

// The whole export of contact records as an iWork '09 document, the same for Numbers and Pages:
// <savePath><extension>, or the first free <savePath>(n)<extension>. A writer names its document
// kind and fills the expanded template in writeParts(); the records it reads must live until
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
  IWorkCreator(std::string savePath, std::string failure)
      : savePath_(std::move(savePath)), failure_(std::move(failure)) {}
  // The template and names of this kind of document (its template found from the writer library's
  // own code, see ResourceLocator).
  virtual IWorkDocumentKind documentKind() const = 0;
  // Fills the expanded template in folder; false with the reason in error.
  virtual bool writeParts(const std::string& folder, std::string* error) = 0;

 private:
  bool fail(std::string text);

  std::string savePath_;
  std::string failure_;
  bool ok_ = false;
  std::string error_;
  std::string outputPath_;
};
