#include "PersonSlots.h"

#include "ABConstants.h"

// Values are visited, encoded and handed over in slot order, which must be the names' order.
const std::array<const std::string*, PersonSlots::kSlotCount> PersonSlots::kProperties = {
    &kABDepartmentProperty,
    &kABPersonFlags,
    &kABRelatedNamesProperty,
    &kABAddressProperty,
    &kABBirthdayProperty,
    &kABEmailProperty,
    &kABFirstNameProperty,
    &kABFirstNamePhoneticProperty,
    &kABImageDataProperty,
    &kABInstantMessageProperty,
    &kABJobTitleProperty,
    &kABLastNameProperty,
    &kABLastNamePhoneticProperty,
    &kABMaidenNameProperty,
    &kABMiddleNameProperty,
    &kABNicknameProperty,
    &kABNoteProperty,
    &kABOrganizationProperty,
    &kABPhoneProperty,
    &kABSocialProfileProperty,
    &kABSuffixProperty,
    &kABTitleProperty,
    &kABUIDProperty,
    &kABURLsProperty,
    &kABVCardKeptLinesProperty,
    &kABVCardLinesAsReadProperty,
};

void PersonSlots::set(Slot slot, ABValue value) {
  if (isNil(value)) {
    remove(slot);
    return;
  }
  values_[slot] = std::move(value);
  present_ |= bit(slot);
}

ABPersonData PersonSlots::take(std::size_t spare) {
  ABPersonData data;
  data.reserve(static_cast<std::size_t>(__builtin_popcount(present_)) + spare);
  for (std::uint32_t left = present_; left; left &= left - 1) {
    const auto slot = static_cast<Slot>(__builtin_ctz(left));
    data.set(property(slot), std::move(values_[slot]));  // in order: each goes at the end
  }
  present_ = 0;
  return data;
}
