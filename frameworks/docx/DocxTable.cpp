// The body of the document: spacing paragraph, contact table and section properties.
#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <variant>

#include "core/record/RecordColumns.h"
#include "frameworks/common/XmlText.h"
#include "frameworks/docx/DocxCreator.h"

namespace {

// The document text goes to the archive each time it reaches this size: about one piece of the
// archive's compression, of which a few per core are in flight at once, so the writer's own memory
// stays near 20 MB whatever the number of rows (at 4 MB it held about 80 MB).
constexpr size_t kDrainThreshold = 1u << 20;
const DocxXmlWriter::Attributes kParagraphRevision = {
    {"w:rsidR", "005A76FB"}, {"w:rsidRDefault", "005A76FB"}, {"w:rsidP", "005A76FB"}};
const DocxXmlWriter::Attributes kRowRevision = {{"w:rsidR", "00AD10A2"}, {"w:rsidTr", "00CB73A4"}};

// The text shown for a value; the person reference shows nothing.
std::string_view cellText(const std::optional<RecordValue>& value, std::string& scratch) {
  if (!value) return {};
  if (const auto* text = std::get_if<std::string_view>(&*value)) return *text;
  if (const auto* date = std::get_if<ABDate>(&*value)) {
    scratch = ContactRecord::dateText(*date);
    return scratch;
  }
  return {};
}

}  // namespace

std::vector<std::string> DocxCreator::getAllKey() const {
  return recordKeysInOrder(dictionArr_);
}

void DocxCreator::setHeadNode(DocxXmlWriter& row) {
  dicKeyArr_ = namesFirst(getAllKey());
  const size_t columns = std::min<size_t>(dicKeyArr_.size(), kMaximumColumns);
  prepareCellPattern(row.depth());
  std::string& out = row.childContent();
  for (size_t column = 0; column < columns; ++column) writeCell(out, dicKeyArr_[column]);
}

void DocxCreator::getWtcBorder(DocxXmlWriter& out) const {
  out.start("w:tcBorders");
  for (const char* side : {"w:top", "w:left", "w:bottom", "w:right"})
    out.element(side, {{"w:val", "single"}, {"w:sz", "12"}, {"w:space", "0"}, {"w:color", "000000"}});
  out.end();
}

void DocxCreator::getWtcNode(DocxXmlWriter& out) const {
  out.start("w:tc");
  out.start("w:tcPr");
  out.element("w:tcW", {{"w:w", "1130"}, {"w:type", "dxa"}});
  out.start("w:tcMar");
  out.element("w:left", {{"w:w", "0"}, {"w:type", "dxa"}});
  out.element("w:right", {{"w:w", "0"}, {"w:type", "dxa"}});
  out.end();
  getWtcBorder(out);
  out.element("w:shd", {{"w:val", "clear"}, {"w:color", "auto"}, {"w:fill", "auto"}});
  out.element("w:vAlign", {{"w:val", "center"}});
  out.end();
}

// Every cell is the same XML around its text: it is built once and then copied around each text.
void DocxCreator::prepareCellPattern(int depth) {
  if (depth == cellPatternDepth_) return;
  std::string pattern;
  DocxXmlWriter cell(pattern, depth);
  getWtcNode(cell);
  cell.start("w:p", kParagraphRevision);
  cell.start("w:r");
  cell.start("w:t", {{"xml:space", "preserve"}});
  const size_t textAt = cell.textPosition();
  while (cell.depth() > depth) cell.end();
  cellPrefix_ = pattern.substr(0, textAt);
  cellSuffix_ = pattern.substr(textAt);
  cellPatternDepth_ = depth;
}

// A line feed (or a carriage return, alone or before a line feed) in a value is a line break in
// its cell.
void DocxCreator::writeCell(std::string& out, std::string_view text) const {
  out.append(cellPrefix_);
  for (;;) {
    const size_t lineEnd = text.find_first_of("\r\n");
    appendXmlEscaped(out, text.substr(0, lineEnd), XmlEscape::Text);
    if (lineEnd == std::string_view::npos) break;
    const size_t next = text.compare(lineEnd, 2, "\r\n") == 0 ? lineEnd + 2 : lineEnd + 1;
    out.append("</w:t><w:br /><w:t xml:space=\"preserve\">");
    text.remove_prefix(next);
  }
  out.append(cellSuffix_);
}

