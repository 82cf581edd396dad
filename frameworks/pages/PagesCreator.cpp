#include "frameworks/pages/PagesCreator.h"

#include "frameworks/common/ResourceLocator.h"

PagesCreator::PagesCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : IWorkCreator(std::move(savePath), "Pages export failed: "), dictionArr_(records), isShowAllInfo_(isShowAllInfo) {}

IWorkDocumentKind PagesCreator::documentKind() const {
  return {ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Pavrost", "test.pages"), "test.pages", "Ostpag", ".pages"};
}

bool PagesCreator::writeParts(const std::string& folder, std::string* error) {
  pageFiles_.setWorkingFolder(folder);
  if (pageFiles_.writePagesIsShowAllInfo(dictionArr_, isShowAllInfo_)) return true;
  if (error) *error = pageFiles_.error();
  return false;
}
