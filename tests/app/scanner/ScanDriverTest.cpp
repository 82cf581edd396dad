#include <sqlite3.h>

#include "ScanFixture.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABMarks.h"
#include "tests/platform/addressbook/TestStorePath.h"

#include <map>
#include <random>
#include <set>

namespace {

class Receiver : public ScanReportReceiver {
 public:
  std::optional<ScanResult> result;
  std::string title, message;
  void scanOver(ScanResult r) override { result = std::move(r); }
  void scanFoundNothing(const std::string& t, const std::string& m) override {
    title = t;
    message = m;
  }
};

}  // namespace

using ScanDriverTest = ScanFixture;

TEST_F(ScanDriverTest, NothingFoundGivesTheNotesAlert) {
  Receiver receiver;
  scanner().scanEntireAddressBook(allConditionNames(), receiver);
  EXPECT_FALSE(receiver.result);
  EXPECT_EQ(receiver.title, "Notes");
  EXPECT_EQ(receiver.message, "Scan completed, no contact matches the condition!");

  add({{kABFirstNameProperty, "Ann"}});
  Receiver unknown;
  scanner().scanEntireAddressBook({"No such condition"}, unknown);
  EXPECT_FALSE(unknown.result);
  EXPECT_EQ(unknown.title, "Notes");
}

TEST_F(ScanDriverTest, OnlyConditionsThatFoundSomethingHaveAKey) {
  auto ann = add({{kABFirstNameProperty, "Ann Marie"}, {kABLastNameProperty, "Lee"}, {kABNoteProperty, "  "}});
  Receiver receiver;
  scanner().scanEntireAddressBook(allConditionNames(), receiver);
  ASSERT_TRUE(receiver.result);
  EXPECT_EQ(receiver.result->keys, (std::vector<std::string>{"EmptyNotes", "SpaceInFirstName"}));
  EXPECT_EQ(receiver.result->personsFor("EmptyNotes"), (Persons{ann}));
}

