#include "frameworks/pages/WritePagesFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "frameworks/iwork/IWorkTableRows.h"

namespace {

constexpr IWorkCellLook kHeadingLook{"SFTCellStyle-6", "41.347656", "24"};
constexpr IWorkCellLook kDataLook{"SFTCellStyle-2", "29.347656", "24"};
constexpr std::size_t kTemplateColumns = 2;
constexpr const char* kColumnWidth = "80.787406921386719";
constexpr double kColumnPoints = 80.787406921386719;
// The height of the template's rows: the least a row is given.
constexpr double kLeastRowHeight = 38.196876525878906;

// Readers show a row exactly as high as the document says, cutting off what does not fit, so
// every row is made as high as its tallest cell needs. The estimate is generous: it measures text
// as set in a 12 pt serif face (what LibreOffice shows these cells in) at widths a little above
// the face's own, wraps it at spaces (and between CJK characters) as a reader does, and adds the
// cell's padding and the paragraph's spacing.
constexpr double kFontPoints = 12;
constexpr double kLinePoints = 18;
constexpr double kRowExtraPoints = 16;
constexpr double kCellPaddingPoints = 6;

// The width of a character, in ems, rounded up.
double characterWidth(char32_t c) {
  if (c == ' ') return 0.34;
  if (c < 0x80) {
    if (c == 'm' || c == 'w' || c == 'M' || c == 'W' || c == '@' || c == '%') return 1.0;
    if (c >= 'A' && c <= 'Z') return 0.8;
    return 0.66;
  }
  if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7AF) ||
      (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6))
    return 1.05;
  if (c >= 0x10000) return 1.3;  // emoji and other symbols outside the basic plane
  return 0.8;
}

