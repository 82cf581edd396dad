#include "PersonSlots.h"

#include "ABConstants.h"

// Values are visited, encoded and handed over in slot order, which must be the names' order.
const std::array<const std::string*, PersonSlots::kSlotCount> PersonSlots::kProperties = {
    &kABDepartmentProperty,
    &kABPersonFlags,
    &kABRelatedNamesProperty,
    &kABAddressProperty,
    &kABBirthdayProperty,
    &kABCategoriesProperty,
    &kABEmailProperty,
    &kABFirstNameProperty,
    &kABFirstNamePhoneticProperty,
    &kABGroupNameProperty,
    &kABImageDataProperty,
    &kABInstantMessageProperty,
    &kABJobTitleProperty,
    &kABKindProperty,
    &kABLastNameProperty,
    &kABLastNamePhoneticProperty,
    &kABMaidenNameProperty,
    &kABGroupMembersProperty,
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

void PersonSlots::List::Entry::addField(std::string_view key, std::string_view value) {
  if (fieldCount_ == fields_.size()) fields_.emplace_back();
  auto& [k, v] = fields_[fieldCount_++];
  k.assign(key);
  v.assign(value);
}

PersonSlots::List::Entry& PersonSlots::List::add() {
  if (size_ == entries_.size()) entries_.emplace_back();
  Entry& entry = entries_[size_++];
  entry.label.clear();
  entry.parameters.clear();
  entry.isDictionary = false;
  entry.text.clear();
  entry.fieldCount_ = 0;
  return entry;
}

void PersonSlots::List::assign(const ABMultiValue& values) {
  clear();
  for (const auto& from : values.entries()) {
    Entry& entry = add();
    entry.label = from.label;
    entry.parameters = from.parameters;
    if (const auto* text = std::get_if<std::string>(&from.value)) {
      entry.text = *text;
      continue;
    }
    entry.isDictionary = true;
    for (const auto& [key, value] : std::get<ABDictionary>(from.value).entries()) entry.addField(key, value);
  }
}

ABMultiValue PersonSlots::List::toMultiValue() const {
  ABMultiValue values;
  values.reserve(size_);
  for (std::size_t i = 0; i < size_; ++i) {
    const Entry& entry = entries_[i];
    if (!entry.isDictionary) {
      values.addEntry({entry.label, entry.text, entry.parameters});
      continue;
    }
    ABDictionary dictionary;
    dictionary.reserve(entry.fieldCount_);
    for (std::size_t f = 0; f < entry.fieldCount_; ++f) dictionary.set(entry.key(f), entry.value(f));
    values.addEntry({entry.label, std::move(dictionary), entry.parameters});
  }
  return values;
}

void PersonSlots::set(Slot slot, ABValue value) {
  if (isNil(value)) {
    remove(slot);
    return;
  }
  // (An empty list stays a value: a list filled in place that holds nothing is no value.)
  if (isList(slot))
    if (const auto* values = std::get_if<ABMultiValue>(&value); values && !values->empty()) {
      list(slot).assign(*values);
      return;
    }
  values_[slot] = std::move(value);
  present_ |= bit(slot);
  listed_ &= ~bit(slot);
}

void PersonSlots::setText(Slot slot, std::string_view text) {
  if (auto* held = std::get_if<std::string>(&values_[slot]))
    held->assign(text);
  else
    values_[slot].emplace<std::string>(text);
  present_ |= bit(slot);
  listed_ &= ~bit(slot);
}

PersonSlots::List& PersonSlots::list(Slot slot) {
  if (!present(slot) || !listed(slot)) {
    lists_[slot].clear();
    present_ |= bit(slot);
    listed_ |= bit(slot);
  }
  return lists_[slot];
}

bool PersonSlots::empty() const {
  for (std::uint32_t left = present_; left; left &= left - 1) {
    const auto slot = static_cast<Slot>(__builtin_ctz(left));
    if (!listed(slot) || !lists_[slot].empty()) return false;
  }
  return true;
}

ABPersonData PersonSlots::take(std::size_t spare) {
  ABPersonData data;
  data.reserve(static_cast<std::size_t>(__builtin_popcount(present_)) + spare);
  for (std::uint32_t left = present_; left; left &= left - 1) {
    const auto slot = static_cast<Slot>(__builtin_ctz(left));
    // In order: each goes at the end.
    if (!listed(slot))
      data.set(property(slot), std::move(values_[slot]));
    else if (!lists_[slot].empty())
      data.set(property(slot), lists_[slot].toMultiValue());
  }
  present_ = listed_ = 0;
  return data;
}
