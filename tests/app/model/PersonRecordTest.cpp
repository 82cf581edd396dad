#include <gtest/gtest.h>

#include <algorithm>

#include "app/model/AllInfoColumns.h"
#include "app/model/IndexGrouping.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

ABMultiValue list(std::vector<std::pair<std::string, ABMultiValueItem>> entries) {
  ABMultiValue multi;
  for (auto& [label, value] : entries) multi.addValueWithLabel(value, label);
  return multi;
}

}  // namespace

TEST(PersonRecordTest, ACompanyOnlyPersonHasThreeKeys) {
  auto person = ABPerson::create();
  person->setValueForProperty(std::string("Acme"), kABOrganizationProperty);
  person->setValueForProperty(std::int64_t{1}, kABPersonFlags);
  auto record = prasePerson(person);
  EXPECT_EQ(record.keys(), (std::vector<std::string>{"Person", "Company", "FullName"}));
  EXPECT_EQ(record.text("FullName"), "(null)(null)");
  EXPECT_EQ(record.person(), person);
}

TEST(PersonRecordTest, SingleValuesAndFullName) {
  auto person = ABPerson::create();
  person->setValueForProperty(std::string("Lee"), kABLastNameProperty);
  person->setValueForProperty(std::string("Dr"), kABTitleProperty);
  person->setValueForProperty(ABDate{1990, 4, 1}, kABBirthdayProperty);
  person->setValueForProperty(std::string("Sales"), kABDepartmentProperty);
  auto record = prasePerson(person);
  EXPECT_EQ(record.text("FullName"), "(null)Lee");
  EXPECT_EQ(record.text("Preffix"), "Dr");
  EXPECT_EQ(std::get<ABDate>(*record.find("Birthday")), (ABDate{1990, 4, 1}));
  EXPECT_EQ(record.text("Department"), "Sales");
  auto review = prasePersonForReview(person);
  EXPECT_FALSE(review.contains("FullName"));
  EXPECT_FALSE(review.contains("Preffix"));
  EXPECT_TRUE(review.contains("Last Name"));
}

TEST(PersonRecordTest, ListsMapByLabelAndTheLastValueWins) {
  auto person = ABPerson::create();
  person->setValueForProperty(list({{kABHomeLabel, std::string("h1@x.org")},
                                    {kABHomeLabel, std::string("h2@x.org")},
                                    {"custom", std::string("c@x.org")}}),
                              kABEmailProperty);
  person->setValueForProperty(list({{kABPhoneMobileLabel, std::string("1")},
                                    {"custom", std::string("2")},
                                    {kABPhoneWorkFAXLabel, std::string("3")}}),
                              kABPhoneProperty);
  person->setValueForProperty(list({{kABHomePageLabel, std::string("http://h")}, {"blog", std::string("http://b")}}),
                              kABURLsProperty);
  person->setValueForProperty(
      list({{kABWorkLabel, ABDictionary{{kABAddressCityKey, "Oslo"}}},
            {"summer", ABDictionary{{kABAddressStreetKey, "1 Beach"}, {kABAddressCountryCodeKey, "no"}}}}),
      kABAddressProperty);
  person->setValueForProperty(list({{kABMotherLabel, std::string("Mum")}, {"aunt", std::string("Ann")}}),
                              kABRelatedNamesProperty);
  auto record = prasePerson(person);
  EXPECT_EQ(record.text("Home Email"), "h2@x.org");
  EXPECT_EQ(record.text("Other Email"), "c@x.org");
  EXPECT_EQ(record.text("Mobile"), "1");
  EXPECT_EQ(record.text("Work Fax"), "3");
  EXPECT_EQ(record.text("Home Page"), "http://h");
  EXPECT_EQ(record.text("Work City"), "Oslo");
  EXPECT_FALSE(record.contains("Work Street")) << "only the components the address has";
  EXPECT_EQ(record.text("Other Street"), "1 Beach");
  EXPECT_EQ(record.text("Other Country Code"), "no");
  EXPECT_EQ(record.text("Mother"), "Mum");
  EXPECT_EQ(record.size(), 11u) << "custom phones, URLs and related names are dropped";
}

