#include "frameworks/numbers/NumbersCreator.h"

#include "frameworks/common/Function.h"
#include "frameworks/common/ResourceLocator.h"
#include "frameworks/iwork/IWorkPackage.h"

NumbersCreator::NumbersCreator(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : DictionArr(records), SavePath_(std::move(savePath)), isShowAllInfo_(isShowAllInfo) {}

std::string NumbersCreator::GetOutPutFile(const std::string& path) {
  return Function::GetOutPutFile(path);
}

bool NumbersCreator::fail(std::string text) {
  succeeded_ = false;
  errorText_ = "Numbers export failed: " + std::move(text);
  return false;
}

bool NumbersCreator::startConvert() {
  succeeded_ = false;
  errorText_.clear();
  outputPath_.clear();
  const IWorkDocumentKind kind{ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Lumbrek", "test.numbers"),
                               "test.numbers", "Ostnum", ".numbers"};
  std::string error;
  const std::string written = writeIWorkDocument(
      kind, SavePath_,
      [this](const std::string& folder, std::string& partsError) {
        numberFiles.setWorkingFolder(folder);
        if (numberFiles.writeNumbersIsShowAllInfo(DictionArr, isShowAllInfo_)) return true;
        partsError = numberFiles.error();
        return false;
      },
      error);
  if (written.empty()) return fail(error);
  outputPath_ = written;
  succeeded_ = true;
  return true;
}
