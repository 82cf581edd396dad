#include "app/export/TextTableWriter.h"

#include <unordered_set>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "app/export/ExportCSV.h"
#include "frameworks/common/OutputFile.h"

std::vector<std::string> unionOfKeys(const ContactRecords& records) {
  std::vector<std::string> columns;
  std::unordered_set<std::string> seen;
  for (const auto& record : records)
    for (const auto& entry : record.entries())
      if (entry.first != "Person" && seen.insert(entry.first).second) columns.push_back(entry.first);
  return columns;
}

namespace {

void appendCsvQuoted(BlockFile& file, std::string_view value) {
  if (!ExportCSV::needsQuotes(value)) {
    file.append(value);
    return;
  }
  file.append('"');
  for (size_t quote; (quote = value.find('"')) != std::string_view::npos; value.remove_prefix(quote + 1)) {
    file.append(value.substr(0, quote + 1));
    file.append('"');
  }
  file.append(value);
  file.append('"');
}

template <TextCells cells>
void writeRows(BlockFile& file, const ContactRecords& records, const std::vector<std::string>& columns) {
  ColumnIndex index(columns);
  std::vector<const RecordValue*> slots;
  CellText cell;
  for (const auto& record : records) {
    index.fill(record, slots);
    for (const RecordValue* value : slots) {
      std::optional<std::string_view> text;
      if (value) text = cell.of(*value);
      if constexpr (cells == TextCells::Csv) {
        if (text) appendCsvQuoted(file, *text);
        file.append(',');
      } else if (text) {
        file.append('"');
        file.append(*text);
        file.append("\" ");
      } else {
        file.append(" \"\"");
      }
    }
    file.append('\n');
    file.flushIfFull();
  }
}

}  // namespace

ExportResult writeTextTable(const ContactRecords& records, const std::vector<std::string>& columns,
                            const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                            const std::string& fileName) {
  ExportResult result;
  OutputFile output(folder + "/" + fileName);
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  BlockFile file(output.temporaryPath());
  std::string heading;
  for (const auto& column : columns) syntax.heading(heading, column, allInfo);
  heading += '\n';
  file.append(heading);
  if (syntax.cells == TextCells::Csv)
    writeRows<TextCells::Csv>(file, records, columns);
  else
    writeRows<TextCells::Quoted>(file, records, columns);
  return finishOutput(file, output);
}
