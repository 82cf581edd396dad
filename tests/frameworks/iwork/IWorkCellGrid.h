#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

// What a reader of the format makes of a data source: every "sf:t" cell placed by the position
// rule (a "sf:ct" step on a grid 256 columns wide, otherwise the next column of the table).
struct IWorkCell {
  std::string step;  // the "sf:ct" attribute, empty when absent
  std::string style;
  std::string text;
  std::size_t row = 0;
  std::size_t column = 0;
};

inline std::vector<IWorkCell> readIWorkCells(pugi::xml_node dataSource, std::size_t tableColumns) {
  std::vector<IWorkCell> cells;
  std::size_t row = 0, column = 0;
  for (pugi::xml_node cell : dataSource.children("sf:t")) {
    IWorkCell read;
    read.step = cell.attribute("sf:ct").value();
    read.style = cell.attribute("sf:s").value();
    read.text = cell.child("sf:ct").attribute("sfa:s").value();
    if (cell.attribute("sf:ct")) {
      column += cell.attribute("sf:ct").as_ullong();
      row += column / 256;
      column %= 256;
    } else {
      if (++column == tableColumns) column = 0, ++row;
    }
    read.row = row;
    read.column = column;
    cells.push_back(read);
  }
  return cells;
}

// (row, column) -> text
inline std::map<std::pair<std::size_t, std::size_t>, std::string> iworkCellMap(const std::vector<IWorkCell>& cells) {
  std::map<std::pair<std::size_t, std::size_t>, std::string> map;
  for (const auto& cell : cells) map[{cell.row, cell.column}] = cell.text;
  return map;
}

inline std::string cellAt(const std::map<std::pair<std::size_t, std::size_t>, std::string>& map, std::size_t row,
                          std::size_t column) {
  auto found = map.find({row, column});
  return found == map.end() ? std::string("<none>") : found->second;
}
