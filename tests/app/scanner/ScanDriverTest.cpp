#include "ScanFixture.h"
#include "app/scanner/ScanConditions.h"

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
  // The thirteen conditions, then those of similar contacts and phone numbers.
  EXPECT_EQ(scanConditions().size(), 16u);
  EXPECT_EQ(scanConditions().front().key, "DuplicateContacts");
  EXPECT_EQ(scanConditions()[12].name, "Emails duplicated among multiple contacts");
  EXPECT_EQ(scanConditions()[13].key, "SimilarContacts");
  EXPECT_EQ(scanConditions()[14].key, "DupPhoneFormat");
  EXPECT_EQ(scanConditions().back().name, "Phone number not in international format");
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
      data.set(*property, list);
    }
    const PersonValues values = PersonValues::of(data);
    const std::string* fields[] = {values.firstName, values.lastName, values.title,       values.suffix,
                                   values.note,      values.nickname, values.organization};
    for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(fields[i], data.string(read[i])) << read[i];
    EXPECT_EQ(values.emails, data.multiValue(kABEmailProperty));
    EXPECT_EQ(values.phones, data.multiValue(kABPhoneProperty));
    EXPECT_EQ(values.addresses, data.multiValue(kABAddressProperty));
    const std::int64_t* flags = data.integer(kABPersonFlags);
    EXPECT_EQ(values.flags, flags ? *flags : 0);
  }
}

// A scan of a large, messy store (large enough for its snapshot to be taken on two threads) lists,
// under each condition, exactly the persons that the condition's test finds on each person alone,
// in store order; the finders run alone agree with it.
TEST_F(ScanDriverTest, OneScanListsWhatEachConditionFindsOnEachPersonAlone) {
  std::mt19937 random(5);
  const char* firsts[] = {"Ann", "Bo", "Jo Ann", " Kim", ""};
  const char* titles[] = {"Dr", "DR", "Prof.", "Sir"};
  std::vector<ABPersonRef> people;
  for (int i = 0; i < 21000; ++i) {
    std::map<std::string, std::string> values;
    const unsigned r = random();
    if (r % 5) values[kABFirstNameProperty] = firsts[r % 5];
    if (r % 7) values[kABLastNameProperty] = "L" + std::to_string(r % 4000);
    if (r % 11 == 0) values[kABTitleProperty] = titles[(r >> 3) % 4];
    if (r % 13 == 0) values[kABSuffixProperty] = (r >> 5) % 2 ? "Jr" : "jr.";
    if (r % 17 == 0) values[kABNoteProperty] = (r >> 6) % 2 ? "  " : "a note";
    if (r % 19 == 0) values[kABNicknameProperty] = " ";
    std::vector<std::pair<std::string, std::string>> emails, phones;
    if (r % 3) emails.push_back({kABHomeLabel, "u" + std::to_string(i) + "@x.com"});
    if (r % 23 == 0) emails.push_back({kABWorkLabel, "shared" + std::to_string(r % 50) + "@x.com"});
    if (r % 29 == 0) emails.push_back({kABOtherLabel, "u" + std::to_string(i) + "@x.com"});
    if (r % 2) phones.push_back({kABPhoneMobileLabel, r % 31 ? "555 " + std::to_string(i) : "555-CALL"});
    if (r % 37 == 0) phones.push_back({kABPhoneWorkLabel, "555 " + std::to_string(i)});
    people.push_back(add(values, emails, phones));
    if (r % 41 == 0) people.back()->setValueForProperty(std::int64_t{1}, kABPersonFlags);
    if (r % 6 == 1) {
      ABMultiValue addresses;
      const ABDictionary home{{kABAddressStreetKey, std::to_string(r % 90) + " Main St"}, {kABAddressCityKey, "Town"}};
      addresses.addValueWithLabel(home, kABHomeLabel);
      if (r % 4 == 1) addresses.addValueWithLabel(home, kABWorkLabel);
      people.back()->setValueForProperty(addresses, kABAddressProperty);
    }
  }
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
