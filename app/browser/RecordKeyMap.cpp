#include "app/browser/RecordKeyMap.h"

#include <functional>
#include <unordered_map>

#include "platform/addressbook/ABConstants.h"

namespace RecordKeyMap {

namespace {

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

using Map = std::unordered_map<std::string, Mapping, TextHash, std::equal_to<>>;

Map build() {
  Map map;
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

}  // namespace

const Mapping* find(std::string_view key) {
  static const Map map = build();
  auto found = map.find(key);
  return found == map.end() ? nullptr : &found->second;
}

bool inGroup(const std::string& entryLabel, const std::string* groupLabel) {
  if (groupLabel == &kABHomeLabel) return entryLabel == kABHomeLabel;
  if (groupLabel == &kABWorkLabel) return entryLabel == kABWorkLabel;
  return entryLabel != kABHomeLabel && entryLabel != kABWorkLabel;
}

const std::string* listProperty(const Mapping& mapping) {
  switch (mapping.family) {
    case Family::Single:
    case Family::Birthday:
      return nullptr;
    case Family::Labelled:
      return mapping.target;
    case Family::Social:
      return &kABSocialProfileProperty;
    case Family::AddressPart:
      return &kABAddressProperty;
    case Family::Instant:
      return &kABInstantMessageProperty;
  }
  return nullptr;
}

namespace {

const ABDictionary* dictionaryOf(const ABMultiValue::Entry& entry) {
  return std::get_if<ABDictionary>(&entry.value);
}

// The dictionary key that holds what the record shows of a dictionary entry.
const std::string& shownComponent(const Mapping& mapping) {
  if (mapping.family == Family::AddressPart) return *mapping.target;
  if (mapping.family == Family::Social) return kABSocialProfileUsernameKey;
  return kABInstantMessageUsernameKey;
}

}  // namespace

bool designates(const Mapping& mapping, const ABMultiValue::Entry& entry) {
  switch (mapping.family) {
    case Family::Single:
    case Family::Birthday:
      return false;
    case Family::Labelled:
      // Only text entries: filling another kind of value would replace it.
      if (!std::holds_alternative<std::string>(entry.value)) return false;
      // E-mail addresses of any label but home and work are the other ones.
      if (mapping.target == &kABEmailProperty) return inGroup(entry.label, mapping.label);
      return entry.label == *mapping.label;
    case Family::Social: {
      const ABDictionary* d = dictionaryOf(entry);
      return d && d->valueOr(kABSocialProfileServiceKey) == *mapping.target;
    }
    case Family::AddressPart:
      return dictionaryOf(entry) && inGroup(entry.label, mapping.label);
    case Family::Instant: {
      const ABDictionary* d = dictionaryOf(entry);
      return d && inGroup(entry.label, mapping.label) && d->valueOr(kABInstantMessageServiceKey) == *mapping.target;
    }
  }
  return false;
}

bool showsKey(const Mapping& mapping, const ABMultiValue::Entry& entry) {
  if (!designates(mapping, entry)) return false;
  switch (mapping.family) {
    case Family::Labelled:
      return true;
    case Family::Social:
      // Profiles are read only under the home label.
      return entry.label == kABHomeLabel && dictionaryOf(entry)->contains(kABSocialProfileUsernameKey);
    case Family::AddressPart:
    case Family::Instant:
      return dictionaryOf(entry)->contains(shownComponent(mapping));
    default:
      return false;
  }
}

const std::string& shownValue(const Mapping& mapping, const ABMultiValue::Entry& entry) {
  if (mapping.family == Family::Labelled) return std::get<std::string>(entry.value);
  return *dictionaryOf(entry)->find(shownComponent(mapping));
}

}  // namespace RecordKeyMap
