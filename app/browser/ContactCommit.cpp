#include "app/browser/ContactCommit.h"

#include <array>
#include <functional>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace ContactCommit {

namespace {

struct KeyTo {
  const char* key;
  const std::string* target;
};

const std::array<KeyTo, 14> kSingles = {{{"First Name", &kABFirstNameProperty},
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
                                         {"Department", &kABDepartmentProperty},
                                         {"Birthday", &kABBirthdayProperty}}};

const std::array<KeyTo, 8> kPhones = {{{"Mobile", &kABPhoneMobileLabel},
                                       {"iPhone", &kABPhoneiPhoneLabel},
                                       {"Main Phone", &kABPhoneMainLabel},
                                       {"Home Fax", &kABPhoneHomeFAXLabel},
                                       {"Work Fax", &kABPhoneWorkFAXLabel},
                                       {"Pager", &kABPhonePagerLabel},
                                       {"Work Phone", &kABPhoneWorkLabel},
                                       {"Home Phone", &kABPhoneHomeLabel}}};
const std::array<KeyTo, 3> kEmails = {
    {{"Home Email", &kABHomeLabel}, {"Work Email", &kABWorkLabel}, {"Other Email", &kABOtherLabel}}};
const std::array<KeyTo, 3> kUrls = {
    {{"Home URL", &kABHomeLabel}, {"Work URL", &kABWorkLabel}, {"Home Page", &kABHomePageLabel}}};
const std::array<KeyTo, 11> kRelated = {{{"Father", &kABFatherLabel},
                                         {"Mother", &kABMotherLabel},
                                         {"Parent", &kABParentLabel},
                                         {"Brother", &kABBrotherLabel},
                                         {"Sister", &kABSisterLabel},
                                         {"Child", &kABChildLabel},
                                         {"Friend", &kABFriendLabel},
                                         {"Spouse", &kABSpouseLabel},
                                         {"Partner", &kABPartnerLabel},
                                         {"Assistant", &kABAssistantLabel},
                                         {"Manager", &kABManagerLabel}}};
const std::array<KeyTo, 6> kAddressParts = {{{"Street", &kABAddressStreetKey},
                                             {"City", &kABAddressCityKey},
                                             {"State", &kABAddressStateKey},
                                             {"ZIP", &kABAddressZIPKey},
                                             {"Country", &kABAddressCountryKey},
                                             {"Country Code", &kABAddressCountryCodeKey}}};
const std::array<KeyTo, 10> kServices = {{{"AIM", &kABInstantMessageServiceAIM},
                                          {"QQ", &kABInstantMessageServiceQQ},
                                          {"Google Talk", &kABInstantMessageServiceGoogleTalk},
                                          {"Gadu-Gadu", &kABInstantMessageServiceGaduGadu},
                                          {"Jabber", &kABInstantMessageServiceJabber},
                                          {"MSN", &kABInstantMessageServiceMSN},
                                          {"Facebook", &kABInstantMessageServiceFacebook},
                                          {"Skype", &kABInstantMessageServiceSkype},
                                          {"Yahoo", &kABInstantMessageServiceYahoo},
                                          {"ICQ", &kABInstantMessageServiceICQ}}};
const std::array<KeyTo, 5> kSocial = {{{"Twitter", &kABSocialProfileServiceTwitter},
                                       {"Facebook", &kABSocialProfileServiceFacebook},
                                       {"Myspace", &kABSocialProfileServiceMySpace},
                                       {"Flickr", &kABSocialProfileServiceFlickr},
                                       {"LinkedIn", &kABSocialProfileServiceLinkedIn}}};

template <size_t N>
const std::string* lookup(const std::array<KeyTo, N>& table, const std::string& key) {
  for (const auto& entry : table)
    if (key == entry.key) return entry.target;
  return nullptr;
}

// Which group a "Home "/"Work "/"Other " key names, and the rest of the key.
struct Grouped {
  const std::string* newLabel = nullptr;
  std::string rest;
  bool matches(const std::string& label) const {
    if (newLabel == &kABHomeLabel) return label == kABHomeLabel;
    if (newLabel == &kABWorkLabel) return label == kABWorkLabel;
    return label != kABHomeLabel && label != kABWorkLabel;
  }
};

std::optional<Grouped> grouped(const std::string& key) {
  for (auto [prefix, label] :
       {std::pair{"Home ", &kABHomeLabel}, std::pair{"Work ", &kABWorkLabel}, std::pair{"Other ", &kABOtherLabel}}) {
    std::string p = prefix;
    if (key.rfind(p, 0) == 0) return Grouped{label, key.substr(p.size())};
  }
  return std::nullopt;
}

// Rewrites every designated entry, or appends one when none is.
void rewriteList(ABPerson& person, const std::string& property,
                 const std::function<bool(const ABMultiValue::Entry&)>& designated,
                 const std::function<ABMultiValue::Entry(const ABMultiValue::Entry*)>& rewritten, bool removeFirst) {
  ABMultiValue current = person.multiValueForProperty(property).value_or(ABMultiValue());
  ABMultiValue next;
  bool found = false;
  for (const auto& entry : current.entries()) {
    if (designated(entry)) {
      found = true;
      auto fresh = rewritten(&entry);
      next.addValueWithLabel(fresh.value, fresh.label);
    } else {
      next.addValueWithLabel(entry.value, entry.label);
    }
  }
  if (!found) {
    auto fresh = rewritten(nullptr);
    next.addValueWithLabel(fresh.value, fresh.label);
  }
  if (removeFirst) person.removeValueForProperty(property);
  person.setValueForProperty(next, property);
}

}  // namespace

