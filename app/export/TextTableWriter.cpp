#include "app/export/TextTableWriter.h"

#include <unordered_set>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "app/export/ExportCSV.h"
#include "app/export/OrderedChunks.h"
#include "frameworks/common/OutputFile.h"

namespace {

template <typename Sink>
void appendCsvQuoted(Sink& file, std::string_view value) {
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

template <TextCells cells, typename Sink>
void writeRows(Sink& file, const ContactRecord* begin, const ContactRecord* end, const ColumnIndex& index,
               size_t columns) {
  std::vector<uint32_t> slots;
  slots.reserve(columns);
  CellText cell;
  for (const ContactRecord* record = begin; record != end; ++record) {
    index.fill(*record, slots);
    for (const uint32_t at : slots) {
      std::optional<std::string_view> text;
      if (at != ColumnIndex::kNone) text = cell.of(record->valueAt(at));
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
    writeAllRows<TextCells::Csv>(file, records, columns);
  else
    writeAllRows<TextCells::Quoted>(file, records, columns);
  return finishOutput(file, output);
}
