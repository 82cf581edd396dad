#include "frameworks/iwork/IWorkCellStream.h"

#include <charconv>

#include "frameworks/common/XmlText.h"

IWorkCellStream::IWorkCellStream(std::ostream& out, std::string indent) : out_(out), indent_(std::move(indent)) {}

void IWorkCellStream::writeCell(std::size_t row, std::size_t column, std::string_view style, std::string_view width,
                                std::string_view height, std::string_view text) {
  const std::size_t position = row * kGridWidth + column;
  line_.clear();
  line_ += indent_;
  line_ += "<sf:t sf:s=\"";
  line_ += style;
  line_ += "\" sf:w=\"";
  line_ += width;
  line_ += "\" sf:h=\"";
  line_ += height;
  line_ += '"';
  const bool follows = cellsWritten_ > 0 && position == lastPosition_ + 1 && column != 0;
  if (!follows) {
    const std::size_t step = cellsWritten_ == 0 ? position : position - lastPosition_;
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, step).ptr;
    line_ += " sf:ct=\"";
    line_.append(digits, end);
    line_ += '"';
  }
  line_ += "><sf:ct sfa:s=\"";
  appendXmlEscaped(line_, text, XmlEscape::Attribute);
  line_ += "\"/></sf:t>\n";
  out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
  lastPosition_ = position;
  ++cellsWritten_;
}
