#include "platform/addressbook/vcard/VCardLine.h"

#include <algorithm>

namespace {

bool isBlank(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

bool isBase64Text(std::string_view line) {
  if (line.empty()) return false;
  for (char c : line) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
              c == '=' || c == ' ' || c == '\t';
    if (!ok) return false;
  }
  return true;
}

// Where c first is in a short text (a name, a parameter), or npos; fewer instructions than a call.
inline std::size_t findByte(std::string_view text, char c) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == c) return i;
  return std::string_view::npos;
}

inline std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool isEncodingWord(std::string_view word) {
  return equalsIgnoringCase(word, "QUOTED-PRINTABLE") || equalsIgnoringCase(word, "BASE64") ||
         equalsIgnoringCase(word, "B") || equalsIgnoringCase(word, "8BIT") || equalsIgnoringCase(word, "7BIT");
}

// Whether the name and parameters of a property line (up to its first colon) name the
// quoted-printable encoding.
bool mentionsQuotedPrintable(std::string_view line) {
  constexpr std::string_view kWord = "QUOTED-PRINTABLE";
  std::string_view head = line.substr(0, line.find(':'));
  for (std::size_t i = 0; i + kWord.size() <= head.size(); ++i)
    if (equalsIgnoringCase(head.substr(i, kWord.size()), kWord)) return true;
  return false;
}

// A parameter value without the quotes around it or around items of its list (TYPE="cell",VOICE is
// cell,VOICE); a quote inside a value (no quoting) is kept as it is. Built in the card's storage only
// when there is something to take out.
std::string_view unquotedParameterValue(VCardCard& card, std::string_view value) {
  if (findByte(value, '"') == std::string_view::npos) return value;
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"' &&
      value.substr(1, value.size() - 2).find('"') == std::string_view::npos)
    return value.substr(1, value.size() - 2);
  std::string& out = card.newStorage();
  std::size_t itemStart = 0;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] == '"') {
      // A quoted item runs to its closing quote, commas included.
      const std::size_t close = value.find('"', i + 1);
      if (i == itemStart && close != std::string_view::npos && (close + 1 == value.size() || value[close + 1] == ',')) {
        out.append(value.substr(i + 1, close - i - 1));
        i = close;
        continue;
      }
    }
    if (i == value.size()) break;
    out += value[i];
    if (value[i] == ',') itemStart = i + 1;
  }
  return out;
}

}  // namespace

std::optional<std::string_view> VCardCard::parameter(const VCardLine& line, std::string_view name) const {
  for (const auto& p : parametersOf(line))
    if (equalsIgnoringCase(p.name, name)) return p.value;
  return std::nullopt;
}

