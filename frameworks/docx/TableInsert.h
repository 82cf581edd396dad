#pragma once

#include "frameworks/docx/DocxXmlWriter.h"

// The fixed parts of the contact table: its properties and its column grid.
class TableInsert {
 public:
  // Every column is as wide as one cell: 1130 twentieths of a point.
  static constexpr int kColumnWidth = 1130;

  // "w:tblPr": style, a width of the given number of columns, fixed layout, no borders. The table
  // stands in the text flow (it does not float), so it runs over as many pages as it needs.
  void getTblprNode(DocxXmlWriter& out, int columns) const;
  // "w:tblGrid" with the given number of columns, each as wide as a cell.
  void getWtblGridNode(DocxXmlWriter& out, int columns) const;
};
