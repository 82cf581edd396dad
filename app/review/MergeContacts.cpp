#include "app/review/MergeContacts.h"

#include <algorithm>

#include "platform/addressbook/ABConstants.h"

namespace {

// Single values: the last member that has one wins.
const std::vector<std::string>& singleValueProperties() {
  static const std::vector<std::string> properties = {kABFirstNameProperty,
                                                      kABLastNameProperty,
                                                      kABMiddleNameProperty,
                                                      kABMaidenNameProperty,
                                                      kABSuffixProperty,
                                                      kABFirstNamePhoneticProperty,
                                                      kABLastNamePhoneticProperty,
                                                      kABOrganizationProperty,
                                                      kABJobTitleProperty,
                                                      kABBirthdayProperty,
                                                      kABDepartmentProperty,
                                                      kABNicknameProperty,
                                                      kABTitleProperty,
                                                      kABPersonFlags,
                                                      kABImageDataProperty};
  return properties;
}

struct ListRule {
  const std::string* property;
  std::vector<std::string> labelOrder;  // labels placed first, in this order; others follow
};

const std::vector<ListRule>& listRules() {
  static const std::vector<ListRule> rules = {
      {&kABPhoneProperty,
       {kABPhoneWorkLabel, kABPhoneHomeLabel, kABPhoneMobileLabel, kABPhoneMainLabel, kABPhoneHomeFAXLabel,
        kABPhoneWorkFAXLabel, kABPhonePagerLabel}},
      {&kABRelatedNamesProperty,
       {kABFatherLabel, kABMotherLabel, kABParentLabel, kABBrotherLabel, kABSisterLabel, kABChildLabel, kABFriendLabel,
        kABPartnerLabel, kABSpouseLabel, kABAssistantLabel, kABManagerLabel}},
      {&kABEmailProperty, {kABEmailHomeLabel, kABEmailWorkLabel, kABOtherLabel}},
      {&kABAddressProperty, {kABAddressHomeLabel, kABAddressWorkLabel, kABOtherLabel}},
      {&kABURLsProperty, {}},
      {&kABInstantMessageProperty, {}},
      {&kABSocialProfileProperty, {}},
  };
  return rules;
}

bool isEmptyItem(const ABMultiValueItem& item) {
  if (const auto* dict = std::get_if<ABDictionary>(&item)) {
    return std::all_of(dict->entries().begin(), dict->entries().end(),
                       [](const ABDictionary::Entry& e) { return e.second.empty(); });
  }
  return false;
}

ABMultiValue mergeLists(const std::vector<ABPersonSnapshot>& members, const ListRule& rule, bool dropEmpty) {
  std::vector<ABMultiValue::Entry> collected;
  for (const auto& member : members) {
    const ABMultiValue* list = member->multiValue(*rule.property);
    if (!list) continue;
    for (const auto& entry : list->entries()) {
      if (dropEmpty && isEmptyItem(entry.value)) continue;
      if (std::find(collected.begin(), collected.end(), entry) != collected.end()) continue;
      collected.push_back(entry);
    }
  }
  auto rank = [&](const std::string& label) {
    auto it = std::find(rule.labelOrder.begin(), rule.labelOrder.end(), label);
    return static_cast<size_t>(it - rule.labelOrder.begin());
  };
  std::stable_sort(collected.begin(), collected.end(), [&](const ABMultiValue::Entry& a, const ABMultiValue::Entry& b) {
    return rank(a.label) < rank(b.label);
  });
  ABMultiValue merged;
  for (auto& entry : collected) merged.addValueWithLabel(std::move(entry.value), std::move(entry.label));
  return merged;
}

}  // namespace

ABPersonRef mergeContacts(const std::vector<ABPersonRef>& persons) {
  std::vector<ABPersonSnapshot> members;
  members.reserve(persons.size());
  for (const auto& person : persons) members.push_back(person->snapshot());

  auto merged = ABPerson::create();
  for (const auto& property : singleValueProperties()) {
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
      if (const ABValue* value = (*it)->find(property)) {
        merged->setValueForProperty(*value, property);
        break;
      }
    }
  }

  std::string note;
  for (const auto& member : members)
    if (const std::string* text = member->string(kABNoteProperty)) note += "\n" + *text;
  merged->setValueForProperty(note, kABNoteProperty);

  for (const auto& rule : listRules()) {
    ABMultiValue list = mergeLists(members, rule, rule.property == &kABAddressProperty);
    if (!list.empty()) merged->setValueForProperty(std::move(list), *rule.property);
  }
  return merged;
}
