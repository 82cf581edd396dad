#pragma once

#include <optional>
#include <string>
#include <string_view>

// Names written entirely in capitals or entirely in small letters, and how they are written as names.
namespace NameCase {

enum class Part { kFirst, kMiddle, kLast, kOrganization };

// The name written as a name when it is written entirely in capitals or entirely in small letters
// (two cased letters at least, in a script that has case) and that changes it; nullopt otherwise,
// and always for a name of mixed case ("McDonald", "DiCaprio", "iPhone Shop"). Each word is
// capitalised; the particles (van, von, de, da, del, der, den, di, du, la, le, bin, al-) stay in
// small letters where they are not first, and in a last name wherever they are not its last word
// ("VAN DER BERG" is "van der Berg"); "Mc", "O'" and "D'" names and, in last names, "Mac" ones keep
// their second capital ("MCDONALD" is "McDonald"); hyphenated parts are capitalised each
// ("JEAN-LUC" is "Jean-Luc"). An organisation in capitals keeps its words of up to three letters as
// they are ("BMW GROUP" is "BMW Group"), and "of", "and", "the", "for" go into small letters where
// they are not first.
std::optional<std::string> asName(std::string_view name, Part part);

// Whether the text could need it at all: it holds a letter and no two letters of different case
// among its first bytes of ASCII (a fast test; asName decides).
bool mayNeedIt(std::string_view name);

}  // namespace NameCase
