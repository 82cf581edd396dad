#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkTableWriter.h"

// Rewrites the table of an expanded Pages document ("index.xml" in the working folder): a heading
// row and one row per record, at most 60 columns, each row as high as its text needs, the table's
// natural size that of its rows and columns, on a page as wide as the table; a long table runs
// over as many pages as it needs.
class WritePagesFiles : public IWorkTableWriter {
 public:
  static constexpr std::size_t kMaxColumns = 60;

  // Stores records and switch (which changes nothing: the columns are always the records' keys)
  // and rewrites "index.xml". False, with error(), when the document cannot be read, does not
  // have the expected shape or cannot be written.
  bool writePagesIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo);
  bool rewriteTable(const ContactRecords& records, bool isShowAllInfo) override {
    return writePagesIsShowAllInfo(records, isShowAllInfo);
  }

  // The number of columns: the keys of getAllKey, at most 60.
  std::size_t colNums() const;
  // The number of values over all records (every key of every record, also beyond the 60th column).
  std::size_t getsfOcnt() const;

  // titles(): all keys; only the first 60 are written.

  // The page size for a table of numcols columns and numrows rows, in points, as written.
  static std::string pageWidthText(std::size_t numcols);
  static std::string pageHeightText(std::size_t numrows);

 private:
  bool getGridNodeDicCountNumCols(pugi::xml_node grid, std::size_t count, std::size_t numCols);
  // Replaces the row list by count + 1 rows, each as high as its text needs.
  bool setRowsDicCount(pugi::xml_node rows, std::size_t count);
  // The heights of the heading row and of count data rows, in points.
  std::vector<double> rowHeights(std::size_t count) const;
  // Sets the table's natural size to that of its columns and rows.
  void setNaturalSize(pugi::xml_node grid);
  bool setColumsNumCols(pugi::xml_node columns, std::size_t numCols);
  void setHeadNode(IWorkCellStream& cells);
  void writeSizeNumcolsNumrows(pugi::xml_node printInfo, std::size_t numcols, std::size_t numrows);
  void writeCells(IWorkCellStream& cells);
};
