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
  bool decodedValue(const VCardCard& card, const VCardLine& line, std::string& out, VCardSyntaxError& error);

  CharsetConverter charsets_;
  std::vector<std::string> components_;
  std::string scratch_;
};
