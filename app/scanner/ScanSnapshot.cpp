#include "app/scanner/ScanSnapshot.h"

#include <algorithm>
#include <array>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/threads/ParallelFor.h"

namespace {

enum class Field { FirstName, LastName, Title, Suffix, Note, Nickname, Organization, Flags, Emails, Phones, Addresses };

struct Wanted {
  const std::string* property;
  Field field;
};

// The properties read, in the order of a person's values (sorted by property name).
const std::array<Wanted, 11>& wantedProperties() {
  static const std::array<Wanted, 11> wanted = [] {
    std::array<Wanted, 11> list = {{{&kABFirstNameProperty, Field::FirstName},
                                    {&kABLastNameProperty, Field::LastName},
                                    {&kABTitleProperty, Field::Title},
                                    {&kABSuffixProperty, Field::Suffix},
                                    {&kABNoteProperty, Field::Note},
                                    {&kABNicknameProperty, Field::Nickname},
                                    {&kABOrganizationProperty, Field::Organization},
                                    {&kABPersonFlags, Field::Flags},
                                    {&kABEmailProperty, Field::Emails},
                                    {&kABPhoneProperty, Field::Phones},
                                    {&kABAddressProperty, Field::Addresses}}};
    std::sort(list.begin(), list.end(), [](const Wanted& a, const Wanted& b) { return *a.property < *b.property; });
    return list;
  }();
  return wanted;
}

void place(PersonValues& values, Field field, const ABValue& value) {
  const auto* text = std::get_if<std::string>(&value);
  switch (field) {
    case Field::FirstName:
      values.firstName = text;
      break;
    case Field::LastName:
      values.lastName = text;
      break;
    case Field::Title:
      values.title = text;
      break;
    case Field::Suffix:
      values.suffix = text;
      break;
    case Field::Note:
      values.note = text;
      break;
    case Field::Nickname:
      values.nickname = text;
      break;
    case Field::Organization:
      values.organization = text;
      break;
    case Field::Flags:
      if (const auto* flags = std::get_if<std::int64_t>(&value)) values.flags = *flags;
      break;
    case Field::Emails:
      values.emails = std::get_if<ABMultiValue>(&value);
      break;
    case Field::Phones:
      values.phones = std::get_if<ABMultiValue>(&value);
      break;
    case Field::Addresses:
      values.addresses = std::get_if<ABMultiValue>(&value);
      break;
  }
}

}  // namespace

PersonValues PersonValues::of(const ABPersonData& data) {
  // Both lists are sorted by property name: one walk over each.
  PersonValues values;
  const auto& wanted = wantedProperties();
  size_t next = 0;
  for (const auto& [property, value] : data.entries()) {
    while (next < wanted.size() && *wanted[next].property < property) ++next;
    if (next == wanted.size()) break;
    if (*wanted[next].property == property) place(values, wanted[next++].field, value);
  }
  return values;
}

const ABMultiValue* PersonValues::list(const std::string& property) const {
  if (property == kABEmailProperty) return emails;
  if (property == kABPhoneProperty) return phones;
  if (property == kABAddressProperty) return addresses;
  return nullptr;
}

ScanSnapshot ScanSnapshot::of(const ABAddressBook& book) {
  ScanSnapshot snapshot;
  snapshot.persons = book.people();
  snapshot.notSamePerson = ABMarkCover(book, ABMarkKind::kNotSamePerson);
  snapshot.keptPhoneFormat = ABMarkCover(book, ABMarkKind::kKeptPhoneFormat);
  const size_t count = snapshot.persons.size();
  snapshot.data.resize(count);
  snapshot.values.resize(count);
  // Persons are independent of each other: taken on every core.
  parallelFor(count, 10000, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      snapshot.data[i] = snapshot.persons[i]->snapshot();
      snapshot.values[i] = PersonValues::of(*snapshot.data[i]);
    }
  });
  return snapshot;
}
