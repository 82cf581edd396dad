#include "app/scanner/conditions/NameCase.h"

#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>
#include <memory>
#include <vector>

namespace NameCase {

namespace {

constexpr std::array<std::string_view, 13> kParticles = {"van", "von", "de", "da", "del", "der", "den",
                                                         "di",  "du",  "la", "le", "bin", "al"};
constexpr std::array<std::string_view, 4> kSmallWords = {"of", "and", "the", "for"};
// Names beginning "Mac" that are no "Mac" names.
constexpr std::array<std::string_view, 8> kNotMac = {"machado",  "macias",  "macario",     "machuca",
                                                     "macaluso", "macchia", "machiavelli", "maciej"};

template <size_t N>
bool among(const std::array<std::string_view, N>& words, std::string_view word) {
  for (std::string_view w : words)
    if (w == word) return true;
  return false;
}

// The text in small letters (full case mapping, final sigma included), by the root locale.
std::string lower(std::string_view text) {
  static thread_local std::unique_ptr<UCaseMap, decltype(&ucasemap_close)> map = [] {
    UErrorCode status = U_ZERO_ERROR;
    return std::unique_ptr<UCaseMap, decltype(&ucasemap_close)>(ucasemap_open("", 0, &status), ucasemap_close);
  }();
  if (!map) return std::string(text);
  std::string out(text.size() + 8, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucasemap_utf8ToLower(map.get(), out.data(), static_cast<int32_t>(out.size()), text.data(),
                                                static_cast<int32_t>(text.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.assign(static_cast<size_t>(length), '\0');
      continue;
    }
    if (U_FAILURE(status)) return std::string(text);
    out.resize(static_cast<size_t>(length));
    return out;
  }
  return std::string(text);
}

// A word in small letters with its first letter, and each letter after a full stop (initials:
// "J.R."), in capitals (title case).
std::string capitalised(std::string_view word) {
  const std::string small = lower(word);
  std::string out;
  const auto* bytes = reinterpret_cast<const uint8_t*>(small.data());
  const int32_t length = static_cast<int32_t>(small.size());
  bool capital = true;
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return small;
    if (capital && u_isalpha(c)) {
      char buffer[4];
      int32_t written = 0;
      UBool error = false;
      U8_APPEND(reinterpret_cast<uint8_t*>(buffer), written, 4, u_totitle(c), error);
      if (error) return small;
      out.append(buffer, static_cast<size_t>(written));
      capital = false;
    } else {
      out.append(small, static_cast<size_t>(start), static_cast<size_t>(i - start));
      if (u_isalpha(c)) capital = false;
    }
    if (c == '.') capital = true;
  }
  return out;
}

// How many letters a word holds.
size_t letters(std::string_view word) {
  size_t count = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(word.data());
  const int32_t length = static_cast<int32_t>(word.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c >= 0 && u_isalpha(c)) ++count;
  }
  return count;
}

// One part of a word (between hyphens) written as a name.
std::string partAsName(std::string_view part, Part of) {
  const std::string small = lower(part);
  // O'Brien, D'Angelo (with a straight or a typographic apostrophe).
  for (std::string_view apostrophe : {std::string_view("'"), std::string_view("\xE2\x80\x99")}) {
    if (small.size() > 1 + apostrophe.size() && (small[0] == 'o' || small[0] == 'd') &&
        std::string_view(small).substr(1, apostrophe.size()) == apostrophe)
      return std::string(1, static_cast<char>(small[0] - 'a' + 'A')) + std::string(apostrophe) +
             capitalised(std::string_view(small).substr(1 + apostrophe.size()));
  }
  if (small.size() > 3 && small.compare(0, 2, "mc") == 0 && letters(small) == small.size())
    return "Mc" + capitalised(std::string_view(small).substr(2));
  if (of == Part::kLast && small.size() >= 7 && small.compare(0, 3, "mac") == 0 && letters(small) == small.size() &&
      !among(kNotMac, small))
    return "Mac" + capitalised(std::string_view(small).substr(3));
  return capitalised(small);
}

struct Word {
  std::string_view text;
  bool spaceBefore;  // else a hyphen (or nothing, for the first)
};

}  // namespace

bool mayNeedIt(std::string_view name) {
  bool upper = false, lowerCase = false, beyond = false;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80)
      beyond = true;
    else if (c >= 'A' && c <= 'Z')
      upper = true;
    else if (c >= 'a' && c <= 'z')
      lowerCase = true;
    if (upper && lowerCase) return false;
  }
  return upper || lowerCase || beyond;
}

std::optional<std::string> asName(std::string_view name, Part part) {
  if (!mayNeedIt(name)) return std::nullopt;
  // Written entirely in one case: every cased letter upper or every one lower, two at least.
  size_t upper = 0, small = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
  const int32_t length = static_cast<int32_t>(name.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return std::nullopt;
    if (u_isUUppercase(c))
      ++upper;
    else if (u_isULowercase(c))
      ++small;
    else if (u_hasBinaryProperty(c, UCHAR_CASED))
      return std::nullopt;  // a title-case letter: written with care
  }
  if (upper + small < 2 || (upper && small)) return std::nullopt;
  const bool inCapitals = upper > 0;

  // The words between spaces, their parts between hyphens.
  std::vector<std::string_view> words;
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find(' ', start);
    if (end == std::string_view::npos) end = name.size();
    words.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  size_t lastWord = words.size();
  while (lastWord > 0 && words[lastWord - 1].empty()) --lastWord;
  std::string out;
  size_t wordIndex = 0;
  for (size_t w = 0; w < words.size(); ++w) {
    if (w) out += ' ';
    const std::string_view word = words[w];
    if (word.empty()) continue;
    const bool first = wordIndex++ == 0;
    const bool last = w + 1 == lastWord;
    // An organisation's short words in capitals are its initials.
    if (part == Part::kOrganization && inCapitals && letters(word) <= 3 && !among(kSmallWords, lower(word))) {
      out += word;
      continue;
    }
    for (size_t start = 0; start <= word.size();) {
      size_t end = word.find('-', start);
      const bool hyphen = end != std::string_view::npos;
      if (!hyphen) end = word.size();
      const std::string_view piece = word.substr(start, end - start);
      const std::string small = lower(piece);
      // A particle stays in small letters where it is not first; in a last name wherever it is not
      // its last word ("al-" before a hyphen too).
      const bool notFirst = !first || start > 0;
      const bool particle =
          among(kParticles, small) && (small != "al" || hyphen) &&
          (part == Part::kLast ? (!last || hyphen) : notFirst && (part != Part::kOrganization || !last));
      const bool smallWord = part == Part::kOrganization && notFirst && !last && among(kSmallWords, small);
      out += particle || smallWord ? small : partAsName(piece, part);
      if (!hyphen) break;
      out += '-';
      start = end + 1;
    }
  }
  if (out == name) return std::nullopt;
  return out;
}

}  // namespace NameCase
