#include <gtest/gtest.h>

#include <algorithm>

#include "app/model/IndexGrouping.h"
#include "app/model/PersonRecord.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordKeys.h"
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

// Over the record-key table: a person holding one value where the table places a key reads back
// with that value under that key and under no other.
TEST(PersonRecordTest, EveryKeyIsReadFromWhereTheTablePlacesIt) {
  using RecordKeys::Family;
  for (const auto& row : RecordKeys::all()) {
    if (!RecordKeys::isStored(row)) continue;
    SCOPED_TRACE(row.key);
    auto person = ABPerson::create();
    const std::string value = "value of " + row.key;
    switch (row.family) {
      case Family::Single:
        person->setValueForProperty(value, *row.property);
        break;
      case Family::Birthday:
        person->setValueForProperty(ABDate{1980, 2, 29}, *row.property);
        break;
      case Family::Labelled:
        person->setValueForProperty(list({{*row.label, value}}), *row.property);
        break;
      case Family::AddressPart:
        person->setValueForProperty(list({{*row.label, ABDictionary{{*row.part, value}}}}), *row.property);
        break;
      case Family::Instant:
        person->setValueForProperty(list({{*row.label, ABDictionary{{kABInstantMessageServiceKey, *row.part},
                                                                    {kABInstantMessageUsernameKey, value}}}}),
                                    *row.property);
        break;
      case Family::Social:
        person->setValueForProperty(list({{*row.label, ABDictionary{{kABSocialProfileServiceKey, *row.part},
                                                                    {kABSocialProfileUsernameKey, value}}}}),
                                    *row.property);
        break;
      case Family::FullName:
        break;
    }
    auto record = prasePerson(person);
    std::vector<std::string> keys = record.keys();
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> expected = {"FullName", "Person", row.key};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(record.text(row.key), row.family == Family::Birthday ? "1980-02-29" : value);
  }
}

// The heading lists hold keys of the table only, each once; those left out are the ones no
// all-information export shows.
TEST(AllInfoColumnsTest, HeadingsAreKeysOfTheTable) {
  for (const auto* headings : {&AllInfoColumns::base(), &AllInfoColumns::csv()}) {
    std::vector<std::string> sorted = *headings;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    for (const auto& heading : *headings) EXPECT_TRUE(RecordKeys::find(heading)) << heading;
  }
  std::vector<std::string> missing;
  for (const auto& row : RecordKeys::all())
    if (std::find(AllInfoColumns::base().begin(), AllInfoColumns::base().end(), row.key) ==
        AllInfoColumns::base().end())
      missing.push_back(row.key);
  EXPECT_EQ(missing, (std::vector<std::string>{"Phonetic First Name", "Phonetic Last Name", "Preffix"}));
}

TEST(ContactRecordDates, ABirthdayWithoutAYearIsShownAndReadAsMonthAndDay) {
  ContactRecord record;
  record.set("Birthday", ABDate{1604, 2, 29});
  EXPECT_EQ(record.text("Birthday"), "--02-29");
  EXPECT_EQ(ContactRecord::dateText(ABDate{1604, 12, 1}), "--12-01");
  EXPECT_EQ(ContactRecord::dateText(ABDate{1603, 12, 1}), "1603-12-01");
  EXPECT_EQ(ContactRecord::dateFromText("--02-29"), (ABDate{1604, 2, 29}));
  EXPECT_EQ(ContactRecord::dateFromText("--0229"), (ABDate{1604, 2, 29}));
  EXPECT_EQ(ContactRecord::dateFromText("1990-04-01"), (ABDate{1990, 4, 1}));
  EXPECT_FALSE(ContactRecord::dateFromText("--02-30"));
  EXPECT_FALSE(ContactRecord::dateFromText("--2-3"));
  EXPECT_FALSE(ContactRecord::dateFromText("--02-29x"));
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
