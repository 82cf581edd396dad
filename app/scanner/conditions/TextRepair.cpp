#include "app/scanner/conditions/TextRepair.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/text/ByteWords.h"
#include "platform/text/Utf8.h"

namespace TextRepair {

namespace {

// What Windows-1252 reads the bytes 0x80 to 0x9F as; 0 where it has no character (Latin-1's C1
// controls stand there).
constexpr std::array<UChar32, 32> kWindows1252High = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The byte a character came from when bytes were read as Windows-1252 or Latin-1; -1 for a
// character neither reads a byte as.
int byteOf(UChar32 c) {
  if (c < 0x100) return static_cast<int>(c);
  for (size_t i = 0; i < kWindows1252High.size(); ++i)
    if (kWindows1252High[i] == c) return static_cast<int>(0x80 + i);
  return -1;
}

// What Windows-1252 reads a byte as.
UChar32 windows1252(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0 && kWindows1252High[byte - 0x80]) return kWindows1252High[byte - 0x80];
  return byte;
}

// Whether the bytes are valid UTF-8 and hold a character beyond ASCII.
bool validUtf8BeyondAscii(std::string_view text) {
  bool beyond = false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
    if (c >= 0x80) beyond = true;
  }
  return beyond;
}

// Punctuation that text beyond ASCII holds beside its letters (typographic quotes, dashes, the
// ellipsis, the euro and pound signs, the no-break space).
bool isTypographic(UChar32 c) {
  switch (c) {
    case 0x00A0:
    case 0x00A3:
    case 0x00AB:
    case 0x00B7:
    case 0x00BB:
    case 0x2013:
    case 0x2014:
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x2026:
    case 0x20AC:
      return true;
    default:
      return false;
  }
}

// Whether a repaired text reads as text: every character beyond ASCII a letter, a mark or common
// punctuation, no control character, and all its letters of one script.
bool readsAsText(std::string_view text) {
  UScriptCode script = USCRIPT_INVALID_CODE;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return false;
    if (c < 0x80) {
      if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
      if (!((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) continue;
    } else {
      const int32_t mask = U_GET_GC_MASK(c);
      if (!(mask & (U_GC_L_MASK | U_GC_M_MASK)) && !isTypographic(c)) return false;
      if (!(mask & U_GC_L_MASK)) continue;
    }
    UErrorCode status = U_ZERO_ERROR;
    const UScriptCode of = uscript_getScript(c, &status);
    if (U_FAILURE(status) || of == USCRIPT_COMMON || of == USCRIPT_INHERITED) continue;
    if (script == USCRIPT_INVALID_CODE)
      script = of;
    else if (of != script)
      return false;
  }
  return true;
}

// The bytes the text's characters were read from as Windows-1252 or Latin-1; nullopt when one of
// them is no such character.
std::optional<std::string> bytesReadAsWindows1252(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(data, i, length, c);
    const int byte = c < 0 ? -1 : byteOf(c);
    if (byte < 0) return std::nullopt;
    bytes += static_cast<char>(byte);
  }
  return bytes;
}

// UTF-8 read as Windows-1252 once or more: the bytes read again as UTF-8, as long as they are.
std::optional<std::string> readAgainAsUtf8(std::string_view text) {
  std::optional<std::string> repaired;
  std::string current(text);
  for (int round = 0; round < 3; ++round) {
    std::optional<std::string> bytes = bytesReadAsWindows1252(current);
    if (!bytes || !validUtf8BeyondAscii(*bytes)) break;
    current = std::move(*bytes);
    repaired = current;
  }
  if (repaired && readsAsText(*repaired)) return repaired;
  return std::nullopt;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Quoted-printable: every "=" begins "=XX" (two upper-case hex digits), at least one of a byte
// beyond ASCII. The bytes as UTF-8 or, when they are not UTF-8 and that is allowed, each byte beyond
// ASCII a letter of Windows-1252.
std::optional<std::string> quotedPrintable(std::string_view text, bool singleBytes) {
  std::string bytes;
  bytes.reserve(text.size());
  bool beyond = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      bytes += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    const int byte = high * 16 + low;
    beyond |= byte >= 0x80;
    bytes += static_cast<char>(byte);
    i += 2;
  }
  if (!beyond) return std::nullopt;
  if (validUtf8BeyondAscii(bytes)) {
    if (readsAsText(bytes)) return bytes;
    return std::nullopt;
  }
  if (!singleBytes) return std::nullopt;
  std::string read;
  for (unsigned char byte : bytes) {
    const UChar32 c = windows1252(byte);
    if (byte >= 0x80 && !(U_GET_GC_MASK(c) & U_GC_L_MASK)) return std::nullopt;
    appendUtf8(read, c);
  }
  if (readsAsText(read)) return read;
  return std::nullopt;
}

