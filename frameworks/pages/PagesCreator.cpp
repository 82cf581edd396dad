#include "frameworks/pages/PagesCreator.h"

#include "frameworks/common/ResourceLocator.h"

PagesCreator::PagesCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : IWorkCreator(records, std::move(savePath), isShowAllInfo, "Pages export failed: ") {}

IWorkDocumentKind PagesCreator::documentKind() const {
  return {ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Pavrost", "test.pages"), "test.pages", "Ostpag", ".pages"};
}
