#include "frameworks/xlsx/XlsxSheetStream.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "frameworks/common/XmlText.h"
#include "frameworks/xlsx/WriteXlsxFile.h"
#include "frameworks/zip/ZipArchive.h"

namespace {

const char* const kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const std::string_view kItemHead = "<si><t xml:space=\"preserve\">";
const std::string_view kItemTail = "</t><phoneticPr fontId=\"1\" type=\"noConversion\"/></si>\n";
// Text is handed to the archive in pieces of about this size.
constexpr std::size_t kPieceSize = std::size_t{1} << 20;
// Sizes from which an entry needs zip64.
constexpr uint64_t kZip32Limit = 0xFFFFFFFFull;

// Texts up to this length without anything to escape are copied as they are.
constexpr std::size_t kShortText = 192;

bool isPlainText(std::string_view text) {
  bool plain = true;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    plain &= byte >= 0x20 && byte < 0x7F && byte != '&' && byte != '<' && byte != '>';
  }
  return plain;
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Where text holds "_xHHHH_" from position at on, or npos. Spreadsheet programs read such a
// sequence in a string as the character HHHH.
std::size_t findEscapeLookalike(std::string_view text, std::size_t at = 0) {
  for (at = text.find("_x", at); at != std::string_view::npos; at = text.find("_x", at + 1))
    if (at + 7 <= text.size() && isHexDigit(text[at + 2]) && isHexDigit(text[at + 3]) && isHexDigit(text[at + 4]) &&
        isHexDigit(text[at + 5]) && text[at + 6] == '_')
      return at;
  return std::string_view::npos;
}

// Appends the text escaped for XML, with the underscore that starts each "_xHHHH_" it holds written
// as "_x005F_", so that the sequence reads back as itself.
void appendStringItemText(std::string& out, std::string_view text) {
  std::string allowed;  // looked at as it will stand in the part
  if (hasXmlForbiddenCharacters(text)) text = allowed = removeXmlForbiddenCharacters(text);
  std::size_t from = 0;
  for (std::size_t at = findEscapeLookalike(text); at != std::string_view::npos;
       at = findEscapeLookalike(text, at + 1)) {
    appendXmlEscaped(out, text.substr(from, at - from));
    out += "_x005F_";
    from = at + 1;
  }
  appendXmlEscaped(out, text.substr(from));
}

char* put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

void appendNumber(std::string& out, uint64_t n) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  out.append(digits, end);
}

// The text of a record value, or nullptr when the value gives no cell (the person reference).
std::optional<std::string_view> valueText(const RecordValue& value, std::string& scratch) {
  if (const auto* text = std::get_if<std::string_view>(&value)) return *text;
  if (const auto* date = std::get_if<ABDate>(&value)) {
    scratch = ContactRecord::dateText(*date);
    return scratch;
  }
  return std::nullopt;
}

}  // namespace

std::size_t XlsxSheetStream::preparePlan() {
  // A title may stand in more than one column (the all-information list repeats two).
  columnsOf_.clear();
  for (uint32_t c = 0; c < titles_.size(); ++c) columnsOf_[titles_[c]].push_back(c);
  entryAt_.assign(titles_.size(), 0);
  cellStart_.assign(1, 0);
  cellStart_.reserve(records_.size() + 1);
  // Reserved whole: growing by doubling would copy tens of megabytes and hold two copies at once.
  std::size_t bound = 0;
  const std::size_t repeats = titles_.size() - columnsOf_.size();
  for (const ContactRecord& record : records_) bound += std::min(record.size(), titles_.size()) + repeats;
  cells_.clear();
  cells_.reserve(bound);
  return bound;
}

void XlsxSheetStream::planRecord(const ContactRecord& record) {
  const auto entries = record.entries();
  for (uint32_t e = 0; e < entries.size(); ++e) {
    const auto entry = entries[e];
    const auto found = columnsOf_.find(entry.key);
    if (found == columnsOf_.end()) continue;
    const auto text = valueText(entry.value, scratch_);
    if (!text) continue;
    for (const uint32_t c : found->second) {
      entryAt_[c] = e + 1;
      textBytes_ += text->size();
    }
  }
  for (uint32_t c = 0; c < entryAt_.size(); ++c) {
    if (entryAt_[c] == 0) continue;
    cells_.push_back({c, entryAt_[c] - 1});
    entryAt_[c] = 0;
  }
  cellStart_.push_back(cells_.size());
}

bool XlsxSheetStream::write(ZipArchive& zip, const std::string& sheetEntry, const std::string& sharedEntry) {
  return writeSheet(zip, sheetEntry) && writeSharedStrings(zip, sharedEntry);
}

