#pragma once

#include <string>
#include <string_view>
#include <vector>

// Names compared the way a person reads them: the same name whatever its letter case, accents,
// punctuation, white space or the order of its words.
namespace NameFolding {

// What a comparison leaves aside. Punctuation left aside: apostrophes and full stops go ("O'Brien"
// is "obrien"), any other mark separates words ("Jean-Luc" is "jean luc", "Lee, Ann" is "lee ann").
struct Ignore {
  bool letterCase = true;
  bool accents = true;  // marks that Unicode decomposition takes apart from their letters, and Ø Đ Ł ı ß
  bool punctuation = true;
};

// The words of a text, white space separating them.
std::vector<std::string> words(std::string_view text, Ignore ignore = {});
// The words of a name, sorted, joined by one space: equal for "Lee, Ann", "ann lee", "Ann  LEE"
// and "Ánn Lee". Empty when the name holds no word.
std::string nameKey(std::string_view first, std::string_view last);
// The same written into `key` (what it held is replaced): no allocation once it is large enough.
void nameKeyInto(std::string_view first, std::string_view last, std::string& key);
// The words joined in their order by one space (for organisations).
std::string folded(std::string_view text);
void foldedInto(std::string_view text, std::string& out);

// How two names with the same key differ, as the end of "same name apart from ...": "accents",
// "case and accents", "the order of first and last name", ...; empty when they differ only in how
// the words are split into first and last name.
std::string differences(std::string_view firstA, std::string_view lastA, std::string_view firstB,
                        std::string_view lastB);

}  // namespace NameFolding
