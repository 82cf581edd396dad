#pragma once

#include <string>
#include <string_view>

// Text for XML 1.0 documents. XML 1.0 allows tab, line feed, carriage return and the characters
// from U+0020 on except the surrogates, U+FFFE and U+FFFF; a document holding any other character
// (or bytes that are not UTF-8) cannot be read. These helpers leave such characters out.

// The text without the characters XML 1.0 forbids and without invalid UTF-8 sequences.
std::string removeXmlForbiddenCharacters(std::string_view text);

// True when removeXmlForbiddenCharacters would change the text.
bool hasXmlForbiddenCharacters(std::string_view text);

enum class XmlEscape {
  Text,      // element content: & < > escaped, carriage return as &#13; so it survives parsing
  Attribute  // attribute value: also " and tab / line feed / carriage return as character references
};

// Appends the text to out, escaped for the given place and without forbidden characters. For
// writers that stream their XML rather than building a tree.
void appendXmlEscaped(std::string& out, std::string_view text, XmlEscape where = XmlEscape::Text);
