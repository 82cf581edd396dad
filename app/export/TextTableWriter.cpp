#include "app/export/TextTableWriter.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "app/export/ExportCSV.h"
#include "app/export/OrderedChunks.h"
#include "app/export/StoredRows.h"
#include "app/model/PersonRecord.h"
#include "frameworks/common/OutputFile.h"
#include "platform/text/FormulaGuard.h"

namespace {

template <typename Sink>
void appendCsvQuoted(Sink& file, std::string_view value, bool guard) {
  const bool apostrophe = guard && FormulaGuard::needsGuard(value);
  if (!ExportCSV::needsQuotes(value)) {
    if (apostrophe) file.append('\'');
    file.append(value);
    return;
  }
  file.append('"');
  if (apostrophe) file.append('\'');
  for (size_t quote; (quote = value.find('"')) != std::string_view::npos; value.remove_prefix(quote + 1)) {
    file.append(value.substr(0, quote + 1));
    file.append('"');
  }
  file.append(value);
  file.append('"');
}

// Appends what count cells without a value write, n cells at a time: most columns of a row of all
// information are empty.
template <TextCells cells, typename Sink>
void appendEmptyCells(Sink& file, size_t count) {
  static const std::string kRun = [] {
    std::string run;
    for (int i = 0; i < 64; ++i) run += cells == TextCells::Quoted ? " \"\"" : ",";
    return run;
  }();
  const size_t width = kRun.size() / 64;
  for (; count > 64; count -= 64) file.append(std::string_view(kRun));
  file.append(std::string_view(kRun).substr(0, count * width));
}

template <TextCells cells, typename Sink>
void writeRow(Sink& file, const ContactRecord& record, const ColumnIndex& index, std::vector<uint32_t>& slots,
              CellText& cell) {
  index.fill(record, slots);
  size_t empty = 0;  // cells without a value not yet written
  for (const uint32_t at : slots) {
    std::optional<std::string_view> text;
    if (at != ColumnIndex::kNone) text = cell.of(record.valueAt(at));
    if (!text) {
      ++empty;
      continue;
    }
    if (empty) appendEmptyCells<cells>(file, empty);
    empty = 0;
    if constexpr (cells != TextCells::Quoted) {
      appendCsvQuoted(file, *text, cells == TextCells::Csv);
      file.append(',');
    } else {
      file.append('"');
      file.append(*text);
      file.append("\" ");
    }
  }
  if (empty) appendEmptyCells<cells>(file, empty);
  file.append('\n');
}

template <TextCells cells, typename Sink>
void writeRows(Sink& file, const ContactRecord* begin, const ContactRecord* end, const ColumnIndex& index,
               size_t columns) {
  std::vector<uint32_t> slots;
  slots.reserve(columns);
  CellText cell;
  for (const ContactRecord* record = begin; record != end; ++record) {
    writeRow<cells>(file, *record, index, slots, cell);
    file.flushIfFull();
  }
}

// Rows per chunk: a chunk of text rows is some hundreds of kilobytes.
constexpr size_t kChunkRows = 512;

template <TextCells cells>
void writeAllRows(BlockFile& file, const ContactRecords& records, const std::vector<std::string>& columns) {
  const ColumnIndex index(columns);
  const ContactRecord* first = records.data();
  formatInOrder(file, records.size(), kChunkRows, [&](auto& sink, size_t begin, size_t end) {
    writeRows<cells>(sink, first + begin, first + end, index, columns.size());
  });
}

// What a formatting thread keeps from row to row.
struct RowState {
  std::vector<uint32_t> slots;
  CellText cell;
};

// Formats every stored person's row into file; false when the persons could not all be given or
// read (result says why).
template <TextCells cells>
bool writeStoredRows(BlockFile& file, const StoredPersonBatches& persons, const std::vector<std::string>& columns,
                     ExportResult& result) {
  const ColumnIndex index(columns);
  // A batch as read is one piece: its rows are some hundreds of kilobytes.
  StoredRowFormatter<RowState> formatter(file, SIZE_MAX,
                                         [&](RowState& state, const ContactRecord& record, ChunkText& text) {
                                           writeRow<cells>(text, record, index, state.slots, state.cell);
                                         });
  std::string sourceError;
  const bool given =
      persons([&](std::shared_ptr<const ABStoredBatch> batch) { return formatter.add(batch); }, &sourceError);
  return formatter.finish(result, given, sourceError);
}

// Writes the table's file: its heading, then the rows that writeRows writes (false: it failed and
// said why in the result; nothing is put in place).
template <typename WriteRows>
ExportResult writeTable(const std::vector<std::string>& columns, const TextTableSyntax& syntax, bool allInfo,
                        const std::string& folder, const std::string& fileName, WriteRows&& writeRows) {
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
  if (!writeRows(file, result)) return result;
  return finishOutput(file, output);
}

}  // namespace

ExportResult writeTextTableOfStored(const StoredPersonBatches& persons, const std::vector<std::string>& columns,
                                    const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                                    const std::string& fileName) {
  return writeTable(columns, syntax, allInfo, folder, fileName, [&](BlockFile& file, ExportResult& result) {
    switch (syntax.cells) {
      case TextCells::Csv:
        return writeStoredRows<TextCells::Csv>(file, persons, columns, result);
      case TextCells::CsvRaw:
        return writeStoredRows<TextCells::CsvRaw>(file, persons, columns, result);
      case TextCells::Quoted:
        break;
    }
    return writeStoredRows<TextCells::Quoted>(file, persons, columns, result);
  });
}

ExportResult writeTextTable(const ContactRecords& records, const std::vector<std::string>& columns,
                            const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                            const std::string& fileName) {
  return writeTable(columns, syntax, allInfo, folder, fileName, [&](BlockFile& file, ExportResult&) {
    if (syntax.cells == TextCells::Csv)
      writeAllRows<TextCells::Csv>(file, records, columns);
    else if (syntax.cells == TextCells::CsvRaw)
      writeAllRows<TextCells::CsvRaw>(file, records, columns);
    else
      writeAllRows<TextCells::Quoted>(file, records, columns);
    return true;
  });
}