struct Entity {
  std::string_view name;
  UChar32 character;
};

// The named entities of HTML for the characters of Latin-1 and the common typographic ones.
constexpr Entity kEntities[] = {
    {"AElig", 0xC6},   {"Aacute", 0xC1},  {"Acirc", 0xC2},   {"Agrave", 0xC0},   {"Aring", 0xC5},   {"Atilde", 0xC3},
    {"Auml", 0xC4},    {"Ccedil", 0xC7},  {"ETH", 0xD0},     {"Eacute", 0xC9},   {"Ecirc", 0xCA},   {"Egrave", 0xC8},
    {"Euml", 0xCB},    {"Iacute", 0xCD},  {"Icirc", 0xCE},   {"Igrave", 0xCC},   {"Iuml", 0xCF},    {"Ntilde", 0xD1},
    {"OElig", 0x152},  {"Oacute", 0xD3},  {"Ocirc", 0xD4},   {"Ograve", 0xD2},   {"Oslash", 0xD8},  {"Otilde", 0xD5},
    {"Ouml", 0xD6},    {"Scaron", 0x160}, {"THORN", 0xDE},   {"Uacute", 0xDA},   {"Ucirc", 0xDB},   {"Ugrave", 0xD9},
    {"Uuml", 0xDC},    {"Yacute", 0xDD},  {"Yuml", 0x178},   {"aacute", 0xE1},   {"acirc", 0xE2},   {"acute", 0xB4},
    {"aelig", 0xE6},   {"agrave", 0xE0},  {"amp", 0x26},     {"apos", 0x27},     {"aring", 0xE5},   {"atilde", 0xE3},
    {"auml", 0xE4},    {"bdquo", 0x201E}, {"brvbar", 0xA6},  {"bull", 0x2022},   {"ccedil", 0xE7},  {"cedil", 0xB8},
    {"cent", 0xA2},    {"copy", 0xA9},    {"curren", 0xA4},  {"deg", 0xB0},      {"divide", 0xF7},  {"eacute", 0xE9},
    {"ecirc", 0xEA},   {"egrave", 0xE8},  {"eth", 0xF0},     {"euml", 0xEB},     {"euro", 0x20AC},  {"frac12", 0xBD},
    {"frac14", 0xBC},  {"frac34", 0xBE},  {"gt", 0x3E},      {"hellip", 0x2026}, {"iacute", 0xED},  {"icirc", 0xEE},
    {"iexcl", 0xA1},   {"igrave", 0xEC},  {"iquest", 0xBF},  {"iuml", 0xEF},     {"laquo", 0xAB},   {"ldquo", 0x201C},
    {"lsquo", 0x2018}, {"lt", 0x3C},      {"macr", 0xAF},    {"mdash", 0x2014},  {"micro", 0xB5},   {"middot", 0xB7},
    {"nbsp", 0xA0},    {"ndash", 0x2013}, {"not", 0xAC},     {"ntilde", 0xF1},   {"oacute", 0xF3},  {"ocirc", 0xF4},
    {"oelig", 0x153},  {"ograve", 0xF2},  {"ordf", 0xAA},    {"ordm", 0xBA},     {"oslash", 0xF8},  {"otilde", 0xF5},
    {"ouml", 0xF6},    {"para", 0xB6},    {"plusmn", 0xB1},  {"pound", 0xA3},    {"quot", 0x22},    {"raquo", 0xBB},
    {"rdquo", 0x201D}, {"reg", 0xAE},     {"rsquo", 0x2019}, {"sbquo", 0x201A},  {"scaron", 0x161}, {"sect", 0xA7},
    {"shy", 0xAD},     {"sup1", 0xB9},    {"sup2", 0xB2},    {"sup3", 0xB3},     {"szlig", 0xDF},   {"thorn", 0xFE},
    {"times", 0xD7},   {"trade", 0x2122}, {"uacute", 0xFA},  {"ucirc", 0xFB},    {"ugrave", 0xF9},  {"uml", 0xA8},
    {"uuml", 0xFC},    {"yacute", 0xFD},  {"yen", 0xA5},     {"yuml", 0xFF},
};