TEST_F(ScanDriverTest, OrderOfNamesChangesOnlyTheOrderOfKeys) {
  add({{kABFirstNameProperty, "Ann"}, {kABTitleProperty, "Xx"}}, {{kABHomeLabel, "s@x.org"}});
  add({{kABLastNameProperty, "Bo"}}, {{kABWorkLabel, "s@x.org"}});
  auto names = allConditionNames();
  auto forward = scanner().scan(names);
  std::reverse(names.begin(), names.end());
  auto backward = scanner().scan(names);
  auto sorted = [](std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  EXPECT_EQ(sorted(forward.keys), sorted(backward.keys));
  for (const auto& key : forward.keys) EXPECT_EQ(forward.personsFor(key), backward.personsFor(key)) << key;
  ASSERT_EQ(forward.shareEmail.size(), 1u);
  EXPECT_EQ(forward.shareEmail[0].SearchedPerson, backward.shareEmail[0].SearchedPerson);
  // The thirteen conditions, then those of similar contacts and phone numbers, then the four of
  // damaged text, names in one case, birthdays and contacts that cannot be reached, then the two of
  // groups, then the two of photos.
  EXPECT_EQ(scanConditions().size(), 24u);
  EXPECT_EQ(scanConditions().front().key, "DuplicateContacts");
  EXPECT_EQ(scanConditions()[12].name, "Emails duplicated among multiple contacts");
  EXPECT_EQ(scanConditions()[13].key, "SimilarContacts");
  EXPECT_EQ(scanConditions()[14].key, "DupPhoneFormat");
  EXPECT_EQ(scanConditions()[15].name, "Phone number not in international format");
  EXPECT_EQ(scanConditions()[16].key, "DamagedText");
  EXPECT_EQ(scanConditions()[19].key, "Unreachable");
  EXPECT_EQ(scanConditions()[21].key, "EmptyGroup");
  EXPECT_EQ(scanConditions().back().key, "SharedPhoto");
}

// The values a scan reads are found in one walk over a person's values: each must be the one the
// store's own lookup gives, whatever other properties lie between them and whatever their type.
TEST(ScanSnapshotTest, PersonValuesAreWhatTheStoreHolds) {
  const std::vector<std::string> read = {kABFirstNameProperty,   kABLastNameProperty, kABTitleProperty,
                                         kABSuffixProperty,      kABNoteProperty,     kABNicknameProperty,
                                         kABOrganizationProperty};
  const std::vector<std::string> other = {kABMiddleNameProperty, kABJobTitleProperty, kABDepartmentProperty,
                                          kABMaidenNameProperty, kABURLsProperty,     "X-Custom"};
  std::mt19937 random(11);
  for (int round = 0; round < 400; ++round) {
    ABPersonData data;
    for (const auto& property : read) {
      const unsigned r = random() % 4;
      if (r == 1) data.set(property, property + " " + std::to_string(round));
      if (r == 2) data.set(property, std::int64_t{round});  // not text: not read as text
    }
    for (const auto& property : other)
      if (random() % 2) data.set(property, std::string("x"));
    if (random() % 2) data.set(kABPersonFlags, std::int64_t(random() % 3));
    for (const auto* property : {&kABEmailProperty, &kABPhoneProperty, &kABAddressProperty}) {
      if (random() % 3 == 0) continue;
      ABMultiValue list;
      list.addValueWithLabel(std::string("v") + std::to_string(round), kABHomeLabel);
      if (random() % 2) list.addEntry({kABWorkLabel, ABDictionary{{"Street", "1 Main St"}, {"City", ""}}, ";PREF=1"});
      if (random() % 2) list.addValueWithLabel(std::string(), "");
      data.set(*property, list);
    }
    if (random() % 2) data.set(kABBirthdayProperty, ABDate{1980 + round % 20, 1 + round % 12, 1 + round % 28});
    if (random() % 3 == 0) data.set(kABBirthdayProperty, std::string("not a date"));
    data.set(kABUIDProperty, "uid-" + std::to_string(round));
    const PersonValuesOf values(data);
    const ScanText* fields[] = {&values->firstName, &values->lastName, &values->title,       &values->suffix,
                                &values->note,      &values->nickname, &values->organization};
    for (size_t i = 0; i < read.size(); ++i) {
      const std::string* stored = data.string(read[i]);
      ASSERT_EQ(static_cast<bool>(*fields[i]), stored != nullptr) << read[i];
      if (stored) {
        EXPECT_EQ(**fields[i], *stored) << read[i];
      }
    }
    for (const auto* property : {&kABEmailProperty, &kABPhoneProperty, &kABAddressProperty}) {
      const ABMultiValue* stored = data.multiValue(*property);
      const auto entries = values->list(*property).entries();
      ASSERT_EQ(entries.size(), stored ? stored->count() : 0u) << *property;
      for (size_t e = 0; e < entries.size(); ++e) {
        const auto& entry = stored->entries()[e];
        EXPECT_EQ(entries[e].label, entry.label);
        EXPECT_EQ(entries[e].parameters, entry.parameters);
        if (const auto* text = std::get_if<std::string>(&entry.value)) {
          EXPECT_TRUE(entries[e].isText);
          EXPECT_EQ(entries[e].text, *text);
        } else {
          const auto& dictionary = std::get<ABDictionary>(entry.value);
          ASSERT_FALSE(entries[e].isText);
          EXPECT_EQ(entries[e].dictionary.size(), dictionary.size());
          for (const auto& [key, value] : dictionary.entries()) EXPECT_EQ(entries[e].dictionary.find(key), value);
        }
      }
    }
    const ABDate* birthday = data.date(kABBirthdayProperty);
    EXPECT_EQ(values->birthday.has_value(), birthday != nullptr);
    if (birthday) {
      EXPECT_EQ(*values->birthday, *birthday);
    }
    EXPECT_EQ(*values->uid, *data.string(kABUIDProperty));
    const std::int64_t* flags = data.integer(kABPersonFlags);
    EXPECT_EQ(values->flags, flags ? *flags : 0);
  }
}

// A scan of a large, messy store (large enough for its snapshot to be taken on two threads) lists,
// under each condition, exactly the persons that the condition's test finds on each person alone,
// in store order; the finders run alone agree with it.
// A large, messy store: persons meeting every condition, shared and repeated values, duplicate
// groups, persons shown as companies.
std::vector<ABPersonRef> addMessyPersons(ABAddressBook& book, int count, unsigned seed) {
  std::mt19937 random(seed);
  const char* firsts[] = {"Ann", "Bo", "Jo Ann", " Kim", ""};
  const char* titles[] = {"Dr", "DR", "Prof.", "Sir"};
  auto toList = [](const std::vector<std::pair<std::string, std::string>>& entries) {
    ABMultiValue multi;
    for (auto& [label, value] : entries) multi.addValueWithLabel(value, label);
    return multi;
  };
  std::vector<ABPersonRef> people;
  for (int i = 0; i < count; ++i) {
    auto person = ABPerson::create();
    const unsigned r = random();
    if (r % 5) person->setValueForProperty(std::string(firsts[r % 5]), kABFirstNameProperty);
    if (r % 7) person->setValueForProperty("L" + std::to_string(r % 4000), kABLastNameProperty);
    if (r % 11 == 0) person->setValueForProperty(std::string(titles[(r >> 3) % 4]), kABTitleProperty);
    if (r % 13 == 0) person->setValueForProperty(std::string((r >> 5) % 2 ? "Jr" : "jr."), kABSuffixProperty);
    if (r % 17 == 0) person->setValueForProperty(std::string((r >> 6) % 2 ? "  " : "a note"), kABNoteProperty);
    if (r % 19 == 0) person->setValueForProperty(std::string(" "), kABNicknameProperty);
    std::vector<std::pair<std::string, std::string>> emails, phones;
    if (r % 3) emails.push_back({kABHomeLabel, "u" + std::to_string(i) + "@x.com"});
    if (r % 23 == 0) emails.push_back({kABWorkLabel, "shared" + std::to_string(r % 50) + "@x.com"});
    if (r % 29 == 0) emails.push_back({kABOtherLabel, "u" + std::to_string(i) + "@x.com"});
    if (r % 2) phones.push_back({kABPhoneMobileLabel, r % 31 ? "555 " + std::to_string(i) : "555-CALL"});
    if (r % 37 == 0) phones.push_back({kABPhoneWorkLabel, "555 " + std::to_string(i)});
    if (r % 43 == 0) phones.push_back({kABPhoneHomeLabel, "+1 555 " + std::to_string(7000000 + r % 300)});
    if (!emails.empty()) person->setValueForProperty(toList(emails), kABEmailProperty);
    if (!phones.empty()) person->setValueForProperty(toList(phones), kABPhoneProperty);
    if (r % 41 == 0) person->setValueForProperty(std::int64_t{1}, kABPersonFlags);
    if (r % 59 == 0) person->setValueForProperty(ABDate{(r >> 8) % 2 ? 2999 : 1985, 5, 3}, kABBirthdayProperty);
    if (r % 47 == 0)
      person->setValueForProperty(std::string((r >> 7) % 2 ? "ACME TRADING" : "Acme"), kABOrganizationProperty);
    if (r % 53 == 0 && !(r % 17 == 0)) person->setValueForProperty(std::string("M\xC3\x83\xC2\xA4x"), kABNoteProperty);
    // Photos by their headers alone: a GIF of 2,000 x 10 pixels (too large), bytes no library
    // reads, and one small GIF on many people.
    if (r % 61 == 0) {
      const std::string photo = (r >> 9) % 2 ? std::string("GIF89a\xD0\x07\x0A\x00\x00\x00\x00;", 14)
                                             : std::string("\xFF\xD8\xFF\xE0 not a picture");
      person->setImageData(ABBytes(photo.begin(), photo.end()));
    } else if (r % 67 == 0) {
      const std::string logo("GIF89a\x10\x00\x10\x00\x00\x00\x00;", 14);
      person->setImageData(ABBytes(logo.begin(), logo.end()));
    }
    if (r % 6 == 1) {
      ABMultiValue addresses;
      const ABDictionary home{{kABAddressStreetKey, std::to_string(r % 90) + " Main St"}, {kABAddressCityKey, "Town"}};
      addresses.addValueWithLabel(home, kABHomeLabel);
      if (r % 4 == 1) addresses.addValueWithLabel(home, kABWorkLabel);
      person->setValueForProperty(addresses, kABAddressProperty);
    }
    book.addRecord(person);
    people.push_back(person);
  }
  return people;
}

TEST_F(ScanDriverTest, OneScanListsWhatEachConditionFindsOnEachPersonAlone) {
  const std::vector<ABPersonRef> people = addMessyPersons(*book_, 21000, 5);
  const ScanResult result = scanner().scan(allConditionNames());
  for (const auto& condition : scanConditions()) {
    if (!condition.meets) continue;
    Persons expected;
    for (const auto& person : people)
      if (ScanAddressBook::personMeetsCondition(condition.key, *person->snapshot())) expected.push_back(person);
    ASSERT_FALSE(expected.empty()) << condition.key << ": the store should hold some";
    EXPECT_EQ(result.personsFor(condition.key), expected) << condition.key;
    EXPECT_EQ((scanner().*(condition.finder))(), expected) << condition.key;
  }
  // Duplicate groups: the earliest person of every group of two or more, groups in the order their
  // keys are first met.
  std::map<std::string, std::vector<size_t>> groups;
  std::vector<std::string> keys;
  for (size_t i = 0; i < people.size(); ++i) {
    if (auto key = ScanAddressBook::duplicateGroupKey(*people[i]->snapshot())) {
      if (groups[*key].empty()) keys.push_back(*key);
      groups[*key].push_back(i);
    }
  }
  Persons duplicates;
  for (const auto& key : keys)
    if (groups[key].size() >= 2) duplicates.push_back(people[groups[key].front()]);
  ASSERT_FALSE(duplicates.empty());
  EXPECT_EQ(result.personsFor("DuplicateContacts"), duplicates);
  EXPECT_EQ(scanner().test(), duplicates);

  // Shared e-mail values: from each person not yet handled, one finding per value that others hold.
  std::map<std::string, Persons> holders;
  for (const auto& person : people)
    if (const ABMultiValue* emails = person->snapshot()->multiValue(kABEmailProperty))
      for (const auto& entry : emails->entries()) {
        Persons& list = holders[std::get<std::string>(entry.value)];
        if (list.empty() || list.back() != person) list.push_back(person);
      }
  std::vector<SharedEmailFinding> shared;
  std::set<ABPersonRef> handled;
  for (const auto& person : people) {
    if (handled.count(person)) continue;
    const ABMultiValue* emails = person->snapshot()->multiValue(kABEmailProperty);
    if (!emails) continue;
    for (const auto& entry : emails->entries()) {
      const Persons& list = holders[std::get<std::string>(entry.value)];
      if (list.size() < 2) continue;
      SharedEmailFinding finding{person, {}, entry.label, std::get<std::string>(entry.value)};
      for (const auto& holder : list) {
        handled.insert(holder);
        if (holder != person) finding.MatchPersonsArray.push_back(holder);
      }
      shared.push_back(finding);
    }
  }
  ASSERT_FALSE(shared.empty());
  for (const auto& found : {result.shareEmail, scanner().findDuplicateEmailInContacts()}) {
    ASSERT_EQ(found.size(), shared.size());
    for (size_t i = 0; i < shared.size(); ++i) {
      EXPECT_EQ(found[i].SearchedPerson, shared[i].SearchedPerson) << i;
      EXPECT_EQ(found[i].MatchPersonsArray, shared[i].MatchPersonsArray) << i;
      EXPECT_EQ(found[i].DuplicateEmailType, shared[i].DuplicateEmailType) << i;
      EXPECT_EQ(found[i].duplicateEmail, shared[i].duplicateEmail) << i;
    }
  }
}

// A scan of the snapshot read from the store's file (the command line's) finds what a scan of the
// opened book finds, the user's marks honoured alike; a damaged record is named and nothing is found.
TEST(ScanSnapshotTest, ReadFromTheStoreFindsWhatTheOpenedBookFinds) {
  TempFolder folder;
  const std::filesystem::path path = folder.file("book.sqlite");
  {
    auto book = ABAddressBook::open(path);
    ASSERT_TRUE(book);
    const std::vector<ABPersonRef> people = addMessyPersons(*book, 6000, 9);
    // One number written in two ways, and numbers not in international form.
    for (const auto& numbers :
         {std::vector<std::string>{"+1 650 253 0000", "(650) 253-0000"}, std::vector<std::string>{"(650) 253-0001"}}) {
      auto person = ABPerson::create();
      person->setValueForProperty(std::string("Phone"), kABFirstNameProperty);
      ABMultiValue list;
      for (const auto& number : numbers) list.addValueWithLabel(number, kABPhoneWorkLabel);
      person->setValueForProperty(list, kABPhoneProperty);
      book->addRecord(person);
    }
    // Groups: one name written two ways (by categories and a group card's name), an empty group
    // card. Group cards are never among the persons a condition about persons lists.
    for (size_t i = 0; i < 3; ++i) {
      ABMultiValue categories;
      categories.addValueWithLabel(std::string(i < 2 ? "Family" : "family "), std::string());
      people[i]->setValueForProperty(categories, kABCategoriesProperty);
      book->addRecord(people[i]);
    }
    for (const char* name : {"FAMILY", "Old"}) {
      auto card = ABPerson::create();
      card->setValueForProperty(kABKindGroup, kABKindProperty);
      card->setValueForProperty(std::string(name), kABGroupNameProperty);
      if (std::string(name) == "FAMILY") {
        ABMultiValue members;
        members.addValueWithLabel(people[3]->uniqueId(), "urn:uuid:");
        card->setValueForProperty(members, kABGroupMembersProperty);
      }
      book->addRecord(card);
    }
    ASSERT_TRUE(book->save());
    // Marks: two persons of a duplicate group are not the same person; a number kept as written.
    std::map<std::string, std::vector<std::string>> byKey;
    for (const auto& person : people)
      if (auto key = ScanAddressBook::duplicateGroupKey(*person->snapshot())) byKey[*key].push_back(person->uniqueId());
    for (const auto& [key, uids] : byKey)
      if (uids.size() == 2) {
        ASSERT_TRUE(book->addMark(ABMarkKind::kNotSamePerson, uids, "", "not the same"));
        break;
      }
    ASSERT_TRUE(book->addMark(ABMarkKind::kKeptPhoneFormat, {people[1]->uniqueId()},
                              ABMarkCover::valueOfList({"555 1"}), "kept"));
  }
  auto book = ABAddressBook::open(path);
  ScanAddressBook scanner(*book);
  scanner.setRegion("US");
  const ScanResult opened = scanner.scan(allConditionNames());

  // As the command line scans: the conditions about one person tested on each batch found while the
  // store is read, the others afterwards (6,002 persons: two batches; here the first one tested
  // while reading, the second after).
  std::string error;
  const std::vector<PersonTest> tests = ScanFinders::personTests(allConditionNames());
  ScanFinders::PersonsTested tested{std::vector<std::vector<size_t>>(tests.size()), 0};
  std::optional<ScanSnapshot> read =
      ScanSnapshot::read(path, &error, [&](const std::vector<PersonValues>& values, size_t begin, size_t end) {
        if (begin > 0) return;  // as if the store's read had ended
        ScanFinders::addPersonsMeetingEach(values, begin, end, tests, tested.found);
        tested.upTo = end;
      });
  ASSERT_TRUE(read) << error;
  // On a busy machine the whole store may be read before the helper finds the first batch's values:
  // then no batch is tested while reading.
  EXPECT_LT(tested.upTo, read->size());
  EXPECT_FALSE(read->notSamePerson.empty());
  EXPECT_FALSE(read->keptPhoneFormat.empty());
  const ScanResult stored = ScanAddressBook::scan(*read, allConditionNames(), "US", {}, &tested).resultOf(*read);
  // The same lists whether every person was tested beforehand, none, or the persons up to any point
  // (a batch's end or not).
  ScanFinders::PersonsTested all{ScanFinders::personsMeetingEach(*read, tests), read->size()};
  const ScanFindings wholly = ScanAddressBook::scan(*read, allConditionNames(), "US", {}, &all);
  for (size_t upTo : {tested.upTo, size_t{0}, size_t{1}, read->size() / 2, read->size() - 1}) {
    ScanFinders::PersonsTested partly{std::vector<std::vector<size_t>>(tests.size()), upTo};
    ScanFinders::addPersonsMeetingEach(read->values, 0, upTo, tests, partly.found);
    const ScanFindings found = ScanAddressBook::scan(*read, allConditionNames(), "US", {}, &partly);
    ASSERT_EQ(found.lists.size(), wholly.lists.size());
    for (size_t l = 0; l < wholly.lists.size(); ++l)
      EXPECT_EQ(found.lists[l].persons, wholly.lists[l].persons) << "tested up to " << upTo;
  }

  auto uids = [](const std::vector<ABPersonRef>& persons) {
    std::vector<std::string> list;
    for (const auto& person : persons) list.push_back(person->uniqueId());
    return list;
  };
  ASSERT_EQ(stored.keys, opened.keys);
  EXPECT_EQ(stored.keys.size(), scanConditions().size());
  for (const auto& key : opened.keys) EXPECT_EQ(uids(stored.personsFor(key)), uids(opened.personsFor(key))) << key;
  ASSERT_EQ(stored.shareEmail.size(), opened.shareEmail.size());
  for (size_t i = 0; i < opened.shareEmail.size(); ++i) {
    EXPECT_EQ(stored.shareEmail[i].SearchedPerson->uniqueId(), opened.shareEmail[i].SearchedPerson->uniqueId());
    EXPECT_EQ(uids(stored.shareEmail[i].MatchPersonsArray), uids(opened.shareEmail[i].MatchPersonsArray));
    EXPECT_EQ(stored.shareEmail[i].DuplicateEmailType, opened.shareEmail[i].DuplicateEmailType);
    EXPECT_EQ(stored.shareEmail[i].duplicateEmail, opened.shareEmail[i].duplicateEmail);
  }
  ASSERT_EQ(stored.similarContacts.size(), opened.similarContacts.size());
  for (size_t i = 0; i < opened.similarContacts.size(); ++i) {
    EXPECT_EQ(uids(stored.similarContacts[i].Persons), uids(opened.similarContacts[i].Persons));
    EXPECT_EQ(stored.similarContacts[i].Reason, opened.similarContacts[i].Reason);
  }
  // The persons made from the stored values hold what the book holds.
  for (const auto& person : stored.personsFor("SingleName"))
    EXPECT_EQ(*person->snapshot(), *book->recordForUniqueId(person->uniqueId())->snapshot());

  // A damaged record: nothing is read, and the error names the contact.
  const std::string damaged = book->people()[3000]->uniqueId();
  book.reset();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  const std::string damage = "UPDATE persons SET data = x'0201' WHERE uid = '" + damaged + "'";
  ASSERT_EQ(sqlite3_exec(db, damage.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_FALSE(ScanSnapshot::read(path, &error));
  EXPECT_NE(error.find(damaged), std::string::npos) << error;
  // No store: nothing is read and none is made.
  const std::filesystem::path absent = folder.file("absent.sqlite");
  EXPECT_FALSE(ScanSnapshot::read(absent, &error));
  EXPECT_FALSE(std::filesystem::exists(absent));
}

// Among thousands of values held once, the few held twice are found and no other: many values held
// once share a bit with another in the bitmaps that spare counting them, and must still be left out.
TEST(ScanFindersTest, SharedValuesAmongThousandsOfUniqueOnesAreFoundAndNoOthers) {
  std::vector<ABPersonSnapshot> persons;
  std::vector<size_t> duplicates;
  std::vector<std::pair<size_t, size_t>> shared;  // the searched person and the one sharing its address
  for (size_t i = 0; i < 4000; ++i) {
    ABPersonData data;
    const bool sameName = i % 89 == 1, sameAddress = i % 97 == 1;
    data.set(kABFirstNameProperty, "F" + std::to_string(sameName ? i - 1 : i));
    data.set(kABLastNameProperty, std::string("Lee"));
    ABMultiValue emails;
    emails.addValueWithLabel("u" + std::to_string(sameAddress ? i - 1 : i) + "@example.org", kABHomeLabel);
    data.set(kABEmailProperty, emails);
    persons.push_back(std::make_shared<ABPersonData>(std::move(data)));
    if (sameName) duplicates.push_back(i - 1);
    if (sameAddress) shared.emplace_back(i - 1, i);
  }
  const ScanSnapshot snapshot = ScanSnapshot::of(persons);
  EXPECT_EQ(ScanFinders::duplicateContacts(snapshot), duplicates);
  const auto found = ScanFinders::sharedEmails(snapshot);
  ASSERT_EQ(found.size(), shared.size());
  for (size_t f = 0; f < found.size(); ++f) {
    EXPECT_EQ(found[f].searched, shared[f].first);
    EXPECT_EQ(found[f].matches, std::vector<size_t>{shared[f].second});
    EXPECT_EQ(found[f].value, "u" + std::to_string(shared[f].first) + "@example.org");
    EXPECT_EQ(found[f].label, kABHomeLabel);
  }
}
