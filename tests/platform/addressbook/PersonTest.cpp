#include <gtest/gtest.h>

#include <thread>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABPerson.h"

TEST(PersonTest, ValuesAreNilUntilSetAndAfterRemoval) {
  auto person = ABPerson::create();
  EXPECT_TRUE(isNil(person->valueForProperty(kABFirstNameProperty)));
  EXPECT_TRUE(person->setValueForProperty(std::string("Ann"), kABFirstNameProperty));
  EXPECT_EQ(person->stringForProperty(kABFirstNameProperty), "Ann");
  EXPECT_TRUE(person->setValueForProperty(std::string(""), kABLastNameProperty));
  EXPECT_EQ(person->stringForProperty(kABLastNameProperty), "") << "an empty text is a value";
  EXPECT_TRUE(person->removeValueForProperty(kABFirstNameProperty));
  EXPECT_FALSE(person->stringForProperty(kABFirstNameProperty));
  EXPECT_TRUE(person->removeValueForProperty(kABFirstNameProperty)) << "removing an absent value succeeds";
}

TEST(PersonTest, UniqueIdIsSetAndCannotBeChanged) {
  auto a = ABPerson::create();
  auto b = ABPerson::create();
  EXPECT_FALSE(a->uniqueId().empty());
  EXPECT_NE(a->uniqueId(), b->uniqueId());
  std::string before = a->uniqueId();
  EXPECT_FALSE(a->setValueForProperty(std::string("other"), kABUIDProperty));
  EXPECT_FALSE(a->removeValueForProperty(kABUIDProperty));
  EXPECT_EQ(a->uniqueId(), before);
}

TEST(PersonTest, TypedValuesKeepTheirKind) {
  auto person = ABPerson::create();
  ABMultiValue emails;
  emails.addValueWithLabel(std::string("a@x.org"), kABHomeLabel);
  emails.addValueWithLabel(std::string("b@x.org"), "custom");
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}}, kABWorkLabel);
  person->setValueForProperty(emails, kABEmailProperty);
  person->setValueForProperty(addresses, kABAddressProperty);
  person->setValueForProperty(ABDate{1980, 2, 29}, kABBirthdayProperty);
  person->setValueForProperty(std::int64_t{1}, kABPersonFlags);
  person->setImageData({1, 2, 3});

  auto snap = person->snapshot();
  ASSERT_TRUE(snap->multiValue(kABEmailProperty));
  EXPECT_EQ(snap->multiValue(kABEmailProperty)->labelAtIndex(1), "custom");
  EXPECT_EQ(snap->multiValue(kABAddressProperty)->dictionaryAtIndex(0).valueOr(kABAddressCityKey), "Oslo");
  EXPECT_EQ(*snap->date(kABBirthdayProperty), (ABDate{1980, 2, 29}));
  EXPECT_EQ(*snap->integer(kABPersonFlags), 1);
  EXPECT_EQ(person->imageData(), (ABBytes{1, 2, 3}));
  EXPECT_FALSE(snap->string(kABEmailProperty)) << "a list is not a text";
}

TEST(PersonTest, SnapshotStaysAsItWasWhenThePersonChanges) {
  auto person = ABPerson::create();
  person->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
  auto before = person->snapshot();
  auto version = person->version();
  person->setValueForProperty(std::string("Bea"), kABFirstNameProperty);
  EXPECT_EQ(*before->string(kABFirstNameProperty), "Ann");
  EXPECT_EQ(*person->snapshot()->string(kABFirstNameProperty), "Bea");
  EXPECT_GT(person->version(), version);
}

TEST(PersonTest, ReadersOnAnotherThreadSeeWholeValues) {
  auto person = ABPerson::create();
  person->setValueForProperty(std::string("aaaa"), kABFirstNameProperty);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done) {
      auto name = person->stringForProperty(kABFirstNameProperty).value_or("");
      if (name != "aaaa" && name != "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb") ++torn;
    }
  });
  for (int i = 0; i < 20000; ++i)
    person->setValueForProperty(std::string(i % 2 ? "aaaa" : "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"),
                                kABFirstNameProperty);
  done = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

TEST(DictionaryTest, EqualityIgnoresOrderButNotKeys) {
  ABDictionary a{{"Street", "1 Main"}, {"City", "Oslo"}};
  ABDictionary b{{"City", "Oslo"}, {"Street", "1 Main"}};
  ABDictionary c{{"City", "Oslo"}};
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(a.entries().front().first, "Street") << "keys keep the order they were set in";
}

TEST(DateTest, ParsesOnlyRealDates) {
  EXPECT_EQ(ABDate::fromIsoString("1990-04-01"), (ABDate{1990, 4, 1}));
  EXPECT_EQ(ABDate::fromIsoString("19900401"), (ABDate{1990, 4, 1}));
  EXPECT_EQ(ABDate::fromIsoString("1990-04-01T10:00:00Z"), (ABDate{1990, 4, 1}));
  EXPECT_FALSE(ABDate::fromIsoString("1990-02-30"));
  EXPECT_FALSE(ABDate::fromIsoString("1900-02-29"));
  EXPECT_TRUE(ABDate::fromIsoString("2000-02-29"));
  EXPECT_FALSE(ABDate::fromIsoString("tomorrow"));
  EXPECT_EQ((ABDate{7, 3, 9}).toIsoString(), "0007-03-09");
}
