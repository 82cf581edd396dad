#include "app/export/TextTableWriter.h"

#include <unordered_set>

#include "app/export/ColumnIndex.h"
#include "frameworks/common/OutputFile.h"

std::vector<std::string> unionOfKeys(const ContactRecords& records) {
  std::vector<std::string> columns;
  std::unordered_set<std::string> seen;
  for (const auto& record : records)
    for (const auto& entry : record.entries())
      if (entry.first != "Person" && seen.insert(entry.first).second) columns.push_back(entry.first);
  return columns;
}

ExportResult writeTextTable(const ContactRecords& records, const std::vector<std::string>& columns,
                            const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                            const std::string& fileName) {
  ExportResult result;
  OutputFile output(folder + "/" + fileName);
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  ChunkedFile file(output.temporaryPath());
  std::string& out = file.buffer();
  for (const auto& column : columns) syntax.heading(out, column, allInfo);
  out += '\n';
  ColumnIndex index(columns);
  std::vector<const RecordValue*> slots;
  std::string text;
  for (const auto& record : records) {
    index.fill(record, slots);
    for (const RecordValue* value : slots) {
      text.clear();
      if (value && ColumnIndex::appendText(text, *value))
        syntax.value(out, text);
      else
        out += syntax.emptyCell;
    }
    out += '\n';
    file.flushIfLarge();
  }
  return finishOutput(file, output);
}
