#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

// Writes the text cells of an iWork '09 table data source in reading order. Each cell is placed on a
// grid of 256 columns per row relative to the cell before it: a cell directly after the previous one
// carries no "sf:ct" step, any other carries the distance to it, and the very first cell carries its
// distance from the top left corner ("0" for the corner itself).
class IWorkCellStream {
 public:
  static constexpr std::size_t kGridWidth = 256;

  // indent: the whitespace put before every cell line.
  IWorkCellStream(std::ostream& out, std::string indent);

  // Writes one cell at (row, column); cells must come in reading order. The text is written as the
  // "sfa:s" attribute of the cell's "sf:ct" child, with the characters XML 1.0 forbids left out.
  void writeCell(std::size_t row, std::size_t column, std::string_view style, std::string_view width,
                 std::string_view height, std::string_view text);

  std::size_t cellsWritten() const { return cellsWritten_; }

 private:
  std::ostream& out_;
  std::string indent_;
  std::string line_;
  std::size_t cellsWritten_ = 0;
  std::size_t lastPosition_ = 0;  // row * kGridWidth + column of the previous cell
};
