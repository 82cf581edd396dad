#include "frameworks/numbers/NumbersCreator.h"

#include <filesystem>
#include <system_error>

#include "frameworks/common/Function.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/ResourceLocator.h"
#include "frameworks/common/WorkingFolder.h"
#include "frameworks/numbers/IWorkPackage.h"

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

  const std::string templatePath = ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Lumbrek", "test.numbers");
  if (templatePath.empty()) return fail("the template document test.numbers is not installed");

  WorkingFolder folder("Ostnum");
  if (!folder.ok()) return fail(folder.error());
  std::string error;
  if (!expandIWorkTemplate(templatePath, folder.path(), error)) return fail(error);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(folder.path()) / "mm" / "images", ec);

  numberFiles.setWorkingFolder(folder.path());
  if (!numberFiles.writeNumbersIsShowAllInfo(DictionArr, isShowAllInfo_)) return fail(numberFiles.error());

  OutputFile output(SavePath_ + ".numbers");
  if (!output.open()) return fail(output.error());
  if (!packIWorkFolder(folder.path(), output.temporaryPath(), error)) return fail(error);
  if (!output.commit()) return fail(output.error());
  outputPath_ = output.finalPath();
  succeeded_ = true;
  return true;
}
