#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Writes XML elements into a string, indented with one tab per level as pugixml's indented output
// is: every element on its own line, an element holding only text on one line, an empty element as
// <name ... />. Text and attribute values are escaped and lose the characters XML 1.0 forbids.
// The caller may take the string away between top-level elements to stream a large document.
class DocxXmlWriter {
 public:
  using Attributes = std::initializer_list<std::pair<std::string_view, std::string_view>>;

  // depth: the indentation level of the first element written.
  DocxXmlWriter(std::string& out, int depth) : out_(out), baseDepth_(depth) {}

  void start(std::string_view name, Attributes attributes = {});
  void attribute(std::string_view name, std::string_view value);
  void text(std::string_view text);
  void end();

  // An element without children.
  void element(std::string_view name, Attributes attributes) {
    start(name, attributes);
    end();
  }

  // Closes the open start tag as one that holds element children and returns the string, to which
  // the caller may append whole, already indented child elements.
  std::string& childContent();

  // Closes the open start tag as one that holds text and returns the position in the string where
  // the text begins.
  size_t textPosition();

  // The string written into, for a caller that takes away what is complete.
  std::string& output() { return out_; }

  int depth() const { return baseDepth_ + static_cast<int>(open_.size()); }

 private:
  struct Open {
    std::string_view name;
    bool hasElements = false;
    bool hasText = false;
  };
  void closeStartTag(bool forElements);
  void indent(int depth);

  std::string& out_;
  int baseDepth_;
  std::vector<Open> open_;
  bool startTagOpen_ = false;
};
