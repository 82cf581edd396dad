#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/addressbook/ABValue.h"

// Value-level codecs of vCard: escapes, structured components, quoted-printable, base64, charsets.

// Undoes \\ \, \; \: \" and \n \N (newline); any other backslash is kept as written.
std::string unescapeText(std::string_view raw);
// The same into out (its room reused).
void unescapeTextInto(std::string& out, std::string_view raw);
// Splits at ';' not preceded by a backslash and unescapes each component. The strings components
// holds are reused.
void splitComponents(std::string_view raw, std::vector<std::string>& components);
// The same as views: of raw itself when it escapes nothing, else of the strings of unescaped (which
// are reused); valid while both are unchanged.
void splitComponents(std::string_view raw, std::vector<std::string_view>& components,
                     std::vector<std::string>& unescaped);
// Splits a list value (CATEGORIES) at ',' not preceded by a backslash and unescapes each item.
void splitTextList(std::string_view raw, std::vector<std::string>& items);
// Escapes \ , ; and line breaks (LF, CR LF and a lone CR each become \n) for a text value.
void appendEscapedText(std::string& out, std::string_view text);

// "=XX" sequences become bytes; an "=" not followed by two hex digits is kept.
std::string decodeQuotedPrintable(std::string_view encoded);
// Ignores white space; false on any other character outside the base64 alphabet.
bool decodeBase64(std::string_view encoded, ABBytes& out);
std::string encodeBase64(const ABBytes& bytes);

bool isValidUtf8(std::string_view text);
// Valid UTF-8 is kept; every byte of an invalid sequence becomes U+FFFD.
std::string repairUtf8(std::string_view text);
std::string windows1252ToUtf8(std::string_view text);

// Converts text in a named character set to UTF-8 (ICU), keeping converters open for reuse. A byte
// that is not text in the character set is never replaced: the conversion fails.
class CharsetConverter {
 public:
  enum class Result { Converted, UnknownCharset, NotText };

  CharsetConverter() = default;
  CharsetConverter(const CharsetConverter&) = delete;
  CharsetConverter& operator=(const CharsetConverter&) = delete;
  ~CharsetConverter();

  Result convert(std::string_view bytes, std::string_view charset, std::string& out);
  // False when the character set is unknown or the bytes are not text in it.
  bool toUtf8(std::string_view bytes, std::string_view charset, std::string& out) {
    return convert(bytes, charset, out) == Result::Converted;
  }

  // Text that is UTF-8 but for some bytes (a value that says CHARSET=UTF-8 and holds a stray byte):
  // its UTF-8 kept, each other byte read in charset, which must be a character set of single bytes.
  Result convertStrayBytes(std::string_view bytes, std::string_view charset, std::string& out);

  // Whether ICU knows the character set (any of its names, case-insensitive).
  static bool knows(std::string_view charset);
  // UTF-8 and ASCII by any of their names: the text as it is, nothing to convert.
  static bool isUtf8(std::string_view charset);

 private:
  void* open(const std::string& name);  // nullptr when unknown

  std::map<std::string, void*> converters_;
  std::u16string units_;
};
