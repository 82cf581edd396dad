#include "app/model/ShownName.h"

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABPerson.h"

std::string shownName(std::optional<std::string_view> first, std::optional<std::string_view> last,
                      std::optional<std::string_view> organisation) {
  if (first && first->empty()) first.reset();
  if (last && last->empty()) last.reset();
  if (first && last) return std::string(*first) + " " + std::string(*last);
  if (first) return std::string(*first);
  if (last) return std::string(*last);
  if (organisation && !organisation->empty()) return std::string(*organisation);
  return "No Name";
}

std::string shownName(const ABPersonData& data) {
  auto part = [&](const std::string& property) -> std::optional<std::string_view> {
    if (const std::string* text = data.string(property)) return *text;
    return std::nullopt;
  };
  return shownName(part(kABFirstNameProperty), part(kABLastNameProperty), part(kABOrganizationProperty));
}
