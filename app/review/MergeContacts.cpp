#include "app/review/MergeContacts.h"

#include <algorithm>
#include <optional>
#include <string>

#include "core/record/RecordKeys.h"

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardKept.h"

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
      // Equal label and value are one entry, whatever vCard parameters each was read with.
      if (std::any_of(collected.begin(), collected.end(),
                      [&](const ABMultiValue::Entry& e) { return e.sameLabelAndValue(entry); }))
        continue;
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
  for (auto& entry : collected) merged.addEntry(std::move(entry));
  return merged;
}

// The label of a single value as the contact card shows it: its record key.
std::string labelOf(const std::string& property) {
  for (const auto& key : RecordKeys::all())
    if ((key.family == RecordKeys::Family::Single || key.family == RecordKeys::Family::Birthday) && key.property &&
        *key.property == property)
      return key.key;
  return property;
}

// A single value as a line of text; nullopt for values that are not text (pictures, flags).
std::optional<std::string> asText(const ABValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* date = std::get_if<ABDate>(&value)) {
    // The year 1604 stands for a birthday without a year.
    if (date->year == 1604) return "--" + date->toIsoString().substr(5);
    return date->toIsoString();
  }
  return std::nullopt;
}

bool isHandled(const std::string& property) {
  if (property == kABUIDProperty || property == kABNoteProperty) return true;
  const auto& singles = singleValueProperties();
  if (std::find(singles.begin(), singles.end(), property) != singles.end()) return true;
  const auto& rules = listRules();
  return std::any_of(rules.begin(), rules.end(), [&](const ListRule& rule) { return *rule.property == property; });
}

}  // namespace

ABPersonRef mergeContacts(const std::vector<ABPersonRef>& persons) {
  std::vector<ABPersonSnapshot> members;
  members.reserve(persons.size());
  for (const auto& person : persons) members.push_back(person->snapshot());

  auto merged = ABPerson::create();
  // "Label: value" lines for the single values that lost to the winner, each once.
  std::vector<std::string> kept;
  auto keep = [&](const std::string& label, const std::string& text) {
    std::string line = label + ": " + text;
    if (std::find(kept.begin(), kept.end(), line) == kept.end()) kept.push_back(std::move(line));
  };
  auto mergeSingle = [&](const std::string& property) {
    const ABValue* winner = nullptr;
    for (auto it = members.rbegin(); it != members.rend() && !winner; ++it) winner = (*it)->find(property);
    if (!winner) return;
    merged->setValueForProperty(*winner, property);
    for (const auto& member : members) {
      const ABValue* value = member->find(property);
      if (!value || *value == *winner) continue;
      if (auto text = asText(*value)) keep(labelOf(property), *text);
    }
  };
  for (const auto& property : singleValueProperties()) mergeSingle(property);

  // What the members' vCards said beyond their values stays with the merged contact, each line once;
  // the lines the writer wrote as read stand for values the merge may have changed, so they go.
  std::vector<std::string_view> keptLines;
  for (const auto& member : members)
    if (const std::string* lines = member->string(kABVCardKeptLinesProperty)) keptLines.push_back(*lines);
  if (!keptLines.empty()) merged->setValueForProperty(mergeKeptLines(keptLines), kABVCardKeptLinesProperty);

  for (const auto& rule : listRules()) {
    ABMultiValue list = mergeLists(members, rule, rule.property == &kABAddressProperty);
    if (!list.empty()) merged->setValueForProperty(std::move(list), *rule.property);
  }

  // Properties this merge has no rule for (kept from an imported card, for instance): lists are
  // joined like the others, single values merged like the others.
  std::vector<std::string> others;
  for (const auto& member : members)
    for (const auto& [property, value] : member->entries())
      if (!isHandled(property) && property != kABVCardKeptLinesProperty && property != kABVCardLinesAsReadProperty &&
          std::find(others.begin(), others.end(), property) == others.end())
        others.push_back(property);
  for (const auto& property : others) {
    bool allLists = std::all_of(members.begin(), members.end(), [&](const ABPersonSnapshot& member) {
      const ABValue* value = member->find(property);
      return !value || std::holds_alternative<ABMultiValue>(*value);
    });
    if (!allLists) {
      mergeSingle(property);
      continue;
    }
    ABMultiValue list = mergeLists(members, ListRule{&property, {}}, false);
    if (!list.empty()) merged->setValueForProperty(std::move(list), property);
  }

  // The members' notes, each once, then the values that lost; never an empty note.
  std::vector<std::string> paragraphs;
  for (const auto& member : members)
    if (const std::string* text = member->string(kABNoteProperty); text && !text->empty())
      if (std::find(paragraphs.begin(), paragraphs.end(), *text) == paragraphs.end()) paragraphs.push_back(*text);
  paragraphs.insert(paragraphs.end(), kept.begin(), kept.end());
  std::string note;
  for (const auto& paragraph : paragraphs) {
    if (!note.empty()) note += "\n";
    note += paragraph;
  }
  if (!note.empty()) merged->setValueForProperty(note, kABNoteProperty);
  return merged;
}
