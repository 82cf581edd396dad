#include "app/scanner/AllowedNames.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/text/Utf8.h"

namespace {

std::string folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '.' || c == ' ') continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

std::string withoutDotsAndSpaces(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '.' && c != ' ') out += c;
  return out;
}

std::atomic<const AllowedNames*>& inUse() {
  static std::atomic<const AllowedNames*> names{&AllowedNames::defaults()};
  return names;
}

}  // namespace

AllowedNames::AllowedNames(std::vector<std::string> titles, std::vector<std::string> suffixes)
    : titles_(std::move(titles)),
      suffixes_(std::move(suffixes)),
      titleSet_(titles_.begin(), titles_.end()),
      suffixSet_(suffixes_.begin(), suffixes_.end()) {}

const AllowedNames& AllowedNames::defaults() {
  static const AllowedNames names(
      {"1LT",      "1lt",      "1ST",      "1st",      "2LT",     "2lt",       "2ND",       "2nd",  "3RD",
       "3rd",      "Adm",      "adm",      "Admiral",  "admiral", "Cardinal",  "cardinal",  "Capt", "capt",
       "Captain",  "captain",  "CDR",      "cdr",      "Chief",   "chief",     "Col",       "col",  "Colonel",
       "colonel",  "Count",    "count",    "Cpt",      "cpt",     "Doctor",    "doctor",    "Dr",   "dr",
       "Gen",      "gen",      "Gerneral", "gerneral", "General", "general",   "LCDR",      "lcdr", "Lord",
       "lord",     "Lt",       "lt",       "LTG",      "ltg",     "LTJG",      "ltjg",      "Maj",  "maj",
       "Major",    "major",    "MG",       "mg",       "Mr",      "mr",        "Mrs",       "mrs",  "Ms",
       "ms",       "Pastor",   "pastor",   "Prof",     "prof",    "Professor", "professor", "Rep",  "rep",
       "Reverend", "reverend", "Sen",      "sen",      "Senator", "senator",   "Sir",       "sir"},
      {"2nd", "2ND", "3rd", "3RD", "4th", "4TH", "5th", "5TH", "6th", "6TH",    "BA",     "ba", "DDS", "dds",
       "ESQ", "esq", "I",   "II",  "III", "IV",  "IX",  "Jr",  "jr",  "Junior", "junior", "MA", "ma",  "MD",
       "md",  "MS",  "ms",  "PhD", "phd", "Sr",  "sr",  "V",   "VI",  "VII",    "VIII",   "X"});
  return names;
}

const AllowedNames& AllowedNames::current() {
  return *inUse().load(std::memory_order_acquire);
}

void AllowedNames::use(AllowedNames names) {
  // A scan on another thread may still read the lists it started with: lists once in use are kept
  // for the rest of the run (they are few and small).
  static std::mutex mutex;
  static std::vector<std::unique_ptr<const AllowedNames>> kept;
  std::lock_guard lock(mutex);
  kept.push_back(std::make_unique<const AllowedNames>(std::move(names)));
  inUse().store(kept.back().get(), std::memory_order_release);
}

std::optional<std::string> AllowedNames::formIn(const std::vector<std::string>& list,
                                                const std::unordered_set<std::string>& set, std::string_view text) {
  if (set.count(std::string(text))) return std::nullopt;
  const std::string key = folded(text);
  if (key.empty()) return std::nullopt;
  const std::string bare = withoutDotsAndSpaces(text);
  std::optional<std::string> first;
  for (const auto& entry : list) {
    if (folded(entry) != key) continue;
    if (withoutDotsAndSpaces(entry) == bare) return entry;
    if (!first) first = entry;
  }
  return first;
}

std::optional<std::string> AllowedNames::allowedTitleForm(std::string_view title) const {
  return formIn(titles_, titleSet_, title);
}

std::optional<std::string> AllowedNames::allowedSuffixForm(std::string_view suffix) const {
  return formIn(suffixes_, suffixSet_, suffix);
}

