#pragma once

#include <string>
#include <string_view>

// A spreadsheet that opens a CSV file takes a cell starting with "=", "@", "+" or "-" (or a tab or
// carriage return before one) as a formula, and a formula can run code (=HYPERLINK(...),
// =cmd|'...'!A0). Such a cell is written with an apostrophe in front, the spreadsheets' own mark for
// "this is text", which they do not show. A phone number ("+49 30 1234567") or a lone "-" is no
// formula and stays as it is. A text that already starts with apostrophes before a formula gets one
// more, so that taking one apostrophe off gives back exactly the text written.
namespace FormulaGuard {

// "+49 30 1234567", "-5", "(030) 12-34": a sign, then digits with the separators phone numbers use.
inline bool isPhoneLike(std::string_view text) {
  bool digit = false;
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9')
      digit = true;
    else if (!(c == ' ' || c == '(' || c == ')' || c == '.' || c == '/' || c == '-' || (c == '+' && at == 0)))
      return false;
  }
  return digit;
}

// Whether a spreadsheet would read the text as a formula.
inline bool startsFormula(std::string_view text) {
  if (text.empty()) return false;
  switch (text.front()) {
    case '=':
    case '@':
    case '\t':
    case '\r':
      return true;
    case '+':
    case '-':
      return text != "-" && !isPhoneLike(text);
    default:
      return false;
  }
}

// Whether the text is written with an apostrophe in front.
inline bool needsGuard(std::string_view text) {
  const size_t quotes = text.find_first_not_of('\'');
  return quotes != std::string_view::npos && startsFormula(text.substr(quotes));
}

// The text as a cell is written: with the apostrophe when it needs one.
inline void appendGuarded(std::string& out, std::string_view text) {
  if (needsGuard(text)) out += '\'';
  out += text;
}

// The text a cell read holds: one apostrophe taken off where writing put one.
inline std::string_view unguarded(std::string_view cell) {
  if (cell.size() > 1 && cell.front() == '\'' && needsGuard(cell.substr(1))) return cell.substr(1);
  return cell;
}

}  // namespace FormulaGuard
