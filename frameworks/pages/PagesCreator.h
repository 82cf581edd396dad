#pragma once

#include <string>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkCreator.h"
#include "frameworks/pages/WritePagesFiles.h"

// Writes contact records as a Pages document (the 2009 XML package): <savePath>.pages, or
// the first free <savePath>(n).pages. The records are read during startConvert() and must live
// until it returns.
class PagesCreator : public IWorkCreator {
 public:
  PagesCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo);

 protected:
  IWorkDocumentKind documentKind() const override;
  IWorkTableWriter& tableWriter() override { return pageFiles_; }

 private:
  WritePagesFiles pageFiles_;
};
