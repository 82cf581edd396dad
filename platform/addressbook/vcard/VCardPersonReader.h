#pragma once

#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardText.h"

// The mapping layer, reading side: the lines of one card become the values of one person.
class VCardPersonReader {
 public:
  // False with error (its line and problem) when a value cannot be decoded.
  bool readCard(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error);

 private:
  bool readInto(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error);
  // The value as UTF-8 text, still escaped; it views the line or a buffer of this reader and is
  // valid until the next call.
  bool decodedValue(const VCardCard& card, const VCardLine& line, std::string_view& out, VCardSyntaxError& error);

  CharsetConverter charsets_;
  std::vector<std::string> components_;
  std::string transferDecoded_;
  std::string converted_;
  ABPersonData building_;
};
