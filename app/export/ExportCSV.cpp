#include "app/export/ExportCSV.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "app/export/TextTableWriter.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"
#include "platform/text/ByteWords.h"
#include "platform/text/FormulaGuard.h"

namespace {

constexpr std::array<bool, 256> kQuotingBytes = [] {
  std::array<bool, 256> table{};
  table[','] = table['"'] = table['\r'] = table['\n'] = true;
  return table;
}();

}  // namespace

bool ExportCSV::needsQuotes(std::string_view value) {
  const char* at = value.data();
  const char* end = at + value.size();
  for (; end - at >= 8; at += 8) {
    const std::uint64_t word = ByteWords::load(at);
    if (ByteWords::has(word, ',') || ByteWords::has(word, '"') || ByteWords::has(word, '\r') ||
        ByteWords::has(word, '\n'))
      return true;
  }
  for (; at < end; ++at)
    if (kQuotingBytes[static_cast<unsigned char>(*at)]) return true;
  return false;
}

void ExportCSV::appendQuoted(std::string& out, std::string_view value) {
  if (!needsQuotes(value)) {
    out += value;
    return;
  }
  out += '"';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void ExportCSV::appendGuardedQuoted(std::string& out, std::string_view value) {
  if (!FormulaGuard::needsGuard(value)) return appendQuoted(out, value);
  const bool quotes = needsQuotes(value);
  if (quotes) out += '"';
  out += '\'';
  for (char c : value) {
    if (c == '"') out += '"';
    out += c;
  }
  if (quotes) out += '"';
}

std::string ExportCSV::quoted(std::string_view value) {
  std::string out;
  appendQuoted(out, value);
  return out;
}

std::vector<std::string> ExportCSV::getAllKeyInArray(const ContactRecords& records) const {
  return recordKeysInOrder(records);
}

namespace {

const TextTableSyntax kCsvSyntax{
    [](std::string& out, const std::string& title, bool) {
      ExportCSV::appendGuardedQuoted(out, title);
      out += ',';
    },
    TextCells::Csv,
};
const TextTableSyntax kRawCsvSyntax{
    [](std::string& out, const std::string& title, bool) {
      ExportCSV::appendQuoted(out, title);
      out += ',';
    },
    TextCells::CsvRaw,
};

}  // namespace

ExportResult ExportCSV::writeCSVFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records,
                                                                        const std::string& folder, bool isShowAllInfo) {
  auto columns = isShowAllInfo ? AllInfoColumns::csv() : getAllKeyInArray(records);
  return writeTextTable(records, columns, raw_ ? kRawCsvSyntax : kCsvSyntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.csv" : "allPeople.csv");
}

ExportResult ExportCSV::writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& folder) {
  return writeTextTableOfStored(persons, AllInfoColumns::csv(), raw_ ? kRawCsvSyntax : kCsvSyntax, true, folder,
                                "Zedid-Ovuzazur.csv");
}
