#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "app/browser/ContactCommit.h"
#include "app/model/PersonRecord.h"
#include "app/model/RecordEntries.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordKeys.h"
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
  EXPECT_TRUE(applyRecordValue(*person, "Mobile", std::string("999")).ok());
  EXPECT_TRUE(applyRecordValue(*person, "Pager", std::string("333")).ok());
  EXPECT_EQ(entries(*person, kABPhoneProperty),
            (std::vector<std::string>{kABPhoneMobileLabel + "=999", kABPhoneWorkLabel + "=222",
                                      kABPhonePagerLabel + "=333"}));
  EXPECT_TRUE(applyRecordValue(*person, "Home Email", std::string("a@x.org")).ok());
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
  EXPECT_TRUE(commitContactsToAddressBookCommitValueWithPerson("Department", std::string("Sales"), person, *book).ok());
  EXPECT_EQ(person->stringForProperty(kABDepartmentProperty), "Sales");
  auto fullName = commitContactsToAddressBookCommitValueWithPerson("FullName", std::string("x"), person, *book);
  EXPECT_FALSE(fullName.ok());
  EXPECT_FALSE(fullName.error.empty());
  auto version = person->version();
  auto birthday = commitContactsToAddressBookCommitValueWithPerson("Birthday", std::string("next week"), person, *book);
  EXPECT_FALSE(birthday.ok());
  EXPECT_NE(birthday.error.find("YYYY-MM-DD"), std::string::npos);
  EXPECT_EQ(person->version(), version) << "nothing changed";
  EXPECT_TRUE(
      commitContactsToAddressBookCommitValueWithPerson("Birthday", std::string("1990-04-01"), person, *book).ok());
  EXPECT_EQ(std::get<ABDate>(person->valueForProperty(kABBirthdayProperty)), (ABDate{1990, 4, 1}));
  EXPECT_FALSE(book->hasUnsavedChanges());
  // A birthday without a year, as the table shows it, is kept in the year 1604.
  EXPECT_TRUE(commitContactsToAddressBookCommitValueWithPerson("Birthday", std::string("--03-14"), person, *book).ok());
  EXPECT_EQ(std::get<ABDate>(person->valueForProperty(kABBirthdayProperty)), (ABDate{1604, 3, 14}));
}

