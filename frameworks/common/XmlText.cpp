#include "frameworks/common/XmlText.h"

#include <cstdint>

namespace {

// Length of the well-formed UTF-8 sequence at text[at] whose code point XML 1.0 allows, or 0 when
// the bytes there must be left out (then exactly one byte is skipped).
size_t allowedSequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  if (lead < 0x80) return (lead >= 0x20 || lead == 0x09 || lead == 0x0A || lead == 0x0D) ? 1 : 0;
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const uint8_t next = byte(at + i);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || code > 0x10FFFF) return 0;
  if ((code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) return 0;
  return length;
}

bool plainAscii(unsigned char c) {
  return c >= 0x20 && c < 0x80;
}

}  // namespace

bool hasXmlForbiddenCharacters(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    if (plainAscii(static_cast<unsigned char>(text[at]))) {
      ++at;
      continue;
    }
    const size_t length = allowedSequenceLength(text, at);
    if (length == 0) return true;
    at += length;
  }
  return false;
}

std::string removeXmlForbiddenCharacters(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (plainAscii(static_cast<unsigned char>(text[at]))) {
      result.push_back(text[at++]);
      continue;
    }
    const size_t length = allowedSequenceLength(text, at);
    if (length == 0) {
      ++at;
      continue;
    }
    result.append(text.substr(at, length));
    at += length;
  }
  return result;
}

void appendXmlEscaped(std::string& out, std::string_view text, XmlEscape where) {
  const bool attribute = where == XmlEscape::Attribute;
  size_t plainFrom = 0;
  const auto flush = [&](size_t upTo) { out.append(text.data() + plainFrom, upTo - plainFrom); };
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const char* replacement = nullptr;
    switch (c) {
      case '&':
        replacement = "&amp;";
        break;
      case '<':
        replacement = "&lt;";
        break;
      case '>':
        replacement = "&gt;";
        break;
      case '\r':
        replacement = "&#13;";
        break;
      case '"':
        replacement = attribute ? "&quot;" : nullptr;
        break;
      case '\t':
        replacement = attribute ? "&#9;" : nullptr;
        break;
      case '\n':
        replacement = attribute ? "&#10;" : nullptr;
        break;
      default:
        break;
    }
    if (replacement) {
      flush(at);
      out.append(replacement);
      plainFrom = ++at;
      continue;
    }
    if (plainAscii(static_cast<unsigned char>(c)) || c == '\t' || c == '\n') {
      ++at;
      continue;
    }
    const size_t length = allowedSequenceLength(text, at);
    if (length == 0) {
      flush(at);
      plainFrom = ++at;
      continue;
    }
    at += length;
  }
  flush(text.size());
}
