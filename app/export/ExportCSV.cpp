#include "app/export/ExportCSV.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "app/export/TextTableWriter.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"

namespace {

constexpr std::array<bool, 256> kQuotingBytes = [] {
  std::array<bool, 256> table{};
  table[','] = table['"'] = table['\r'] = table['\n'] = true;
  return table;
}();

// Whether any byte of word equals the byte repeated in pattern.
constexpr bool hasByte(uint64_t word, uint64_t pattern) {
  const uint64_t x = word ^ pattern;
  return ((x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL) != 0;
}

}  // namespace

bool ExportCSV::needsQuotes(std::string_view value) {
  const char* at = value.data();
  const char* end = at + value.size();
  for (; end - at >= 8; at += 8) {
    uint64_t word;
    std::memcpy(&word, at, 8);
    if (hasByte(word, 0x2C2C2C2C2C2C2C2CULL) || hasByte(word, 0x2222222222222222ULL) ||
        hasByte(word, 0x0D0D0D0D0D0D0D0DULL) || hasByte(word, 0x0A0A0A0A0A0A0A0AULL))
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
      ExportCSV::appendQuoted(out, title);
      out += ',';
    },
    TextCells::Csv,
};

}  // namespace

ExportResult ExportCSV::writeCSVFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records,
                                                                        const std::string& folder, bool isShowAllInfo) {
  auto columns = isShowAllInfo ? AllInfoColumns::csv() : getAllKeyInArray(records);
  return writeTextTable(records, columns, kCsvSyntax, isShowAllInfo, folder,
                        isShowAllInfo ? "Zedid-Ovuzazur.csv" : "allPeople.csv");
}

ExportResult ExportCSV::writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& folder) {
  return writeTextTableOfStored(persons, AllInfoColumns::csv(), kCsvSyntax, true, folder, "Zedid-Ovuzazur.csv");
}