TEST(PersonRecordTest, InstantMessagingAndSocialProfiles) {
  auto person = ABPerson::create();
  person->setValueForProperty(
      list({{kABHomeLabel,
             ABDictionary{{kABInstantMessageServiceKey, "SkypeInstant"}, {kABInstantMessageUsernameKey, "s"}}},
            {"x", ABDictionary{{kABInstantMessageServiceKey, "QQInstant"}, {kABInstantMessageUsernameKey, "q"}}},
            {kABWorkLabel, ABDictionary{{kABInstantMessageServiceKey, "Unknown"}, {kABInstantMessageUsernameKey, "u"}}},
            {kABWorkLabel, ABDictionary{{kABInstantMessageServiceKey, "AIMInstant"}}}}),
      kABInstantMessageProperty);
  person->setValueForProperty(
      list({{kABHomeLabel, ABDictionary{{kABSocialProfileServiceKey, "MySpace"}, {kABSocialProfileUsernameKey, "m"}}},
            {kABWorkLabel, ABDictionary{{kABSocialProfileServiceKey, "Twitter"}, {kABSocialProfileUsernameKey, "t"}}}}),
      kABSocialProfileProperty);
  auto record = prasePerson(person);
  EXPECT_EQ(record.text("Home Skype"), "s");
  EXPECT_EQ(record.text("Other QQ"), "q");
  EXPECT_EQ(record.text("Myspace"), "m");
  EXPECT_FALSE(record.contains("Twitter")) << "only home-labelled profiles";
  EXPECT_FALSE(record.contains("Work AIM")) << "no user name";
}

