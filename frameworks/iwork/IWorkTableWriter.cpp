#include "frameworks/iwork/IWorkTableWriter.h"

#include <filesystem>

#include "frameworks/iwork/IWorkTableRows.h"

std::vector<std::string> IWorkTableWriter::getAllKey() const {
  return dictionArr_ ? iworkAllKeys(*dictionArr_) : std::vector<std::string>{};
}

pugi::xml_node IWorkTableWriter::beginRewrite(const ContactRecords& records, bool isShowAllInfo,
                                              const char* documentPath) {
  dictionArr_ = &records;
  isShowAllInfo_ = isShowAllInfo;
  dicKeyArr_.clear();
  error_.clear();
  if (!document_.load(std::filesystem::path(workingFolder_) / "index.xml")) {
    error_ = document_.error();
    return {};
  }
  return document_.document().select_node(documentPath).node();
}

bool IWorkTableWriter::finishRewrite(const IWorkDocument::CellWriter& writeCells) {
  if (document_.save(writeCells)) return true;
  error_ = document_.error();
  return false;
}
