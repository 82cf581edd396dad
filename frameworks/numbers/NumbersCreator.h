#pragma once

#include <string>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkCreator.h"
#include "frameworks/numbers/WriteNumberFiles.h"

// Writes contact records as a Numbers document (the 2009 XML package): <savePath>.numbers, or
// the first free <savePath>(n).numbers. The records are read during startConvert() and must live
// until it returns.
class NumbersCreator : public IWorkCreator {
 public:
  NumbersCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo);

 protected:
  IWorkDocumentKind documentKind() const override;
  IWorkTableWriter& tableWriter() override { return numberFiles_; }

 private:
  WriteNumberFiles numberFiles_;
};
