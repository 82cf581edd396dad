#pragma once

#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkCellStream.h"
#include "frameworks/iwork/IWorkDocument.h"

// Rewrites the first table of an expanded Numbers document ("index.xml" in the working folder):
// a heading row and one row per record.
class WriteNumberFiles {
 public:
  void setWorkingFolder(const std::string& folder) { workingFolder_ = folder; }

  // Stores records and switch and rewrites "index.xml". False, with error(), when the document
  // cannot be read, does not have the expected shape or cannot be written.
  bool writeNumbersIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo);

  // Every key of the records, each once, "First Name" and "Last Name" leading.
  std::vector<std::string> getAllKey() const;

  // The column titles of the last rewrite.
  const std::vector<std::string>& titles() const { return dicKeyArr_; }
  const std::string& error() const { return error_; }

 private:
  bool getGridOneSfanonstylesDicCount(pugi::xml_node grid, pugi::xml_node anonStyles, std::size_t count);
  bool getGridNodeSfanonstylesDicCount(pugi::xml_node grid, pugi::xml_node anonStyles, std::size_t count);
  bool replaceDataSource(pugi::xml_node grid);
  bool growRows(pugi::xml_node grid, std::size_t count);
  void growColumns(pugi::xml_node grid, std::size_t count);
  void setHeadRowSfanonstyles(IWorkCellStream& cells, pugi::xml_node anonStyles);
  void reorderTitleReorderArr(IWorkCellStream& cells, const std::vector<std::string>& titles);
  void writeCells(IWorkCellStream& cells);

  std::string workingFolder_;
  IWorkDocument document_;
  const ContactRecords* dictionArr_ = nullptr;
  std::vector<std::string> dicKeyArr_;
  bool isShowAllInfo_ = false;
  std::string error_;
};
