#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/model/IndexGrouping.h"
#include "app/model/PersonRecord.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/PersonCodec.h"

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
  // A missing part of the name is never shown as "(null)": the name shown is the company's.
  EXPECT_EQ(record.text("FullName"), "Acme");
  EXPECT_EQ(record.person(), person);
}

TEST(PersonRecordTest, SingleValuesAndFullName) {
  auto person = ABPerson::create();
  person->setValueForProperty(std::string("Lee"), kABLastNameProperty);
  person->setValueForProperty(std::string("Dr"), kABTitleProperty);
  person->setValueForProperty(ABDate{1990, 4, 1}, kABBirthdayProperty);
  person->setValueForProperty(std::string("Sales"), kABDepartmentProperty);
  auto record = prasePerson(person);
  EXPECT_EQ(record.text("FullName"), "Lee");
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

namespace {

// A person holding a value under every key of the record-key table, and entries the record does
// not show (other labels, profiles not under the home label, accounts without a user name).
ABPersonData personWithEveryKey() {
  using RecordKeys::Family;
  ABPersonData data;
  std::map<std::string, ABMultiValue> lists;
  for (const auto& row : RecordKeys::all()) {
    const std::string value = "value of " + row.key + " & ü";
    switch (row.family) {
      case Family::Single:
        data.set(*row.property, value);
        break;
      case Family::Birthday:
        data.set(*row.property, ABDate{1604, 2, 29});
        break;
      case Family::Labelled:
        lists[*row.property].addValueWithLabel(value, *row.label);
        break;
      case Family::AddressPart:
        lists[*row.property].addValueWithLabel(ABDictionary{{*row.part, value}}, *row.label);
        break;
      case Family::Instant:
        lists[*row.property].addValueWithLabel(
            ABDictionary{{kABInstantMessageServiceKey, *row.part}, {kABInstantMessageUsernameKey, value}}, *row.label);
        break;
      case Family::Social:
        lists[*row.property].addValueWithLabel(
            ABDictionary{{kABSocialProfileServiceKey, *row.part}, {kABSocialProfileUsernameKey, value}}, *row.label);
        break;
      case Family::FullName:
        break;
    }
  }
  lists[kABEmailProperty].addValueWithLabel(std::string("later@x.org"), kABHomeLabel);
  lists[kABPhoneProperty].addValueWithLabel(std::string("9"), "custom");
  lists[kABPhoneProperty].setParametersAtIndex(0, ";TYPE=VOICE");
  lists[kABAddressProperty].addValueWithLabel(ABDictionary{{kABAddressCityKey, "Bergen"}, {"extra", "x"}}, "summer");
  lists[kABSocialProfileProperty].addValueWithLabel(
      ABDictionary{{kABSocialProfileServiceKey, kABSocialProfileServiceTwitter}, {kABSocialProfileUsernameKey, "w"}},
      kABWorkLabel);
  lists[kABInstantMessageProperty].addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, "AIMInstant"}},
                                                     kABWorkLabel);
  lists[kABInstantMessageProperty].addValueWithLabel(std::string("text where accounts are dictionaries"), kABHomeLabel);
  for (auto& [property, list] : lists) data.set(property, std::move(list));
  data.set(kABPersonFlags, std::int64_t{7});
  data.set("Image", ABBytes{1, 2, 3});
  return data;
}

// The values after an encoding's version and count (one byte each for a one-value person).
std::string valuesOf(const ABPersonData& data) {
  return PersonCodec::encode(data).substr(2);
}

// Checks that the record read in place from the encoding is the record of the decoded person, key
// for key in the same order, and that both refuse the same damaged encodings.
void expectSameRecordInPlace(std::string_view encoded) {
  const auto decoded = PersonCodec::decode(encoded);
  ContactRecord inPlace;
  inPlace.set("Left", std::string_view("over"));
  const bool read = recordOfEncodedInto(inPlace, encoded);
  ASSERT_EQ(read, decoded.has_value());
  if (!read) {
    EXPECT_TRUE(inPlace.empty());
    return;
  }
  const ContactRecord expected = recordOfValues(*decoded);
  EXPECT_EQ(inPlace.keys(), expected.keys());
  for (const auto& key : expected.keys()) EXPECT_EQ(inPlace.text(key), expected.text(key)) << key;
  EXPECT_TRUE(inPlace == expected);
}

}  // namespace

