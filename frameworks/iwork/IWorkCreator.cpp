#include "frameworks/iwork/IWorkCreator.h"

#include "frameworks/common/Function.h"

std::string IWorkCreator::GetOutPutFile(const std::string& path) {
  return Function::GetOutPutFile(path);
}

bool IWorkCreator::fail(std::string text) {
  succeeded_ = false;
  errorText_ = failure_ + std::move(text);
  return false;
}

bool IWorkCreator::startConvert() {
  succeeded_ = false;
  errorText_.clear();
  outputPath_.clear();
  std::string error;
  const std::string written = writeIWorkDocument(
      documentKind(), savePath_,
      [this](const std::string& folder, std::string& partsError) { return writeParts(folder, partsError); }, error);
  if (written.empty()) return fail(error);
  outputPath_ = written;
  succeeded_ = true;
  return true;
}
