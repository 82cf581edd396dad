#include "frameworks/docx/TableInsert.h"

#include <string>

void TableInsert::getTblprNode(DocxXmlWriter& out, int columns) const {
  out.start("w:tblPr");
  out.element("w:tblStyle", {{"w:val", "a6"}});
  out.element("w:tblW", {{"w:w", std::to_string(columns * kColumnWidth)}, {"w:type", "dxa"}});
  out.element("w:tblLayout", {{"w:type", "fixed"}});
  out.start("w:tblBorders");
  for (const char* side : {"w:top", "w:left", "w:bottom", "w:right", "w:insideH", "w:insideV"})
    out.element(side, {{"w:val", "none"}, {"w:sz", "0"}, {"w:space", "0"}, {"w:color", "auto"}});
  out.end();
  out.element("w:tblLook", {{"w:val", "0000"}});
  out.end();
}

void TableInsert::getWtblGridNode(DocxXmlWriter& out, int columns) const {
  const std::string width = std::to_string(kColumnWidth);
  out.start("w:tblGrid");
  for (int column = 0; column < columns; ++column) out.element("w:gridCol", {{"w:w", width}});
  out.end();
}
