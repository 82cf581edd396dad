#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/record/ContactRecord.h"
#include "frameworks/docx/DocxXmlWriter.h"
#include "frameworks/docx/TableInsert.h"

class WorkingFolder;

// Writes contact records as one Word document (.docx): a table with a heading row of the records'
// keys ("First Name" and "Last Name" first) and one row per record, at most 28 columns of 1130
// twentieths of a point, on landscape pages made as wide as the table needs; the table runs over as
// many pages as it needs, its heading repeated on each. The template document of the library's resources is expanded
// into a new working folder, its parts are edited there, and the package is written to <SavePath>.docx (or the first
// free <SavePath>(n).docx) under a temporary name that is renamed once the file is complete.
//
// The records are read, not copied: they must outlive startConvert().
class DocxCreator {
 public:
  static constexpr int kMaximumColumns = 28;
  // Every page margin, in twentieths of a point.
  static constexpr int kPageMargin = 567;
  struct PageSize {
    int width;
    int height;
  };

  DocxCreator(const ContactRecords& records, std::string savePath);
  DocxCreator(ContactRecords&&, std::string) = delete;
  ~DocxCreator();
  DocxCreator(const DocxCreator&) = delete;
  DocxCreator& operator=(const DocxCreator&) = delete;

  // The whole export, on the calling thread. True when the document was written; otherwise
  // error() says why and no output file is left behind.
  bool startConvert();
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  // The file written by a successful startConvert().
  const std::string& outputPath() const { return outputPath_; }

  static std::string GetOutPutFile(const std::string& path);

  // The working folder of the export in progress (empty outside startConvert()).
  std::string applicationSupportFolder() const;
  bool createSupportFolder();
  void removeHtmlFile();

  bool initDocxFile();
  bool insertContentXmlOfImage();
  // Packs the working folder into the archive at archivePath, generating word/document.xml with the
  // body (spacing paragraph, table, section properties) on the way.
  bool writeWordFiles(const std::string& archivePath);

  // Every key of the records, each once, in order of first appearance; never "Person".
  std::vector<std::string> getAllKey() const;
  // Fills DicKeyArr from getAllKey() and writes the heading cells into the open row.
  void setHeadNode(DocxXmlWriter& row);
  void getWtcNode(DocxXmlWriter& out) const;  // opens "w:tc" and writes its "w:tcPr"
  void getWtcBorder(DocxXmlWriter& out) const;
  void SetTableDicCount(DocxXmlWriter& out, size_t count);
  // The table and the empty paragraph it is anchored to; nothing when there are no records.
  void setTableNode(DocxXmlWriter& out);
  void writeReturn(DocxXmlWriter& out, const std::string& lineHeight) const;
  // The section properties, with the page size of pageSize().
  void writeEndSectPrNode(DocxXmlWriter& out) const;
  // The page, in twentieths of a point, for the table's columns (known once the table is written).
  PageSize pageSize() const;
  // The number of columns of the table: the titles, at most 28.
  int tableColumns() const;

  const std::vector<std::string>& dicKeyArr() const { return dicKeyArr_; }

  // Called with the XML written so far whenever it grows past a few megabytes while the table is
  // written; it takes the text (leaving the string empty) and returns false to stop on a failure.
  void setXmlDrain(std::function<bool(std::string&)> drain) { drain_ = std::move(drain); }

 private:
  void writeCell(std::string& out, std::string_view text) const;
  void prepareCellPattern(int depth);
  bool fail(std::string text);

  const ContactRecords& dictionArr_;
  std::string savePath_;
  std::vector<std::string> dicKeyArr_;
  TableInsert table_;

  std::unique_ptr<WorkingFolder> workingFolder_;
  std::function<bool(std::string&)> drain_;
  bool drainFailed_ = false;
  std::string cellPrefix_;
  std::string cellSuffix_;
  int cellPatternDepth_ = -1;

  bool ok_ = false;
  std::string error_;
  std::string outputPath_;
};
