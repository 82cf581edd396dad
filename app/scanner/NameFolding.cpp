#include "app/scanner/NameFolding.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace NameFolding {

namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Apostrophes and full stops join what they stand between.
bool joins(UChar32 c) {
  return c == '\'' || c == '.' || c == '`' || c == 0x2019 || c == 0x2018 || c == 0x00B4 || c == 0x02BC;
}

bool isMark(UChar32 c) {
  auto type = u_charType(c);
  return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

// Letters with a stroke have no decomposition.
const char* strokeLetter(UChar32 c) {
  switch (c) {
    case 0x00D8:
      return "O";
    case 0x00F8:
      return "o";
    case 0x0110:
      return "D";
    case 0x0111:
      return "d";
    case 0x0141:
      return "L";
    case 0x0142:
      return "l";
    case 0x0131:
      return "i";
    case 0x00DF:
      return "ss";
    default:
      return nullptr;
  }
}

std::vector<std::string> asciiWords(std::string_view text, Ignore ignore) {
  std::vector<std::string> result;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) result.push_back(std::move(word));
    word.clear();
  };
  for (char c : text) {
    bool space = c == ' ' || (c >= '\t' && c <= '\r');
    bool punct = !space && (u_ispunct(static_cast<unsigned char>(c)) || joins(static_cast<unsigned char>(c)));
    if (space) {
      flush();
    } else if (punct && ignore.punctuation) {
      if (!joins(static_cast<unsigned char>(c))) flush();
    } else {
      word += ignore.letterCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  flush();
  return result;
}

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

// Marks a word break in the folded form of one character.
constexpr char kBreak = '\x01';

// What one character becomes when everything is left aside, kBreak where it separates words: the
// same steps as the general path below, taken once per character. Decomposition works character by
// character and the marks it yields are dropped, so folding a text character by character gives
// what folding it whole gives.
std::string foldCharacter(UChar32 c) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFKDInstance(status);
  icu::UnicodeString source(c);
  icu::UnicodeString normal = U_SUCCESS(status) ? normalizer->normalize(source, status) : source;
  if (U_FAILURE(status)) normal = source;
  icu::UnicodeString out;
  for (int32_t i = 0; i < normal.length();) {
    UChar32 d = normal.char32At(i);
    i += U16_LENGTH(d);
    if (u_isUWhiteSpace(d))
      out += static_cast<UChar32>(kBreak);
    else if (isMark(d))
      continue;
    else if (strokeLetter(d))
      out += icu::UnicodeString(strokeLetter(d));
    else if (u_ispunct(d) || joins(d)) {
      if (!joins(d)) out += static_cast<UChar32>(kBreak);
    } else {
      out += d;
    }
  }
  out.foldCase();
  return utf8(out);
}

// Latin, Greek, Cyrillic, Armenian and Hebrew (U+0000 to U+05FF): two bytes at most in UTF-8.
constexpr UChar32 kTableEnd = 0x600;

const std::vector<std::string>& foldTable() {
  static const std::vector<std::string> table = [] {
    std::vector<std::string> folded(kTableEnd);
    for (UChar32 c = 0; c < kTableEnd; ++c) folded[c] = foldCharacter(c);
    return folded;
  }();
  return table;
}

// Folds a text of characters below kTableEnd through the table; false for any other text.
bool tableWords(std::string_view text, std::vector<std::string>& result) {
  const auto& table = foldTable();
  std::string word;
  auto flush = [&] {
    if (!word.empty()) result.push_back(std::move(word));
    word.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead == static_cast<unsigned char>(kBreak)) return false;
    UChar32 c = lead;
    if (lead >= 0x80) {
      if (lead < 0xC2 || lead > 0xD7 || i + 1 >= text.size()) return false;
      auto trail = static_cast<unsigned char>(text[i + 1]);
      if ((trail & 0xC0) != 0x80) return false;
      c = ((lead & 0x1F) << 6) | (trail & 0x3F);
      ++i;
    }
    for (char piece : table[c]) {
      if (piece == kBreak)
        flush();
      else
        word += piece;
    }
  }
  flush();
  return true;
}

}  // namespace

