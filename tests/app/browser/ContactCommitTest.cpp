#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "app/browser/ContactCommit.h"
#include "app/model/AllInfoColumns.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

using namespace ContactCommit;

namespace {

std::vector<std::string> entries(const ABPerson& person, const std::string& property) {
  std::vector<std::string> out;
  if (auto list = person.multiValueForProperty(property)) {
    for (const auto& entry : list->entries()) {
      std::string value;
      if (const auto* text = std::get_if<std::string>(&entry.value)) value = *text;
      for (const auto& [k, v] : std::get_if<ABDictionary>(&entry.value) ? std::get<ABDictionary>(entry.value).entries()
                                                                        : std::vector<ABDictionary::Entry>{})
        value += k + ":" + v + ";";
      out.push_back(entry.label + "=" + value);
    }
  }
  return out;
}

}  // namespace

TEST(ContactCommitTest, LabelledListsAreRewrittenInPlaceOrAppended) {
  auto person = ABPerson::create();
  ABMultiValue phones;
  phones.addValueWithLabel(std::string("111"), kABPhoneMobileLabel);
  phones.addValueWithLabel(std::string("222"), kABPhoneWorkLabel);
  person->setValueForProperty(phones, kABPhoneProperty);
  EXPECT_TRUE(applyRecordValue(*person, "Mobile", std::string("999")).ok);
  EXPECT_TRUE(applyRecordValue(*person, "Pager", std::string("333")).ok);
  EXPECT_EQ(entries(*person, kABPhoneProperty),
            (std::vector<std::string>{kABPhoneMobileLabel + "=999", kABPhoneWorkLabel + "=222",
                                      kABPhonePagerLabel + "=333"}));
  EXPECT_TRUE(applyRecordValue(*person, "Home Email", std::string("a@x.org")).ok);
  EXPECT_EQ(entries(*person, kABEmailProperty), (std::vector<std::string>{kABHomeLabel + "=a@x.org"}));
}

TEST(ContactCommitTest, AddressesKeepTheirOtherComponents) {
  auto person = ABPerson::create();
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}}, kABHomeLabel);
  person->setValueForProperty(addresses, kABAddressProperty);
  applyRecordValue(*person, "Home Street", std::string("2 Side"));
  applyRecordValue(*person, "Work City", std::string("Bergen"));
  EXPECT_EQ(entries(*person, kABAddressProperty),
            (std::vector<std::string>{kABHomeLabel + "=Street:2 Side;City:Oslo;", kABWorkLabel + "=City:Bergen;"}));
}

TEST(ContactCommitTest, InstantMessagingAndSocialProfiles) {
  auto person = ABPerson::create();
  ABMultiValue im;
  im.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, "SkypeInstant"}, {kABInstantMessageUsernameKey, "h"}},
                       kABHomeLabel);
  im.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, "AIMInstant"}, {kABInstantMessageUsernameKey, "w"}},
                       kABWorkLabel);
  person->setValueForProperty(im, kABInstantMessageProperty);
  ABMultiValue social;
  social.addValueWithLabel(ABDictionary{{kABSocialProfileServiceKey, "Twitter"}, {kABSocialProfileUsernameKey, "old"}},
                           kABWorkLabel);
  person->setValueForProperty(social, kABSocialProfileProperty);
  applyRecordValue(*person, "Work Skype", std::string("ws"));
  applyRecordValue(*person, "Twitter", std::string("new"));
  auto record = prasePerson(std::shared_ptr<ABPerson>(person));
  EXPECT_EQ(record.text("Home Skype"), "h");
  EXPECT_EQ(record.text("Work AIM"), "w");
  EXPECT_EQ(record.text("Work Skype"), "ws");
  EXPECT_EQ(record.text("Twitter"), "new") << "rewritten with the home label";
  EXPECT_EQ(person->multiValueForProperty(kABSocialProfileProperty)->count(), 1u);
}