TEST(ContactCommitTest, AnEditOfAContactAnotherProgramChangedIsNotSavedAndTheCurrentValuesShow) {
  const auto dir = std::filesystem::temp_directory_path() / ("rolvane-commit-conflict-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto path = dir / "AddressBook.sqlite";
  auto book = ABAddressBook::open(path);
  auto ann = ABPerson::create();
  ann->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
  ann->setValueForProperty(std::string("Lee"), kABLastNameProperty);
  ASSERT_TRUE(book->addRecord(ann));
  ASSERT_TRUE(book->save());
  {
    auto other = ABAddressBook::open(path);
    other->recordForUniqueId(ann->uniqueId())->setValueForProperty(std::string("saved elsewhere"), kABNoteProperty);
    ASSERT_TRUE(other->save());
  }
  auto result = commitContactsToAddressBookCommitValueWithPerson("Job Title", std::string("Boss"), ann, *book);
  EXPECT_FALSE(result.ok());
  EXPECT_TRUE(result.reverted);
  EXPECT_EQ(result.error, "Ann Lee was changed by another program; your change was not saved");
  auto shown = book->recordForUniqueId(ann->uniqueId());
  EXPECT_EQ(shown->stringForProperty(kABNoteProperty), "saved elsewhere");
  EXPECT_FALSE(shown->stringForProperty(kABJobTitleProperty));
  auto disk = ABAddressBook::open(path)->recordForUniqueId(ann->uniqueId());
  EXPECT_EQ(disk->stringForProperty(kABNoteProperty), "saved elsewhere");
  EXPECT_FALSE(disk->stringForProperty(kABJobTitleProperty));
  std::filesystem::remove_all(dir);
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
      sqlite3_exec(other,
                   "CREATE TRIGGER refuse BEFORE INSERT ON persons BEGIN SELECT RAISE(ABORT, 'read only'); END;"
                   "CREATE TRIGGER refuseUpdate BEFORE UPDATE ON persons BEGIN SELECT RAISE(ABORT, 'read only'); END;",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  auto refused = commitContactsToAddressBookCommitValueWithPerson("First Name", std::string("Anna"), ann, *book);
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(refused.reverted);
  EXPECT_FALSE(book->hasUnsavedChanges());
  EXPECT_EQ(book->recordForUniqueId(uid)->stringForProperty(kABFirstNameProperty), "Ann");

  // Once the file takes writes again, the next edit saves only itself.
  ASSERT_EQ(sqlite3_exec(other, "DROP TRIGGER refuse; DROP TRIGGER refuseUpdate;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(other);
  auto fresh = book->recordForUniqueId(uid);
  ASSERT_TRUE(commitContactsToAddressBookCommitValueWithPerson("Nickname", std::string("An"), fresh, *book).ok());
  book.reset();
  auto reopened = ABAddressBook::open(path);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->recordForUniqueId(uid)->stringForProperty(kABFirstNameProperty), "Ann");
  EXPECT_EQ(reopened->recordForUniqueId(uid)->stringForProperty(kABNicknameProperty), "An");
  reopened.reset();
  std::filesystem::remove_all(dir);
}

TEST(ContactCommitTest, EveryColumnButTheFullNameIsStorable) {
  for (const auto& heading : AllInfoColumns::csv())
    EXPECT_EQ(isCommittableKey(heading), heading != "FullName") << heading;
  EXPECT_TRUE(isCommittableKey("Preffix"));
  for (const char* key : {"Person", "", "Home ", "Other Foo", "home email", "Email"})
    EXPECT_FALSE(isCommittableKey(key)) << key;
}

namespace {

ABMultiValue list(std::initializer_list<std::pair<std::string, ABMultiValueItem>> entries) {
  ABMultiValue values;
  for (const auto& [label, value] : entries) values.addValueWithLabel(value, label);
  return values;
}

ABDictionary address(std::string street, std::string city = {}) {
  ABDictionary d;
  if (!street.empty()) d.set(kABAddressStreetKey, street);
  if (!city.empty()) d.set(kABAddressCityKey, city);
  return d;
}

ABDictionary profile(std::string service, std::string user) {
  return ABDictionary{{kABSocialProfileServiceKey, service}, {kABSocialProfileUsernameKey, user}};
}

ABDictionary account(std::string service, std::string user = {}) {
  ABDictionary d{{kABInstantMessageServiceKey, service}};
  if (!user.empty()) d.set(kABInstantMessageUsernameKey, user);
  return d;
}

// A person holding several entries under most keys, with custom labels among them.
ABPersonRef crowdedPerson() {
  auto person = ABPerson::create();
  person->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
  person->setValueForProperty(std::string("Dr"), kABTitleProperty);
  person->setValueForProperty(list({{kABHomeLabel, std::string("h1@x.org")},
                                    {kABHomeLabel, std::string("h2@x.org")},
                                    {kABOtherLabel, std::string("o@x.org")},
                                    {"Club", std::string("club@x.org")},
                                    {kABWorkLabel, std::string("w@x.org")}}),
                              kABEmailProperty);
  person->setValueForProperty(list({{kABPhoneHomeLabel, std::string("1")},
                                    {kABPhoneMobileLabel, std::string("2")},
                                    {kABPhoneHomeLabel, std::string("3")},
                                    {"Boat", std::string("4")}}),
                              kABPhoneProperty);
  person->setValueForProperty(list({{kABHomeLabel, address("1 Main", "Oslo")},
                                    {kABHomeLabel, address("2 Side")},
                                    {"Cabin", address("", "Hemsedal")},
                                    {kABOtherLabel, address("9 Far")}}),
                              kABAddressProperty);
  person->setValueForProperty(list({{kABHomeLabel, profile("Twitter", "t1")},
                                    {kABHomeLabel, profile("Twitter", "t2")},
                                    {kABWorkLabel, profile("Facebook", "fw")}}),
                              kABSocialProfileProperty);
  person->setValueForProperty(list({{kABWorkLabel, account("SkypeInstant", "s1")},
                                    {kABWorkLabel, account("SkypeInstant", "s2")},
                                    {"Gaming", account("ICQInstant", "icq")}}),
                              kABInstantMessageProperty);
  person->setValueForProperty(list({{kABFatherLabel, std::string("Bo")}, {"Uncle", std::string("Ed")}}),
                              kABRelatedNamesProperty);
  return person;
}

std::vector<ABMultiValue::Entry> entriesOf(const ABPerson& person, const std::string& property) {
  auto values = person.multiValueForProperty(property);
  return values ? values->entries() : std::vector<ABMultiValue::Entry>{};
}

// Every entry of every list but the one at index `changed` of `property` is as before.
void expectOnlyChanged(const ABPerson& before, const ABPerson& after, const std::string& property, size_t changed) {
  for (const std::string* list : {&kABEmailProperty, &kABPhoneProperty, &kABAddressProperty, &kABSocialProfileProperty,
                                  &kABInstantMessageProperty, &kABRelatedNamesProperty}) {
    auto was = entriesOf(before, *list);
    auto now = entriesOf(after, *list);
    ASSERT_EQ(was.size(), now.size()) << *list;
    for (size_t i = 0; i < was.size(); ++i) {
      if (*list != property || i != changed) {
        EXPECT_EQ(was[i], now[i]) << *list << " entry " << i;
      }
    }
  }
}

ABPersonRef copyOf(const ABPerson& person) {
  return std::make_shared<ABPerson>(*person.snapshot());
}

}  // namespace

TEST(ContactCommitTest, AnEditChangesOnlyTheEntryWhoseValueTheCellShows) {
  struct Case {
    const char* key;
    const std::string* property;
    size_t entry;  // the entry the record shows the key from
  };
  for (const Case& c :
       {Case{"Home Email", &kABEmailProperty, 1}, Case{"Other Email", &kABEmailProperty, 3},
        Case{"Home Phone", &kABPhoneProperty, 2}, Case{"Home Street", &kABAddressProperty, 1},
        Case{"Home City", &kABAddressProperty, 0}, Case{"Other City", &kABAddressProperty, 2},
        Case{"Twitter", &kABSocialProfileProperty, 1}, Case{"Work Skype", &kABInstantMessageProperty, 1},
        Case{"Other ICQ", &kABInstantMessageProperty, 2}, Case{"Father", &kABRelatedNamesProperty, 0}}) {
    SCOPED_TRACE(c.key);
    ABPersonRef before = crowdedPerson();
    ABPersonRef person = copyOf(*before);
    const auto shown = prasePerson(before).text(c.key);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shownText(*person, c.key), shown);
    CommitResult result = applyRecordValue(*person, c.key, std::string("edited"));
    EXPECT_TRUE(result.ok() && result.changed);
    expectOnlyChanged(*before, *person, *c.property, c.entry);
    EXPECT_EQ(prasePerson(person).text(c.key), "edited");
    // The edited entry keeps its label and every other component.
    auto was = entriesOf(*before, *c.property)[c.entry];
    auto now = entriesOf(*person, *c.property)[c.entry];
    EXPECT_EQ(now.label, was.label);
    if (const auto* old = std::get_if<ABDictionary>(&was.value)) {
      const ABDictionary& edited = std::get<ABDictionary>(now.value);
      EXPECT_EQ(edited.size(), old->size());
      int differing = 0;
      for (const auto& [component, value] : old->entries()) differing += edited.valueOr(component) != value;
      EXPECT_EQ(differing, 1);
    }
  }
}

TEST(ContactCommitTest, ACellShowingNothingFillsTheOneDesignatedEntryOrAppendsOne) {
  // One home address without a city: the city goes into it.
  auto one = ABPerson::create();
  one->setValueForProperty(list({{kABHomeLabel, address("1 Main")}, {kABWorkLabel, address("5 Quay")}}),
                           kABAddressProperty);
  ASSERT_TRUE(applyRecordValue(*one, "Home City", std::string("Oslo")).ok());
  EXPECT_EQ(entriesOf(*one, kABAddressProperty),
            (std::vector<ABMultiValue::Entry>{
                {kABHomeLabel, ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}}},
                {kABWorkLabel, address("5 Quay")}}));
  // Two of them: neither is the cell's, a new address holds the city.
  auto two = ABPerson::create();
  two->setValueForProperty(list({{kABHomeLabel, address("1 Main")}, {kABHomeLabel, address("2 Side")}}),
                           kABAddressProperty);
  ASSERT_TRUE(applyRecordValue(*two, "Home City", std::string("Oslo")).ok());
  EXPECT_EQ(entriesOf(*two, kABAddressProperty),
            (std::vector<ABMultiValue::Entry>{{kABHomeLabel, address("1 Main")},
                                              {kABHomeLabel, address("2 Side")},
                                              {kABHomeLabel, ABDictionary{{kABAddressCityKey, "Oslo"}}}}));
  // Two Twitter profiles under other labels: both stay, a home profile is added.
  auto profiles = ABPerson::create();
  profiles->setValueForProperty(
      list({{kABWorkLabel, profile("Twitter", "a")}, {kABOtherLabel, profile("Twitter", "b")}}),
      kABSocialProfileProperty);
  ASSERT_TRUE(applyRecordValue(*profiles, "Twitter", std::string("c")).ok());
  auto after = entriesOf(*profiles, kABSocialProfileProperty);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[0], (ABMultiValue::Entry{kABWorkLabel, profile("Twitter", "a")}));
  EXPECT_EQ(after[1], (ABMultiValue::Entry{kABOtherLabel, profile("Twitter", "b")}));
  EXPECT_EQ(prasePerson(profiles).text("Twitter"), "c");
  // A messaging account without a user name is the one designated entry: it gets the name.
  auto accounts = ABPerson::create();
  accounts->setValueForProperty(list({{kABHomeLabel, account("JabberInstant")}}), kABInstantMessageProperty);
  ASSERT_TRUE(applyRecordValue(*accounts, "Home Jabber", std::string("ann@jabber.org")).ok());
  EXPECT_EQ(entriesOf(*accounts, kABInstantMessageProperty),
            (std::vector<ABMultiValue::Entry>{{kABHomeLabel, account("JabberInstant", "ann@jabber.org")}}));
}

