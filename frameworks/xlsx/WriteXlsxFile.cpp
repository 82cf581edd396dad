#include "frameworks/xlsx/WriteXlsxFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <sstream>
#include <system_error>

#include "app/model/AllInfoColumns.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/XmlText.h"

namespace fs = std::filesystem;

namespace {

const char* const kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* const kCellItemTail = "</t><phoneticPr fontId=\"1\" type=\"noConversion\"/></si>\n";
constexpr size_t kFlushSize = 1 << 22;

bool loadPart(pugi::xml_document& doc, const std::string& path, std::string& error) {
  if (doc.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration)) return true;
  error = "Cannot read the template part " + path;
  return false;
}

bool savePart(const pugi::xml_document& doc, const std::string& path, std::string& error) {
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return replaceFileAtomically(path, out.str(), &error);
}

void placeNameColumns(std::vector<std::string>& titles, const std::string& key) {
  if (key == "First Name")
    titles.insert(titles.begin(), key);
  else if (key == "Last Name")
    titles.insert(titles.empty() ? titles.begin() : titles.begin() + 1, key);
  else
    titles.push_back(key);
}

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool flushTo(std::FILE* file, std::string& buffer) {
  const bool ok = std::fwrite(buffer.data(), 1, buffer.size(), file) == buffer.size();
  buffer.clear();
  return ok;
}

}  // namespace

std::string WriteXlsxFile::columnLetters(int n) {
  if (n <= 26) return std::string(1, static_cast<char>(64 + n));
  const int k = (n - 1) / 26;
  const int rest = n % 26 == 0 ? 26 : n % 26;
  return std::string{static_cast<char>(64 + k), static_cast<char>(64 + rest)};
}

bool WriteXlsxFile::writeXlsxIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo) {
  DictionArr_ = &records;
  _isShowAllInfo = isShowAllInfo;
  return writeXlsxRelsFile() && writeContentXml() && writeXlsxFile();
}

bool WriteXlsxFile::writeXlsxRelsFile() {
  const std::string path = folder_ + "/xl/_rels/workbook.xml.rels";
  pugi::xml_document doc;
  if (!loadPart(doc, path, error_)) return false;
  pugi::xml_node relationships = doc.select_node(".//Relationships").node();
  if (!relationships) return error_ = "No relationships in " + path, false;
  const size_t n = static_cast<size_t>(std::distance(relationships.begin(), relationships.end()));
  for (int i = 0; i < 3; ++i) relationships.remove_child(relationships.first_child());
  pugi::xml_node sheet = relationships.append_child("Relationship");
  sheet.append_attribute("Id") = "rId1";
  sheet.append_attribute("Type") = (std::string(kRelNs) + "/worksheet").c_str();
  sheet.append_attribute("Target") = "worksheets/sheet1.xml";
  pugi::xml_node shared = relationships.append_child("Relationship");
  shared.append_attribute("Id") = ("rId" + std::to_string(n + 1)).c_str();
  shared.append_attribute("Type") = (std::string(kRelNs) + "/sharedStrings").c_str();
  shared.append_attribute("Target") = "sharedStrings.xml";
  if (!savePart(doc, path, error_)) return false;
  return writeWorkbook() && writeStyles();
}

bool WriteXlsxFile::writeWorkbook() {
  const std::string path = folder_ + "/xl/workbook.xml";
  pugi::xml_document doc;
  if (!loadPart(doc, path, error_)) return false;
  pugi::xml_node root = doc.document_element();
  pugi::xml_node fourth = root.first_child();
  for (int i = 0; i < 3 && fourth; ++i) fourth = fourth.next_sibling();
  pugi::xml_node before = fourth ? fourth.previous_sibling() : root.last_child();
  if (fourth) root.remove_child(fourth);
  pugi::xml_node sheets = before ? root.insert_child_after("sheets", before) : root.prepend_child("sheets");
  pugi::xml_node sheet = sheets.append_child("sheet");
  sheet.append_attribute("name") = "Page 1";
  sheet.append_attribute("sheetId") = "1";
  sheet.append_attribute("r:id") = "rId1";
  return savePart(doc, path, error_);
}

