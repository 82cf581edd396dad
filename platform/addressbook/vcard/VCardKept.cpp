#include "platform/addressbook/vcard/VCardKept.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <unordered_set>

namespace {

bool isTransferParameter(const VCardParameter& parameter) {
  return equalsIgnoringCase(parameter.name, "CHARSET") ||
         (equalsIgnoringCase(parameter.name, "ENCODING") && !equalsIgnoringCase(parameter.value, "B") &&
          !equalsIgnoringCase(parameter.value, "BASE64"));
}

// Quoted only where RFC 6350 asks for it: a ';' or ':' inside (or a ',' in a value that is no list).
// A value with a quote inside cannot be quoted and goes out as it came.
void appendParameterValue(std::string& out, std::string_view value, bool list) {
  bool quote =
      value.find_first_of(list ? ";:" : ",;:") != std::string_view::npos && value.find('"') == std::string_view::npos;
  if (quote) out += '"';
  out += value;
  if (quote) out += '"';
}

// Upper-case item group of a line ("item3" of "item3.TEL;..."), or empty.
std::string_view itemGroupOf(std::string_view line) {
  std::size_t end = line.find_first_of(".;:");
  if (end == std::string_view::npos || line[end] != '.') return {};
  std::string_view group = line.substr(0, end);
  if (group.size() < 5 || !equalsIgnoringCase(group.substr(0, 4), "item")) return {};
  for (char c : group.substr(4))
    if (c < '0' || c > '9') return {};
  return group;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Where the first comma of a short list is (its end when none): no library call for a few bytes.
std::size_t commaOrEnd(std::string_view list) {
  std::size_t i = 0;
  while (i < list.size() && list[i] != ',') ++i;
  return i;
}

bool listHas(std::string_view list, std::string_view value) {
  while (!list.empty()) {
    const std::size_t comma = commaOrEnd(list);
    if (equalsIgnoringCase(list.substr(0, comma), value)) return true;
    if (comma == list.size()) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

void appendKeptParameters(std::string& out, const VCardCard& card, const VCardLine& line,
                          const std::function<bool(const VCardParameter&)>& skip) {
  for (const auto& parameter : card.parametersOf(line)) {
    if (isTransferParameter(parameter) || (skip && skip(parameter))) continue;
    out += ';';
    if (equalsIgnoringCase(parameter.name, "ENCODING")) {
      out += "ENCODING=b";  // base64, as vCard 3.0 names it
      continue;
    }
    out += parameter.name;
    out += '=';
    appendParameterValue(out, parameter.value, equalsIgnoringCase(parameter.name, "TYPE"));
  }
}

std::string keptLine(const VCardCard& card, const VCardLine& line, std::string_view value, bool withGroup) {
  std::string out;
  out.reserve(line.name.size() + value.size() + 16);
  appendKeptLine(out, card, line, value, withGroup);
  return out;
}

void appendKeptLine(std::string& out, const VCardCard& card, const VCardLine& line, std::string_view value,
                    bool withGroup) {
  if (withGroup && !line.group.empty()) {
    out += line.group;
    out += '.';
  }
  out += line.name;
  if (line.parameterCount > 0) appendKeptParameters(out, card, line);
  out += ':';
  // One line each: a line break inside a decoded value is written as the \n escape.
  for (std::size_t i = 0; i < value.size(); ++i) {
    // Text without a line break goes in as one piece.
    std::size_t plain = i;
    while (plain < value.size() && value[plain] != '\r' && value[plain] != '\n') ++plain;
    if (plain != i) {
      out.append(value.substr(i, plain - i));
      if (plain == value.size()) return;
      i = plain;
    }
    char c = value[i];
    if (c == '\r') {
      // CR LF is one line break, and so is a CR before the line-break escape.
      if (i + 1 < value.size() && value[i + 1] == '\n')
        ++i;
      else if (value.substr(i + 1, 2) == "\\n" || value.substr(i + 1, 2) == "\\N")
        continue;
      out += "\\n";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
}

std::string entryParameters(const VCardCard& card, const VCardLine& line, std::string_view explainedTypes,
                            const std::function<bool(const VCardParameter&)>& skip) {
  std::string out;
  appendEntryParameters(out, card, line, explainedTypes, skip);
  return out;
}

void appendEntryParameters(std::string& out, const VCardCard& card, const VCardLine& line,
                           std::string_view explainedTypes, const std::function<bool(const VCardParameter&)>& skip) {
  // The TYPE values not explained go first, gathered in one list written straight into out (and
  // quoted afterwards if they need it); the other parameters follow in a second pass.
  constexpr std::string_view kTypes = ";TYPE=";
  const std::size_t start = out.size();
  bool others = false;
  // The values written so far, to write each once: compared in turn while they are few, then found
  // by their lower-case text (a line may list thousands).
  constexpr std::size_t kComparedInTurn = 16;
  std::array<std::string_view, kComparedInTurn> written;
  std::size_t writtenCount = 0;
  std::unordered_set<std::string> writtenLower;
  auto isNew = [&](std::string_view type) {
    if (writtenCount < kComparedInTurn) {
      for (std::size_t i = 0; i < writtenCount; ++i)
        if (equalsIgnoringCase(written[i], type)) return false;
      written[writtenCount++] = type;
      if (writtenCount == kComparedInTurn)
        for (std::string_view other : written) writtenLower.insert(lower(other));
      return true;
    }
    return writtenLower.insert(lower(type)).second;
  };
  for (const auto& parameter : card.parametersOf(line)) {
    if (isTransferParameter(parameter) || (skip && skip(parameter))) continue;
    if (!equalsIgnoringCase(parameter.name, "TYPE")) {
      others = true;
      continue;
    }
    std::string_view rest = parameter.value;
    while (true) {
      const std::size_t comma = commaOrEnd(rest);
      std::string_view type = rest.substr(0, comma);
      while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
      while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
      if (!type.empty() && !listHas(explainedTypes, type) && isNew(type)) {
        out += out.size() == start ? kTypes : ",";
        out += type;
      }
      if (comma == rest.size()) break;
      rest.remove_prefix(comma + 1);
    }
  }
  if (out.size() != start &&
      std::string_view(out).substr(start + kTypes.size()).find_first_of(";:") != std::string_view::npos &&
      std::string_view(out).substr(start + kTypes.size()).find('"') == std::string_view::npos) {
    out.insert(start + kTypes.size(), 1, '"');
    out += '"';
  }
  if (!others) return;
  for (const auto& parameter : card.parametersOf(line)) {
    if (isTransferParameter(parameter) || (skip && skip(parameter)) || equalsIgnoringCase(parameter.name, "TYPE"))
      continue;
    out += ';';
    out += parameter.name;
    out += '=';
    appendParameterValue(out, parameter.value, false);
  }
}

std::string_view entryProperty(std::string_view parameters) {
  return parameters.substr(0, parameters.find(';'));
}

std::string_view entryParametersOnly(std::string_view parameters) {
  return parameters.substr(entryProperty(parameters).size());
}

std::string_view entryExtraTypes(std::string_view parameters) {
  parameters = entryParametersOnly(parameters);
  constexpr std::string_view kType = ";TYPE=";
  if (parameters.substr(0, kType.size()) != kType) return {};
  std::string_view rest = parameters.substr(kType.size());
  bool quoted = false;
  std::size_t i = 0;
  for (; i < rest.size(); ++i) {
    if (rest[i] == '"') quoted = !quoted;
    if (rest[i] == ';' && !quoted) break;
  }
  return rest.substr(0, i);
}

std::string_view entryOtherParameters(std::string_view parameters) {
  parameters = entryParametersOnly(parameters);
  std::string_view types = entryExtraTypes(parameters);
  if (types.empty()) return parameters;
  return parameters.substr(std::string_view(";TYPE=").size() + types.size());
}

bool replaceRevisionLines(std::string& kept, std::string_view revision) {
  std::string out;
  bool found = false;
  std::string_view rest = kept;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end == std::string_view::npos ? rest.size() : end + 1);
    rest.remove_prefix(line.size());
    // "REV:...", "REV;VALUE=timestamp:...", "item1.REV:..." (case as any).
    std::string_view name = line.substr(itemGroupOf(line).size());
    if (!name.empty() && name.front() == '.') name.remove_prefix(1);
    const bool isRevision =
        name.size() > 3 && equalsIgnoringCase(name.substr(0, 3), "REV") && (name[3] == ':' || name[3] == ';');
    if (!isRevision) {
      out += line;
      continue;
    }
    if (found) continue;
    found = true;
    out += "REV:";
    out += revision;
    out += '\n';
  }
  if (!found) return false;
  kept = std::move(out);
  return true;
}

std::string revisionText(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
  return text;
}

void forEachKeptLine(std::string_view kept, const std::function<int()>& nextGroup,
                     const std::function<void(std::string_view line)>& emit) {
  std::map<std::string, std::string> renamed;
  std::string line;
  while (!kept.empty()) {
    std::size_t end = kept.find('\n');
    std::string_view text = kept.substr(0, end);
    kept.remove_prefix(end == std::string_view::npos ? kept.size() : end + 1);
    if (text.empty()) continue;
    std::string_view group = itemGroupOf(text);
    if (group.empty()) {
      emit(text);
      continue;
    }
    auto [it, isNew] = renamed.try_emplace(lower(group));
    if (isNew) it->second = "item" + std::to_string(nextGroup());
    line = it->second;
    line += text.substr(group.size());
    emit(line);
  }
}

std::string mergeKeptLines(const std::vector<std::string_view>& persons) {
  std::string merged;
  std::set<std::string, std::less<>> seen;
  int group = 0;
  for (std::string_view kept : persons) {
    forEachKeptLine(
        kept, [&] { return ++group; },
        [&](std::string_view line) {
          // A line met before (under its own group name) is not repeated.
          std::string_view own = itemGroupOf(line).empty() ? line : line.substr(line.find('.'));
          if (!seen.emplace(own).second) return;
          merged += line;
          merged += '\n';
        });
  }
  return merged;
}

const VCardLinesAsRead kCameAsVersion4{"VERSION", "VERSION:4.0", {"VERSION:4.0"}};

std::vector<VCardLinesAsRead> parseLinesAsRead(std::string_view text) {
  std::vector<VCardLinesAsRead> all;
  while (!text.empty()) {
    std::size_t end = text.find("\n\n");
    std::string_view block = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
    VCardLinesAsRead entry;
    int field = 0;
    std::string written;
    while (!block.empty()) {
      std::size_t lineEnd = block.find('\n');
      std::string_view line = block.substr(0, lineEnd);
      block.remove_prefix(lineEnd == std::string_view::npos ? block.size() : lineEnd + 1);
      if (field == 0) {
        entry.slot = line;
      } else if (field == 1) {
        // The written form may itself be several lines: their count comes first.
        int count = std::max(1, std::atoi(std::string(line).c_str()));
        for (int i = 0; i < count && !block.empty(); ++i) {
          lineEnd = block.find('\n');
          if (i) entry.written += '\n';
          entry.written += block.substr(0, lineEnd);
          block.remove_prefix(lineEnd == std::string_view::npos ? block.size() : lineEnd + 1);
        }
      } else {
        entry.lines.emplace_back(line);
      }
      ++field;
    }
    if (!entry.slot.empty() && !entry.lines.empty()) all.push_back(std::move(entry));
  }
  return all;
}

void appendLinesAsRead(std::string& text, const VCardLinesAsRead& entry) {
  if (!text.empty()) text += "\n\n";
  text += entry.slot;
  text += '\n';
  text += std::to_string(std::count(entry.written.begin(), entry.written.end(), '\n') + 1);
  text += '\n';
  text += entry.written;
  for (const auto& line : entry.lines) {
    text += '\n';
    text += line;
  }
}

const VCardLinesAsRead* linesAsReadFor(const std::vector<VCardLinesAsRead>& all, std::string_view slot,
                                       std::string_view written) {
  for (const auto& entry : all)
    if (entry.slot == slot && entry.written == written) return &entry;
  return nullptr;
}

const VCardLinesAsRead* linesAsReadFor(const std::vector<VCardLinesAsRead>& all, std::string_view slot) {
  for (const auto& entry : all)
    if (entry.slot == slot) return &entry;
  return nullptr;
}

namespace {

// vCard 4.0 properties that 3.0 does not have, and what a 3.0 card calls them.
struct Version3Name {
  std::string_view name, version3;
};
constexpr Version3Name kVersion3Names[] = {
    {"KIND", "X-ADDRESSBOOKSERVER-KIND"},
    {"MEMBER", "X-ADDRESSBOOKSERVER-MEMBER"},
    {"GENDER", "X-GENDER"},
    {"ANNIVERSARY", "X-ANNIVERSARY"},
    {"BIRTHPLACE", "X-BIRTHPLACE"},
    {"DEATHPLACE", "X-DEATHPLACE"},
    {"DEATHDATE", "X-DEATHDATE"},
    {"LANG", "X-LANG"},
    {"CLIENTPIDMAP", "X-CLIENTPIDMAP"},
    {"XML", "X-XML"},
    {"N", "X-N"},  // a second N (an ALTID alternative): a 3.0 card has one
};

// Each parameter of a parameter text (";A=b;C=d", quotes respected), in turn.
template <typename Visit>
void forEachParameter(std::string_view parameters, Visit&& visit) {
  while (!parameters.empty()) {
    std::size_t end = 1;
    bool quoted = false;
    for (; end < parameters.size() && (quoted || parameters[end] != ';'); ++end)
      if (parameters[end] == '"') quoted = !quoted;
    visit(parameters.substr(0, end));
    parameters.remove_prefix(end);
  }
}

// A PREF parameter (";PREF=1") as 3.0 says it: TYPE=pref for the first, X-PREF for another; any
// other parameter as it is.
std::string_view prefInVersion3(std::string_view parameter, bool& pref, std::string& renamed) {
  constexpr std::string_view kPref = ";PREF=";
  if (parameter.size() <= kPref.size() || !equalsIgnoringCase(parameter.substr(0, kPref.size()), kPref))
    return parameter;
  if (parameter.substr(kPref.size()) == "1") {
    pref = true;
    return {};
  }
  renamed = ";X-PREF=";
  renamed += parameter.substr(kPref.size());
  return renamed;
}

}  // namespace

void appendKeptLineInVersion3(std::string& out, std::string_view line, bool renameProperty) {
  // group.NAME;parameters:value
  std::size_t colon = std::string_view::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < line.size() && colon == std::string_view::npos; ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) colon = i;
  }
  if (colon == std::string_view::npos) {
    out += line;
    return;
  }
  const std::string_view head = line.substr(0, colon), value = line.substr(colon + 1);
  const std::size_t nameEnd = std::min(head.find(';'), head.size());
  const std::size_t dot = head.substr(0, nameEnd).find('.');
  const std::size_t nameStart = dot == std::string_view::npos ? 0 : dot + 1;
  const std::string_view name = head.substr(nameStart, nameEnd - nameStart);
  out += head.substr(0, nameStart);
  std::string_view renamed = name;
  if (renameProperty)
    for (const auto& known : kVersion3Names)
      if (equalsIgnoringCase(known.name, name)) renamed = known.version3;
  out += renamed;
  bool pref = false;
  std::string scratch;
  forEachParameter(head.substr(nameEnd), [&](std::string_view parameter) {
    std::string_view written = prefInVersion3(parameter, pref, scratch);
    if (written.empty()) written = ";TYPE=pref";
    out += written;
  });
  out += ':';
  constexpr std::string_view kGeo = "geo:";
  if (equalsIgnoringCase(name, "GEO") && value.size() > kGeo.size() &&
      equalsIgnoringCase(value.substr(0, kGeo.size()), kGeo)) {
    // geo:37.38,-122.08 (a URI, 4.0) is 37.38;-122.08 in 3.0; what follows the two numbers goes.
    std::string_view coordinates = value.substr(kGeo.size());
    coordinates = coordinates.substr(0, std::min(coordinates.find(';'), coordinates.size()));
    const std::size_t comma = coordinates.find(',');
    const std::size_t second = comma == std::string_view::npos ? comma : coordinates.find(',', comma + 1);
    if (comma != std::string_view::npos) {
      out += coordinates.substr(0, comma);
      out += ';';
      out += coordinates.substr(comma + 1, second == std::string_view::npos ? second : second - comma - 1);
      return;
    }
  }
  out += value;
}

void parametersInVersion3(std::string_view parameters, std::string& types, std::string& others) {
  bool pref = false;
  std::string scratch;
  forEachParameter(parameters, [&](std::string_view parameter) { others += prefInVersion3(parameter, pref, scratch); });
  if (pref && !listHas(types, "pref")) types += types.empty() ? "pref" : ",pref";
}
