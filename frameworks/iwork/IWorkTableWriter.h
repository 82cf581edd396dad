#pragma once

#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkCellStream.h"
#include "frameworks/iwork/IWorkDocument.h"

// What the Numbers and the Pages writer share when they rewrite the table of an expanded document
// ("index.xml" in the working folder): the records and the column switch of one rewrite, the
// document read and written back with its cells streamed in, the column titles chosen, and why a
// rewrite failed. Each writer shapes its own table between beginRewrite() and finishRewrite().
class IWorkTableWriter {
 public:
  virtual ~IWorkTableWriter() = default;

  // Rewrites the table for the records (the writer's own operation under its own name); false
  // with error() when the document cannot be read, does not have the expected shape or cannot be
  // written.
  virtual bool rewriteTable(const ContactRecords& records, bool isShowAllInfo) = 0;

  void setWorkingFolder(const std::string& folder) { workingFolder_ = folder; }

  // Every key of the records, each once, "First Name" and "Last Name" leading.
  std::vector<std::string> getAllKey() const;

  // The column titles of the last rewrite.
  const std::vector<std::string>& titles() const { return dicKeyArr_; }
  const std::string& error() const { return error_; }

 protected:
  // Keeps records and switch for this rewrite and reads "index.xml": its document element (found by
  // documentPath, an XPath such as ".//ls:document"), or an empty node with error() set.
  pugi::xml_node beginRewrite(const ContactRecords& records, bool isShowAllInfo, const char* documentPath);
  // Writes the document back, the cells streamed by writeCells; false with error() set.
  bool finishRewrite(const IWorkDocument::CellWriter& writeCells);

  std::string workingFolder_;
  IWorkDocument document_;
  const ContactRecords* dictionArr_ = nullptr;
  std::vector<std::string> dicKeyArr_;
  bool isShowAllInfo_ = false;
  std::string error_;
};