TEST(ContactCommitTest, TheShownTextOfEveryKeyIsTheRecordsAndAnEditIsWhatTheRecordThenShows) {
  for (const auto& row : RecordKeys::all()) {
    if (!RecordKeys::isStored(row)) continue;
    const std::string& key = row.key;
    SCOPED_TRACE(key);
    ABPersonRef person = crowdedPerson();
    EXPECT_EQ(shownText(*person, key), prasePerson(person).text(key));
    const std::string value = key == "Birthday" ? "1999-12-31" : "new " + key;
    ASSERT_TRUE(applyRecordValue(*person, key, value).ok());
    EXPECT_EQ(prasePerson(person).text(key), value);
    EXPECT_EQ(shownText(*person, key), value);
  }
}

TEST(ContactCommitTest, AnEditOfACellThatNoLongerShowsThePersonAsItIsChangesNothing) {
  auto book = ABAddressBook::inMemory();
  ABPersonRef person = crowdedPerson();
  ASSERT_TRUE(book->addRecord(person));
  ASSERT_TRUE(book->save());
  const std::optional<std::string> stale = std::string("h1@x.org");
  auto version = person->version();
  auto refused =
      commitContactsToAddressBookCommitValueWithPerson("Home Email", std::string("new@x.org"), person, *book, &stale);
  EXPECT_FALSE(refused.ok());
  EXPECT_TRUE(refused.stale);
  EXPECT_EQ(person->version(), version);
  const std::optional<std::string> current = std::string("h2@x.org");
  EXPECT_TRUE(
      commitContactsToAddressBookCommitValueWithPerson("Home Email", std::string("new@x.org"), person, *book, &current)
          .ok());
  // A person the store no longer holds is not put back by an edit.
  ASSERT_TRUE(book->removeRecord(person));
  ASSERT_TRUE(book->save());
  auto gone = commitContactsToAddressBookCommitValueWithPerson("Nickname", std::string("An"), person, *book);
  EXPECT_FALSE(gone.ok());
  EXPECT_TRUE(book->people().empty());
}

