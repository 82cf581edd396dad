#include "frameworks/iwork/IWorkDocument.h"

#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace {

constexpr const char* kCellsMarker = "rolvane-cells";

}  // namespace

bool IWorkDocument::load(const std::filesystem::path& file) {
  file_ = file;
  cellsElement_ = pugi::xml_node();
  pugi::xml_parse_result result = document_.load_file(file.c_str(), pugi::parse_default | pugi::parse_declaration);
  if (!result) {
    error_ = "cannot read " + file.string() + ": " + result.description();
    return false;
  }
  return true;
}

void IWorkDocument::setCellsElement(pugi::xml_node element) {
  cellsElement_ = element;
}

bool IWorkDocument::save(const CellWriter& writeCells) {
  pugi::xml_node declaration = document_.first_child();
  if (declaration.type() != pugi::node_declaration) {
    declaration = document_.prepend_child(pugi::node_declaration);
    declaration.append_attribute("encoding") = "UTF-8";
  }
  resetAttribute(declaration, "version", "1.0");
  if (declaration.attribute("encoding")) {
    // keep "version" first, as XML requires
    std::string encoding = declaration.attribute("encoding").value();
    declaration.remove_attribute("encoding");
    declaration.append_attribute("encoding") = encoding.c_str();
  }

  pugi::xml_node marker;
  if (cellsElement_) {
    marker = cellsElement_.append_child(pugi::node_comment);
    marker.set_value(kCellsMarker);
  }
  std::ostringstream skeleton;
  document_.save(skeleton, "  ", pugi::format_indent, pugi::encoding_utf8);
  if (marker) cellsElement_.remove_child(marker);
  const std::string text = std::move(skeleton).str();

  std::string head = text, tail, indent;
  const std::string markerText = std::string("<!--") + kCellsMarker + "-->";
  if (marker) {
    const std::size_t at = text.find(markerText);
    const std::size_t lineStart = text.rfind('\n', at) + 1;
    const std::size_t lineEnd = text.find('\n', at);
    head = text.substr(0, lineStart);
    indent = text.substr(lineStart, at - lineStart);
    tail = text.substr(lineEnd + 1);
  }

  std::filesystem::path temporary = file_;
  temporary += ".new";
  {
    std::vector<char> buffer(1 << 20);
    std::ofstream out;
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      error_ = "cannot write " + temporary.string();
      return false;
    }
    out << head;
    if (marker) {
      IWorkCellStream cells(out, indent);
      writeCells(cells);
    }
    out << tail;
    out.flush();
    if (!out) {
      error_ = "cannot write " + temporary.string() + " (disk full?)";
      out.close();
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, file_, ec);
  if (ec) {
    error_ = "cannot replace " + file_.string() + ": " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

pugi::xml_node elementChildAt(pugi::xml_node parent, std::size_t index) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (index-- == 0) return child;
  }
  return pugi::xml_node();
}

pugi::xml_node elementAtPath(pugi::xml_node from, std::initializer_list<std::size_t> path) {
  for (std::size_t index : path) {
    if (!from) break;
    from = elementChildAt(from, index);
  }
  return from;
}

void resetAttribute(pugi::xml_node element, const char* name, const std::string& value) {
  element.remove_attribute(name);
  element.append_attribute(name) = value.c_str();
}
