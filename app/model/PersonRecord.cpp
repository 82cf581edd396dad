#include "app/model/PersonRecord.h"

#include <array>
#include <string_view>
#include <thread>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

struct PropertyKey {
  const std::string* property;
  const char* key;
};

const std::array<PropertyKey, 14> kSingleValues = {{
    {&kABFirstNameProperty, "First Name"},
    {&kABLastNameProperty, "Last Name"},
    {&kABFirstNamePhoneticProperty, "Phonetic First Name"},
    {&kABLastNamePhoneticProperty, "Phonetic Last Name"},
    {&kABDepartmentProperty, "Department"},
    {&kABNoteProperty, "Note"},
    {&kABSuffixProperty, "Suffix"},
    {&kABTitleProperty, "Preffix"},
    {&kABJobTitleProperty, "Job Title"},
    {&kABBirthdayProperty, "Birthday"},
    {&kABNicknameProperty, "Nickname"},
    {&kABMaidenNameProperty, "Maiden Name"},
    {&kABMiddleNameProperty, "Middle Name"},
    {&kABOrganizationProperty, "Company"},
}};

struct LabelKey {
  const std::string* label;
  const char* key;
};

const std::array<LabelKey, 8> kPhoneLabels = {{
    {&kABPhoneMobileLabel, "Mobile"},
    {&kABPhoneiPhoneLabel, "iPhone"},
    {&kABPhoneMainLabel, "Main Phone"},
    {&kABPhoneHomeFAXLabel, "Home Fax"},
    {&kABPhoneWorkFAXLabel, "Work Fax"},
    {&kABPhonePagerLabel, "Pager"},
    {&kABPhoneWorkLabel, "Work Phone"},
    {&kABPhoneHomeLabel, "Home Phone"},
}};

const std::array<LabelKey, 11> kRelatedLabels = {{
    {&kABFatherLabel, "Father"},
    {&kABMotherLabel, "Mother"},
    {&kABParentLabel, "Parent"},
    {&kABBrotherLabel, "Brother"},
    {&kABSisterLabel, "Sister"},
    {&kABChildLabel, "Child"},
    {&kABFriendLabel, "Friend"},
    {&kABSpouseLabel, "Spouse"},
    {&kABPartnerLabel, "Partner"},
    {&kABAssistantLabel, "Assistant"},
    {&kABManagerLabel, "Manager"},
}};

const std::array<LabelKey, 6> kAddressComponents = {{
    {&kABAddressStreetKey, "Street"},
    {&kABAddressCityKey, "City"},
    {&kABAddressStateKey, "State"},
    {&kABAddressZIPKey, "ZIP"},
    {&kABAddressCountryKey, "Country"},
    {&kABAddressCountryCodeKey, "Country Code"},
}};

const std::array<LabelKey, 10> kInstantMessageServices = {{
    {&kABInstantMessageServiceAIM, "AIM"},
    {&kABInstantMessageServiceQQ, "QQ"},
    {&kABInstantMessageServiceGoogleTalk, "Google Talk"},
    {&kABInstantMessageServiceGaduGadu, "Gadu-Gadu"},
    {&kABInstantMessageServiceJabber, "Jabber"},
    {&kABInstantMessageServiceMSN, "MSN"},
    {&kABInstantMessageServiceFacebook, "Facebook"},
    {&kABInstantMessageServiceSkype, "Skype"},
    {&kABInstantMessageServiceYahoo, "Yahoo"},
    {&kABInstantMessageServiceICQ, "ICQ"},
}};

const std::array<LabelKey, 5> kSocialServices = {{
    {&kABSocialProfileServiceTwitter, "Twitter"},
    {&kABSocialProfileServiceFacebook, "Facebook"},
    {&kABSocialProfileServiceMySpace, "Myspace"},
    {&kABSocialProfileServiceFlickr, "Flickr"},
    {&kABSocialProfileServiceLinkedIn, "LinkedIn"},
}};

const char* prefixOfLabel(const std::string& label) {
  if (label == kABHomeLabel) return "Home ";
  if (label == kABWorkLabel) return "Work ";
  return "Other ";
}

template <size_t N>
const char* keyOfLabel(const std::array<LabelKey, N>& table, const std::string& label) {
  for (const auto& entry : table)
    if (*entry.label == label) return entry.key;
  return nullptr;
}

// How many keys the record of data can have at most, so that its storage is allocated once.
size_t keysAtMost(const ABPersonData& data) {
  size_t count = 2;  // "Person" and "FullName"
  for (const auto& [property, value] : data.entries()) {
    const auto* multi = std::get_if<ABMultiValue>(&value);
    if (!multi)
      ++count;
    else
      count += multi->count() * (property == kABAddressProperty ? kAddressComponents.size() : 1);
  }
  return count;
}