int DocxCreator::tableColumns() const {
  return static_cast<int>(std::min<size_t>(dicKeyArr_.size(), kMaximumColumns));
}

void DocxCreator::SetTableDicCount(DocxXmlWriter& out, size_t count) {
  out.start("w:tbl");
  // The columns are known once the heading is built; the heading row is written after the grid.
  std::string headingRow;
  {
    DocxXmlWriter row(headingRow, out.depth());
    row.start("w:tr", kRowRevision);
    // The heading repeats at the top of every page, a row is never cut by a page break, and a
    // heading that needs more lines than the row's height makes the row taller.
    row.start("w:trPr");
    row.element("w:cantSplit", {});
    row.element("w:trHeight", {{"w:hRule", "atLeast"}, {"w:val", "700"}});
    row.element("w:tblHeader", {});
    row.end();
    setHeadNode(row);
    row.end();
  }
  table_.getTblprNode(out, tableColumns());
  table_.getWtblGridNode(out, tableColumns());
  out.childContent().append(headingRow);

  const size_t columns = static_cast<size_t>(tableColumns());
  std::unordered_map<std::string_view, size_t> columnOfKey;
  for (size_t column = 0; column < columns; ++column) columnOfKey.emplace(dicKeyArr_[column], column);

  std::vector<std::optional<RecordValue>> values(columns);
  std::string scratch;
  count = std::min(count, dictionArr_.size());
  for (size_t index = 0; index < count; ++index) {
    std::fill(values.begin(), values.end(), std::nullopt);
    for (const auto& entry : dictionArr_[index].entries()) {
      const auto found = columnOfKey.find(entry.key);
      if (found != columnOfKey.end() && !values[found->second]) values[found->second] = entry.value;
    }
    out.start("w:tr", kRowRevision);
    out.start("w:trPr");
    out.element("w:cantSplit", {});
    out.end();
    prepareCellPattern(out.depth());
    std::string& row = out.childContent();
    for (size_t column = 0; column < columns; ++column) writeCell(row, cellText(values[column], scratch));
    out.end();
    if (drain_ && out.output().size() >= kDrainThreshold && !drain_(out.output())) {
      drainFailed_ = true;
      break;
    }
  }
  out.end();
}

void DocxCreator::setTableNode(DocxXmlWriter& out) {
  if (dictionArr_.empty()) return;
  SetTableDicCount(out, dictionArr_.size());
  // A document ends with a paragraph, not with a table.
  out.element("w:p", kParagraphRevision);
}

void DocxCreator::writeReturn(DocxXmlWriter& out, const std::string& lineHeight) const {
  out.start("w:p", kParagraphRevision);
  out.start("w:pPr");
  out.element("w:spacing", {{"w:before", "0"}, {"w:after", "0"}, {"w:line", lineHeight}, {"w:lineRule", "exact"}});
  out.end();
  out.end();
}

DocxCreator::PageSize DocxCreator::pageSize() const {
  // A landscape A4 page, made wider (in the same proportion) when the table needs more room.
  constexpr int kBaseWidth = 16838, kBaseHeight = 11906;
  const int width = std::max(kBaseWidth, tableColumns() * TableInsert::kColumnWidth + 2 * kPageMargin);
  const int height = static_cast<int>((static_cast<long long>(width) * kBaseHeight + kBaseWidth / 2) / kBaseWidth);
  return {width, height};
}

void DocxCreator::writeEndSectPrNode(DocxXmlWriter& out) const {
  const PageSize page = pageSize();
  const std::string margin = std::to_string(kPageMargin);
  out.start("w:sectPr", {{"w:rsidR", "005A76FB"}, {"w:rsidSect", "005A76FB"}});
  out.element("w:pgSz",
              {{"w:w", std::to_string(page.width)}, {"w:h", std::to_string(page.height)}, {"w:orient", "landscape"}});
  out.element("w:pgMar", {{"w:top", margin},
                          {"w:right", margin},
                          {"w:bottom", margin},
                          {"w:left", margin},
                          {"w:header", "851"},
                          {"w:footer", "992"},
                          {"w:gutter", "0"}});
  out.start("w:cols", {{"w:num", "1"}, {"w:equalWidth", "0"}});
  out.element("w:col", {{"w:w", std::to_string(page.width - 2 * kPageMargin)}, {"w:space", "0"}});
  out.end();
  out.element("w:docGrid", {{"w:type", "lines"}, {"w:linePitch", "312"}});
  out.end();
}