bool isCommittableKey(const std::string& key) {
  if (lookup(kSingles, key) || lookup(kPhones, key) || lookup(kEmails, key) || lookup(kUrls, key) ||
      lookup(kRelated, key) || lookup(kSocial, key))
    return true;
  if (auto group = grouped(key)) return lookup(kAddressParts, group->rest) || lookup(kServices, group->rest);
  return false;
}

CommitResult applyRecordValue(ABPerson& person, const std::string& key, const RecordValue& value) {
  CommitResult result;
  if (!isCommittableKey(key)) {
    result.error = "\"" + key + "\" cannot be stored in the address book";
    return result;
  }
  if (key == "Birthday") {
    std::optional<ABDate> date;
    if (const auto* d = std::get_if<ABDate>(&value)) date = *d;
    if (const auto* text = std::get_if<std::string>(&value)) date = ABDate::fromIsoString(*text);
    if (!date) {
      result.error = "the birthday must be a date written as YYYY-MM-DD";
      return result;
    }
    person.setValueForProperty(*date, kABBirthdayProperty);
    result.ok = true;
    return result;
  }
  const auto* textValue = std::get_if<std::string>(&value);
  if (!textValue) {
    result.error = "\"" + key + "\" takes text";
    return result;
  }
  const std::string& text = *textValue;
  result.ok = true;

  if (const std::string* property = lookup(kSingles, key)) {
    person.setValueForProperty(text, *property);
    return result;
  }
  auto labelled = [&](const std::string& property, const std::string& label) {
    rewriteList(
        person, property, [&](const ABMultiValue::Entry& e) { return e.label == label; },
        [&](const ABMultiValue::Entry*) {
          return ABMultiValue::Entry{label, text};
        },
        false);
  };
  if (const std::string* label = lookup(kPhones, key)) return labelled(kABPhoneProperty, *label), result;
  if (const std::string* label = lookup(kEmails, key)) return labelled(kABEmailProperty, *label), result;
  if (const std::string* label = lookup(kUrls, key)) return labelled(kABURLsProperty, *label), result;
  if (const std::string* label = lookup(kRelated, key)) return labelled(kABRelatedNamesProperty, *label), result;
  if (const std::string* service = lookup(kSocial, key)) {
    rewriteList(
        person, kABSocialProfileProperty,
        [&](const ABMultiValue::Entry& e) {
          const auto* d = std::get_if<ABDictionary>(&e.value);
          return d && d->valueOr(kABSocialProfileServiceKey) == *service;
        },
        [&](const ABMultiValue::Entry*) {
          return ABMultiValue::Entry{
              kABHomeLabel, ABDictionary{{kABSocialProfileUsernameKey, text}, {kABSocialProfileServiceKey, *service}}};
        },
        true);
    return result;
  }
  auto group = grouped(key);
  if (const std::string* component = lookup(kAddressParts, group->rest)) {
    const std::string& newLabel = group->newLabel == &kABOtherLabel ? kABOtherLabel : *group->newLabel;
    rewriteList(
        person, kABAddressProperty,
        [&](const ABMultiValue::Entry& e) {
          return std::holds_alternative<ABDictionary>(e.value) && group->matches(e.label);
        },
        [&](const ABMultiValue::Entry* old) {
          ABDictionary address = old ? std::get<ABDictionary>(old->value) : ABDictionary();
          address.set(*component, text);
          return ABMultiValue::Entry{old ? old->label : newLabel, address};
        },
        false);
    return result;
  }
  const std::string* service = lookup(kServices, group->rest);
  rewriteList(
      person, kABInstantMessageProperty,
      [&](const ABMultiValue::Entry& e) {
        const auto* d = std::get_if<ABDictionary>(&e.value);
        return d && group->matches(e.label) && d->valueOr(kABInstantMessageServiceKey) == *service;
      },
      [&](const ABMultiValue::Entry*) {
        return ABMultiValue::Entry{*group->newLabel, ABDictionary{{kABInstantMessageServiceKey, *service},
                                                                  {kABInstantMessageUsernameKey, text}}};
      },
      true);
  return result;
}

CommitResult commitContactsToAddressBookCommitValueWithPerson(const std::string& key, const RecordValue& value,
                                                              const ABPersonRef& person, ABAddressBook& book) {
  CommitResult result = applyRecordValue(*person, key, value);
  if (!result.ok) return result;
  std::string error;
  if (!book.addRecord(person, &error) || !book.save(&error)) {
    result.ok = false;
    result.error = error;
  }
  return result;
}

ABPersonRef personFromRecord(const ContactRecord& record) {
  auto person = ABPerson::create();
  for (const auto& [key, value] : record.entries())
    if (isCommittableKey(key)) applyRecordValue(*person, key, value);
  return person;
}

}  // namespace ContactCommit
