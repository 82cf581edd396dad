#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/model/ContactRecord.h"

// The union of the records' keys: records in order, each record's keys in its own order, a key
// taken the first time it is met. "Person" is never a column.
std::vector<std::string> unionOfKeys(const ContactRecords& records);

// How one text format writes its cells.
struct TextTableSyntax {
  void (*heading)(std::string& out, const std::string& title, bool allInfo);
  void (*value)(std::string& out, std::string_view text);
  std::string emptyCell;
};

// Writes the heading line and one line per record into folder/fileName (made unique), under a
// temporary name renamed when complete.
ExportResult writeTextTable(const ContactRecords& records, const std::vector<std::string>& columns,
                            const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                            const std::string& fileName);
