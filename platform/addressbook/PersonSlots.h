#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

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
    kEmail,
    kFirstName,
    kFirstNamePhonetic,
    kImageData,
    kInstantMessage,
    kJobTitle,
    kLastName,
    kLastNamePhonetic,
    kMaidenName,
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

  // nullptr when the slot holds nothing (or, for the typed views, another kind of value).
  const ABValue* find(Slot slot) const { return present(slot) ? &values_[slot] : nullptr; }
  const std::string* string(Slot slot) const {
    return present(slot) ? std::get_if<std::string>(&values_[slot]) : nullptr;
  }
  const ABDate* date(Slot slot) const { return present(slot) ? std::get_if<ABDate>(&values_[slot]) : nullptr; }
  const std::int64_t* integer(Slot slot) const {
    return present(slot) ? std::get_if<std::int64_t>(&values_[slot]) : nullptr;
  }
  const ABMultiValue* multiValue(Slot slot) const {
    return present(slot) ? std::get_if<ABMultiValue>(&values_[slot]) : nullptr;
  }

  // As ABPersonData::set: a nil value empties the slot.
  void set(Slot slot, ABValue value);
  void remove(Slot slot) { present_ &= ~bit(slot); }
  // Empties every slot; the storage of the values is kept for the next person.
  void clear() { present_ = 0; }
  bool empty() const { return present_ == 0; }

  // Calls visit(property, value) for every value, in the order of the property names.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (std::uint32_t left = present_; left; left &= left - 1) {
      const auto slot = static_cast<Slot>(__builtin_ctz(left));
      visit(property(slot), values_[slot]);
    }
  }

  // Moves the values into an ABPersonData with room for spare more, and empties these slots.
  ABPersonData take(std::size_t spare = 0);

 private:
  static const std::array<const std::string*, kSlotCount> kProperties;
  static constexpr std::uint32_t bit(Slot slot) { return std::uint32_t{1} << slot; }
  bool present(Slot slot) const { return (present_ & bit(slot)) != 0; }

  std::array<ABValue, kSlotCount> values_;
  std::uint32_t present_ = 0;
};
