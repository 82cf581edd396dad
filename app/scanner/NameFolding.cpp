#include "app/scanner/NameFolding.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>

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

// Words written one after the other into one text, each kept as where it starts and how long it
// is: no allocation for each word.
class WordList {
 public:
  void clear() {
    text_.clear();
    spans_.clear();
    start_ = 0;
  }
  size_t size() const { return spans_.size(); }
  std::string_view operator[](size_t i) const {
    return std::string_view(text_).substr(spans_[i].first, spans_[i].second);
  }
  void add(char c) { text_ += c; }
  void add(std::string_view piece) { text_ += piece; }
  // Ends the word being written, if any.
  void flush() {
    if (text_.size() > start_) spans_.emplace_back(start_, text_.size() - start_);
    start_ = text_.size();
  }
  // What was written after mark() is dropped by undo().
  struct Mark {
    size_t text, spans;
  };
  Mark mark() const { return {start_, spans_.size()}; }
  void undo(Mark mark) {
    text_.resize(mark.text);
    spans_.resize(mark.spans);
    start_ = mark.text;
  }
  std::vector<std::string> strings() const {
    std::vector<std::string> list;
    list.reserve(spans_.size());
    for (size_t i = 0; i < spans_.size(); ++i) list.emplace_back((*this)[i]);
    return list;
  }
  // The words sorted, joined by one space.
  void sortedInto(std::string& out) {
    std::sort(spans_.begin(), spans_.end(), [&](const auto& a, const auto& b) {
      return std::string_view(text_).substr(a.first, a.second) < std::string_view(text_).substr(b.first, b.second);
    });
    out.clear();
    for (size_t i = 0; i < spans_.size(); ++i) {
      if (i) out += ' ';
      out += (*this)[i];
    }
  }

 private:
  std::string text_;
  std::vector<std::pair<size_t, size_t>> spans_;
  size_t start_ = 0;
};

// ASCII characters that are punctuation (Unicode's P categories).
const std::array<bool, 128>& asciiPunctuation() {
  static const std::array<bool, 128> table = [] {
    std::array<bool, 128> punctuation{};
    for (int c = 0; c < 128; ++c) punctuation[c] = u_ispunct(c);
    return punctuation;
  }();
  return table;
}

void asciiWords(std::string_view text, Ignore ignore, WordList& list) {
  const auto& punctuation = asciiPunctuation();
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    bool space = c == ' ' || (c >= '\t' && c <= '\r');
    bool punct = !space && (punctuation[byte & 0x7F] || joins(byte));
    if (space) {
      list.flush();
    } else if (punct && ignore.punctuation) {
      if (!joins(byte)) list.flush();
    } else {
      list.add(ignore.letterCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
  }
  list.flush();
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

// Latin, Greek, Cyrillic, Armenian and Hebrew (U+0000 to U+05FF): folded once, when first used.
constexpr UChar32 kTableEnd = 0x600;
// Every other character of the Basic Multilingual Plane (three bytes at most in UTF-8) is folded
// when it is first met, by whichever thread meets it, and kept for the rest of the run: a book
// meets few of them, and folding each of its names' characters once is what makes names of CJK,
// Vietnamese, Arabic or Indic letters as cheap to compare as the others.
constexpr UChar32 kPlaneEnd = 0x10000;

const std::vector<std::string>& foldTable() {
  static const std::vector<std::string> table = [] {
    std::vector<std::string> folded(kTableEnd);
    for (UChar32 c = 0; c < kTableEnd; ++c) folded[c] = foldCharacter(c);
    return folded;
  }();
  return table;
}

class LaterFolds {
 public:
  const std::string& of(UChar32 c) {
    std::atomic<const std::string*>& slot = slots_[static_cast<size_t>(c - kTableEnd)];
    const std::string* folded = slot.load(std::memory_order_acquire);
    if (folded) return *folded;
    auto made = std::make_unique<const std::string>(foldCharacter(c));
    // Two threads may fold the same character at once: the first one's text is kept.
    if (slot.compare_exchange_strong(folded, made.get(), std::memory_order_acq_rel)) return *made.release();
    return *folded;
  }

 private:
  std::array<std::atomic<const std::string*>, kPlaneEnd - kTableEnd> slots_{};
};

const std::string& foldOf(UChar32 c) {
  if (c < kTableEnd) return foldTable()[static_cast<size_t>(c)];
  // Never destroyed: a thread may still fold a name while the program ends.
  static LaterFolds& later = *new LaterFolds;
  return later.of(c);
}

bool continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The character of well-formed UTF-8 of at most three bytes at text[i], and where the next one
// starts; -1 for anything else (bytes that are not UTF-8, surrogates, overlong forms, characters
// beyond the plane), which only the general path reads as it must.
UChar32 nextInPlane(std::string_view text, size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (i + 1 >= text.size() || !continuation(text[i + 1])) return -1;
    const UChar32 c = ((lead & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
    i += 2;
    return c;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (i + 2 >= text.size() || !continuation(text[i + 1]) || !continuation(text[i + 2])) return -1;
    const UChar32 c = ((lead & 0x0F) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6) |
                      (static_cast<unsigned char>(text[i + 2]) & 0x3F);
    if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    i += 3;
    return c;
  }
  return -1;
}

// Folds a text of characters of the Basic Multilingual Plane character by character; false for
// any other text, and then nothing is added to the list.
bool tableWords(std::string_view text, WordList& list) {
  const WordList::Mark before = list.mark();
  for (size_t i = 0; i < text.size();) {
    const UChar32 c = nextInPlane(text, i);
    if (c < 0 || c == kBreak) {
      list.undo(before);
      return false;
    }
    for (char piece : foldOf(c)) {
      if (piece == kBreak)
        list.flush();
      else
        list.add(piece);
    }
  }
  list.flush();
  return true;
}

}  // namespace

std::vector<std::string> words(std::string_view text, Ignore ignore) {
  WordList list;
  if (isAscii(text)) {
    asciiWords(text, ignore, list);
    return list.strings();
  }
  if (ignore.letterCase && ignore.accents && ignore.punctuation && tableWords(text, list)) return list.strings();
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
  std::string key;
  nameKeyInto(first, last, key);
  return key;
}

void nameKeyInto(std::string_view first, std::string_view last, std::string& key) {
  // The words of first and last name joined by a space, which only separates words: the two are
  // folded one after the other. The lists are kept by each thread for its next name.
  thread_local WordList list;
  list.clear();
  if (isAscii(first) && isAscii(last)) {
    asciiWords(first, {}, list);
    asciiWords(last, {}, list);
  } else if (!tableWords(first, list) || !tableWords(last, list)) {
    list.clear();
    std::string text(first);
    text += ' ';
    text += last;
    for (const auto& word : words(text)) {
      list.add(word);
      list.flush();
    }
  }
  list.sortedInto(key);
}

std::string folded(std::string_view text) {
  std::string result;
  foldedInto(text, result);
  return result;
}

void foldedInto(std::string_view text, std::string& out) {
  thread_local WordList list;
  list.clear();
  if (isAscii(text)) {
    asciiWords(text, {}, list);
  } else if (!tableWords(text, list)) {
    for (const auto& word : words(text)) {
      list.add(word);
      list.flush();
    }
  }
  out.clear();
  for (size_t i = 0; i < list.size(); ++i) {
    if (i) out += ' ';
    out += list[i];
  }
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
