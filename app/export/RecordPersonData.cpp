#include "app/export/RecordPersonData.h"

#include <unordered_map>

#include "platform/addressbook/ABConstants.h"

namespace {

enum class Family { Single, Birthday, Labelled, Social, AddressPart, Instant };

// Where one record key goes. Labelled: target is the list property, label its label. Social:
// target is the service. AddressPart: target is the address key, label the group's label.
// Instant: target is the service, label the group's label.
struct Mapping {
  Family family;
  const std::string* target;
  const std::string* label = nullptr;
};

using KeyMap = std::unordered_map<std::string, Mapping>;

KeyMap buildKeyMap() {
  KeyMap map;
  auto add = [&](std::string key, Mapping mapping) { map.emplace(std::move(key), mapping); };
  for (auto [key, property] : {std::pair{"First Name", &kABFirstNameProperty},
                               {"Last Name", &kABLastNameProperty},
                               {"Company", &kABOrganizationProperty},
                               {"Job Title", &kABJobTitleProperty},
                               {"Note", &kABNoteProperty},
                               {"Phonetic First Name", &kABFirstNamePhoneticProperty},
                               {"Phonetic Last Name", &kABLastNamePhoneticProperty},
                               {"Middle Name", &kABMiddleNameProperty},
                               {"Suffix", &kABSuffixProperty},
                               {"Preffix", &kABTitleProperty},
                               {"Nickname", &kABNicknameProperty},
                               {"Maiden Name", &kABMaidenNameProperty},
                               {"Department", &kABDepartmentProperty}})
    add(key, {Family::Single, property});
  add("Birthday", {Family::Birthday, &kABBirthdayProperty});
  auto labelled = [&](const std::string& property,
                      std::initializer_list<std::pair<const char*, const std::string*>> keys) {
    for (auto [key, label] : keys) add(key, {Family::Labelled, &property, label});
  };
  labelled(kABPhoneProperty, {{"Mobile", &kABPhoneMobileLabel},
                              {"iPhone", &kABPhoneiPhoneLabel},
                              {"Main Phone", &kABPhoneMainLabel},
                              {"Home Fax", &kABPhoneHomeFAXLabel},
                              {"Work Fax", &kABPhoneWorkFAXLabel},
                              {"Pager", &kABPhonePagerLabel},
                              {"Work Phone", &kABPhoneWorkLabel},
                              {"Home Phone", &kABPhoneHomeLabel}});
  labelled(kABEmailProperty,
           {{"Home Email", &kABHomeLabel}, {"Work Email", &kABWorkLabel}, {"Other Email", &kABOtherLabel}});
  labelled(kABURLsProperty,
           {{"Home URL", &kABHomeLabel}, {"Work URL", &kABWorkLabel}, {"Home Page", &kABHomePageLabel}});
  labelled(kABRelatedNamesProperty, {{"Father", &kABFatherLabel},
                                     {"Mother", &kABMotherLabel},
                                     {"Parent", &kABParentLabel},
                                     {"Brother", &kABBrotherLabel},
                                     {"Sister", &kABSisterLabel},
                                     {"Child", &kABChildLabel},
                                     {"Friend", &kABFriendLabel},
                                     {"Spouse", &kABSpouseLabel},
                                     {"Partner", &kABPartnerLabel},
                                     {"Assistant", &kABAssistantLabel},
                                     {"Manager", &kABManagerLabel}});
  for (auto [key, service] : {std::pair{"Twitter", &kABSocialProfileServiceTwitter},
                              {"Facebook", &kABSocialProfileServiceFacebook},
                              {"Myspace", &kABSocialProfileServiceMySpace},
                              {"Flickr", &kABSocialProfileServiceFlickr},
                              {"LinkedIn", &kABSocialProfileServiceLinkedIn}})
    add(key, {Family::Social, service});
  const std::pair<const char*, const std::string*> groups[] = {
      {"Home ", &kABHomeLabel}, {"Work ", &kABWorkLabel}, {"Other ", &kABOtherLabel}};
  for (auto [prefix, label] : groups) {
    for (auto [part, key] : {std::pair{"Street", &kABAddressStreetKey},
                             {"City", &kABAddressCityKey},
                             {"State", &kABAddressStateKey},
                             {"ZIP", &kABAddressZIPKey},
                             {"Country", &kABAddressCountryKey},
                             {"Country Code", &kABAddressCountryCodeKey}})
      add(std::string(prefix) + part, {Family::AddressPart, key, label});
  }
  for (auto [prefix, label] : groups) {
    for (auto [name, service] : {std::pair{"AIM", &kABInstantMessageServiceAIM},
                                 {"QQ", &kABInstantMessageServiceQQ},
                                 {"Google Talk", &kABInstantMessageServiceGoogleTalk},
                                 {"Gadu-Gadu", &kABInstantMessageServiceGaduGadu},
                                 {"Jabber", &kABInstantMessageServiceJabber},
                                 {"MSN", &kABInstantMessageServiceMSN},
                                 {"Facebook", &kABInstantMessageServiceFacebook},
                                 {"Skype", &kABInstantMessageServiceSkype},
                                 {"Yahoo", &kABInstantMessageServiceYahoo},
                                 {"ICQ", &kABInstantMessageServiceICQ}})
      add(std::string(prefix) + name, {Family::Instant, service, label});
  }
  return map;
}

// Whether an existing entry's label belongs to the group a "Home "/"Work "/"Other " key names.
bool inGroup(const std::string& entryLabel, const std::string* groupLabel) {
  if (groupLabel == &kABHomeLabel) return entryLabel == kABHomeLabel;
  if (groupLabel == &kABWorkLabel) return entryLabel == kABWorkLabel;
  return entryLabel != kABHomeLabel && entryLabel != kABWorkLabel;
}

// The person's lists while they are being built, set on the person at the end.
struct Lists {
  ABMultiValue phones, emails, urls, related, social, addresses, instant;

