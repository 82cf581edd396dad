#include "app/review/PersonNames.h"

#include "platform/addressbook/ShownName.h"
#include "platform/addressbook/ABConstants.h"

namespace {

const std::string kNull = "(null)";

std::string orNull(const std::string* text) {
  return text ? *text : kNull;
}

}  // namespace

std::string PersonNames::rowName(const ABPerson& person) {
  return shownName(*person.snapshot());
}

std::string PersonNames::nameKey(const ABPersonData& data) {
  return orNull(data.string(kABFirstNameProperty)) + orNull(data.string(kABLastNameProperty));
}

std::string PersonNames::nameKey(const ABPerson& person) {
  return nameKey(*person.snapshot());
}

std::string PersonNames::displayName(const ABPerson& person) {
  auto data = person.snapshot();
  const std::string* first = data->string(kABFirstNameProperty);
  const std::string* last = data->string(kABLastNameProperty);
  if (first && last) return *first + " " + *last;
  if (first) return *first;
  if (last) return *last;
  return {};
}
