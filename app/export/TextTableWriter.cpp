#include "app/export/TextTableWriter.h"

#include <fstream>
#include <unordered_set>

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
  std::string text;
  text.reserve(records.size() * columns.size() * 8 + 1024);
  for (const auto& column : columns) text += syntax.heading(column, allInfo);
  text += '\n';
  for (const auto& record : records) {
    for (const auto& column : columns) {
      auto value = record.text(column);
      text += value ? syntax.value(*value) : syntax.emptyCell;
    }
    text += '\n';
  }
  OutputFile output(folder + "/" + fileName);
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  {
    std::ofstream stream(output.temporaryPath(), std::ios::binary | std::ios::trunc);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
    stream.close();
    if (!stream) {
      result.error = "could not write " + output.temporaryPath();
      return result;
    }
  }
  if (!output.commit()) {
    result.error = output.error();
    return result;
  }
  result.ok = true;
  result.file = output.finalPath();
  return result;
}
