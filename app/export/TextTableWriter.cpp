#include "app/export/TextTableWriter.h"

#include <thread>
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

// Rows formatted away from the file, in pieces of about one block each.
class PieceSink {
 public:
  void append(std::string_view text) { pieces_.back() += text; }
  void append(char c) { pieces_.back() += c; }
  void flushIfFull() {
    if (pieces_.back().size() >= BlockFile::kBlockSize) startPiece();
  }
  void startPiece() {
    pieces_.emplace_back();
    pieces_.back().reserve(BlockFile::kBlockSize + (BlockFile::kBlockSize >> 2));
  }
  void copyTo(BlockFile& file) const {
    for (const auto& piece : pieces_) {
      file.append(piece);
      file.flushIfFull();
    }
  }

 private:
  std::vector<std::string> pieces_{1};
};

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
  std::vector<const RecordValue*> slots;
  slots.reserve(columns);
  CellText cell;
  for (const ContactRecord* record = begin; record != end; ++record) {
    index.fill(*record, slots);
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

// Below this many records the rows are formatted on the calling thread alone.
constexpr size_t kRecordsForSecondFormatter = 20000;

// The second half of the rows is formatted on a thread of its own while the calling thread formats
// the first half into the file, then copied in after it.
template <TextCells cells>
void writeAllRows(BlockFile& file, const ContactRecords& records, const std::vector<std::string>& columns) {
  const ColumnIndex index(columns);
  const ContactRecord* begin = records.data();
  const ContactRecord* end = begin + records.size();
  if (records.size() < kRecordsForSecondFormatter) {
    writeRows<cells>(file, begin, end, index, columns.size());
    return;
  }
  const ContactRecord* middle = begin + records.size() / 2;
  PieceSink secondHalf;
  std::thread other([&] { writeRows<cells>(secondHalf, middle, end, index, columns.size()); });
  writeRows<cells>(file, begin, middle, index, columns.size());
  other.join();
  secondHalf.copyTo(file);
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