  ABMultiValue& of(const std::string& property) {
    if (&property == &kABPhoneProperty) return phones;
    if (&property == &kABEmailProperty) return emails;
    if (&property == &kABURLsProperty) return urls;
    return related;
  }
};

// Replaces every entry designated for the key by the rewritten one, or appends it when none is.
template <typename Designated, typename Rewritten>
void rewrite(ABMultiValue& list, Designated designated, Rewritten rewritten) {
  bool found = false;
  for (size_t i = 0; i < list.count(); ++i) {
    const ABMultiValue::Entry& entry = list.entries()[i];
    if (!designated(entry)) continue;
    found = true;
    ABMultiValue::Entry fresh = rewritten(&entry);
    list.replaceValueAtIndex(i, std::move(fresh.value));
    list.replaceLabelAtIndex(i, std::move(fresh.label));
  }
  if (!found) {
    ABMultiValue::Entry fresh = rewritten(nullptr);
    list.addValueWithLabel(std::move(fresh.value), std::move(fresh.label));
  }
}

const ABDictionary* dictionaryOf(const ABMultiValue::Entry& entry) {
  return std::get_if<ABDictionary>(&entry.value);
}

}  // namespace

ABPersonData personDataFromRecord(const ContactRecord& record) {
  static const KeyMap keyMap = buildKeyMap();
  ABPersonData data;
  Lists lists;
  for (const auto& [key, value] : record.entries()) {
    auto found = keyMap.find(key);
    if (found == keyMap.end()) continue;
    const Mapping& mapping = found->second;
    if (mapping.family == Family::Birthday) {
      if (const auto* date = std::get_if<ABDate>(&value)) {
        data.set(*mapping.target, *date);
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        if (auto parsed = ABDate::fromIsoString(*text)) data.set(*mapping.target, *parsed);
      }
      continue;
    }
    const auto* textValue = std::get_if<std::string>(&value);
    if (!textValue) continue;
    const std::string& text = *textValue;
    switch (mapping.family) {
      case Family::Single:
        data.set(*mapping.target, text);
        break;
      case Family::Labelled: {
        const std::string& label = *mapping.label;
        rewrite(
            lists.of(*mapping.target), [&](const ABMultiValue::Entry& e) { return e.label == label; },
            [&](const ABMultiValue::Entry*) {
              return ABMultiValue::Entry{label, text};
            });
        break;
      }
      case Family::Social: {
        const std::string& service = *mapping.target;
        rewrite(
            lists.social,
            [&](const ABMultiValue::Entry& e) {
              const ABDictionary* d = dictionaryOf(e);
              return d && d->valueOr(kABSocialProfileServiceKey) == service;
            },
            [&](const ABMultiValue::Entry*) {
              return ABMultiValue::Entry{kABHomeLabel, ABDictionary{{kABSocialProfileUsernameKey, text},
                                                                    {kABSocialProfileServiceKey, service}}};
            });
        break;
      }
      case Family::AddressPart:
        rewrite(
            lists.addresses,
            [&](const ABMultiValue::Entry& e) { return dictionaryOf(e) && inGroup(e.label, mapping.label); },
            [&](const ABMultiValue::Entry* old) {
              ABDictionary address = old ? *dictionaryOf(*old) : ABDictionary();
              address.set(*mapping.target, text);
              return ABMultiValue::Entry{old ? old->label : *mapping.label, std::move(address)};
            });
        break;
      case Family::Instant: {
        const std::string& service = *mapping.target;
        rewrite(
            lists.instant,
            [&](const ABMultiValue::Entry& e) {
              const ABDictionary* d = dictionaryOf(e);
              return d && inGroup(e.label, mapping.label) && d->valueOr(kABInstantMessageServiceKey) == service;
            },
            [&](const ABMultiValue::Entry*) {
              return ABMultiValue::Entry{*mapping.label, ABDictionary{{kABInstantMessageServiceKey, service},
                                                                      {kABInstantMessageUsernameKey, text}}};
            });
        break;
      }
      case Family::Birthday:
        break;
    }
  }
  const std::pair<const std::string*, ABMultiValue*> built[] = {{&kABPhoneProperty, &lists.phones},
                                                                {&kABEmailProperty, &lists.emails},
                                                                {&kABURLsProperty, &lists.urls},
                                                                {&kABRelatedNamesProperty, &lists.related},
                                                                {&kABSocialProfileProperty, &lists.social},
                                                                {&kABAddressProperty, &lists.addresses},
                                                                {&kABInstantMessageProperty, &lists.instant}};
  for (auto [property, list] : built)
    if (!list->empty()) data.set(*property, std::move(*list));
  return data;
}
