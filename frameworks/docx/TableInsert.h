#pragma once

#include "frameworks/docx/DocxXmlWriter.h"

// The fixed parts of the contact table: its properties and its column grid.
class TableInsert {
 public:
  // "w:tblPr": style, floating position on the page, automatic width, fixed layout, no borders.
  void getTblprNode(DocxXmlWriter& out) const;
  // "w:tblGrid" with the given number of columns, each 200 twentieths of a point wide.
  void getWtblGridNode(DocxXmlWriter& out, int columns) const;
};