TEST(ContactCommitTest, EmptyTextRemovesWhatTheCellShowedAndNothingElse) {
  struct Case {
    const char* key;
    const std::string* property;
    size_t entry;
    bool entryGoes;  // false: the entry stays without the emptied component
  };
  for (const Case& c :
       {Case{"Home Email", &kABEmailProperty, 1, true}, Case{"Other Email", &kABEmailProperty, 3, true},
        Case{"Mobile", &kABPhoneProperty, 1, true}, Case{"Home City", &kABAddressProperty, 0, false},
        Case{"Other City", &kABAddressProperty, 2, true}, Case{"Twitter", &kABSocialProfileProperty, 1, true},
        Case{"Work Skype", &kABInstantMessageProperty, 1, true}}) {
    SCOPED_TRACE(c.key);
    ABPersonRef before = crowdedPerson();
    ABPersonRef person = copyOf(*before);
    CommitResult result = applyRecordValue(*person, c.key, std::string());
    EXPECT_TRUE(result.ok() && result.changed);
    auto was = entriesOf(*before, *c.property);
    auto now = entriesOf(*person, *c.property);
    if (c.entryGoes) {
      was.erase(was.begin() + static_cast<long>(c.entry));
      EXPECT_EQ(now, was);
    } else {
      std::get<ABDictionary>(was[c.entry].value).remove(kABAddressCityKey);
      EXPECT_EQ(now, was);
    }
    for (const auto& entry : now) {
      if (const auto* text = std::get_if<std::string>(&entry.value)) {
        EXPECT_FALSE(text->empty());
      }
    }
  }
  // The last entry of a list takes the list with it; a single value is removed.
  auto person = ABPerson::create();
  person->setValueForProperty(list({{kABPhonePagerLabel, std::string("555")}}), kABPhoneProperty);
  person->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
  person->setValueForProperty(ABDate{1990, 1, 2}, kABBirthdayProperty);
  for (const char* key : {"Pager", "First Name", "Birthday"})
    EXPECT_TRUE(applyRecordValue(*person, key, std::string()).changed);
  EXPECT_TRUE(isNil(person->valueForProperty(kABPhoneProperty)));
  EXPECT_TRUE(isNil(person->valueForProperty(kABFirstNameProperty)));
  EXPECT_TRUE(isNil(person->valueForProperty(kABBirthdayProperty)));
  // A profile that also holds its address keeps it without the user name.
  auto linked = ABPerson::create();
  linked->setValueForProperty(list({{kABHomeLabel, ABDictionary{{kABSocialProfileServiceKey, "Twitter"},
                                                                {kABSocialProfileUsernameKey, "ann"},
                                                                {kABSocialProfileURLKey, "https://x.com/ann"}}}}),
                              kABSocialProfileProperty);
  EXPECT_TRUE(applyRecordValue(*linked, "Twitter", std::string()).changed);
  EXPECT_EQ(
      entriesOf(*linked, kABSocialProfileProperty),
      (std::vector<ABMultiValue::Entry>{{kABHomeLabel, ABDictionary{{kABSocialProfileServiceKey, "Twitter"},
                                                                    {kABSocialProfileURLKey, "https://x.com/ann"}}}}));
}

TEST(ContactCommitTest, EmptyTextOnACellShowingNothingWritesNothing) {
  auto book = ABAddressBook::inMemory();
  ABPersonRef person = crowdedPerson();
  ASSERT_TRUE(book->addRecord(person));
  ASSERT_TRUE(book->save());
  const ABPersonData before = *person->snapshot();
  for (const char* key : {"Pager", "Work Phone", "Work Street", "Home ZIP", "Home Skype", "LinkedIn", "Nickname",
                          "Birthday", "Mother", "Home Page"}) {
    SCOPED_TRACE(key);
    CommitResult result = commitContactsToAddressBookCommitValueWithPerson(key, std::string(), person, *book);
    EXPECT_TRUE(result.ok());
    EXPECT_FALSE(result.changed);
  }
  EXPECT_EQ(*person->snapshot(), before);
  EXPECT_FALSE(book->hasUnsavedChanges());
}
