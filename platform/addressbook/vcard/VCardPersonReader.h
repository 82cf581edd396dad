#pragma once

#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardText.h"

struct GroupValue {
  std::string_view group;
  std::string value;
};

// The mapping layer, reading side: the lines of one card become the values of one person.
class VCardPersonReader {
 public:
  // False with error (its line and problem) when a value cannot be decoded.
  bool readCard(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error);

 private:
  bool readInto(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error);
  // Keeps with the person what its lines said beyond its values.
  bool keepTheRest(const VCardCard& card, ABPersonData& person, const std::vector<GroupValue>& labels,
                   VCardSyntaxError& error);
  // The value as UTF-8 text, still escaped; it views the line or a buffer of this reader and is
  // valid until the next call.
  bool decodedValue(const VCardCard& card, const VCardLine& line, std::string_view& out, VCardSyntaxError& error);

  CharsetConverter charsets_;
  std::vector<std::string> components_;
  std::string transferDecoded_;
  std::string converted_;
  ABPersonData building_;
  std::vector<char> used_;
  std::vector<std::string_view> slots_;
  std::vector<std::string_view> usedGroups_;
  std::vector<std::size_t> slotOrder_;
  std::vector<std::string_view> keptGroups_;
};