// The character of the entity that begins at text[at] ("&amp;", "&#233;", "&#xE9;"), and its
// length; nullopt when none begins there.
std::optional<std::pair<UChar32, size_t>> entityAt(std::string_view text, size_t at) {
  const size_t end = text.find(';', at);
  if (end == std::string_view::npos || end - at > 10 || end - at < 3) return std::nullopt;
  const std::string_view body = text.substr(at + 1, end - at - 1);
  if (body[0] == '#') {
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) return std::nullopt;
    UChar32 c = 0;
    for (char d : digits) {
      int value = -1;
      if (d >= '0' && d <= '9')
        value = d - '0';
      else if (hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f')
        value = (d | 0x20) - 'a' + 10;
      if (value < 0) return std::nullopt;
      c = c * (hex ? 16 : 10) + value;
      if (c > 0x10FFFF) return std::nullopt;
    }
    // A character text holds: printable ASCII, a letter or mark, or common punctuation.
    const bool printable = c >= 0x20 && c < 0x7F;
    if (!printable && (c < 0xA0 || !((U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK)) || isTypographic(c))))
      return std::nullopt;
    return std::make_pair(c, end - at + 1);
  }
  for (const Entity& entity : kEntities)
    if (entity.name == body) return std::make_pair(entity.character, end - at + 1);
  return std::nullopt;
}

std::optional<std::string> htmlEntities(std::string_view text) {
  std::string read;
  bool any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (auto entity = entityAt(text, i)) {
        appendUtf8(read, entity->first);
        i += entity->second - 1;
        any = true;
        continue;
      }
    }
    read += text[i];
  }
  if (any && readsAsText(read)) return read;
  return std::nullopt;
}

}  // namespace

bool mayBeDamaged(std::string_view text) {
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    const std::uint64_t word = ByteWords::load(text.data() + i);
    if ((word & ByteWords::kTopBits) || ByteWords::has(word, '=') || ByteWords::has(word, '&')) return true;
  }
  for (; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 || c == '=' || c == '&') return true;
  }
  return false;
}

Finding examine(std::string_view text, bool emailAddress) {
  if (!mayBeDamaged(text)) return {};
  bool beyondAscii = false, equals = false, ampersand = false;
  for (char c : text) {
    beyondAscii |= static_cast<unsigned char>(c) >= 0x80;
    equals |= c == '=';
    ampersand |= c == '&';
  }
  if (beyondAscii) {
    // U+FFFD, as UTF-8 EF BF BD.
    if (text.find("\xEF\xBF\xBD") != std::string_view::npos) return {Damage::kLostCharacters, {}};
    if (auto repaired = readAgainAsUtf8(text)) return {Damage::kReadAsWindows1252, std::move(*repaired)};
  }
  // Quoted-printable encodes every byte beyond ASCII: a text holding one is none.
  if (equals && !beyondAscii)
    if (auto repaired = quotedPrintable(text, !emailAddress)) return {Damage::kQuotedPrintable, std::move(*repaired)};
  if (ampersand && !emailAddress)
    if (auto repaired = htmlEntities(text)) return {Damage::kHtmlEntities, std::move(*repaired)};
  return {};
}

}  // namespace TextRepair
