#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ABPerson.h"

// The values of one person in a fixed place per property, for the properties a vCard card maps to:
// what the vCard reader fills for each card, looked up and set without searching, then encoded for
// the store (PersonCodec) or moved into an ABPersonData. The reader keeps one and reuses it from
// card to card.
class PersonSlots {
 public:
  // In the order of the property names, which is the order an ABPersonData and an encoding keep.
  enum Slot : std::uint8_t {
    kDepartment,
    kFlags,
    kRelatedNames,
    kAddress,
    kBirthday,
    kCategories,
    kEmail,
    kFirstName,
    kFirstNamePhonetic,
    kGroupName,
    kImageData,
    kInstantMessage,
    kJobTitle,
    kKind,
    kLastName,
    kLastNamePhonetic,
    kMaidenName,
    kMembers,
    kMiddleName,
    kNickname,
    kNote,
    kOrganization,
    kPhone,
    kSocialProfile,
    kSuffix,
    kTitle,
    kUID,
    kURLs,
    kVCardKeptLines,
    kVCardLinesAsRead,
    kSlotCount
  };
  // The property a slot holds (kABFirstNameProperty for kFirstName, ...).
  static const std::string& property(Slot slot) { return *kProperties[slot]; }

  // A list value (e-mail addresses, phones, addresses, ...) in storage that the next person reuses:
  // entries emptied for reuse keep the room their texts had, so that reading card after card
  // allocates nothing once the lists have grown to the longest met.
  class List {
   public:
    struct Entry {
      std::string label;
      // vCard parameters its label and value do not say (as ABMultiValue::Entry::parameters).
      std::string parameters;
      bool isDictionary = false;
      std::string text;  // unless isDictionary
      // A dictionary's keys and values in the order set, keys distinct.
      std::size_t fieldCount() const { return fieldCount_; }
      const std::string& key(std::size_t i) const { return fields_[i].first; }
      const std::string& value(std::size_t i) const { return fields_[i].second; }
      // Appends a field under a key the entry does not hold yet.
      void addField(std::string_view key, std::string_view value);

     private:
      friend class List;
      std::size_t fieldCount_ = 0;
      std::vector<std::pair<std::string, std::string>> fields_;
    };

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Entry& operator[](std::size_t i) const { return entries_[i]; }
    // A new last entry, empty: a text without label or parameters.
    Entry& add();
    void removeLast() { --size_; }
    void clear() { size_ = 0; }
    void assign(const ABMultiValue& values);
    ABMultiValue toMultiValue() const;

   private:
    std::vector<Entry> entries_;  // the first size_ are the list's; the rest are kept for reuse
    std::size_t size_ = 0;
  };

  static constexpr bool isList(Slot slot) {
    return slot == kRelatedNames || slot == kAddress || slot == kCategories || slot == kEmail ||
           slot == kInstantMessage || slot == kMembers || slot == kPhone || slot == kSocialProfile || slot == kURLs;
  }

  // A single value: nullptr when the slot holds nothing (or, for the typed views, another kind of
  // value). A list filled in place is seen through list(), not here.
  const ABValue* find(Slot slot) const { return present(slot) && !listed(slot) ? &values_[slot] : nullptr; }
  const std::string* string(Slot slot) const { return find(slot) ? std::get_if<std::string>(&values_[slot]) : nullptr; }
  const ABDate* date(Slot slot) const { return find(slot) ? std::get_if<ABDate>(&values_[slot]) : nullptr; }
  const std::int64_t* integer(Slot slot) const {
    return find(slot) ? std::get_if<std::int64_t>(&values_[slot]) : nullptr;
  }

  // As ABPersonData::set: a nil value empties the slot. A list value set in a list's slot is
  // copied into that list.
  void set(Slot slot, ABValue value);
  // Sets a text, copied into the storage the slot's text had before.
  void setText(Slot slot, std::string_view text);
  // The list of a list's slot, to be filled in place: emptied when the slot held nothing yet. The
  // slot holds the list while the list holds entries.
  List& list(Slot slot);
  // The list in a list's slot, or nullptr when it holds none (or a value set otherwise).
  const List* listIn(Slot slot) const { return present(slot) && listed(slot) ? &lists_[slot] : nullptr; }
  void remove(Slot slot) { present_ &= ~bit(slot); }
  // Empties every slot; the storage of the values is kept for the next person.
  void clear() { present_ = listed_ = 0; }
  bool empty() const;

  // Calls visit(property, value) for every value, in the order of the property names; value is
  // an ABValue or, for a list filled in place, a List (not called for an empty one).
  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (std::uint32_t left = present_; left; left &= left - 1) {
      const auto slot = static_cast<Slot>(__builtin_ctz(left));
      if (!listed(slot))
        visit(property(slot), values_[slot]);
      else if (!lists_[slot].empty())
        visit(property(slot), lists_[slot]);
    }
  }

  // Moves the values into an ABPersonData with room for spare more, and empties these slots.
  ABPersonData take(std::size_t spare = 0);

 private:
  static const std::array<const std::string*, kSlotCount> kProperties;
  static constexpr std::uint32_t bit(Slot slot) { return std::uint32_t{1} << slot; }
  bool present(Slot slot) const { return (present_ & bit(slot)) != 0; }
  bool listed(Slot slot) const { return (listed_ & bit(slot)) != 0; }

  std::array<ABValue, kSlotCount> values_;
  std::array<List, kSlotCount> lists_;  // of the list slots only
  std::uint32_t present_ = 0;
  std::uint32_t listed_ = 0;  // slots whose value, when present, is in lists_, not values_
};
