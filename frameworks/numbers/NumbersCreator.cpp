#include "frameworks/numbers/NumbersCreator.h"

#include "frameworks/common/ResourceLocator.h"

NumbersCreator::NumbersCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : IWorkCreator(records, std::move(savePath), isShowAllInfo, "Numbers export failed: ") {}

IWorkDocumentKind NumbersCreator::documentKind() const {
  return {ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Lumbrek", "test.numbers"), "test.numbers", "Ostnum",
          ".numbers"};
}
