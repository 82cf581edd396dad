#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text damaged on its way into the address book, and its exact repair: UTF-8 read as Windows-1252
// or Latin-1 and written again as UTF-8, once or twice ("MÃ¤x", "MÃƒÂ¤x"), quoted-printable left
// undecoded ("M=C3=A4x", "=E4"), HTML entities ("Smith &amp; Co", "&#233;"), and characters lost
// to U+FFFD. A repair is given only when it is exact: the bytes decode again to valid UTF-8 (or,
// for quoted-printable of one byte per letter, to letters of Windows-1252) whose letters are of one
// script; plain text that merely holds "Ã", "=" or "&" ("Øystein", "x=3", "Q&A") is never damaged.
namespace TextRepair {

enum class Damage {
  kNone,
  kReadAsWindows1252,  // UTF-8 read as Windows-1252 or Latin-1, once or more
  kQuotedPrintable,
  kHtmlEntities,
  kLostCharacters,  // holds U+FFFD: what stood there is gone, no repair can bring it back
};

struct Finding {
  Damage damage = Damage::kNone;
  std::string repaired;  // the text as it was meant; empty for kLostCharacters

  explicit operator bool() const { return damage != Damage::kNone; }
};

// Whether the text could be damaged at all: it holds a byte beyond ASCII, "=" or "&" (eight bytes
// at a time). Most texts are not, and need nothing more.
bool mayBeDamaged(std::string_view text);
// The damage of a text and its exact repair; kNone when the text is as it was meant or no exact
// repair exists. An e-mail address is repaired only where the repair is valid UTF-8 (never by
// entities, which addresses do not hold).
Finding examine(std::string_view text, bool emailAddress = false);

}  // namespace TextRepair
