#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/PersonSlots.h"
#include "platform/addressbook/vcard/VCardLegacyText.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardText.h"

// The values of item groups (labels, country codes) of one card, found by group name whatever its
// case; the first value given to a group stands. A card of many groups is looked up by hash.
class GroupValues {
 public:
  void clear();
  void add(std::string_view group, std::string value);
  const std::string* find(std::string_view group) const;

 private:
  struct Entry {
    std::string_view group;
    std::string value;
  };
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> index_;  // lower-case group -> entry, once there are many
  mutable std::string key_;
};

// The mapping layer, reading side: the lines of one card become the values of one person.
class VCardPersonReader {
 public:
  // Values that are not UTF-8 are read by rule (see VCardLegacyText.h; by default its fallback
  // alone); the rule must outlive the reader.
  void setLegacyText(const VCardLegacyText* rule) { legacy_ = rule; }
  // The values read by that rule so far, of all cards read.
  const VCardLegacyCounts& legacyCounts() const { return legacyCounts_; }

  // False with error (its line and problem) when a value cannot be decoded.
  bool readCard(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error);
  // The same values, in storage of this reader that the next card reuses: valid (and free to
  // change) until the next call. nullptr with error when a value cannot be decoded.
  PersonSlots* readCardInPlace(const VCardCard& card, VCardSyntaxError& error);

 private:
  bool readInto(const VCardCard& card, PersonSlots& person, VCardSyntaxError& error);
  // Keeps with the person what its lines said beyond its values.
  bool keepTheRest(const VCardCard& card, PersonSlots& person, VCardSyntaxError& error);
  // The value as UTF-8 text, still escaped; it views the line or a buffer of this reader and is
  // valid until the next call.
  bool decodedValue(const VCardCard& card, const VCardLine& line, std::string_view& out, VCardSyntaxError& error);
  // A value that is not text in UTF-8 (nor in tried, its own CHARSET) read by the rule into
  // converted_; false with error when it is text in none of the rule's character sets.
  bool decodedLegacyValue(const VCardCard& card, const VCardLine& line, std::string_view bytes, std::string_view tried,
                          std::string_view& out, VCardSyntaxError& error);

  bool version4_ = false;  // the card being read is a vCard 4.0 card
  const VCardLegacyText* legacy_ = nullptr;
  VCardLegacyCounts legacyCounts_;
  VCardLegacyCounts cardLegacy_;   // of the card being read (contacts unused)
  std::vector<char> legacyLines_;  // of the card being read: the lines counted

  CharsetConverter charsets_;
  std::vector<std::string> components_;  // unescaped components, viewed by componentViews_
  std::vector<std::string_view> componentViews_;
  std::string transferDecoded_;
  std::string converted_;
  PersonSlots building_;
  std::vector<char> used_;
  std::vector<std::string_view> slots_;
  std::vector<std::string_view> asWritten_;  // a line's decoded value when it is the line's own text
  std::vector<std::string_view> usedGroups_;
  std::vector<std::size_t> slotOrder_;
  std::unordered_map<std::string, std::size_t> keptGroups_;  // lower-case group -> its number
  std::string groupKey_;
  std::string written_, joined_;
  // Texts of the card being read, kept from card to card for their room.
  std::vector<std::string> categoryItems_;
  std::string groupName_;
  std::string unescaped_, formattedName_, department_, note_, street_, asRead_, kept_;
  std::string photoHead_, photoWritten_;  // PHOTO's parameters as read, when the writer's differ
  GroupValues labels_, countryCodes_;
};
