#include "ShownName.h"

#include "ABConstants.h"
#include "ABPerson.h"

std::string shownName(std::optional<std::string_view> first, std::optional<std::string_view> last,
                      std::optional<std::string_view> organisation, std::optional<std::string_view> reach) {
  if (first && first->empty()) first.reset();
  if (last && last->empty()) last.reset();
  if (first && last) return std::string(*first) + " " + std::string(*last);
  if (first) return std::string(*first);
  if (last) return std::string(*last);
  if (organisation && !organisation->empty()) return std::string(*organisation);
  if (reach && !reach->empty()) return std::string(*reach);
  return "No Name";
}

std::string shownName(const ABPersonData& data) {
  // A group card shows its group's name.
  if (const std::string* kind = data.string(kABKindProperty); kind && *kind == kABKindGroup) {
    const std::string* name = data.string(kABGroupNameProperty);
    return "Group " + (name && !name->empty() ? *name : std::string("No Name"));
  }
  auto part = [&](const std::string& property) -> std::optional<std::string_view> {
    if (const std::string* text = data.string(property)) return *text;
    return std::nullopt;
  };
  // The first e-mail address, else the first phone number, that holds more than white space.
  std::optional<std::string_view> reach;
  for (const std::string* property : {&kABEmailProperty, &kABPhoneProperty}) {
    const ABMultiValue* list = data.multiValue(*property);
    if (!list) continue;
    for (const auto& entry : list->entries()) {
      const auto* text = std::get_if<std::string>(&entry.value);
      if (text && text->find_first_not_of(" \t\r\n") != std::string::npos) {
        reach = *text;
        break;
      }
    }
    if (reach) break;
  }
  return shownName(part(kABFirstNameProperty), part(kABLastNameProperty), part(kABOrganizationProperty), reach);
}
