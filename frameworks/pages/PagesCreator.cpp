#include "frameworks/pages/PagesCreator.h"

#include "frameworks/common/Function.h"
#include "frameworks/common/ResourceLocator.h"
#include "frameworks/iwork/IWorkPackage.h"

PagesCreator::PagesCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : DictionArr(records), SavePath_(std::move(savePath)), isShowAllInfo_(isShowAllInfo) {}

std::string PagesCreator::GetOutPutFile(const std::string& path) {
  return Function::GetOutPutFile(path);
}

bool PagesCreator::fail(std::string text) {
  succeeded_ = false;
  errorText_ = "Pages export failed: " + std::move(text);
  return false;
}

bool PagesCreator::startConvert() {
  succeeded_ = false;
  errorText_.clear();
  outputPath_.clear();
  const IWorkDocumentKind kind{ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Pavrost", "test.pages"), "test.pages",
                               "Ostpag", ".pages"};
  std::string error;
  const std::string written = writeIWorkDocument(
      kind, SavePath_,
      [this](const std::string& folder, std::string& partsError) {
        pageFiles.setWorkingFolder(folder);
        if (pageFiles.writePagesIsShowAllInfo(DictionArr, isShowAllInfo_)) return true;
        partsError = pageFiles.error();
        return false;
      },
      error);
  if (written.empty()) return fail(error);
  outputPath_ = written;
  succeeded_ = true;
  return true;
}