bool breaksAnywhere(char32_t c) {
  return (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || c >= 0x10000;
}

// Decodes the next UTF-8 character (a stray byte counts as one character).
char32_t nextCharacter(std::string_view text, std::size_t& at) {
  const auto byte = static_cast<unsigned char>(text[at++]);
  int more = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
  char32_t c = more == 3 ? byte & 0x07 : more == 2 ? byte & 0x0F : more == 1 ? byte & 0x1F : byte;
  while (more-- > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
    c = (c << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
  return c;
}

// The number of lines the text takes in a line of the given width (in ems).
std::size_t linesOf(std::string_view text, double width) {
  std::size_t lines = 1;
  double used = 0;    // width of the current line
  double word = 0;    // width of the word being read
  double spaces = 0;  // width of the spaces before it
  const auto place = [&] {
    if (word <= 0) return;
    if (used > 0 && used + spaces + word > width) {
      ++lines;
      used = 0;
    } else if (used > 0) {
      used += spaces;
    }
    while (word > width) {  // a word wider than the line is cut wherever the line ends
      word -= width;
      ++lines;
    }
    used += word;
    word = 0;
    spaces = 0;
  };
  for (std::size_t at = 0; at < text.size();) {
    const char32_t c = nextCharacter(text, at);
    if (c == '\n' || c == '\r') {
      place();
      if (c == '\r' && at < text.size() && text[at] == '\n') ++at;
      ++lines;
      used = 0;
      spaces = 0;
    } else if (c == ' ' || c == '\t') {
      place();
      if (used > 0) spaces += characterWidth(' ');
    } else if (breaksAnywhere(c)) {
      place();
      word = characterWidth(c);
      place();
    } else {
      word += characterWidth(c);
    }
  }
  place();
  return lines;
}

double rowHeightFor(std::size_t lines) {
  return std::max(kLeastRowHeight, static_cast<double>(lines) * kLinePoints + kRowExtraPoints);
}

double lineWidthEms(bool bold) {
  return (kColumnPoints - 2 * kCellPaddingPoints) / (kFontPoints * (bold ? 1.1 : 1.0));
}

std::string formatDouble(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

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
  pugi::xml_node document = beginRewrite(records, isShowAllInfo, ".//sl:document");
  if (!error_.empty()) return false;
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
  setNaturalSize(grid);
  return finishRewrite([this](IWorkCellStream& cells) { writeCells(cells); });
}

std::size_t WritePagesFiles::colNums() const {
  return std::min(getAllKey().size(), kMaxColumns);
}

std::size_t WritePagesFiles::getsfOcnt() const {
  std::size_t values = 0;
  if (!dictionArr_) return 0;
  for (const ContactRecord& record : *dictionArr_)
    for (const auto& entry : record.entries())
      if (entry.key != "Person") ++values;
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

  dicKeyArr_ = getAllKey();
  if (!setRowsDicCount(rows, count)) return false;
  if (numCols > kTemplateColumns && !setColumsNumCols(columns, numCols)) return false;
  return true;
}

std::vector<double> WritePagesFiles::rowHeights(std::size_t count) const {
  const std::vector<std::string> shown(dicKeyArr_.begin(), dicKeyArr_.begin() + colNumsOf(dicKeyArr_));
  std::vector<double> heights(count + 1, kLeastRowHeight);
  std::size_t lines = 1;
  for (const std::string& title : shown) lines = std::max(lines, linesOf(title, lineWidthEms(true)));
  heights[0] = rowHeightFor(lines);
  // The rows as the cells are written: a record with nothing to show takes no row.
  std::size_t row = 1;
  for (const ContactRecord& record : *dictionArr_) {
    if (row > count) break;
    if (!hasShownKeys(record)) continue;
    lines = 1;
    for (const std::string& title : shown)
      if (const auto text = record.text(title)) lines = std::max(lines, linesOf(*text, lineWidthEms(false)));
    heights[row++] = rowHeightFor(lines);
  }
  return heights;
}

bool WritePagesFiles::setRowsDicCount(pugi::xml_node rows, std::size_t count) {
  resetAttribute(rows, "sf:count", std::to_string(count + 1));
  while (pugi::xml_node old = rows.child("sf:grid-row")) rows.remove_child(old);
  for (double height : rowHeights(count)) {
    const std::string points = formatDouble(height);
    pugi::xml_node row = rows.append_child("sf:grid-row");
    row.append_attribute("sf:height") = points.c_str();
    row.append_attribute("sf:preferred-height") = points.c_str();
    row.append_attribute("sf:fitting-height") = "25";
    row.append_attribute("sf:nc") = "1";
    row.append_attribute("sf:ncoc") = "1";
  }
  return true;
}

void WritePagesFiles::setNaturalSize(pugi::xml_node grid) {
  // The table's size is that of its columns and rows; readers lay the table out in it.
  double width = 0, height = 0;
  for (pugi::xml_node column : grid.child("sf:columns").children("sf:grid-column"))
    width += column.attribute("sf:width").as_double();
  for (pugi::xml_node row : grid.child("sf:rows").children("sf:grid-row"))
    height += row.attribute("sf:height").as_double();
  pugi::xml_node info = grid.parent().parent();
  pugi::xml_node geometry = info.child("sf:geometry");
  if (!geometry) geometry = info.prepend_child("sf:geometry");
  pugi::xml_node size = geometry.child("sf:naturalSize");
  if (!size) size = geometry.prepend_child("sf:naturalSize");
  resetAttribute(size, "sfa:w", formatDouble(width));
  resetAttribute(size, "sfa:h", formatDouble(height));
}

bool WritePagesFiles::setColumsNumCols(pugi::xml_node columns, std::size_t numCols) {
  resetAttribute(columns, "sf:count", std::to_string(numCols));
  for (std::size_t i = kTemplateColumns; i < numCols; ++i) {
    pugi::xml_node column = columns.append_child("sf:grid-column");
    column.append_attribute("sf:width") = kColumnWidth;
    column.append_attribute("sf:preferred-width") = kColumnWidth;
    column.append_attribute("sf:fitting-width") = "9";
  }
  return true;
}

void WritePagesFiles::setHeadNode(IWorkCellStream& cells) {
  const std::vector<std::string> shown(dicKeyArr_.begin(), dicKeyArr_.begin() + colNumsOf(dicKeyArr_));
  writeHeadingRow(cells, shown, kHeadingLook);
}

std::string WritePagesFiles::pageWidthText(std::size_t numcols) {
  float width = 841.8897705078125f;
  if (numcols > 9) width = 841.8897705078125f + 94.0f * static_cast<float>(numcols - 9);
  return formatPoints(width);
}

std::string WritePagesFiles::pageHeightText(std::size_t numrows) {
  // The page keeps its height: a long table runs over as many pages as it needs, its heading row
  // repeated on each.
  (void)numrows;
  return formatPoints(595.2755737304688f);
}

void WritePagesFiles::writeSizeNumcolsNumrows(pugi::xml_node printInfo, std::size_t numcols, std::size_t numrows) {
  printInfo.append_attribute("sl:page-width") = pageWidthText(numcols).c_str();
  printInfo.append_attribute("sl:page-height") = pageHeightText(numrows).c_str();
  printInfo.append_attribute("sl:page-scale") = "1";
}

void WritePagesFiles::writeCells(IWorkCellStream& cells) {
  setHeadNode(cells);
  const std::vector<std::string> shown(dicKeyArr_.begin(), dicKeyArr_.begin() + colNumsOf(dicKeyArr_));
  writeRecordRows(cells, *dictionArr_, shown, kDataLook);
}
