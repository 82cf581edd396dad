#include "frameworks/pages/WritePagesFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "frameworks/numbers/IWorkTableRows.h"

namespace {

constexpr IWorkCellLook kHeadingLook{"SFTCellStyle-6", "41.347656", "24"};
constexpr IWorkCellLook kDataLook{"SFTCellStyle-2", "29.347656", "24"};
constexpr std::size_t kTemplateRows = 2;
constexpr std::size_t kTemplateColumns = 2;

std::string formatPoints(float points) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(points));
  return text;
}

std::ptrdiff_t colNumsOf(const std::vector<std::string>& titles) {
  return static_cast<std::ptrdiff_t>(std::min(titles.size(), WritePagesFiles::kMaxColumns));
}

}  // namespace

bool WritePagesFiles::writePagesIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo) {
  DictionArr_ = &records;
  _isShowAllInfo = isShowAllInfo;
  DicKeyArr.clear();
  error_.clear();

  const std::filesystem::path index = std::filesystem::path(workingFolder_) / "index.xml";
  if (!document_.load(index)) {
    error_ = document_.error();
    return false;
  }
  pugi::xml_node document = document_.document().select_node(".//sl:document").node();
  pugi::xml_node printInfo = elementChildAt(document, 3);
  pugi::xml_node grid = elementAtPath(document, {10, 1, 0, 0, 2}).child("sf:grid");
  if (!document || !printInfo || !grid) {
    error_ = "the Pages template has no table where one is expected";
    return false;
  }
  for (const char* name : {"sl:page-width", "sl:page-height", "sl:page-scale"}) printInfo.remove_attribute(name);
  for (const char* name : {"sf:ocnt", "sf:numcols", "sf:numrows"}) grid.remove_attribute(name);

  const std::size_t count = records.size();
  const std::size_t numCols = colNums();
  const std::size_t rows = count + 1;
  grid.append_attribute("sf:ocnt") = std::to_string(getsfOcnt()).c_str();
  grid.append_attribute("sf:numcols") = std::to_string(numCols).c_str();
  grid.append_attribute("sf:numrows") = std::to_string(rows).c_str();
  if (count > 0 && !getGridNodeDicCountNumCols(grid, count, numCols)) return false;
  writeSizeNumcolsNumrows(printInfo, numCols, rows);

  if (!document_.save([this](IWorkCellStream& cells) { writeCells(cells); })) {
    error_ = document_.error();
    return false;
  }
  return true;
}

std::vector<std::string> WritePagesFiles::getAllKey() const {
  return DictionArr_ ? iworkAllKeys(*DictionArr_) : std::vector<std::string>{};
}

std::size_t WritePagesFiles::colNums() const {
  return std::min(getAllKey().size(), kMaxColumns);
}

std::size_t WritePagesFiles::getsfOcnt() const {
  std::size_t values = 0;
  if (!DictionArr_) return 0;
  for (const ContactRecord& record : *DictionArr_)
    for (const auto& entry : record.entries())
      if (entry.first != "Person") ++values;
  return values;
}

bool WritePagesFiles::getGridNodeDicCountNumCols(pugi::xml_node grid, std::size_t count, std::size_t numCols) {
  pugi::xml_node templateSource = elementChildAt(grid, 4);
  pugi::xml_node columns = elementChildAt(grid, 0);
  pugi::xml_node rows = elementChildAt(grid, 2);
  if (!templateSource || !columns || !rows) {
    error_ = "the Pages template's table lacks its columns, rows or data source";
    return false;
  }
  grid.remove_child(templateSource);
  document_.setCellsElement(grid.append_child("sf:datasource"));

  if (count > 1 && !setRowsDicCount(rows, count)) return false;
  if (numCols > kTemplateColumns && !setColumsNumCols(columns, numCols)) return false;
  DicKeyArr = getAllKey();
  return true;
}

bool WritePagesFiles::setRowsDicCount(pugi::xml_node rows, std::size_t count) {
  resetAttribute(rows, "sf:count", std::to_string(count + 1));
  for (std::size_t i = kTemplateRows; i <= count; ++i) {
    pugi::xml_node row = rows.append_child("sf:grid-row");
    row.append_attribute("sf:height") = "38.196876525878906";
    row.append_attribute("sf:preferred-height") = "38.196876525878906";
    row.append_attribute("sf:fitting-height") = "25";
    row.append_attribute("sf:nc") = "1";
    row.append_attribute("sf:ncoc") = "1";
  }
  return true;
}

bool WritePagesFiles::setColumsNumCols(pugi::xml_node columns, std::size_t numCols) {
  resetAttribute(columns, "sf:count", std::to_string(numCols));
  for (std::size_t i = kTemplateColumns; i < numCols; ++i) {
    pugi::xml_node column = columns.append_child("sf:grid-column");
    column.append_attribute("sf:width") = "80.787406921386719";
    column.append_attribute("sf:preferred-width") = "80.787406921386719";
    column.append_attribute("sf:fitting-width") = "9";
  }
  return true;
}

void WritePagesFiles::setHeadNode(IWorkCellStream& cells) {
  const std::vector<std::string> shown(DicKeyArr.begin(), DicKeyArr.begin() + colNumsOf(DicKeyArr));
  writeHeadingRow(cells, shown, kHeadingLook);
}

std::string WritePagesFiles::pageWidthText(std::size_t numcols) {
  float width = 841.8897705078125f;
  if (numcols > 9) width = 841.8897705078125f + 94.0f * static_cast<float>(numcols - 9);
  return formatPoints(width);
}

std::string WritePagesFiles::pageHeightText(std::size_t numrows) {
  float height = 595.2755737304688f;
  if (numrows > 12) height = 595.2755737304688f + 50.0f * static_cast<float>(numrows - 12);
  return formatPoints(height);
}

void WritePagesFiles::writeSizeNumcolsNumrows(pugi::xml_node printInfo, std::size_t numcols, std::size_t numrows) {
  printInfo.append_attribute("sl:page-width") = pageWidthText(numcols).c_str();
  printInfo.append_attribute("sl:page-height") = pageHeightText(numrows).c_str();
  printInfo.append_attribute("sl:page-scale") = "1";
}

void WritePagesFiles::writeCells(IWorkCellStream& cells) {
  setHeadNode(cells);
  const std::vector<std::string> shown(DicKeyArr.begin(), DicKeyArr.begin() + colNumsOf(DicKeyArr));
  writeRecordRows(cells, *DictionArr_, shown, kDataLook);
}
