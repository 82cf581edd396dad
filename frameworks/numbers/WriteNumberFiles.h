#pragma once

#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkTableWriter.h"

// Rewrites the first table of an expanded Numbers document ("index.xml" in the working folder):
// a heading row and one row per record.
class WriteNumberFiles : public IWorkTableWriter {
 public:
  // Stores records and switch and rewrites "index.xml". False, with error(), when the document
  // cannot be read, does not have the expected shape or cannot be written.
  bool writeNumbersIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo);
  bool rewriteTable(const ContactRecords& records, bool isShowAllInfo) override {
    return writeNumbersIsShowAllInfo(records, isShowAllInfo);
  }

 private:
  bool getGridOneSfanonstylesDicCount(pugi::xml_node grid, pugi::xml_node anonStyles, std::size_t count);
  bool getGridNodeSfanonstylesDicCount(pugi::xml_node grid, pugi::xml_node anonStyles, std::size_t count);
  bool replaceDataSource(pugi::xml_node grid);
  bool growRows(pugi::xml_node grid, std::size_t count);
  void growColumns(pugi::xml_node grid, std::size_t count);
  void setHeadRowSfanonstyles(IWorkCellStream& cells, pugi::xml_node anonStyles);
  void reorderTitleReorderArr(IWorkCellStream& cells, const std::vector<std::string>& titles);
  void writeCells(IWorkCellStream& cells);
};
