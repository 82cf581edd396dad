#include "frameworks/docx/DocxXmlWriter.h"

#include "frameworks/common/XmlText.h"

void DocxXmlWriter::indent(int depth) {
  out_.append(static_cast<size_t>(depth), '\t');
}

void DocxXmlWriter::closeStartTag(bool forElements) {
  if (open_.empty()) return;
  Open& current = open_.back();
  if (startTagOpen_) {
    out_.push_back('>');
    startTagOpen_ = false;
    if (forElements) out_.push_back('\n');
  }
  if (forElements) {
    current.hasElements = true;
  } else {
    current.hasText = true;
  }
}

void DocxXmlWriter::start(std::string_view name, Attributes attributes) {
  closeStartTag(true);
  indent(depth());
  out_.push_back('<');
  out_.append(name);
  open_.push_back({name});
  startTagOpen_ = true;
  for (const auto& [key, value] : attributes) attribute(key, value);
}

void DocxXmlWriter::attribute(std::string_view name, std::string_view value) {
  out_.push_back(' ');
  out_.append(name);
  out_.append("=\"");
  appendXmlEscaped(out_, value, XmlEscape::Attribute);
  out_.push_back('"');
}

void DocxXmlWriter::text(std::string_view text) {
  closeStartTag(false);
  appendXmlEscaped(out_, text, XmlEscape::Text);
}

std::string& DocxXmlWriter::childContent() {
  closeStartTag(true);
  return out_;
}

size_t DocxXmlWriter::textPosition() {
  closeStartTag(false);
  return out_.size();
}

void DocxXmlWriter::end() {
  if (open_.empty()) return;
  const Open current = open_.back();
  open_.pop_back();
  if (startTagOpen_) {
    out_.append(" />\n");
    startTagOpen_ = false;
    return;
  }
  if (current.hasElements) indent(depth());
  out_.append("</");
  out_.append(current.name);
  out_.append(">\n");
}
