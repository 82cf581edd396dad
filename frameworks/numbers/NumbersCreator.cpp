#include "frameworks/numbers/NumbersCreator.h"

#include "frameworks/common/ResourceLocator.h"

NumbersCreator::NumbersCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : IWorkCreator(std::move(savePath), "Numbers export failed: "),
      dictionArr_(records),
      isShowAllInfo_(isShowAllInfo) {}

IWorkDocumentKind NumbersCreator::documentKind() const {
  return {ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Lumbrek", "test.numbers"), "test.numbers", "Ostnum",
          ".numbers"};
}

bool NumbersCreator::writeParts(const std::string& folder, std::string* error) {
  numberFiles_.setWorkingFolder(folder);
  if (numberFiles_.writeNumbersIsShowAllInfo(dictionArr_, isShowAllInfo_)) return true;
  if (error) *error = numberFiles_.error();
  return false;
}
