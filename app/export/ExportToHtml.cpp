#include "app/export/ExportToHtml.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <optional>

#include "app/export/BlockFile.h"
#include "app/export/ColumnIndex.h"
#include "app/export/StoredRows.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordColumns.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/XmlText.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/ABPerson.h"
#include "platform/image/Photo.h"

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

// What formatting a row keeps from row to row: one for each thread that formats rows.
struct RowScratch {
  std::vector<uint32_t> slots;
  CellText cell;
  std::string escaped;
};

// Writes table rows as the tree serialiser would print them at the depth of html/body/table, so a
// large table is streamed instead of held as one tree. Read-only once made: any number of threads
// may format rows with it, each with a scratch of its own.
class HtmlRows {
 public:
  explicit HtmlRows(const std::vector<std::string>& columns) : columns_(columns), index_(columns) {
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

  void heading(BlockFile& file, bool photos = false) const {
    std::string out = "      <tr>\n";
    if (photos) out += std::string("        <th class=\"photo\" style=\"") + kHeadingStyle + "\">Photo</th>\n";
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

  template <typename Sink>
  void record(Sink& file, const ContactRecord& record, RowScratch& scratch, std::string_view before = {}) const {
    index_.fill(record, scratch.slots);
    file.append("      <tr>\n");
    file.append(before);
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
      if (scratch.slots[i] != ColumnIndex::kNone) text = scratch.cell.of(record.valueAt(scratch.slots[i]));
      if (!text || text->empty()) continue;
      writeEmptyUpTo(i);
      emptyFrom = i + 1;
      file.append(cellOpen_[i]);
      file.append("\">");
      if (plainText(*text)) {
        file.append(*text);
      } else {
        scratch.escaped.clear();
        appendXmlEscaped(scratch.escaped, *text);
        file.append(scratch.escaped);
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
};

// The page around the table: what comes before its rows and what after them. A page without a
// table (no records) is all before.
struct PageFrame {
  std::string before, after;
};

PageFrame pageFrame(bool withTable) {
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
  PageFrame frame;
  if (withTable) {
    pugi::xml_node table = body.append_child("table");
    table.append_attribute("cellspacing") = "0";
    table.append_attribute("border") = "1";
    // The rows are serialised one by one where this comment stands, so a large table is never
    // held as one tree.
    table.append_child(pugi::node_comment).set_value(kRowsMark);
  }
  std::string page;
  StringWriter writer(page);
  document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
  if (!withTable) {
    frame.before = std::move(page);
    return frame;
  }
  const std::string mark = std::string("<!--") + kRowsMark + "-->";
  const auto at = page.find(mark);
  const auto lineStart = page.rfind('\n', at) + 1;
  const auto lineEnd = page.find('\n', at) + 1;
  frame.before = page.substr(0, lineStart);
  frame.after = page.substr(lineEnd);
  return frame;
}

// Persons formatted per piece: rows of all information are about 10 KB each, so a piece is about
// 1 MB, which stays in a core's cache between being formatted and being written to the file by
// the same core. Smaller pieces cost more in handing over between threads (at 48 persons the
// export took a fifth more processor time), larger ones are read back from memory (at 192 a
// third more, at 512 three times as much).
constexpr size_t kStoredPersonsPerPiece = 96;

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

void ExportToHtml::setPhotos(bool photos, std::shared_ptr<const std::vector<std::string>> given) {
  photos_ = photos;
  givenPhotos_ = std::move(given);
}

namespace {

// The folder of a page's photos: beside it, named after it, the first name not taken.
std::optional<std::filesystem::path> photoFolder(const std::string& savePath, std::string* error) {
  const std::filesystem::path wanted = savePath + "_photos";
  for (int n = -1; n < 10000; ++n) {
    std::filesystem::path folder = wanted;
    if (n >= 0) folder += "(" + std::to_string(n) + ")";
    std::error_code code;
    if (std::filesystem::create_directory(folder, code)) return folder;
    if (code) {
      *error = "cannot make the folder " + folder.string() + ": " + code.message();
      return std::nullopt;
    }
  }
  *error = "no free name for the folder " + wanted.string();
  return std::nullopt;
}

// A name as the path of a link: every byte but letters, digits and - . _ ~ percent-escaped.
std::string linkPath(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace

ExportResult ExportToHtml::writeHtml() {
  ExportResult result;
  const PageFrame frame = pageFrame(!dictionArr_.empty());
  OutputFile output(savePath_ + ".html");
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  std::optional<std::filesystem::path> folder;
  if (photos_ && !dictionArr_.empty()) {
    folder = photoFolder(savePath_, &result.error);
    if (!folder) return result;
  }
  BlockFile file(output.temporaryPath());
  file.append(frame.before);
  if (!dictionArr_.empty()) {
    setThNode();
    const HtmlRows rows(dicKeyArr_);
    RowScratch scratch;
    rows.heading(file, photos_);
    std::string cell;
    for (size_t i = 0; i < dictionArr_.size(); ++i) {
      const ContactRecord& record = dictionArr_[i];
      cell.clear();
      if (folder) {
        std::string photo;
        if (givenPhotos_) {
          if (i < givenPhotos_->size()) photo = (*givenPhotos_)[i];
        } else if (const ABPersonRef person = record.person()) {
          if (auto bytes = person->imageData()) photo.assign(bytes->begin(), bytes->end());
        }
        cell = std::string("        <td style=\"") + kCellStyle + "\" class=\"photo\"";
        // A photo that cannot be decoded leaves its cell empty.
        std::optional<Photo::Pixels> small;
        if (!photo.empty()) small = Photo::decode(photo, kPhotoSide, nullptr);
        std::string jpeg = small ? Photo::encodeJpeg(*small, 85, nullptr) : std::string();
        const std::string name = std::to_string(i + 1) + ".jpg";
        if (!jpeg.empty()) {
          std::string error;
          if (!replaceFileAtomically((*folder / name).string(), jpeg, &error)) {
            std::error_code ignored;
            std::filesystem::remove_all(*folder, ignored);
            result.error = error;
            return result;
          }
          cell += "><img src=\"" + linkPath(folder->filename().string()) + "/" + name + "\" width=\"" +
                  std::to_string(small->width) + "\" height=\"" + std::to_string(small->height) +
                  "\" alt=\"\" /></td>\n";
        } else {
          cell += " />\n";
        }
      }
      rows.record(file, record, scratch, cell);
      file.flushIfFull();
    }
    file.append(frame.after);
  }
  result = finishOutput(file, output);
  if (!result.ok() && folder) {
    std::error_code ignored;
    std::filesystem::remove_all(*folder, ignored);
  }
  if (result.ok() && folder) result.alongside = folder->string();
  return result;
}

ExportResult ExportToHtml::writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& savePath) {
  ExportResult result;
  // The heading names the keys of the one record when there is exactly one, and every column of
  // all information otherwise: the first batches are held until a second person is seen.
  std::vector<std::shared_ptr<const ABStoredBatch>> held;
  size_t heldPersons = 0;
  const std::vector<std::string>& columns = AllInfoColumns::base();
  const HtmlRows rows(columns);
  const PageFrame frame = pageFrame(true);
  std::optional<OutputFile> output;
  std::optional<BlockFile> file;
  std::optional<StoredRowFormatter<RowScratch>> formatter;
  // Starts the page once it is known to have a table of several rows; false when its file cannot
  // be made (result says why).
  auto start = [&] {
    output.emplace(savePath + ".html");
    if (!output->open()) {
      result.error = output->error();
      return false;
    }
    file.emplace(output->temporaryPath());
    file->append(frame.before);
    rows.heading(*file);
    formatter.emplace(
        *file, kStoredPersonsPerPiece,
        [&](RowScratch& scratch, const ContactRecord& record, ChunkText& text) { rows.record(text, record, scratch); });
    for (const auto& batch : held)
      if (!formatter->add(batch)) break;
    held.clear();
    return true;
  };
  std::string sourceError;
  const bool given = persons(
      [&](std::shared_ptr<const ABStoredBatch> batch) {
        if (formatter) return formatter->add(batch);
        for (size_t i = 0; i < batch->size(); ++i) heldPersons += !ABGroups::isGroupCardEncoded(batch->data(i));
        held.push_back(std::move(batch));
        return heldPersons < 2 || start();
      },
      &sourceError);
  if (formatter) {
    if (!formatter->finish(result, given, sourceError)) return result;
    file->append(frame.after);
    return finishOutput(*file, *output);
  }
  if (!result.error.empty()) return result;  // the file could not be made
  if (!given) {
    result.error = sourceError.empty() ? "Cannot read the contacts." : sourceError;
    return result;
  }
  // No person or one: the page of its record, as from the records.
  ContactRecords records;
  for (const auto& batch : held) {
    for (size_t i = 0; i < batch->size(); ++i) {
      records.emplace_back();
      bool groupCard = false;
      if (!recordOfEncodedInto(records.back(), batch->data(i), &groupCard)) {
        result.error = batch->damagedError(i);
        result.unreadable = true;
        return result;
      }
      if (groupCard) records.pop_back();
    }
  }
  return ExportToHtml(records, savePath, true).writeHtml();
}
