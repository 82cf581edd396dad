#include "platform/addressbook/vcard/VCardText.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <cstring>

#include "platform/text/Utf8.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

// Length of the valid UTF-8 sequence at text[i], or 0.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t length;
  if (c >= 0xC2 && c <= 0xDF)
    length = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    length = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    length = 4;
  else
    return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  unsigned char second = byte(i + 1);
  if (c == 0xE0 && second < 0xA0) return 0;
  if (c == 0xED && second > 0x9F) return 0;
  if (c == 0xF0 && second < 0x90) return 0;
  if (c == 0xF4 && second > 0x8F) return 0;
  return length;
}

bool needsEscape(char c) {
  return c == '\\' || c == ',' || c == ';' || c == '\n' || c == '\r';
}

std::string normalisedCharset(std::string_view name) {
  std::string result;
  for (char c : name) result += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return result;
}

}  // namespace

std::string unescapeText(std::string_view raw) {
  std::string out;
  unescapeTextInto(out, raw);
  return out;
}

void unescapeTextInto(std::string& out, std::string_view raw) {
  // The text between escapes goes in as one piece.
  std::size_t backslash = raw.find('\\');
  out.assign(raw.substr(0, backslash));
  while (backslash != std::string_view::npos) {
    std::size_t from = backslash + 2;
    const char next = backslash + 1 < raw.size() ? raw[backslash + 1] : '\0';
    if (next == 'n' || next == 'N') {
      out += '\n';
    } else if (next == '\\' || next == ',' || next == ';' || next == ':' || next == '"') {
      out += next;
    } else {
      // Any other backslash (one at the end too) is kept as written.
      out += '\\';
      from = backslash + 1;
    }
    backslash = raw.find('\\', from);
    out.append(raw.substr(from, backslash == std::string_view::npos ? backslash : backslash - from));
  }
}

void splitComponents(std::string_view raw, std::vector<std::string>& components) {
  // The strings there are reused: their room is kept from value to value.
  std::size_t count = 0;
  auto next = [&]() -> std::string& {
    if (count == components.size()) components.emplace_back();
    return components[count++];
  };
  // Most values escape nothing: every ';' then separates two components, taken as they are.
  if (raw.find('\\') == std::string_view::npos) {
    for (std::size_t start = 0;;) {
      const std::size_t semicolon = raw.find(';', start);
      next().assign(raw.substr(start, semicolon == std::string_view::npos ? semicolon : semicolon - start));
      if (semicolon == std::string_view::npos) break;
      start = semicolon + 1;
    }
  } else {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
      if (i == raw.size() || raw[i] == ';') {
        unescapeTextInto(next(), raw.substr(start, i - start));
        start = i + 1;
      } else if (raw[i] == '\\' && i + 1 < raw.size()) {
        ++i;  // the escaped character; a backslash at the end escapes nothing
      }
    }
  }
  components.resize(count);
}

void splitComponents(std::string_view raw, std::vector<std::string_view>& components,
                     std::vector<std::string>& unescaped) {
  components.clear();
  // Values are short: each ';' found by a look at each byte rather than a call per component.
  std::size_t start = 0, escaped = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\') {
      ++escaped;
      ++i;  // the escaped character, a ';' too (a backslash at the end escapes nothing)
    } else if (raw[i] == ';') {
      components.push_back(raw.substr(start, i - start));
      start = i + 1;
    }
  }
  components.push_back(raw.substr(start));
  if (escaped == 0) return;
  // A component with a backslash is unescaped into a string of unescaped (all made first: the
  // views of their text must not move); the others stay views of raw.
  if (unescaped.size() < components.size()) unescaped.resize(components.size());
  for (std::size_t k = 0; k < components.size(); ++k) {
    if (components[k].find('\\') == std::string_view::npos) continue;
    unescapeTextInto(unescaped[k], components[k]);
    components[k] = unescaped[k];
  }
}

void splitTextList(std::string_view raw, std::vector<std::string>& items) {
  items.clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i <= raw.size(); ++i) {
    if (i + 1 < raw.size() && raw[i] == '\\') {
      ++i;
      continue;
    }
    if (i == raw.size() || raw[i] == ',') {
      items.push_back(unescapeText(raw.substr(start, i - start)));
      start = i + 1;
    }
  }
}

void appendEscapedText(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Text without anything to escape goes in as one piece.
    std::size_t plain = i;
    while (plain < text.size() && !needsEscape(text[plain])) ++plain;
    if (plain != i) {
      out.append(text.substr(i, plain - i));
      if (plain == text.size()) return;
      i = plain;
    }
    const char c = text[i];
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case ',':
        out += "\\,";
        break;
      case ';':
        out += "\\;";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        // The one line-break escape stands for CR LF and for a lone CR alike.
        if (i + 1 == text.size() || text[i + 1] != '\n') out += "\\n";
        break;
      default:
        out += c;
    }
  }
}