bool WriteXlsxFile::writeStyles() {
  const std::string path = folder_ + "/xl/styles.xml";
  pugi::xml_document doc;
  if (!loadPart(doc, path, error_)) return false;
  pugi::xml_node root = doc.document_element();
  pugi::xml_node after;  // the child before the removed "cellXfs"
  bool found = false;
  for (pugi::xml_node child = root.first_child(); child;) {
    pugi::xml_node next = child.next_sibling();
    if (std::string(child.name()) == "cellXfs") {
      after = child.previous_sibling();
      found = true;
      root.remove_child(child);
    }
    child = next;
  }
  pugi::xml_node xfs = found && after ? root.insert_child_after("cellXfs", after) : root.prepend_child("cellXfs");
  xfs.append_attribute("count") = "2";
  for (int i = 0; i < 2; ++i) {
    pugi::xml_node xf = xfs.append_child("xf");
    for (const char* name : {"numFmtId", "fontId", "fillId", "borderId", "xfId"}) xf.append_attribute(name) = "0";
    xf.append_attribute("applyAlignment") = "1";
    pugi::xml_node alignment = xf.append_child("alignment");
    alignment.append_attribute("horizontal") = "left";
    alignment.append_attribute("vertical") = "top";
    alignment.append_attribute("wrapText") = "1";
  }
  return savePart(doc, path, error_);
}

bool WriteXlsxFile::writeContentXml() {
  const std::string path = folder_ + "/[Content_Types].xml";
  pugi::xml_document doc;
  if (!loadPart(doc, path, error_)) return false;
  pugi::xml_node types = doc.select_node(".//Types").node();
  if (!types) return error_ = "No content types in " + path, false;
  for (int i = 0; i < 3; ++i) {
    pugi::xml_node eighth = types.first_child();
    for (int k = 0; k < 7 && eighth; ++k) eighth = eighth.next_sibling();
    if (eighth) types.remove_child(eighth);
  }
  pugi::xml_node sheet = types.append_child("Override");
  sheet.append_attribute("PartName") = "/xl/worksheets/sheet1.xml";
  sheet.append_attribute("ContentType") = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
  pugi::xml_node shared = types.append_child("Override");
  shared.append_attribute("PartName") = "/xl/sharedStrings.xml";
  shared.append_attribute("ContentType") =
      "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
  return savePart(doc, path, error_);
}

bool WriteXlsxFile::writeXlsxFile() {
  std::error_code ec;
  for (int k = 1; k <= 3; ++k) fs::remove(folder_ + "/xl/worksheets/_rels/sheet" + std::to_string(k) + ".xml.rels", ec);
  for (int k = 1; k <= 3; ++k) fs::remove(folder_ + "/xl/worksheets/sheet" + std::to_string(k) + ".xml", ec);
  fs::create_directories(folder_ + "/xl/worksheets/_rels", ec);
  return writeContentOfSheetRels(folder_ + "/xl/worksheets/_rels/sheet1.xml.rels") &&
         writeContentOfsheetSharedString(folder_ + "/xl/worksheets/sheet1.xml", folder_ + "/xl/sharedStrings.xml");
}

bool WriteXlsxFile::writeContentOfSheetRels(const std::string& path) {
  const std::string text = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n") +
                           "<Relationships xmlns=\"" + kPackageRelNs + "\">\n  <Relationship Id=\"rId1\" Type=\"" +
                           kRelNs + "/printerSettings\" Target=\"../slideLayouts/printerSettings1.bin\"/>\n" +
                           "</Relationships>\n";
  return replaceFileAtomically(path, text, &error_);
}

std::vector<std::string> WriteXlsxFile::getAllKey() const {
  std::vector<std::string> keys;
  for (const auto& record : *DictionArr_)
    for (const auto& entry : record.entries())
      if (std::find(keys.begin(), keys.end(), entry.first) == keys.end()) keys.push_back(entry.first);
  return keys;
}

std::vector<std::string> WriteXlsxFile::columnTitles() const {
  std::vector<std::string> titles;
  const bool one = DictionArr_->size() == 1;
  if (!one && _isShowAllInfo) return AllInfoColumns::spreadsheet();
  for (const auto& key : one ? DictionArr_->front().keys() : getAllKey())
    if (key != "Person") placeNameColumns(titles, key);
  return titles;
}

