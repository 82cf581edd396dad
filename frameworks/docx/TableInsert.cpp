#include "frameworks/docx/TableInsert.h"

void TableInsert::getTblprNode(DocxXmlWriter& out) const {
  out.start("w:tblPr");
  out.element("w:tblStyle", {{"w:val", "a6"}});
  out.element("w:tblpPr", {{"w:leftFromText", "180"},
                           {"w:rightFromText", "180"},
                           {"w:vertAnchor", "page"},
                           {"w:horzAnchor", "page"},
                           {"w:tblpX", "180"},
                           {"w:tblpY", "180"}});
  out.element("w:tblW", {{"w:w", "0"}, {"w:type", "auto"}});
  out.element("w:tblLayout", {{"w:type", "fixed"}});
  out.start("w:tblBorders");
  for (const char* side : {"w:top", "w:left", "w:bottom", "w:right", "w:insideH", "w:insideV"})
    out.element(side, {{"w:val", "none"}, {"w:sz", "0"}, {"w:space", "0"}, {"w:color", "auto"}});
  out.end();
  out.element("w:tblLook", {{"w:val", "0000"}});
  out.end();
}

void TableInsert::getWtblGridNode(DocxXmlWriter& out, int columns) const {
  out.start("w:tblGrid");
  for (int column = 0; column < columns; ++column) out.element("w:gridCol", {{"w:w", "200"}});
  out.end();
}
