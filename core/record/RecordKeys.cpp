#include "core/record/RecordKeys.h"

#include <algorithm>
#include <unordered_map>

#include "platform/addressbook/ABConstants.h"

namespace RecordKeys {

namespace {

// All-information sections: the names, e-mail, phones, addresses, instant messaging, social
// profiles, the other single values with the full name, web addresses, related names.
enum Section { kNone, kNames, kEmail, kPhones, kAddresses, kInstant, kSocial, kSingles, kWeb, kRelated };

std::vector<RecordKey> build() {
  std::vector<RecordKey> keys;
  auto single = [&](const char* key, const std::string& property, int section) {
    keys.push_back({key, Family::Single, &property, nullptr, nullptr, false, section});
  };
  single("First Name", kABFirstNameProperty, kNames);
  single("Last Name", kABLastNameProperty, kNames);
  single("Phonetic First Name", kABFirstNamePhoneticProperty, kNone);
  single("Phonetic Last Name", kABLastNamePhoneticProperty, kNone);
  single("Department", kABDepartmentProperty, kSingles);
  single("Note", kABNoteProperty, kSingles);
  single("Suffix", kABSuffixProperty, kSingles);
  single("Preffix", kABTitleProperty, kNone);
  single("Job Title", kABJobTitleProperty, kSingles);
  keys.push_back({"Birthday", Family::Birthday, &kABBirthdayProperty, nullptr, nullptr, false, kSingles});
  single("Nickname", kABNicknameProperty, kSingles);
  single("Maiden Name", kABMaidenNameProperty, kSingles);
  single("Middle Name", kABMiddleNameProperty, kSingles);
  single("Company", kABOrganizationProperty, kSingles);
  keys.push_back({"FullName", Family::FullName, nullptr, nullptr, nullptr, false, kSingles});

  auto labelled = [&](const std::string& property, int section, bool grouped,
                      std::initializer_list<std::pair<const char*, const std::string*>> rows) {
    for (auto [key, label] : rows) keys.push_back({key, Family::Labelled, &property, label, nullptr, grouped, section});
  };
  labelled(kABEmailProperty, kEmail, true,
           {{"Home Email", &kABHomeLabel}, {"Work Email", &kABWorkLabel}, {"Other Email", &kABOtherLabel}});
  labelled(kABURLsProperty, kWeb, false,
           {{"Home URL", &kABHomeLabel}, {"Work URL", &kABWorkLabel}, {"Home Page", &kABHomePageLabel}});
  labelled(kABPhoneProperty, kPhones, false,
           {{"Mobile", &kABPhoneMobileLabel},
            {"iPhone", &kABPhoneiPhoneLabel},
            {"Main Phone", &kABPhoneMainLabel},
            {"Home Fax", &kABPhoneHomeFAXLabel},
            {"Work Fax", &kABPhoneWorkFAXLabel},
            {"Pager", &kABPhonePagerLabel},
            {"Work Phone", &kABPhoneWorkLabel},
            {"Home Phone", &kABPhoneHomeLabel}});

  const std::pair<const char*, const std::string*> groups[] = {
      {"Home ", &kABHomeLabel}, {"Work ", &kABWorkLabel}, {"Other ", &kABOtherLabel}};
  auto prefixed = [](const char* prefix, const char* rest) { return std::string(prefix) + rest; };
  for (auto [prefix, label] : groups)
    for (auto [part, component] : {std::pair{"Street", &kABAddressStreetKey},
                                   {"City", &kABAddressCityKey},
                                   {"State", &kABAddressStateKey},
                                   {"ZIP", &kABAddressZIPKey},
                                   {"Country", &kABAddressCountryKey},
                                   {"Country Code", &kABAddressCountryCodeKey}})
      keys.push_back(
          {prefixed(prefix, part), Family::AddressPart, &kABAddressProperty, label, component, true, kAddresses});

  labelled(kABRelatedNamesProperty, kRelated, false,
           {{"Father", &kABFatherLabel},
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
    keys.push_back({key, Family::Social, &kABSocialProfileProperty, &kABHomeLabel, service, false, kSocial});
  for (auto [prefix, label] : groups)
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
      keys.push_back(
          {prefixed(prefix, name), Family::Instant, &kABInstantMessageProperty, label, service, true, kInstant});
  return keys;
}

}  // namespace

const std::vector<RecordKey>& all() {
  static const std::vector<RecordKey> keys = build();
  return keys;
}

const RecordKey* find(std::string_view key) {
  static const auto index = [] {
    std::unordered_map<std::string_view, const RecordKey*> map;
    for (const RecordKey& row : all()) map.emplace(row.key, &row);
    return map;
  }();
  auto found = index.find(key);
  return found == index.end() ? nullptr : found->second;
}

bool isStored(const RecordKey& key) {
  return key.family != Family::FullName;
}

bool inGroup(std::string_view entryLabel, const std::string* groupLabel) {
  if (groupLabel == &kABHomeLabel) return entryLabel == kABHomeLabel;
  if (groupLabel == &kABWorkLabel) return entryLabel == kABWorkLabel;
  return entryLabel != kABHomeLabel && entryLabel != kABWorkLabel;
}

std::vector<std::string> allInfoKeys() {
  std::vector<const RecordKey*> listed;
  for (const RecordKey& row : all())
    if (row.allInfoSection != kNone) listed.push_back(&row);
  std::stable_sort(listed.begin(), listed.end(),
                   [](const RecordKey* a, const RecordKey* b) { return a->allInfoSection < b->allInfoSection; });
  std::vector<std::string> keys;
  keys.reserve(listed.size());
  for (const RecordKey* row : listed) keys.push_back(row->key);
  return keys;
}

}  // namespace RecordKeys