void build(ContactRecord& record, const ABPersonRef& person, const ABPersonData& data, bool forReview) {
  record.reserve(keysAtMost(data));
  record.set("Person", person);
  for (const auto& single : kSingleValues) {
    if (forReview && single.property == &kABTitleProperty) continue;
    const ABValue* value = data.find(*single.property);
    if (!value) continue;
    if (const auto* text = std::get_if<std::string>(value))
      record.set(single.key, *text);
    else if (const auto* date = std::get_if<ABDate>(value))
      record.set(single.key, *date);
  }
  if (!forReview) {
    const std::string* first = data.string(kABFirstNameProperty);
    const std::string* last = data.string(kABLastNameProperty);
    record.set("FullName", (first ? *first : std::string("(null)")) + (last ? *last : std::string("(null)")));
  }
  if (const ABMultiValue* emails = data.multiValue(kABEmailProperty)) {
    for (const auto& entry : emails->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (!value) continue;
      const char* key = entry.label == kABHomeLabel   ? "Home Email"
                        : entry.label == kABWorkLabel ? "Work Email"
                                                      : "Other Email";
      record.set(key, *value);
    }
  }
  if (const ABMultiValue* urls = data.multiValue(kABURLsProperty)) {
    for (const auto& entry : urls->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (!value) continue;
      if (entry.label == kABHomeLabel)
        record.set("Home URL", *value);
      else if (entry.label == kABWorkLabel)
        record.set("Work URL", *value);
      else if (entry.label == kABHomePageLabel)
        record.set("Home Page", *value);
    }
  }
  if (const ABMultiValue* phones = data.multiValue(kABPhoneProperty)) {
    for (const auto& entry : phones->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      const char* key = keyOfLabel(kPhoneLabels, entry.label);
      if (value && key) record.set(key, *value);
    }
  }
  if (const ABMultiValue* addresses = data.multiValue(kABAddressProperty)) {
    for (const auto& entry : addresses->entries()) {
      const auto* address = std::get_if<ABDictionary>(&entry.value);
      if (!address) continue;
      std::string prefix = prefixOfLabel(entry.label);
      for (const auto& component : kAddressComponents)
        if (const std::string* value = address->find(*component.label)) record.set(prefix + component.key, *value);
    }
  }
  if (const ABMultiValue* related = data.multiValue(kABRelatedNamesProperty)) {
    for (const auto& entry : related->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      const char* key = keyOfLabel(kRelatedLabels, entry.label);
      if (value && key) record.set(key, *value);
    }
  }
  if (const ABMultiValue* profiles = data.multiValue(kABSocialProfileProperty)) {
    for (const auto& entry : profiles->entries()) {
      const auto* profile = std::get_if<ABDictionary>(&entry.value);
      if (!profile || entry.label != kABHomeLabel) continue;
      const std::string* service = profile->find(kABSocialProfileServiceKey);
      const std::string* user = profile->find(kABSocialProfileUsernameKey);
      if (!service || !user) continue;
      if (const char* key = keyOfLabel(kSocialServices, *service)) record.set(key, *user);
    }
  }
  if (const ABMultiValue* accounts = data.multiValue(kABInstantMessageProperty)) {
    for (const auto& entry : accounts->entries()) {
      const auto* account = std::get_if<ABDictionary>(&entry.value);
      if (!account) continue;
      const std::string* service = account->find(kABInstantMessageServiceKey);
      const std::string* user = account->find(kABInstantMessageUsernameKey);
      if (!service || !user) continue;
      if (const char* suffix = keyOfLabel(kInstantMessageServices, *service))
        record.set(std::string(prefixOfLabel(entry.label)) + suffix, *user);
    }
  }
}

}  // namespace

ContactRecord prasePerson(const ABPersonRef& person, const ABPersonData& data) {
  ContactRecord record;
  build(record, person, data, false);
  return record;
}

ContactRecord prasePerson(const ABPersonRef& person) {
  return prasePerson(person, *person->snapshot());
}

ContactRecord prasePersonForReview(const ABPersonRef& person) {
  ContactRecord record;
  build(record, person, *person->snapshot(), true);
  return record;
}

ContactRecords recordsOfAddressBook(const ABAddressBook& book) {
  auto people = book.people();
  ContactRecords records(people.size());
  auto work = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) records[i] = prasePerson(people[i], *people[i]->snapshot());
  };
  // Records are independent of each other: build the two halves on two cores.
  if (people.size() < 2000) {
    work(0, people.size());
  } else {
    size_t middle = people.size() / 2;
    std::thread other(work, middle, people.size());
    work(0, middle);
    other.join();
  }
  return records;
}
