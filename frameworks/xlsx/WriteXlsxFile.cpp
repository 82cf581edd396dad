#include "frameworks/xlsx/WriteXlsxFile.h"

#include <algorithm>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>
#include <system_error>

#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/xlsx/XlsxSheetStream.h"

namespace fs = std::filesystem;

namespace {

const char* const kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";

bool loadPart(pugi::xml_document& doc, const std::string& path, std::string* error) {
  if (doc.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration)) return true;
  if (error) *error = "Cannot read the template part " + path;
  return false;
}

bool savePart(const pugi::xml_document& doc, const std::string& path, std::string* error) {
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return replaceFileAtomically(path, out.str(), error);
}

}  // namespace

std::string WriteXlsxFile::columnLetters(int n) {
  if (n <= 26) return std::string(1, static_cast<char>(64 + n));
  const int k = (n - 1) / 26;
  const int rest = n % 26 == 0 ? 26 : n % 26;
  return std::string{static_cast<char>(64 + k), static_cast<char>(64 + rest)};
}

bool WriteXlsxFile::writeXlsxIsShowAllInfo(const ContactRecords& records, bool isShowAllInfo) {
  dictionArr_ = &records;
  isShowAllInfo_ = isShowAllInfo;
  return writeXlsxRelsFile() && writeContentXml() && writeXlsxFile();
}

bool WriteXlsxFile::writeXlsxRelsFile() {
  const std::string path = folder_ + "/xl/_rels/workbook.xml.rels";
  pugi::xml_document doc;
  if (!loadPart(doc, path, &error_)) return false;
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
  if (!savePart(doc, path, &error_)) return false;
  return writeWorkbook() && writeStyles();
}

bool WriteXlsxFile::writeWorkbook() {
  const std::string path = folder_ + "/xl/workbook.xml";
  pugi::xml_document doc;
  if (!loadPart(doc, path, &error_)) return false;
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
  return savePart(doc, path, &error_);
}

bool WriteXlsxFile::writeStyles() {
  const std::string path = folder_ + "/xl/styles.xml";
  pugi::xml_document doc;
  if (!loadPart(doc, path, &error_)) return false;
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
  return savePart(doc, path, &error_);
}

bool WriteXlsxFile::writeContentXml() {
  const std::string path = folder_ + "/[Content_Types].xml";
  pugi::xml_document doc;
  if (!loadPart(doc, path, &error_)) return false;
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
  return savePart(doc, path, &error_);
}

bool WriteXlsxFile::writeXlsxFile() {
  std::error_code ec;
  for (int k = 1; k <= 3; ++k) fs::remove(folder_ + "/xl/worksheets/_rels/sheet" + std::to_string(k) + ".xml.rels", ec);
  for (int k = 1; k <= 3; ++k) fs::remove(folder_ + "/xl/worksheets/sheet" + std::to_string(k) + ".xml", ec);
  fs::create_directories(folder_ + "/xl/worksheets/_rels", ec);
  return writeContentOfSheetRels(folder_ + "/xl/worksheets/_rels/sheet1.xml.rels");
}

bool WriteXlsxFile::writeContentOfSheetRels(const std::string& path) {
  const std::string text = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n") +
                           "<Relationships xmlns=\"" + kPackageRelNs + "\">\n  <Relationship Id=\"rId1\" Type=\"" +
                           kRelNs + "/printerSettings\" Target=\"../slideLayouts/printerSettings1.bin\"/>\n" +
                           "</Relationships>\n";
  return replaceFileAtomically(path, text, &error_);
}

std::vector<std::string> WriteXlsxFile::getAllKey() const {
  return recordKeysInOrder(*dictionArr_);
}

std::vector<std::string> WriteXlsxFile::columnTitles() const {
  const bool one = dictionArr_->size() == 1;
  if (!one && isShowAllInfo_) return AllInfoColumns::spreadsheet();
  return namesFirst(getAllKey());
}

bool WriteXlsxFile::writeContentOfsheetSharedString(ZipArchive& zip, const std::string& sheetEntry,
                                                    const std::string& sharedEntry) {
  const ContactRecords& records = *dictionArr_;
  dicKeyArr_ = records.empty() ? std::vector<std::string>{} : columnTitles();
  XlsxSheetStream stream(records, dicKeyArr_, records.size() > 1);
  const bool ok = stream.write(zip, sheetEntry, sharedEntry);
  flagCount_ = flagV_ = static_cast<int32_t>(stream.itemCount());
  if (!ok) error_ = stream.error();
  return ok;
}
