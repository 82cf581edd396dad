#include "frameworks/iwork/IWorkCreator.h"

#include "frameworks/common/Function.h"

std::string IWorkCreator::GetOutPutFile(const std::string& path) {
  return Function::GetOutPutFile(path);
}

bool IWorkCreator::fail(std::string text) {
  ok_ = false;
  error_ = failure_ + std::move(text);
  return false;
}

bool IWorkCreator::writeParts(const std::string& folder, std::string* error) {
  IWorkTableWriter& table = tableWriter();
  table.setWorkingFolder(folder);
  if (table.rewriteTable(dictionArr_, isShowAllInfo_)) return true;
  if (error) *error = table.error();
  return false;
}

bool IWorkCreator::startConvert() {
  ok_ = false;
  error_.clear();
  outputPath_.clear();
  std::string error;
  const std::string written = writeIWorkDocument(
      documentKind(), savePath_,
      [this](const std::string& folder, std::string* partsError) { return writeParts(folder, partsError); }, &error);
  if (written.empty()) return fail(error);
  outputPath_ = written;
  ok_ = true;
  return true;
}