void WriteXlsxFile::textCell(std::string& sheet, std::string& shared, int column, long row, const std::string& text) {
  sheet += "<c r=\"";
  sheet += columnLetters(column);
  sheet += std::to_string(row);
  sheet += "\" s=\"1\" t=\"s\"><v>";
  sheet += std::to_string(flag_v++);
  sheet += "</v></c>";
  shared += "<si><t xml:space=\"preserve\">";
  appendXmlEscaped(shared, text);
  shared += kCellItemTail;
  ++flag_count;
}

bool WriteXlsxFile::writeContentOfsheetSharedString(const std::string& sheetPath, const std::string& sharedPath) {
  const ContactRecords& records = *DictionArr_;
  DicKeyArr = records.empty() ? std::vector<std::string>{} : columnTitles();
  const long rows = records.empty() ? 0 : static_cast<long>(records.size()) + 1;
  const int columns = static_cast<int>(DicKeyArr.size());
  const std::string sharedBody = sharedPath + ".body";
  File sheetFile(std::fopen(sheetPath.c_str(), "wb"));
  File sharedFile(std::fopen(sharedBody.c_str(), "wb"));
  if (!sheetFile || !sharedFile) return error_ = "Cannot write the worksheet in " + folder_, false;

  std::string sheet, shared;
  sheet.reserve(kFlushSize * 2);
  shared.reserve(kFlushSize * 2);
  sheet += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"";
  sheet += kMainNs;
  sheet += "\" xmlns:r=\"";
  sheet += kRelNs;
  sheet += "\">\n  <dimension ref=\"";
  sheet += rows == 0 || columns == 0 ? "A1" : "A1:" + columnLetters(columns) + std::to_string(rows);
  sheet += "\"/>\n  <sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>\n";
  sheet += "  <sheetFormatPr baseColWidth=\"21\" defaultRowHeight=\"15\"/>\n  <sheetData>\n";
  const bool spans = records.size() > 1;
  bool ok = true;
  for (long row = 1; row <= rows && ok; ++row) {
    sheet +=
        spans ? "<row r=\"" + std::to_string(row) + "\" spans=\"1:87\">" : "<row r=\"" + std::to_string(row) + "\">";
    for (int c = 0; c < columns; ++c) {
      if (row == 1) {
        textCell(sheet, shared, c + 1, row, DicKeyArr[c]);
      } else if (auto value = records[row - 2].text(DicKeyArr[c])) {
        textCell(sheet, shared, c + 1, row, *value);
      }
    }
    sheet += "</row>\n";
    if (sheet.size() > kFlushSize) ok = flushTo(sheetFile.get(), sheet);
    if (shared.size() > kFlushSize) ok = ok && flushTo(sharedFile.get(), shared);
  }
  sheet += "  </sheetData>\n  <phoneticPr fontId=\"1\" type=\"noConversion\"/>\n";
  sheet += "  <pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>\n";
  sheet +=
      "  <pageSetup paperSize=\"0\" orientation=\"portrait\" horizontalDpi=\"0\" verticalDpi=\"0\" copies=\"0\"/>\n";
  sheet += "</worksheet>\n";
  ok = ok && flushTo(sheetFile.get(), sheet) && flushTo(sharedFile.get(), shared);
  ok = ok && std::fclose(sheetFile.release()) == 0 && std::fclose(sharedFile.release()) == 0;
  if (!ok) return error_ = "Cannot write the worksheet in " + folder_, false;

  // The shared-string header needs the final count, so the items are written first and joined after.
  File sharedOut(std::fopen(sharedPath.c_str(), "wb"));
  File body(std::fopen(sharedBody.c_str(), "rb"));
  if (!sharedOut || !body) return error_ = "Cannot write the shared strings in " + folder_, false;
  std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst xmlns=\"";
  head += kMainNs;
  head += "\" count=\"" + std::to_string(flag_count) + "\" uniqueCount=\"" + std::to_string(flag_count) + "\">\n";
  ok = flushTo(sharedOut.get(), head);
  std::vector<char> buffer(kFlushSize);
  for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), body.get())) > 0;)
    ok = std::fwrite(buffer.data(), 1, n, sharedOut.get()) == n;
  std::string tail = "</sst>\n";
  ok = ok && flushTo(sharedOut.get(), tail) && std::fclose(sharedOut.release()) == 0;
  body.reset();
  std::error_code ec;
  fs::remove(sharedBody, ec);
  if (!ok) return error_ = "Cannot write the shared strings in " + folder_, false;
  return true;
}