std::vector<std::string> words(std::string_view text, Ignore ignore) {
  if (isAscii(text)) return asciiWords(text, ignore);
  if (ignore.letterCase && ignore.accents && ignore.punctuation) {
    std::vector<std::string> result;
    if (tableWords(text, result)) return result;
  }
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer =
      ignore.accents ? icu::Normalizer2::getNFKDInstance(status) : icu::Normalizer2::getNFCInstance(status);
  icu::UnicodeString source = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size()));
  icu::UnicodeString normal = U_SUCCESS(status) ? normalizer->normalize(source, status) : source;
  if (U_FAILURE(status)) normal = source;

  std::vector<std::string> result;
  icu::UnicodeString word;
  auto flush = [&] {
    if (word.isEmpty()) return;
    if (ignore.letterCase) word.foldCase();
    result.push_back(utf8(word));
    word.remove();
  };
  for (int32_t i = 0; i < normal.length();) {
    UChar32 c = normal.char32At(i);
    i += U16_LENGTH(c);
    if (u_isUWhiteSpace(c)) {
      flush();
    } else if (ignore.accents && isMark(c)) {
      continue;
    } else if (ignore.accents && strokeLetter(c)) {
      word += icu::UnicodeString(strokeLetter(c));
    } else if (ignore.punctuation && (u_ispunct(c) || joins(c))) {
      if (!joins(c)) flush();
    } else {
      word += c;
    }
  }
  flush();
  return result;
}

std::string nameKey(std::string_view first, std::string_view last) {
  std::string text(first);
  text += ' ';
  text += last;
  auto list = words(text);
  std::sort(list.begin(), list.end());
  std::string key;
  for (const auto& word : list) {
    if (!key.empty()) key += ' ';
    key += word;
  }
  return key;
}

std::string folded(std::string_view text) {
  std::string result;
  for (const auto& word : words(text)) {
    if (!result.empty()) result += ' ';
    result += word;
  }
  return result;
}

namespace {

std::string joined(std::string_view first, std::string_view last) {
  std::string text(first);
  text += ' ';
  text += last;
  return text;
}

std::vector<std::string> sortedWords(std::string_view text, Ignore ignore) {
  auto list = words(text, ignore);
  std::sort(list.begin(), list.end());
  return list;
}

// The runs of white space of a text (at its ends too), sorted: what differs when only spacing does.
std::vector<std::string> spaceRuns(std::string_view first, std::string_view last) {
  std::vector<std::string> runs;
  for (std::string_view part : {first, last}) {
    if (isAscii(part)) {
      auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
      for (size_t i = 0; i < part.size();) {
        if (!space(part[i])) {
          ++i;
          continue;
        }
        const size_t start = i;
        while (i < part.size() && space(part[i])) ++i;
        runs.push_back((start == 0 ? "<" : "") + std::string(part.substr(start, i - start)) +
                       (i == part.size() ? ">" : ""));
      }
      continue;
    }
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(part.data(), part.size()));
    const int32_t n = text.length();
    int32_t i = 0;
    while (i < n) {
      UChar32 c = text.char32At(i);
      if (!u_isUWhiteSpace(c)) {
        i += U16_LENGTH(c);
        continue;
      }
      const int32_t start = i;
      icu::UnicodeString run;
      while (i < n && u_isUWhiteSpace(c = text.char32At(i))) {
        run += c;
        i += U16_LENGTH(c);
      }
      // A run at either end of a part is marked: "Ann " differs from "Ann".
      runs.push_back((start == 0 ? "<" : "") + utf8(run) + (i == n ? ">" : ""));
    }
  }
  // The space that joins first and last name is not part of either.
  if (!first.empty() && !last.empty()) runs.push_back(" ");
  std::sort(runs.begin(), runs.end());
  return runs;
}

}  // namespace

std::string differences(std::string_view firstA, std::string_view lastA, std::string_view firstB,
                        std::string_view lastB) {
  const std::string a = joined(firstA, lastA), b = joined(firstB, lastB);
  std::vector<std::string> found;
  if (sortedWords(a, {false, true, true}) != sortedWords(b, {false, true, true})) found.push_back("case");
  if (sortedWords(a, {true, false, true}) != sortedWords(b, {true, false, true})) found.push_back("accents");
  if (sortedWords(a, {true, true, false}) != sortedWords(b, {true, true, false})) found.push_back("punctuation");
  if (spaceRuns(firstA, lastA) != spaceRuns(firstB, lastB)) found.push_back("spacing");
  if (words(a) != words(b)) found.push_back("the order of first and last name");
  std::string text;
  for (size_t i = 0; i < found.size(); ++i) {
    if (i > 0) text += i + 1 == found.size() ? " and " : ", ";
    text += found[i];
  }
  return text;
}

}  // namespace NameFolding
