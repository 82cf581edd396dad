#include "app/model/ShownName.h"

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABPerson.h"

std::string shownName(const ABPersonData& data) {
  const std::string* first = data.string(kABFirstNameProperty);
  const std::string* last = data.string(kABLastNameProperty);
  if (first && first->empty()) first = nullptr;
  if (last && last->empty()) last = nullptr;
  if (first && last) return *first + " " + *last;
  if (first) return *first;
  if (last) return *last;
  const std::string* organisation = data.string(kABOrganizationProperty);
  if (organisation && !organisation->empty()) return *organisation;
  return "No Name";
}
