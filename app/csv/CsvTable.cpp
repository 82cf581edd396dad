#include "app/csv/CsvTable.h"

#include <algorithm>
#include <cstring>

#include "platform/addressbook/vcard/VCardText.h"

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The separator the heading line holds most of outside quotes; a comma when it holds none.
char detectDelimiter(std::string_view text) {
  size_t commas = 0, semicolons = 0, tabs = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || c == '\r') break;
    commas += c == ',';
    semicolons += c == ';';
    tabs += c == '\t';
  }
  if (semicolons > commas && semicolons >= tabs) return ';';
  if (tabs > commas && tabs > semicolons) return '\t';
  return ',';
}

}  // namespace

std::string CsvTable::detectCharset(std::string_view bytes) {
  if (startsWith(bytes, "\xEF\xBB\xBF")) return "UTF-8";
  if (startsWith(bytes, "\xFF\xFE")) return "UTF-16LE";
  if (startsWith(bytes, "\xFE\xFF")) return "UTF-16BE";
  // Without a mark: a heading's ASCII letters with a zero byte after (or before) each.
  if (bytes.size() >= 4 && bytes[0] != 0 && bytes[1] == 0 && bytes[2] != 0 && bytes[3] == 0) return "UTF-16LE";
  if (bytes.size() >= 4 && bytes[0] == 0 && bytes[1] != 0 && bytes[2] == 0 && bytes[3] != 0) return "UTF-16BE";
  return isValidUtf8(bytes) ? "UTF-8" : "WINDOWS-1252";
}

bool CsvTable::read(std::string_view bytes, const std::string& sourceName, const std::string& charset, char delimiter,
                    std::string* error) {
  return read(std::string(bytes), sourceName, charset, delimiter, error, true);
}

bool CsvTable::read(std::string&& bytes, const std::string& sourceName, const std::string& charset, char delimiter,
                    std::string* error, bool whole) {
  auto fail = [&](size_t line, const std::string& problem) {
    if (error) *error = sourceName + (line ? ":" + std::to_string(line) : std::string()) + ": " + problem;
    return false;
  };
  const bool detected = charset.empty();
  charset_ = detected ? detectCharset(bytes) : charset;
  std::string upper;
  for (char c : charset_) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  size_t start = 0;  // after a byte order mark
  if ((upper == "UTF-8" || upper == "UTF8") && startsWith(bytes, "\xEF\xBB\xBF")) start = 3;
  if ((upper == "UTF-16LE" && startsWith(bytes, "\xFF\xFE")) || (upper == "UTF-16BE" && startsWith(bytes, "\xFE\xFF")))
    start = 2;
  if (upper == "UTF-8" || upper == "UTF8") {
    // Text found to be UTF-8 without a byte order mark was found valid on the way.
    if (!(detected && start == 0) && !isValidUtf8(std::string_view(bytes).substr(start)))
      return fail(0, "the file is not UTF-8 text (name its character set with --charset, e.g. --charset windows-1252)");
    text_ = std::move(bytes);
  } else {
    CharsetConverter converter;
    if (!converter.toUtf8(std::string_view(bytes).substr(start), upper, text_))
      return fail(0, "cannot read the file as " + charset_ + " text");
    start = 0;
  }
  delimiter_ = delimiter ? delimiter : detectDelimiter(std::string_view(text_).substr(start));
  headings_.clear();
  cells_.clear();
  rowStarts_.clear();
  rowLines_.clear();
  unquoted_.clear();
  name_ = sourceName;
  at_ = start;
  line_ = 1;
  headingDone_ = false;
  return readRows(whole ? SIZE_MAX : 0, error);
}

bool CsvTable::readRows(size_t upTo, std::string* error) {
  auto fail = [&](size_t line, const std::string& problem) {
    if (error) *error = name_ + (line ? ":" + std::to_string(line) : std::string()) + ": " + problem;
    return false;
  };
  const char* const end = text_.data() + text_.size();
  const char* at = text_.data() + at_;
  size_t line = line_;
  // Where the parse stands is kept after every whole record.
  struct Keep {
    CsvTable& table;
    const char*& at;
    size_t& line;
    ~Keep() {
      table.at_ = static_cast<size_t>(at - table.text_.data());
      table.line_ = line;
    }
  } keep{*this, at, line};
  std::vector<std::string_view>& row = row_;
  while (at < end && !(headingDone_ && rowStarts_.size() >= upTo)) {
    const size_t rowLine = line;
    row.clear();
    // One record: fields up to a line break outside quotes.
    for (;;) {
      std::string_view field;
      if (at < end && *at == '"') {
        const size_t quoteLine = line;
        const char* start = ++at;
        bool doubled = false;
        for (;;) {
          const char* quote = static_cast<const char*>(std::memchr(at, '"', end - at));
          if (!quote) return fail(quoteLine, "a quoted field is not closed");
          for (const char* p = at; p < quote; ++p) line += *p == '\n' || (*p == '\r' && (p + 1 == end || p[1] != '\n'));
          if (quote + 1 < end && quote[1] == '"') {
            doubled = true;
            at = quote + 2;
            continue;
          }
          field = std::string_view(start, quote - start);
          at = quote + 1;
          break;
        }
        if (doubled) {
          std::string& undone = unquoted_.emplace_back();
          undone.reserve(field.size());
          for (size_t i = 0; i < field.size(); ++i) {
            undone += field[i];
            if (field[i] == '"') ++i;
          }
          field = undone;
        }
        if (at < end && *at != delimiter_ && *at != '\n' && *at != '\r')
          return fail(line, "text after the closing quote of a field");
      } else {
        const char* start = at;
        // A double quote inside a field that does not start with one is taken as written.
        while (at < end && *at != delimiter_ && *at != '\n' && *at != '\r') ++at;
        field = std::string_view(start, at - start);
      }
      row.push_back(field);
      if (at < end && *at == delimiter_) {
        ++at;
        continue;
      }
      break;
    }
    if (at < end && *at == '\r') ++at;
    if (at < end && *at == '\n') ++at;
    ++line;
    if (row.size() == 1 && row[0].empty()) continue;  // a blank line
    if (!headingDone_) {
      // A heading line whose every cell is followed by the delimiter ends in an empty heading.
      while (!row.empty() && row.back().empty()) row.pop_back();
      headings_ = row;
      headingDone_ = true;
      continue;
    }
    while (row.size() > headings_.size() && row.back().empty()) row.pop_back();
    if (row.size() > headings_.size())
      return fail(rowLine, std::to_string(row.size()) + " fields, but the heading line names only " +
                               std::to_string(headings_.size()));
    rowStarts_.push_back(cells_.size());
    rowLines_.push_back(rowLine);
    for (size_t column = 0; column < row.size(); ++column)
      if (!row[column].empty()) cells_.push_back({static_cast<std::uint32_t>(column), row[column]});
  }
  if (at >= end && (!headingDone_ || headings_.empty())) return fail(0, "the file has no heading line");
  return true;
}
