#include "app/export/ExportToHtml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "app/model/AllInfoColumns.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/XmlText.h"

namespace {

const char* kHeadingStyle =
    "background-color:#6699cc;color:#ffffff;font-size:13px;text-align:left;padding:3px 5px 3px 5px;";
const char* kCellStyle = "background-color:#ffffff;font-size:12px;padding:3px 5px 3px 5px;";
const char* kRowsMark = "rolvane-table-rows";

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string clean(const std::string& text) {
  return removeXmlForbiddenCharacters(text);
}

struct StringWriter : pugi::xml_writer {
  std::string& out;
  explicit StringWriter(std::string& o) : out(o) {}
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

void appendRow(std::string& out, const std::vector<std::string>& columns, const ContactRecord* record) {
  pugi::xml_document row;
  pugi::xml_node tr = row.append_child("tr");
  for (const auto& column : columns) {
    if (!record) {
      pugi::xml_node th = tr.append_child("th");
      th.append_attribute("class") = clean(lower(column)).c_str();
      th.append_attribute("style") = kHeadingStyle;
      th.text() = clean(column).c_str();
    } else {
      pugi::xml_node td = tr.append_child("td");
      td.append_attribute("style") = kCellStyle;
      td.append_attribute("class") = clean(lower(column)).c_str();
      if (auto value = record->text(column)) td.text() = clean(*value).c_str();
    }
  }
  StringWriter writer(out);
  // The rows sit in html/body/table: three levels deep.
  row.print(writer, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8, 3);
}

}  // namespace

ExportToHtml::ExportToHtml(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : DictionArr(records), SavePath_(std::move(savePath)), isShowAllInfo_(isShowAllInfo) {}

std::vector<std::string> ExportToHtml::getAllKey() const {
  std::vector<std::string> keys;
  for (const auto& record : DictionArr)
    for (const auto& entry : record.entries())
      if (entry.first != "Person" && std::find(keys.begin(), keys.end(), entry.first) == keys.end())
        keys.push_back(entry.first);
  return keys;
}

std::vector<std::string> ExportToHtml::headingOrder(const std::vector<std::string>& keys) {
  std::vector<std::string> ordered;
  for (const auto& key : keys) {
    if (key == "First Name")
      ordered.insert(ordered.begin(), key);
    else if (key == "Last Name")
      ordered.insert(ordered.empty() ? ordered.begin() : ordered.begin() + 1, key);
    else
      ordered.push_back(key);
  }
  return ordered;
}

void ExportToHtml::setThNode() {
  if (DictionArr.size() == 1) {
    DicKeyArr = headingOrder(getAllKey());
  } else if (isShowAllInfo_) {
    DicKeyArr = AllInfoColumns::base();
  } else {
    DicKeyArr = headingOrder(getAllKey());
  }
}

ExportResult ExportToHtml::writeHtml() {
  ExportResult result;
  pugi::xml_document document;
  auto declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "utf-8";
  document.append_child(pugi::node_doctype)
      .set_value(
          "html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
          "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\"");
  pugi::xml_node html = document.append_child("html");
  html.append_attribute("xmlns") = "http://www.w3.org/1999/xhtml";
  pugi::xml_node head = html.append_child("head");
  pugi::xml_node meta = head.append_child("meta");
  meta.append_attribute("http-equiv") = "Content-Type";
  meta.append_attribute("content") = "text/html";
  meta.append_attribute("charset") = "utf-8";
  head.append_child("title").text() = "Address Book Contacts";
  pugi::xml_node body = html.append_child("body");
  body.append_attribute("bgcolor") = "#FFFFFF";

  std::string text;
  if (!DictionArr.empty()) {
    pugi::xml_node table = body.append_child("table");
    table.append_attribute("cellspacing") = "0";
    table.append_attribute("border") = "1";
    // The rows are serialised one by one where this comment stands, so a large table is never
    // held as one tree.
    table.append_child(pugi::node_comment).set_value(kRowsMark);
    StringWriter writer(text);
    document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    std::string mark = std::string("<!--") + kRowsMark + "-->";
    auto at = text.find(mark);
    auto lineStart = text.rfind('\n', at) + 1;
    auto lineEnd = text.find('\n', at) + 1;
    std::string tail = text.substr(lineEnd);
    text.resize(lineStart);
    setThNode();
    text.reserve(text.size() + DictionArr.size() * DicKeyArr.size() * 90);
    appendRow(text, DicKeyArr, nullptr);
    for (const auto& record : DictionArr) appendRow(text, DicKeyArr, &record);
    text += tail;
  } else {
    StringWriter writer(text);
    document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
  }

  OutputFile output(SavePath_ + ".html");
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
