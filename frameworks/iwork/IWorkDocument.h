#pragma once

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>

#include <pugixml.hpp>

#include "frameworks/iwork/IWorkCellStream.h"

// The main part ("index.xml") of an iWork '09 package, loaded for editing. The table cells are not
// held in the tree: the data source that receives them is marked, and save() streams them into
// the file at that place, so a table of a million cells costs no more memory than an empty one.
class IWorkDocument {
 public:
  // Loads the file; whitespace-only text is dropped. On failure returns false and sets error().
  bool load(const std::filesystem::path& file);

  pugi::xml_document& document() { return document_; }
  const std::string& error() const { return error_; }

  // Marks an element (empty) as the place where save() streams the cells.
  void setCellsElement(pugi::xml_node element);

  // Writes the document back to the file it was loaded from, indented, with writeCells filling
  // the marked element. The file is written beside the original and renamed over it, so it is
  // replaced whole or not at all. On failure returns false and sets error().
  using CellWriter = std::function<void(IWorkCellStream&)>;
  bool save(const CellWriter& writeCells);

 private:
  pugi::xml_document document_;
  std::filesystem::path file_;
  pugi::xml_node cellsElement_;
  std::string error_;
};

// The element child at the given position (0-based, counting elements only), or an empty node.
pugi::xml_node elementChildAt(pugi::xml_node parent, std::size_t index);

// Follows elementChildAt one level per index; an empty node when the path leaves the tree.
pugi::xml_node elementAtPath(pugi::xml_node from, std::initializer_list<std::size_t> path);

// Replaces (or adds) an attribute so that it ends up last among the element's attributes.
void resetAttribute(pugi::xml_node element, const char* name, const std::string& value);