TEST(PersonRecordTest, ARecordReadInPlaceFromTheStoredFormIsTheRecordOfTheDecodedPerson) {
  const ABPersonData every = personWithEveryKey();
  {
    SCOPED_TRACE("every key");
    expectSameRecordInPlace(PersonCodec::encode(every));
    ContactRecord record;
    ASSERT_TRUE(recordOfEncodedInto(record, PersonCodec::encode(every)));
    EXPECT_EQ(record.text("Home Email"), "later@x.org") << "the last entry of a key wins";
    EXPECT_EQ(record.text("Birthday"), "--02-29");
    EXPECT_EQ(record.size(), RecordKeys::all().size());
  }
  {
    SCOPED_TRACE("an empty person");
    expectSameRecordInPlace(PersonCodec::encode(ABPersonData()));
  }
  {
    // The store never writes a property twice, but a row written by another program may: the
    // decoded person holds the value written last, whatever its kind.
    SCOPED_TRACE("a property written twice");
    ABPersonData firstName, secondName, emails, emailText, birthdayText;
    firstName.set(kABFirstNameProperty, std::string("Ann"));
    secondName.set(kABFirstNameProperty, std::string("Bea"));
    emails.set(kABEmailProperty, *every.multiValue(kABEmailProperty));
    emailText.set(kABEmailProperty, std::string("not a list"));
    birthdayText.set(kABBirthdayProperty, std::string("spring"));
    const std::string twice = std::string("\x02\x06") + valuesOf(firstName) + valuesOf(emails) +
                              valuesOf(birthdayText) + valuesOf(secondName) + valuesOf(emailText) + valuesOf(firstName);
    expectSameRecordInPlace(twice);
    expectSameRecordInPlace(std::string("\x02\x02") + valuesOf(emailText) + valuesOf(emails));
  }
  {
    SCOPED_TRACE("a component written twice");
    ABPersonData address;
    address.set(
        kABAddressProperty,
        list({{kABHomeLabel,
               ABDictionary{{kABAddressCityKey, "Oslo"}, {"Xity", "Bergen"}, {kABAddressStreetKey, "1 Road"}}}}));
    std::string encoded = PersonCodec::encode(address);
    encoded.replace(encoded.find("Xity"), 4, kABAddressCityKey);
    expectSameRecordInPlace(encoded);
    ContactRecord record;
    ASSERT_TRUE(recordOfEncodedInto(record, encoded));
    EXPECT_EQ(record.text("Home City"), "Bergen");
  }
}

// Damaged rows: every cut and every changed byte of an encoding is refused exactly when decoding
// refuses it, and read like the decoded person otherwise.
TEST(PersonRecordTest, ARecordReadInPlaceRefusesWhatDecodingRefuses) {
  const std::string encoded = PersonCodec::encode(personWithEveryKey());
  for (size_t size = 0; size < encoded.size(); size += 7) {
    SCOPED_TRACE("cut at " + std::to_string(size));
    expectSameRecordInPlace(std::string_view(encoded).substr(0, size));
  }
  for (size_t at = 0; at < encoded.size(); at += 3) {
    for (const unsigned char byte : {0x00, 0x01, 0x04, 0x7F, 0x80, 0xFF}) {
      std::string changed = encoded;
      changed[at] = static_cast<char>(byte);
      SCOPED_TRACE("byte " + std::to_string(at) + " made " + std::to_string(byte));
      expectSameRecordInPlace(changed);
      if (testing::Test::HasFailure()) return;
    }
  }
}
