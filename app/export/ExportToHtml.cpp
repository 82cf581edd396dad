#include "app/export/ExportToHtml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"
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

struct StringWriter : pugi::xml_writer {
  std::string& out;
  explicit StringWriter(std::string& o) : out(o) {}
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// True when the text goes into element content as it is: tab, line feed and printable ASCII other
// than & < >. Anything else takes the escaping path.
constexpr std::array<bool, 256> kPlainTextBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0x20; c < 0x80; ++c) table[c] = true;
  table['&'] = table['<'] = table['>'] = false;
  table['\t'] = table['\n'] = true;
  return table;
}();

bool plainText(std::string_view text) {
  for (char c : text)
    if (!kPlainTextBytes[static_cast<unsigned char>(c)]) return false;
  return true;
}

// Writes table rows as the tree serialiser would print them at the depth of html/body/table, so a
// large table is streamed instead of held as one tree.
class RowWriter {
 public:
  explicit RowWriter(const std::vector<std::string>& columns) : columns_(columns), index_(columns) {
    for (const auto& column : columns) {
      std::string open = std::string("        <td style=\"") + kCellStyle + "\" class=\"";
      appendXmlEscaped(open, lower(column), XmlEscape::Attribute);
      emptyStart_.push_back(emptyCells_.size());
      emptyCells_ += open;
      emptyCells_ += "\" />\n";
      cellOpen_.push_back(std::move(open));
    }
    emptyStart_.push_back(emptyCells_.size());
  }

  void heading(BlockFile& file) const {
    std::string out = "      <tr>\n";
    for (const auto& column : columns_) {
      out += "        <th class=\"";
      appendXmlEscaped(out, lower(column), XmlEscape::Attribute);
      out += "\" style=\"";
      out += kHeadingStyle;
      out += "\">";
      appendXmlEscaped(out, column);
      out += "</th>\n";
    }
    out += "      </tr>\n";
    file.append(out);
  }

  void record(BlockFile& file, const ContactRecord& record) {
    index_.fill(record, slots_);
    file.append("      <tr>\n");
    // Empty cells are most of a wide table: a run of them is written as one piece of all the
    // columns' empty cells written once.
    size_t emptyFrom = 0;
    auto writeEmptyUpTo = [&](size_t column) {
      if (column > emptyFrom)
        file.append(
            std::string_view(emptyCells_).substr(emptyStart_[emptyFrom], emptyStart_[column] - emptyStart_[emptyFrom]));
    };
    for (size_t i = 0; i < columns_.size(); ++i) {
      std::optional<std::string_view> text;
      if (slots_[i] != ColumnIndex::kNone) text = cell_.of(record.valueAt(slots_[i]));
      if (!text || text->empty()) continue;
      writeEmptyUpTo(i);
      emptyFrom = i + 1;
      file.append(cellOpen_[i]);
      file.append("\">");
      if (plainText(*text)) {
        file.append(*text);
      } else {
        escaped_.clear();
        appendXmlEscaped(escaped_, *text);
        file.append(escaped_);
      }
      file.append("</td>\n");
    }
    writeEmptyUpTo(columns_.size());
    file.append("      </tr>\n");
  }

 private:
  const std::vector<std::string>& columns_;
  ColumnIndex index_;
  std::vector<std::string> cellOpen_;  // up to the class attribute's closing quote, exclusive
  std::string emptyCells_;             // every column's empty cell, in column order
  std::vector<size_t> emptyStart_;     // where each column's empty cell starts in it, and its end
  std::vector<uint32_t> slots_;
  CellText cell_;
  std::string escaped_;
};

}  // namespace

ExportToHtml::ExportToHtml(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : dictionArr_(records), savePath_(std::move(savePath)), isShowAllInfo_(isShowAllInfo) {}

std::vector<std::string> ExportToHtml::getAllKey() const {
  return recordKeysInOrder(dictionArr_);
}

std::vector<std::string> ExportToHtml::headingOrder(const std::vector<std::string>& keys) {
  return namesFirst(keys);
}

void ExportToHtml::setThNode() {
  if (dictionArr_.size() == 1) {
    dicKeyArr_ = headingOrder(getAllKey());
  } else if (isShowAllInfo_) {
    dicKeyArr_ = AllInfoColumns::base();
  } else {
    dicKeyArr_ = headingOrder(getAllKey());
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

  OutputFile output(savePath_ + ".html");
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  BlockFile file(output.temporaryPath());
  if (!dictionArr_.empty()) {
    pugi::xml_node table = body.append_child("table");
    table.append_attribute("cellspacing") = "0";
    table.append_attribute("border") = "1";
    // The rows are serialised one by one where this comment stands, so a large table is never
    // held as one tree.
    table.append_child(pugi::node_comment).set_value(kRowsMark);
    std::string frame;
    StringWriter writer(frame);
    document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    std::string mark = std::string("<!--") + kRowsMark + "-->";
    auto at = frame.find(mark);
    auto lineStart = frame.rfind('\n', at) + 1;
    auto lineEnd = frame.find('\n', at) + 1;
    file.append(std::string_view(frame).substr(0, lineStart));
    setThNode();
    RowWriter rows(dicKeyArr_);
    rows.heading(file);
    for (const auto& record : dictionArr_) {
      rows.record(file, record);
      file.flushIfFull();
    }
    file.append(std::string_view(frame).substr(lineEnd));
  } else {
    std::string page;
    StringWriter writer(page);
    document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    file.append(page);
  }
  return finishOutput(file, output);
}
