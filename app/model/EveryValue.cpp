#include "app/model/EveryValue.h"

#include "platform/addressbook/ShownName.h"

#include <algorithm>

#include "core/record/ContactRecord.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABConstants.h"

namespace {

// The lists in the order the card shows them, each with its name.
const std::vector<std::pair<const std::string*, const char*>>& lists() {
  static const std::vector<std::pair<const std::string*, const char*>> names = {
      {&kABEmailProperty, "E-mail"},
      {&kABPhoneProperty, "Phone"},
      {&kABAddressProperty, "Address"},
      {&kABURLsProperty, "Web address"},
      {&kABRelatedNamesProperty, "Related name"},
      {&kABInstantMessageProperty, "Instant message"},
      {&kABSocialProfileProperty, "Social profile"}};
  return names;
}

// The single values in the order the card shows them: the person's names first, the note last.
const std::vector<std::pair<const std::string*, const char*>>& singles() {
  static const std::vector<std::pair<const std::string*, const char*>> names = {
      {&kABTitleProperty, "Title"},
      {&kABFirstNameProperty, "First Name"},
      {&kABMiddleNameProperty, "Middle Name"},
      {&kABLastNameProperty, "Last Name"},
      {&kABSuffixProperty, "Suffix"},
      {&kABNicknameProperty, "Nickname"},
      {&kABMaidenNameProperty, "Maiden Name"},
      {&kABFirstNamePhoneticProperty, "Phonetic First Name"},
      {&kABLastNamePhoneticProperty, "Phonetic Last Name"},
      {&kABOrganizationProperty, "Company"},
      {&kABDepartmentProperty, "Department"},
      {&kABJobTitleProperty, "Job Title"},
      {&kABBirthdayProperty, "Birthday"}};
  return names;
}

std::string serviceName(std::string service) {
  // "JabberInstant" -> "Jabber".
  constexpr std::string_view kInstant = "Instant";
  if (service.size() > kInstant.size() && service.ends_with(kInstant)) service.resize(service.size() - kInstant.size());
  return service;
}

// What an entry of the list is called: the table's column of its label where there is one ("Home
// Email", "Mobile", "Work Address"), else the list's name and the label ("E-mail (Gym)").
std::string entryLabel(const std::string& property, const char* name, const std::string& label) {
  if (property == kABAddressProperty) {
    if (label == kABHomeLabel) return "Home Address";
    if (label == kABWorkLabel) return "Work Address";
    if (label == kABOtherLabel) return "Other Address";
  } else if (property != kABInstantMessageProperty && property != kABSocialProfileProperty) {
    for (const auto& key : RecordKeys::all())
      if (key.family == RecordKeys::Family::Labelled && *key.property == property && key.label && *key.label == label)
        return key.key;
  }
  std::string text = name;
  if (!label.empty()) text += " (" + readableLabel(label) + ")";
  return text;
}

}  // namespace

std::string readableLabel(const std::string& label) {
  if (!label.starts_with("_$!<") || !label.ends_with(">!$_")) return label;
  std::string inner = label.substr(4, label.size() - 8);
  if (inner == "HomeFAX") return "Home fax";
  if (inner == "WorkFAX") return "Work fax";
  if (inner == "HomePage") return "Home page";
  return inner;
}

std::string entryText(const std::string& property, const ABMultiValueItem& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  const auto& dictionary = std::get<ABDictionary>(value);
  if (property == kABInstantMessageProperty || property == kABSocialProfileProperty) {
    const bool instant = property == kABInstantMessageProperty;
    const std::string* user = dictionary.find(instant ? kABInstantMessageUsernameKey : kABSocialProfileUsernameKey);
    const std::string* service = dictionary.find(instant ? kABInstantMessageServiceKey : kABSocialProfileServiceKey);
    const std::string* url = instant ? nullptr : dictionary.find(kABSocialProfileURLKey);
    std::string line = user && !user->empty() ? *user : url ? *url : std::string();
    if (service && !service->empty()) line += (line.empty() ? "" : " ") + ("(" + serviceName(*service) + ")");
    return line;
  }
  std::string joined;
  for (const auto& [key, part] : dictionary.entries()) {
    if (part.empty()) continue;
    if (!joined.empty()) joined += ", ";
    joined += part;
  }
  return joined;
}

std::vector<ShownValue> everyValueOf(const ABPersonData& data) {
  std::vector<ShownValue> shown;
  std::vector<std::string_view> met;
  auto take = [&](const std::string& property) { met.push_back(property); };
  for (const auto& [property, label] : singles()) {
    take(*property);
    if (const std::string* text = data.string(*property); text && !text->empty())
      shown.push_back({label, *text});
    else if (const ABDate* date = data.date(*property))
      shown.push_back({label, ContactRecord::dateText(*date)});
  }
  for (const auto& [property, name] : lists()) {
    take(*property);
    const ABMultiValue* list = data.multiValue(*property);
    if (!list) continue;
    for (const auto& entry : list->entries()) {
      std::string text = entryText(*property, entry.value);
      if (text.empty()) continue;
      shown.push_back({entryLabel(*property, name, entry.label), std::move(text)});
    }
  }
  for (const std::string* property : {&kABNoteProperty, &kABUIDProperty, &kABVCardKeptLinesProperty,
                                      &kABVCardLinesAsReadProperty, &kABPersonFlags, &kABImageDataProperty})
    take(*property);
  // Values of properties the card has no place for, as they are.
  for (const auto& [property, value] : data.entries()) {
    if (std::find(met.begin(), met.end(), property) != met.end()) continue;
    if (const auto* text = std::get_if<std::string>(&value); text && !text->empty())
      shown.push_back({property, *text});
    else if (const auto* list = std::get_if<ABMultiValue>(&value))
      for (const auto& entry : list->entries())
        if (std::string text = entryText(property, entry.value); !text.empty())
          shown.push_back({property + (entry.label.empty() ? "" : " (" + readableLabel(entry.label) + ")"), text});
  }
  if (const std::int64_t* flags = data.integer(kABPersonFlags); flags && (*flags & kABShowAsCompany))
    shown.push_back({"Shown as", "company"});
  if (data.bytes(kABImageDataProperty)) shown.push_back({"Picture", "a picture"});
  if (const std::string* note = data.string(kABNoteProperty); note && !note->empty()) shown.push_back({"Note", *note});
  return shown;
}

std::string distinguishingDetails(const ABPersonData& data) {
  const std::string name = shownName(data);
  std::vector<std::string> details;
  for (const std::string* property : {&kABEmailProperty, &kABPhoneProperty}) {
    const ABMultiValue* list = data.multiValue(*property);
    if (!list) continue;
    for (const auto& entry : list->entries())
      if (const auto* text = std::get_if<std::string>(&entry.value); text && !text->empty()) {
        if (*text != name) details.push_back(*text);
        break;
      }
  }
  if (const std::string* organisation = data.string(kABOrganizationProperty);
      organisation && !organisation->empty() && *organisation != name)
    details.push_back(*organisation);
  std::string joined;
  for (const auto& detail : details) joined += (joined.empty() ? "" : ", ") + detail;
  return joined;
}