// A person with a value for every key: each value is the text of the key it must land under, so a
// key spelt differently here and in the all-info column list shows up.
TEST(PersonRecordTest, EveryKeyOfTheVocabulary) {
  auto person = ABPerson::create();
  const std::vector<std::pair<std::string, std::string>> singles = {
      {kABFirstNameProperty, "First Name"},
      {kABLastNameProperty, "Last Name"},
      {kABFirstNamePhoneticProperty, "Phonetic First Name"},
      {kABLastNamePhoneticProperty, "Phonetic Last Name"},
      {kABDepartmentProperty, "Department"},
      {kABNoteProperty, "Note"},
      {kABSuffixProperty, "Suffix"},
      {kABTitleProperty, "Preffix"},
      {kABJobTitleProperty, "Job Title"},
      {kABNicknameProperty, "Nickname"},
      {kABMaidenNameProperty, "Maiden Name"},
      {kABMiddleNameProperty, "Middle Name"},
      {kABOrganizationProperty, "Company"}};
  for (const auto& [property, key] : singles) person->setValueForProperty(key, property);
  person->setValueForProperty(ABDate{1980, 2, 29}, kABBirthdayProperty);
  person->setValueForProperty(list({{kABHomeLabel, std::string("Home Email")},
                                    {kABWorkLabel, std::string("Work Email")},
                                    {kABOtherLabel, std::string("Other Email")}}),
                              kABEmailProperty);
  person->setValueForProperty(list({{kABHomeLabel, std::string("Home URL")},
                                    {kABWorkLabel, std::string("Work URL")},
                                    {kABHomePageLabel, std::string("Home Page")}}),
                              kABURLsProperty);
  person->setValueForProperty(list({{kABPhoneMobileLabel, std::string("Mobile")},
                                    {kABPhoneiPhoneLabel, std::string("iPhone")},
                                    {kABPhoneMainLabel, std::string("Main Phone")},
                                    {kABPhoneHomeFAXLabel, std::string("Home Fax")},
                                    {kABPhoneWorkFAXLabel, std::string("Work Fax")},
                                    {kABPhonePagerLabel, std::string("Pager")},
                                    {kABPhoneWorkLabel, std::string("Work Phone")},
                                    {kABPhoneHomeLabel, std::string("Home Phone")}}),
                              kABPhoneProperty);
  ABMultiValue addresses, accounts;
  const std::vector<std::pair<std::string, std::string>> places = {
      {kABHomeLabel, "Home "}, {kABWorkLabel, "Work "}, {kABOtherLabel, "Other "}};
  for (const auto& [label, prefix] : places) {
    ABDictionary address;
    for (const auto& [component, suffix] :
         std::vector<std::pair<std::string, std::string>>{{kABAddressStreetKey, "Street"},
                                                          {kABAddressCityKey, "City"},
                                                          {kABAddressStateKey, "State"},
                                                          {kABAddressZIPKey, "ZIP"},
                                                          {kABAddressCountryKey, "Country"},
                                                          {kABAddressCountryCodeKey, "Country Code"}})
      address.set(component, prefix + suffix);
    addresses.addValueWithLabel(address, label);
    for (const auto& [service, suffix] :
         std::vector<std::pair<std::string, std::string>>{{"AIMInstant", "AIM"},
                                                          {"QQInstant", "QQ"},
                                                          {"GoogleTalkInstant", "Google Talk"},
                                                          {"GaduGaduInstant", "Gadu-Gadu"},
                                                          {"JabberInstant", "Jabber"},
                                                          {"MSNInstant", "MSN"},
                                                          {"FacebookInstant", "Facebook"},
                                                          {"SkypeInstant", "Skype"},
                                                          {"YahooInstant", "Yahoo"},
                                                          {"ICQInstant", "ICQ"}})
      accounts.addValueWithLabel(
          ABDictionary{{kABInstantMessageServiceKey, service}, {kABInstantMessageUsernameKey, prefix + suffix}}, label);
  }
  person->setValueForProperty(addresses, kABAddressProperty);
  person->setValueForProperty(accounts, kABInstantMessageProperty);
  ABMultiValue related, profiles;
  for (const auto& [label, key] : std::vector<std::pair<std::string, std::string>>{{kABFatherLabel, "Father"},
                                                                                   {kABMotherLabel, "Mother"},
                                                                                   {kABParentLabel, "Parent"},
                                                                                   {kABBrotherLabel, "Brother"},
                                                                                   {kABSisterLabel, "Sister"},
                                                                                   {kABChildLabel, "Child"},
                                                                                   {kABFriendLabel, "Friend"},
                                                                                   {kABSpouseLabel, "Spouse"},
                                                                                   {kABPartnerLabel, "Partner"},
                                                                                   {kABAssistantLabel, "Assistant"},
                                                                                   {kABManagerLabel, "Manager"}})
    related.addValueWithLabel(key, label);
  for (const auto& [service, key] : std::vector<std::pair<std::string, std::string>>{{"Twitter", "Twitter"},
                                                                                     {"Facebook", "Facebook"},
                                                                                     {"MySpace", "Myspace"},
                                                                                     {"Flickr", "Flickr"},
                                                                                     {"LinkedIn", "LinkedIn"}})
    profiles.addValueWithLabel(ABDictionary{{kABSocialProfileServiceKey, service}, {kABSocialProfileUsernameKey, key}},
                               kABHomeLabel);
  person->setValueForProperty(related, kABRelatedNamesProperty);
  person->setValueForProperty(profiles, kABSocialProfileProperty);

  auto record = prasePerson(person);
  std::vector<std::string> expected = AllInfoColumns::base();
  expected.insert(expected.end(), {"Person", "Preffix", "Phonetic First Name", "Phonetic Last Name"});
  auto keys = record.keys();
  std::sort(keys.begin(), keys.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(keys, expected);
  for (const auto& key : AllInfoColumns::csv()) {
    if (key == "Birthday" || key == "FullName") continue;
    EXPECT_EQ(record.text(key), key);
  }
  EXPECT_EQ(record.text("Preffix"), "Preffix");
  EXPECT_EQ(record.text("Birthday"), "1980-02-29");
  EXPECT_EQ(record.text("FullName"), "First NameLast Name");
}

TEST(PersonRecordTest, RecordsOfAStoreKeepStoreOrder) {
  auto book = ABAddressBook::inMemory();
  for (int i = 0; i < 3000; ++i) {
    auto person = ABPerson::create();
    person->setValueForProperty(std::to_string(i), kABFirstNameProperty);
    book->addRecord(person);
  }
  auto records = recordsOfAddressBook(*book);
  ASSERT_EQ(records.size(), 3000u);
  for (int i = 0; i < 3000; i += 499) EXPECT_EQ(records[i].text("First Name"), std::to_string(i));
}

TEST(AllInfoColumnsTest, ListsAndVariants) {
  const auto& base = AllInfoColumns::base();
  ASSERT_EQ(base.size(), 90u);
  EXPECT_EQ(base.front(), "First Name");
  EXPECT_EQ(base.back(), "Manager");
  EXPECT_EQ(base[13], "Home Street");
  EXPECT_EQ(base[31], "Home AIM");
  const auto& csv = AllInfoColumns::csv();
  ASSERT_EQ(csv.size(), 92u);
  auto maiden = std::find(csv.begin(), csv.end(), "Maiden Name");
  EXPECT_EQ(*(maiden + 1), "Phonetic First Name");
  EXPECT_EQ(*(maiden + 2), "Phonetic Last Name");
  EXPECT_EQ(*(maiden + 3), "Middle Name");
  const auto& sheet = AllInfoColumns::spreadsheet();
  ASSERT_EQ(sheet.size(), 92u);
  EXPECT_EQ(sheet[90], "Maiden Name");
  EXPECT_EQ(sheet[91], "Middle Name");
  EXPECT_EQ(sheet[72], "Maiden Name");
}

TEST(IndexGroupingTest, KeepsCallOrder) {
  IndexGrouping grouping;
  grouping.setIndexForName(0, "A");
  grouping.setIndexForName(3, "A");
  grouping.setIndexForName(1, "B");
  EXPECT_EQ(*grouping.indexesForName("A"), (std::vector<int>{0, 3}));
  EXPECT_EQ(*grouping.indexesForName("B"), (std::vector<int>{1}));
  EXPECT_FALSE(grouping.indexesForName("C"));
  EXPECT_EQ(grouping.names(), (std::vector<std::string>{"A", "B"}));
}