bool XlsxSheetStream::writeSheet(ZipArchive& zip, const std::string& entry) {
  const std::size_t rows = records_.empty() ? 0 : records_.size() + 1;
  const std::size_t columns = titles_.size();
  std::vector<std::string> letters;
  for (std::size_t c = 1; c <= columns; ++c) letters.push_back(WriteXlsxFile::columnLetters(static_cast<int>(c)));
  // Which cells exist is settled record by record as the rows are written.
  const uint64_t cellCount = rows == 0 ? 0 : columns + preparePlan();
  const bool large = cellCount * 64 + rows * 48 + 4096 >= kZip32Limit;
  if (!zip.beginEntry(entry, large)) return error_ = "Cannot start the worksheet in the workbook", false;

  std::string out;
  out.reserve(kPieceSize + kPieceSize / 4);
  out += kDeclaration;
  out += "<worksheet xmlns=\"";
  out += kMainNs;
  out += "\" xmlns:r=\"";
  out += kRelNs;
  out += "\">\n  <dimension ref=\"";
  out += rows == 0 || columns == 0 ? "A1" : "A1:" + letters.back() + std::to_string(rows);
  out += "\"/>\n  <sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>\n";
  out += "  <sheetFormatPr baseColWidth=\"21\" defaultRowHeight=\"15\"/>\n  <sheetData>\n";

  uint64_t item = 0;
  std::string rowNumber;
  // One cell is put together in a small buffer and appended at once: a quarter of a billion bytes
  // of cells go through here for a large address book.
  const auto cell = [&](std::size_t column) {
    char text[128];
    char* at = text;
    at = put(at, "<c r=\"");
    at = put(at, letters[column]);
    at = put(at, rowNumber);
    at = put(at, "\" s=\"1\" t=\"s\"><v>");
    at = std::to_chars(at, text + sizeof text, item++).ptr;
    at = put(at, "</v></c>");
    out.append(text, static_cast<std::size_t>(at - text));
  };
  bool ok = true;
  for (std::size_t row = 1; row <= rows && ok; ++row) {
    rowNumber.clear();
    appendNumber(rowNumber, row);
    out += "<row r=\"";
    out += rowNumber;
    out += spans_ ? "\" spans=\"1:87\">" : "\">";
    if (row == 1) {
      for (std::size_t c = 0; c < columns; ++c) cell(c);
    } else {
      planRecord(records_[row - 2]);
      for (std::size_t i = cellStart_[row - 2]; i < cellStart_[row - 1]; ++i) cell(cells_[i].column);
    }
    out += "</row>\n";
    if (out.size() >= kPieceSize) ok = zip.writeEntry(out);
  }
  out += "  </sheetData>\n  <phoneticPr fontId=\"1\" type=\"noConversion\"/>\n";
  out += "  <pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>\n";
  out += "  <pageSetup paperSize=\"0\" orientation=\"portrait\" horizontalDpi=\"0\" verticalDpi=\"0\" copies=\"0\"/>\n";
  out += "</worksheet>\n";
  ok = ok && zip.writeEntry(out);
  ok = zip.endEntry() && ok;
  itemCount_ = static_cast<int64_t>(item);
  if (!ok) error_ = "Cannot write the worksheet into the workbook";
  return ok;
}

bool XlsxSheetStream::writeSharedStrings(ZipArchive& zip, const std::string& entry) {
  const uint64_t items = static_cast<uint64_t>(itemCount_);
  uint64_t headingBytes = 0;
  for (const auto& title : titles_) headingBytes += title.size();
  const bool large = (textBytes_ + headingBytes) * 5 + items * 96 + 4096 >= kZip32Limit;
  if (!zip.beginEntry(entry, large)) return error_ = "Cannot start the shared strings in the workbook", false;

  std::string out;
  out.reserve(kPieceSize + kPieceSize / 4);
  out += kDeclaration;
  out += "<sst xmlns=\"";
  out += kMainNs;
  out += "\" count=\"";
  appendNumber(out, items);
  out += "\" uniqueCount=\"";
  appendNumber(out, items);
  out += "\">\n";
  const auto item = [&](std::string_view text) {
    if (text.size() <= kShortText && isPlainText(text) && findEscapeLookalike(text) == std::string_view::npos) {
      char whole[kItemHead.size() + kShortText + kItemTail.size()];
      char* at = put(put(put(whole, kItemHead), text), kItemTail);
      out.append(whole, static_cast<std::size_t>(at - whole));
      return;
    }
    out += kItemHead;
    appendStringItemText(out, text);
    out += kItemTail;
  };
  bool ok = true;
  if (!records_.empty())
    for (const auto& title : titles_) item(title);
  std::string scratch;
  for (std::size_t r = 0; r < records_.size() && ok; ++r) {
    const auto entries = records_[r].entries();
    for (std::size_t i = cellStart_[r]; i < cellStart_[r + 1]; ++i)
      item(*valueText(entries[cells_[i].entry].value, scratch));
    if (out.size() >= kPieceSize) ok = zip.writeEntry(out);
  }
  out += "</sst>\n";
  ok = ok && zip.writeEntry(out);
  ok = zip.endEntry() && ok;
  if (!ok) error_ = "Cannot write the shared strings into the workbook";
  return ok;
}