bool VCardCard::hasType(const VCardLine& line, std::string_view type) const {
  for (const auto& p : parametersOf(line)) {
    if (!equalsIgnoringCase(p.name, "TYPE")) continue;
    std::string_view rest = p.value;
    while (true) {
      auto comma = rest.find(',');
      if (equalsIgnoringCase(trim(rest.substr(0, comma)), type)) return true;
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return false;
}

void VCardCard::clear() {
  lines.clear();
  parameters.clear();
  storageUsed_ = 0;
  beginLine = 0;
}

std::string& VCardCard::newStorage() {
  if (storageUsed_ == storage_.size()) storage_.push_back(std::make_unique<std::string>());
  std::string& text = *storage_[storageUsed_++];
  text.clear();
  return text;
}

VCardLineReader::VCardLineReader(std::string_view text) : text_(text) {
  if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
}

VCardLineReader::VCardLineReader(std::string_view part, std::size_t linesBefore)
    : text_(part), lineNumber_(linesBefore) {}

bool VCardLineReader::fail(std::size_t line, std::string message) {
  error_ = VCardSyntaxError{line, std::move(message)};
  return false;
}

bool VCardLineReader::readProperty(VCardCard& card, std::string_view first, std::size_t number, VCardLine& out) {
  // Unfold: a following line that starts with a space or tab continues this one.
  std::string_view logical = first;
  std::string_view next;
  if (peekPhysicalLine(next) && !next.empty() && (next[0] == ' ' || next[0] == '\t')) {
    std::string& joined = card.newStorage();
    joined.assign(first);
    // After a quoted-printable soft line break ("=" at the end) the next line is value text,
    // its leading white space included.
    bool quotedPrintable = mentionsQuotedPrintable(first);
    while (peekPhysicalLine(next) && !next.empty() && (next[0] == ' ' || next[0] == '\t')) {
      if (quotedPrintable && !joined.empty() && joined.back() == '=') {
        joined.pop_back();
        joined.append(next);
      } else {
        joined.append(next.substr(1));
      }
      skipPhysicalLine();
    }
    logical = joined;
  }

  // Name (with group) and parameters up to the first colon outside quotes.
  std::size_t colon = logical.find(':');
  const bool quotes = colon != std::string_view::npos && logical.substr(0, colon).find('"') != std::string_view::npos;
  if (quotes) {
    // A quoted parameter value may hold a colon.
    colon = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < logical.size(); ++i) {
      char c = logical[i];
      if (c == '"')
        quoted = !quoted;
      else if (c == ':' && !quoted) {
        colon = i;
        break;
      }
    }
  }
  if (colon == std::string_view::npos) return fail(number, "line is not a property (no ':' after the name)");
  std::string_view head = logical.substr(0, colon);
  out.value = logical.substr(colon + 1);
  out.lineNumber = number;
  out.firstParameter = static_cast<std::uint32_t>(card.parameters.size());

  std::size_t nameEnd = head.find(';');
  std::string_view fullName = trim(head.substr(0, nameEnd));
  if (auto dot = findByte(fullName, '.'); dot != std::string_view::npos) {
    out.group = fullName.substr(0, dot);
    out.name = fullName.substr(dot + 1);
  } else {
    out.group = {};
    out.name = fullName;
  }
  if (out.name.empty()) return fail(number, "property without a name");

  bool quotedPrintable = false, base64 = false, transfer = false;
  std::size_t start = nameEnd;
  while (start != std::string_view::npos && start < head.size()) {
    std::size_t i = start + 1;
    if (!quotes) {
      // Without quotes every ';' ends a parameter.
      i = std::min(head.find(';', i), head.size());
    } else {
      bool inQuotes = false;
      while (i < head.size() && (inQuotes || head[i] != ';')) {
        if (head[i] == '"') inQuotes = !inQuotes;
        ++i;
      }
    }
    std::string_view item = trim(head.substr(start + 1, i - start - 1));
    start = i < head.size() ? i : std::string_view::npos;
    if (item.empty()) continue;
    VCardParameter parameter;
    if (auto equals = findByte(item, '='); equals != std::string_view::npos) {
      parameter.name = trim(item.substr(0, equals));
      parameter.value = trim(item.substr(equals + 1));
      if (quotes) parameter.value = unquotedParameterValue(card, parameter.value);
    } else {
      parameter.name = isEncodingWord(item) ? "ENCODING" : "TYPE";
      parameter.value = item;
    }
    if (equalsIgnoringCase(parameter.name, "ENCODING")) {
      transfer = true;
      quotedPrintable = quotedPrintable || equalsIgnoringCase(parameter.value, "QUOTED-PRINTABLE");
      base64 = base64 || equalsIgnoringCase(parameter.value, "BASE64") || equalsIgnoringCase(parameter.value, "B");
    } else if (equalsIgnoringCase(parameter.name, "CHARSET")) {
      transfer = true;
    }
    card.parameters.push_back(parameter);
  }
  out.parameterCount = static_cast<std::uint32_t>(card.parameters.size() - out.firstParameter);
  out.plain = !transfer;

  // vCard 2.1: a quoted-printable value continues after a soft line break ("=" at the end), and a
  // base64 value may run on over lines that are not indented, up to a blank line.
  // White space after the "=" of a soft line break is no text (RFC 2045; Android writes some).
  auto endsInSoftBreak = [](std::string_view value) {
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return !value.empty() && value.back() == '=';
  };
  bool softBreak = quotedPrintable && endsInSoftBreak(out.value);
  bool looseBase64 = base64 && peekPhysicalLine(next) && next.find(':') == std::string_view::npos && isBase64Text(next);
  if (softBreak || looseBase64) {
    std::string& value = card.newStorage();
    value.assign(out.value);
    if (softBreak) {
      while (endsInSoftBreak(value) && peekPhysicalLine(next)) {
        while (value.back() != '=') value.pop_back();
        value.pop_back();
        value.append(next);
        skipPhysicalLine();
      }
    } else {
      while (peekPhysicalLine(next) && next.find(':') == std::string_view::npos && isBase64Text(next)) {
        value.append(next);
        skipPhysicalLine();
      }
    }
    out.value = value;
  }
  return true;
}

bool VCardLineReader::nextCard(VCardCard& card) {
  card.clear();
  if (error_) return false;
  std::string_view line;
  std::size_t number = 0;
  bool inCard = false;
  VCardUnfinishedCard start;
  while (true) {
    if (!inCard && stopAt_ && position_ == *stopAt_) {
      stopped_ = true;
      return false;
    }
    if (!inCard) start = {position_, lineNumber_};
    if (!readPhysicalLine(line, number)) break;
    if (isBlank(line)) continue;
    VCardLine property;
    if (!readProperty(card, line, number, property)) return false;
    bool isBegin = equalsIgnoringCase(property.name, "BEGIN");
    bool isEnd = equalsIgnoringCase(property.name, "END");
    if (!inCard) {
      if (isBegin && equalsIgnoringCase(trim(property.value), "VCARD")) {
        inCard = true;
        card.beginLine = number;
        card.parameters.clear();
        continue;
      }
      if (isEnd) return fail(number, "END:" + std::string(trim(property.value)) + " without BEGIN:VCARD");
      return fail(number, "property " + std::string(property.name) + " outside a card (BEGIN:VCARD missing)");
    }
    if (isBegin) {
      if (equalsIgnoringCase(trim(property.value), "VCARD"))
        return fail(number, "BEGIN:VCARD inside a card that is not ended");
      return fail(number, "BEGIN:" + std::string(trim(property.value)) + " inside a card");
    }
    if (isEnd) {
      if (!equalsIgnoringCase(trim(property.value), "VCARD"))
        return fail(number, "END:" + std::string(trim(property.value)) + " inside a card (END:VCARD expected)");
      return true;
    }
    card.lines.push_back(property);
  }
  if (inCard && piece_) {
    unfinished_ = start;
    return false;
  }
  if (inCard) return fail(card.beginLine, "card is not ended (END:VCARD missing)");
  return false;
}