TEST(ContactCommitTest, DepartmentIsStoredButFullNameAndBadBirthdaysAreRefused) {
  auto book = ABAddressBook::inMemory();
  auto person = ABPerson::create();
  book->addRecord(person);
  EXPECT_TRUE(commitContactsToAddressBookCommitValueWithPerson("Department", std::string("Sales"), person, *book).ok);
  EXPECT_EQ(person->stringForProperty(kABDepartmentProperty), "Sales");
  auto fullName = commitContactsToAddressBookCommitValueWithPerson("FullName", std::string("x"), person, *book);
  EXPECT_FALSE(fullName.ok);
  EXPECT_FALSE(fullName.error.empty());
  auto version = person->version();
  auto birthday = commitContactsToAddressBookCommitValueWithPerson("Birthday", std::string("next week"), person, *book);
  EXPECT_FALSE(birthday.ok);
  EXPECT_NE(birthday.error.find("YYYY-MM-DD"), std::string::npos);
  EXPECT_EQ(person->version(), version) << "nothing changed";
  EXPECT_TRUE(
      commitContactsToAddressBookCommitValueWithPerson("Birthday", std::string("1990-04-01"), person, *book).ok);
  EXPECT_EQ(std::get<ABDate>(person->valueForProperty(kABBirthdayProperty)), (ABDate{1990, 4, 1}));
  EXPECT_FALSE(book->hasUnsavedChanges());
}

TEST(ContactCommitTest, AFailedSavePutsTheStoreBackSoTheEditIsNotWrittenLater) {
  const auto dir = std::filesystem::temp_directory_path() / ("rolvane-commit-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto path = dir / "AddressBook.sqlite";
  auto book = ABAddressBook::open(path);
  ASSERT_TRUE(book);
  auto ann = ABPerson::create();
  ann->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
  ASSERT_TRUE(book->addRecord(ann));
  ASSERT_TRUE(book->save());
  const std::string uid = *ann->stringForProperty(kABUIDProperty);

  // Another program makes the file refuse every write.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(other, "CREATE TRIGGER refuse BEFORE INSERT ON persons BEGIN SELECT RAISE(ABORT, 'read only'); END;",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  auto refused = commitContactsToAddressBookCommitValueWithPerson("First Name", std::string("Anna"), ann, *book);
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(refused.reverted);
  EXPECT_FALSE(book->hasUnsavedChanges());
  EXPECT_EQ(book->recordForUniqueId(uid)->stringForProperty(kABFirstNameProperty), "Ann");

  // Once the file takes writes again, the next edit saves only itself.
  ASSERT_EQ(sqlite3_exec(other, "DROP TRIGGER refuse;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(other);
  auto fresh = book->recordForUniqueId(uid);
  ASSERT_TRUE(commitContactsToAddressBookCommitValueWithPerson("Nickname", std::string("An"), fresh, *book).ok);
  book.reset();
  auto reopened = ABAddressBook::open(path);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->recordForUniqueId(uid)->stringForProperty(kABFirstNameProperty), "Ann");
  EXPECT_EQ(reopened->recordForUniqueId(uid)->stringForProperty(kABNicknameProperty), "An");
  reopened.reset();
  std::filesystem::remove_all(dir);
}

TEST(ContactCommitTest, APersonBuiltFromARecordCarriesEveryStorableKey) {
  auto original = ABPerson::create();
  for (auto [property, value] : {std::pair{kABFirstNameProperty, "Ann"}, std::pair{kABNicknameProperty, "An"},
                                 std::pair{kABDepartmentProperty, "Ops"}, std::pair{kABTitleProperty, "Dr"}})
    original->setValueForProperty(std::string(value), property);
  ABMultiValue emails;
  emails.addValueWithLabel(std::string("o@x.org"), kABOtherLabel);
  original->setValueForProperty(emails, kABEmailProperty);
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}, {kABAddressCountryCodeKey, "no"}},
                              kABOtherLabel);
  original->setValueForProperty(addresses, kABAddressProperty);
  auto record = prasePerson(original);
  auto rebuilt = prasePerson(personFromRecord(record));
  record.remove("Person");
  rebuilt.remove("Person");
  EXPECT_EQ(rebuilt, record);
}

TEST(ContactCommitTest, EveryColumnButTheFullNameIsStorable) {
  for (const auto& heading : AllInfoColumns::csv())
    EXPECT_EQ(isCommittableKey(heading), heading != "FullName") << heading;
  EXPECT_TRUE(isCommittableKey("Preffix"));
  for (const char* key : {"Person", "", "Home ", "Other Foo", "home email", "Email"})
    EXPECT_FALSE(isCommittableKey(key)) << key;
}
