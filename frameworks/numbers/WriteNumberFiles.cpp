#include "frameworks/numbers/WriteNumberFiles.h"

#include <filesystem>
#include <iterator>

#include "core/record/AllInfoColumns.h"
#include "frameworks/iwork/IWorkTableRows.h"

namespace {

constexpr IWorkCellLook kHeadingLook{"SFTCellStyle-105", "30.469574", "14"};
constexpr IWorkCellLook kDataLook{"SFTCellStyle-100", "30.469574", "14"};
constexpr std::size_t kTemplateDataRows = 49;

}  // namespace

bool WriteNumberFiles::writeNumbersIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo) {
  pugi::xml_node document = beginRewrite(records, isShowAllInfo, ".//ls:document");
  if (!error_.empty()) return false;
  pugi::xml_node anonStyles = elementAtPath(document, {0, 1});
  pugi::xml_node grid = elementAtPath(document, {2, 0, 0, 1, 1, 1, 0, 2}).child("sf:grid");
  if (!document || !anonStyles || !grid) {
    error_ = "the Numbers template has no table where one is expected";
    return false;
  }

  bool shaped = true;
  if (records.size() == 1) {
    shaped = getGridOneSfanonstylesDicCount(grid, anonStyles, 1);
  } else if (records.size() > 1) {
    shaped = getGridNodeSfanonstylesDicCount(grid, anonStyles, records.size());
  }
  if (!shaped) return false;
  return finishRewrite([this](IWorkCellStream& cells) { writeCells(cells); });
}

bool WriteNumberFiles::getGridOneSfanonstylesDicCount(pugi::xml_node grid, pugi::xml_node, std::size_t) {
  if (!replaceDataSource(grid)) return false;
  dicKeyArr_ = getAllKey();
  growColumns(grid, dicKeyArr_.size());
  return true;
}

bool WriteNumberFiles::getGridNodeSfanonstylesDicCount(pugi::xml_node grid, pugi::xml_node, std::size_t count) {
  if (!replaceDataSource(grid)) return false;
  if (count > kTemplateDataRows && !growRows(grid, count)) return false;
  dicKeyArr_ = isShowAllInfo_ ? AllInfoColumns::spreadsheet() : getAllKey();
  growColumns(grid, dicKeyArr_.size());
  return true;
}

bool WriteNumberFiles::replaceDataSource(pugi::xml_node grid) {
  pugi::xml_node templateSource = elementChildAt(grid, 4);
  if (!templateSource) {
    error_ = "the Numbers template's table has no data source";
    return false;
  }
  grid.remove_child(templateSource);
  pugi::xml_node source = grid.append_child("sf:datasource");
  source.append_attribute("sfa:ID") = "SFTConcreteTableDataSource-0";
  document_.setCellsElement(source);
  return true;
}

bool WriteNumberFiles::growRows(pugi::xml_node grid, std::size_t count) {
  pugi::xml_node rows = elementChildAt(grid, 2);
  if (!rows) {
    error_ = "the Numbers template's table has no row list";
    return false;
  }
  const std::string rowCount = std::to_string(count + 1);
  resetAttribute(grid, "sf:numrows", rowCount);
  resetAttribute(rows, "sf:count", rowCount);
  for (std::size_t i = kTemplateDataRows; i < count; ++i) {
    pugi::xml_node row = rows.append_child("sf:grid-row");
    row.append_attribute("sf:height") = "14.25";
    row.append_attribute("sf:fitting-height") = "14.25";
  }
  return true;
}

// The template's table is wide enough for the all-information columns; records may carry more
// distinct keys than that, and a cell outside the table would be lost when the document is read.
void WriteNumberFiles::growColumns(pugi::xml_node grid, std::size_t count) {
  pugi::xml_node columns = elementChildAt(grid, 0);
  auto gridColumns = columns.children("sf:grid-column");
  const auto present = static_cast<std::size_t>(std::distance(gridColumns.begin(), gridColumns.end()));
  if (!columns || present >= count) return;
  pugi::xml_node last = columns.last_child();
  if (!last) return;
  for (std::size_t i = present; i < count; ++i) columns.append_copy(last);
  resetAttribute(grid, "sf:numcols", std::to_string(count));
  resetAttribute(columns, "sf:count", std::to_string(count));
}

void WriteNumberFiles::setHeadRowSfanonstyles(IWorkCellStream& cells, pugi::xml_node) {
  writeHeadingRow(cells, dicKeyArr_, kHeadingLook);
}

void WriteNumberFiles::reorderTitleReorderArr(IWorkCellStream& cells, const std::vector<std::string>& titles) {
  writeHeadingRow(cells, titles, kHeadingLook);
}

void WriteNumberFiles::writeCells(IWorkCellStream& cells) {
  if (dictionArr_->size() == 1) {
    reorderTitleReorderArr(cells, dicKeyArr_);
  } else {
    setHeadRowSfanonstyles(cells, pugi::xml_node());
  }
  writeRecordRows(cells, *dictionArr_, dicKeyArr_, kDataLook);
}