std::string decodeQuotedPrintable(std::string_view encoded) {
  std::string out;
  out.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '=' && i + 2 < encoded.size()) {
      int high = hexValue(encoded[i + 1]), low = hexValue(encoded[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += encoded[i];
  }
  return out;
}

bool decodeBase64(std::string_view encoded, ABBytes& out) {
  out.clear();
  out.reserve(encoded.size() * 3 / 4);
  unsigned buffer = 0;
  int bits = 0;
  bool padding = false;
  for (unsigned char c : encoded) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    int value = base64Value(c);
    if (value < 0 || padding) return false;
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<unsigned char>((buffer >> bits) & 0xFF));
    }
  }
  return true;
}

std::string encodeBase64(const ABBytes& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  if (i + 1 == bytes.size()) {
    unsigned v = bytes[i] << 16;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = utf8SequenceLength(text, i);
    if (!length) return false;
    i += length;
  }
  return true;
}

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = utf8SequenceLength(text, i);
    if (length) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

std::string windows1252ToUtf8(std::string_view text) {
  static const unsigned high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                    0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) {
    if (c >= 0x80 && c < 0xA0)
      appendUtf8(out, high[c - 0x80]);
    else
      appendUtf8(out, c);
  }
  return out;
}

CharsetConverter::~CharsetConverter() {
  for (auto& [name, converter] : converters_)
    if (converter) ucnv_close(static_cast<UConverter*>(converter));
}

bool CharsetConverter::isUtf8(std::string_view charset) {
  const std::string name = normalisedCharset(charset);
  return name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII";
}

bool CharsetConverter::knows(std::string_view charset) {
  if (isUtf8(charset)) return true;
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(std::string(charset).c_str(), &status);
  if (U_FAILURE(status) || !converter) return false;
  ucnv_close(converter);
  return true;
}

void* CharsetConverter::open(const std::string& name) {
  auto found = converters_.find(name);
  if (found != converters_.end()) return found->second;
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(name.c_str(), &status);
  if (U_FAILURE(status)) converter = nullptr;
  if (converter) {
    // A byte that is not text in the character set stops the conversion instead of becoming U+FFFD.
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  }
  converters_.emplace(name, converter);
  return converter;
}

CharsetConverter::Result CharsetConverter::convert(std::string_view bytes, std::string_view charset, std::string& out) {
  if (isUtf8(charset)) {
    if (!isValidUtf8(bytes)) return Result::NotText;
    out.assign(bytes);
    return Result::Converted;
  }
  std::string name = normalisedCharset(charset);
  // Files that say ISO-8859-1 are nearly always written in Windows-1252, its superset for printable
  // text (as browsers read them); a byte Windows-1252 leaves undefined is read as ISO-8859-1 says.
  const bool latin1 = name == "ISO-8859-1" || name == "LATIN1" || name == "ISO8859-1" || name == "ISO_8859-1";
  auto* converter = static_cast<UConverter*>(open(latin1 ? std::string("WINDOWS-1252") : name));
  if (!converter) return Result::UnknownCharset;
  auto toUnits = [&](UConverter* from) {
    units_.resize(bytes.size() * 2 + 8);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(from, units_.data(), static_cast<int32_t>(units_.size()), bytes.data(),
                                   static_cast<int32_t>(bytes.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      units_.resize(static_cast<std::size_t>(length));
      status = U_ZERO_ERROR;
      length = ucnv_toUChars(from, units_.data(), length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    }
    if (U_FAILURE(status)) return false;
    units_.resize(static_cast<std::size_t>(length));
    return true;
  };
  if (!toUnits(converter)) {
    auto* strict = latin1 ? static_cast<UConverter*>(open("ISO-8859-1")) : nullptr;
    if (!strict || !toUnits(strict)) return Result::NotText;
  }
  out.resize(units_.size() * 3 + 1);
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, units_.data(), static_cast<int32_t>(units_.size()),
              &status);
  if (U_FAILURE(status)) return Result::NotText;  // a lone surrogate: no text
  out.resize(static_cast<std::size_t>(length));
  return Result::Converted;
}

CharsetConverter::Result CharsetConverter::convertStrayBytes(std::string_view bytes, std::string_view charset,
                                                             std::string& out) {
  if (isUtf8(charset)) return Result::NotText;
  const std::string name = normalisedCharset(charset);
  auto* converter = static_cast<UConverter*>(open(name));
  if (!converter) return Result::UnknownCharset;
  if (ucnv_getMaxCharSize(converter) != 1) return Result::NotText;
  std::string text, one;
  text.reserve(bytes.size() + 16);
  for (std::size_t i = 0; i < bytes.size();) {
    if (const std::size_t length = utf8SequenceLength(bytes, i)) {
      text.append(bytes.substr(i, length));
      i += length;
      continue;
    }
    if (convert(bytes.substr(i, 1), charset, one) != Result::Converted) return Result::NotText;
    text += one;
    ++i;
  }
  out = std::move(text);
  return Result::Converted;
}