std::filesystem::path AllowedNames::settingsFile() {
  std::filesystem::path folder;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    folder = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    folder = std::filesystem::path(home) / ".config";
  else
    return {};
  return folder / "rolvane" / "rolvane.conf";
}

std::vector<std::string> AllowedNames::settingsList(std::string_view value) {
  // As QSettings writes a list in an INI file: items separated by commas, an item in double quotes
  // where it holds a comma or spaces at its ends, C escapes (\n, \", \\, \xHHHH, octal) and an empty
  // list as @Invalid(); an item beginning with "@" is written with a second one.
  std::vector<std::string> items;
  if (value == "@Invalid()") return items;
  std::string item;
  bool quoted = false, itemQuoted = false;
  size_t keep = 0;  // the item's length up to its last character that is not a trailing space
  size_t i = 0;
  auto skipSpaces = [&] {
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  };
  auto finishItem = [&] {
    if (!itemQuoted) item.resize(keep);
    if (item.rfind("@@", 0) == 0) item.erase(0, 1);
    items.push_back(std::move(item));
    item.clear();
    itemQuoted = false;
    keep = 0;
  };
  skipSpaces();
  while (i < value.size()) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      const char e = value[i + 1];
      i += 2;
      switch (e) {
        case 'a':
          item += '\a';
          break;
        case 'b':
          item += '\b';
          break;
        case 'f':
          item += '\f';
          break;
        case 'n':
          item += '\n';
          break;
        case 'r':
          item += '\r';
          break;
        case 't':
          item += '\t';
          break;
        case 'v':
          item += '\v';
          break;
        case 'x': {
          unsigned code = 0;
          while (i < value.size() && std::isxdigit(static_cast<unsigned char>(value[i]))) {
            const char h = value[i++];
            code = code * 16 + static_cast<unsigned>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
          }
          appendUtf8(item, code);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned code = static_cast<unsigned>(e - '0');
            while (i < value.size() && value[i] >= '0' && value[i] <= '7')
              code = code * 8 + static_cast<unsigned>(value[i++] - '0');
            appendUtf8(item, code);
          } else {
            item += e;  // \" \\ \' \?
          }
      }
      keep = item.size();
    } else if (c == '"') {
      ++i;
      itemQuoted = true;
      quoted = !quoted;
      if (!quoted) skipSpaces();
      keep = item.size();
    } else if (c == ',' && !quoted) {
      ++i;
      finishItem();
      skipSpaces();
    } else {
      item += c;
      ++i;
      if (c != ' ' && c != '\t') keep = item.size();
    }
  }
  finishItem();
  return items;
}

std::vector<std::pair<std::string, std::string>> AllowedNames::settingsValues(const std::filesystem::path& file) {
  std::vector<std::pair<std::string, std::string>> values;
  std::ifstream in(file);
  std::string line, section;
  while (in && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == ';' || line[start] == '#') continue;
    if (line[start] == '[') {
      const size_t end = line.find(']', start);
      section = line.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
      continue;
    }
    const size_t equals = line.find('=', start);
    if (equals == std::string::npos || section != kSettingsGroup) continue;
    std::string key = line.substr(start, equals - start);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    values.emplace_back(std::move(key), line.substr(equals + 1));
  }
  return values;
}

AllowedNames AllowedNames::fromSettingsFile(const std::filesystem::path& file) {
  std::vector<std::string> titles = defaults().titles(), suffixes = defaults().suffixes();
  for (const auto& [key, value] : settingsValues(file)) {
    if (key == kTitlesKey || key == kSuffixesKey) {
      std::vector<std::string> entries = settingsList(value);
      std::erase_if(entries,
                    [](const std::string& entry) { return entry.find_first_not_of(" \t") == std::string::npos; });
      (key == kTitlesKey ? titles : suffixes) = std::move(entries);
    }
  }
  return AllowedNames(std::move(titles), std::move(suffixes));
}
